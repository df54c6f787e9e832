// The steps of the stand-in program's script.
//
// Set-up:     mailbox DIR | new-mailbox DIR | account DIR TITLE SERVER PORT [CONNECT]
//             account-set DIR KEY VALUE | folder DIR NAME | message DIR FOLDER FILE
//             editor COMMAND
// Plug-in:    start [ACCOUNT] | name | open-folder ACCOUNT | retrieve [SECONDS]
//             select ENTRY | select FOLDER N | select none | view
//             folder-menu | view-menu [201|202] | folder-bar | view-bar
//             choose TEXT... | menu-shot FILE [ITEM] | setup ... end | about ... end
// In a dialog (between setup/about and end):
//             click ID | type ID TEXT | checked ID | enabled ID | text ID
//             shot FILE | wait MS | close
// Boxes etc.: box-answer WHAT | box-default WHAT | box-show MS | box-shot FILE
//             shell forward|record | process forward|record
// Waiting:    wait-idle [SECONDS] | pump MS | busy on|off | busy-for MS
// Looking:    screenshot FILE [folder|view|screen] | list [ACCOUNT] | note TEXT
// End:        quit
#include "standins/host/standin/script.h"

#include "standins/host/host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <map>

namespace {

typedef std::vector<std::string> Words;

std::string programDirectory;
HWND folderWindow; // the folder window the steps act on
HWND viewWindow;   // the last view window opened
HMENU lastMenu;    // the last menu built or picked, and its window
HWND lastMenuWindow;

std::string Sjis(const std::string &utf8)
{
    return HostUtf8ToSjis(utf8);
}

void Error(const std::string &text)
{
    HostNote("error", text);
}

int Number(const std::string &text)
{
    return atoi(text.c_str());
}

bool NeedArgs(const Words &step, size_t least)
{
    if (step.size() - 1 >= least)
        return true;
    Error("step \"" + step[0] + "\" needs " + std::to_string(least) + " argument(s)");
    return false;
}

bool NeedFolderWindow()
{
    if (folderWindow && IsWindow(folderWindow))
        return true;
    Error("no folder window (run \"start\" first)");
    return false;
}

// Account directory names below the mailbox, sorted.
std::vector<std::string> Accounts()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(HostMailbox()) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != ".." &&
            GetFileAttributesA((std::string(HostMailbox()) + name + "\\account.ini").c_str()) !=
                INVALID_FILE_ATTRIBUTES)
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Subfolders(const std::string &account)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(HostAccountDirectory(account.c_str()).append("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The value of header `name` (with its colon, ASCII case ignored) in the
// header block of a message text, unfolded no further than its first line.
std::string HeaderValue(const std::string &text, const char *name)
{
    size_t length = strlen(name);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            break;
        if (line.size() >= length && _strnicmp(line.c_str(), name, length) == 0) {
            size_t value = line.find_first_not_of(' ', length);
            return value == std::string::npos ? "" : line.substr(value);
        }
        start = end + 1;
    }
    return "";
}

HWND Target(const std::string &which)
{
    if (which == "folder")
        return folderWindow;
    if (which == "view")
        return viewWindow;
    return NULL;
}

int AnswerId(const std::string &what)
{
    static const std::map<std::string, int> names = {{"ok", IDOK},       {"cancel", IDCANCEL},
                                                     {"abort", IDABORT}, {"retry", IDRETRY},
                                                     {"ignore", IDIGNORE}, {"yes", IDYES},
                                                     {"no", IDNO}};
    auto found = names.find(what);
    return found != names.end() ? found->second : Number(what);
}

// ---- set-up steps ----

void StepMailbox(const Words &s)
{
    if (!NeedArgs(s, 1))
        return;
    std::string path = ScriptPath(s[1]);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Error("mailbox " + s[1] + " does not exist");
        return;
    }
    HostSetMailbox(path.c_str());
}

void StepNewMailbox(const Words &s)
{
    if (NeedArgs(s, 1) && !HostSetMailbox(ScriptPath(s[1]).c_str()))
        Error("mailbox " + s[1] + " cannot be made");
}

void StepAccount(const Words &s)
{
    if (!NeedArgs(s, 4))
        return;
    std::string connect = s.size() > 5 ? Sjis(s[5]) : "1";
    if (!HostAddAccount(Sjis(s[1]).c_str(), Sjis(s[2]).c_str(), Sjis(s[3]).c_str(),
                        Sjis(s[4]).c_str(), connect.c_str()))
        Error("account " + s[1] + " cannot be made (is the mailbox set?)");
}

