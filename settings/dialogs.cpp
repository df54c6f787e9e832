// Placeholder until the dialogs are built.
#include "settings/dialogs.h"

INT_PTR RunAboutBox(HWND)
{
    return -1;
}

INT_PTR RunSetupDialog(HWND)
{
    return -1;
}
