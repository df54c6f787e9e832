// The receive filter and the filing command of the real sortella.dll,
// driven by a scripted host in this executable: it exports the 34 services,
// keeps a mailbox in the temporary directory, owns a folder window with the
// host's four menus, and records every move, beep and message box (the
// DLL's imports of MessageBeep and MessageBoxA are redirected to recorders,
// so no box is really shown). Busy states, move results and what happens
// inside the wait are scripted per test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

typedef void(WINAPI *CommandProc)(HWND window, DWORD value);

namespace {

const UINT kBusyCommand = 32835;
const DWORD kFirstCommandId = 40001;

// ---- What the host records and how it is scripted ----------------------

struct Move {
    std::string entry;
    std::string destination;
    DWORD result;
};

std::string mailboxDirectory; // ends in a backslash
CommandProc enrolledCommand;
DWORD enrolledId;

std::vector<Move> moves;
std::vector<std::string> events; // "move", "beep 48", "box" in order
std::vector<std::string> boxTexts;
std::vector<std::string> boxCaptions;
std::vector<UINT> boxFlags;
std::vector<HWND> boxOwners;
int beeps;
int initMenuCount;

bool serviceBusy;     // what APAIsBusy reports
bool menuGrayed;      // state of the busy command on WM_INITMENUPOPUP
bool refuseMoves;     // APAMoveMail answers 0 to every move
std::function<void()> afterMove; // runs inside APAMoveMail, once per move

void ResetHost()
{
    moves.clear();
    events.clear();
    boxTexts.clear();
    boxCaptions.clear();
    boxFlags.clear();
    boxOwners.clear();
    beeps = 0;
    initMenuCount = 0;
    serviceBusy = false;
    menuGrayed = false;
    refuseMoves = false;
    afterMove = nullptr;
}

} // namespace

// ---- The exported services -----------------------------------------------

extern "C" {
DWORD WINAPI APARegistCallback(CommandProc callback, DWORD)
{
    enrolledCommand = callback;
    enrolledId = kFirstCommandId;
    return enrolledId;
}
DWORD WINAPI APAIsBusy(void)
{
    return serviceBusy ? 1 : 0;
}
const char *WINAPI APAGetMailbox(void)
{
    return mailboxDirectory.c_str();
}
DWORD WINAPI APAMoveMail(const char *entry, const char *destination)
{
    // An account without a title gives a destination with no account.
    DWORD result = refuseMoves || destination[0] == '\\' ? 0 : 1;
    moves.push_back({entry, destination, result});
    events.push_back("move");
    if (afterMove)
        afterMove();
    return result;
}
const char *WINAPI APAGetAccount(DWORD)
{
    return nullptr;
}
const char *WINAPI APAFolderGetCurrentEntry(DWORD)
{
    return nullptr;
}
const char *WINAPI APAViewGetPath(DWORD)
{
    return nullptr;
}
#define ZERO_SERVICE(name, ...) \
    DWORD WINAPI name(__VA_ARGS__) { return 0; }
ZERO_SERVICE(APASetTimer, DWORD, DWORD, DWORD)
ZERO_SERVICE(APAKillTimer, DWORD)
ZERO_SERVICE(APAExecPostwick, DWORD)
ZERO_SERVICE(APAGetFolderName, DWORD)
ZERO_SERVICE(APAImportFile, DWORD, DWORD, DWORD)
ZERO_SERVICE(APASaveMail, DWORD, DWORD, DWORD, DWORD)
ZERO_SERVICE(APAMarkMail, DWORD, DWORD, DWORD)
ZERO_SERVICE(APADeleteMail, DWORD)
ZERO_SERVICE(APAFolderGetCurrentFolder, DWORD)
ZERO_SERVICE(APAFolderGetSelectEntry, DWORD, DWORD)
ZERO_SERVICE(APAFolderChangePassword, DWORD, DWORD)
ZERO_SERVICE(APAFolderMailTo, DWORD, DWORD)
ZERO_SERVICE(APAFolderReply, DWORD, DWORD)
ZERO_SERVICE(APAFolderForward, DWORD, DWORD)
ZERO_SERVICE(APAFolderOpenMail, DWORD, DWORD, DWORD)
ZERO_SERVICE(APASendGetText, DWORD, DWORD)
ZERO_SERVICE(APASendGetHeader, DWORD)
ZERO_SERVICE(APASendSetText, DWORD, DWORD)
ZERO_SERVICE(APASendSetHeader, DWORD, DWORD)
ZERO_SERVICE(APASendGetEditor, DWORD)
ZERO_SERVICE(APAViewGetText, DWORD)
ZERO_SERVICE(APAViewGetHeader, DWORD)
ZERO_SERVICE(APAViewSetText, DWORD, DWORD)
ZERO_SERVICE(APAViewGetEditor, DWORD)
ZERO_SERVICE(APAViewChangeMail, DWORD, DWORD)
ZERO_SERVICE(APASjisToJis, DWORD, DWORD, DWORD)
ZERO_SERVICE(APAJisToSjis, DWORD, DWORD, DWORD)
#undef ZERO_SERVICE
}

