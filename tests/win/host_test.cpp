// The host stand-in's own behaviour that the end-to-end tests rely on:
// moves, the busy sign, command dispatch, timers inside modal dialogs, the
// dialog driver and POP3 retrieval against a small server in this program.
#include <winsock2.h>

#include "standins/host/host.h"
#include "standins/host/standin/script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
DWORD WINAPI APARegistCallback(void(WINAPI *callback)(HWND, DWORD), DWORD value);
DWORD WINAPI APASetTimer(DWORD period, DWORD(WINAPI *callback)(DWORD, DWORD), DWORD value);
DWORD WINAPI APAKillTimer(DWORD id);
DWORD WINAPI APAIsBusy(void);
DWORD WINAPI APAMoveMail(const char *entry, const char *destination);
const char *WINAPI APAGetAccount(HWND folderWindow);
const char *WINAPI APAFolderGetCurrentEntry(HWND folderWindow);
const char *WINAPI APAViewGetPath(HWND viewWindow);
}

namespace {

const char kMessage[] = "From: a@example.com\nSubject: test\n\nbody line\n";

class HostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string mailbox =
            std::string(temp) + "sortella-host-test-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(HostSetMailbox(mailbox.c_str()), 1);
        ASSERT_EQ(HostAddAccount("acc1", "Work", "127.0.0.1", "1", "0"), 1);
        ASSERT_EQ(HostAddAccount("acc2", "Home", "127.0.0.1", "1", "0"), 1);
        ASSERT_EQ(HostAddFolder("acc1", "spam"), 1);
        ASSERT_EQ(HostAddFolder("acc1", "表示"), 1); // trail byte 0x5C
    }
    void SetUp() override { HostClearEvents(); }
};

// ---- moves ----

struct MoveRow {
    const char *destination;
    bool messageExists;
    DWORD expected;
    const char *landsIn; // account dir \ folder holding the file afterwards
};

TEST_F(HostTest, MovesOnlyExistingMessagesIntoExistingFoldersOfKnownTitles)
{
    const MoveRow rows[] = {
        {"Work\\spam", true, 1, "acc1\\spam"},
        {"Home\\ごみ箱", true, 1, "acc2\\ごみ箱"},
        {"Work\\表示", true, 1, "acc1\\表示"},
        {"Work\\郵便受け", true, 1, "acc1\\郵便受け"}, // already there
        {"Nobody\\spam", true, 0, "acc1\\郵便受け"},
        {"Work\\nofolder", true, 0, "acc1\\郵便受け"},
        {"Work", true, 0, "acc1\\郵便受け"},
        {"\\spam", true, 0, "acc1\\郵便受け"},
        {"Work\\spam", false, 0, nullptr},
    };
    for (const MoveRow &row : rows) {
        SCOPED_TRACE(HostSjisToUtf8(row.destination) + (row.messageExists ? "" : " (no file)"));
        std::string path = HostWriteMessage("acc1", "郵便受け", nullptr, kMessage);
        ASSERT_FALSE(path.empty());
        std::string entry = HostEntryOfPath(path);
        if (!row.messageExists)
            DeleteFileA(path.c_str());
        size_t before = HostEvents().size();
        EXPECT_EQ(APAMoveMail(entry.c_str(), row.destination), row.expected);
        std::vector<HostEvent> moves = HostEventsOfKind("move", before);
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(moves[0].result, row.expected);
        EXPECT_EQ(moves[0].raw, entry);
        EXPECT_EQ(moves[0].extra, row.destination);
        if (row.landsIn) {
            std::string name = path.substr(path.rfind('\\') + 1);
            std::string landed = std::string(HostMailbox()) + row.landsIn + "\\" + name;
            EXPECT_EQ(HostReadFile(landed).substr(0, 6), "From: ") << landed;
            if (landed != path) {
                EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
            }
            DeleteFileA(landed.c_str());
        }
    }
}

