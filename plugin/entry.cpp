// The DLL's entry and the ten entry points that the host calls. Each one
// hands its work to the subsystem that owns it and never lets a C++
// exception reach the host.
#include <windows.h>

#include "classifier/bucket_list.h"
#include "classifier/http.h"
#include "classifier/links.h"
#include "classifier/menus.h"
#include "classifier/startup_wait.h"
#include "classifier/web_state.h"
#include "filing/filing_command.h"
#include "filing/receive_filter.h"
#include "plugin/host_guard.h"
#include "plugin/host_services.h"
#include "plugin/version.h"
#include "settings/dialogs.h"
#include "settings/settings.h"

namespace {

// Shift_JIS constant; lives as long as the module.
const char PluginName[] = SORTELLA_PLUGIN_NAME;

// This module's instance handle: the resource module of dialogs 100, 101
// and 103.
HINSTANCE InstanceHandle;

// Command id of the filing command, enrolled with the host at start-up.
DWORD FilingCommandId;

// The setup dialog's test of a typed URL: one user action, its exchanges
// bounded by one budget. A URL that the plug-in would not use (not clean:
// a "?" in it, say) has no key, so the dialog does not store it.
const char *TestClassifierUrl(const char *baseUrl)
{
    if (!IsCleanBaseUrl(baseUrl))
        return "";
    return RunAsUserAction([&] { return FetchUiKey(baseUrl); });
}

} // namespace

static void ShowBindingFailure(void)
{
    // The formatted text is well under 256 bytes.
    char message[256];
    wsprintfA(message,
              "プラグイン「%s」でエラーが発生しました。\r\n"
              "Postwick32とプラグインのバージョンを確認してください",
              PluginName);
    MessageBoxA(NULL, message, "プラグインエラー", MB_OK | MB_ICONERROR);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        InstanceHandle = instance;
        if (!BindHostServices()) {
            ShowBindingFailure();
            return FALSE;
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        UnbindHostServices();
    }
    return TRUE;
}

extern "C" {

__declspec(dllexport) const char *APCGetPlugName(void)
{
    return PluginName;
}

__declspec(dllexport) INT_PTR WINAPI APCVersionInfo(HWND owner)
{
    return GuardHostCall<INT_PTR>(-1, [&] { return RunAboutBox(InstanceHandle, owner); });
}

__declspec(dllexport) DWORD WINAPI APCStartUp(DWORD)
{
    GuardHostCall([] {
        FilingCommandId = Host.APARegistCallback(FilingCommand, 0);
        ResetBucketList();
        ForgetHttpMemory();
        LoadSettings();
        if (PluginSettings.CheckConnect)
            ArmStartupWait();
    });
    return 1;
}

__declspec(dllexport) void APCCleanUp(void)
{
}

__declspec(dllexport) INT_PTR WINAPI APCSetup(HWND owner)
{
    return GuardHostCall<INT_PTR>(-1, [&] { return RunSetupDialog(InstanceHandle, owner, TestClassifierUrl); });
}

__declspec(dllexport) DWORD WINAPI APCRecFilter(const char *path)
{
    GuardHostCall([&] { FilterReceivedMessage(path); });
    return 0;
}

__declspec(dllexport) int WINAPI APCFolderInitMenu(HWND window, HMENU menu, int code)
{
    // A menu set-up is one user action: the bucket page it may fetch has
    // one budget.
    return GuardHostCall(code, [&] {
        return RunAsUserAction([&] { return ClassifierFolderMenu(window, menu, code); });
    });
}

__declspec(dllexport) int WINAPI APCViewInitMenu(HWND window, HMENU menu, int code)
{
    return GuardHostCall(code, [&] {
        return RunAsUserAction([&] { return ClassifierViewMenu(window, menu, code); });
    });
}

__declspec(dllexport) DWORD WINAPI APCFolderCreate(HWND window)
{
    return GuardHostCall<DWORD>(0, [&] { return RunStartupWait(InstanceHandle, window); });
}

__declspec(dllexport) BOOL WINAPI APCFolderEndRetrieve(HWND window)
{
    if (!HasPendingMoves())
        return 0;
    // Posted, not sent: the moves wait until the host is back in its loop.
    return PostMessageA(window, WM_COMMAND, FilingCommandId, 0);
}

} // extern "C"
