// One-step file replace on Windows: MoveFileExA replaces an existing target
// in one step. Its MOVEFILE_WRITE_THROUGH waits only for a move made as a
// copy across volumes; a rename on one volume returns before anything is
// flushed. So the replacement's data is flushed first, through a handle of
// its own (FlushFileBuffers), as fsync does on POSIX systems: otherwise a
// power cut could leave the message's name on contents never written.
// Beside it, the test for a file marked read-only.
#include "mailstore/file_ops.h"

#include <windows.h>

// Forces the data of the closed file `path` to the disk. 0 or -1.
static int FlushFileData(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    BOOL flushed = FlushFileBuffers(file);
    CloseHandle(file);
    return flushed ? 0 : -1;
}

int FileIsReadOnly(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

int ReplaceFileInOneStep(const char *replacement, const char *target)
{
    // Windows refuses to replace a read-only file; the check is made here
    // as well so that no layer below (a network drive, an emulation) can
    // drop the user's protection.
    if (FileIsReadOnly(target))
        return -1;
    if (FlushFileData(replacement) != 0)
        return -1;
    if (!MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return -1;
    return 0;
}
