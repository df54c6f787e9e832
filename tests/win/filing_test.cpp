// The receive filter and the filing command of the real sortella.dll in the
// host stand-in: the queue, every shape of the summary, beep and box, the
// wait for the idle host, re-entrance from inside the wait, and a whole
// retrieval through the POPFile stand-in.
//
// The executable exports the host's services from the stand-in library,
// except that APAMoveMail is exported as FilingTestMoveMail (see the .def in
// CMakeLists.txt): it calls the host's own service and then whatever the
// test scripted for that moment, so that a test can act between two moves.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "standins/host/host.h"
#include "tests/printable.h"
#include "tests/win/filing_log_rows.h"

extern "C" DWORD WINAPI APAMoveMail(const char *entry, const char *destination);

namespace {
std::function<void()> afterMove;
} // namespace

extern "C" DWORD WINAPI FilingTestMoveMail(const char *entry, const char *destination)
{
    DWORD result = APAMoveMail(entry, destination);
    if (afterMove)
        afterMove();
    return result;
}

namespace {

// ---- Settings file ---------------------------------------------------

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

bool WriteTextFile(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    fwrite(text.data(), 1, text.size(), file);
    return fclose(file) == 0;
}

struct Settings {
    bool dispDialog = true;
    bool beep = false;
    bool dispFrom = true;
    bool dispSubject = true;
    int fromLength = 0;
    int subjectLength = 0;
    bool log = true;
    std::vector<std::pair<std::string, std::string>> rules = {{"spam", "ごみ箱"}};
};

// Writes Plugins\sortella.ini beside the program and starts the plug-in
// again, which loads it.
void Configure(const Settings &settings)
{
    std::string dir = ExeDirectory() + "Plugins";
    CreateDirectoryA(dir.c_str(), NULL);
    std::string text = "[Setup]\r\n";
    text += std::string("DispDialog=") + (settings.dispDialog ? "1" : "0") + "\r\n";
    text += std::string("Beep=") + (settings.beep ? "1" : "0") + "\r\n";
    text += std::string("DispFrom=") + (settings.dispFrom ? "1" : "0") + "\r\n";
    text += std::string("DispSubject=") + (settings.dispSubject ? "1" : "0") + "\r\n";
    text += "FromLength=" + std::to_string(settings.fromLength) + "\r\n";
    text += "SubjectLength=" + std::to_string(settings.subjectLength) + "\r\n";
    text += std::string("Log=") + (settings.log ? "1" : "0") + "\r\n";
    text += "CheckConnect=0\r\n[MoveMail]\r\n";
    for (const auto &rule : settings.rules)
        text += rule.first + "=" + rule.second + "\r\n";
    std::string path = dir + "\\sortella.ini";
    ASSERT_TRUE(WriteTextFile(path, text));
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    ASSERT_EQ(HostStartPlugin(), 1u);
}

// The filing log beside the settings file, and the file it becomes when
// full.
std::string LogPath()
{
    return ExeDirectory() + "Plugins\\sortella.log";
}

std::string RotatedLogPath()
{
    return LogPath() + ".1";
}

const std::vector<std::string> kLogColumns = {"日時",   "種類",    "アカウント", "メール", "移動先",
                                              "バケツ", "POPFile", "差出人",     "件名"};

// ---- Observation -------------------------------------------------------

std::vector<HostEvent> Moves()
{
    return HostEventsOfKind("move");
}

std::vector<HostEvent> Boxes()
{
    return HostEventsOfKind("box");
}

// The kinds "move", "beep" and "box" in the order they happened.
std::vector<std::string> UserVisibleEvents()
{
    std::vector<std::string> kinds;
    for (const HostEvent &event : HostEvents()) {
        if (event.kind == "move" || event.kind == "beep" || event.kind == "box")
            kinds.push_back(event.kind);
    }
    return kinds;
}


std::string FolderLine(const char *folder, int count)
{
    return std::string("[") + folder + "]へ " + std::to_string(count) + " 件移動しました\n";
}

// ---- Message loop ----------------------------------------------------------

// Dispatches everything queued; returns the exit code of a WM_QUIT taken
// out of the queue, or -1 when there was none.
int PumpPending()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return static_cast<int>(message.wParam);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return -1;
}

// Steps run one per timer tick (about 20 ms apart) whenever messages are
// dispatched, the filing wait included.
std::vector<std::function<void()>> tickSteps;
size_t nextTickStep;
UINT_PTR tickTimer;

void StopTicks()
{
    if (tickTimer)
        KillTimer(NULL, tickTimer);
    tickTimer = 0;
}

void CALLBACK RunTickStep(HWND, UINT, UINT_PTR, DWORD)
{
    if (nextTickStep >= tickSteps.size())
        return;
    // Taken before it runs: a step may start another list.
    std::function<void()> step = tickSteps[nextTickStep++];
    if (nextTickStep == tickSteps.size())
        StopTicks();
    step();
}

void RunOnTicks(std::vector<std::function<void()>> steps)
{
    StopTicks();
    tickSteps = std::move(steps);
    nextTickStep = 0;
    tickTimer = SetTimer(NULL, 0, 20, RunTickStep);
}

// Should a wait last for ever, this ends it after 30 s by making the host
// idle with its full menu bar back, and notes that it had to. Only a hang
// takes that long: under emulation, with another Wine program beside it, a
// sound run of these tests has taken over 5 s.
bool rescued;
HWND rescueWindow;
HMENU rescueMenu;
UINT_PTR rescueTimer;