TEST_F(HostTest, MoveToAFolderHoldingTheSameNameTakesAFreeName)
{
    std::string first = HostWriteMessage("acc1", "spam", "00000777", kMessage);
    std::string second = HostWriteMessage("acc1", "郵便受け", "00000777", "From: b\n\nother\n");
    ASSERT_EQ(APAMoveMail(HostEntryOfPath(second).c_str(), "Work\\spam"), 1u);
    EXPECT_EQ(HostReadFile(first), "From: a@example.com\r\nSubject: test\r\n\r\nbody line\r\n");
    std::vector<std::string> names = HostListMessages("acc1", "spam");
    EXPECT_EQ(names.size(), 2u);
    for (const std::string &name : names)
        DeleteFileA((std::string(HostMailbox()) + "acc1\\spam\\" + name).c_str());
}

// ---- windows, current message, account ----

TEST_F(HostTest, FolderWindowAnswersAccountAndCurrentEntry)
{
    EXPECT_EQ(HostCreateFolderWindow("no-such-account"), nullptr);
    HWND folder = HostCreateFolderWindow("acc1");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(std::string(APAGetAccount(folder)), std::string(HostMailbox()) + "acc1\\");
    EXPECT_EQ(APAFolderGetCurrentEntry(folder), nullptr);
    std::string path = HostWriteMessage("acc1", "郵便受け", nullptr, kMessage);
    std::string entry = HostEntryOfPath(path);
    EXPECT_EQ(HostSelectEntry(folder, entry.c_str()), 1);
    ASSERT_NE(APAFolderGetCurrentEntry(folder), nullptr);
    EXPECT_EQ(std::string(APAFolderGetCurrentEntry(folder)), entry);
    EXPECT_EQ(HostSelectEntry(folder, "acc1\\郵便受け\\missing"), 0);
    EXPECT_EQ(APAFolderGetCurrentEntry(folder), nullptr);

    HWND view = HostCreateViewWindow(path.c_str());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(APAViewGetPath(view)), path);
    EXPECT_EQ(std::string(APAViewGetPath(folder)), "");
    EXPECT_EQ(HostCreateViewWindow((path + ".missing").c_str()), nullptr);
    HostDestroyWindow(view);
    HostDestroyWindow(folder);
    DeleteFileA(path.c_str());
}

// ---- command dispatch ----

HWND calledWindow;
DWORD calledValue;
int calls;

void WINAPI RecordCall(HWND window, DWORD value)
{
    calledWindow = window;
    calledValue = value;
    ++calls;
}

TEST_F(HostTest, CommandsReachTheirEnrolledCallbacksWithWindowAndValue)
{
    HWND folder = HostCreateFolderWindow("acc1");
    std::string path = HostWriteMessage("acc1", "郵便受け", nullptr, kMessage);
    HWND view = HostCreateViewWindow(path.c_str());
    ASSERT_TRUE(folder && view);
    DWORD first = APARegistCallback(RecordCall, 5);
    DWORD second = APARegistCallback(RecordCall, 7);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, first);
    ASSERT_LE(second, 0xFFFFu); // menu commands carry 16-bit ids

    struct {
        HWND window;
        DWORD id;
        DWORD value;
    } rows[] = {{folder, second, 7}, {folder, first, 5}, {view, second, 7}};
    for (const auto &row : rows) {
        calls = 0;
        PostMessageA(row.window, WM_COMMAND, row.id, 0);
        HostPumpPending();
        EXPECT_EQ(calls, 1) << "id " << row.id;
        EXPECT_EQ(calledWindow, row.window);
        EXPECT_EQ(calledValue, row.value);
    }
    calls = 0;
    SendMessageA(folder, WM_COMMAND, second + 100, 0);
    EXPECT_EQ(calls, 0);
    HostDestroyWindow(view);
    HostDestroyWindow(folder);
    DeleteFileA(path.c_str());
}

// ---- busy sign ----

TEST_F(HostTest, BusyPartsShowInServiceAndMenuCommand)
{
    HWND folder = HostCreateFolderWindow("acc1");
    HWND bare = HostCreateFolderWindow("acc1", HOST_FOLDER_NO_BUSY_COMMAND);
    ASSERT_TRUE(folder && bare);
    struct {
        bool service, menu;
        DWORD isBusy;
        bool grayed;
    } rows[] = {{false, false, 0, false}, {true, false, 1, false}, {false, true, 0, true},
                {true, true, 1, true}};
    for (const auto &row : rows) {
        HostSetBusyParts(row.service, row.menu);
        EXPECT_EQ(APAIsBusy(), row.isBusy);
        UINT state = HostBusyCommandState(folder);
        if (row.grayed)
            EXPECT_TRUE(state & MF_GRAYED) << state;
        else
            EXPECT_EQ(state, 0u);
    }
    HostSetBusy(false);
    EXPECT_EQ(HostBusyCommandState(bare), (UINT)-1);
    HostBusyFor(200);
    EXPECT_TRUE(HostIsBusy());
    EXPECT_TRUE(HostPumpUntil([] { return !HostIsBusy(); }, 5000));
    HostDestroyWindow(bare);
    HostDestroyWindow(folder);
}

