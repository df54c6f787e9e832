// The about box (dialog 100) and the setup dialog (dialog 101).
#pragma once
#include <windows.h>

// Modal about box (from the resources of `instance`) owned by `owner`; its
// end code (1 OK, 2 cancel).
INT_PTR RunAboutBox(HINSTANCE instance, HWND owner);

// Modal setup dialog owned by `owner`; its end code (0, 1000, 1003, 1004).
INT_PTR RunSetupDialog(HINSTANCE instance, HWND owner);
