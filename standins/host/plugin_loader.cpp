// Loading the plug-in, calling its entry points, and watching what it does
// directly through Windows: its imports of MessageBoxA, MessageBeep,
// ShellExecuteA, CreateProcessA and DialogBoxParamA are redirected to
// recorders here (in its import address table, after the load).
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <shellapi.h>

#include <deque>

namespace hostrig {
PluginEntries Plugin;
}

namespace {

using hostrig::Plugin;
using hostrig::Record;

int defaultAnswer = IDOK;
std::deque<int> queuedAnswers;
DWORD showBoxesMs;
std::string nextBoxScreenshot;
bool forwardShell;
bool forwardProcess;

typedef int(WINAPI *MessageBoxProc)(HWND, LPCSTR, LPCSTR, UINT);
typedef BOOL(WINAPI *MessageBeepProc)(UINT);
typedef HINSTANCE(WINAPI *ShellExecuteProc)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
typedef BOOL(WINAPI *CreateProcessProc)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES,
                                        LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                                        LPSTARTUPINFOA, LPPROCESS_INFORMATION);
typedef INT_PTR(WINAPI *DialogBoxParamProc)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);

MessageBoxProc realMessageBox = MessageBoxA;
MessageBeepProc realMessageBeep = MessageBeep;
ShellExecuteProc realShellExecute = ShellExecuteA;
CreateProcessProc realCreateProcess = CreateProcessA;
DialogBoxParamProc realDialogBoxParam = DialogBoxParamA;

std::string Text(const char *text)
{
    return text ? std::string(text) : std::string();
}

std::string Utf8(const char *text)
{
    return text ? HostSjisToUtf8(text) : std::string("(null)");
}

// ---- message boxes ----

HHOOK boxHook;
HWND shownBox;
int shownBoxAnswer;

int modalDepth; // boxes shown and plug-in dialogs running

// The box is the first dialog window made on the thread after MessageBoxA
// was called (activation cannot be relied on without a window manager).
LRESULT CALLBACK NoteShownBox(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && !shownBox) {
        CBT_CREATEWNDA *create = (CBT_CREATEWNDA *)lParam;
        const char *name = create->lpcs->lpszClass;
        if (IS_INTRESOURCE(name) ? (UINT_PTR)name == 32770 : lstrcmpA(name, "#32770") == 0)
            shownBox = (HWND)wParam;
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

VOID CALLBACK CloseShownBox(HWND, UINT, UINT_PTR id, DWORD)
{
    if (!shownBox)
        return; // not up yet: the next tick closes it
    KillTimer(NULL, id);
    if (!nextBoxScreenshot.empty()) {
        HostScreenshot(shownBox, nextBoxScreenshot.c_str());
        nextBoxScreenshot.clear();
    }
    PostMessageA(shownBox, WM_COMMAND, MAKEWPARAM(shownBoxAnswer, BN_CLICKED), 0);
}

int TakeAnswer()
{
    if (queuedAnswers.empty())
        return defaultAnswer;
    int answer = queuedAnswers.front();
    queuedAnswers.pop_front();
    return answer;
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    int answer = TakeAnswer();
    std::string description = "caption \"" + Utf8(caption) + "\" flags " + hostrig::Hex(type) +
                              " owner " + hostrig::Hex((DWORD)(UINT_PTR)owner) + "\n" + Utf8(text);
    Record("box", description, Text(text), Text(caption), type, 0, owner);
    size_t index = HostEvents().size() - 1;
    int result = answer;
    if (showBoxesMs) {
        HWND outerBox = shownBox;
        int outerAnswer = shownBoxAnswer;
        shownBox = NULL;
        shownBoxAnswer = answer;
        boxHook = SetWindowsHookExA(WH_CBT, NoteShownBox, NULL, GetCurrentThreadId());
        UINT_PTR timer = SetTimer(NULL, 0, showBoxesMs, CloseShownBox);
        ++modalDepth;
        result = realMessageBox(owner, text, caption, type);
        --modalDepth;
        KillTimer(NULL, timer);
        UnhookWindowsHookEx(boxHook);
        boxHook = NULL;
        shownBox = outerBox;
        shownBoxAnswer = outerAnswer;
    }
    const_cast<HostEvent &>(HostEvents()[index]).result = (DWORD)result;
    Record("box-answer", "answered " + std::to_string(result), "", "", type, (DWORD)result, owner);
    return result;
}

// ---- beeps, shell, processes, dialogs ----

BOOL WINAPI RecordMessageBeep(UINT type)
{
    Record("beep", "type " + hostrig::Hex(type), "", "", type, 1);
    return TRUE;
}

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                    LPCSTR directory, INT show)
{
    HINSTANCE result = (HINSTANCE)42;
    if (forwardShell)
        result = realShellExecute(owner, verb, file, parameters, directory, show);
    Record("shell",
           "verb \"" + Utf8(verb) + "\" file \"" + Utf8(file) + "\" parameters \"" +
               Utf8(parameters) + "\" directory \"" + Utf8(directory) + "\" show " +
               std::to_string(show) + (forwardShell ? "" : " (not performed)"),
           Text(file), Text(verb), (DWORD)show, (DWORD)(UINT_PTR)result, owner);
    return result;
}

