// The filing command: moves the queued messages when the host is idle and
// reports the moves with a beep and/or a summary box.
#pragma once
#include <windows.h>

// Enrolled with the host at start-up; `window` is the folder window that
// received the posted command, `value` is unused.
void WINAPI FilingCommand(HWND window, DWORD value);

// Moves every record detached from PendingList, waiting before each move
// until the host is idle, and counts the moves on their rules.
void PerformPendingMoves(HWND window);

// True while command 32835 of the window's fourth menu is not in state 0.
// A missing menu or item counts as not busy.
bool HostMenuBusy(HWND window);
