// The plug-in frame in the host stand-in: the real sortella.dll binds the
// host's 34 services, names itself, enrols its command at start-up, posts
// nothing after an empty retrieval and answers after clean-up; and a host
// that lacks one service gets one box while the load is refused. A lacking
// host is this program with one export name hidden for the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "plugin/host_service_list.h"
#include "tests/win/crash_report.h"
#include "standins/host/host.h"

namespace {

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
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
}

// Hides one of this program's exports while it lives, by changing the last
// character of its name in the export table: the names stay in sorted
// order, so every other name is still found.
class HiddenExport {
public:
    explicit HiddenExport(const char *name)
    {
        BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(NULL));
        auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
        auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        auto *exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY *>(base + directory.VirtualAddress);
        auto *names = reinterpret_cast<DWORD *>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            char *exported = reinterpret_cast<char *>(base + names[i]);
            if (strcmp(exported, name) == 0)
                last_ = exported + strlen(exported) - 1;
        }
        if (last_)
            Write(static_cast<char>(*last_ + 1));
    }
    ~HiddenExport()
    {
        if (last_)
            Write(static_cast<char>(*last_ - 1));
    }
    bool Hidden() const { return last_ != nullptr; }

private:
    void Write(char value)
    {
        DWORD old;
        VirtualProtect(last_, 1, PAGE_READWRITE, &old);
        *last_ = value;
        VirtualProtect(last_, 1, old, &old);
    }
    char *last_ = nullptr;
};

HHOOK boxHook;
std::set<HWND> seenBoxes;
std::vector<std::string> boxTexts;

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

// The plug-in is unloaded before the program writes its report, and any
// fault met on the way fails the run: FreeLibrary swallows a fault in the
// plug-in's DLL_PROCESS_DETACH, which would otherwise pass unseen.
class UnloadBeforeReport : public ::testing::Environment {
public:
    void TearDown() override
    {
        HostUnloadPlugin();
        EXPECT_EQ(FaultsReported(), 0) << "faults were met (see the lines \"fault ...\" above)";
    }
};
const ::testing::Environment *const unloadBeforeReport =
    ::testing::AddGlobalTestEnvironment(new UnloadBeforeReport);

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostUnloadPlugin();
        ASSERT_EQ(HostLoadPlugin(DllPath().c_str()), 1);
        dll = HostPluginModule();
    }
    void TearDown() override { HostUnloadPlugin(); }
    HMODULE dll = nullptr;
};

TEST_F(FrameTest, LoadsAndNamesItselfWithOnePointer)
{
    auto getName = Entry<const char *(*)(void)>(dll, "APCGetPlugName");
    ASSERT_NE(getName, nullptr);
    const char *first = getName();
    EXPECT_STREQ(first, "Sortella Version 0.10");
    EXPECT_EQ(getName(), first);
}

TEST_F(FrameTest, StartUpEnrolsOneCommandAndReturnsOne)
{
    auto startUp = Entry<DWORD(WINAPI *)(DWORD)>(dll, "APCStartUp");
    ASSERT_NE(startUp, nullptr);
    size_t before = HostEvents().size();
    EXPECT_EQ(startUp(12345), 1u);
    EXPECT_EQ(HostEventsOfKind("enrol", before).size(), 1u);
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

// The decorated names of the host's services, in the order they are bound.
std::vector<std::string> DecoratedServiceNames()
{
#define SORTELLA_DECORATED_NAME(name, bytes, result, parameters) "_" #name "@" #bytes,
    return {SORTELLA_HOST_SERVICES(SORTELLA_DECORATED_NAME, SORTELLA_DECORATED_NAME)};
#undef SORTELLA_DECORATED_NAME
}

// The first and the last service the plug-in binds.
TEST(Frame, HostLackingAServiceGetsOneBoxAndTheLoadIsRefused)
{
    HostUnloadPlugin();
    std::vector<std::string> names = DecoratedServiceNames();
    ASSERT_EQ(names.size(), 34u);
    for (const std::string &name : {names.front(), names.back()}) {
        const char *service = name.c_str();
        SCOPED_TRACE(service);
        HiddenExport hidden(service);
        ASSERT_TRUE(hidden.Hidden());
        boxTexts.clear();
        boxHook = SetWindowsHookExA(WH_CBT, RecordBoxes, NULL, GetCurrentThreadId());
        HMODULE dll = LoadLibraryA(DllPath().c_str());
        UnhookWindowsHookEx(boxHook);
        EXPECT_EQ(dll, nullptr);
        if (dll)
            FreeLibrary(dll);
        std::string all;
        for (const std::string &text : boxTexts)
            all += "[" + text + "]";
        ASSERT_EQ(boxTexts.size(), 1u) << all;
        EXPECT_EQ(boxTexts[0], "プラグインエラー|プラグイン「Sortella Version 0.10」でエラーが発生しました。\r\n"
                               "Postwick32とプラグインのバージョンを確認してください");
    }
    // With every name back, the plug-in loads again.
    ASSERT_EQ(HostLoadPlugin(DllPath().c_str()), 1);
    HostUnloadPlugin();
}

} // namespace