BOOL WINAPI RecordCreateProcess(LPCSTR application, LPSTR commandLine,
                                LPSECURITY_ATTRIBUTES processAttributes,
                                LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                LPPROCESS_INFORMATION information)
{
    BOOL result;
    if (forwardProcess) {
        result = realCreateProcess(application, commandLine, processAttributes, threadAttributes,
                                   inherit, flags, environment, directory, startup, information);
    } else {
        // Handles that the caller may wait on and close like a process's.
        result = TRUE;
        if (information) {
            information->hProcess = CreateEventA(NULL, TRUE, TRUE, NULL);
            information->hThread = CreateEventA(NULL, TRUE, TRUE, NULL);
            information->dwProcessId = 4242;
            information->dwThreadId = 4243;
        }
    }
    Record("process",
           "application \"" + Utf8(application) + "\" command line \"" + Utf8(commandLine) +
               "\" directory \"" + Utf8(directory) + "\"" +
               (forwardProcess ? "" : " (not performed)"),
           Text(commandLine), Text(application), flags, (DWORD)result);
    return result;
}

std::string TemplateName(LPCSTR name)
{
    if (IS_INTRESOURCE(name))
        return std::to_string((unsigned)(UINT_PTR)name);
    return "\"" + Utf8(name) + "\"";
}

INT_PTR WINAPI RecordDialogBoxParam(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                                    LPARAM parameter)
{
    DWORD id = IS_INTRESOURCE(name) ? (DWORD)(UINT_PTR)name : 0;
    Record("dialog",
           "open template " + TemplateName(name) + " owner " + hostrig::Hex((DWORD)(UINT_PTR)owner),
           "", "", id, 0, owner);
    ++modalDepth;
    INT_PTR result = realDialogBoxParam(instance, name, owner, procedure, parameter);
    --modalDepth;
    Record("dialog", "template " + TemplateName(name) + " ended with " + std::to_string(result), "",
           "", id, (DWORD)result, owner);
    return result;
}

// ---- import redirection ----

struct Redirection {
    const char *dll;
    const char *function;
    void *recorder;
    void **original;
};

Redirection redirections[] = {
    {"user32.dll", "MessageBoxA", (void *)RecordMessageBox, (void **)&realMessageBox},
    {"user32.dll", "MessageBeep", (void *)RecordMessageBeep, (void **)&realMessageBeep},
    {"user32.dll", "DialogBoxParamA", (void *)RecordDialogBoxParam, (void **)&realDialogBoxParam},
    {"shell32.dll", "ShellExecuteA", (void *)RecordShellExecute, (void **)&realShellExecute},
    {"kernel32.dll", "CreateProcessA", (void *)RecordCreateProcess, (void **)&realCreateProcess},
};

