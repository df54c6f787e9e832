/* Keeps a Wine session warm: while this program runs, Wine's desktop and
 * service processes stay up, so each test program that follows starts
 * without starting them again (about a minute each under emulation).
 *
 *   wine-keepalive.exe READY_FILE
 *
 * Makes one hidden top-level window, which brings up the desktop, then
 * creates READY_FILE and waits until it is ended. */
#include <windows.h>

#include <string.h>

static LRESULT CALLBACK KeeperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
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

    windowClass.lpfnWndProc = KeeperProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SortellaWineKeeper";
    if (!RegisterClassA(&windowClass))
        return 1;
    window = CreateWindowA("SortellaWineKeeper", "", WS_OVERLAPPED, 0, 0, 1, 1, NULL, NULL,
                           instance, NULL);
    if (!window)
        return 1;
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
    return 0;
}
