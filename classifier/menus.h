// The classifier items of the folder and view menus.
#pragma once
#include <windows.h>

// Code 102: appends the items to `menu`. Other codes: returns the code.
// Otherwise returns the result of the last InsertMenuItemA.
int ClassifierFolderMenu(HWND window, HMENU menu, int code);

// Code 201: into the fourth submenu of `menu`; 202: into `menu` itself.
int ClassifierViewMenu(HWND window, HMENU menu, int code);

void BuildBucketSubmenu(HWND window, HMENU submenu, int isView);
void WINAPI OnOpenInClassifier(HWND window, DWORD isView);
void WINAPI OnRefreshBuckets(HWND window, DWORD value);

// Opens the message's "X-POPFile-Link:" (only http:// or https://), or the
// URL setting when it has none.
void OpenMessageLink(const char *path);