void WriteSlot(void **slot, void *value)
{
    DWORD old;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) {
        *slot = value;
        VirtualProtect(slot, sizeof *slot, old, &old);
    }
}

// Redirects every import of `module` that one of the redirections names.
// Returns how many slots were changed.
int RedirectImports(HMODULE module)
{
    BYTE *base = (BYTE *)module;
    IMAGE_DOS_HEADER *dos = (IMAGE_DOS_HEADER *)base;
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return 0;
    int changed = 0;
    for (IMAGE_IMPORT_DESCRIPTOR *import =
             (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress);
         import->Name; ++import) {
        const char *dll = (const char *)(base + import->Name);
        IMAGE_THUNK_DATA *names =
            (IMAGE_THUNK_DATA *)(base + (import->OriginalFirstThunk ? import->OriginalFirstThunk
                                                                     : import->FirstThunk));
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) || !import->OriginalFirstThunk)
                continue;
            const char *function = (const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name;
            for (Redirection &redirection : redirections) {
                if (lstrcmpiA(dll, redirection.dll) != 0 ||
                    lstrcmpA(function, redirection.function) != 0)
                    continue;
                *redirection.original = (void *)slots->u1.Function;
                WriteSlot((void **)&slots->u1.Function, redirection.recorder);
                ++changed;
            }
        }
    }
    return changed;
}

// A box shown while the DLL loads (its binding failure box) is recorded
// and closed: the import table cannot be redirected before DllMain runs.
HHOOK loadHook;

LRESULT CALLBACK CloseBoxDuringLoad(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = (HWND)wParam;
        char text[1024] = "";
        char caption[256] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        GetWindowTextA(box, caption, sizeof caption);
        Record("box", "caption \"" + Utf8(caption) + "\" (shown while loading)\n" + Utf8(text), text,
               caption, 0, IDOK, box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(loadHook, code, wParam, lParam);
}

template <typename T>
bool Lookup(HMODULE module, const char *name, T *slot)
{
    *slot = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    if (!*slot)
        Record("plugin", std::string("entry point ") + name + " missing");
    return *slot != nullptr;
}

bool LookupEntryPoints(HMODULE module)
{
    bool all = true;
    all &= Lookup(module, "APCGetPlugName", &Plugin.GetPlugName);
    all &= Lookup(module, "APCVersionInfo", &Plugin.VersionInfo);
    all &= Lookup(module, "APCStartUp", &Plugin.StartUp);
    all &= Lookup(module, "APCCleanUp", &Plugin.CleanUp);
    all &= Lookup(module, "APCSetup", &Plugin.Setup);
    all &= Lookup(module, "APCRecFilter", &Plugin.RecFilter);
    all &= Lookup(module, "APCFolderInitMenu", &Plugin.FolderInitMenu);
    all &= Lookup(module, "APCViewInitMenu", &Plugin.ViewInitMenu);
    all &= Lookup(module, "APCFolderCreate", &Plugin.FolderCreate);
    all &= Lookup(module, "APCFolderEndRetrieve", &Plugin.FolderEndRetrieve);
    return all;
}

} // namespace

int HostLoadPlugin(const char *dllPath)
{
    hostrig::EnsureHost();
    if (Plugin.module)
        HostUnloadPlugin();
    loadHook = SetWindowsHookExA(WH_CBT, CloseBoxDuringLoad, NULL, GetCurrentThreadId());
    HMODULE module = LoadLibraryA(dllPath);
    UnhookWindowsHookEx(loadHook);
    if (!module) {
        Record("plugin", "load of " + Utf8(dllPath) + " failed, error " +
                             std::to_string(GetLastError()));
        return 0;
    }
    Plugin = hostrig::PluginEntries{};
    if (!LookupEntryPoints(module)) {
        FreeLibrary(module);
        Plugin = hostrig::PluginEntries{};
        return 0;
    }
    Plugin.module = module;
    int redirected = RedirectImports(module);
    Record("plugin", "loaded " + Utf8(dllPath) + " (" + std::to_string(redirected) +
                         " imports observed)");
    return 1;
}