void CALLBACK Rescue(HWND, UINT, UINT_PTR, DWORD)
{
    rescued = true;
    HostSetBusy(false);
    SetMenu(rescueWindow, rescueMenu);
    KillTimer(NULL, rescueTimer);
}

void ArmRescue(HWND window)
{
    rescued = false;
    rescueWindow = window;
    rescueMenu = GetMenu(window);
    rescueTimer = SetTimer(NULL, 0, 30000, Rescue);
}

void DisarmRescue()
{
    KillTimer(NULL, rescueTimer);
}

// A menu bar of `count` menus; the fourth holds the busy command when asked.
HMENU MakeMenuBar(int count, bool busyCommand)
{
    HMENU bar = CreateMenu();
    for (int i = 0; i < count; ++i) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, 2000 + i, "項目");
        if (i == 3 && busyCommand)
            AppendMenuA(popup, MF_STRING, HOST_BUSY_COMMAND, "受信中止");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "メニュー");
    }
    return bar;
}

// ---- Fixture --------------------------------------------------------------

const char *const kFolders[] = {"仕事", "仕事\\重要", "ニュース", "その他"};

class FilingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        // A mailbox of this run's own (Wine reuses process ids).
        std::string mailbox = std::string(temp) + "sortella_filing_" + std::to_string(GetCurrentProcessId()) + "_" +
                              std::to_string(GetTickCount());
        ASSERT_EQ(HostSetMailbox(mailbox.c_str()), 1);
        const char *port = getenv("SORTELLA_POPFILE_POP3");
        ASSERT_EQ(HostAddAccount("acc", "Work", "127.0.0.1", port ? port : "1", "1"), 1);
        ASSERT_EQ(HostAddAccount("notitle", nullptr, "127.0.0.1", "1", "1"), 1);
        ASSERT_EQ(HostAddAccount("pop", "POP", "127.0.0.1", port ? port : "1", "1"), 1);
        ASSERT_EQ(HostAddFolder("pop", "仕事"), 1);
        // Everything the host saw, for a run that went wrong.
        HostTranscriptTo((ExeDirectory() + "filing_transcript.txt").c_str());
        for (const char *folder : kFolders)
            ASSERT_EQ(HostAddFolder("acc", folder), 1);
        ASSERT_EQ(HostLoadPlugin((ExeDirectory() + "sortella.dll").c_str()), 1);
    }

    static void TearDownTestSuite() { HostShutdown(); }

    void SetUp() override
    {
        afterMove = nullptr;
        HostSetBusy(false);
        // Each test starts without a log: one that grew to its cap over
        // earlier runs would begin anew in the middle of a test.
        DeleteFileA(LogPath().c_str());
        DeleteFileA(RotatedLogPath().c_str());
        Configure(Settings());
        window = HostCreateFolderWindow("acc");
        ASSERT_NE(window, nullptr);
        PumpPending();
        HostClearEvents();
        // The folder window's list would be read anew, message by message,
        // at every write and move; the inbox grows over the suite, and
        // under emulation that reading alone costs minutes. No test reads
        // the list; TearDown lets go, which refreshes it once.
        HostHoldFolderLists(true);
    }

    void TearDown() override
    {
        StopTicks();
        afterMove = nullptr;
        HostSetBusy(false);
        HostHoldFolderLists(false);
        EXPECT_FALSE(HostCallEndRetrieve(window)) << "records left in the queue";
        HostDestroyWindow(window);
        PumpPending();
    }

    std::string Message(const std::string &headers, const char *account = "acc")
    {
        std::string path = HostWriteMessage(account, "郵便受け", nullptr, (headers + "\n\nbody\n").c_str());
        EXPECT_FALSE(path.empty());
        return path;
    }

    void Filter(const std::vector<std::string> &paths)
    {
        for (const std::string &path : paths)
            EXPECT_EQ(HostCallRecFilter(path.c_str()), 0u) << path;
    }

    // APCFolderEndRetrieve, then the host's loop runs the posted command.
    // Returns the exit code of a quit the loop saw, or -1.
    int EndRetrieveAndRun()
    {
        EXPECT_TRUE(HostCallEndRetrieve(window));
        return PumpPending();
    }

    // Files one message alone; returns the text of the box it produced, ""
    // when there was none.
    std::string FileOne(const std::string &headers)
    {
        size_t before = Boxes().size();
        Filter({Message(headers)});
        EndRetrieveAndRun();
        std::vector<HostEvent> boxes = Boxes();
        return boxes.size() > before ? boxes.back().raw : std::string();
    }

    HWND window = NULL;
};

// ---- The receive filter's queue ------------------------------------------