namespace {

// ---- Recorders put into the DLL's import table ---------------------------

BOOL WINAPI RecordBeep(UINT type)
{
    ++beeps;
    events.push_back("beep " + std::to_string(type));
    return TRUE;
}

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    boxTexts.push_back(text ? text : "");
    boxCaptions.push_back(caption ? caption : "");
    boxFlags.push_back(flags);
    boxOwners.push_back(owner);
    events.push_back("box");
    return IDOK;
}

// Replaces the DLL's import of `function` from `library` by `replacement`.
bool RedirectImport(HMODULE module, const char *library, const char *function, void *replacement)
{
    BYTE *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto *import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
    for (; import->Name; ++import) {
        if (lstrcmpiA(reinterpret_cast<char *>(base + import->Name), library) != 0)
            continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + import->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char *>(byName->Name), function) != 0)
                continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void *), old, &old);
            return true;
        }
    }
    return false;
}

// ---- Files: mailbox, accounts, messages, settings ---------------------

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

void WriteTextFile(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    for (char c : text) {
        if (c == '\n')
            fputc('\r', file);
        fputc(c, file);
    }
    fclose(file);
}

void MakeAccount(const char *dirName, const char *title)
{
    std::string account = mailboxDirectory + dirName;
    CreateDirectoryA(account.c_str(), NULL);
    CreateDirectoryA((account + "\\郵便受け").c_str(), NULL);
    std::string ini = "[Property]\n";
    if (title)
        ini += std::string("Title=") + title + "\n";
    WriteTextFile(account + "\\account.ini", ini);
}

int messageNumber;

// Writes a message with the given header lines into the inbox of the
// account and returns its full path.
std::string WriteMessage(const char *dirName, const std::string &headerLines)
{
    char name[16];
    snprintf(name, sizeof name, "%08d", ++messageNumber);
    std::string path = mailboxDirectory + dirName + "\\郵便受け\\" + name + ".PWK";
    WriteTextFile(path, headerLines + "\nbody\n");
    return path;
}

std::string EntryOf(const std::string &path)
{
    return path.substr(mailboxDirectory.size(), path.size() - mailboxDirectory.size() - 4);
}

struct Settings {
    bool dispDialog = true;
    bool beep = false;
    bool dispFrom = true;
    bool dispSubject = true;
    int fromLength = 0;
    int subjectLength = 0;
    std::vector<std::pair<std::string, std::string>> rules = {{"spam", "ごみ箱"}};
};

// ---- The plug-in ----------------------------------------------------------

HMODULE dll;
DWORD(WINAPI *startUp)(DWORD);
DWORD(WINAPI *recFilter)(const char *);
BOOL(WINAPI *endRetrieve)(HWND);

