// Holding the host at start-up until POPFile's proxy port accepts a TCP
// connection. APCStartUp arms the wait; APCFolderCreate runs it. The proxy
// endpoint is the account's POP3Server and POP3Port (section "Property" of
// the account's "account.ini"), read once per process.
#pragma once
#include <windows.h>

// Set to 1 by APCStartUp when CheckConnect is on; cleared just before the
// wait dialog is shown, so that a process waits at most once.
extern int WaitArmed;

// The work of APCFolderCreate for the folder window being created: 0 when
// the wait is not armed; 1 when POPFile answers (or cannot or should not be
// probed), the wait staying armed; otherwise shows the wait dialog until a
// probe succeeds or the user cancels, and returns what APAKillTimer
// returned for the probe timer.
DWORD RunStartupWait(HWND folderWindow);

// One probe of the proxy. `folderWindow` names the account; 0 keeps the one
// remembered from an earlier call. 1: go ahead (the proxy accepts, or the
// account says not to probe, or it cannot be probed); 0: the proxy does not
// accept connections yet.
int ProbeClassifier(HWND folderWindow);

// A bare TCP connection to `host` (dotted IPv4 address or host name, a
// Shift_JIS text) at the low 16 bits of `port`; nothing is sent. 0:
// connected; -1: the connection failed; -2: Windows Sockets 1.1 unusable or
// the host name does not resolve.
int TryConnect(const char *host, int port);
