// The about box (dialog 100) and the setup dialog (dialog 101).
#pragma once
#include <windows.h>

// Modal about box (from the resources of `instance`) owned by `owner`; its
// end code (1 OK, 2 cancel).
INT_PTR RunAboutBox(HINSTANCE instance, HWND owner);

// Fetches POPFile's front page at `baseUrl` and returns the interface's
// key found there: empty or nullptr when POPFile does not answer there.
typedef const char *(*UiKeyFetcher)(const char *baseUrl);

// Modal setup dialog owned by `owner`; its end code (0, 1000, 1003, 1004).
// A URL the user types is accepted only when `fetchUiKey` finds a key at it.
INT_PTR RunSetupDialog(HINSTANCE instance, HWND owner, UiKeyFetcher fetchUiKey);