// Writes the settings file and lets the plug-in load it again.
void Configure(const Settings &settings)
{
    std::string dir = ExeDirectory() + "Plugins";
    CreateDirectoryA(dir.c_str(), NULL);
    std::string text = "[Setup]\n";
    text += std::string("DispDialog=") + (settings.dispDialog ? "1" : "0") + "\n";
    text += std::string("Beep=") + (settings.beep ? "1" : "0") + "\n";
    text += std::string("DispFrom=") + (settings.dispFrom ? "1" : "0") + "\n";
    text += std::string("DispSubject=") + (settings.dispSubject ? "1" : "0") + "\n";
    text += "FromLength=" + std::to_string(settings.fromLength) + "\n";
    text += "SubjectLength=" + std::to_string(settings.subjectLength) + "\n";
    text += "CheckConnect=0\n[MoveMail]\n";
    for (const auto &rule : settings.rules)
        text += rule.first + "=" + rule.second + "\n";
    WriteTextFile(dir + "\\sortella.ini", text);
    WritePrivateProfileStringA(NULL, NULL, NULL, (dir + "\\sortella.ini").c_str());
    ASSERT_EQ(startUp(0), 1u);
}

// ---- The folder window ------------------------------------------------------

enum MenuShape { FullMenu, NoMenuBar, ThreeMenus, NoBusyCommand };

HMENU MakeMenuBar(MenuShape shape)
{
    if (shape == NoMenuBar)
        return NULL;
    HMENU bar = CreateMenu();
    const char *titles[] = {"ファイル(&F)", "編集(&E)", "表示(&V)", "ツール(&T)"};
    int count = shape == ThreeMenus ? 3 : 4;
    for (int i = 0; i < count; ++i) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, 100 + i, "項目");
        if (i == 3 && shape != NoBusyCommand)
            AppendMenuA(popup, MF_STRING, kBusyCommand, "受信中止");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), titles[i]);
    }
    return bar;
}

LRESULT CALLBACK FolderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITMENUPOPUP) {
        ++initMenuCount;
        EnableMenuItem(reinterpret_cast<HMENU>(wParam), kBusyCommand,
                       MF_BYCOMMAND | (menuGrayed ? MF_GRAYED : MF_ENABLED));
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == enrolledId && enrolledCommand) {
        enrolledCommand(window, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeFolderWindow(MenuShape shape = FullMenu)
{
    static bool registered;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = FolderWindowProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "TestFolderWindow";
        RegisterClassA(&windowClass);
        registered = true;
    }
    return CreateWindowA("TestFolderWindow", "Postwick32", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, NULL,
                         MakeMenuBar(shape), GetModuleHandleA(NULL), NULL);
}

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

// ---- Timers that act from inside the filing wait ------------------------

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
    // Taken before the step runs: a step may start another list.
    std::function<void()> step = tickSteps[nextTickStep++];
    if (nextTickStep == tickSteps.size())
        StopTicks();
    step();
}

// Runs `steps` one per timer tick (about 20 ms apart) whenever messages are
// dispatched, the filing wait included.
void RunOnTicks(std::vector<std::function<void()>> steps)
{
    StopTicks();
    tickSteps = std::move(steps);
    nextTickStep = 0;
    tickTimer = SetTimer(NULL, 0, 20, RunTickStep);
}

// When the wait would last for ever, a last timer ends it by making the host
// idle in every way and notes that it had to.
bool rescued;
HWND rescueWindow;
UINT_PTR rescueTimer;

void CALLBACK Rescue(HWND, UINT, UINT_PTR, DWORD)
{
    rescued = true;
    serviceBusy = false;
    menuGrayed = false;
    SetMenu(rescueWindow, MakeMenuBar(FullMenu));
    KillTimer(NULL, rescueTimer);
}

void ArmRescue(HWND window)
{
    rescued = false;
    rescueWindow = window;
    rescueTimer = SetTimer(NULL, 0, 5000, Rescue);
}

void DisarmRescue()
{
    KillTimer(NULL, rescueTimer);
}

// ---- Texts ---------------------------------------------------------------

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::string FolderLine(const char *folder, int count)
{
    return std::string("[") + folder + "]へ " + std::to_string(count) + " 件移動しました\n";
}

// ---- Fixture --------------------------------------------------------------

class FilingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        mailboxDirectory = std::string(temp) + "sortella_filing_test\\";
        CreateDirectoryA(mailboxDirectory.c_str(), NULL);
        MakeAccount("acc", "Work");
        MakeAccount("notitle", nullptr);

        dll = LoadLibraryA((ExeDirectory() + "sortella.dll").c_str());
        ASSERT_NE(dll, nullptr);
        ASSERT_TRUE(RedirectImport(dll, "user32.dll", "MessageBeep", reinterpret_cast<void *>(RecordBeep)));
        ASSERT_TRUE(RedirectImport(dll, "user32.dll", "MessageBoxA", reinterpret_cast<void *>(RecordBox)));
        startUp = reinterpret_cast<decltype(startUp)>(GetProcAddress(dll, "APCStartUp"));
        recFilter = reinterpret_cast<decltype(recFilter)>(GetProcAddress(dll, "APCRecFilter"));
        endRetrieve = reinterpret_cast<decltype(endRetrieve)>(GetProcAddress(dll, "APCFolderEndRetrieve"));
        ASSERT_TRUE(startUp && recFilter && endRetrieve);
    }

    void SetUp() override
    {
        ResetHost();
        Configure(Settings());
        window = MakeFolderWindow();
    }

    void TearDown() override
    {
        // Nothing may stay queued for the next test.
        StopTicks();
        EXPECT_FALSE(endRetrieve(window));
        DestroyWindow(window);
        PumpPending();
    }

    // APCRecFilter for each path (each must return 0).
    void Filter(const std::vector<std::string> &paths)
    {
        for (const std::string &path : paths)
            EXPECT_EQ(recFilter(path.c_str()), 0u) << path;
    }

    // APCFolderEndRetrieve, then the host's loop: the posted command runs.
    // Returns the exit code of a quit seen by the loop, or -1.
    int EndRetrieveAndRun()
    {
        EXPECT_TRUE(endRetrieve(window));
        return PumpPending();
    }

    // One message with `headers` filed alone; returns the box text ("" when
    // no box was shown).
    std::string FileOne(const std::string &headers)
    {
        size_t before = boxTexts.size();
        Filter({WriteMessage("acc", headers)});
        EndRetrieveAndRun();
        return boxTexts.size() > before ? boxTexts.back() : std::string();
    }

    HWND window;
};

// ---- The receive filter's queue ------------------------------------------

TEST_F(FilingTest, QueuesMessagesWithARuleInArrivalOrder)
{
    std::string a = WriteMessage("acc", "X-Text-Classification: spam\nSubject: A");
    std::string ham = WriteMessage("acc", "X-Text-Classification: ham\nSubject: H");
    std::string b = WriteMessage("acc", "From: x\nX-Text-Classification: spam\nSubject: B");
    std::string none = WriteMessage("acc", "Subject: no verdict");
    std::string lower = WriteMessage("acc", "x-text-classification: spam\nSubject: L");
    std::string blank = WriteMessage("acc", "X-Text-Classification: spam \nSubject: T");
    std::string capital = WriteMessage("acc", "X-Text-Classification: Spam\nSubject: S");
    std::string inBody = WriteMessage("acc", "Subject: X\n\nX-Text-Classification: spam");
    std::string c = WriteMessage("acc", "X-Text-Classification:spam\nSubject: C");
    std::string longLine = WriteMessage("acc", "X-Text-Classification: " + std::string(300, 's'));
    std::string missing = mailboxDirectory + "acc\\郵便受け\\nosuch.PWK";
    std::string outside = "C:\\elsewhere\\acc\\郵便受け\\00000001.PWK";

    EXPECT_FALSE(endRetrieve(window)); // nothing queued yet
    Filter({a, ham, b, none, lower, blank, capital, inBody, c, longLine, missing, outside});
    EndRetrieveAndRun();

    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].entry, EntryOf(a));
    EXPECT_EQ(moves[1].entry, EntryOf(b));
    EXPECT_EQ(moves[2].entry, EntryOf(c));
    EXPECT_EQ(moves[0].entry, "acc\\郵便受け\\" + a.substr(a.size() - 12, 8));
    for (const Move &move : moves)
        EXPECT_EQ(move.destination, "Work\\ごみ箱");
    ASSERT_EQ(boxTexts.size(), 1u);
    EXPECT_EQ(Hex(boxTexts[0]), Hex(FolderLine("ごみ箱", 3) + "  A\n  x : B\n  C\n"));
}

