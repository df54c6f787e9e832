// Correcting POPFile's verdict for the message of the last classifier menu.
#pragma once
#include <windows.h>

// Menu command, enrolled once per bucket item with the bucket's 0-based
// index in bucketNames; `window` is not used. Acts on
// BucketList.messagePath: posts the correction to POPFile when the message
// has a positive view id, then rewrites its classification header and
// files it again. An index beyond the current list does nothing.
void WINAPI OnReclassify(HWND window, DWORD bucketIndex);
