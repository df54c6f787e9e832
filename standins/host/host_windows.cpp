// The host's windows: the hidden window of timers and socket notices, the
// folder and view windows, the busy state, enrolled commands, service
// timers and the message pumps.
#include <winsock2.h>

#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <algorithm>
#include <cstdio>
#include <list>

namespace {

const char kHiddenClass[] = "PostwickStandinHidden";
const char kFolderClass[] = "PostwickStandinFolder";
const char kViewClass[] = "PostwickStandinView";
const int kListId = 100;
const int kTextId = 101;
// Where the date, sender and subject columns of a folder window's list
// begin, in dialog units (a quarter of the system font's mean width).
const int kListColumns = 3;
const int kListTabStops[kListColumns] = {40, 112, 196};
const DWORD kFirstCommandId = 40001;
const DWORD kLastCommandId = 65535;

HWND hiddenWindow;
bool serviceBusy;
bool menuGrayed;
bool quitSeen;
bool folderListsHeld;
// std::list: records keep their addresses while windows come and go.
std::list<hostrig::FolderRecord> folders;
std::list<hostrig::ViewRecord> views;

struct Enrolment {
    DWORD id;
    hostrig::CommandProc callback;
    DWORD value;
};
std::vector<Enrolment> enrolments;

struct ServiceTimer {
    DWORD id;
    hostrig::TimerProc callback;
    DWORD value;
    DWORD period;
    DWORD ticks;
    bool ticking;
};
std::vector<ServiceTimer> timers;
DWORD nextTimerId = hostrig::kFirstServiceTimer;

void RecordBusyChange(bool wasBusy)
{
    bool busy = HostIsBusy();
    if (busy != wasBusy)
        hostrig::Record("busy", busy ? "busy" : "idle", "", "", busy, 0);
}

// Calls the enrolled callback of command `id`; false when none is enrolled.
bool DispatchEnrolledCommand(HWND window, DWORD id)
{
    for (const Enrolment &enrolment : enrolments) {
        if (enrolment.id != id)
            continue;
        hostrig::Record("command",
                        "id " + std::to_string(id) + " value " + std::to_string(enrolment.value) +
                            " window " + hostrig::Hex((DWORD)(UINT_PTR)window),
                        "", "", enrolment.value, id, window);
        Enrolment called = enrolment; // the list may grow during the call
        called.callback(window, called.value);
        return true;
    }
    return false;
}

void OpenCurrentMessage(HWND folderWindow)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    if (folder && folder->hasEntry)
        HostCreateViewWindow(HostPathOfEntry(folder->entry).c_str());
}

// The host's own commands, common to its windows.
bool DispatchHostCommand(HWND window, UINT id)
{
    switch (id) {
    case HOST_BUSY_COMMAND:
        HostStartRetrieve(window);
        return true;
    case hostrig::kCmdSetup:
        HostRunSetup(window);
        return true;
    case hostrig::kCmdAbout:
        HostRunAbout(window);
        return true;
    case hostrig::kCmdExit:
    case hostrig::kCmdClose:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return true;
    case hostrig::kCmdOpen:
        OpenCurrentMessage(window);
        return true;
    default:
        return false;
    }
}

void OnListSelection(HWND window, HWND list)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(window);
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (!folder || index == LB_ERR || (size_t)index >= folder->listedEntries.size())
        return;
    std::string entry = folder->listedEntries[index];
    HostSelectEntry(window, entry.c_str());
}

void OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    UINT id = LOWORD(wParam);
    if (lParam) { // a control's notice
        if (id == kListId && HIWORD(wParam) == LBN_SELCHANGE)
            OnListSelection(window, (HWND)lParam);
        return;
    }
    if (!DispatchEnrolledCommand(window, id))
        DispatchHostCommand(window, id);
}

// A right click on a folder or view window: the context menu, set up anew
// by the plug-in each time (codes 102 and 202), as a person would see it.
void ShowContextMenu(HWND window, LPARAM where, bool isView)
{
    HMENU menu = isView ? HostBuildViewMenu(window, 202) : HostBuildFolderMenu(window);
    if (!menu)
        return;
    POINT point = {(short)LOWORD(where), (short)HIWORD(where)};
    if (where == (LPARAM)-1)
        GetCursorPos(&point);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, window, NULL);
}

void UpdateBusyCommand(HWND window)
{
    HMENU bar = GetMenu(window);
    HMENU tools = bar ? GetSubMenu(bar, 3) : NULL;
    if (tools)
        EnableMenuItem(tools, HOST_BUSY_COMMAND, MF_BYCOMMAND | (menuGrayed ? MF_GRAYED : MF_ENABLED));
}

