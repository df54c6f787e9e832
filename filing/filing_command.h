// The filing command: moves the queued messages when the host is idle and
// reports the moves with a beep and/or a summary box.
#pragma once
#include <windows.h>

// Enrolled with the host at start-up; `window` is the folder window that
// received the posted command (its menu bar is inspected by HostMenuBusy),
// `value` is unused. Moves the queue, then, when at least one message was
// moved, beeps (Beep) and shows the summary box owned by `window`
// (DispDialog); every rule's MovedCount and Details are cleared.
void WINAPI FilingCommand(HWND window, DWORD value);

// Detaches PendingList and moves each record with APAMoveMail, in order,
// after waiting until the host is idle; counts each successful move on the
// rule at the record's RuleIndex (when still inside the table) and adds its
// detail line. Releases every record. When the wait takes WM_QUIT out of
// the queue, it posts the quit again and releases the remaining records
// without moving them.
void PerformPendingMoves(HWND window);

// True while command 32835 of the window's fourth menu is not in state 0,
// after sending WM_INITMENUPOPUP so the host updates it. A window without
// that menu or that command counts as not busy.
bool HostMenuBusy(HWND window);
