// Fuzz target of ReadUnfoldedHeader. Input: one byte choosing the header
// name, then the message file's bytes. The value must equal the text-mode
// reference run on the CR LF-folded file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/scratch_files.h"
#include "fuzz/text_mode_reference.h"
#include "mailstore/header_reader.h"

static const char *const HeaderNames[] = {"Subject:", "From:", "s:", "S"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const char *name = HeaderNames[data[0] % 4];
    std::string contents((const char *)data + 1, size - 1);

    std::string path = ScratchFile("M.PWK");
    WriteWholeFile(path, contents);
    char *value = ReadUnfoldedHeader(path.c_str(), name);

    std::string foldedPath = ScratchFile("folded.PWK");
    WriteWholeFile(foldedPath, FoldCrLf(contents));
    char *expected = ReferenceReadUnfoldedHeader(foldedPath.c_str(), name);
    if ((value == nullptr) != (expected == nullptr))
        abort();
    if (value != nullptr && strcmp(value, expected) != 0)
        abort();
    free(value);
    free(expected);
    return 0;
}