void StepAccountSet(const Words &s)
{
    if (NeedArgs(s, 3) &&
        !HostSetAccountValue(Sjis(s[1]).c_str(), Sjis(s[2]).c_str(), Sjis(s[3]).c_str()))
        Error("account " + s[1] + ": value cannot be written");
}

void StepFolder(const Words &s)
{
    if (NeedArgs(s, 2) && !HostAddFolder(Sjis(s[1]).c_str(), Sjis(s[2]).c_str()))
        Error("folder " + s[2] + " of " + s[1] + " cannot be made");
}

void StepMessage(const Words &s)
{
    if (!NeedArgs(s, 3))
        return;
    std::string source = ScriptPath(s[3]);
    if (GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Error("message file " + s[3] + " cannot be read");
        return;
    }
    std::string text = HostReadFile(source);
    std::string path = HostWriteMessage(Sjis(s[1]).c_str(), Sjis(s[2]).c_str(), nullptr, text.c_str());
    if (path.empty())
        Error("message cannot be stored in " + s[1] + "\\" + s[2]);
    else
        HostNote("message", "stored " + HostSjisToUtf8(HostEntryOfPath(path)));
}

void StepEditor(const Words &s)
{
    if (NeedArgs(s, 1) && !HostSetExternalEditor(Sjis(s[1]).c_str()))
        Error("ExternalEditor cannot be written");
}

// ---- plug-in and window steps ----

void StepStart(const Words &s)
{
    std::string dll = programDirectory + "Plugins\\sortella.dll";
    // Once started, a further "start" only opens another folder window.
    if (!HostPluginModule()) {
        if (HostLoadPlugin(dll.c_str())) {
            HostPluginName();
            HostStartPlugin();
        } else {
            Error("the plug-in " + HostSjisToUtf8(dll) + " was not loaded");
        }
    }
    std::vector<std::string> accounts = Accounts();
    std::string account = s.size() > 1 ? Sjis(s[1]) : accounts.empty() ? "" : accounts[0];
    if (account.empty()) {
        Error("no account in the mailbox \"" + HostSjisToUtf8(HostMailbox()) + "\"");
        return;
    }
    folderWindow = HostCreateFolderWindow(account.c_str());
    if (!folderWindow)
        Error("no folder window for account " + HostSjisToUtf8(account));
}

void StepName(const Words &)
{
    if (!HostPluginModule())
        Error("no plug-in loaded");
    else
        HostPluginName();
}

void StepOpenFolder(const Words &s)
{
    if (!NeedArgs(s, 1))
        return;
    HWND window = HostCreateFolderWindow(Sjis(s[1]).c_str());
    if (window)
        folderWindow = window;
    else
        Error("no folder window for account " + s[1]);
}

void StepRetrieve(const Words &s)
{
    if (!NeedFolderWindow())
        return;
    DWORD seconds = s.size() > 1 ? Number(s[1]) : 60;
    HostRetrieve(folderWindow, seconds * 1000);
}

void StepSelect(const Words &s)
{
    if (!NeedFolderWindow() || !NeedArgs(s, 1))
        return;
    if (s[1] == "none") {
        HostSelectEntry(folderWindow, nullptr);
        return;
    }
    if (s.size() == 2) {
        HostSelectEntry(folderWindow, Sjis(s[1]).c_str());
        return;
    }
    // FOLDER N: the N-th message (from 1) of that folder of the window's account.
    std::string accountDir = HostFolderAccount(folderWindow);
    std::vector<std::string> files = HostListMessages(accountDir.c_str(), Sjis(s[1]).c_str());
    int index = Number(s[2]);
    if (index < 1 || index > (int)files.size()) {
        Error("folder " + s[1] + " has no message " + s[2]);
        HostSelectEntry(folderWindow, nullptr);
        return;
    }
    std::string name = files[index - 1];
    std::string entry = accountDir + "\\" + Sjis(s[1]) + "\\" + name.substr(0, name.size() - 4);
    HostSelectEntry(folderWindow, entry.c_str());
}

void StepView(const Words &)
{
    if (!NeedFolderWindow())
        return;
    std::string entry = HostCurrentEntry(folderWindow);
    if (entry.empty()) {
        Error("no current message to view");
        return;
    }
    HWND window = HostCreateViewWindow(HostPathOfEntry(entry).c_str());
    if (window)
        viewWindow = window;
}

void StepFolderMenu(const Words &)
{
    if (!NeedFolderWindow())
        return;
    lastMenu = HostBuildFolderMenu(folderWindow);
    lastMenuWindow = folderWindow;
}