// ---- timers and modal dialogs ----

// A dialog template in memory: `controls` of (class atom, id, style, text).
struct Control {
    WORD atom; // 0x80 button, 0x81 edit
    WORD id;
    DWORD style;
    const wchar_t *text;
};

std::vector<WORD> DialogTemplate(const std::vector<Control> &controls)
{
    std::vector<WORD> t;
    auto dword = [&](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    auto text = [&](const wchar_t *s) {
        while (*s)
            t.push_back(*s++);
        t.push_back(0);
    };
    dword(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME);
    dword(0);
    t.push_back((WORD)controls.size());
    for (WORD v : {10, 10, 160, 100})
        t.push_back(v);
    t.push_back(0); // no menu
    t.push_back(0); // standard class
    text(L"HostTest");
    short y = 5;
    for (const Control &c : controls) {
        if (t.size() % 2)
            t.push_back(0);
        dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | c.style);
        dword(0);
        for (short v : {(short)5, y, (short)100, (short)12})
            t.push_back((WORD)v);
        y += 16;
        t.push_back(c.id);
        t.push_back(0xFFFF);
        t.push_back(c.atom);
        text(c.text);
        t.push_back(0);
    }
    return t;
}

HWND openDialog;
int ticksInDialog;
int ticks;

INT_PTR CALLBACK PlainDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        openDialog = dialog;
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

DWORD WINAPI TickInDialog(DWORD, DWORD)
{
    ++ticks;
    if (openDialog && IsWindow(openDialog)) {
        if (++ticksInDialog == 3)
            EndDialog(openDialog, 77);
    }
    return 1;
}

DWORD WINAPI TickOnce(DWORD, DWORD)
{
    ++ticks;
    return 0;
}

TEST_F(HostTest, TimersTickInsideAModalDialogUntilKilled)
{
    std::vector<WORD> dialog = DialogTemplate({});
    openDialog = NULL;
    ticks = ticksInDialog = 0;
    DWORD id = APASetTimer(30, TickInDialog, 0);
    ASSERT_NE(id, 0u);
    INT_PTR ended = DialogBoxIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)dialog.data(),
                                            NULL, PlainDialog, 0);
    EXPECT_EQ(ended, 77);
    EXPECT_EQ(ticksInDialog, 3);
    EXPECT_EQ(APAKillTimer(id), 1u);
    int after = ticks;
    HostPumpFor(150);
    EXPECT_EQ(ticks, after);
    EXPECT_EQ(APAKillTimer(id), 0u);
}

TEST_F(HostTest, TimerCallbackThatIsDoneIsNotCalledAgain)
{
    ticks = 0;
    DWORD id = APASetTimer(20, TickOnce, 0);
    ASSERT_TRUE(HostPumpUntil([] { return ticks > 0; }, 30000));
    HostPumpFor(300); // ten more periods: no second call
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(APAKillTimer(id), 1u);
}

// ---- the dialog driver ----

std::string typedText;

INT_PTR CALLBACK FormDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        char text[256] = "";
        GetDlgItemTextA(dialog, 1002, text, sizeof text);
        typedText = text;
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

