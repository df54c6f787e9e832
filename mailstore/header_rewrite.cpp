// Classification header rewrite: a complete copy is written beside the
// message and put in its place only when every step of it succeeded, so the
// message file holds either its old bytes or the complete new ones.
#include "mailstore/header_rewrite.h"

#include <cstdlib>
#include <cstring>

#include "mailstore/file_ops.h"

namespace {
const char ClassificationName[] = "X-Text-Classification:";
const size_t ClassificationNameLength = sizeof ClassificationName - 1;

// Header lines are read in pieces of at most 1022 bytes (a 1024-byte line
// buffer); longer lines are copied in further pieces.
const size_t HeaderPieceLimit = 1022;

// The temporary copy being written, through a block of its own so that the
// file sees few large writes. A failed write makes all later ones no-ops,
// and the copy is then never used.
struct CopyTarget {
    FILE *file;
    int failed;
    size_t used; // bytes waiting in `block`
    char block[4096];
};
} // namespace

static void FlushBlock(CopyTarget *target)
{
    if (!target->failed && target->used > 0 && FileWrite(target->file, target->block, target->used) != 0)
        target->failed = 1;
    target->used = 0;
}

static void WriteBytes(CopyTarget *target, const char *bytes, size_t count)
{
    while (count > 0 && !target->failed) {
        size_t room = sizeof target->block - target->used;
        size_t part = count < room ? count : room;
        memcpy(target->block + target->used, bytes, part);
        target->used += part;
        bytes += part;
        count -= part;
        if (target->used == sizeof target->block)
            FlushBlock(target);
    }
}

// Writes `count` bytes read from the message, each LF (a line end, the
// reader having folded CR LF into it) as CR LF.
static void WriteWithCrLf(CopyTarget *target, const char *bytes, size_t count)
{
    while (count > 0) {
        const char *newline = (const char *)memchr(bytes, '\n', count);
        if (newline == nullptr) {
            WriteBytes(target, bytes, count);
            return;
        }
        WriteBytes(target, bytes, (size_t)(newline - bytes));
        WriteBytes(target, "\r\n", 2);
        count -= (size_t)(newline - bytes) + 1;
        bytes = newline + 1;
    }
}

// Copies the rest of the current line, its newline included, or up to the
// end of the file or a read error.
static void CopyRestOfLine(MessageReader *reader, CopyTarget *target)
{
    char piece[HeaderPieceLimit + 1];
    for (;;) {
        size_t count = MessageReaderGetLine(reader, piece, HeaderPieceLimit);
        WriteWithCrLf(target, piece, count);
        if (count == 0 || LineEndsWithNewline(piece, count))
            return;
    }
}

// Copies everything left in the message.
static void CopyRest(MessageReader *reader, CopyTarget *target)
{
    char piece[4096];
    size_t count;
    while ((count = MessageReaderGetLine(reader, piece, sizeof piece - 1)) > 0)
        WriteWithCrLf(target, piece, count);
}

static void WriteClassificationLine(CopyTarget *target, const char *bucketName)
{
    WriteBytes(target, ClassificationName, ClassificationNameLength);
    WriteBytes(target, " ", 1);
    WriteWithCrLf(target, bucketName, strlen(bucketName));
    WriteBytes(target, "\r\n", 2);
}

// Copies the header block up to the first "X-Text-Classification:" line,
// which it replaces by the new line. Returns 1 when the line was replaced,
// 0 when the header block (or the file) ended without it.
static int CopyHeaderBlock(MessageReader *reader, CopyTarget *target, const char *bucketName)
{
    char line[HeaderPieceLimit + 2];
    for (;;) {
        size_t count = MessageReaderGetLine(reader, line, HeaderPieceLimit);
        if (count == 0)
            return 0;
        if (count < 2) {
            // The empty line that ends the header block, or a lone last byte.
            WriteWithCrLf(target, line, count);
            return 0;
        }
        if (count >= ClassificationNameLength && memcmp(line, ClassificationName, ClassificationNameLength) == 0) {
            // The old line is dropped whole, also the part of a long one that
            // did not fit the buffer: copied on, it would stand in the header
            // as a line of its own.
            if (!LineEndsWithNewline(line, count))
                MessageReaderSkipLine(reader);
            WriteClassificationLine(target, bucketName);
            return 1;
        }
        WriteWithCrLf(target, line, count);
        if (!LineEndsWithNewline(line, count))
            CopyRestOfLine(reader, target);
        if (MessageReaderStopped(reader))
            return 0;
    }
}

// Writes the rewritten copy of the open message to `temporaryPath`. Returns
// 1 only when the header line was replaced, the whole message read, the
// whole copy written and the copy closed without error.
static int WriteRewrittenCopy(MessageReader *reader, const char *temporaryPath, const char *bucketName)
{
    CopyTarget target;
    target.file = FileOpen(temporaryPath, "wb");
    if (target.file == nullptr)
        return 0;
    setvbuf(target.file, nullptr, _IONBF, 0); // the copy has its own block
    target.failed = 0;
    target.used = 0;
    int replaced = CopyHeaderBlock(reader, &target, bucketName);
    // Without the line the copy is thrown away, so the body need not be read.
    if (replaced)
        CopyRest(reader, &target);
    FlushBlock(&target);
    int closeFailed = FileClose(target.file) != 0;
    return replaced && !reader->failed && !target.failed && !closeFailed;
}

// The message path with its last three bytes replaced by "TMP", as a new
// heap string; nullptr when no memory or the path is shorter than three
// bytes or already ends in "TMP" (in any case, as the file system of the
// host matches names), where the copy would be written over the message.
static char *TemporaryPathOf(const char *messagePath)
{
    size_t length = strlen(messagePath);
    if (length < 3)
        return nullptr;
    const char *suffix = messagePath + length - 3;
    if ((suffix[0] == 'T' || suffix[0] == 't') && (suffix[1] == 'M' || suffix[1] == 'm') && (suffix[2] == 'P' || suffix[2] == 'p'))
        return nullptr;
    char *temporaryPath = (char *)malloc(length + 1);
    if (temporaryPath == nullptr)
        return nullptr;
    memcpy(temporaryPath, messagePath, length - 3);
    memcpy(temporaryPath + length - 3, "TMP", 4);
    return temporaryPath;
}

int RewriteClassificationHeaderFile(const char *messagePath, const char *bucketName)
{
    if (messagePath == nullptr || bucketName == nullptr || messagePath[0] == '\0')
        return 0;
    char *temporaryPath = TemporaryPathOf(messagePath);
    if (temporaryPath == nullptr)
        return 0;
    MessageReader reader;
    if (MessageReaderOpen(&reader, messagePath) != 0) {
        free(temporaryPath);
        return 0;
    }
    int complete = WriteRewrittenCopy(&reader, temporaryPath, bucketName);
    // The message must be closed before it can be replaced on Windows; a
    // failed close of a file that was only read loses nothing.
    MessageReaderClose(&reader);
    int result = 0;
    if (complete && FileReplace(temporaryPath, messagePath) == 0)
        result = 1;
    else
        FileRemove(temporaryPath);
    free(temporaryPath);
    return result;
}
