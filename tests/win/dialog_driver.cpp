#include "tests/win/dialog_driver.h"

#include <gtest/gtest.h>

#include <cstring>

const char kUiKey[] = "KEY42";

// ---- Paths ----------------------------------------------------------------

std::string TestDirectory(void)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string text(path);
    return text.substr(0, text.rfind('\\') + 1);
}

std::string SettingsPath(void)
{
    return TestDirectory() + "Plugins\\sortella.ini";
}

std::string PluginPath(void)
{
    return TestDirectory() + "sortella.dll";
}

// ---- The settings file ------------------------------------------------

void WriteSettingsFile(const Switches &switches, const std::string &url)
{
    CreateDirectoryA((TestDirectory() + "Plugins").c_str(), NULL);
    std::string path = SettingsPath();
    DeleteFileA(path.c_str());
    const char *file = path.c_str();
    WritePrivateProfileStringA("MoveMail", "spam", "ごみ箱", file);
    WritePrivateProfileStringA("Setup", "DispDialog", switches.dispDialog ? "1" : "0", file);
    WritePrivateProfileStringA("Setup", "Beep", switches.beep ? "1" : "0", file);
    WritePrivateProfileStringA("Setup", "DispFrom", switches.dispFrom ? "1" : "0", file);
    WritePrivateProfileStringA("Setup", "DispSubject", switches.dispSubject ? "1" : "0", file);
    WritePrivateProfileStringA("Setup", "CheckConnect", switches.checkConnect ? "1" : "0", file);
    WritePrivateProfileStringA("Setup", "URL", url.c_str(), file);
    WritePrivateProfileStringA(NULL, NULL, NULL, file);
}

std::string SetupValue(const char *key)
{
    char value[1024];
    GetPrivateProfileStringA("Setup", key, "<missing>", value, sizeof value,
                             SettingsPath().c_str());
    return value;
}

std::string ReadWholeFile(const std::string &path)
{
    std::string content;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, NULL) && read > 0)
        content.append(chunk, read);
    CloseHandle(file);
    return content;
}

// ---- Driving a modal dialog -----------------------------------------------

namespace {

struct DriverState {
    std::vector<DialogStep> steps;
    size_t nextStep = 0;
    DWORD giveUpMs = 0;
    DWORD lastActivity = 0;
    bool inStep = false;
    bool gaveUp = false;
    HWND dialog = NULL;
};
DriverState driver;

BOOL CALLBACK NoteDialogWindow(HWND window, LPARAM found)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindThreadDialog(void)
{
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), NoteDialogWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

VOID CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (driver.inStep)
        return;
    HWND dialog = FindThreadDialog();
    DWORD now = GetTickCount();
    if (!dialog || driver.nextStep >= driver.steps.size()) {
        if (dialog && !driver.gaveUp && now - driver.lastActivity > driver.giveUpMs) {
            driver.gaveUp = true;
            ADD_FAILURE() << "the dialog was still open after its steps";
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
        return;
    }
    driver.dialog = dialog;
    driver.inStep = true;
    DialogStep step = driver.steps[driver.nextStep++];
    step(dialog);
    driver.inStep = false;
    driver.lastActivity = GetTickCount();
}

} // namespace

INT_PTR DriveDialog(const std::function<INT_PTR()> &open, const std::vector<DialogStep> &steps,
                    DWORD giveUpMs)
{
    driver = DriverState();
    driver.steps = steps;
    driver.giveUpMs = giveUpMs;
    driver.lastActivity = GetTickCount();
    UINT_PTR timer = SetTimer(NULL, 0, 50, DriverTick);
    INT_PTR result = open();
    KillTimer(NULL, timer);
    EXPECT_EQ(driver.nextStep, steps.size()) << "the dialog ended before all its steps ran";
    return result;
}

HWND DrivenDialog(void)
{
    return driver.dialog;
}

void Click(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    SendMessageA(control, BM_CLICK, 0, 0);
}

void TypeText(HWND dialog, int id, const char *text)
{
    ASSERT_TRUE(SetDlgItemTextA(dialog, id, text)) << "no control " << id;
}

