// POP3 retrieval (RFC 1939, USER/PASS) over Windows Sockets. The session
// runs on socket notices (WSAAsyncSelect) to the hidden window, so any
// message loop on the thread advances it: the host's own, a modal dialog's,
// or the plug-in's wait for an idle host.
//
// Safety of the server's copy: a message is deleted (DELE) only after its
// file was stored; a connection that breaks inside a message stores
// nothing of it, and without QUIT the server deletes nothing at all.
#include <winsock2.h>

#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <cstdlib>

namespace {

using hostrig::Record;

enum class Phase { Idle, Connecting, Greeting, User, Pass, Stat, RetrStatus, RetrBody, Dele, Quit };

struct Session {
    Phase phase = Phase::Idle;
    SOCKET socket = INVALID_SOCKET;
    HWND folder = NULL;
    std::string accountDir;
    std::string user;
    std::string password;
    std::string input;   // received bytes not yet handled
    std::string message; // the message being received, CR LF lines
    int count = 0;       // messages on the server
    int current = 0;     // message number being handled, from 1
    int stored = 0;
    bool failed = false;
    bool closed = false;   // the server closed its end
    bool handling = false; // inside HandleInput (re-entered by a nested loop)
    DWORD lastActivity = 0;
};

Session session;
int lastResult = 0;
DWORD timeoutSeconds = 20;

void Note(const std::string &text)
{
    Record("pop3", text, "", "", 0, 0, session.folder);
}

void Send(const std::string &line)
{
    std::string data = line + "\r\n";
    // Commands are short; a blocking-style send loop is enough here.
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(session.socket, data.data() + sent, (int)(data.size() - sent), 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) {
                Sleep(1);
                continue;
            }
            return;
        }
        sent += n;
    }
    std::string shown = line.compare(0, 5, "PASS ") == 0 ? "PASS ****" : line;
    Note("> " + shown);
}

void CloseSocket()
{
    if (session.socket != INVALID_SOCKET) {
        WSAAsyncSelect(session.socket, hostrig::HiddenWindow(), 0, 0);
        closesocket(session.socket);
        session.socket = INVALID_SOCKET;
        // Notices of this socket still queued would reach the next session,
        // whose socket may get the same handle.
        MSG stale;
        while (PeekMessageA(&stale, hostrig::HiddenWindow(), hostrig::WM_HOST_SOCKET, hostrig::WM_HOST_SOCKET,
                            PM_REMOVE)) {
        }
    }
    KillTimer(hostrig::HiddenWindow(), hostrig::kPop3Timer);
}

// Ends the session: the plug-in hears of the end of the retrieval while the
// host is still busy, then the host goes idle.
void Finish()
{
    bool failed = session.failed;
    CloseSocket();
    session.phase = Phase::Idle;
    lastResult = failed ? -1 : session.stored;
    Note(std::string(failed ? "retrieval failed" : "retrieval done") + ", " +
         std::to_string(session.stored) + " message(s) stored");
    hostrig::RefreshFolderWindows();
    HostCallEndRetrieve(session.folder);
    HostSetBusy(false);
}

void Fail(const std::string &reason)
{
    if (session.phase == Phase::Idle)
        return;
    Record("pop3", "error: " + reason, "", "", 0, 1, session.folder);
    session.failed = true;
    // After a failure inside the transaction the deletions of the messages
    // already stored are committed; nothing else was marked.
    bool transaction = session.phase >= Phase::Stat && !session.closed;
    if (transaction)
        Send("QUIT");
    Finish();
}

bool IsOk(const std::string &line)
{
    return line.compare(0, 3, "+OK") == 0;
}

// Takes one line (without its line end) out of the input; false when no
// whole line is there yet.
bool TakeLine(std::string *line)
{
    size_t end = session.input.find('\n');
    if (end == std::string::npos)
        return false;
    size_t length = end > 0 && session.input[end - 1] == '\r' ? end - 1 : end;
    *line = session.input.substr(0, length);
    session.input.erase(0, end + 1);
    return true;
}

void RequestMessage()
{
    session.message.clear();
    session.phase = Phase::RetrStatus;
    Send("RETR " + std::to_string(session.current));
}

