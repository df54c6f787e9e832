// File operations of the mail store and the line-end folding reader.
#include "mailstore/file_ops.h"

#include <cstring>

#ifdef SORTELLA_FAULT_INJECTION
namespace {
long faultCountdown = 0;     // operations left until the one that fails; 0: none
long faultOperationsSeen = 0;
FileOpKind faultInjected = FileOpNone;
} // namespace

void FileFaultArm(long countdown)
{
    faultCountdown = countdown > 0 ? countdown : 0;
    faultOperationsSeen = 0;
    faultInjected = FileOpNone;
}

FileOpKind FileFaultInjected(void) { return faultInjected; }

long FileFaultOperationCount(void) { return faultOperationsSeen; }

// Counts one operation of `kind`; non-zero when it is the one to fail.
static int FaultFires(FileOpKind kind)
{
    faultOperationsSeen++;
    if (faultCountdown > 0 && --faultCountdown == 0) {
        faultInjected = kind;
        return 1;
    }
    return 0;
}
#define SIMULATED_FAULT(kind) FaultFires(kind)
#else
#define SIMULATED_FAULT(kind) 0
#endif

FILE *FileOpen(const char *path, const char *mode)
{
    if (SIMULATED_FAULT(FileOpOpen))
        return nullptr;
    return fopen(path, mode);
}

long FileRead(FILE *file, void *buffer, size_t size)
{
    if (SIMULATED_FAULT(FileOpRead))
        return -1;
    size_t got = fread(buffer, 1, size, file);
    if (got > 0)
        return (long)got;
    return ferror(file) ? -1 : 0;
}

int FileWrite(FILE *file, const void *data, size_t size)
{
    if (SIMULATED_FAULT(FileOpWrite)) {
        fwrite(data, 1, size / 2, file); // a disk that fills up half-way
        return -1;
    }
    return fwrite(data, 1, size, file) == size ? 0 : -1;
}

int FileClose(FILE *file)
{
    int failed = SIMULATED_FAULT(FileOpClose);
    if (fclose(file) != 0)
        failed = 1;
    return failed ? -1 : 0;
}

int FileRemove(const char *path)
{
    if (SIMULATED_FAULT(FileOpRemove))
        return -1;
    return remove(path) == 0 ? 0 : -1;
}

int FileReplace(const char *replacement, const char *target)
{
    if (SIMULATED_FAULT(FileOpReplace))
        return -1;
    return ReplaceFileInOneStep(replacement, target);
}

// Reads block `index` of a shared file into `into`, unless an earlier read
// already found the end or an error at or before it. Returns the count of
// bytes (a short count only for the file's last block), 0 at the end of
// the file, or -1 on an error.
static long ReadSharedBlock(MessageFile *message, long index, unsigned char *into)
{
    if (message->stopBlock >= 0 && index >= message->stopBlock)
        return message->stopResult;
    long got = -1;
    if (fseek(message->file, index * (long)kMessageBlockSize, SEEK_SET) == 0)
        got = FileRead(message->file, into, kMessageBlockSize);
    if (got <= 0) {
        message->stopBlock = index;
        message->stopResult = got;
    }
    return got;
}

// The next block of a shared reader: a kept one, or read and kept while
// there is room, or read into the reader's own block.
static long NextSharedBlock(MessageReader *reader)
{
    MessageFile *message = reader->shared;
    long index = reader->nextBlock++;
    if (index < message->keptCount) {
        reader->block = message->kept[index];
        return (long)message->keptSize[index];
    }
    bool keep = index == message->keptCount && index < kKeptMessageBlocks;
    unsigned char *into = keep ? message->kept[index] : reader->own;
    long got = ReadSharedBlock(message, index, into);
    if (got > 0 && keep) {
        message->keptSize[index] = (size_t)got;
        message->keptCount++;
    }
    reader->block = into;
    return got;
}

// Loads the next block. Returns 1 when bytes are there; 0 at the end of the
// file or after a read error, which stay for good (as feof and ferror do),
// so that no byte after a failed read is ever taken for the next one.
static int RefillBlock(MessageReader *reader)
{
    reader->next = 0;
    reader->end = 0;
    if (reader->atEnd || reader->failed)
        return 0;
    long got = reader->shared != nullptr ? NextSharedBlock(reader)
                                         : FileRead(reader->file, reader->own, kMessageBlockSize);
    if (got > 0) {
        reader->end = (size_t)got;
        return 1;
    }
    if (got == 0)
        reader->atEnd = 1;
    else
        reader->failed = 1;
    return 0;
}