TEST_F(FilingTest, QueuesMessagesWithARuleInArrivalOrder)
{
    std::string a = Message("X-Text-Classification: spam\nSubject: A");
    std::string ham = Message("X-Text-Classification: ham\nSubject: H");
    std::string b = Message("From: x\nX-Text-Classification: spam\nSubject: B");
    std::string none = Message("Subject: no verdict");
    std::string lower = Message("x-text-classification: spam\nSubject: L");
    std::string blank = Message("X-Text-Classification: spam \nSubject: T");
    std::string capital = Message("X-Text-Classification: Spam\nSubject: S");
    std::string inBody = Message("Subject: X\n\nX-Text-Classification: spam");
    std::string c = Message("X-Text-Classification:spam\nSubject: C");
    std::string longLine = Message("X-Text-Classification: " + std::string(300, 's'));
    std::string missing = HostMailbox() + std::string("acc\\郵便受け\\nosuch.PWK");
    std::string outside = "C:\\elsewhere\\acc\\郵便受け\\00000001.PWK";

    EXPECT_FALSE(HostCallEndRetrieve(window)); // nothing queued yet
    size_t filedBefore = HostListMessages("acc", "ごみ箱").size();
    Filter({a, ham, b, none, lower, blank, capital, inBody, c, longLine, missing, outside});
    EndRetrieveAndRun();

    std::vector<HostEvent> moves = Moves();
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].raw, HostEntryOfPath(a));
    EXPECT_EQ(moves[1].raw, HostEntryOfPath(b));
    EXPECT_EQ(moves[2].raw, HostEntryOfPath(c));
    EXPECT_EQ(moves[0].raw.substr(0, 13), "acc\\郵便受け\\");
    for (const HostEvent &move : moves) {
        EXPECT_EQ(move.extra, "Work\\ごみ箱");
        EXPECT_EQ(move.result, 1u) << move.text;
    }
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("ごみ箱", 3) + "  A\n  x : B\n  C\n"));
    EXPECT_EQ(HostListMessages("acc", "ごみ箱").size(), filedBefore + 3);
}

TEST_F(FilingTest, EndRetrievePostsTheCommandAndTheMovesWaitForIt)
{
    Filter({Message("X-Text-Classification: spam")});
    ASSERT_TRUE(HostCallEndRetrieve(window));
    EXPECT_TRUE(Moves().empty());
    PumpPending();
    ASSERT_EQ(HostEventsOfKind("command").size(), 1u);
    EXPECT_EQ(HostEventsOfKind("command")[0].window, window);
    EXPECT_EQ(Moves().size(), 1u);
}

TEST_F(FilingTest, MailboxPrefixIsMatchedWithoutRegardToLetterCase)
{
    std::string path = Message("X-Text-Classification: spam");
    std::string upper = path;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(strlen(HostMailbox())));
    Filter({upper});
    EndRetrieveAndRun();
    ASSERT_EQ(Moves().size(), 1u);
    EXPECT_EQ(Moves()[0].raw, HostEntryOfPath(path));
}

// The destination then has no account title; the host decides whether it
// takes that, and only a move it made is reported.
TEST_F(FilingTest, AccountWithoutTitleIsTriedAsItIs)
{
    Filter({Message("X-Text-Classification: spam\nSubject: x", "notitle")});
    EndRetrieveAndRun();
    ASSERT_EQ(Moves().size(), 1u);
    EXPECT_EQ(Moves()[0].extra, "\\ごみ箱");
    EXPECT_EQ(Boxes().size(), Moves()[0].result ? 1u : 0u);
}

// The title is read again once the account's file changed.
TEST_F(FilingTest, RenamedAccountGivesTheNewTitle)
{
    ASSERT_EQ(HostAddAccount("renamed", "Old", "127.0.0.1", "1", "1"), 1);
    Filter({Message("X-Text-Classification: spam", "renamed")});
    ASSERT_EQ(HostSetAccountValue("renamed", "Title", "New name"), 1);
    Filter({Message("X-Text-Classification: spam", "renamed")});
    EndRetrieveAndRun();
    ASSERT_EQ(Moves().size(), 2u);
    EXPECT_EQ(Moves()[0].extra, "Old\\ごみ箱");
    EXPECT_EQ(Moves()[1].extra, "New name\\ごみ箱");
}

// Account folders named with characters whose second byte is 0x5C (表, ソ)
// are whole names, not cut at that byte.
TEST_F(FilingTest, AccountFoldersNamedInJapaneseAreFiledIntoTheirOwnFolders)
{
    for (const char *account : {"表計算", "ソフト"}) {
        SCOPED_TRACE(account);
        std::string title = std::string(account) + "の仕事";
        ASSERT_EQ(HostAddAccount(account, title.c_str(), "127.0.0.1", "1", "1"), 1);
        size_t before = HostEvents().size();
        std::string path = Message("X-Text-Classification: spam", account);
        Filter({path});
        EndRetrieveAndRun();
        std::vector<HostEvent> moves = HostEventsOfKind("move", before);
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(moves[0].raw, HostEntryOfPath(path));
        EXPECT_EQ(moves[0].extra, title + "\\ごみ箱");
        EXPECT_EQ(moves[0].result, 1u);
        EXPECT_EQ(HostListMessages(account, "ごみ箱").size(), 1u);
    }
}

// ---- The summary -------------------------------------------------------

struct SummaryRow {
    const char *name;
    std::string headers; // besides the verdict
    int fromLength;
    int subjectLength;
    std::string line; // the detail line expected under the folder line
};