void PressKey(HWND dialog, UINT virtualKey)
{
    HWND focus = GetFocus();
    HWND target = focus && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
    UINT scan = MapVirtualKeyA(virtualKey, 0);
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u);
}

void PressCloseBox(HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

std::string ControlText(HWND dialog, int id)
{
    char text[2048] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::vector<int> TabOrder(HWND dialog)
{
    std::vector<int> ids;
    HWND first = GetNextDlgTabItem(dialog, NULL, FALSE);
    HWND item = first;
    while (item && ids.size() < 32) {
        ids.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
        if (item == first)
            break;
    }
    return ids;
}

// ---- Loopback listeners ----------------------------------------------------

namespace {

SOCKET ListenOn(int port)
{
    SOCKET server = socket(AF_INET, SOCK_STREAM, 0);
    if (server == INVALID_SOCKET)
        return server;
    BOOL reuse = TRUE;
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char *>(&reuse), sizeof reuse);
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(server, 16) != 0) {
        closesocket(server);
        return INVALID_SOCKET;
    }
    return server;
}

int PortOf(SOCKET server)
{
    sockaddr_in address;
    int length = sizeof address;
    getsockname(server, reinterpret_cast<sockaddr *>(&address), &length);
    return ntohs(address.sin_port);
}

bool Readable(SOCKET socket, int milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &set, NULL, NULL, &wait) == 1;
}

void SendAll(SOCKET client, const std::string &text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        int n = send(client, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0)
            return;
        sent += n;
    }
}

void AnswerRequest(Listener &listener, SOCKET client)
{
    std::string request;
    char chunk[2048];
    while (request.find("\r\n\r\n") == std::string::npos && Readable(client, 5000)) {
        int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        request.append(chunk, n);
    }
    std::string line = request.substr(0, request.find("\r\n"));
    size_t start = line.find(' ');
    size_t end = line.rfind(' ');
    std::string target =
        start != std::string::npos && end > start ? line.substr(start + 1, end - start - 1) : line;
    {
        std::lock_guard<std::mutex> lock(listener.mutex);
        listener.paths.push_back(target);
    }
    ++listener.requests;
    std::string body = target.find("nokey") != std::string::npos
                           ? "<html><body>POPFile without a key link</body></html>"
                           : std::string("<html><body><a href=\"/history?session=") + kUiKey +
                                 "\">History</a></body></html>";
    SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    shutdown(client, SD_SEND);
    while (Readable(client, 1000) && recv(client, chunk, sizeof chunk, 0) > 0) {
    }
}

void ServeConnections(Listener &listener, SOCKET server)
{
    while (!listener.stop) {
        if (!Readable(server, 50))
            continue;
        SOCKET client = accept(server, NULL, NULL);
        if (client == INVALID_SOCKET)
            continue;
        ++listener.connections;
        if (listener.http)
            AnswerRequest(listener, client);
        closesocket(client);
    }
    closesocket(server);
}

void EnsureSockets(void)
{
    static bool started = false;
    if (!started) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
}

} // namespace

int UnusedPort(void)
{
    EnsureSockets();
    SOCKET server = ListenOn(0);
    int port = PortOf(server);
    closesocket(server);
    return port;
}

void StartListener(Listener &listener, int port, bool http, DWORD delayMs)
{
    EnsureSockets();
    listener.http = http;
    listener.delayMs = delayMs;
    listener.stop = false;
    if (delayMs == 0) {
        SOCKET server = ListenOn(port);
        ASSERT_NE(server, INVALID_SOCKET) << "cannot listen on port " << port;
        listener.port = PortOf(server);
        listener.listening = true;
        listener.thread = std::thread([&listener, server] { ServeConnections(listener, server); });
        return;
    }
    ASSERT_NE(port, 0) << "a delayed listener needs its port fixed";
    listener.port = port;
    listener.thread = std::thread([&listener, port, delayMs] {
        Sleep(delayMs);
        SOCKET server = ListenOn(port);
        if (server == INVALID_SOCKET)
            return;
        listener.listening = true;
        ServeConnections(listener, server);
    });
}

void StopListener(Listener &listener)
{
    listener.stop = true;
    if (listener.thread.joinable())
        listener.thread.join();
    listener.listening = false;
}
