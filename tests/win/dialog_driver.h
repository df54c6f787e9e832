// Test support for the dialog and start-up wait tests: paths beside the test
// program, the settings file, a driver that acts on a modal dialog from a
// thread timer while the code under test sits in the dialog's loop, and
// what the POPFile stand-in (proxy port and web interface) was asked.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// ---- Paths (Windows paths, ending in a backslash where a directory) ----
std::string TestDirectory(void);
std::string SettingsPath(void); // <test dir>Plugins\sortella.ini
std::string PluginPath(void);   // <test dir>sortella.dll

// ---- The settings file ------------------------------------------------
struct Switches {
    bool dispDialog, beep, dispFrom, dispSubject, checkConnect;
};
// Replaces the settings file: rule "spam" = "ごみ箱" and section "Setup"
// with the five switches as "1"/"0" and `url` (Shift_JIS).
void WriteSettingsFile(const Switches &switches, const std::string &url);
// A value of section "Setup", or "<missing>".
std::string SetupValue(const char *key);

// ---- Driving a modal dialog -----------------------------------------------
// One action on the dialog, run from a timer tick inside its modal loop.
typedef std::function<void(HWND dialog)> DialogStep;

// Calls `open`, which shows a modal dialog of this thread and returns when
// it has ended, while a thread timer runs `steps` on the dialog, one per
// tick (50 ms). When the steps are done and the dialog is still up after
// `giveUpMs`, the test fails and the dialog gets WM_CLOSE. Returns what
// `open` returned; fails the test when not every step ran.
INT_PTR DriveDialog(const std::function<INT_PTR()> &open, const std::vector<DialogStep> &steps,
                    DWORD giveUpMs = 20000);
// The last dialog window the driver saw.
HWND DrivenDialog(void);

// Step helpers. Clicks are sent, so the dialog has reacted when they return.
void Click(HWND dialog, int id);
void TypeText(HWND dialog, int id, const char *text);
// Posts a key press to the dialog's focus window (or to the dialog), as
// the keyboard would; the dialog's loop handles it after the step.
void PressKey(HWND dialog, UINT virtualKey);
// Posts the close box's system command.
void PressCloseBox(HWND dialog);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
std::string ControlText(HWND dialog, int id);
// Ids of the tab stops in tab order, from the first one.
std::vector<int> TabOrder(HWND dialog);

// ---- Loopback ports and the POPFile stand-in -----------------------------
// A loopback port that nothing listens on (bound once, then released).
int UnusedPort(void);

// The native POPFile stand-in that with_popfile_standin.sh starts around
// this program; what it was asked is read from its state directory.
int StandinHttpPort(void);
int StandinPop3Port(void);
// HTTP requests it has logged so far, and their targets in order.
int StandinHttpRequests(void);
std::vector<std::string> StandinHttpTargets(void);
// Connections its POP3 port has accepted so far (the probes).
int StandinPop3Connections(void);
// Replaces its control file with `lines` (knobs such as "pop3-delay never");
// "" removes the file, which brings every knob back to its start value.
// Waits until the stand-in has applied the file's text.
void SetStandinKnobs(const std::string &lines);