HMODULE HostPluginModule(void)
{
    return Plugin.module;
}

void HostUnloadPlugin(void)
{
    if (!Plugin.module)
        return;
    FreeLibrary(Plugin.module);
    Plugin = hostrig::PluginEntries{};
    hostrig::ForgetCommandsAndTimers();
    Record("plugin", "unloaded");
}

DWORD HostStartPlugin(void)
{
    if (!Plugin.module)
        return 0;
    DWORD result = Plugin.StartUp(0);
    Plugin.started = true;
    Record("plugin", "APCStartUp returned " + std::to_string(result), "", "", 0, result);
    return result;
}

void HostCleanUpPlugin(void)
{
    if (!Plugin.module)
        return;
    Plugin.CleanUp();
    Plugin.started = false;
    Record("plugin", "APCCleanUp returned");
}

std::string HostPluginName(void)
{
    if (!Plugin.module)
        return std::string();
    const char *name = Plugin.GetPlugName();
    Record("plugin", "name \"" + Utf8(name) + "\"", Text(name));
    return Text(name);
}

INT_PTR HostRunSetup(HWND owner)
{
    if (!Plugin.module)
        return -1;
    Record("plugin", "APCSetup owner " + hostrig::Hex((DWORD)(UINT_PTR)owner));
    INT_PTR result = Plugin.Setup(owner);
    Record("plugin", "APCSetup returned " + std::to_string(result), "", "", 0, (DWORD)result);
    hostrig::RefreshFolderWindows();
    return result;
}

INT_PTR HostRunAbout(HWND owner)
{
    if (!Plugin.module)
        return -1;
    Record("plugin", "APCVersionInfo owner " + hostrig::Hex((DWORD)(UINT_PTR)owner));
    INT_PTR result = Plugin.VersionInfo(owner);
    Record("plugin", "APCVersionInfo returned " + std::to_string(result), "", "", 0,
           (DWORD)result);
    return result;
}

DWORD HostCallRecFilter(const char *path)
{
    if (!Plugin.module) {
        Record("filter", "APCRecFilter " + Utf8(path) + " (no plug-in)", Text(path));
        return 0;
    }
    DWORD result = Plugin.RecFilter(path);
    Record("filter", "APCRecFilter " + Utf8(path) + " returned " + std::to_string(result),
           Text(path), "", 0, result);
    return result;
}

BOOL HostCallEndRetrieve(HWND folderWindow)
{
    if (!Plugin.module) {
        Record("end-retrieve", "APCFolderEndRetrieve (no plug-in)", "", "", 0, 0, folderWindow);
        return FALSE;
    }
    BOOL result = Plugin.FolderEndRetrieve(folderWindow);
    Record("end-retrieve", "APCFolderEndRetrieve returned " + std::to_string(result), "", "", 0,
           (DWORD)result, folderWindow);
    return result;
}

void HostAnswerBoxesWith(int id)
{
    defaultAnswer = id;
}

void HostQueueBoxAnswer(int id)
{
    queuedAnswers.push_back(id);
}

void HostShowBoxes(DWORD ms)
{
    showBoxesMs = ms;
}

void HostScreenshotNextBox(const char *pngPath)
{
    nextBoxScreenshot = pngPath ? pngPath : "";
}

int HostModalDepth(void)
{
    return modalDepth;
}

void HostForwardShellExecute(bool forward)
{
    forwardShell = forward;
}

void HostForwardCreateProcess(bool forward)
{
    forwardProcess = forward;
}