TEST_F(FilingTest, EndRetrievePostsTheEnrolledCommandToTheWindow)
{
    Filter({WriteMessage("acc", "X-Text-Classification: spam")});
    ASSERT_TRUE(endRetrieve(window));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(message.wParam, enrolledId);
    EXPECT_EQ(message.lParam, 0);
    EXPECT_TRUE(moves.empty()); // the moves wait for the command
    DispatchMessageA(&message);
    EXPECT_EQ(moves.size(), 1u);
}

TEST_F(FilingTest, MailboxPrefixIsMatchedWithoutRegardToLetterCase)
{
    std::string path = WriteMessage("acc", "X-Text-Classification: spam");
    std::string upper = path;
    for (size_t i = 0; i < mailboxDirectory.size(); ++i)
        upper[i] = static_cast<char>(toupper(static_cast<unsigned char>(upper[i])));
    Filter({upper});
    EndRetrieveAndRun();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].entry, EntryOf(path));
}

TEST_F(FilingTest, AccountWithoutTitleIsTriedAndNotReported)
{
    Filter({WriteMessage("notitle", "X-Text-Classification: spam\nSubject: x")});
    EndRetrieveAndRun();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].destination, "\\ごみ箱");
    EXPECT_TRUE(boxTexts.empty());
}

// ---- The summary -------------------------------------------------------

struct SummaryRow {
    const char *name;
    std::string headers; // besides the verdict
    int fromLength;
    int subjectLength;
    std::string line; // the detail line expected under the folder line
};

TEST_F(FilingTest, EveryShapeOfDetailLine)
{
    const std::string forty(40, 'x');
    const SummaryRow rows[] = {
        {"both", "From: Taro Yamada <taro@example.jp>\nSubject: Hello", 0, 0, "  Taro Yamada : Hello\n"},
        {"sender only", "From: Taro <t@x>", 0, 0, "  Taro\n"},
        {"subject only", "Subject: Hello", 0, 0, "  Hello\n"},
        {"neither", "", 0, 0, ""},
        {"quoted", "From: \"Yamada, Taro\" <t@x>\nSubject: s", 0, 0, "  Yamada, Taro : s\n"},
        {"angle only", "From: <t@example.jp>", 0, 0, "  t@example.jp\n"},
        {"comment", "From: t@x (Taro)", 0, 0, "  Taro\n"},
        {"empty name as written", "From: \"\" <t@x>\nSubject: s", 0, 0, "   : s\n"},
        {"empty name cut", "From: \"\" <t@x>\nSubject: s", 5, 0, "  s\n"},
        {"sender undecoded", "From: =?ISO-2022-JP?B?GyRCST08KBsoQg==?= <t@x>", 0, 0,
         "  =?ISO-2022-JP?B?GyRCST08KBsoQg==?=\n"},
        {"sender decoded", "From: =?ISO-2022-JP?B?GyRCST08KBsoQg==?= <t@x>", 20, 0, "  表示\n"},
        {"sender cut", "From: ABCDEFGHIJKL <t@x>", 10, 0, "  ABCDEFGHIJ\n"},
        {"sender cut between characters", "From: 表示 <t@x>", 3, 0, "  表\n"},
        {"subject 26", "Subject: " + forty, 0, 0, "  " + std::string(26, 'x') + "\n"},
        {"subject limit", "Subject: " + forty, 0, 30, "  " + std::string(30, 'x') + "\n"},
        {"subject double-byte cut", "Subject: あいう", 0, 5, "  あい\n"},
        {"subject ISO-2022-JP", "Subject: =?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?=", 0, 0,
         "  会議のお知らせ\n"},
        {"subject folded words", "Subject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\n =?ISO-2022-JP?B?GyRCOGwbKEI=?=", 0, 0,
         "  日本語\n"},
        {"subject UTF-8", "Subject: Re: =?UTF-8?B?5pel5pys6Kqe?=", 0, 0, "  Re: 日本語\n"},
        {"subject UTF-8 cut", "Subject: =?utf-8?B?5pel5pys6Kqe?=", 0, 5, "  日本\n"},
        {"subject UTF-8 outside 932", "Subject: =?UTF-8?B?YeC4gWI=?=", 0, 0, "  a?b\n"},
        {"subject EUC-JP", "Subject: =?EUC-JP?B?xvzL3Ljs?=", 0, 0, "  日本語\n"},
        {"subject Shift_JIS", "Subject: =?Shift_JIS?B?g3yDWINn?=", 0, 0, "  ポスト\n"},
        {"subject mixed stays raw", "Subject: =?UTF-8?B?5pel?= =?Shift_JIS?B?g3w=?=", 0, 0,
         "  \xe6\x97\xa5 ポ\n"},
        {"subject broken word", "Subject: =?ISO-2022-JP?B?GyRCJEg", 0, 0, "  と\n"},
        {"subject spaces only", "Subject:    \nFrom: a <b>", 0, 0, "  a\n"},
    };
    for (const SummaryRow &row : rows) {
        Settings settings;
        settings.fromLength = row.fromLength;
        settings.subjectLength = row.subjectLength;
        Configure(settings);
        std::string box = FileOne("X-Text-Classification: spam\n" + row.headers);
        EXPECT_EQ(Hex(box), Hex(FolderLine("ごみ箱", 1) + row.line)) << row.name;
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
        EXPECT_EQ(Hex(box), Hex(FolderLine("ごみ箱", 1) + row.line))
            << "DispFrom " << row.dispFrom << " DispSubject " << row.dispSubject;
    }

    // With DispDialog off when the message is filtered, neither text is
    // kept, though the box is on again when the moves are reported.
    Settings quiet;
    quiet.dispDialog = false;
    Configure(quiet);
    Filter({WriteMessage("acc", "X-Text-Classification: spam\nFrom: T <t@x>\nSubject: S")});
    Configure(Settings());
    size_t before = boxTexts.size();
    EndRetrieveAndRun();
    ASSERT_EQ(boxTexts.size(), before + 1);
    EXPECT_EQ(Hex(boxTexts.back()), Hex(FolderLine("ごみ箱", 1)));
}