void NextMessageOrQuit()
{
    if (session.current < session.count) {
        ++session.current;
        RequestMessage();
    } else {
        session.phase = Phase::Quit;
        Send("QUIT");
    }
}

// A whole message arrived: store it, let the plug-in filter it, then
// delete it on the server.
void MessageComplete()
{
    std::string path = hostrig::StoreNewMessage(session.accountDir, "郵便受け", session.message);
    size_t bytes = session.message.size();
    session.message.clear();
    if (path.empty()) {
        // Not stored: left on the server, and the session ends here.
        Fail("message " + std::to_string(session.current) + " could not be stored");
        return;
    }
    ++session.stored;
    Note("message " + std::to_string(session.current) + " of " + std::to_string(session.count) +
         " stored as " + HostSjisToUtf8(HostEntryOfPath(path)) + " (" + std::to_string(bytes) +
         " bytes)");
    hostrig::RefreshFolderWindows();
    HostCallRecFilter(path.c_str());
    if (session.phase == Phase::Idle)
        return; // ended meanwhile
    session.phase = Phase::Dele;
    Send("DELE " + std::to_string(session.current));
}

void HandleBodyLine(const std::string &line)
{
    if (line == ".") {
        MessageComplete();
        return;
    }
    // Dot-stuffing: a line that begins with a dot came with one more.
    session.message += line.compare(0, 1, ".") == 0 ? line.substr(1) : line;
    session.message += "\r\n";
}

void HandleStatus(const std::string &line)
{
    Note("< " + line);
    if (!IsOk(line)) {
        Fail("server answered \"" + line + "\"");
        return;
    }
    switch (session.phase) {
    case Phase::Greeting:
        session.phase = Phase::User;
        Send("USER " + session.user);
        break;
    case Phase::User:
        session.phase = Phase::Pass;
        Send("PASS " + session.password);
        break;
    case Phase::Pass:
        session.phase = Phase::Stat;
        Send("STAT");
        break;
    case Phase::Stat: {
        const char *text = line.c_str() + 3;
        char *end = nullptr;
        long count = strtol(text, &end, 10);
        if (end == text || count < 0) {
            Fail("STAT answer without a message count");
            return;
        }
        session.count = (int)count;
        session.current = 0;
        NextMessageOrQuit();
        break;
    }
    case Phase::RetrStatus:
        session.phase = Phase::RetrBody;
        break;
    case Phase::Dele:
        NextMessageOrQuit();
        break;
    case Phase::Quit:
        session.closed = true;
        Finish();
        break;
    default:
        break;
    }
}

void HandleInput()
{
    if (session.handling)
        return; // the outer call goes on with what was added
    session.handling = true;
    std::string line;
    while (session.phase != Phase::Idle && session.phase != Phase::Connecting && TakeLine(&line)) {
        if (session.phase == Phase::RetrBody)
            HandleBodyLine(line);
        else
            HandleStatus(line);
    }
    session.handling = false;
    if (session.phase != Phase::Idle && session.closed) {
        if (session.phase == Phase::RetrBody)
            Fail("connection closed in the middle of message " + std::to_string(session.current) +
                 " (" + std::to_string(session.message.size()) + " bytes received; not stored)");
        else
            Fail("connection closed by the server");
    }
}

void ReceiveAvailable()
{
    char buffer[8192];
    for (;;) {
        int n = recv(session.socket, buffer, sizeof buffer, 0);
        if (n > 0) {
            session.input.append(buffer, n);
            session.lastActivity = GetTickCount();
            continue;
        }
        if (n == 0)
            session.closed = true;
        else if (WSAGetLastError() != WSAEWOULDBLOCK)
            session.closed = true;
        return;
    }
}

bool ResolveServer(const std::string &server, sockaddr_in *address)
{
    address->sin_family = AF_INET;
    address->sin_addr.s_addr = inet_addr(server.c_str());
    if (address->sin_addr.s_addr != INADDR_NONE)
        return true;
    hostent *host = gethostbyname(server.c_str());
    if (!host || !host->h_addr_list[0])
        return false;
    memcpy(&address->sin_addr, host->h_addr_list[0], sizeof address->sin_addr);
    return true;
}

} // namespace

