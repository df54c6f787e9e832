// Correcting POPFile's verdict for the message shown in a window.
#pragma once
#include <windows.h>

// Menu command, enrolled once per bucket item with the value that names
// the bucket as the menu showed it (ShownBucketValue). Acts on the message
// that `window` shows when the command runs, asked of the host as the kind
// of window its menu was set up for (a box says so when that kind is no
// longer known). When the message already names the bucket, asks first
// whether POPFile should be told once more (default No). Tells POPFile
// when the message has a positive view id and POPFile still lists the
// bucket, then rewrites its classification header and files it again.
// With the Log setting on, appends one line to the filing log: the bucket
// before and after, where the message was sent, and whether POPFile was
// told or why not. When POPFile was to be told and was not (or may not
// have been), shows one message box owned by `window` saying why, after
// the refiling and the line.
void WINAPI OnReclassify(HWND window, DWORD shownBucket);
