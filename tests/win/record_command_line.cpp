// A stand-in for an external editor: writes its whole command line into
// "recorded_command_line.txt" beside itself and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    char *slash = strrchr(path, '\\');
    if (!slash || (slash - path) + 30 >= MAX_PATH)
        return 1;
    strcpy(slash + 1, "recorded_command_line.txt");
    // Written under a temporary name first, so a reader never sees half.
    char partial[MAX_PATH + 8];
    snprintf(partial, sizeof partial, "%s.tmp", path);
    FILE *file = fopen(partial, "wb");
    if (!file)
        return 1;
    fputs(GetCommandLineA(), file);
    fclose(file);
    return MoveFileExA(partial, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