static void ResetReader(MessageReader *reader)
{
    reader->nextBlock = 0;
    reader->block = reader->own;
    reader->next = 0;
    reader->end = 0;
    reader->pushedBack = -1;
    reader->atEnd = 0;
    reader->failed = 0;
}

int MessageReaderOpen(MessageReader *reader, const char *path)
{
    reader->file = FileOpen(path, "rb");
    if (reader->file == nullptr)
        return -1;
    // The reader keeps its own block; a second buffer in stdio would only copy.
    setvbuf(reader->file, nullptr, _IONBF, 0);
    reader->shared = nullptr;
    ResetReader(reader);
    return 0;
}

int MessageFileOpen(MessageFile *message, const char *path)
{
    message->file = FileOpen(path, "rb");
    if (message->file == nullptr)
        return -1;
    setvbuf(message->file, nullptr, _IONBF, 0);
    message->keptCount = 0;
    message->stopBlock = -1;
    message->stopResult = 0;
    return 0;
}

int MessageFileClose(MessageFile *message)
{
    int result = FileClose(message->file);
    message->file = nullptr;
    return result;
}

void MessageReaderStart(MessageReader *reader, MessageFile *message)
{
    reader->file = nullptr;
    reader->shared = message;
    ResetReader(reader);
}

int MessageReaderClose(MessageReader *reader)
{
    int result = FileClose(reader->file);
    reader->file = nullptr;
    return result;
}

int MessageReaderGetByte(MessageReader *reader)
{
    if (reader->pushedBack >= 0) {
        int byte = reader->pushedBack;
        reader->pushedBack = -1;
        return byte;
    }
    if (reader->next == reader->end && !RefillBlock(reader))
        return EOF;
    int byte = reader->block[reader->next++];
    if (byte != '\r')
        return byte;
    // A CR is part of the line end only when an LF follows, which may be the
    // first byte of the next block.
    if (reader->next == reader->end && !RefillBlock(reader))
        return '\r';
    if (reader->block[reader->next] != '\n')
        return '\r';
    reader->next++;
    return '\n';
}

void MessageReaderUngetByte(MessageReader *reader, int byte)
{
    if (byte != EOF)
        reader->pushedBack = byte & 0xFF;
}

size_t MessageReaderGetLine(MessageReader *reader, char *buffer, size_t limit)
{
    size_t count = 0;
    while (count < limit) {
        if (reader->pushedBack >= 0 || reader->next == reader->end || reader->block[reader->next] == '\r') {
            int byte = MessageReaderGetByte(reader);
            if (byte == EOF)
                break;
            buffer[count++] = (char)byte;
            if (byte == '\n')
                break;
            continue;
        }
        // Bytes that need no folding are copied from the block in one run.
        const unsigned char *from = reader->block + reader->next;
        size_t room = reader->end - reader->next;
        if (room > limit - count)
            room = limit - count;
        size_t run = 0;
        while (run < room && from[run] != '\n' && from[run] != '\r')
            run++;
        int endsLine = run < room && from[run] == '\n';
        if (endsLine)
            run++;
        memcpy(buffer + count, from, run);
        count += run;
        reader->next += run;
        if (endsLine)
            break;
    }
    buffer[count] = '\0';
    return count;
}

void MessageReaderSkipLine(MessageReader *reader)
{
    if (reader->pushedBack >= 0) {
        int byte = reader->pushedBack;
        reader->pushedBack = -1;
        if (byte == '\n')
            return;
    }
    // A CR before the LF is dropped with the rest of the line, so no folding
    // is needed here.
    for (;;) {
        if (reader->next == reader->end && !RefillBlock(reader))
            return;
        const void *newline = memchr(reader->block + reader->next, '\n', reader->end - reader->next);
        if (newline != nullptr) {
            reader->next = (size_t)((const unsigned char *)newline - reader->block) + 1;
            return;
        }
        reader->next = reader->end;
    }
}