// The detail lines through the whole path: header reading, unfolding, the
// conversion of this platform, the summary box. The shapes of a line and
// the cuts are rules of the portable core (native tests).
TEST_F(FilingTest, EveryShapeOfDetailLine)
{
    const SummaryRow rows[] = {
        {"both", "From: Taro Yamada <taro@example.jp>\nSubject: Hello", 0, 0, "  Taro Yamada : Hello\n"},
        {"neither", "", 0, 0, ""},
        {"sender undecoded", "From: =?ISO-2022-JP?B?GyRCST08KBsoQg==?= <t@x>", 0, 0,
         "  =?ISO-2022-JP?B?GyRCST08KBsoQg==?=\n"},
        {"sender decoded", "From: =?ISO-2022-JP?B?GyRCST08KBsoQg==?= <t@x>", 20, 0, "  表示\n"},
        {"subject ISO-2022-JP", "Subject: =?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?=", 0, 0,
         "  会議のお知らせ\n"},
        {"subject folded words", "Subject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\n =?ISO-2022-JP?B?GyRCOGwbKEI=?=", 0, 0,
         "  日本語\n"},
        {"subject UTF-8", "Subject: Re: =?UTF-8?B?5pel5pys6Kqe?=", 0, 0, "  Re: 日本語\n"},
        {"subject UTF-8 cut", "Subject: =?utf-8?B?5pel5pys6Kqe?=", 0, 5, "  日本\n"},
        {"subject UTF-8 outside 932", "Subject: =?UTF-8?B?YeC4gWI=?=", 0, 0, "  a?b\n"},
        {"subject EUC-JP", "Subject: =?EUC-JP?B?xvzL3Ljs?=", 0, 0, "  日本語\n"},
        {"subject mixed, each word by its charset", "Subject: =?UTF-8?B?5pel?= =?Shift_JIS?B?g3w=?=", 0, 0,
         "  日 ポ\n"},
        {"subject raw Shift_JIS beside UTF-8", "Subject: Re: 日本 =?UTF-8?B?5pel?=", 0, 0, "  Re: 日本 日\n"},
        // Never more than 200 bytes, whatever the settings (here: no cut).
        {"long From line", "From: " + std::string(300, 'f') + " <a@b>", 0, 0, "  " + std::string(200, 'f') + "\n"},
        {"long Subject line", "Subject: " + std::string(300, 's'), 0, 1000, "  " + std::string(200, 's') + "\n"},
    };
    for (const SummaryRow &row : rows) {
        Settings settings;
        settings.fromLength = row.fromLength;
        settings.subjectLength = row.subjectLength;
        Configure(settings);
        std::string box = FileOne("X-Text-Classification: spam\n" + row.headers);
        EXPECT_EQ(Printable(box), Printable(FolderLine("ごみ箱", 1) + row.line)) << row.name;
    }
}

TEST_F(FilingTest, SummaryListsOnlyWhatTheSwitchesAsk)
{
    const struct {
        bool dispFrom;
        bool dispSubject;
        std::string line;
    } rows[] = {
        {true, true, "  T : S\n"},
        {true, false, "  T\n"},
        {false, true, "  S\n"},
        {false, false, ""},
    };
    for (const auto &row : rows) {
        Settings settings;
        settings.dispFrom = row.dispFrom;
        settings.dispSubject = row.dispSubject;
        Configure(settings);
        std::string box = FileOne("X-Text-Classification: spam\nFrom: T <t@x>\nSubject: S");
        EXPECT_EQ(Printable(box), Printable(FolderLine("ごみ箱", 1) + row.line))
            << "DispFrom " << row.dispFrom << " DispSubject " << row.dispSubject;
    }

    // With DispDialog off when the message is filtered, neither text is
    // kept, though the box is on again when the moves are reported.
    Settings quiet;
    quiet.dispDialog = false;
    Configure(quiet);
    Filter({Message("X-Text-Classification: spam\nFrom: T <t@x>\nSubject: S")});
    Configure(Settings());
    size_t before = Boxes().size();
    EndRetrieveAndRun();
    ASSERT_EQ(Boxes().size(), before + 1);
    EXPECT_EQ(Printable(Boxes().back().raw), Printable(FolderLine("ごみ箱", 1)));
}

TEST_F(FilingTest, OneParagraphPerFolderInRuleOrder)
{
    Settings settings;
    settings.rules = {{"spam", "ごみ箱"}, {"work", "仕事\\重要"}, {"news", "ニュース"}};
    Configure(settings);
    Filter({Message("X-Text-Classification: work\nSubject: W1"), Message("X-Text-Classification: spam\nSubject: S1"),
            Message("X-Text-Classification: work\nSubject: W2"), Message("X-Text-Classification: spam\nSubject: S2")});
    EndRetrieveAndRun();
    ASSERT_EQ(Moves().size(), 4u);
    EXPECT_EQ(Moves()[0].extra, "Work\\仕事\\重要");
    EXPECT_EQ(HostListMessages("acc", "仕事\\重要").size(), 2u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw),
              Printable(FolderLine("ごみ箱", 2) + "  S1\n  S2\n" + FolderLine("仕事\\重要", 2) + "  W1\n  W2\n"));

    // Moves into the last rule's folder only: its paragraph alone.
    Filter({Message("X-Text-Classification: news")});
    EndRetrieveAndRun();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Printable(Boxes()[1].raw), Printable(FolderLine("ニュース", 1)));
}

// A retrieval of 100 filed messages would make a box taller than the
// screen (of 768 pixels under Xvfb): each folder lists as many as fit, the
// same number for each, and ends with how many more went there; the count
// lines stay.
TEST_F(FilingTest, BoxTooTallForTheScreenSaysHowManyMoreEachFolderHas)
{
    Settings settings;
    settings.rules = {{"spam", "ごみ箱"}, {"work", "仕事\\重要"}};
    Configure(settings);
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i)
        paths.push_back(Message(std::string("X-Text-Classification: ") + (i < 60 ? "spam" : "work") +
                                "\nSubject: m" + std::to_string(i)));
    Filter(paths);
    EndRetrieveAndRun();
    ASSERT_EQ(Moves().size(), 100u);
    ASSERT_EQ(Boxes().size(), 1u);
    const std::string box = Boxes()[0].raw;
    std::string spamHead = FolderLine("ごみ箱", 60);
    size_t work = box.find(FolderLine("仕事\\重要", 40));
    ASSERT_EQ(box.compare(0, spamHead.size(), spamHead), 0) << Printable(box.substr(0, 200));
    ASSERT_NE(work, std::string::npos) << Printable(box);
    // The listed lines of each folder: "  mN" for its first messages.
    auto listed = [](const std::string &paragraph, int first) {
        int count = 0;
        while (paragraph.find("  m" + std::to_string(first + count) + "\n") != std::string::npos)
            ++count;
        return count;
    };
    std::string spam = box.substr(spamHead.size(), work - spamHead.size());
    std::string rest = box.substr(work);
    int shown = listed(spam, 0);
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 40);
    EXPECT_EQ(listed(rest, 60), shown);
    auto endsWith = [](const std::string &text, const std::string &end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    EXPECT_TRUE(endsWith(spam, "  ほか " + std::to_string(60 - shown) + " 件\n")) << Printable(spam);
    EXPECT_TRUE(endsWith(rest, "  ほか " + std::to_string(40 - shown) + " 件\n")) << Printable(rest);
}

