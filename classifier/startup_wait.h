// Holding the host at start-up until POPFile's proxy port accepts a TCP
// connection.
#pragma once
#include <windows.h>

// Set by APCStartUp when CheckConnect is on; cleared before the wait dialog.
extern int WaitArmed;

// APCFolderCreate: 0 when not armed, 1 when POPFile answers (or cannot or
// should not be probed), else the result of APAKillTimer after the wait.
DWORD RunStartupWait(HWND folderWindow);

// 1: go ahead; 0: the proxy does not accept connections yet. A zero
// `folderWindow` keeps the remembered one.
int ProbeClassifier(HWND folderWindow);

// 0 connected, -1 connection failed, -2 sockets unusable or host unknown.
int TryConnect(const char *host, int port);