TEST_F(HostTest, DialogDriverTypesClicksAndReadsControls)
{
    std::vector<WORD> dialog = DialogTemplate({{0x80, 1001, BS_AUTOCHECKBOX, L"check"},
                                               {0x81, 1002, ES_AUTOHSCROLL | WS_BORDER, L""},
                                               {0x80, 1003, WS_DISABLED, L"off"},
                                               {0x80, IDOK, BS_DEFPUSHBUTTON, L"OK"}});
    HostClearDialogReadings();
    HostDriveDialog({{HostDialogStep::Type, 1002, "振り分け"},
                     {HostDialogStep::ReadChecked, 1001, ""},
                     {HostDialogStep::Click, 1001, ""},
                     {HostDialogStep::ReadChecked, 1001, ""},
                     {HostDialogStep::ReadEnabled, 1003, ""},
                     {HostDialogStep::ReadEnabled, IDOK, ""},
                     {HostDialogStep::ReadText, 1002, ""},
                     {HostDialogStep::Click, IDOK, ""}});
    INT_PTR ended = DialogBoxIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)dialog.data(),
                                            NULL, FormDialog, 0);
    EXPECT_EQ(ended, IDOK);
    EXPECT_EQ(typedText, "振り分け");
    std::vector<std::string> expected = {"0", "1", "0", "1", u8"振り分け"};
    EXPECT_EQ(HostDialogReadings(), expected);
    EXPECT_FALSE(HostDialogStepsPending());
}

// ---- POP3 retrieval against a server in this program ----
//
// The server runs on this thread, on socket notifications to a window of
// its own, so that it answers while the host's retrieval pumps messages.
// (A second thread is avoided: where 32-bit Wine runs under emulation one
// can leave the process unable to go on.)

struct ServerScript {
    std::vector<std::string> messages; // CR LF texts, not dot-stuffed
    int dropInMessage = 0;             // send half of this message (from 1), then close
    std::string greeting = "+OK test server ready";
    bool holdRetr = false;             // the first RETR waits for ReleaseRetr
    bool atRetr = false;               // a held RETR is waiting
    std::vector<std::string> commands;
    unsigned short port = 0;
    bool ended = false;                // the connection is closed

    SOCKET listener = INVALID_SOCKET;
    SOCKET connection = INVALID_SOCKET;
    std::string input;
    int heldNumber = 0;
    HWND window = NULL;
    UINT notice = 0; // the window message of its socket notices
};

void SendAll(SOCKET s, const std::string &data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, (int)(data.size() - sent), 0);
        if (n > 0)
            sent += n;
        else if (WSAGetLastError() != WSAEWOULDBLOCK)
            return;
        else
            Sleep(1);
    }
}

std::string Stuffed(const std::string &text)
{
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end - start);
        out += (line.compare(0, 1, ".") == 0 ? "." : "") + line + "\r\n";
        start = end + 2;
    }
    return out;
}

void CloseConnection(ServerScript *script)
{
    if (script->connection != INVALID_SOCKET) {
        shutdown(script->connection, SD_BOTH);
        closesocket(script->connection);
        script->connection = INVALID_SOCKET;
    }
    script->ended = true;
}

// Sends message `number` (from 1) or the drop the script asks for.
void SendMessageText(ServerScript *script, int number)
{
    std::string body = Stuffed(script->messages[number - 1]);
    if (number == script->dropInMessage) {
        SendAll(script->connection, "+OK\r\n" + body.substr(0, body.size() / 2));
        CloseConnection(script);
        return;
    }
    SendAll(script->connection, "+OK\r\n" + body + ".\r\n");
}

void AnswerLine(ServerScript *script, const std::string &line)
{
    script->commands.push_back(line);
    int number = line.size() > 5 ? atoi(line.c_str() + 5) : 0;
    if (line.compare(0, 4, "STAT") == 0) {
        SendAll(script->connection, "+OK " + std::to_string(script->messages.size()) + " 100\r\n");
    } else if (line.compare(0, 4, "RETR") == 0 && number >= 1 && number <= (int)script->messages.size()) {
        if (script->holdRetr) {
            script->holdRetr = false;
            script->atRetr = true;
            script->heldNumber = number;
            return;
        }
        SendMessageText(script, number);
    } else if (line.compare(0, 4, "QUIT") == 0) {
        SendAll(script->connection, "+OK bye\r\n");
        CloseConnection(script);
    } else {
        SendAll(script->connection, "+OK\r\n");
    }
}

void ReadCommands(ServerScript *script)
{
    char buffer[512];
    int n;
    while (script->connection != INVALID_SOCKET && (n = recv(script->connection, buffer, sizeof buffer, 0)) > 0)
        script->input.append(buffer, n);
    size_t end;
    while (script->connection != INVALID_SOCKET && !script->atRetr &&
           (end = script->input.find("\r\n")) != std::string::npos) {
        std::string line = script->input.substr(0, end);
        script->input.erase(0, end + 2);
        AnswerLine(script, line);
    }
}

