// The filing command: moves the queued messages when the host is idle and
// reports the moves with a beep and/or a summary box.
#pragma once
#include <windows.h>

// Enrolled with the host at start-up; `window` is the folder window that
// received the posted command (its menu bar is inspected by HostMenuBusy),
// `value` is unused. Moves the queue; with the Log setting on, appends one
// line per move asked of the host to the filing log after the last move;
// then, when at least one message was moved, beeps (Beep) and shows the
// summary box owned by `window` (DispDialog); the counts and lines
// gathered for the summary are cleared.
void WINAPI FilingCommand(HWND window, DWORD value);