TEST_F(FilingTest, OneParagraphPerFolderInRuleOrder)
{
    Settings settings;
    settings.rules = {{"spam", "ごみ箱"}, {"work", "仕事\\重要"}, {"news", "ニュース"}};
    Configure(settings);
    Filter({WriteMessage("acc", "X-Text-Classification: work\nSubject: W1"),
            WriteMessage("acc", "X-Text-Classification: spam\nSubject: S1"),
            WriteMessage("acc", "X-Text-Classification: work\nSubject: W2"),
            WriteMessage("acc", "X-Text-Classification: spam\nSubject: S2")});
    EndRetrieveAndRun();
    ASSERT_EQ(moves.size(), 4u);
    EXPECT_EQ(moves[0].destination, "Work\\仕事\\重要");
    ASSERT_EQ(boxTexts.size(), 1u);
    EXPECT_EQ(Hex(boxTexts[0]),
              Hex(FolderLine("ごみ箱", 2) + "  S1\n  S2\n" + FolderLine("仕事\\重要", 2) + "  W1\n  W2\n"));

    Filter({WriteMessage("acc", "X-Text-Classification: news")});
    EndRetrieveAndRun();
    ASSERT_EQ(boxTexts.size(), 2u);
    EXPECT_EQ(Hex(boxTexts[1]), Hex(FolderLine("ニュース", 1)));
}

