// The about box (dialog 100) and the setup dialog (dialog 101).
#pragma once
#include <windows.h>

// Modal about box owned by `owner`; its end code (1 OK, 2 cancel).
INT_PTR RunAboutBox(HWND owner);

// Modal setup dialog owned by `owner`; its end code (0, 1000, 1003, 1004).
INT_PTR RunSetupDialog(HWND owner);

// Starts `commandLine` without waiting; 1 when a process was started.
int StartProgram(char *commandLine, int showState);

// Opens the settings file in the host's external editor.
void EditSettingsFile(void);
