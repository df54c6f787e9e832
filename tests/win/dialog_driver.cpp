#include "tests/win/dialog_driver.h"

#include <gtest/gtest.h>

#include "standins/host/host.h"

#include <cstring>

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

// Every host event goes to "transcript.txt" beside the program, for
// reading after a failure.
class TranscriptEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        HostTranscriptTo((TestDirectory() + "transcript.txt").c_str());
    }
    void TearDown() override { HostTranscriptTo(nullptr); }
};
const ::testing::Environment *const transcript =
    ::testing::AddGlobalTestEnvironment(new TranscriptEnvironment);

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

// ---- Loopback ports and the POPFile stand-in -----------------------------

namespace {

void EnsureSockets(void)
{
    static bool started = false;
    if (!started) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
}

std::string Environment(const char *name)
{
    char value[1024] = "";
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value) : std::string();
}

int EnvironmentPort(const char *name)
{
    std::string text = Environment(name);
    EXPECT_FALSE(text.empty()) << name << " is not set: run under with_popfile_standin.sh";
    return atoi(text.c_str());
}

std::string StateFile(const char *name)
{
    return Environment("SORTELLA_POPFILE_STATE") + "\\" + name;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

int UnusedPort(void)
{
    EnsureSockets();
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    int length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    closesocket(probe);
    return ntohs(address.sin_port);
}

int StandinHttpPort(void)
{
    return EnvironmentPort("SORTELLA_POPFILE_HTTP");
}

int StandinPop3Port(void)
{
    return EnvironmentPort("SORTELLA_POPFILE_POP3");
}

std::vector<std::string> StandinHttpTargets(void)
{
    // index.txt: NNNN TAB METHOD TAB TARGET TAB STATUS TAB BYTES
    std::vector<std::string> targets;
    for (const std::string &line : Lines(HostReadFile(StateFile("requests\\index.txt")))) {
        size_t first = line.find('\t');
        size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        size_t third = second == std::string::npos ? second : line.find('\t', second + 1);
        if (third != std::string::npos)
            targets.push_back(line.substr(second + 1, third - second - 1));
    }
    return targets;
}

int StandinHttpRequests(void)
{
    return static_cast<int>(StandinHttpTargets().size());
}

int StandinPop3Connections(void)
{
    int opened = 0;
    for (const std::string &line : Lines(HostReadFile(StateFile("pop3.log")))) {
        size_t tab = line.find('\t');
        if (tab != std::string::npos && line.compare(tab + 1, std::string::npos, "open") == 0)
            ++opened;
    }
    return opened;
}

void SetStandinKnobs(const std::string &lines)
{
    std::string path = StateFile("control");
    if (lines.empty()) {
        DeleteFileA(path.c_str());
    } else {
        std::string partial = path + ".new";
        HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << partial;
        DWORD written = 0;
        WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, NULL);
        CloseHandle(file);
        MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    // The stand-in copies the text it applied once its ports are as the
    // text says; the bound only ends a wait that would never end.
    std::string applied = StateFile("control.applied");
    if (!HostPumpUntil([&] { return HostReadFile(applied) == lines; }, 30000))
        ADD_FAILURE() << "the stand-in did not apply its knobs:\n" << lines;
}