namespace hostrig {

void OnPop3Socket(WPARAM socket, LPARAM event)
{
    if ((SOCKET)socket != session.socket || session.phase == Phase::Idle)
        return;
    int error = WSAGETSELECTERROR(event);
    switch (WSAGETSELECTEVENT(event)) {
    case FD_CONNECT:
        if (error) {
            Fail("cannot connect (error " + std::to_string(error) + ")");
            return;
        }
        Note("connected");
        session.phase = Phase::Greeting;
        session.lastActivity = GetTickCount();
        HandleInput();
        return;
    case FD_READ:
        ReceiveAvailable();
        HandleInput();
        return;
    case FD_CLOSE:
        ReceiveAvailable();
        session.closed = true;
        HandleInput();
        return;
    }
}

void OnPop3Timer(void)
{
    if (session.phase == Phase::Idle)
        return;
    if (GetTickCount() - session.lastActivity > timeoutSeconds * 1000)
        Fail("no answer for " + std::to_string(timeoutSeconds) + " s");
}

void OnPop3Step(void)
{
    HandleInput();
}

} // namespace hostrig

int HostStartRetrieve(HWND folderWindow)
{
    hostrig::EnsureHost();
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    if (!folder) {
        Record("pop3", "not started: not a folder window", "", "", 0, 0, folderWindow);
        return 0;
    }
    if (session.phase != Phase::Idle) {
        Record("pop3", "not started: a retrieval is running", "", "", 0, 0, folderWindow);
        return 0;
    }
    std::string server = hostrig::AccountValue(folder->accountDir, "POP3Server");
    int port = atoi(hostrig::AccountValue(folder->accountDir, "POP3Port").c_str());
    sockaddr_in address = {};
    if (server.empty() || port <= 0 || port > 65535) {
        Record("pop3", "not started: account has no usable POP3Server/POP3Port", "", "", 0, 0,
               folderWindow);
        return 0;
    }
    if (!ResolveServer(server, &address)) {
        Record("pop3", "not started: server " + HostSjisToUtf8(server) + " not found", "", "", 0,
               0, folderWindow);
        return 0;
    }
    address.sin_port = htons((u_short)port);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        Record("pop3", "not started: no socket", "", "", 0, 0, folderWindow);
        return 0;
    }
    session = Session();
    session.socket = s;
    session.folder = folderWindow;
    session.accountDir = folder->accountDir;
    session.user = hostrig::AccountValue(folder->accountDir, "POP3User");
    session.password = hostrig::AccountValue(folder->accountDir, "POP3Password");
    if (session.user.empty())
        session.user = "user";
    if (session.password.empty())
        session.password = "pass";
    session.phase = Phase::Connecting;
    session.lastActivity = GetTickCount();
    HostSetBusy(true);
    Note("retrieval from " + HostSjisToUtf8(server) + ":" + std::to_string(port) + " for account " +
         HostSjisToUtf8(folder->accountDir));
    WSAAsyncSelect(s, hostrig::HiddenWindow(), hostrig::WM_HOST_SOCKET,
                   FD_CONNECT | FD_READ | FD_CLOSE);
    SetTimer(hostrig::HiddenWindow(), hostrig::kPop3Timer, 1000, NULL);
    if (connect(s, (sockaddr *)&address, sizeof address) == SOCKET_ERROR &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        Fail("cannot connect (error " + std::to_string(WSAGetLastError()) + ")");
    return 1;
}

bool HostRetrieving(void)
{
    return session.phase != Phase::Idle;
}

int HostRetrieve(HWND folderWindow, DWORD timeoutMs)
{
    if (!HostStartRetrieve(folderWindow))
        return -1;
    if (!HostPumpUntil([] { return !HostRetrieving(); }, timeoutMs))
        Fail("retrieval took longer than " + std::to_string(timeoutMs) + " ms");
    return lastResult;
}

int HostLastRetrieveResult(void)
{
    return lastResult;
}

void HostSetPop3Timeout(DWORD seconds)
{
    timeoutSeconds = seconds ? seconds : 1;
}