TEST_F(FilingTest, BeepAndBoxAsTheSwitchesSay)
{
    const struct {
        bool beep;
        bool dispDialog;
        std::vector<std::string> events;
    } rows[] = {
        {true, false, {"move", "beep 48"}},
        {false, true, {"move", "box"}},
        {true, true, {"move", "beep 48", "box"}},
        {false, false, {"move"}},
    };
    for (const auto &row : rows) {
        ResetHost();
        Settings settings;
        settings.beep = row.beep;
        settings.dispDialog = row.dispDialog;
        Configure(settings);
        FileOne("X-Text-Classification: spam\nSubject: s");
        EXPECT_EQ(events, row.events) << "Beep " << row.beep << " DispDialog " << row.dispDialog;
        if (boxTexts.empty())
            continue;
        EXPECT_EQ(boxCaptions[0], "Sortellaメール振り分け");
        EXPECT_EQ(boxFlags[0], static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(boxOwners[0], window);
        EXPECT_EQ(Hex(boxTexts[0]), Hex(FolderLine("ごみ箱", 1) + "  s\n"));
    }
}

TEST_F(FilingTest, NoBeepOrBoxWhenEveryMoveFails)
{
    Settings settings;
    settings.beep = true;
    Configure(settings);
    refuseMoves = true;
    Filter({WriteMessage("acc", "X-Text-Classification: spam\nSubject: a"),
            WriteMessage("acc", "X-Text-Classification: spam\nSubject: b")});
    EndRetrieveAndRun();
    EXPECT_EQ(events, (std::vector<std::string>{"move", "move"}));

    // The refused moves are neither retried nor counted later.
    refuseMoves = false;
    std::string box = FileOne("X-Text-Classification: spam\nSubject: c");
    EXPECT_EQ(moves.size(), 3u);
    EXPECT_EQ(Hex(box), Hex(FolderLine("ごみ箱", 1) + "  c\n"));
}

TEST_F(FilingTest, RulesReloadedBeforeTheMove)
{
    Settings two;
    two.rules = {{"spam", "ごみ箱"}, {"work", "仕事"}};
    Configure(two);
    Filter({WriteMessage("acc", "X-Text-Classification: work\nSubject: w")});
    Settings one; // only "spam": the queued index 1 is outside the table
    Configure(one);
    EndRetrieveAndRun();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].destination, "Work\\仕事"); // moved as queued
    EXPECT_TRUE(boxTexts.empty());                   // not reported

    // An index still inside the new table counts on the rule now there.
    Configure(two);
    Filter({WriteMessage("acc", "X-Text-Classification: work\nSubject: w")});
    Settings swapped;
    swapped.rules = {{"news", "ニュース"}, {"other", "その他"}};
    Configure(swapped);
    EndRetrieveAndRun();
    ASSERT_EQ(boxTexts.size(), 1u);
    EXPECT_EQ(Hex(boxTexts[0]), Hex(FolderLine("その他", 1) + "  w\n"));
}

// ---- The wait for the idle host -----------------------------------------

TEST_F(FilingTest, MovesWaitWhileTheBusyCommandIsGrayed)
{
    Filter({WriteMessage("acc", "X-Text-Classification: spam\nSubject: a"),
            WriteMessage("acc", "X-Text-Classification: spam\nSubject: b")});
    menuGrayed = true;
    size_t movesBeforeFirst = 99;
    size_t movesBeforeSecond = 99;
    int menusSeen = 0;
    // After the first move the host grays the command again: the wait is
    // made before every move.
    afterMove = [&] {
        if (moves.size() == 1) {
            menuGrayed = true;
            RunOnTicks({[&] { movesBeforeSecond = moves.size(); }, [&] { menuGrayed = false; }});
        }
    };
    RunOnTicks({[&] {
                    movesBeforeFirst = moves.size();
                    menusSeen = initMenuCount;
                },
                [&] { menuGrayed = false; }});
    ArmRescue(window);
    EndRetrieveAndRun();
    DisarmRescue();
    EXPECT_FALSE(rescued);
    EXPECT_GT(menusSeen, 0);
    EXPECT_EQ(movesBeforeFirst, 0u);
    EXPECT_EQ(movesBeforeSecond, 1u);
    EXPECT_EQ(moves.size(), 2u);
}

TEST_F(FilingTest, MovesWaitWhileTheHostSaysBusy)
{
    Filter({WriteMessage("acc", "X-Text-Classification: spam")});
    serviceBusy = true;
    size_t movesSeen = 99;
    RunOnTicks({[&] { movesSeen = moves.size(); }, [&] { serviceBusy = false; }});
    EndRetrieveAndRun();
    EXPECT_EQ(movesSeen, 0u);
    EXPECT_EQ(moves.size(), 1u);
}