LRESULT CALLBACK ServerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *script = reinterpret_cast<ServerScript *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    // A notice still queued for a socket of an earlier server has another
    // message number, or names another socket (handles are reused).
    SOCKET socket = static_cast<SOCKET>(wParam);
    if (!script || message != script->notice || (socket != script->listener && socket != script->connection))
        return DefWindowProcA(window, message, wParam, lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_ACCEPT:
        if (script->connection == INVALID_SOCKET) {
            script->connection = accept(script->listener, NULL, NULL);
            closesocket(script->listener);
            script->listener = INVALID_SOCKET;
            if (script->connection == INVALID_SOCKET) {
                script->ended = true;
                break;
            }
            WSAAsyncSelect(script->connection, window, script->notice, FD_READ | FD_CLOSE);
            SendAll(script->connection, script->greeting + "\r\n");
        }
        break;
    case FD_READ:
        ReadCommands(script);
        break;
    case FD_CLOSE:
        ReadCommands(script);
        CloseConnection(script);
        break;
    }
    return 0;
}

// Starts the server listening on 127.0.0.1 and points acc1 at it.
void StartServer(ServerScript *script)
{
    static ATOM windowClass;
    static UINT servers;
    script->notice = WM_APP + 100 + servers++ % 1000;
    if (!windowClass) {
        WNDCLASSA description = {};
        description.lpfnWndProc = ServerWindowProc;
        description.hInstance = GetModuleHandleA(NULL);
        description.lpszClassName = "SortellaTestPop3Server";
        windowClass = RegisterClassA(&description);
    }
    script->window = CreateWindowA("SortellaTestPop3Server", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                   GetModuleHandleA(NULL), NULL);
    SetWindowLongPtrA(script->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(script));
    script->listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(script->listener, (sockaddr *)&address, sizeof address);
    int length = sizeof address;
    getsockname(script->listener, (sockaddr *)&address, &length);
    listen(script->listener, 1);
    WSAAsyncSelect(script->listener, script->window, script->notice, FD_ACCEPT);
    script->port = ntohs(address.sin_port);
    HostSetAccountValue("acc1", "POP3Port", std::to_string(script->port).c_str());
}

// Answers a held RETR.
void ReleaseRetr(ServerScript *script)
{
    script->atRetr = false;
    SendMessageText(script, script->heldNumber);
    ReadCommands(script); // commands that came in while it was held
}

// Pumps until the client has closed the connection, then stops the server.
void StopServer(ServerScript *script)
{
    EXPECT_TRUE(HostPumpUntil([&] { return script->ended; }, 20000));
    if (script->listener != INVALID_SOCKET)
        closesocket(script->listener);
    CloseConnection(script);
    DestroyWindow(script->window);
}

void EmptyInbox()
{
    for (const std::string &name : HostListMessages("acc1", "郵便受け"))
        DeleteFileA((std::string(HostMailbox()) + "acc1\\郵便受け\\" + name).c_str());
}

std::vector<std::string> InboxTexts()
{
    std::vector<std::string> texts;
    for (const std::string &name : HostListMessages("acc1", "郵便受け"))
        texts.push_back(HostReadFile(std::string(HostMailbox()) + "acc1\\郵便受け\\" + name));
    return texts;
}

bool Has(const std::vector<std::string> &lines, const std::string &line)
{
    for (const std::string &l : lines)
        if (l == line)
            return true;
    return false;
}

// Kinds of the events since `from` that are among `kinds`, in order.
std::vector<std::string> KindsSince(size_t from, const std::vector<std::string> &kinds)
{
    std::vector<std::string> found;
    const std::vector<HostEvent> &events = HostEvents();
    for (size_t i = from; i < events.size(); ++i)
        for (const std::string &kind : kinds)
            if (events[i].kind == kind)
                found.push_back(kind == "busy" ? "busy:" + events[i].text : kind);
    return found;
}

