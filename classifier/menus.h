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

// Fills the new, empty correction submenu for the message shown in
// `window` (isView 0: folder window, 1: view window): one radio item per
// bucket (the message's own bucket checked, names compared exactly), a
// separator and "バケツの再取得"; or one of the two notice items when the
// message has no verdict or no bucket list can be had. Fetches the bucket
// page only while the list is empty.
void BuildBucketSubmenu(HWND window, HMENU submenu, int isView);

// Command "POPFileを開く", enrolled with isView: opens the link of the
// message shown in `window` (OpenMessageLink). Does nothing when the
// window shows no message.
void WINAPI OnOpenInClassifier(HWND window, DWORD isView);

// Command "バケツの再取得": fetches the bucket list again.
void WINAPI OnRefreshBuckets(HWND window, DWORD value);

// Opens the message's "X-POPFile-Link:" in the browser when it is an
// http:// or https:// link without double quotes or control bytes;
// otherwise (no such link) opens the URL setting, or nothing while that is
// empty. The shell's result is not examined.
void OpenMessageLink(const char *path);