TEST_F(FilingTest, BeepAndBoxAsTheSwitchesSay)
{
    const struct {
        bool beep;
        bool dispDialog;
        std::vector<std::string> events;
    } rows[] = {
        {true, false, {"move", "beep"}},
        {false, true, {"move", "box"}},
        {true, true, {"move", "beep", "box"}},
        {false, false, {"move"}},
    };
    for (const auto &row : rows) {
        Settings settings;
        settings.beep = row.beep;
        settings.dispDialog = row.dispDialog;
        Configure(settings);
        HostClearEvents();
        FileOne("X-Text-Classification: spam\nSubject: s");
        EXPECT_EQ(UserVisibleEvents(), row.events) << "Beep " << row.beep << " DispDialog " << row.dispDialog;
        for (const HostEvent &beep : HostEventsOfKind("beep"))
            EXPECT_EQ(beep.flags, static_cast<DWORD>(MB_ICONEXCLAMATION));
        for (const HostEvent &box : Boxes()) {
            EXPECT_EQ(box.extra, "Sortellaメール振り分け");
            EXPECT_EQ(box.flags, static_cast<DWORD>(MB_OK | MB_ICONINFORMATION));
            EXPECT_EQ(box.window, window);
            EXPECT_EQ(Printable(box.raw), Printable(FolderLine("ごみ箱", 1) + "  s\n"));
        }
    }
}

TEST_F(FilingTest, NoBeepOrBoxWhenEveryMoveFails)
{
    Settings settings;
    settings.beep = true;
    settings.rules = {{"spam", "存在しない"}, {"work", "ごみ箱"}};
    Configure(settings);
    Filter({Message("X-Text-Classification: spam\nSubject: a"), Message("X-Text-Classification: spam\nSubject: b")});
    EndRetrieveAndRun();
    EXPECT_EQ(UserVisibleEvents(), (std::vector<std::string>{"move", "move"}));
    for (const HostEvent &move : Moves())
        EXPECT_EQ(move.result, 0u);

    // The refused moves are neither retried nor counted later.
    std::string box = FileOne("X-Text-Classification: work\nSubject: c");
    EXPECT_EQ(Moves().size(), 3u);
    EXPECT_EQ(Printable(box), Printable(FolderLine("ごみ箱", 1) + "  c\n"));
}

TEST_F(FilingTest, RulesReloadedBetweenFilterAndMove)
{
    Settings two;
    two.rules = {{"spam", "ごみ箱"}, {"work", "仕事"}};
    Configure(two);
    Filter({Message("X-Text-Classification: work\nSubject: w")});
    Configure(Settings()); // only "spam": the queued index 1 is outside the table
    EndRetrieveAndRun();
    ASSERT_EQ(Moves().size(), 1u);
    EXPECT_EQ(Moves()[0].extra, "Work\\仕事"); // moved as queued
    EXPECT_EQ(Moves()[0].result, 1u);
    EXPECT_TRUE(Boxes().empty()); // not reported

    // An index still inside the new table counts on the rule now there.
    Configure(two);
    Filter({Message("X-Text-Classification: work\nSubject: w")});
    Settings swapped;
    swapped.rules = {{"news", "ニュース"}, {"other", "その他"}};
    Configure(swapped);
    EndRetrieveAndRun();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("その他", 1) + "  w\n"));
}

// A reload of the rules (from the setup dialog, during the wait) starts the
// summary's counts afresh: only the moves after it are reported.
TEST_F(FilingTest, ReloadDuringTheMovesStartsTheCountsAfresh)
{
    Filter({Message("X-Text-Classification: spam\nSubject: one"), Message("X-Text-Classification: spam\nSubject: two")});
    // Right after the second move, before it is counted: the first move
    // was counted on the rule list that the reload replaces.
    int moved = 0;
    afterMove = [&] {
        if (++moved == 2)
            Configure(Settings());
    };
    EndRetrieveAndRun();
    afterMove = nullptr;
    ASSERT_EQ(Moves().size(), 2u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("ごみ箱", 1) + "  two\n"));
}

