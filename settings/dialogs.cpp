// The about box (template 100), the setup dialog (template 101) and the
// external editor for the settings file and the filing log. Both dialogs
// are modal dialogs of the system, built from this module's resources. The
// setup dialog works on PluginSettings directly: it shows the values when
// it opens and stores and saves them only when the user confirms.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "mailstore/mailbox.h"
#include "plugin/host_guard.h"
#include "plugin/resource.h"
#include "settings/dialogs.h"
#include "settings/editor_command.h"
#include "settings/settings.h"

namespace {

const char kBoxCaption[] = "Sortella";
const char kNeedsHttpText[] = "URL は、 http:// を入力してください";
const char kBadUrlText[] = "URL が正しくありません";
const char kNoLogText[] = "振り分けの記録（sortella.log）はまだありません。";
const char kHttpScheme[] = "http://";

// The URL field is read into 512 bytes with a count of 511, so at most 510
// bytes of text are taken.
const int kUrlBufferSize = 512;
const int kUrlReadCount = 511;

// The URL test of the open setup dialog (set by RunSetupDialog; the same
// function for every dialog the host opens).
UiKeyFetcher FetchTypedUrlKey = nullptr;

// Editor command and file path: MAX_PATH bytes each.
const int kEditorSize = 260;
const int kFilePathSize = 260;

// ---- About box --------------------------------------------------------

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE; // the system sets the focus
    if (message == WM_COMMAND) {
        WORD command = LOWORD(wParam);
        if (command == IDOK || command == IDCANCEL)
            EndDialog(dialog, command);
    }
    return FALSE;
}

// ---- Setup dialog -----------------------------------------------------

void CheckButton(HWND dialog, int id, bool on)
{
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Sender and subject only matter for the summary box, so their boxes can be
// changed only while "show a message" is chosen.
void EnableSenderAndSubject(HWND dialog, bool enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_SHOW_FROM), enable);
    EnableWindow(GetDlgItem(dialog, IDC_SHOW_SUBJECT), enable);
}

INT_PTR OnSetupInit(HWND dialog)
{
    const PluginSettingsRecord &settings = PluginSettings;
    // A file with both DispDialog and Beep on shows both radio buttons
    // checked; the user's next click makes them exclusive again.
    CheckButton(dialog, IDC_SHOW_MESSAGE, settings.DispDialog);
    CheckButton(dialog, IDC_BEEP, settings.Beep);
    CheckButton(dialog, IDC_NOTHING, !settings.DispDialog && !settings.Beep);
    CheckButton(dialog, IDC_SHOW_FROM, settings.DispFrom);
    CheckButton(dialog, IDC_SHOW_SUBJECT, settings.DispSubject);
    EnableSenderAndSubject(dialog, settings.DispDialog);
    CheckButton(dialog, IDC_CHECK_CONNECT, settings.CheckConnect);
    SetDlgItemTextA(dialog, IDC_URL, settings.URL.c_str());
    return TRUE;
}

void OnActionChosen(HWND dialog)
{
    EnableSenderAndSubject(dialog, IsChecked(dialog, IDC_SHOW_MESSAGE));
}

void OnReload(HWND dialog)
{
    LoadSettings();
    EndDialog(dialog, IDC_RELOAD);
}

void ShowUrlMessage(HWND dialog, const char *text)
{
    MessageBoxA(dialog, text, kBoxCaption, MB_OK | MB_ICONINFORMATION);
}

// Tests a URL the user has typed, as it will be stored (UrlSettingOf): it
// must begin with "http://" and POPFile must answer at it with a page that
// carries the interface's key. Tells the user why when it fails. Empty
// text and the stored URL need no test.
bool AcceptTypedUrl(HWND dialog, const char *typed)
{
    std::string url = UrlSettingOf(typed);
    if (url.empty() || PluginSettings.URL == url)
        return true;
    if (strncmp(typed, kHttpScheme, strlen(kHttpScheme)) != 0) {
        ShowUrlMessage(dialog, kNeedsHttpText);
        return false;
    }
    const char *key = FetchTypedUrlKey(url.c_str());
    if (!key || key[0] == '\0') {
        ShowUrlMessage(dialog, kBadUrlText);
        return false;
    }
    return true;
}

void StoreUrl(const char *typed)
{
    PluginSettings.URL = UrlSettingOf(typed);
}

