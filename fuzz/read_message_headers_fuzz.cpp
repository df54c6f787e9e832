// Fuzz target of the header searches on one open message file
// (HeaderLineOf, UnfoldedHeaderOf), as the receive filter makes them: the
// verdict, then sender and subject, then the verdict again. Input: one byte
// choosing the line buffer's size, one the number of 500-byte filler lines
// put before the rest (so that header blocks run past the kept blocks),
// then the message file's bytes. Each result must equal the separate
// reader on the same path, and the text-mode reference on the folded file
// where that reference applies (no NUL bytes).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/scratch_files.h"
#include "fuzz/text_mode_reference.h"
#include "mailstore/header_reader.h"

static bool SameText(const char *a, const char *b)
{
    return (a == nullptr) == (b == nullptr) && (a == nullptr || strcmp(a, b) == 0);
}

static void CheckLine(MessageFile *message, const std::string &path, const std::string &foldedPath, bool plain,
                      const char *name, size_t size)
{
    std::unique_ptr<char[]> shared(new char[size]);
    std::unique_ptr<char[]> separate(new char[size]);
    char *value = HeaderLineOf(message, name, shared.get(), size);
    if (!SameText(value, ReadHeaderLine(path.c_str(), name, separate.get(), size)))
        abort();
    if (plain && !SameText(value, ReferenceReadHeaderLine(foldedPath.c_str(), name, separate.get(), (int)size)))
        abort();
}

static void CheckUnfolded(MessageFile *message, const std::string &path, const std::string &foldedPath,
                          const char *name)
{
    char *value = UnfoldedHeaderOf(message, name);
    char *separate = ReadUnfoldedHeader(path.c_str(), name);
    char *reference = ReferenceReadUnfoldedHeader(foldedPath.c_str(), name);
    if (!SameText(value, separate) || !SameText(value, reference))
        abort();
    free(value);
    free(separate);
    free(reference);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t bufferSize = (size_t)data[0] * 2 + 2;
    std::string filler = "X-Filler: " + std::string(489, 'f') + "\r\n";
    std::string contents;
    for (int i = 0; i < data[1] % 64; i++)
        contents += filler;
    contents.append((const char *)data + 2, size - 2);

    std::string path = ScratchFile("M.PWK");
    WriteWholeFile(path, contents);
    std::string foldedPath = ScratchFile("folded.PWK");
    WriteWholeFile(foldedPath, FoldCrLf(contents));
    bool plain = contents.find('\0') == std::string::npos;

    MessageFile message;
    if (MessageFileOpen(&message, path.c_str()) != 0)
        abort();
    CheckLine(&message, path, foldedPath, plain, "X-Text-Classification:", bufferSize);
    CheckUnfolded(&message, path, foldedPath, "From:");
    CheckUnfolded(&message, path, foldedPath, "Subject:");
    CheckLine(&message, path, foldedPath, plain, "X-Text-Classification:", bufferSize);
    MessageFileClose(&message);
    return 0;
}