// A message corrected after the receive filter queued it, before the
// filing command or during its wait, is left where the correction filed
// it: relabelled in place (a bucket without a rule stays in the inbox) or
// moved away. The summary counts what the command moved.
TEST_F(FilingTest, AMessageCorrectedAfterItWasQueuedIsNotMovedAgain)
{
    std::string one = Message("X-Text-Classification: spam\nSubject: one");
    std::string two = Message("X-Text-Classification: spam\nSubject: two");
    std::string three = Message("X-Text-Classification: spam\nSubject: three");
    Filter({one, two, three});
    // Corrected to inbox before the command runs, as the correction leaves
    // it: relabelled where it lies.
    ASSERT_TRUE(WriteTextFile(one, "X-Text-Classification: inbox\r\nSubject: one\r\n\r\nbody\r\n"));
    // Corrected to work during the wait: refiled into 仕事.
    afterMove = [&] {
        if (!HostReadFile(three).empty())
            APAMoveMail(HostEntryOfPath(three).c_str(), "Work\\仕事");
    };
    EndRetrieveAndRun();
    afterMove = nullptr;
    std::vector<HostEvent> filed;
    for (const HostEvent &move : Moves())
        if (move.extra == "Work\\ごみ箱")
            filed.push_back(move);
    ASSERT_EQ(filed.size(), 1u);
    EXPECT_EQ(filed[0].raw, HostEntryOfPath(two));
    EXPECT_EQ(HostReadFile(one), "X-Text-Classification: inbox\r\nSubject: one\r\n\r\nbody\r\n");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("ごみ箱", 1) + "  two\n"));
}

// ---- The wait for the idle host -----------------------------------------

TEST_F(FilingTest, MovesWaitWhileTheBusyCommandIsGrayed)
{
    Filter({Message("X-Text-Classification: spam\nSubject: a"), Message("X-Text-Classification: spam\nSubject: b")});
    HostSetBusyParts(false, true);
    size_t movesBeforeFirst = 99;
    size_t movesBeforeSecond = 99;
    // After the first move the host grays the command again: the wait is
    // made before every move.
    afterMove = [&] {
        if (Moves().size() != 1)
            return;
        HostSetBusyParts(false, true);
        RunOnTicks({[&] { movesBeforeSecond = Moves().size(); }, [] { HostSetBusyParts(false, false); }});
    };
    RunOnTicks({[&] { movesBeforeFirst = Moves().size(); }, [] { HostSetBusyParts(false, false); }});
    ArmRescue(window);
    EndRetrieveAndRun();
    DisarmRescue();
    EXPECT_FALSE(rescued);
    EXPECT_EQ(movesBeforeFirst, 0u);
    EXPECT_EQ(movesBeforeSecond, 1u);
    EXPECT_EQ(Moves().size(), 2u);
}

TEST_F(FilingTest, MovesWaitWhileTheHostSaysBusy)
{
    Filter({Message("X-Text-Classification: spam")});
    HostSetBusyParts(true, false);
    size_t movesSeen = 99;
    RunOnTicks({[&] { movesSeen = Moves().size(); }, [] { HostSetBusyParts(false, false); }});
    ArmRescue(window);
    EndRetrieveAndRun();
    DisarmRescue();
    EXPECT_FALSE(rescued);
    EXPECT_EQ(movesSeen, 0u);
    EXPECT_EQ(Moves().size(), 1u);
}

// A window whose menus lack the busy command does not hold the moves for
// ever: the host's busy report alone decides.
TEST_F(FilingTest, MissingBusyCommandCountsAsIdle)
{
    const struct {
        const char *shape;
        HMENU bar;
    } rows[] = {
        {"no menu bar", NULL},
        {"three menus", MakeMenuBar(3, true)},
        {"no busy command", MakeMenuBar(4, false)},
    };
    HMENU full = GetMenu(window);
    for (const auto &row : rows) {
        SetMenu(window, row.bar);
        Filter({Message("X-Text-Classification: spam")});
        HostSetBusyParts(true, true);
        size_t before = Moves().size();
        size_t movesSeen = 99;
        RunOnTicks({[&] { movesSeen = Moves().size() - before; }, [] { HostSetBusyParts(false, true); }});
        ArmRescue(window);
        rescueMenu = full;
        EndRetrieveAndRun();
        DisarmRescue();
        EXPECT_FALSE(rescued) << row.shape;
        EXPECT_EQ(movesSeen, 0u) << row.shape;
        EXPECT_EQ(Moves().size(), before + 1) << row.shape;
        SetMenu(window, full);
        HostSetBusy(false);
        if (row.bar)
            DestroyMenu(row.bar);
    }
}

// Inside the wait the host may filter more mail and post the command again:
// the nested run moves only the new record and reports the moves made so far
// by both runs; the outer run then reports the rest.
TEST_F(FilingTest, FilterAndNestedCommandFromInsideTheWait)
{
    std::string a = Message("X-Text-Classification: spam\nSubject: A");
    std::string b = Message("X-Text-Classification: spam\nSubject: B");
    std::string d = Message("X-Text-Classification: spam\nSubject: D");
    Filter({a, b});
    afterMove = [&] {
        if (Moves().size() != 1)
            return;
        HostSetBusyParts(true, false); // busy again after the first move
        RunOnTicks({[&] {
                        EXPECT_EQ(HostCallRecFilter(d.c_str()), 0u);
                        EXPECT_TRUE(HostCallEndRetrieve(window));
                    },
                    [] { HostSetBusyParts(false, false); }});
    };
    ArmRescue(window);
    EndRetrieveAndRun();
    DisarmRescue();
    EXPECT_FALSE(rescued);
    std::vector<HostEvent> moves = Moves();
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].raw, HostEntryOfPath(a));
    EXPECT_EQ(moves[1].raw, HostEntryOfPath(d));
    EXPECT_EQ(moves[2].raw, HostEntryOfPath(b));
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("ごみ箱", 2) + "  A\n  D\n"));
    EXPECT_EQ(Printable(Boxes()[1].raw), Printable(FolderLine("ごみ箱", 1) + "  B\n"));
}

