// The classifier items of the folder and view menus: the correction submenu
// "POPFile訂正[bucket]" of the shown message and the command
// "POPFileを開く". Texts are Shift_JIS.
#pragma once
#include <windows.h>

// APCFolderInitMenu. Code 102: appends the items for the folder window's
// current message to `menu` and returns the result of the last
// InsertMenuItemA (non-zero when it succeeded). Other codes: adds nothing
// and returns the code.
int ClassifierFolderMenu(HWND window, HMENU menu, int code);

// APCViewInitMenu. Code 201: the items go into the fourth submenu of
// `menu`; 202: into `menu` itself. Results as ClassifierFolderMenu.
int ClassifierViewMenu(HWND window, HMENU menu, int code);

// Command "POPFileを開く", enrolled with isView: opens the link of the
// message shown in `window`. Does nothing when the
// window shows no message.
void WINAPI OnOpenInClassifier(HWND window, DWORD isView);

// Command "バケツの再取得": fetches the bucket list again.
void WINAPI OnRefreshBuckets(HWND window, DWORD value);