void StepViewMenu(const Words &s)
{
    if (!viewWindow || !IsWindow(viewWindow)) {
        Error("no view window (run \"view\" first)");
        return;
    }
    int code = s.size() > 1 ? Number(s[1]) : 202;
    lastMenu = HostBuildViewMenu(viewWindow, code);
    lastMenuWindow = viewWindow;
}

void StepBar(HWND window, const char *what)
{
    if (!window || !IsWindow(window)) {
        Error(std::string("no ") + what + " window");
        return;
    }
    lastMenu = GetMenu(window);
    lastMenuWindow = window;
    for (int i = 0; i < GetMenuItemCount(lastMenu); ++i)
        SendMessageA(window, WM_INITMENUPOPUP, (WPARAM)GetSubMenu(lastMenu, i), i);
    HostNote("menu", std::string(what) + " menu bar\n" + HostDescribeMenu(lastMenu));
}

void StepChoose(const Words &s)
{
    if (!NeedArgs(s, 1))
        return;
    if (!lastMenu || !IsWindow(lastMenuWindow)) {
        Error("no menu to choose from (build one first)");
        return;
    }
    std::vector<std::string> path;
    for (size_t i = 1; i < s.size(); ++i)
        path.push_back(Sjis(s[i]));
    HostChooseMenuItem(lastMenuWindow, lastMenu, path);
}

// menu-shot: the last menu shown on screen as a pop-up menu, the submenu of
// ITEM (a top-level item's text) opened by key presses, a PNG of the screen
// taken, and the menu closed again without choosing anything.
struct MenuShot {
    std::string pngPath; // ANSI path of the PNG
    int downPresses;     // VK_DOWN presses that reach the item (0: no item)
    int tick;            // timer ticks so far
    bool taken;
};
MenuShot menuShot;

int PressesToReach(HMENU menu, const std::string &itemText)
{
    int presses = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[512] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, i, TRUE, &info) || (info.fType & MFT_SEPARATOR))
            continue;
        ++presses;
        std::string plain;
        for (const char *c = text; *c; ++c)
            if (*c != '&')
                plain += *c;
        if (itemText == text || itemText == plain)
            return presses;
    }
    return 0;
}

