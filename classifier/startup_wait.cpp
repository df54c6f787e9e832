// Placeholder until the start-up wait is built: never waits.
#include "classifier/startup_wait.h"

int WaitArmed;

DWORD RunStartupWait(HWND)
{
    return 0;
}
