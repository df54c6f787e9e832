// Loads the real sortella.dll into a host that exports the services (or, in
// the "missing" builds, all but one) and checks the plug-in frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

// A minimal host: counts enrolments and answers every other service with 0.
namespace {
int enrolments;
std::vector<std::string> boxTexts;
} // namespace

extern "C" {
DWORD WINAPI APARegistCallback(void *, DWORD)
{
    return 40000 + ++enrolments;
}
const char *WINAPI APAGetMailbox(void)
{
    return "C:\\mailbox\\";
}
const char *WINAPI APAGetAccount(DWORD)
{
    return "C:\\mailbox\\acc\\";
}
const char *WINAPI APAFolderGetCurrentEntry(DWORD)
{
    return nullptr;
}
const char *WINAPI APAViewGetPath(DWORD)
{
    return "C:\\mailbox\\acc\\x.PWK";
}
#define ZERO_SERVICE(name, ...) \
    DWORD WINAPI name(__VA_ARGS__) { return 0; }
ZERO_SERVICE(APASetTimer, DWORD, DWORD, DWORD)
ZERO_SERVICE(APAKillTimer, DWORD)
ZERO_SERVICE(APAIsBusy, void)
ZERO_SERVICE(APAExecPostwick, DWORD)
ZERO_SERVICE(APAGetFolderName, DWORD)
ZERO_SERVICE(APAImportFile, DWORD, DWORD, DWORD)
ZERO_SERVICE(APASaveMail, DWORD, DWORD, DWORD, DWORD)
ZERO_SERVICE(APAMoveMail, DWORD, DWORD)
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

HHOOK boxHook;
std::set<HWND> seenBoxes;

// Reads and closes every message box that appears on this thread: a window
// with the box's text control 0xFFFF. A box can be activated more than
// once; it is recorded the first time.
LRESULT CALLBACK RecordBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    HWND box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && GetDlgItem(box, 0xFFFF) && seenBoxes.insert(box).second) {
        char text[512] = "";
        char caption[128] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        GetWindowTextA(box, caption, sizeof caption);
        boxTexts.push_back(std::string(caption) + "|" + text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

std::string DllPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1) + "sortella.dll";
}

template <typename T>
T Entry(HMODULE dll, const char *name)
{
    return reinterpret_cast<T>(GetProcAddress(dll, name));
}

} // namespace

#ifdef HOST_LACKS_A_SERVICE

TEST(Frame, HostLackingAServiceGetsOneBoxAndTheLoadIsRefused)
{
    boxHook = SetWindowsHookExA(WH_CBT, RecordBoxes, NULL, GetCurrentThreadId());
    HMODULE dll = LoadLibraryA(DllPath().c_str());
    UnhookWindowsHookEx(boxHook);
    EXPECT_EQ(dll, nullptr);
    std::string all;
    for (const std::string &text : boxTexts)
        all += "[" + text + "]";
    ASSERT_EQ(boxTexts.size(), 1u) << all;
    EXPECT_EQ(boxTexts[0], "プラグインエラー|プラグイン「Sortella Version 0.10」でエラーが発生しました。\r\n"
                           "Postwick32とプラグインのバージョンを確認してください");
}

#else

class FrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dll = LoadLibraryA(DllPath().c_str()); }
    static HMODULE dll;
};
HMODULE FrameTest::dll;

TEST_F(FrameTest, LoadsAndNamesItselfWithOnePointer)
{
    ASSERT_NE(dll, nullptr);
    auto getName = Entry<const char *(*)(void)>(dll, "APCGetPlugName");
    ASSERT_NE(getName, nullptr);
    const char *first = getName();
    EXPECT_STREQ(first, "Sortella Version 0.10");
    EXPECT_EQ(getName(), first);
    EXPECT_TRUE(boxTexts.empty());
}

TEST_F(FrameTest, StartUpEnrolsOneCommandAndReturnsOne)
{
    auto startUp = Entry<DWORD(WINAPI *)(DWORD)>(dll, "APCStartUp");
    ASSERT_NE(startUp, nullptr);
    int before = enrolments;
    EXPECT_EQ(startUp(12345), 1u);
    EXPECT_EQ(enrolments, before + 1);
}

TEST_F(FrameTest, EndRetrieveWithNothingQueuedPostsNothing)
{
    auto endRetrieve = Entry<BOOL(WINAPI *)(HWND)>(dll, "APCFolderEndRetrieve");
    ASSERT_NE(endRetrieve, nullptr);
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    EXPECT_EQ(endRetrieve(window), 0);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    DestroyWindow(window);
}

TEST_F(FrameTest, EntryPointsStillAnswerAfterCleanUp)
{
    auto cleanUp = Entry<void (*)(void)>(dll, "APCCleanUp");
    auto recFilter = Entry<DWORD(WINAPI *)(const char *)>(dll, "APCRecFilter");
    auto folderMenu = Entry<int(WINAPI *)(HWND, HMENU, int)>(dll, "APCFolderInitMenu");
    auto viewMenu = Entry<int(WINAPI *)(HWND, HMENU, int)>(dll, "APCViewInitMenu");
    ASSERT_TRUE(cleanUp && recFilter && folderMenu && viewMenu);
    cleanUp();
    EXPECT_EQ(recFilter("C:\\mailbox\\acc\\missing.PWK"), 0u);
    for (int code : {101, 103})
        EXPECT_EQ(folderMenu(NULL, NULL, code), code);
    for (int code : {200, 203})
        EXPECT_EQ(viewMenu(NULL, NULL, code), code);
}

#endif
