// Fuzz target of ReadHeaderLine. Input: one byte choosing the buffer size,
// one choosing the header name, then the message file's bytes. The buffer
// is a heap block of exactly that size, so ASan sees any access beyond it;
// for files without NUL bytes the value must equal the text-mode reference
// run on the CR LF-folded file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/scratch_files.h"
#include "fuzz/text_mode_reference.h"
#include "mailstore/header_reader.h"

static const char *const HeaderNames[] = {"X-Text-Classification:", "X-POPFile-Link:", "A:", "X"};
static const size_t BufferSizes[] = {201, 1024, 4096, 1, 0};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t bufferSize = data[0] < 250 ? (size_t)data[0] + 2 : BufferSizes[(data[0] - 250) % 5];
    const char *name = HeaderNames[data[1] % 4];
    std::string contents((const char *)data + 2, size - 2);

    std::string path = ScratchFile("M.PWK");
    WriteWholeFile(path, contents);
    std::unique_ptr<char[]> buffer(new char[bufferSize == 0 ? 1 : bufferSize]);
    char *value = ReadHeaderLine(path.c_str(), name, buffer.get(), bufferSize);
    if (value != nullptr && (value < buffer.get() || value >= buffer.get() + bufferSize ||
                             memchr(value, '\0', (size_t)(buffer.get() + bufferSize - value)) == nullptr))
        abort();

    if (contents.find('\0') == std::string::npos && bufferSize > 0) {
        std::string foldedPath = ScratchFile("folded.PWK");
        WriteWholeFile(foldedPath, FoldCrLf(contents));
        std::unique_ptr<char[]> referenceBuffer(new char[bufferSize]);
        char *expected = ReferenceReadHeaderLine(foldedPath.c_str(), name, referenceBuffer.get(), (int)bufferSize);
        if ((value == nullptr) != (expected == nullptr))
            abort();
        if (value != nullptr && strcmp(value, expected) != 0)
            abort();
    }
    return 0;
}