void PressKey(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

// Runs inside the menu's own message loop, every 400 ms: first the key
// presses, then (after the submenu has painted) the screenshot, then the end.
void CALLBACK MenuShotTick(HWND window, UINT, UINT_PTR, DWORD)
{
    int tick = menuShot.tick++;
    if (tick == 0) {
        for (int i = 0; i < menuShot.downPresses; ++i)
            PressKey(window, VK_DOWN);
        if (menuShot.downPresses)
            PressKey(window, VK_RIGHT);
    } else if (tick == 3) {
        menuShot.taken = HostScreenshot(NULL, menuShot.pngPath.c_str()) != 0;
    } else if (tick >= 4) {
        EndMenu();
    }
}

void StepMenuShot(const Words &s)
{
    if (!NeedArgs(s, 1))
        return;
    if (!lastMenu || !IsWindow(lastMenuWindow)) {
        Error("no menu to show (build one first)");
        return;
    }
    menuShot = MenuShot{ScriptPath(s[1]), 0, 0, false};
    if (s.size() > 2) {
        menuShot.downPresses = PressesToReach(lastMenu, Sjis(s[2]));
        if (!menuShot.downPresses)
            Error("menu-shot: no item " + s[2]);
    }
    RECT area;
    GetWindowRect(lastMenuWindow, &area);
    SetForegroundWindow(lastMenuWindow);
    HostPumpFor(100);
    UINT_PTR timer = SetTimer(lastMenuWindow, 0x5107, 400, MenuShotTick);
    TrackPopupMenu(lastMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY,
                   area.left + 40, area.top + 60, 0, lastMenuWindow, NULL);
    KillTimer(lastMenuWindow, timer);
    if (!menuShot.taken)
        Error("menu-shot " + s[1] + " failed");
    HostNote("menu-shot", s[1] + (menuShot.taken ? ": menu shown and closed" : ": no picture"));
}

// setup/about: the dialog steps up to "end" are queued, then the dialog runs.
void StepDialog(const std::vector<Words> &steps, size_t *next, bool setup)
{
    std::vector<HostDialogStep> actions;
    while (*next < steps.size() && steps[*next][0] != "end") {
        const Words &a = steps[(*next)++];
        int id = a.size() > 1 ? Number(a[1]) : 0;
        std::string text = a.size() > 2 ? Sjis(a[2]) : "";
        if (a[0] == "click")
            actions.push_back({HostDialogStep::Click, id, ""});
        else if (a[0] == "type")
            actions.push_back({HostDialogStep::Type, id, text});
        else if (a[0] == "checked")
            actions.push_back({HostDialogStep::ReadChecked, id, ""});
        else if (a[0] == "enabled")
            actions.push_back({HostDialogStep::ReadEnabled, id, ""});
        else if (a[0] == "text")
            actions.push_back({HostDialogStep::ReadText, id, ""});
        else if (a[0] == "shot" && a.size() > 1)
            actions.push_back({HostDialogStep::Screenshot, 0, ScriptPath(a[1])});
        else if (a[0] == "wait")
            actions.push_back({HostDialogStep::Wait, id, ""});
        else if (a[0] == "close")
            actions.push_back({HostDialogStep::Close, 0, ""});
        else
            Error("dialog step \"" + a[0] + "\" not understood");
    }
    if (*next < steps.size())
        ++*next; // the "end"
    else
        Error("dialog steps without \"end\"");
    if (!HostPluginModule()) {
        Error("no plug-in loaded");
        return;
    }
    HostDriveDialog(actions);
    HWND owner = folderWindow && IsWindow(folderWindow) ? folderWindow : NULL;
    if (setup)
        HostRunSetup(owner);
    else
        HostRunAbout(owner);
    if (HostDialogStepsPending())
        HostPumpUntil([] { return !HostDialogStepsPending(); }, 11000);
}

// ---- waiting and looking ----

void StepWaitIdle(const Words &s)
{
    DWORD limit = (s.size() > 1 ? Number(s[1]) : 30) * 1000;
    DWORD start = GetTickCount();
    size_t seen = HostEvents().size();
    DWORD quietSince = GetTickCount();
    for (;;) {
        HostPumpOnce();
        if (HostEvents().size() != seen) {
            seen = HostEvents().size();
            quietSince = GetTickCount();
        }
        bool idle = !HostIsBusy() && !HostRetrieving() && !HostDialogStepsPending();
        if (idle && GetTickCount() - quietSince >= 500)
            return;
        if (GetTickCount() - start >= limit) {
            Error("not idle after " + std::to_string(limit / 1000) + " s");
            return;
        }
    }
}

void StepScreenshot(const Words &s)
{
    if (!NeedArgs(s, 1))
        return;
    HWND window = s.size() > 2 ? Target(s[2]) : NULL;
    HostPumpFor(100); // let windows paint
    if (!HostScreenshot(window, ScriptPath(s[1]).c_str()))
        Error("screenshot " + s[1] + " failed");
}

void ListAccount(const std::string &account)
{
    std::string text = "account " + HostSjisToUtf8(account);
    for (const std::string &folder : Subfolders(account)) {
        std::vector<std::string> files = HostListMessages(account.c_str(), folder.c_str());
        text += "\n  " + HostSjisToUtf8(folder) + ": " + std::to_string(files.size()) + " message(s)";
        for (const std::string &file : files) {
            std::string content =
                HostReadFile(HostAccountDirectory(account.c_str()) + folder + "\\" + file);
            text += "\n    " + HostSjisToUtf8(file) + "  [" +
                    HostSjisToUtf8(HeaderValue(content, "X-Text-Classification:")) + "]  " +
                    HostSjisToUtf8(HeaderValue(content, "Subject:"));
        }
    }
    HostNote("list", text);
}

void StepList(const Words &s)
{
    if (!*HostMailbox()) {
        Error("no mailbox");
        return;
    }
    if (s.size() > 1) {
        std::string account = Sjis(s[1]);
        if (GetFileAttributesA(HostAccountDirectory(account.c_str()).c_str()) == INVALID_FILE_ATTRIBUTES)
            Error("no account " + s[1]);
        else
            ListAccount(account);
        return;
    }
    for (const std::string &account : Accounts())
        ListAccount(account);
}

bool OnOff(const Words &s, const char *on)
{
    return s.size() > 1 && s[1] == on;
}

typedef std::function<void(const Words &)> Step;

const std::map<std::string, Step> &SimpleSteps()
{
    static const std::map<std::string, Step> steps = {
        {"mailbox", StepMailbox},
        {"new-mailbox", StepNewMailbox},
        {"account", StepAccount},
        {"account-set", StepAccountSet},
        {"folder", StepFolder},
        {"message", StepMessage},
        {"editor", StepEditor},
        {"start", StepStart},
        {"name", StepName},
        {"open-folder", StepOpenFolder},
        {"retrieve", StepRetrieve},
        {"select", StepSelect},
        {"view", StepView},
        {"folder-menu", StepFolderMenu},
        {"view-menu", StepViewMenu},
        {"folder-bar", [](const Words &) { StepBar(folderWindow, "folder"); }},
        {"view-bar", [](const Words &) { StepBar(viewWindow, "view"); }},
        {"choose", StepChoose},
        {"menu-shot", StepMenuShot},
        {"box-answer",
         [](const Words &s) { if (NeedArgs(s, 1)) HostQueueBoxAnswer(AnswerId(s[1])); }},
        {"box-default",
         [](const Words &s) { if (NeedArgs(s, 1)) HostAnswerBoxesWith(AnswerId(s[1])); }},
        {"box-show", [](const Words &s) { if (NeedArgs(s, 1)) HostShowBoxes(Number(s[1])); }},
        {"box-shot",
         [](const Words &s) { if (NeedArgs(s, 1)) HostScreenshotNextBox(ScriptPath(s[1]).c_str()); }},
        {"shell", [](const Words &s) { HostForwardShellExecute(OnOff(s, "forward")); }},
        {"process", [](const Words &s) { HostForwardCreateProcess(OnOff(s, "forward")); }},
        {"wait-idle", StepWaitIdle},
        {"pump", [](const Words &s) { if (NeedArgs(s, 1)) HostPumpFor(Number(s[1])); }},
        {"busy", [](const Words &s) { HostSetBusy(OnOff(s, "on")); }},
        {"busy-for", [](const Words &s) { if (NeedArgs(s, 1)) HostBusyFor(Number(s[1])); }},
        {"screenshot", StepScreenshot},
        {"list", StepList},
        {"note", [](const Words &s) { HostNote("note", s.size() > 1 ? s[1] : ""); }},
    };
    return steps;
}

// Words that begin a step besides the simple steps: the dialog steps, and
// the steps that open a dialog or end the script.
bool IsDialogWord(const std::string &word)
{
    static const char *const words[] = {"setup", "about", "end",     "quit", "click", "type",
                                        "checked", "enabled", "text", "shot", "wait", "close"};
    for (const char *known : words)
        if (word == known)
            return true;
    return false;
}

std::string Joined(const Words &words)
{
    std::string text;
    for (const std::string &word : words)
        text += (text.empty() ? "" : " ") +
                (word.find(' ') != std::string::npos ? "\"" + word + "\"" : word);
    return text;
}

} // namespace

