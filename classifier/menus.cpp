// Placeholder until the classifier menus are built: no items are added.
#include "classifier/menus.h"

int ClassifierFolderMenu(HWND, HMENU, int code)
{
    return code;
}

int ClassifierViewMenu(HWND, HMENU, int code)
{
    return code;
}
