// Test support for the dialog and start-up wait tests: paths beside the test
// program, the settings file, a driver that acts on a modal dialog from a
// thread timer while the code under test sits in the dialog's loop, and
// loopback listeners that stand for POPFile's proxy port and web interface.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
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
std::string ReadWholeFile(const std::string &path);

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

// ---- Loopback listeners (127.0.0.1) ------------------------------------------
// A port that nothing listens on (bound once, then released).
int UnusedPort(void);

struct Listener {
    int port = 0;
    bool http = false;  // answer each request with a page (else just accept)
    DWORD delayMs = 0;  // listen only after this long
    std::atomic<int> connections{0};
    std::atomic<int> requests{0};
    std::atomic<bool> listening{false};
    std::atomic<bool> stop{false};
    std::thread thread;
    std::mutex mutex;
    std::vector<std::string> paths; // request targets, in order
};
// Starts listening on `port` (0: any) after `delayMs`; the port is known
// when this returns.
void StartListener(Listener &listener, int port, bool http, DWORD delayMs = 0);
void StopListener(Listener &listener);
// The HTTP listener's pages: a target holding "nokey" gets a page without
// POPFile's key link; every other target a page with the key "KEY42".
extern const char kUiKey[];