// A window whose menus lack the busy command does not hold the moves for
// ever: the host's own busy report alone decides.
TEST_F(FilingTest, MissingBusyCommandCountsAsIdle)
{
    for (MenuShape shape : {NoMenuBar, ThreeMenus, NoBusyCommand}) {
        HWND other = MakeFolderWindow(shape);
        ResetHost();
        Filter({WriteMessage("acc", "X-Text-Classification: spam")});
        serviceBusy = true;
        size_t movesSeen = 99;
        RunOnTicks({[&] { movesSeen = moves.size(); }, [&] { serviceBusy = false; }});
        ArmRescue(other);
        EXPECT_TRUE(endRetrieve(other));
        PumpPending();
        DisarmRescue();
        EXPECT_FALSE(rescued) << "menu shape " << shape;
        EXPECT_EQ(movesSeen, 0u) << "menu shape " << shape;
        EXPECT_EQ(moves.size(), 1u) << "menu shape " << shape;
        DestroyWindow(other);
    }
}

// Inside the wait the host may filter more mail and post the command again:
// the nested run moves only the new record, and reports the moves made so
// far by both runs; the outer run then reports the rest.
TEST_F(FilingTest, FilterAndNestedCommandFromInsideTheWait)
{
    std::string a = WriteMessage("acc", "X-Text-Classification: spam\nSubject: A");
    std::string b = WriteMessage("acc", "X-Text-Classification: spam\nSubject: B");
    std::string d = WriteMessage("acc", "X-Text-Classification: spam\nSubject: D");
    Filter({a, b});
    afterMove = [&] {
        if (moves.size() != 1)
            return;
        serviceBusy = true; // the host is busy again after the first move
        RunOnTicks({[&] {
                        EXPECT_EQ(recFilter(d.c_str()), 0u);
                        EXPECT_TRUE(endRetrieve(window));
                    },
                    [&] { serviceBusy = false; }});
    };
    ArmRescue(window);
    EndRetrieveAndRun();
    DisarmRescue();
    EXPECT_FALSE(rescued);
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].entry, EntryOf(a));
    EXPECT_EQ(moves[1].entry, EntryOf(d));
    EXPECT_EQ(moves[2].entry, EntryOf(b));
    ASSERT_EQ(boxTexts.size(), 2u);
    EXPECT_EQ(Hex(boxTexts[0]), Hex(FolderLine("ごみ箱", 2) + "  A\n  D\n"));
    EXPECT_EQ(Hex(boxTexts[1]), Hex(FolderLine("ごみ箱", 1) + "  B\n"));
}

// A quit request taken out by the wait goes back to the host's loop; the
// records not yet moved stay where they are and are not reported.
TEST_F(FilingTest, QuitDuringTheWaitEndsTheRun)
{
    std::string a = WriteMessage("acc", "X-Text-Classification: spam\nSubject: A");
    Filter({a, WriteMessage("acc", "X-Text-Classification: spam\nSubject: B"),
            WriteMessage("acc", "X-Text-Classification: spam\nSubject: C")});
    afterMove = [&] {
        serviceBusy = true;
        PostQuitMessage(7);
    };
    ArmRescue(window);
    EXPECT_EQ(EndRetrieveAndRun(), 7);
    DisarmRescue();
    EXPECT_FALSE(rescued);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].entry, EntryOf(a));
    ASSERT_EQ(boxTexts.size(), 1u);
    EXPECT_EQ(Hex(boxTexts[0]), Hex(FolderLine("ごみ箱", 1) + "  A\n"));

    // Quit before the first move: nothing moved, nothing shown.
    ResetHost();
    Filter({WriteMessage("acc", "X-Text-Classification: spam")});
    serviceBusy = true;
    EXPECT_TRUE(endRetrieve(window));
    PostQuitMessage(3);
    ArmRescue(window);
    EXPECT_EQ(PumpPending(), 3);
    DisarmRescue();
    EXPECT_TRUE(events.empty());
    serviceBusy = false;

    // The released records do not come back.
    std::string box = FileOne("X-Text-Classification: spam\nSubject: E");
    EXPECT_EQ(moves.size(), 1u);
    EXPECT_EQ(Hex(box), Hex(FolderLine("ごみ箱", 1) + "  E\n"));
}

} // namespace
