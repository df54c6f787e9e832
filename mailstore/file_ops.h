// File operations of the mail store: the C library's file functions behind
// one small layer, so that the header readers and the header rewrite share
// one line-end rule and test builds can make any single operation fail.
//
// Message files are opened in binary mode on every platform; the reader
// below folds a CR that directly precedes an LF into the line end, so the
// callers see one LF per line end, as the Windows C runtime's text mode
// would show them, but a 0x1A byte is data and not the end of the file.
#pragma once
#include <cstddef>
#include <cstdio>

// Opens `path` with the C library's `mode` ("rb", "wb"). Returns the open
// file, which the caller closes with FileClose, or nullptr on failure.
FILE *FileOpen(const char *path, const char *mode);

// Reads up to `size` bytes into `buffer`. Returns the count read (1 or
// more), 0 at the end of the file, or -1 on a read error.
long FileRead(FILE *file, void *buffer, size_t size);

// Writes `size` bytes of `data`. Returns 0 when all were written, -1 when
// not (some may have been).
int FileWrite(FILE *file, const void *data, size_t size);

// Flushes and closes `file`; it is closed whatever the result. Returns 0, or
// -1 when buffered data could not be written or the close failed.
int FileClose(FILE *file);

// Deletes the file `path`. Returns 0, or -1 when it could not be deleted.
int FileRemove(const char *path);

// Puts the file `replacement` in the place of the file `target` in one step:
// afterwards `target` names the replacement's bytes and `replacement` is
// gone, or on failure (-1) both are as they were. Returns 0 on success.
int FileReplace(const char *replacement, const char *target);

// The platform's own one-step replace behind FileReplace (one file per
// platform: file_replace_posix.cpp, file_replace_win.cpp). Same contract,
// without the test builds' fault seam. The replacement's data has reached
// the disk before it takes the target's name.
int ReplaceFileInOneStep(const char *replacement, const char *target);

// Platform step beside it: non-zero when `path` names an existing file that
// is marked read-only (on Windows its read-only attribute, elsewhere no
// write permission for anyone). Windows refuses to write or replace such a
// file; code that must leave it alone asks here too, since a layer below
// (an emulation, a process with root's rights) may let the write through.
int FileIsReadOnly(const char *path);

const size_t kMessageBlockSize = 4096;
// Blocks of a message file that its shared readers keep: 16 KB, the whole
// header block of nearly every message.
const int kKeptMessageBlocks = 4;

// One open message file whose first blocks, once read, are kept for every
// reader started on it (MessageReaderStart), so that several header
// searches of one message open it once and read its header block once.
// Blocks after the kept ones are read again by each reader that reaches
// them. The record is owned by the caller (usually on its stack).
struct MessageFile {
    FILE *file;
    int keptCount; // blocks in `kept`, read in order from the file's start
    size_t keptSize[kKeptMessageBlocks];
    long stopBlock;  // first block whose read found the end or failed; -1: none
    long stopResult; // that read's result: 0 (end) or -1 (error)
    unsigned char kept[kKeptMessageBlocks][kMessageBlockSize];
};

// Opens `path` for reading. Returns 0, or -1 when the file cannot be opened
// (then it needs no close).
int MessageFileOpen(MessageFile *message, const char *path);

// Closes the file. Returns the result of FileClose.
int MessageFileClose(MessageFile *message);

// Sequential reader of a message file, opened in binary mode, reading
// through FileRead in blocks. A CR directly followed by an LF is delivered
// as one LF (also when the two bytes lie in different blocks); a CR on its
// own and every other byte, NUL and 0x1A included, are delivered unchanged.
// The record is owned by the caller (usually on its stack).
struct MessageReader {
    FILE *file;              // own file (MessageReaderOpen), or nullptr
    MessageFile *shared;     // the file it was started on, or nullptr
    long nextBlock;          // number of the block a shared reader loads next
    const unsigned char *block; // the current block: `own` or a kept block
    size_t next;             // index of the next unread byte of `block`
    size_t end;              // count of valid bytes in `block`
    int pushedBack;          // byte handed back by MessageReaderUngetByte, or -1
    int atEnd;               // a read found the end of the file (like feof)
    int failed;              // a read failed (like ferror)
    unsigned char own[kMessageBlockSize];
};

// Starts `reader` at the first byte of the open `message`. The reader
// needs no close; it must not be used after MessageFileClose.
void MessageReaderStart(MessageReader *reader, MessageFile *message);

// Opens `path` for reading with a reader of its own. Returns 0, or -1 when
// the file cannot be opened (the reader is then not open and needs no
// close).
int MessageReaderOpen(MessageReader *reader, const char *path);

// Closes the file of a reader opened with MessageReaderOpen. Returns the
// result of FileClose.
int MessageReaderClose(MessageReader *reader);

// Next byte (0-255, a folded CR LF as '\n'), or EOF at the end of the file
// or after a read error (see `atEnd` and `failed`).
int MessageReaderGetByte(MessageReader *reader);

// Hands back `byte`, the byte just read, so that the next
// MessageReaderGetByte returns it again. One byte of room.
void MessageReaderUngetByte(MessageReader *reader, int byte);

// Reads one line as fgets would: at most `limit` bytes into `buffer`,
// stopping after a '\n'. `buffer` holds at least `limit` + 1 bytes and gets
// a terminating NUL after the bytes read. Returns the count of bytes read
// (NUL bytes of the file included), 0 when nothing could be read.
size_t MessageReaderGetLine(MessageReader *reader, char *buffer, size_t limit);

// True when the `count` bytes that MessageReaderGetLine read end with the
// line's newline; false when the line was longer than the limit.
inline bool LineEndsWithNewline(const char *line, size_t count)
{
    return count > 0 && line[count - 1] == '\n';
}

// Reads and drops bytes up to and including the next '\n', or to the end
// of the file or a read error.
void MessageReaderSkipLine(MessageReader *reader);

// Non-zero once a read has found the end of the file or failed.
inline int MessageReaderStopped(const MessageReader *reader)
{
    return reader->atEnd || reader->failed;
}

#ifdef SORTELLA_FAULT_INJECTION
// Test builds only: a countdown over every FileOpen, FileRead, FileWrite,
// FileClose, FileRemove and FileReplace. After FileFaultArm(n) the n-th
// such operation fails once (an open gives nullptr, a read -1, a write
// writes half its bytes and gives -1, a close closes and gives -1, a remove
// or replace does nothing and gives -1); the ones after it work again.
// FileFaultArm(0) disarms.
enum FileOpKind { FileOpNone, FileOpOpen, FileOpRead, FileOpWrite, FileOpClose, FileOpRemove, FileOpReplace };

void FileFaultArm(long countdown);

// Kind of the operation that was made to fail since the last arm, or
// FileOpNone when the countdown has not run out.
FileOpKind FileFaultInjected(void);

// Count of operations seen since the last arm.
long FileFaultOperationCount(void);
#endif
