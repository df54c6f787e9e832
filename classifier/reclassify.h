// Correcting POPFile's verdict for the message of the last classifier menu.
#pragma once
#include <windows.h>

// Menu command, enrolled once per bucket item with the bucket's index.
void WINAPI OnReclassify(HWND window, DWORD bucketIndex);

// Fetches the key and posts the history form for the bucket at `index`.
void PostReclassification(int index);

// Files the message again by its (rewritten) bucket; "郵便受け" when no
// rule names the bucket.
void MoveAfterReclassify(const char *path);
