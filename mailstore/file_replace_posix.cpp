// One-step file replace on POSIX systems: rename(2) is atomic on one file
// system, so the target names either the old or the new bytes at any moment.
// Beside it, the test for a file marked read-only.
#include "mailstore/file_ops.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Forces the data of the file or directory `path` to the disk. 0 or -1.
static int SyncPath(const char *path)
{
    int descriptor = open(path, O_RDONLY);
    if (descriptor < 0)
        return -1;
    int result = fsync(descriptor);
    close(descriptor);
    return result == 0 ? 0 : -1;
}

// Forces the directory entry of `path` to the disk. 0 or -1.
static int SyncDirectoryOf(const char *path)
{
    const char *slash = strrchr(path, '/');
    if (slash == nullptr)
        return SyncPath(".");
    if (slash == path)
        return SyncPath("/");
    char *directory = strndup(path, (size_t)(slash - path));
    if (directory == nullptr)
        return -1;
    int result = SyncPath(directory);
    free(directory);
    return result;
}

int ReplaceFileInOneStep(const char *replacement, const char *target)
{
    // The replacement's bytes must be on the disk before its name changes, or
    // a crash could leave the message's name on an empty file.
    if (SyncPath(replacement) != 0)
        return -1;
    if (rename(replacement, target) != 0)
        return -1;
    // Makes the new directory entry itself durable; the replace has already
    // happened, so a failure here changes nothing for the caller.
    SyncDirectoryOf(target);
    return 0;
}

int FileIsReadOnly(const char *path)
{
    struct stat status;
    return stat(path, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 0222) == 0;
}