// A quit request taken out by the wait goes back to the host's loop; the
// records not yet moved stay where the host stored them, unreported.
TEST_F(FilingTest, QuitDuringTheWaitEndsTheRun)
{
    std::string a = Message("X-Text-Classification: spam\nSubject: A");
    std::string b = Message("X-Text-Classification: spam\nSubject: B");
    Filter({a, b, Message("X-Text-Classification: spam\nSubject: C")});
    afterMove = [] {
        HostSetBusyParts(true, false);
        PostQuitMessage(7);
    };
    ArmRescue(window);
    EXPECT_EQ(EndRetrieveAndRun(), 7);
    DisarmRescue();
    afterMove = nullptr;
    EXPECT_FALSE(rescued);
    ASSERT_EQ(Moves().size(), 1u);
    EXPECT_EQ(Moves()[0].raw, HostEntryOfPath(a));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("ごみ箱", 1) + "  A\n"));
    EXPECT_FALSE(HostReadFile(b).empty()); // still in the inbox

    // Quit before the first move: nothing moved, nothing shown.
    HostClearEvents();
    Filter({Message("X-Text-Classification: spam")});
    HostSetBusyParts(true, false);
    EXPECT_TRUE(HostCallEndRetrieve(window));
    PostQuitMessage(3);
    ArmRescue(window);
    EXPECT_EQ(PumpPending(), 3);
    DisarmRescue();
    EXPECT_EQ(UserVisibleEvents(), std::vector<std::string>());
    HostSetBusy(false);

    // The released records do not come back.
    std::string box = FileOne("X-Text-Classification: spam\nSubject: E");
    EXPECT_EQ(Moves().size(), 1u);
    EXPECT_EQ(Printable(box), Printable(FolderLine("ごみ箱", 1) + "  E\n"));
}

// ---- A whole retrieval through the POPFile stand-in ------------------------

struct SpoolMessage {
    const char *from;
    const char *subject;
    const char *body; // the stand-in's keywords: "viagra" spam, "invoice" work
};

TEST_F(FilingTest, RetrievalThroughPopFileFilesEachMessageByItsRule)
{
    const char *spool = getenv("SORTELLA_POPFILE_SPOOL");
    if (!spool || !getenv("SORTELLA_POPFILE_POP3"))
        GTEST_SKIP() << "needs the POPFile stand-in (tests/win/with_popfile_standin.sh)";
    const SpoolMessage messages[] = {
        {"Spammer <s1@spam.example>", "Cheap pills", "viagra now"},
        {"\"Yamada Taro\" <taro@example.jp>", "=?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?=", "hello"},
        {"Billing <bill@example.com>", "Invoice 42", "invoice attached"},
        {"=?UTF-8?B?5bGx55Sw?= <yamada@example.jp>", "=?UTF-8?B?6KuL5rGC5pu4?=", "invoice"},
        {"s2@spam.example", "=?EUC-JP?B?xvzL3Ljs?=", "viagra"},
        {"Friend <f@example.org>", "Lunch?", "see you"},
        {"News <n@example.org>", "Weekly news", "nothing"},
        {"<s3@spam.example>", "A subject well beyond the twenty-six byte limit", "viagra viagra"},
        {"Office (Accounts)", "Invoice 43", "invoice"},
        {"Friend <f@example.org>", "Re: Lunch?", "ok"},
        {"Spammer <s4@spam.example>", "Win", "viagra"},
        {"List <l@example.org>", "Digest", "plain"},
    };
    int number = 0;
    for (const SpoolMessage &message : messages) {
        char name[32];
        snprintf(name, sizeof name, "\\%02d.eml", ++number);
        std::string text = std::string("From: ") + message.from + "\r\nTo: user@example.jp\r\nSubject: " +
                           message.subject + "\r\n\r\n" + message.body + "\r\n";
        ASSERT_TRUE(WriteTextFile(spool + std::string(name), text));
    }
    Settings settings;
    settings.beep = true;
    settings.rules = {{"spam", "ごみ箱"}, {"work", "仕事"}};
    Configure(settings);
    HWND popWindow = HostCreateFolderWindow("pop");
    ASSERT_NE(popWindow, nullptr);
    HostClearEvents();
    // The log's lines go out after the last move, none between moves.
    std::vector<size_t> logSizeAtMoves;
    afterMove = [&] { logSizeAtMoves.push_back(HostReadFile(LogPath()).size()); };

    EXPECT_EQ(HostRetrieve(popWindow, 60000), 12);
    EXPECT_TRUE(HostPumpUntil([] { return !HostEventsOfKind("box").empty(); }, 20000));
    afterMove = nullptr;

    EXPECT_EQ(HostListMessages("pop", "ごみ箱").size(), 4u);
    EXPECT_EQ(HostListMessages("pop", "仕事").size(), 3u);
    EXPECT_EQ(HostListMessages("pop", "郵便受け").size(), 5u);
    EXPECT_EQ(HostEventsOfKind("filter").size(), 12u);
    EXPECT_EQ(Moves().size(), 7u);
    EXPECT_EQ(UserVisibleEvents().back(), "box");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Printable(Boxes()[0].raw), Printable(FolderLine("ごみ箱", 4) +
                                       "  Spammer : Cheap pills\n"
                                       "  s2@spam.example : 日本語\n"
                                       "  s3@spam.example : A subject well beyond the \n"
                                       "  Spammer : Win\n" +
                                       FolderLine("仕事", 3) +
                                       "  Billing : Invoice 42\n"
                                       "  =?UTF-8?B?5bGx55Sw?= : 請求書\n"
                                       "  Accounts : Invoice 43\n"));
    EXPECT_EQ(Boxes()[0].window, popWindow);
    HostDestroyWindow(popWindow);

    // The log: its header and a line per move, in the order of the moves,
    // senders and subjects decoded although the summary shows the sender
    // as written (FromLength 0) and cuts the subject at 26 bytes.
    EXPECT_EQ(logSizeAtMoves, std::vector<size_t>(7, 0));
    const struct {
        const char *folder, *bucket, *sender, *subject;
    } lines[] = {
        {"ごみ箱", "spam", "Spammer", "Cheap pills"},
        {"仕事", "work", "Billing", "Invoice 42"},
        {"仕事", "work", "山田", "請求書"},
        {"ごみ箱", "spam", "s2@spam.example", "日本語"},
        {"ごみ箱", "spam", "s3@spam.example", "A subject well beyond the twenty-six byte limit"},
        {"仕事", "work", "Accounts", "Invoice 43"},
        {"ごみ箱", "spam", "Spammer", "Win"},
    };
    std::vector<std::vector<std::string>> rows = LogRows(HostReadFile(LogPath()));
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], kLogColumns);
    std::vector<HostEvent> moves = Moves();
    for (size_t i = 0; i < 7 && i < moves.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        const std::vector<std::string> &row = rows[i + 1];
        ASSERT_EQ(row.size(), 9u);
        EXPECT_TRUE(IsLogDate(row[0])) << row[0];
        EXPECT_EQ(row[1], "振り分け");
        EXPECT_EQ(row[2], "POP");
        EXPECT_EQ(row[3], moves[i].raw);
        EXPECT_EQ(row[4], std::string("POP\\") + lines[i].folder);
        EXPECT_EQ(row[4], moves[i].extra);
        EXPECT_EQ(row[5], lines[i].bucket);
        EXPECT_EQ(row[6], "");
        EXPECT_EQ(row[7], lines[i].sender);
        EXPECT_EQ(row[8], lines[i].subject);
    }
}