void ResizeChild(HWND window, int childId)
{
    RECT area;
    GetClientRect(window, &area);
    HWND child = GetDlgItem(window, childId);
    if (child)
        MoveWindow(child, 0, 0, area.right, area.bottom, TRUE);
}

LRESULT CALLBACK FolderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    case WM_INITMENUPOPUP:
        UpdateBusyCommand(window);
        return 0;
    case WM_CONTEXTMENU:
        ShowContextMenu(window, lParam, false);
        return 0;
    case WM_SIZE:
        ResizeChild(window, kListId);
        return 0;
    case WM_DESTROY:
        folders.remove_if([&](const hostrig::FolderRecord &f) {
            if (f.window == window && f.contextMenu)
                DestroyMenu(f.contextMenu);
            return f.window == window;
        });
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    case WM_CONTEXTMENU:
        ShowContextMenu(window, lParam, true);
        return 0;
    case WM_SIZE:
        ResizeChild(window, kTextId);
        return 0;
    case WM_DESTROY:
        views.remove_if([&](const hostrig::ViewRecord &v) {
            if (v.window == window && v.contextMenu)
                DestroyMenu(v.contextMenu);
            return v.window == window;
        });
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK HiddenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == hostrig::kBusyTimer) {
            KillTimer(window, hostrig::kBusyTimer);
            HostSetBusy(false);
        } else if (wParam == hostrig::kDialogTimer) {
            hostrig::RunDialogStep();
        } else if (wParam == hostrig::kPop3Timer) {
            hostrig::OnPop3Timer();
        }
        return 0;
    case hostrig::WM_HOST_SOCKET:
        hostrig::OnPop3Socket(wParam, lParam);
        return 0;
    case hostrig::WM_HOST_POP3_STEP:
        hostrig::OnPop3Step();
        return 0;
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClass(const char *name, WNDPROC procedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hIcon = LoadIcon(NULL, IDI_APPLICATION);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

// Fills a folder window's list with the messages of its account's folders,
// folder by folder, one row each as a mail client lists them.
void FillFolderList(hostrig::FolderRecord &folder)
{
    SendMessageA(folder.list, LB_RESETCONTENT, 0, 0);
    folder.listedEntries.clear();
    std::string accountPath = HostAccountDirectory(folder.accountDir.c_str());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((accountPath + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> subfolders;
    do {
        std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            subfolders.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::string &sub : subfolders) {
        for (const std::string &file : HostListMessages(folder.accountDir.c_str(), sub.c_str())) {
            std::string entry = folder.accountDir + "\\" + sub + "\\" + file.substr(0, file.size() - 4);
            std::string row = hostrig::MessageListLine(sub, HostReadFile(accountPath + sub + "\\" + file));
            LRESULT index = SendMessageA(folder.list, LB_ADDSTRING, 0, (LPARAM)row.c_str());
            if (index < 0)
                continue;
            folder.listedEntries.resize(index + 1);
            folder.listedEntries[index] = entry;
            if (folder.hasEntry && entry == folder.entry)
                SendMessageA(folder.list, LB_SETCURSEL, index, 0);
        }
    }
}

} // namespace

namespace hostrig {

void EnsureHost(void)
{
    if (hiddenWindow)
        return;
    ServicesLinked();
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    RegisterClass(kHiddenClass, HiddenProc);
    RegisterClass(kFolderClass, FolderProc);
    RegisterClass(kViewClass, ViewProc);
    hiddenWindow = CreateWindowA(kHiddenClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                 GetModuleHandleA(NULL), NULL);
}

HWND HiddenWindow(void)
{
    EnsureHost();
    return hiddenWindow;
}

FolderRecord *FindFolder(HWND window)
{
    for (FolderRecord &folder : folders)
        if (folder.window == window)
            return &folder;
    return nullptr;
}

ViewRecord *FindView(HWND window)
{
    for (ViewRecord &view : views)
        if (view.window == window)
            return &view;
    return nullptr;
}

void RefreshFolderWindows(void)
{
    if (folderListsHeld)
        return;
    for (FolderRecord &folder : folders)
        FillFolderList(folder);
}

void ForgetEntryInFolderWindows(const std::string &entry)
{
    for (FolderRecord &folder : folders) {
        if (folder.hasEntry && lstrcmpiA(folder.entry.c_str(), entry.c_str()) == 0) {
            folder.hasEntry = false;
            folder.entry.clear();
        }
    }
}

bool ServiceBusy(void)
{
    return serviceBusy;
}

DWORD EnrolCommand(CommandProc callback, DWORD value)
{
    DWORD id = kFirstCommandId + (DWORD)enrolments.size();
    if (!callback || id > kLastCommandId) {
        Record("enrol", "refused: no callback or no free command id", "", "", value, 0);
        return 0;
    }
    enrolments.push_back({id, callback, value});
    Record("enrol", "id " + std::to_string(id) + " value " + std::to_string(value), "", "", value,
           id);
    return id;
}

} // namespace hostrig

namespace {

VOID CALLBACK ServiceTimerTick(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    for (ServiceTimer &timer : timers) {
        if (timer.id != idEvent || !timer.ticking)
            continue;
        ++timer.ticks;
        ServiceTimer called = timer; // the vector may change during the call
        DWORD goOn = called.callback(called.id, called.value);
        if (!goOn) {
            // The callback is done: no more calls until it is killed.
            for (ServiceTimer &same : timers) {
                if (same.id == called.id && same.ticking) {
                    same.ticking = false;
                    KillTimer(hiddenWindow, same.id);
                    hostrig::Record("timer",
                                    "id " + std::to_string(same.id) + " callback done after " +
                                        std::to_string(same.ticks) + " ticks",
                                    "", "", 0, same.ticks);
                }
            }
        }
        return;
    }
}

} // namespace

namespace hostrig {

DWORD StartServiceTimer(DWORD period, TimerProc callback, DWORD value)
{
    EnsureHost();
    if (!callback) {
        Record("timer", "set refused: no callback");
        return 0;
    }
    DWORD id = nextTimerId++;
    if (!SetTimer(hiddenWindow, id, period ? period : 1, ServiceTimerTick)) {
        Record("timer", "set failed", "", "", period, 0);
        return 0;
    }
    timers.push_back({id, callback, value, period, 0, true});
    Record("timer", "set id " + std::to_string(id) + " period " + std::to_string(period) + " ms",
           "", "", period, id);
    return id;
}

DWORD KillServiceTimer(DWORD id)
{
    for (size_t i = 0; i < timers.size(); ++i) {
        if (timers[i].id != id)
            continue;
        KillTimer(hiddenWindow, id);
        Record("timer",
               "kill id " + std::to_string(id) + " after " + std::to_string(timers[i].ticks) +
                   " ticks",
               "", "", 0, timers[i].ticks);
        timers.erase(timers.begin() + i);
        return 1;
    }
    Record("timer", "kill id " + std::to_string(id) + ": no such timer");
    return 0;
}

void ForgetCommandsAndTimers(void)
{
    enrolments.clear();
    for (const ServiceTimer &timer : timers)
        KillTimer(hiddenWindow, timer.id);
    timers.clear();
}

} // namespace hostrig

HWND HostCreateFolderWindow(const char *accountDirName, int options)
{
    hostrig::EnsureHost();
    if (!accountDirName || !*HostMailbox() ||
        !hostrig::DirectoryExists(HostAccountDirectory(accountDirName))) {
        hostrig::Record("error", std::string("folder window: no account directory ") +
                                     HostSjisToUtf8(accountDirName ? accountDirName : "(null)"));
        return NULL;
    }
    std::string title = "Postwick32 - " + hostrig::AccountValue(accountDirName, "Title");
    HMENU bar = hostrig::MakeFolderMenuBar(!(options & HOST_FOLDER_NO_BUSY_COMMAND));
    HWND window = CreateWindowA(kFolderClass, title.c_str(), WS_OVERLAPPEDWINDOW, 20, 20, 600, 400,
                                NULL, bar, GetModuleHandleA(NULL), NULL);
    if (!window)
        return NULL;
    folders.push_back({window, accountDirName, "", false, HostAccountDirectory(accountDirName),
                       NULL, NULL, options, {}});
    hostrig::FolderRecord &folder = folders.back();
    folder.list = CreateWindowA("LISTBOX", "",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS, 0, 0,
                                10, 10, window, (HMENU)(INT_PTR)kListId, GetModuleHandleA(NULL), NULL);
    SendMessageA(folder.list, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    SendMessageA(folder.list, LB_SETTABSTOPS, kListColumns, (LPARAM)kListTabStops);
    FillFolderList(folder);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    UpdateBusyCommand(window);
    hostrig::Record("folder-window", "account " + HostSjisToUtf8(accountDirName), accountDirName,
                    "", options, 0, window);
    if (hostrig::Plugin.module && hostrig::Plugin.FolderCreate &&
        !(options & HOST_FOLDER_NO_FOLDER_CREATE)) {
        DWORD result = hostrig::Plugin.FolderCreate(window);
        hostrig::Record("folder-create", "APCFolderCreate returned " + std::to_string(result), "",
                        "", 0, result, window);
    }
    return window;
}

HWND HostMainFolderWindow(void)
{
    return folders.empty() ? NULL : folders.front().window;
}

int HostSelectEntry(HWND folderWindow, const char *entry)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    if (!folder)
        return 0;
    folder->hasEntry = false;
    folder->entry.clear();
    SendMessageA(folder->list, LB_SETCURSEL, (WPARAM)-1, 0);
    if (!entry || !*entry) {
        hostrig::Record("select", "no current message", "", "", 0, 1, folderWindow);
        return 1;
    }
    if (!hostrig::FileExists(HostPathOfEntry(entry))) {
        hostrig::Record("select", "no such message: " + HostSjisToUtf8(entry), entry, "", 0, 0,
                        folderWindow);
        return 0;
    }
    folder->hasEntry = true;
    folder->entry = entry;
    const std::vector<std::string> &rows = folder->listedEntries;
    auto row = std::find(rows.begin(), rows.end(), std::string(entry));
    if (row != rows.end())
        SendMessageA(folder->list, LB_SETCURSEL, row - rows.begin(), 0);
    hostrig::Record("select", HostSjisToUtf8(entry), entry, "", 0, 1, folderWindow);
    return 1;
}

std::string HostCurrentEntry(HWND folderWindow)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    return folder && folder->hasEntry ? folder->entry : std::string();
}

std::string HostFolderAccount(HWND folderWindow)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    return folder ? folder->accountDir : std::string();
}