void StoreSwitches(HWND dialog)
{
    PluginSettingsRecord &settings = PluginSettings;
    settings.DispDialog = IsChecked(dialog, IDC_SHOW_MESSAGE);
    settings.Beep = IsChecked(dialog, IDC_BEEP);
    settings.CheckConnect = IsChecked(dialog, IDC_CHECK_CONNECT);
    // With the summary box off the two boxes were disabled; what they show
    // then is not the user's choice, so the stored values stay.
    if (settings.DispDialog) {
        settings.DispFrom = IsChecked(dialog, IDC_SHOW_FROM);
        settings.DispSubject = IsChecked(dialog, IDC_SHOW_SUBJECT);
    }
}

void OnConfirm(HWND dialog)
{
    char typed[kUrlBufferSize] = "";
    GetDlgItemTextA(dialog, IDC_URL, typed, kUrlReadCount);
    if (!AcceptTypedUrl(dialog, typed))
        return; // the dialog stays open with the user's text
    StoreUrl(typed);
    StoreSwitches(dialog);
    SaveSettings();
    EndDialog(dialog, IDC_CONFIRM);
}

// Starts `commandLine` without waiting; 1 when a process was started.
int StartProgram(char *commandLine, int showState)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 0;
    // The editor runs on its own; the plug-in does not wait for it.
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 1;
}

// True when `path` names an existing file (not a folder) as a whole.
bool NamesAFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens the file `path` (kFilePathSize bytes at most) in the host's
// external editor.
void OpenInExternalEditor(const char *path)
{
    // Starts empty: a lookup that leaves the buffer untouched gives an
    // empty part, never leftover bytes.
    char editor[kEditorSize] = "";
    ReadExternalEditor(sizeof editor, editor);
    // Room for both parts, two pairs of quotes, the blank and the NUL.
    char commandLine[kEditorSize + kFilePathSize + 8];
    if (EditorCommandLine(editor, NamesAFile(editor), path, commandLine, sizeof commandLine) == 0)
        StartProgram(commandLine, SW_SHOW);
}

// Opens the settings file in the external editor (button 1001).
void EditSettingsFile(void)
{
    char iniPath[kFilePathSize] = "";
    GetIniPath(sizeof iniPath, iniPath);
    OpenInExternalEditor(iniPath);
}

// Opens the filing log in the external editor (button 1002), or says in a
// box owned by the dialog that there is none yet: an editor would offer
// to make the file.
void OpenFilingLog(HWND dialog)
{
    char logPath[kFilePathSize] = "";
    GetLogPath(sizeof logPath, logPath);
    if (!NamesAFile(logPath)) {
        MessageBoxA(dialog, kNoLogText, kBoxCaption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    OpenInExternalEditor(logPath);
}

// Only the ids 1000 to 1008 are commands here; Enter (IDOK), Escape
// (IDCANCEL) and the edit field's notifications leave the dialog as it is.
void OnSetupCommand(HWND dialog, WORD command)
{
    switch (command) {
    case IDC_SHOW_MESSAGE:
    case IDC_BEEP:
    case IDC_NOTHING:
        OnActionChosen(dialog);
        break;
    case IDC_RELOAD:
        OnReload(dialog);
        break;
    case IDC_EDIT_FILE:
        EditSettingsFile();
        break;
    case IDC_OPEN_LOG:
        OpenFilingLog(dialog);
        break;
    case IDC_CANCEL:
        EndDialog(dialog, IDC_CANCEL);
        break;
    case IDC_CONFIRM:
        OnConfirm(dialog);
        break;
    default:
        break;
    }
}

INT_PTR SetupDispatch(HWND dialog, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnSetupInit(dialog);
    case WM_COMMAND:
        OnSetupCommand(dialog, LOWORD(wParam));
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0); // the close box: nothing is stored
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    // Storing the URL may run out of memory; the dialog then just stays.
    return GuardHostCall<INT_PTR>(FALSE, [&] { return SetupDispatch(dialog, message, wParam); });
}

} // namespace

INT_PTR RunAboutBox(HINSTANCE instance, HWND owner)
{
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
}

INT_PTR RunSetupDialog(HINSTANCE instance, HWND owner, UiKeyFetcher fetchUiKey)
{
    FetchTypedUrlKey = fetchUiKey;
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), owner, SetupDialogProc, 0);
}