// A log that would pass 1 MiB with the next line becomes sortella.log.1
// whole, replacing an older one, and a new log begins with the header.
TEST_F(FilingTest, AFullLogBecomesDotOneAndANewLogBegins)
{
    std::string header;
    for (const std::string &column : kLogColumns)
        header += (header.empty() ? "" : "\t") + column;
    header += "\r\n";
    std::string full = header + std::string(1024 * 1024 - 10 - header.size(), 'x') + "\r\n";
    ASSERT_TRUE(WriteTextFile(RotatedLogPath(), "an older log\r\n"));
    ASSERT_TRUE(WriteTextFile(LogPath(), full));
    FileOne("X-Text-Classification: spam\nSubject: over the cap");
    EXPECT_TRUE(HostReadFile(RotatedLogPath()) == full) << "sortella.log.1 is not the full log";
    std::vector<std::vector<std::string>> rows = LogRows(HostReadFile(LogPath()));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], kLogColumns);
    ASSERT_EQ(rows[1].size(), 9u);
    EXPECT_EQ(rows[1][8], "over the cap");
}

struct BlockedLogRow {
    const char *label;
    bool log; // the Log setting
    // Stands in the log's way; returns what ends that.
    std::function<std::function<void()>()> block;
};

// A log that cannot be written (held open as a spreadsheet holds it,
// read-only) leaves filing and its box as they are and tells nothing; its
// lines go out with the next write, oldest first. With Log=0 nothing is
// written at all.
TEST_F(FilingTest, ALogThatCannotBeWrittenChangesNothingAndItsLinesGoOutLater)
{
    const BlockedLogRow rows[] = {
        {"held open without write sharing", true,
         [] {
             HANDLE held = CreateFileA(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, NULL);
             EXPECT_NE(held, INVALID_HANDLE_VALUE);
             return std::function<void()>([held] { CloseHandle(held); });
         }},
        {"read-only", true,
         [] {
             EXPECT_TRUE(SetFileAttributesA(LogPath().c_str(), FILE_ATTRIBUTE_READONLY));
             return std::function<void()>([] { SetFileAttributesA(LogPath().c_str(), FILE_ATTRIBUTE_NORMAL); });
         }},
        {"Log=0", false, [] { return std::function<void()>([] {}); }},
    };
    for (const BlockedLogRow &row : rows) {
        SCOPED_TRACE(row.label);
        Settings settings;
        settings.log = row.log;
        Configure(settings);
        ASSERT_TRUE(WriteTextFile(LogPath(), "earlier lines\r\n"));
        const std::string before = HostReadFile(LogPath());
        HostClearEvents();
        std::function<void()> unblock = row.block();
        std::string box = FileOne("X-Text-Classification: spam\nSubject: first");
        EXPECT_EQ(HostReadFile(LogPath()), before);
        unblock();
        EXPECT_EQ(Printable(box), Printable(FolderLine("ごみ箱", 1) + "  first\n"));
        EXPECT_EQ(UserVisibleEvents(), (std::vector<std::string>{"move", "box"}));
        FileOne("X-Text-Classification: spam\nSubject: second");
        std::string after = HostReadFile(LogPath());
        ASSERT_EQ(after.compare(0, before.size(), before), 0) << "the earlier lines changed";
        std::vector<std::vector<std::string>> added = LogRows(after, before.size());
        ASSERT_EQ(added.size(), row.log ? 2u : 0u);
        for (size_t i = 0; i < added.size(); ++i) {
            ASSERT_EQ(added[i].size(), 9u);
            EXPECT_EQ(added[i][8], i == 0 ? "first" : "second");
        }
    }
}

} // namespace
