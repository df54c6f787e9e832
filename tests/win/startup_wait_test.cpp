// The start-up wait of the real sortella.dll in the host stand-in: the host
// creates folder windows (calling APCFolderCreate) while the POPFile
// stand-in's POP3 port is the proxy that the plug-in probes; its log counts
// the probes. Each test loads the DLL afresh, since the probe remembers the
// account's values for the whole life of the module.
#include <winsock2.h>

#include "tests/win/dialog_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/resource.h"
#include "standins/host/host.h"

namespace {

const DWORD kWaitTemplate = IDD_WAIT;

struct Creation {
    DWORD result = 0;    // what APCFolderCreate returned
    int waitDialogs = 0; // wait dialogs opened
    INT_PTR dialogEnd = -1;
    size_t eventsFrom = 0;
};

class StartupWaitTest : public ::testing::Test {
protected:
    std::string account;
    std::vector<HWND> windows;

    void SetUp() override
    {
        static int accounts;
        HostSetMailbox((TestDirectory() + "mailbox").c_str());
        account = "wait" + std::to_string(++accounts);
    }
    void TearDown() override
    {
        SetStandinKnobs("");
        for (HWND window : windows)
            HostDestroyWindow(window);
        HostUnloadPlugin();
    }

    void AddAccount(const std::string &server, const std::string &port, const char *connect)
    {
        ASSERT_EQ(HostAddAccount(account.c_str(), "Wait", server.c_str(), port.c_str(), connect),
                  1);
    }
    // A fresh module with CheckConnect as given, started as the host does.
    void StartPlugin(bool checkConnect)
    {
        HostUnloadPlugin();
        WriteSettingsFile({false, false, false, false, checkConnect}, "");
        ASSERT_EQ(HostLoadPlugin(PluginPath().c_str()), 1);
        HostStartPlugin();
    }
    // Creates a folder window of the account (the host calls
    // APCFolderCreate) while `steps` act on a wait dialog, if one comes.
    Creation CreateFolderWindow(const std::vector<DialogStep> &steps = {})
    {
        Creation made;
        made.eventsFrom = HostEvents().size();
        DriveDialog(
            [&] {
                windows.push_back(HostCreateFolderWindow(account.c_str()));
                return INT_PTR(0);
            },
            steps, 60000);
        std::vector<HostEvent> creates = HostEventsOfKind("folder-create", made.eventsFrom);
        EXPECT_EQ(creates.size(), 1u);
        made.result = creates.empty() ? 0xDEADu : creates.back().result;
        for (const HostEvent &event : HostEventsOfKind("dialog", made.eventsFrom)) {
            if (event.flags != kWaitTemplate)
                continue;
            if (event.text.compare(0, 4, "open") == 0)
                ++made.waitDialogs;
            else
                made.dialogEnd = static_cast<INT_PTR>(event.result);
        }
        return made;
    }
    // Probes since `from` (a count of StandinPop3Connections). The stand-in
    // logs a connection a moment after the plug-in's connect returned.
    void ExpectProbes(int from, int count)
    {
        HostPumpUntil([&] { return StandinPop3Connections() - from >= count; }, 10000);
        HostPumpFor(300);
        EXPECT_EQ(StandinPop3Connections() - from, count);
    }
    static std::string ProxyPort(int add = 0) { return std::to_string(StandinPop3Port() + add); }
    std::vector<HostEvent> TimerEvents(size_t from) { return HostEventsOfKind("timer", from); }
};

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(StartupWaitTest, ProxyAlreadyUpNeedsNoDialogAndIsProbedAgain)
{
    AddAccount("127.0.0.1", ProxyPort(), "1");
    StartPlugin(true);
    int probes = StandinPop3Connections();
    Creation first = CreateFolderWindow();
    EXPECT_EQ(first.result, 1u);
    EXPECT_EQ(first.waitDialogs, 0);
    ExpectProbes(probes, 1);
    Creation second = CreateFolderWindow();
    EXPECT_EQ(second.result, 1u);
    EXPECT_EQ(second.waitDialogs, 0);
    ExpectProbes(probes, 2);
    EXPECT_TRUE(TimerEvents(first.eventsFrom).empty());
}

VOID CALLBACK OpenProxy(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    SetStandinKnobs("");
}

// The proxy port refuses until two seconds after the dialog appeared; the
// dialog then closes by itself at the first tick that connects, so exactly
// one connection is made. Later folder windows do not wait.
TEST_F(StartupWaitTest, ProxyComingUpLaterClosesTheDialogByItself)
{
    SetStandinKnobs("pop3-delay never\n");
    AddAccount("127.0.0.1", ProxyPort(), "1");
    StartPlugin(true);
    int probes = StandinPop3Connections();
    std::string caption;
    HWND dialogOwner = reinterpret_cast<HWND>(1);
    Creation made = CreateFolderWindow({[&](HWND d) {
        char text[64] = "";
        GetWindowTextA(d, text, sizeof text);
        caption = text;
        dialogOwner = GetWindow(d, GW_OWNER);
        SetTimer(NULL, 0, 2000, OpenProxy); // runs in the dialog's loop
    }});
    EXPECT_EQ(made.waitDialogs, 1);
    EXPECT_EQ(made.dialogEnd, 0); // closed by WM_CLOSE
    EXPECT_EQ(made.result, 1u);   // APAKillTimer's result
    EXPECT_EQ(caption, "Sortella");
    EXPECT_EQ(dialogOwner, nullptr);
    ExpectProbes(probes, 1);

    std::vector<HostEvent> timer = TimerEvents(made.eventsFrom);
    ASSERT_EQ(timer.size(), 3u);
    EXPECT_TRUE(Contains(timer[0].text, "set id")) << timer[0].text;
    EXPECT_EQ(timer[0].flags, 100u); // period
    EXPECT_TRUE(Contains(timer[1].text, "callback done")) << timer[1].text;
    EXPECT_TRUE(Contains(timer[2].text, "kill id")) << timer[2].text;
    EXPECT_GE(timer[2].result, 2u) << "ticks before the proxy answered";

    Creation later = CreateFolderWindow();
    EXPECT_EQ(later.result, 0u);
    EXPECT_EQ(later.waitDialogs, 0);
    ExpectProbes(probes, 1);
}

// Enter and Escape (as keys and as the commands IDOK and IDCANCEL) leave
// the dialog open; the cancel button ends it and stops the timer, and no
// later folder window waits.
TEST_F(StartupWaitTest, KeysDoNothingAndCancelEndsTheWait)
{
    SetStandinKnobs("pop3-delay never\n");
    AddAccount("127.0.0.1", ProxyPort(), "1");
    StartPlugin(true);
    bool openAfterKeys = false, openAfterCommands = false;
    std::string screenshots = TestDirectory() + "screenshots\\";
    CreateDirectoryA(screenshots.c_str(), NULL);
    Creation made = CreateFolderWindow({
        [](HWND d) { PressKey(d, VK_RETURN); },
        [](HWND d) { PressKey(d, VK_ESCAPE); },
        [&](HWND d) {
            openAfterKeys = IsWindowVisible(d) != FALSE;
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        },
        [&](HWND d) {
            openAfterCommands = IsWindowVisible(d) != FALSE;
            RedrawWindow(d, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            HostScreenshot(d, (screenshots + "wait_dialog.png").c_str());
        },
        [](HWND d) { Click(d, IDC_WAIT_CANCEL); },
    });
    EXPECT_TRUE(openAfterKeys);
    EXPECT_TRUE(openAfterCommands);
    EXPECT_EQ(made.waitDialogs, 1);
    EXPECT_EQ(made.dialogEnd, IDC_WAIT_CANCEL);
    EXPECT_EQ(made.result, 1u);

    size_t afterWait = HostEvents().size();
    std::vector<HostEvent> timer = TimerEvents(made.eventsFrom);
    ASSERT_FALSE(timer.empty());
    EXPECT_TRUE(Contains(timer.back().text, "kill id")) << timer.back().text;
    HostPumpFor(1000);
    EXPECT_TRUE(TimerEvents(afterWait).empty());

    Creation later = CreateFolderWindow();
    EXPECT_EQ(later.result, 0u);
    EXPECT_EQ(later.waitDialogs, 0);
}

TEST_F(StartupWaitTest, CloseBoxEndsTheWait)
{
    AddAccount("127.0.0.1", std::to_string(UnusedPort()), "1"); // nothing listens
    StartPlugin(true);
    Creation made = CreateFolderWindow({[](HWND d) { PressCloseBox(d); }});
    EXPECT_EQ(made.waitDialogs, 1);
    EXPECT_EQ(made.dialogEnd, 0);
    EXPECT_EQ(made.result, 1u);
    EXPECT_EQ(CreateFolderWindow().waitDialogs, 0);
}

// A loopback port that neither accepts nor refuses a connection: its
// listener's queue is full and never taken from, so the system drops the
// next connection request, as a switched-off machine would not answer.
struct SilentPort {
    SOCKET listener = INVALID_SOCKET;
    std::vector<SOCKET> queued;
    int port = 0;
};

SilentPort OpenSilentPort(void)
{
    SilentPort silent;
    UnusedPort(); // starts Windows Sockets
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    silent.listener = socket(AF_INET, SOCK_STREAM, 0);
    int length = sizeof address;
    if (bind(silent.listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(silent.listener, 1) != 0 ||
        getsockname(silent.listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return silent;
    silent.port = ntohs(address.sin_port);
    // More than the queue holds; the later ones stay pending.
    for (int i = 0; i < 4; ++i) {
        SOCKET filler = socket(AF_INET, SOCK_STREAM, 0);
        u_long nonBlocking = 1;
        ioctlsocket(filler, FIONBIO, &nonBlocking);
        connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
        silent.queued.push_back(filler);
    }
    Sleep(200); // the handshakes that can complete have done so
    return silent;
}

void CloseSilentPort(SilentPort &silent)
{
    for (SOCKET filler : silent.queued)
        closesocket(filler);
    closesocket(silent.listener);
}

// A proxy that does not answer at all: each probe gives up by itself, so
// the dialog comes and its cancel button is served between the probes.
TEST_F(StartupWaitTest, ProxyThatNeverAnswersStillLetsTheUserCancel)
{
    SilentPort silent = OpenSilentPort();
    ASSERT_NE(silent.port, 0);
    AddAccount("127.0.0.1", std::to_string(silent.port), "1");
    StartPlugin(true);
    // Two steps that do nothing: a few probes come between them.
    Creation made = CreateFolderWindow({[](HWND) {}, [](HWND) {}, [](HWND d) { Click(d, IDC_WAIT_CANCEL); }});
    CloseSilentPort(silent);
    EXPECT_EQ(made.waitDialogs, 1);
    EXPECT_EQ(made.dialogEnd, IDC_WAIT_CANCEL);
    EXPECT_EQ(made.result, 1u);
}

// With CheckConnect off nothing is probed: no connection, result 0.
TEST_F(StartupWaitTest, CheckConnectOffNeverProbes)
{
    AddAccount("127.0.0.1", ProxyPort(), "1");
    StartPlugin(false);
    int probes = StandinPop3Connections();
    EXPECT_EQ(CreateFolderWindow().result, 0u);
    EXPECT_EQ(CreateFolderWindow().result, 0u);
    ExpectProbes(probes, 0);
}

// What the account says about the probe; the proxy listens on its port all
// the while, so any connection attempt would be counted. Each row gets a
// fresh module and two folder windows.
TEST_F(StartupWaitTest, AccountValuesDecideWhetherAndWhereToProbe)
{
    std::string port = ProxyPort();
    struct Row {
        std::string server, port;
        const char *connect;
        int connections; // over both folder windows
    };
    const Row rows[] = {
        {"127.0.0.1", port, "0", 0},  // Connect 0: never probed
        {"127.0.0.1", port, "", 0},   // Connect empty reads as 0
        {"127.0.0.1", ProxyPort(65536), "1", 2}, // low 16 bits
        {"127.0.0.1", ProxyPort(3 * 65536), "7", 2},
        {"127.0.0.1", "-5", "1", 0},  // negative port: no probe
        {"127.0.0.1", "0", "1", 0},
        {"127.0.0.1", "", "1", 0},
        {"localhost", port, "1", 2},  // a name is resolved
        {"no-such-host.invalid", port, "1", 0}, // unresolvable: go ahead
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("server \"" + row.server + "\" port \"" + row.port + "\" connect \"" +
                     row.connect + "\"");
        AddAccount(row.server, row.port, row.connect);
        StartPlugin(true);
        int probes = StandinPop3Connections();
        Creation first = CreateFolderWindow();
        Creation second = CreateFolderWindow();
        EXPECT_EQ(first.result, 1u);
        EXPECT_EQ(second.result, 1u);
        EXPECT_EQ(first.waitDialogs + second.waitDialogs, 0);
        ExpectProbes(probes, row.connections);
    }
}

} // namespace
