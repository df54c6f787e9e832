// One-step file replace on Windows: MoveFileExA replaces an existing target
// in one step, and MOVEFILE_WRITE_THROUGH returns only after the move (and,
// for a move across volumes, the copied data) has reached the disk.
#include "mailstore/file_ops.h"

#include <windows.h>

int ReplaceFileInOneStep(const char *replacement, const char *target)
{
    if (!MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return -1;
    return 0;
}