HWND HostCreateViewWindow(const char *messagePath)
{
    hostrig::EnsureHost();
    if (!messagePath || !hostrig::FileExists(messagePath)) {
        hostrig::Record("error", std::string("view window: no message file ") +
                                     HostSjisToUtf8(messagePath ? messagePath : "(null)"));
        return NULL;
    }
    std::string text = HostReadFile(messagePath);
    HWND window = CreateWindowA(kViewClass, messagePath, WS_OVERLAPPEDWINDOW, 60, 60, 600, 400, NULL,
                                NULL, GetModuleHandleA(NULL), NULL);
    if (!window)
        return NULL;
    views.push_back({window, messagePath, NULL});
    HWND edit = CreateWindowA("EDIT", "",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0,
                              10, 10, window, (HMENU)(INT_PTR)kTextId, GetModuleHandleA(NULL), NULL);
    SendMessageA(edit, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    SetWindowTextA(edit, text.c_str());
    hostrig::Record("view", "view window of " + HostSjisToUtf8(messagePath), messagePath, "", 0, 0,
                    window);
    HostBuildViewMenu(window, 201);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

void HostHoldFolderLists(bool hold)
{
    folderListsHeld = hold;
    if (!hold)
        hostrig::RefreshFolderWindows();
}

void HostDestroyWindow(HWND window)
{
    if (IsWindow(window))
        DestroyWindow(window);
}

void HostSetBusy(bool busy)
{
    HostSetBusyParts(busy, busy);
}

void HostSetBusyParts(bool serviceBusyNow, bool menuGrayedNow)
{
    hostrig::EnsureHost();
    bool was = HostIsBusy();
    serviceBusy = serviceBusyNow;
    menuGrayed = menuGrayedNow;
    RecordBusyChange(was);
}

void HostBusyFor(DWORD ms)
{
    HostSetBusy(true);
    SetTimer(hiddenWindow, hostrig::kBusyTimer, ms ? ms : 1, NULL);
}

bool HostIsBusy(void)
{
    return serviceBusy || menuGrayed;
}

UINT HostBusyCommandState(HWND folderWindow)
{
    HMENU bar = GetMenu(folderWindow);
    HMENU tools = bar ? GetSubMenu(bar, 3) : NULL;
    SendMessageA(folderWindow, WM_INITMENUPOPUP, (WPARAM)tools, 0);
    return GetMenuState(tools, HOST_BUSY_COMMAND, MF_BYCOMMAND);
}

void HostPumpOnce(void)
{
    MSG message;
    if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitSeen = true;
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
        return;
    }
    MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
}

void HostPumpPending(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitSeen = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void HostPumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
        HostPumpOnce();
}

bool HostQuitSeen(void)
{
    return quitSeen;
}

void HostShutdown(void)
{
    while (!views.empty())
        if (!DestroyWindow(views.front().window))
            views.pop_front();
    while (!folders.empty())
        if (!DestroyWindow(folders.front().window))
            folders.pop_front();
    if (hostrig::Plugin.module) {
        if (hostrig::Plugin.started)
            HostCleanUpPlugin();
        HostUnloadPlugin();
    }
    hostrig::ForgetCommandsAndTimers();
}
