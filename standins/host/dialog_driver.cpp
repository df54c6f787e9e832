// Acting on the plug-in's modal dialogs without a person: queued steps run
// one per tick of a host timer, which the dialog's own message loop
// dispatches.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <deque>

namespace {

using hostrig::Record;

const DWORD kTickMs = 100;
const DWORD kNoDialogLimitMs = 10000;

std::deque<HostDialogStep> steps;
std::vector<std::string> readings;
DWORD waitingSince;   // tick count when the driver began to wait for a dialog
DWORD pauseUntil;     // a Wait step's end
bool pausing;
DWORD closeLeftOpenMs; // 0: dialogs left open after the last step stay open
HWND lastDialog;       // the dialog the last step acted on
DWORD lastStepAt;
int closeAttempts;

// A dialog still open `closeLeftOpenMs` after the last step: WM_CLOSE, and
// when that does not end it, EndDialog with IDCANCEL.
void CloseDialogLeftOpen()
{
    if (closeLeftOpenMs && !lastDialog) {
        // No step acted on a dialog: the one that is up is left open.
        lastDialog = hostrig::CurrentDialog();
        lastStepAt = GetTickCount();
        closeAttempts = 0;
        if (!lastDialog && GetTickCount() - waitingSince < kNoDialogLimitMs)
            return;
    }
    if (!closeLeftOpenMs || !lastDialog || !IsWindow(lastDialog)) {
        lastDialog = NULL;
        KillTimer(hostrig::HiddenWindow(), hostrig::kDialogTimer);
        return;
    }
    if (GetTickCount() - lastStepAt < closeLeftOpenMs)
        return;
    lastStepAt = GetTickCount();
    if (closeAttempts++ == 0) {
        Record("dialog", "left open after the last step: WM_CLOSE", "", "", 0, 0, lastDialog);
        PostMessageA(lastDialog, WM_CLOSE, 0, 0);
    } else {
        Record("dialog", "still open: EndDialog with IDCANCEL", "", "", 0, 0, lastDialog);
        EndDialog(lastDialog, IDCANCEL);
        lastDialog = NULL;
    }
}

bool IsDialog(HWND window)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return lstrcmpA(name, "#32770") == 0;
}

BOOL CALLBACK FindTopDialog(HWND window, LPARAM result)
{
    if (IsDialog(window) && IsWindowVisible(window) && IsWindowEnabled(window)) {
        *(HWND *)result = window;
        return FALSE;
    }
    return TRUE;
}

std::string Id(int id)
{
    return std::to_string(id);
}

void Read(const std::string &what, int id, const std::string &value, HWND dialog)
{
    readings.push_back(value);
    Record("dialog", what + " " + Id(id) + " = " + value, "", "", (DWORD)id,
           value == "1" ? 1u : 0u, dialog);
}

void RunStep(const HostDialogStep &step, HWND dialog)
{
    HWND control = GetDlgItem(dialog, step.id);
    switch (step.kind) {
    case HostDialogStep::Click:
        Record("dialog", "click " + Id(step.id) + (control ? "" : " (no such control)"), "", "",
               (DWORD)step.id, control != NULL, dialog);
        if (control)
            PostMessageA(control, BM_CLICK, 0, 0);
        break;
    case HostDialogStep::Type:
        Record("dialog", "type " + Id(step.id) + " \"" + HostSjisToUtf8(step.text) + "\"" +
                             (control ? "" : " (no such control)"),
               step.text, "", (DWORD)step.id, control != NULL, dialog);
        if (control)
            SetWindowTextA(control, step.text.c_str());
        break;
    case HostDialogStep::ReadChecked:
        Read("checked", step.id, IsDlgButtonChecked(dialog, step.id) == BST_CHECKED ? "1" : "0",
             dialog);
        break;
    case HostDialogStep::ReadEnabled:
        Read("enabled", step.id, control && IsWindowEnabled(control) ? "1" : "0", dialog);
        break;
    case HostDialogStep::ReadText: {
        char text[2048] = "";
        if (control)
            GetWindowTextA(control, text, sizeof text);
        Read("text", step.id, HostSjisToUtf8(text), dialog);
        break;
    }
    case HostDialogStep::Screenshot:
        HostScreenshot(dialog, step.text.c_str());
        break;
    case HostDialogStep::Close:
        Record("dialog", "close", "", "", 0, 0, dialog);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    case HostDialogStep::Wait:
        break;
    }
}

} // namespace

namespace hostrig {

HWND CurrentDialog(void)
{
    HWND active = GetActiveWindow();
    if (active && IsDialog(active) && IsWindowEnabled(active))
        return active;
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindTopDialog, (LPARAM)&found);
    return found;
}

void RunDialogStep(void)
{
    if (steps.empty()) {
        CloseDialogLeftOpen();
        return;
    }
    if (pausing) {
        if ((LONG)(GetTickCount() - pauseUntil) < 0)
            return;
        pausing = false;
    }
    HostDialogStep step = steps.front();
    if (step.kind == HostDialogStep::Wait) {
        steps.pop_front();
        pausing = true;
        pauseUntil = GetTickCount() + (DWORD)step.id;
        return;
    }
    HWND dialog = CurrentDialog();
    if (!dialog) {
        if (GetTickCount() - waitingSince > kNoDialogLimitMs) {
            Record("dialog", "no dialog appeared; " + std::to_string(steps.size()) +
                                 " step(s) dropped");
            steps.clear();
            KillTimer(HiddenWindow(), kDialogTimer);
        }
        return;
    }
    steps.pop_front();
    waitingSince = GetTickCount();
    lastDialog = dialog;
    lastStepAt = GetTickCount();
    closeAttempts = 0;
    RunStep(step, dialog);
}

} // namespace hostrig

void HostDriveDialog(const std::vector<HostDialogStep> &newSteps)
{
    hostrig::EnsureHost();
    if (steps.empty())
        waitingSince = GetTickCount();
    steps.insert(steps.end(), newSteps.begin(), newSteps.end());
    SetTimer(hostrig::HiddenWindow(), hostrig::kDialogTimer, kTickMs, NULL);
}

void HostCloseDialogsLeftOpen(DWORD ms)
{
    closeLeftOpenMs = ms;
}

bool HostDialogStepsPending(void)
{
    return !steps.empty();
}

std::vector<std::string> HostDialogReadings(void)
{
    return readings;
}

void HostClearDialogReadings(void)
{
    readings.clear();
}
