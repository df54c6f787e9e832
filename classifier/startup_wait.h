// Holding the host at start-up until POPFile's proxy port accepts a TCP
// connection. APCStartUp arms the wait; APCFolderCreate runs it. The proxy
// endpoint is the account's POP3Server and POP3Port (section "Property" of
// the account's "account.ini"), read once per process.
#pragma once
#include <windows.h>

// Arms the wait (APCStartUp, when CheckConnect is on). It is disarmed just
// before the wait dialog is shown, so that a process waits at most once.
void ArmStartupWait(void);

// The work of APCFolderCreate for the folder window being created: 0 when
// the wait is not armed; 1 when POPFile answers (or cannot or should not be
// probed), the wait staying armed; otherwise shows the wait dialog (from
// the resources of `instance`) until a probe succeeds or the user cancels,
// and returns what APAKillTimer returned for the probe timer.
DWORD RunStartupWait(HINSTANCE instance, HWND folderWindow);
