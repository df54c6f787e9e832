/* Keeps a Wine session warm: while this program runs, Wine's desktop and
 * service processes stay up, so the programs that follow start without
 * starting them again (minutes where 32-bit Wine runs under emulation).
 *
 *   wine-keepalive.exe READY_FILE
 *
 * First it sets the prefix up for the tests and the demo, so that no
 * further Wine start is needed for that: Wine draws window frames itself
 * (no window manager needed), the Japanese dialog fonts map to the IPA
 * Gothic fonts, and neither the desktop menu builder nor the services
 * that no test needs are started with every session (each such process
 * costs a minute under emulation). The settings take effect for every
 * program started after it, the start-up ones with the next session. Then it
 * makes one hidden top-level window, which brings up the desktop, creates
 * READY_FILE and waits until it is ended. */
#include <windows.h>

#include <string.h>

/* This program is 32-bit and the prefix 64-bit: the settings go to the
 * registry's 64-bit view, the one Wine's own (64-bit) start-up reads. */
#define SETTING_ACCESS (KEY_SET_VALUE | KEY_WOW64_64KEY)

static void SetText(HKEY root, const wchar_t *key, const wchar_t *name, const wchar_t *value)
{
    HKEY opened;
    if (RegCreateKeyExW(root, key, 0, NULL, 0, SETTING_ACCESS, NULL, &opened, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExW(opened, name, 0, REG_SZ, (const BYTE *)value, (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

static void SetNumber(HKEY root, const wchar_t *key, const wchar_t *name, DWORD value)
{
    HKEY opened;
    if (RegOpenKeyExW(root, key, 0, SETTING_ACCESS, &opened) != ERROR_SUCCESS)
        return;
    RegSetValueExW(opened, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(opened);
}

static void DeleteValue(HKEY root, const wchar_t *key, const wchar_t *name)
{
    HKEY opened;
    if (RegOpenKeyExW(root, key, 0, SETTING_ACCESS, &opened) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(opened, name);
    RegCloseKey(opened);
}

static const wchar_t *const OnDemandServices[] = {L"PlugPlay", L"Eventlog", L"NDIS", L"nsiproxy", NULL};

static void SetUpPrefix(void)
{
    static const wchar_t x11[] = L"Software\\Wine\\X11 Driver";
    static const wchar_t fonts[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes";
    SetText(HKEY_CURRENT_USER, x11, L"Managed", L"N");
    SetText(HKEY_CURRENT_USER, x11, L"Decorated", L"N");
    SetText(HKEY_LOCAL_MACHINE, fonts, L"ＭＳ Ｐゴシック", L"IPAPGothic");
    SetText(HKEY_LOCAL_MACHINE, fonts, L"MS PGothic", L"IPAPGothic");
    SetText(HKEY_LOCAL_MACHINE, fonts, L"ＭＳ ゴシック", L"IPAGothic");
    SetText(HKEY_LOCAL_MACHINE, fonts, L"MS Gothic", L"IPAGothic");
    DeleteValue(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
                L"winemenubuilder");
    /* Services that no test needs are started only on demand (3) instead
     * of with every session (2). */
    for (const wchar_t *const *service = OnDemandServices; *service; ++service) {
        wchar_t key[128] = L"System\\CurrentControlSet\\Services\\";
        wcscat(key, *service);
        SetNumber(HKEY_LOCAL_MACHINE, key, L"Start", 3);
    }
}

/* The prefix may still be being made when the keeper starts (its own start
 * makes Wine make it), and the making writes the menu builder back: the
 * settings are written again every 30 s, which costs nothing. */
#define SETTINGS_TIMER 1
#define SETTINGS_PERIOD 30000

static LRESULT CALLBACK KeeperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == SETTINGS_TIMER) {
        SetUpPrefix();
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    WNDCLASSA windowClass = {0};
    HWND window;
    HANDLE ready;
    MSG message;
    (void)previous;
    (void)show;

    SetUpPrefix();
    windowClass.lpfnWndProc = KeeperProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SortellaWineKeeper";
    if (!RegisterClassA(&windowClass))
        return 1;
    window = CreateWindowA("SortellaWineKeeper", "", WS_OVERLAPPED, 0, 0, 1, 1, NULL, NULL,
                           instance, NULL);
    if (!window)
        return 1;
    SetTimer(window, SETTINGS_TIMER, SETTINGS_PERIOD, NULL);
    if (commandLine[0] == '"') {
        char *end = strchr(++commandLine, '"');
        if (end)
            *end = '\0';
    }
    ready = CreateFileA(commandLine, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    KillTimer(window, SETTINGS_TIMER);
    return 0;
}
