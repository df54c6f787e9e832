// Fuzz target of RewriteClassificationHeaderFile. Input: one byte naming
// the file operation to fail (0: none), then the message file's bytes. A
// run without failure must give what a plain in-memory rewrite gives; the
// run with the failure must leave exactly the old or exactly that new file,
// and no temporary file unless deleting it was the failed operation.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/scratch_files.h"
#include "mailstore/file_ops.h"
#include "mailstore/header_rewrite.h"

static const char Name[] = "X-Text-Classification:";

// The rewrite done in memory on the folded bytes: header lines in pieces of
// at most 1022 bytes, the first piece that begins with the name replaced
// (the rest of its line dropped), every LF written as CR LF. Sets
// `replaced`.
static std::string PlainRewrite(const std::string &bytes, bool *replaced)
{
    std::string folded = FoldCrLf(bytes);
    std::string out;
    size_t at = 0;
    *replaced = false;
    while (at < folded.size()) {
        size_t newline = folded.find('\n', at);
        size_t lineEnd = newline == std::string::npos ? folded.size() : newline + 1;
        std::string piece = folded.substr(at, std::min(lineEnd - at, (size_t)1022));
        if (piece.size() < 2) {
            out += piece;
            at += piece.size();
            break;
        }
        if (piece.compare(0, sizeof Name - 1, Name) == 0) {
            out += std::string(Name) + " inbox\n";
            at = lineEnd;
            *replaced = true;
            break;
        }
        out += folded.substr(at, lineEnd - at);
        at = lineEnd;
    }
    if (!*replaced)
        return bytes;
    out += folded.substr(at);
    std::string crLf;
    for (char byte : out) {
        if (byte == '\n')
            crLf += '\r';
        crLf += byte;
    }
    return crLf;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    long failing = data[0];
    std::string before((const char *)data + 1, size - 1);
    std::string path = ScratchFile("00000001.PWK");
    std::string temporaryPath = ScratchFile("00000001.TMP");

    bool replaced;
    std::string after = PlainRewrite(before, &replaced);
    WriteWholeFile(path, before);
    if (RewriteClassificationHeaderFile(path.c_str(), "inbox") != (replaced ? 1 : 0))
        abort();
    if (ReadWholeFile(path) != after || std::filesystem::exists(temporaryPath))
        abort();

#ifdef SORTELLA_FAULT_INJECTION
    if (failing > 0) {
        WriteWholeFile(path, before);
        FileFaultArm(failing);
        int result = RewriteClassificationHeaderFile(path.c_str(), "inbox");
        FileOpKind failed = FileFaultInjected();
        FileFaultArm(0);
        std::string now = ReadWholeFile(path);
        if (now != before && now != after)
            abort();
        if (before != after && result != (now == after ? 1 : 0))
            abort();
        if (std::filesystem::exists(temporaryPath)) {
            if (failed != FileOpRemove)
                abort();
            std::filesystem::remove(temporaryPath);
        }
    }
#endif
    return 0;
}