TEST_F(HostTest, RetrievalStoresFiltersAndDeletesEveryMessage)
{
    EmptyInbox();
    HWND folder = HostCreateFolderWindow("acc1");
    ServerScript script;
    script.messages = {"From: one\r\nSubject: 1\r\n\r\nfirst\r\n",
                       "From: two\r\n\r\n.hidden dot line\r\n..two dots\r\n",
                       "From: three\r\n\r\nthird\r\n"};
    StartServer(&script);
    size_t from = HostEvents().size();
    EXPECT_EQ(HostRetrieve(folder, 30000), 3);
    StopServer(&script);
    EXPECT_EQ(InboxTexts(), script.messages);
    for (const char *command : {"USER user", "PASS pass", "STAT", "RETR 1", "DELE 1", "RETR 2",
                                "DELE 2", "RETR 3", "DELE 3", "QUIT"})
        EXPECT_TRUE(Has(script.commands, command)) << command;
    std::vector<std::string> order = {"busy:busy", "filter", "filter", "filter", "end-retrieve",
                                      "busy:idle"};
    EXPECT_EQ(KindsSince(from, {"busy", "filter", "end-retrieve"}), order);
    EXPECT_FALSE(HostIsBusy());
    HostDestroyWindow(folder);
}

TEST_F(HostTest, BusyCommandIsGrayedWhileRetrievingAndStateZeroAfter)
{
    EmptyInbox();
    HWND folder = HostCreateFolderWindow("acc1");
    ServerScript script;
    script.messages = {"From: one\r\n\r\nfirst\r\n"};
    script.holdRetr = true;
    StartServer(&script);
    EXPECT_EQ(HostBusyCommandState(folder), 0u);
    ASSERT_EQ(HostStartRetrieve(folder), 1);
    EXPECT_TRUE(HostPumpUntil([&] { return script.atRetr; }, 20000));
    EXPECT_EQ(APAIsBusy(), 1u);
    EXPECT_TRUE(HostBusyCommandState(folder) & MF_GRAYED);
    EXPECT_EQ(HostStartRetrieve(folder), 0); // one at a time
    ReleaseRetr(&script);
    EXPECT_TRUE(HostPumpUntil([] { return !HostRetrieving(); }, 20000));
    StopServer(&script);
    EXPECT_EQ(HostLastRetrieveResult(), 1);
    EXPECT_EQ(APAIsBusy(), 0u);
    EXPECT_EQ(HostBusyCommandState(folder), 0u);
    HostDestroyWindow(folder);
}

TEST_F(HostTest, ServerThatDropsMidMessageLeavesThatMessageUnstoredAndUndeleted)
{
    EmptyInbox();
    HWND folder = HostCreateFolderWindow("acc1");
    ServerScript script;
    script.messages = {"From: one\r\n\r\nfirst\r\n",
                       "From: two\r\nSubject: long\r\n\r\n" + std::string(3000, 'x') + "\r\n"};
    script.dropInMessage = 2;
    StartServer(&script);
    size_t from = HostEvents().size();
    EXPECT_EQ(HostRetrieve(folder, 30000), -1);
    StopServer(&script);
    EXPECT_EQ(InboxTexts(), std::vector<std::string>{script.messages[0]});
    EXPECT_TRUE(Has(script.commands, "DELE 1"));
    EXPECT_FALSE(Has(script.commands, "DELE 2"));
    std::vector<std::string> order = {"busy:busy", "filter", "end-retrieve", "busy:idle"};
    EXPECT_EQ(KindsSince(from, {"busy", "filter", "end-retrieve"}), order);
    HostDestroyWindow(folder);
}

TEST_F(HostTest, RefusedOrBrokenServerEndsTheRetrievalIdleWithNothingStored)
{
    EmptyInbox();
    HWND folder = HostCreateFolderWindow("acc1");
    // A port that nobody listens on: bound, then closed again.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(probe, (sockaddr *)&address, sizeof address);
    int length = sizeof address;
    getsockname(probe, (sockaddr *)&address, &length);
    closesocket(probe);
    HostSetAccountValue("acc1", "POP3Port", std::to_string(ntohs(address.sin_port)).c_str());
    size_t from = HostEvents().size();
    EXPECT_EQ(HostRetrieve(folder, 30000), -1);
    EXPECT_FALSE(HostIsBusy());
    EXPECT_EQ(HostEventsOfKind("end-retrieve", from).size(), 1u);

    ServerScript script;
    script.greeting = "-ERR not today";
    script.messages = {"From: one\r\n\r\nfirst\r\n"};
    StartServer(&script);
    EXPECT_EQ(HostRetrieve(folder, 30000), -1);
    StopServer(&script);
    EXPECT_TRUE(script.commands.empty() || !Has(script.commands, "RETR 1"));
    EXPECT_TRUE(InboxTexts().empty());
    EXPECT_FALSE(HostIsBusy());

    HostSetAccountValue("acc1", "POP3Port", "");
    EXPECT_EQ(HostStartRetrieve(folder), 0);
    EXPECT_FALSE(HostIsBusy());
    HostDestroyWindow(folder);
}