std::vector<std::string> SplitScriptLine(const std::string &line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string word;
        if (line[i] == '"') {
            for (++i; i < line.size(); ++i) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"')
                    word += line[i++];
                else if (line[i] == '"')
                    break;
                else
                    word += line[i];
            }
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

bool ReadScriptFile(const std::string &path, std::vector<std::vector<std::string>> *steps)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::string text = HostReadFile(path);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::vector<std::string> words = SplitScriptLine(text.substr(start, end - start));
        if (!words.empty())
            steps->push_back(words);
        start = end + 1;
    }
    return true;
}

std::vector<std::vector<std::string>> StepsOfArguments(const std::vector<std::string> &words)
{
    std::vector<std::vector<std::string>> steps;
    bool separated = false;
    for (const std::string &word : words)
        separated = separated || word == "--" || word == ";";
    for (const std::string &word : words) {
        if (word == "--" || word == ";") {
            if (!steps.empty() && !steps.back().empty())
                steps.push_back({});
            continue;
        }
        bool begins = steps.empty() || steps.back().empty() ||
                      (!separated && (SimpleSteps().count(word) || IsDialogWord(word)));
        if (begins && (steps.empty() || !steps.back().empty()))
            steps.push_back({});
        steps.back().push_back(word);
    }
    if (!steps.empty() && steps.back().empty())
        steps.pop_back();
    return steps;
}

void SetProgramDirectory(const std::string &directory)
{
    programDirectory = directory;
}

int RunScriptStep(const std::vector<std::vector<std::string>> &steps, size_t *next)
{
    const Words &step = steps[(*next)++];
    HostNote("step", Joined(step));
    if (step[0] == "quit")
        return 1;
    if (step[0] == "setup" || step[0] == "about") {
        StepDialog(steps, next, step[0] == "setup");
        return 0;
    }
    auto found = SimpleSteps().find(step[0]);
    if (found == SimpleSteps().end()) {
        Error("step \"" + step[0] + "\" not understood");
        return -1;
    }
    found->second(step);
    return 0;
}

std::string ScriptPath(const std::string &utf8)
{
    std::string path = utf8;
    if (!path.empty() && path[0] == '/') {
        for (char &c : path)
            if (c == '/')
                c = '\\';
        path = "Z:" + path;
    }
    return Sjis(path);
}