// ---- the stand-in program's script ----

typedef std::vector<std::string> Words;

TEST(StandinScript, LinesSplitIntoWordsWithQuotesAndComments)
{
    const struct {
        const char *line;
        Words words;
    } rows[] = {
        {"start", {"start"}},
        {"  account acc1 \"仕事 用\" 127.0.0.1  110\r", {"account", "acc1", "仕事 用", "127.0.0.1", "110"}},
        {"note \"say \"\"hi\"\"\"", {"note", "say \"hi\""}},
        {"type 1005 \"\"", {"type", "1005", ""}},
        {"# a comment", {}},
        {"list # the rest", {"list"}},
        {"", {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(SplitScriptLine(row.line), row.words) << row.line;
}

TEST(StandinScript, ArgumentsBecomeStepsAtStepNamesOrSeparators)
{
    const struct {
        Words words;
        std::vector<Words> steps;
    } rows[] = {
        {{"start", "name", "quit"}, {{"start"}, {"name"}, {"quit"}}},
        {{"account", "a", "T", "h", "110", "start", "a"}, {{"account", "a", "T", "h", "110"}, {"start", "a"}}},
        {{"setup", "click", "1003", "checked", "1003", "end"},
         {{"setup"}, {"click", "1003"}, {"checked", "1003"}, {"end"}}},
        {{"note", "start", "--", "quit"}, {{"note", "start"}, {"quit"}}},
        {{"choose", "a", ";", ";", "list"}, {{"choose", "a"}, {"list"}}},
        {{}, {}},
    };
    for (const auto &row : rows) {
        std::string shown;
        for (const std::string &w : row.words)
            shown += w + " ";
        EXPECT_EQ(StepsOfArguments(row.words), row.steps) << shown;
    }
}

TEST_F(HostTest, ScriptReportsBadInputAndGoesOn)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetProgramDirectory(std::string(temp) + "no-such-program\\");
    std::string mailbox = HostMailbox();
    std::vector<Words> steps = {
        {"mailbox", "Z:\\no\\such\\mailbox"},
        {"select", "acc1\\郵便受け\\00000001"},
        {"message", "acc1", "郵便受け", "Z:\\no\\such\\file.txt"},
        {"start", "acc9"},
        {"choose", "x"},
        {"bogus"},
        {"setup"},
        {"click", "1"},
        {"end"},
        {"quit"},
    };
    const int results[] = {0, 0, 0, 0, 0, -1, 0, 1};
    size_t next = 0;
    for (int expected : results) {
        ASSERT_LT(next, steps.size());
        std::string step = steps[next][0];
        size_t before = HostEvents().size();
        EXPECT_EQ(RunScriptStep(steps, &next), expected) << step;
        if (step != "quit") {
            EXPECT_FALSE(HostEventsOfKind("error", before).empty()) << step;
        }
    }
    EXPECT_EQ(next, steps.size());
    EXPECT_EQ(std::string(HostMailbox()), mailbox);
    EXPECT_EQ(HostPluginModule(), nullptr);
}

// ---- the real plug-in ----

TEST_F(HostTest, LoadsTheRealPluginAndObservesItsImports)
{
    ASSERT_EQ(HostLoadPlugin((HostProgramDirectory() + "sortella.dll").c_str()), 1);
    std::vector<HostEvent> loads = HostEventsOfKind("plugin");
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(loads.back().text.find("(0 imports"), std::string::npos) << loads.back().text;
    EXPECT_EQ(HostPluginName(), "Sortella Version 0.10");
    size_t from = HostEvents().size();
    EXPECT_EQ(HostStartPlugin(), 1u);
    EXPECT_GE(HostEventsOfKind("enrol", from).size(), 1u);
    HostShutdown();
    EXPECT_EQ(HostPluginModule(), nullptr);
}

} // namespace
