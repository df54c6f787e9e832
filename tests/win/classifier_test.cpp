// The classifier link through the real sortella.dll, loaded by the host
// stand-in, against the POPFile stand-in that with_popfile_standin.sh starts:
// the menus as Windows reads them back, the requests on the wire, the
// correction of a verdict end to end, and the shell opens.
#include <winsock2.h> // before windows.h, as dialog_driver.h includes it
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/resource.h"
#include "standins/host/host.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/filing_log_rows.h"

namespace {

// ---- The POPFile stand-in ----------------------------------------------

std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

struct Standin {
    std::string port; // web interface
    std::string key;
    std::string state; // Windows path of its state directory
    std::string spool;
    std::string base; // "http://127.0.0.1:PORT/"
};

const Standin &Popfile()
{
    static Standin standin;
    if (standin.port.empty()) {
        standin.port = Environment("SORTELLA_POPFILE_HTTP");
        standin.key = Environment("SORTELLA_POPFILE_KEY");
        standin.state = Environment("SORTELLA_POPFILE_STATE");
        standin.spool = Environment("SORTELLA_POPFILE_SPOOL");
        standin.base = "http://127.0.0.1:" + standin.port + "/";
    }
    return standin;
}


struct Request {
    std::string number; // file name of the raw request, without ".raw"
    std::string method;
    std::string target;
    std::string raw;
};

// Every request the stand-in logged so far, in order.
std::vector<Request> Requests()
{
    std::vector<Request> requests;
    std::istringstream index(HostReadFile(Popfile().state + "\\requests\\index.txt"));
    std::string line;
    while (std::getline(index, line)) {
        std::istringstream fields(line);
        Request request;
        std::getline(fields, request.number, '\t');
        std::getline(fields, request.method, '\t');
        std::getline(fields, request.target, '\t');
        request.raw = HostReadFile(Popfile().state + "\\requests\\" + request.number + ".raw");
        requests.push_back(request);
    }
    return requests;
}

std::vector<Request> RequestsSince(size_t from)
{
    std::vector<Request> all = Requests();
    return std::vector<Request>(all.begin() + std::min(from, all.size()), all.end());
}

std::string Targets(const std::vector<Request> &requests)
{
    std::string text;
    for (const Request &request : requests)
        text += request.method + " " + request.target + "\n";
    return text;
}

// Replaces the stand-in's knobs (lines "NAME VALUE"); "" restores them.
// Returns once the stand-in has applied them.
void SetKnobs(const std::string &lines)
{
    SetStandinKnobs(lines);
}

// Windows path of a small memory file system that holds the mailbox, or ""
// when none could be mounted (see with_popfile_standin.sh).
std::string SmallDisk()
{
    return Environment("SORTELLA_SMALL_DISK");
}

std::string ReclassifyLog()
{
    return HostReadFile(Popfile().state + "\\reclassify.log");
}

std::string HistoryRecords()
{
    return HostReadFile(Popfile().state + "\\history.txt");
}

// ---- The host and the plug-in -------------------------------------------

std::string IniPath()
{
    return HostProgramDirectory() + "Plugins\\sortella.ini";
}

std::string LogPath()
{
    return HostProgramDirectory() + "Plugins\\sortella.log";
}

// The lines of events the filing log beside the settings file gained
// since it held `before` bytes (a new log's header line left out).
std::vector<std::vector<std::string>> LogRowsSince(size_t before)
{
    std::vector<std::vector<std::string>> rows = LogRows(HostReadFile(LogPath()), before);
    if (before == 0 && !rows.empty())
        rows.erase(rows.begin());
    return rows;
}

size_t LogSize()
{
    return HostReadFile(LogPath()).size();
}

std::string IniUrl()
{
    char value[512];
    GetPrivateProfileStringA("Setup", "URL", "", value, sizeof value, IniPath().c_str());
    return value;
}

// A fresh settings file (URL, rules spam -> ごみ箱 and work -> 仕事, no
// summary box) and a freshly loaded plug-in: empty bucket list and key.
void StartPlugin(const std::string &url)
{
    HostUnloadPlugin();
    CreateDirectoryA((HostProgramDirectory() + "Plugins").c_str(), NULL);
    std::string path = IniPath();
    const char *ini = path.c_str();
    DeleteFileA(ini);
    // Without a log: one that grew to its cap over earlier runs would
    // begin anew in the middle of a test.
    DeleteFileA(LogPath().c_str());
    WritePrivateProfileStringA("Setup", "URL", url.c_str(), ini);
    WritePrivateProfileStringA("Setup", "DispDialog", "0", ini);
    WritePrivateProfileStringA("Setup", "Beep", "0", ini);
    WritePrivateProfileStringA("Setup", "CheckConnect", "0", ini);
    WritePrivateProfileStringA("MoveMail", "spam", "ごみ箱", ini);
    WritePrivateProfileStringA("MoveMail", "work", "仕事", ini);
    WritePrivateProfileStringA(NULL, NULL, NULL, ini);
    ASSERT_EQ(HostLoadPlugin((HostProgramDirectory() + "sortella.dll").c_str()), 1);
    ASSERT_EQ(HostStartPlugin(), 1u);
}

const char kAccount[] = "acc1";
const char kTitle[] = "仕事用";

size_t HostFolderItems();

HWND FolderWindow()
{
    static HWND folder;
    if (!folder) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        char mailbox[MAX_PATH];
        // A new one for every run: Wine gives a later run the same process
        // id, and folders holding an earlier run's messages would count.
        snprintf(mailbox, sizeof mailbox, "%ssortella-classifier-%lu-%lu\\", temp, GetCurrentProcessId(),
                 GetTickCount());
        // On a small disk of its own when the wrapper could mount one, so
        // that a test can fill it.
        if (!SmallDisk().empty())
            snprintf(mailbox, sizeof mailbox, "%s\\mailbox\\", SmallDisk().c_str());
        HostSetMailbox(mailbox);
        std::string transcript = Environment("SORTELLA_TRANSCRIPT");
        if (!transcript.empty())
            HostTranscriptTo(transcript.c_str());
        HostAddAccount(kAccount, kTitle, "127.0.0.1", Environment("SORTELLA_POPFILE_POP3").c_str(), "0");
        HostAddFolder(kAccount, "仕事");
        StartPlugin(Popfile().base);
        folder = HostCreateFolderWindow(kAccount, HOST_FOLDER_NO_FOLDER_CREATE);
        if (!HostPluginModule() || !folder || Popfile().port.empty()) {
            // Nothing after this could run: say why and stop.
            for (const HostEvent &event : HostEvents())
                fprintf(stderr, "%s: %s\n", event.kind.c_str(), event.text.c_str());
            fprintf(stderr, "no plug-in, folder window or stand-in port\n");
            exit(1);
        }
        // Counted now, once: counting builds a folder menu, which would end
        // a menu that a test has built and not yet read.
        HostFolderItems();
    }
    return folder;
}

// Writes a message into the account's inbox and makes it the folder
// window's current message. Returns its path.
std::string ShowMessage(const std::string &headers, const char *folder = "郵便受け")
{
    HWND window = FolderWindow();
    std::string text = "From: a@example.com\nSubject: test\n" + headers + "\nbody line\n";
    std::string path = HostWriteMessage(kAccount, folder, nullptr, text.c_str());
    HostSelectEntry(window, HostEntryOfPath(path).c_str());
    return path;
}

std::string Link(const std::string &view)
{
    return "X-POPFile-Link: " + Popfile().base + "jump_to_message?view=" + view + "\n";
}

// ---- Menus read back ------------------------------------------------------

struct Item {
    std::string text; // Shift_JIS
    UINT type;
    UINT state;
    UINT id;
    HMENU submenu;
};

std::vector<Item> Items(HMENU menu)
{
    std::vector<Item> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[512] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        items.push_back({(info.fType & MFT_SEPARATOR) ? "" : text, info.fType, info.fState, info.wID,
                         info.hSubMenu});
    }
    return items;
}

// The items the plug-in appended: those after the host's own.
std::vector<Item> PluginItems(HMENU menu, size_t hostItems)
{
    std::vector<Item> items = Items(menu);
    return std::vector<Item>(items.begin() + std::min(hostItems, items.size()), items.end());
}

// Count of the host's own items in a folder window's context menu.
size_t HostFolderItems()
{
    static size_t count;
    if (!count) {
        std::string entry = HostCurrentEntry(FolderWindow());
        HostSelectEntry(FolderWindow(), nullptr);
        count = Items(HostBuildFolderMenu(FolderWindow())).size() - 1; // "POPFileを開く"
        HostSelectEntry(FolderWindow(), entry.c_str());
    }
    return count;
}

std::vector<HostEvent> Enrolments(size_t from)
{
    return HostEventsOfKind("enrol", from);
}

template <typename Entry>
Entry PluginEntry(const char *name)
{
    return reinterpret_cast<Entry>(reinterpret_cast<void *>(GetProcAddress(HostPluginModule(), name)));
}
typedef int(WINAPI *InitMenuEntry)(HWND window, HMENU menu, int code);

// ---- Tests ----------------------------------------------------------------

TEST(ClassifierMenus, SpamMessageGetsBucketSubmenuAndOpenCommand)
{
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    size_t hostItems = HostFolderItems();
    size_t events = HostEvents().size();
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    std::vector<Item> items = PluginItems(menu, hostItems);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "POPFile訂正[spam]");
    EXPECT_EQ(items[0].type, (UINT)MFT_STRING);
    ASSERT_NE(items[0].submenu, nullptr);
    EXPECT_EQ(items[1].text, "POPFileを開く");
    EXPECT_EQ(items[1].type, (UINT)MFT_STRING);
    EXPECT_EQ(items[1].submenu, nullptr);

    std::vector<Item> sub = Items(items[0].submenu);
    ASSERT_EQ(sub.size(), 5u);
    const char *names[] = {"inbox", "spam", "work"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(sub[i].text, names[i]);
        EXPECT_EQ(sub[i].type, (UINT)MFT_RADIOCHECK);
        EXPECT_EQ(sub[i].state, i == 1 ? (UINT)MFS_CHECKED : 0u);
    }
    EXPECT_EQ(sub[3].type, (UINT)MFT_SEPARATOR);
    EXPECT_EQ(sub[4].text, "バケツの再取得");
    EXPECT_EQ(sub[4].type, (UINT)MFT_STRING);

    // Enrolled in item order: the three buckets each with a value of its
    // own name, the refresh with 0, the open command with isView 0; each
    // item carries the id its enrolment returned.
    std::vector<HostEvent> enrolled = Enrolments(events);
    ASSERT_EQ(enrolled.size(), 5u);
    const UINT ids[] = {sub[0].id, sub[1].id, sub[2].id, sub[4].id, items[1].id};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(enrolled[i].result, ids[i]) << "enrolment " << i;
        EXPECT_NE(ids[i], 0u);
    }
    EXPECT_NE(enrolled[0].flags, enrolled[1].flags);
    EXPECT_NE(enrolled[1].flags, enrolled[2].flags);
    EXPECT_NE(enrolled[0].flags, enrolled[2].flags);
    EXPECT_EQ(enrolled[3].flags, 0u);
    EXPECT_EQ(enrolled[4].flags, 0u);
    // The next set-up names the same buckets with the same values: menu
    // set-ups repeat without bound, the names kept for them do not.
    events = HostEvents().size();
    HostBuildFolderMenu(FolderWindow());
    std::vector<HostEvent> again = Enrolments(events);
    ASSERT_EQ(again.size(), 5u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(again[i].flags, enrolled[i].flags) << "bucket " << i;
}

TEST(ClassifierMenus, RadioMarkNeedsTheExactName)
{
    ShowMessage("X-Text-Classification: Spam\n" + Link("5"));
    std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "POPFile訂正[Spam]");
    for (const Item &item : Items(items[0].submenu))
        EXPECT_EQ(item.state & MFS_CHECKED, 0u) << item.text;
}

TEST(ClassifierMenus, LabelIsCutAfter200Bytes)
{
    std::string bucket(300, 'x');
    ShowMessage("X-Text-Classification: " + bucket + "\n" + Link("5"));
    std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    ASSERT_EQ(items.size(), 2u);
    std::string prefix = "POPFile訂正[";
    EXPECT_EQ(items[0].text, prefix + std::string(200 - prefix.size(), 'x'));
}

TEST(ClassifierMenus, MessageWithoutVerdictOrNoMessageGetsOnlyOpen)
{
    ShowMessage(Link("5"));
    std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "POPFileを開く");

    HostSelectEntry(FolderWindow(), nullptr);
    items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "POPFileを開く");
}

TEST(ClassifierMenus, CodesTheyDoNotActOnAddNothing)
{
    FolderWindow();
    auto folderInit = PluginEntry<InitMenuEntry>("APCFolderInitMenu");
    auto viewInit = PluginEntry<InitMenuEntry>("APCViewInitMenu");
    ASSERT_NE(folderInit, nullptr);
    ASSERT_NE(viewInit, nullptr);
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    size_t events = HostEvents().size();
    const int folderCodes[] = {0, 101, 103, 201, 202, -1};
    for (int code : folderCodes) {
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(folderInit(FolderWindow(), menu, code), code);
        EXPECT_EQ(GetMenuItemCount(menu), 0) << "code " << code;
        DestroyMenu(menu);
    }
    const int viewCodes[] = {0, 102, 200, 203};
    for (int code : viewCodes) {
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(viewInit(FolderWindow(), menu, code), code);
        EXPECT_EQ(GetMenuItemCount(menu), 0) << "code " << code;
        DestroyMenu(menu);
    }
    EXPECT_TRUE(Enrolments(events).empty());
}

TEST(ClassifierMenus, ResultIsTheLastInsertion)
{
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    auto folderInit = PluginEntry<InitMenuEntry>("APCFolderInitMenu");
    auto viewInit = PluginEntry<InitMenuEntry>("APCViewInitMenu");
    HMENU menu = CreatePopupMenu();
    EXPECT_NE(folderInit(FolderWindow(), menu, 102), 0);
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    DestroyMenu(menu);
    // Code 201 on a menu without a fourth submenu: the items are missing.
    menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "one");
    EXPECT_EQ(viewInit(FolderWindow(), menu, 201), 0);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    DestroyMenu(menu);
}

TEST(ClassifierMenus, ViewMenusTakeTheItemsWithIsViewOne)
{
    std::string path = ShowMessage("X-Text-Classification: work\n" + Link("6"));
    HWND view = HostCreateViewWindow(path.c_str());
    ASSERT_NE(view, nullptr);

    size_t events = HostEvents().size();
    HMENU bar = HostBuildViewMenu(view, 201);
    ASSERT_NE(bar, nullptr);
    HMENU fourth = GetSubMenu(bar, 3);
    ASSERT_NE(fourth, nullptr);
    std::vector<Item> all = Items(fourth);
    ASSERT_GE(all.size(), 2u);
    const Item &correction = all[all.size() - 2];
    const Item &open = all.back();
    EXPECT_EQ(correction.text, "POPFile訂正[work]");
    EXPECT_EQ(open.text, "POPFileを開く");
    std::vector<Item> sub = Items(correction.submenu);
    ASSERT_EQ(sub.size(), 5u);
    EXPECT_EQ(sub[2].text, "work");
    EXPECT_EQ(sub[2].state, (UINT)MFS_CHECKED);
    std::vector<HostEvent> enrolled = Enrolments(events);
    ASSERT_EQ(enrolled.size(), 5u);
    EXPECT_EQ(enrolled.back().flags, 1u); // isView
    EXPECT_EQ(enrolled.back().result, open.id);

    HMENU popup = HostBuildViewMenu(view, 202);
    ASSERT_NE(popup, nullptr);
    all = Items(popup);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2].text, "POPFile訂正[work]");
    EXPECT_EQ(all.back().text, "POPFileを開く");

    // The open command of the view opens the view's message link.
    size_t before = HostEvents().size();
    HostChooseMenuItem(view, popup, {"POPFileを開く"});
    std::vector<HostEvent> shell = HostEventsOfKind("shell", before);
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].raw, Popfile().base + "jump_to_message?view=6");
    HostDestroyWindow(view);
}

TEST(ClassifierWire, TenMenuSetUpsMakeOneRequest)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    auto folderInit = PluginEntry<InitMenuEntry>("APCFolderInitMenu");
    size_t before = Requests().size();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double ms[10];
    for (int i = 0; i < 10; ++i) {
        HMENU menu = CreatePopupMenu();
        QueryPerformanceCounter(&start);
        folderInit(FolderWindow(), menu, 102);
        QueryPerformanceCounter(&end);
        ms[i] = 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
        ASSERT_EQ(GetMenuItemCount(menu), 2);
        DestroyMenu(menu);
    }
    std::vector<Request> requests = RequestsSince(before);
    ASSERT_EQ(requests.size(), 1u) << Targets(requests);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/buckets");
    double cached = 0;
    for (int i = 1; i < 10; ++i)
        cached += ms[i];
    printf("menu set-up: first (fetches the bucket page) %.1f ms, cached %.2f ms on average of 9\n",
           ms[0], cached / 9);
    RecordProperty("first_ms", std::to_string(ms[0]));
    RecordProperty("cached_ms", std::to_string(cached / 9));
}

// The request a GET sends, byte for byte, to the stand-in's port.
std::string GetRequestBytes(const std::string &target)
{
    return "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + Popfile().port +
           "\r\nUser-Agent: sortella\r\nConnection: close\r\n\r\n";
}

TEST(ClassifierWire, GetIsOnePlainRequestWithTheAgent)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    size_t before = Requests().size();
    HostBuildFolderMenu(FolderWindow());
    std::vector<Request> requests = RequestsSince(before);
    ASSERT_EQ(requests.size(), 1u) << Targets(requests);
    const std::string &raw = requests[0].raw;
    printf("GET on the wire:\n%s\n", raw.c_str());
    EXPECT_EQ(raw, GetRequestBytes("/buckets"));

    // A refresh fetches the page again.
    std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    before = Requests().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), items[0].submenu, {"バケツの再取得"}), 0u);
    requests = RequestsSince(before);
    ASSERT_EQ(requests.size(), 1u) << Targets(requests);
    EXPECT_EQ(requests[0].raw, GetRequestBytes("/buckets"));
}

// Path of the one message in `folder` of the account; "" when the folder
// holds none or several.
std::string OnlyMessageIn(const char *folder)
{
    std::vector<std::string> files = HostListMessages(kAccount, folder);
    if (files.size() != 1)
        return "";
    return HostAccountDirectory(kAccount) + folder + "\\" + files[0];
}

void EmptyFolder(const char *folder)
{
    for (const std::string &file : HostListMessages(kAccount, folder))
        DeleteFileA((HostAccountDirectory(kAccount) + folder + "\\" + file).c_str());
}

// Value of the first header line that begins with `name` (CR LF text).
std::string HeaderValue(const std::string &text, const std::string &name)
{
    size_t at = text.compare(0, name.size(), name) == 0 ? 0 : text.find("\r\n" + name);
    if (at == std::string::npos)
        return "<none>";
    at += (at == 0 ? 0 : 2) + name.size();
    return text.substr(at, text.find("\r\n", at) - at);
}

// The "X-Text-Classification:" value of the one message in `folder`, or
// "<not one message>" when the folder holds none or several.
std::string LabelOfOnlyMessageIn(const char *folder)
{
    std::string path = OnlyMessageIn(folder);
    if (path.empty())
        return "<not one message>";
    return HeaderValue(HostReadFile(path), "X-Text-Classification: ");
}

// The number of a message in the stand-in's history: of the first one it
// handed out, after retrieving one when it has handed out none. The
// retrieved message is deleted from the inbox.
std::string KnownView()
{
    if (HistoryRecords().empty()) {
        std::ofstream(Popfile().spool + "\\0000-known.eml", std::ios::binary)
            << "From: a@example.com\r\nSubject: hello\r\n\r\nbody\r\n";
        EXPECT_EQ(HostRetrieve(FolderWindow()), 1);
        HostPumpPending(); // a filing command the retrieval posted
        EmptyFolder("郵便受け");
    }
    std::string records = HistoryRecords();
    return records.substr(0, records.find('\t'));
}

TEST(ClassifierReclassify, SpamCorrectedToInboxEndToEnd)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    EmptyFolder("ごみ箱");
    std::ofstream(Popfile().spool + "\\0001-offer.eml", std::ios::binary)
        << "From: seller@example.com\r\nSubject: cheap viagra\r\n\r\nbuy now\r\n";
    ASSERT_EQ(HostRetrieve(FolderWindow()), 1);
    // The receive filter filed it by POPFile's verdict.
    ASSERT_TRUE(HostPumpUntil([] { return !OnlyMessageIn("ごみ箱").empty(); }, 20000));
    std::string path = OnlyMessageIn("ごみ箱");
    std::string before = HostReadFile(path);
    ASSERT_EQ(HeaderValue(before, "X-Text-Classification: "), "spam");
    std::string link = HeaderValue(before, "X-POPFile-Link: ");
    std::string view = link.substr(link.find("view=") + 5);
    ASSERT_FALSE(view.empty());

    HostSelectEntry(FolderWindow(), HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    size_t requestsBefore = Requests().size();
    size_t events = HostEvents().size();
    size_t logBefore = LogSize();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "inbox"}), 0u);

    // One line in the filing log: the bucket before and after, where the
    // message went, POPFile told.
    std::vector<std::vector<std::string>> logged = LogRowsSince(logBefore);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], (std::vector<std::string>{logged[0][0], "訂正", kTitle, HostEntryOfPath(path),
                                                   std::string(kTitle) + "\\郵便受け", "spam → inbox", "済",
                                                   "seller@example.com", "cheap viagra"}));
    EXPECT_TRUE(IsLogDate(logged[0][0])) << logged[0][0];

    // POPFile was told: the key from the bucket page, the message's link
    // (its redirect not followed), then the form; and no box says
    // otherwise.
    std::vector<Request> requests = RequestsSince(requestsBefore);
    ASSERT_EQ(requests.size(), 3u) << Targets(requests);
    EXPECT_EQ(requests[0].method + " " + requests[0].target, "GET /buckets");
    EXPECT_EQ(requests[1].method + " " + requests[1].target, "GET /jump_to_message?view=" + view);
    EXPECT_EQ(requests[1].raw, GetRequestBytes("/jump_to_message?view=" + view));
    EXPECT_EQ(requests[2].method + " " + requests[2].target, "POST /history");
    EXPECT_TRUE(HostEventsOfKind("box", events).empty());
    const std::string &raw = requests[2].raw;
    printf("POST on the wire:\n%s\n", raw.c_str());
    std::string body = "search=&sort=-inserted&session=" + Popfile().key +
                       "&negate=&start_message=0&filter=&reclassify_" + view +
                       "=inbox&change=%BA%C6%CA%AC%CE%E0";
    // One blank after "Content-Length:", the body in the same request, no
    // Content-Type: as POPFile's parser needs them.
    EXPECT_EQ(raw, "POST /history HTTP/1.0\r\nHost: 127.0.0.1:" + Popfile().port +
                       "\r\nUser-Agent: sortella\r\nConnection: close\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_NE(ReclassifyLog().find(view + "\tspam\tinbox\n"), std::string::npos) << ReclassifyLog();

    // The message names inbox and went back to the account's inbox.
    std::vector<HostEvent> moves = HostEventsOfKind("move", events);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].raw, HostEntryOfPath(path));
    EXPECT_EQ(moves[0].extra, std::string(kTitle) + "\\郵便受け");
    EXPECT_TRUE(HostListMessages(kAccount, "ごみ箱").empty());
    std::string moved = OnlyMessageIn("郵便受け");
    ASSERT_FALSE(moved.empty());
    std::string after = HostReadFile(moved);
    EXPECT_EQ(HeaderValue(after, "X-Text-Classification: "), "inbox");
    std::string expected = before;
    expected.replace(expected.find("X-Text-Classification: spam"), 27, "X-Text-Classification: inbox");
    EXPECT_EQ(after, expected);

    // A second correction fetches the key again.
    HostSelectEntry(FolderWindow(), HostEntryOfPath(moved).c_str());
    menu = HostBuildFolderMenu(FolderWindow());
    requestsBefore = Requests().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[inbox]", "work"}), 0u);
    requests = RequestsSince(requestsBefore);
    EXPECT_EQ(Targets(requests), "GET /buckets\nGET /jump_to_message?view=" + view + "\nPOST /history\n");
    EXPECT_NE(ReclassifyLog().find(view + "\tinbox\twork\n"), std::string::npos) << ReclassifyLog();
    EXPECT_FALSE(OnlyMessageIn("仕事").empty());
    EmptyFolder("仕事");
}

struct LocalRow {
    const char *label;
    std::string headers;
};

TEST(ClassifierReclassify, WithoutAUsableViewIdOnlyLocalStepsRun)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    const LocalRow rows[] = {
        {"no link", ""},
        {"view id not a number", Link("abc")},
        {"view id zero", Link("0")},
        {"view id negative", Link("-7")},
        {"view id beyond 32 bits", Link("4294967297")},
        {"no view in the link", "X-POPFile-Link: " + Popfile().base + "jump_to_message?id=3\n"},
    };
    for (const LocalRow &row : rows) {
        SCOPED_TRACE(row.label);
        EmptyFolder("郵便受け");
        EmptyFolder("仕事");
        std::string path = ShowMessage("X-Text-Classification: spam\n" + row.headers);
        HMENU menu = HostBuildFolderMenu(FolderWindow());
        size_t requestsBefore = Requests().size();
        size_t events = HostEvents().size();
        size_t logBefore = LogSize();
        ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "work"}), 0u);
        EXPECT_EQ(Targets(RequestsSince(requestsBefore)), "");
        EXPECT_TRUE(HostEventsOfKind("box", events).empty());
        std::vector<std::vector<std::string>> logged = LogRowsSince(logBefore);
        ASSERT_EQ(logged.size(), 1u);
        ASSERT_EQ(logged[0].size(), 9u);
        EXPECT_EQ(logged[0][5], "spam → work");
        EXPECT_EQ(logged[0][6], "view=の番号なし");
        std::vector<HostEvent> moves = HostEventsOfKind("move", events);
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(moves[0].extra, std::string(kTitle) + "\\仕事");
        EXPECT_EQ(LabelOfOnlyMessageIn("仕事"), "work");
    }
    EmptyFolder("仕事");
}

// Empties the URL setting through the setup dialog, as a user would; the
// bucket list already fetched stays.
void ClearUrlInSetupDialog()
{
    HostDriveDialog({{HostDialogStep::Type, IDC_URL, ""}, {HostDialogStep::Click, IDC_CONFIRM, ""}});
    HostRunSetup(FolderWindow());
    EXPECT_EQ(IniUrl(), "");
}

// Writes `url` into the settings file by hand, as a user with an editor
// would, and has the plug-in read the file again through the setup
// dialog's reload button.
void EditUrlByHand(const std::string &url)
{
    WritePrivateProfileStringA("Setup", "URL", url.c_str(), IniPath().c_str());
    HostDriveDialog({{HostDialogStep::Click, IDC_RELOAD, ""}});
    HostRunSetup(FolderWindow());
}

struct UntoldRow {
    const char *label;
    std::string link;                // the message's link header
    std::string knobs;               // set after the menu was built
    std::function<void()> makeCause; // also after the menu was built
    std::string targets;             // the requests of the correction
    const char *cause;               // the box's line that says why
    const char *logWords;            // the filing log's POPFile column
};

// One row of the test below: a correction of a spam message to work while
// the row's cause holds. A function of its own, so that a failed ASSERT
// ends the row and the next rows still run.
void CheckUntoldRow(const UntoldRow &row)
{
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    EmptyFolder("仕事");
    ShowMessage("X-Text-Classification: spam\n" + row.link);
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    if (row.makeCause)
        row.makeCause();
    SetKnobs(row.knobs);
    std::string records = HistoryRecords();
    size_t requestsBefore = Requests().size();
    size_t events = HostEvents().size();
    size_t logBefore = LogSize();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "work"}), 0u);
    SetKnobs("");
    std::vector<std::vector<std::string>> logged = LogRowsSince(logBefore);
    ASSERT_EQ(logged.size(), 1u);
    ASSERT_EQ(logged[0].size(), 9u);
    EXPECT_EQ(logged[0][1], "訂正");
    EXPECT_EQ(logged[0][6], row.logWords);
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)), row.targets);
    EXPECT_EQ(HistoryRecords(), records);

    EXPECT_EQ(LabelOfOnlyMessageIn("仕事"), "work");
    std::vector<HostEvent> all = HostEvents();
    std::vector<size_t> boxes, moves;
    for (size_t i = events; i < all.size(); ++i) {
        if (all[i].kind == "box")
            boxes.push_back(i);
        if (all[i].kind == "move")
            moves.push_back(i);
    }
    ASSERT_EQ(boxes.size(), 1u);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_GT(boxes[0], moves[0]) << "the box comes after the refile";
    const HostEvent &box = all[boxes[0]];
    printf("box (%s):\n%s\n", row.label, box.text.c_str());
    EXPECT_EQ(box.raw.rfind("POPFileにこの訂正を伝えられませんでした。\n", 0), 0u) << box.text;
    EXPECT_NE(box.raw.find(std::string("\n") + row.cause + "\n"), std::string::npos) << box.text;
    EXPECT_EQ(box.extra, "Sortella");
    EXPECT_EQ(box.flags, (DWORD)(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(box.window, FolderWindow());
}

// Each cause of a correction that POPFile did not take gives one box, owned
// by the command's window, after the local relabel and refile; nothing is
// recorded by POPFile.
TEST(ClassifierReclassify, EachUntoldCauseGivesItsBoxAfterTheLocalSteps)
{
    FolderWindow();
    const std::string view = KnownView();
    ASSERT_FALSE(view.empty());
    const std::string buckets = "GET /buckets\n";
    const std::string jump = buckets + "GET /jump_to_message?view=" + view + "\n";
    const char *notPopfile = "POPFileのURLで答えたのは、POPFile コントロールセンターではありませんでした。";
    // A link that teaches no URL: its scheme is not http.
    const std::string https = "X-POPFile-Link: https://127.0.0.1:" + Popfile().port + "/jump_to_message?view=" +
                              view + "\n";
    const UntoldRow rows[] = {
        {"no URL", https, "", ClearUrlInSetupDialog, "",
         "POPFileのURLが設定されていないか、正しくありません。", "URLが未設定か不正"},
        {"a blank in a URL edited by hand", https, "",
         [] { EditUrlByHand("http://127.0.0.1:" + Popfile().port + "/a b/"); }, "",
         "POPFileのURLが設定されていないか、正しくありません。", "URLが未設定か不正"},
        {"POPFile stopped", Link(view), "http-delay never\n", nullptr, "",
         "POPFileにつながらないか、POPFileが時間内に応答しませんでした。", "POPFileが応答せず"},
        {"password on the web interface", Link(view), "password on\n", nullptr, buckets,
         "POPFile コントロールセンターにパスワードが設定されていると、訂正を送ることができません。",
         "POPFileにパスワード"},
        {"a bucket page without the key", Link(view), "buckets-page no-session\n", nullptr, buckets, notPopfile,
         "POPFileでないものが応答"},
        {"the bucket renamed in POPFile", Link(view), "buckets-page no-buckets\n", nullptr, buckets,
         "POPFileには「work」というバケツがもうありません（名前を変えたか、削除したバケツです）。",
         "POPFileにないバケツ"},
        {"a jump answered without a redirect", Link(view), "status /jump_to_message 200\n", nullptr, jump,
         notPopfile, "POPFileでないものが応答"},
        // Slow answers spend the budget before the form: less than 2 s
        // would be left for it, so it is not sent.
        {"too little time left for the form", Link(view), "http-slow-ms 1600\n", nullptr, jump,
         "POPFileにつながらないか、POPFileが時間内に応答しませんでした。", "POPFileが応答せず"},
        {"gone from the history", Link(view), "gone-view " + view + "\n", nullptr, jump,
         "このメールはPOPFileの履歴から消えています（POPFileは、既定では2日より古い履歴を消します）。",
         "履歴から消えている"},
        {"form not sent", Link(view), "status /history drop\n", nullptr, jump + "POST /history\n",
         "訂正の送信に失敗しました。", "送信に失敗"},
    };
    for (const UntoldRow &row : rows) {
        SCOPED_TRACE(row.label);
        CheckUntoldRow(row);
    }
    EmptyFolder("仕事");
}

// A view window's menu bar is set up when the view opens; a right click on
// another message of the folder window in between must not make a bucket
// chosen in the view's bar act on that other message.
TEST(ClassifierReclassify, CorrectsTheMessageOfTheWindowOfTheCommand)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    EmptyFolder("仕事");
    const std::string view = KnownView();
    std::string shown = ShowMessage("X-Text-Classification: spam\n" + Link(view));
    HWND viewWindow = HostCreateViewWindow(shown.c_str());
    ASSERT_NE(viewWindow, nullptr);
    HMENU bar = HostBuildViewMenu(viewWindow, 201);
    ASSERT_NE(bar, nullptr);
    std::string other = ShowMessage("X-Text-Classification: inbox\n" + Link("77"));
    std::string otherBefore = HostReadFile(other);
    HostBuildFolderMenu(FolderWindow());

    size_t requestsBefore = Requests().size();
    size_t events = HostEvents().size();
    ASSERT_NE(HostChooseMenuItem(viewWindow, GetSubMenu(bar, 3), {"POPFile訂正[spam]", "work"}), 0u);
    std::vector<Request> requests = RequestsSince(requestsBefore);
    ASSERT_EQ(Targets(requests), "GET /buckets\nGET /jump_to_message?view=" + view + "\nPOST /history\n");
    EXPECT_NE(requests[2].raw.find("&reclassify_" + view + "=work&"), std::string::npos) << requests[2].raw;
    EXPECT_TRUE(HostEventsOfKind("box", events).empty());
    std::vector<HostEvent> moves = HostEventsOfKind("move", events);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].raw, HostEntryOfPath(shown));
    EXPECT_EQ(LabelOfOnlyMessageIn("仕事"), "work");
    EXPECT_EQ(HostReadFile(other), otherBefore);
    HostDestroyWindow(viewWindow);
    EmptyFolder("郵便受け");
    EmptyFolder("仕事");
}

// A refresh between the menu and the choice reorders the list: the bucket
// is the one the chosen item named, not the one now at its place.
TEST(ClassifierReclassify, BucketIsTheOneTheItemNamed)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    EmptyFolder("仕事");
    const std::string view = KnownView();
    ShowMessage("X-Text-Classification: spam\n" + Link(view));
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    std::vector<Item> items = PluginItems(menu, HostFolderItems());
    ASSERT_EQ(items.size(), 2u);
    // The list becomes work, spam, inbox: "work" was the third item.
    SetKnobs("bucket-order reversed\n");
    size_t requestsBefore = Requests().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), items[0].submenu, {"バケツの再取得"}), 0u);
    SetKnobs("");
    ASSERT_EQ(Targets(RequestsSince(requestsBefore)), "GET /buckets\n");

    requestsBefore = Requests().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "work"}), 0u);
    std::vector<Request> requests = RequestsSince(requestsBefore);
    ASSERT_EQ(requests.size(), 3u) << Targets(requests);
    EXPECT_NE(requests[2].raw.find("&reclassify_" + view + "=work&"), std::string::npos) << requests[2].raw;
    EXPECT_EQ(LabelOfOnlyMessageIn("仕事"), "work");
    EmptyFolder("仕事");
}

// A bucket page that does not come whole in time makes the correction post
// nothing, nor ask anything more; the message is relabelled and refiled
// all the same. A flood is read as far as the limit, which holds the key,
// but a page that long is not POPFile's.
TEST(ClassifierReclassify, BucketPageNotInTimePostsNothing)
{
    FolderWindow();
    const std::string view = KnownView();
    ASSERT_FALSE(view.empty());
    const struct {
        const char *knobs;
        const char *requests;
    } rows[] = {
        // Accepts and never answers; a page that trickles ends the same
        // way (the HTTP client's own tests and the menu's rows show it).
        {"http-slow-ms 600000\n", "GET /buckets\n"},
        {"http-flood-bytes 33554432\n", "GET /buckets\n"},
        {"http-endless-chunks on\n", "GET /buckets\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.knobs);
        StartPlugin(Popfile().base);
        EmptyFolder("郵便受け");
        ShowMessage("X-Text-Classification: work\n" + Link(view));
        HMENU menu = HostBuildFolderMenu(FolderWindow());
        SetKnobs(row.knobs);
        size_t requestsBefore = Requests().size();
        ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[work]", "inbox"}), 0u);
        SetKnobs("");
        EXPECT_EQ(Targets(RequestsSince(requestsBefore)), row.requests);
        EXPECT_EQ(LabelOfOnlyMessageIn("郵便受け"), "inbox");
    }
}

// A message without a POPFile number, corrected from a menu older than a
// refresh that dropped the bucket: nothing to ask POPFile, and the bucket
// is gone from its list; relabelled and refiled all the same, with a box.
TEST(ClassifierReclassify, StaleItemAfterRefreshIsRelabelledWithABox)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    EmptyFolder("仕事");
    ShowMessage("X-Text-Classification: spam\n");
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    SetKnobs("buckets-page no-buckets\n");
    std::vector<Item> items = PluginItems(menu, HostFolderItems());
    ASSERT_EQ(items.size(), 2u);
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), items[0].submenu, {"バケツの再取得"}), 0u);
    SetKnobs("");
    size_t requestsBefore = Requests().size();
    size_t events = HostEvents().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "work"}), 0u);
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)), "");
    EXPECT_EQ(HostEventsOfKind("move", events).size(), 1u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].raw.find("POPFileには「work」というバケツがもうありません"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(LabelOfOnlyMessageIn("仕事"), "work");
    EmptyFolder("仕事");
}

// POPFile records a correction before it answers: a form whose answer does
// not come in time may have been taken, and the box says so, pointing at
// POPFile's history rather than at trying again.
TEST(ClassifierReclassify, LateAnswerToTheFormSaysPopfileMayHaveTakenIt)
{
    FolderWindow();
    const std::string view = KnownView();
    ASSERT_FALSE(view.empty());
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    EmptyFolder("仕事");
    ShowMessage("X-Text-Classification: spam\n" + Link(view));
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    std::string log = ReclassifyLog();
    SetKnobs("status /history hold\n");
    size_t requestsBefore = Requests().size();
    size_t events = HostEvents().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "work"}), 0u);
    SetKnobs("");
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)),
              "GET /buckets\nGET /jump_to_message?view=" + view + "\nPOST /history\n");
    std::string recorded = ReclassifyLog().substr(log.size());
    EXPECT_EQ(recorded.rfind(view + "\t", 0), 0u) << "POPFile took it: " << recorded;
    EXPECT_EQ(recorded.size() - recorded.rfind("\twork\n"), 6u) << recorded;
    EXPECT_EQ(HostEventsOfKind("move", events).size(), 1u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].raw.rfind("POPFileがこの訂正を受け付けたかどうか、わかりませんでした。\n", 0), 0u)
        << boxes[0].text;
    EXPECT_NE(boxes[0].raw.find("「履歴」のページで、このメールの行に「再分類されました」と出ていないか"),
              std::string::npos)
        << boxes[0].text;
    EmptyFolder("仕事");
}

// Choosing the bucket that the message already names asks first whether
// POPFile should be told once more (it would learn the message again);
// "No", the default, does nothing at all, "Yes" corrects as usual.
TEST(ClassifierReclassify, TheCheckedBucketAsksBeforeTellingAgain)
{
    FolderWindow();
    const std::string view = KnownView();
    ASSERT_FALSE(view.empty());
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    std::string path = ShowMessage("X-Text-Classification: spam\n" + Link(view));
    std::string before = HostReadFile(path);
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    std::string log = ReclassifyLog();

    size_t requestsBefore = Requests().size();
    size_t events = HostEvents().size();
    HostQueueBoxAnswer(IDNO);
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "spam"}), 0u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    ASSERT_EQ(boxes.size(), 1u);
    printf("question:\n%s\n", boxes[0].text.c_str());
    EXPECT_EQ(boxes[0].flags, (DWORD)(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(boxes[0].raw.rfind("このメールのバケツは、すでに「spam」です。\nPOPFileにもう一度「spam」と伝えますか？\n", 0),
              0u)
        << boxes[0].text;
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)), "");
    EXPECT_TRUE(HostEventsOfKind("move", events).empty());
    EXPECT_EQ(HostReadFile(path), before);

    events = HostEvents().size();
    HostQueueBoxAnswer(IDYES);
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "spam"}), 0u);
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)),
              "GET /buckets\nGET /jump_to_message?view=" + view + "\nPOST /history\n");
    EXPECT_EQ(HostEventsOfKind("box", events).size(), 1u) << "the question only";
    EXPECT_EQ(ReclassifyLog().substr(log.size()).rfind(view + "\t", 0), 0u) << "POPFile was told again";
}

// A view window open for long keeps its menu's kind while the folder
// window's menus come and go; once its kind has given way (after 64 other
// windows, all still open), a bucket chosen in it says to open the menu
// again and does nothing else.
TEST(ClassifierReclassify, AWindowWhoseKindGaveWayGetsABox)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    EmptyFolder("郵便受け");
    std::string shown = ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    HWND viewWindow = HostCreateViewWindow(shown.c_str());
    ASSERT_NE(viewWindow, nullptr);
    HMENU bar = HostBuildViewMenu(viewWindow, 201);
    ASSERT_NE(bar, nullptr);
    // Closed views give way first: the long open one keeps its place. The
    // others show a message without a verdict: only their kind is noted.
    std::string plain = ShowMessage("");
    for (int i = 0; i < 64; ++i) {
        HWND other = HostCreateViewWindow(plain.c_str());
        HostBuildViewMenu(other, 202);
        HostDestroyWindow(other);
    }
    // Still known: the checked bucket's question comes (answered No).
    size_t events = HostEvents().size();
    HostQueueBoxAnswer(IDNO);
    ASSERT_NE(HostChooseMenuItem(viewWindow, GetSubMenu(bar, 3), {"POPFile訂正[spam]", "spam"}), 0u);
    std::vector<HostEvent> question = HostEventsOfKind("box", events);
    ASSERT_EQ(question.size(), 1u);
    EXPECT_EQ(question[0].flags, (DWORD)(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    std::vector<HWND> open;
    for (int i = 0; i < 64; ++i) {
        open.push_back(HostCreateViewWindow(plain.c_str()));
        HostBuildViewMenu(open.back(), 202);
    }
    size_t requestsBefore = Requests().size();
    events = HostEvents().size();
    std::string before = HostReadFile(shown);
    ASSERT_NE(HostChooseMenuItem(viewWindow, GetSubMenu(bar, 3), {"POPFile訂正[spam]", "work"}), 0u);
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)), "");
    EXPECT_TRUE(HostEventsOfKind("move", events).empty());
    EXPECT_EQ(HostReadFile(shown), before);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].raw.rfind("このウィンドウのメールがわからなくなったため、訂正できませんでした。\n", 0), 0u)
        << boxes[0].text;
    for (HWND window : open)
        HostDestroyWindow(window);
    HostDestroyWindow(viewWindow);
}

struct FetchRow {
    const char *label;
    const char *knobs;
    int buckets; // bucket items shown; 0: the notice instead
};

TEST(ClassifierWire, BadAnswersGiveTheNoticeAndNoRefreshItem)
{
    FolderWindow();
    const FetchRow rows[] = {
        {"not found", "status /buckets 404\n", 0},
        {"server error", "status /buckets 500\n", 0},
        {"error status with the real page", "status /buckets 500 page\n", 3},
        {"no session link", "buckets-page no-session\n", 0},
        {"no buckets", "buckets-page no-buckets\n", 0},
        {"slow", "http-slow-ms 1500\n", 3},
        {"patterns in upper case", "pattern-case upper\n", 3},
        {"patterns in mixed case", "pattern-case mixed\n", 3},
        // Given up at the deadline: the set-up returns with the notice.
        {"accepts and never answers", "http-slow-ms 600000\n", 0},
        {"a byte a second", "http-trickle-ms 1000\n", 0},
        {"headers a byte every 250 ms", "http-header-trickle-ms 250\n", 0},
        {"cut inside the headers", "http-close-after 40\n", 0},
        // 32 MB of bucket links: the first 100 names of the first MiB.
        {"flood", "http-flood-bytes 33554432\n", 100},
        {"chunks without end", "http-endless-chunks on\n", 100},
    };
    for (const FetchRow &row : rows) {
        SCOPED_TRACE(row.label);
        StartPlugin(Popfile().base);
        ShowMessage("X-Text-Classification: spam\n" + Link("5"));
        SetKnobs(row.knobs);
        std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
        SetKnobs("");
        ASSERT_EQ(items.size(), 2u);
        std::vector<Item> sub = Items(items[0].submenu);
        if (row.buckets > 0) {
            ASSERT_EQ(sub.size(), row.buckets + 2u);
            EXPECT_EQ(sub[1].text, "spam");
            EXPECT_EQ(sub[row.buckets + 1].text, "バケツの再取得");
        } else {
            ASSERT_EQ(sub.size(), 1u);
            EXPECT_EQ(sub[0].text, "POPFileの情報が取得できません");
            EXPECT_EQ(sub[0].type, (UINT)MFT_STRING);
            EXPECT_EQ(sub[0].id, 0u);
            // The next set-up tries again.
            sub = Items(PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems())[0].submenu);
            EXPECT_EQ(sub.size(), 5u);
        }
    }
}

// A POPFile whose port refuses connections gives the notice, and the menu
// set-ups that follow (one per right click) leave it alone for a while;
// "バケツの再取得" beside the notice asks at once.
TEST(ClassifierWire, UnreachablePopfileIsLeftAloneUntilTheUserAsks)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    SetKnobs("http-delay never\n");
    std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    SetKnobs("");
    ASSERT_EQ(items.size(), 2u);
    std::vector<Item> sub = Items(items[0].submenu);
    ASSERT_EQ(sub.size(), 3u);
    EXPECT_EQ(sub[0].text, "POPFileの情報が取得できません");
    EXPECT_EQ(sub[1].type, (UINT)MFT_SEPARATOR);
    EXPECT_EQ(sub[2].text, "バケツの再取得");

    size_t before = Requests().size();
    items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    EXPECT_EQ(Targets(RequestsSince(before)), "") << "the next right click waits for no connect";
    ASSERT_EQ(Items(items[0].submenu).size(), 3u);
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), items[0].submenu, {"バケツの再取得"}), 0u);
    EXPECT_EQ(Targets(RequestsSince(before)), "GET /buckets\n");
    EXPECT_EQ(Items(PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems())[0].submenu).size(), 5u);
}

TEST(ClassifierLearning, BaseUrlOnlyFromAnHttpLinkAndOnlyOnce)
{
    FolderWindow();
    StartPlugin("");
    size_t requestsBefore = Requests().size();
    // Which links teach is a rule of its own (native tests); here only
    // that a refused one teaches nothing and asks nothing.
    // Forged links teach nothing either, and leave the settings file clean:
    // a quote that would break out of the browser's command line, lone CRs
    // that would write keys of their own.
    // And a link may only name POPFile's own hosts: a loopback address or
    // the server the account's mail comes through (127.0.0.1 here).
    const std::string elsewhere = "X-POPFile-Link: http://tracker.example:" + Popfile().port +
                                  "/jump_to_message?view=3\n";
    const std::string refused[] = {"X-POPFile-Link: file://C:/x/jump?view=3\n",
                             "X-POPFile-Link: http://127.0.0.1:1/view=3\n", elsewhere,
                             "X-POPFile-Link: http://x/\" --flag=\"jump_to_message?view=1\n",
                             "X-POPFile-Link: http://evil/\rBeep=1\rjump_to_message?view=1\n"};
    for (const std::string &link : refused) {
        SCOPED_TRACE(link);
        ShowMessage("X-Text-Classification: spam\n" + link);
        std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
        ASSERT_EQ(items.size(), 2u);
        std::vector<Item> sub = Items(items[0].submenu);
        ASSERT_EQ(sub.size(), 1u);
        EXPECT_EQ(sub[0].text, "POPFileの情報が取得できません");
        EXPECT_EQ(IniUrl(), "");
    }
    EXPECT_EQ(Targets(RequestsSince(requestsBefore)), "");
    std::string ini = HostReadFile(IniPath());
    EXPECT_EQ(ini.find("Beep=1"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("flag"), std::string::npos) << ini;

    // The first http:// link teaches the URL, in time for this menu.
    ShowMessage("X-Text-Classification: spam\n" + Link("5"));
    std::vector<Item> items = PluginItems(HostBuildFolderMenu(FolderWindow()), HostFolderItems());
    EXPECT_EQ(IniUrl(), Popfile().base);
    EXPECT_EQ(Items(items[0].submenu).size(), 5u);
    ShowMessage("X-Text-Classification: spam\nX-POPFile-Link: http://127.0.0.1:1/jump_to_message?view=2\n");
    HostBuildFolderMenu(FolderWindow());
    EXPECT_EQ(IniUrl(), Popfile().base);

    // A message of an account whose mail comes through "POPFile.lan" may
    // teach a link of that machine (its name in any letter case).
    StartPlugin("");
    HostAddAccount("lan", "LAN", "POPFile.lan", "110", "0");
    std::string lanLink = "X-POPFile-Link: http://popfile.lan:" + Popfile().port + "/jump_to_message?view=3\n";
    std::string path = HostWriteMessage("lan", "郵便受け", nullptr,
                                        ("Subject: lan\nX-Text-Classification: spam\n" + lanLink + "\nbody\n").c_str());
    HostSelectEntry(FolderWindow(), HostEntryOfPath(path).c_str());
    HostBuildFolderMenu(FolderWindow());
    EXPECT_EQ(IniUrl(), "http://popfile.lan:" + Popfile().port + "/");
    DeleteFileA(path.c_str());
}

struct OpenRow {
    const char *label;
    std::string link; // "" for no header
    std::string opened; // "" for nothing
};

TEST(ClassifierOpen, OnlyWebLinksAreOpened)
{
    FolderWindow();
    const std::string base = Popfile().base;
    const std::string good = base + "jump_to_message?view=5";
    const OpenRow withUrl[] = {
        {"message link", good, good},
        {"no link", "", base},
        // Which links are web links is a rule of its own (native tests).
        {"file link", "file:///C:/windows/system32/calc.exe", base},
    };
    StartPlugin(base);
    for (const OpenRow &row : withUrl) {
        SCOPED_TRACE(row.label);
        ShowMessage("X-Text-Classification: spam\n" +
                    (row.link.empty() ? std::string() : "X-POPFile-Link: " + row.link + "\n"));
        HMENU menu = HostBuildFolderMenu(FolderWindow());
        size_t events = HostEvents().size();
        ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFileを開く"}), 0u);
        std::vector<HostEvent> shell = HostEventsOfKind("shell", events);
        ASSERT_EQ(shell.size(), 1u);
        EXPECT_EQ(shell[0].raw, row.opened);
        EXPECT_EQ(shell[0].extra, "open");
        EXPECT_EQ(shell[0].flags, (DWORD)SW_SHOWNORMAL);
        EXPECT_EQ(shell[0].window, nullptr);
        EXPECT_TRUE(HostEventsOfKind("process", events).empty());
    }

    // Without a URL setting a forged link opens nothing at all.
    StartPlugin("");
    const char *forged[] = {"", "file:///C:/windows/system32/calc.exe", "C:\\windows\\notepad.exe"};
    for (const char *link : forged) {
        SCOPED_TRACE(link);
        ShowMessage(std::string("X-Text-Classification: spam\n") +
                    (*link ? std::string("X-POPFile-Link: ") + link + "\n" : std::string()));
        HMENU menu = HostBuildFolderMenu(FolderWindow());
        size_t events = HostEvents().size();
        ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFileを開く"}), 0u);
        EXPECT_TRUE(HostEventsOfKind("shell", events).empty());
        EXPECT_TRUE(HostEventsOfKind("process", events).empty());
    }
    EXPECT_EQ(IniUrl(), "");

    // Nor does a URL setting that is not a clean base URL (edited by hand).
    StartPlugin("http://127.0.0.1:1/\" --new-window \"file:///C:/");
    ShowMessage("X-Text-Classification: spam\n");
    HMENU menu = HostBuildFolderMenu(FolderWindow());
    size_t events = HostEvents().size();
    ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFileを開く"}), 0u);
    EXPECT_TRUE(HostEventsOfKind("shell", events).empty());
}

// A message of an account whose folder name holds 0x5C as a second byte
// (表計算) is relabelled and refiled into that account's folder.
TEST(ClassifierReclassify, MessageOfAJapaneseAccountFolderIsRefiled)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    const char account[] = "表計算";
    const std::string title = "表計算の仕事";
    ASSERT_EQ(HostAddAccount(account, title.c_str(), "127.0.0.1", "1", "0"), 1);
    ASSERT_EQ(HostAddFolder(account, "仕事"), 1);
    HWND window = HostCreateFolderWindow(account, HOST_FOLDER_NO_FOLDER_CREATE);
    ASSERT_NE(window, nullptr);
    std::string path = HostWriteMessage(account, "郵便受け", nullptr,
                                        "From: a@example.com\nX-Text-Classification: spam\n\nbody\n");
    HostSelectEntry(window, HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(window);
    size_t events = HostEvents().size();
    ASSERT_NE(HostChooseMenuItem(window, menu, {"POPFile訂正[spam]", "work"}), 0u);
    std::vector<HostEvent> moves = HostEventsOfKind("move", events);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].raw, HostEntryOfPath(path));
    EXPECT_EQ(moves[0].extra, title + "\\仕事");
    std::vector<std::string> filed = HostListMessages(account, "仕事");
    ASSERT_EQ(filed.size(), 1u);
    std::string moved = HostAccountDirectory(account) + "仕事\\" + filed[0];
    EXPECT_EQ(HeaderValue(HostReadFile(moved), "X-Text-Classification: "), "work");
    HostDestroyWindow(window);
}

// ---- A header rewrite that cannot complete ------------------------------

// Fills the small disk with a file until no byte more fits; the file is
// deleted by the caller.
void FillDisk(const std::string &filler)
{
    HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<char> block(65536, 'f');
    for (DWORD size = 65536; size > 0; size /= 2) {
        DWORD written = 0;
        while (WriteFile(file, block.data(), size, &written, NULL) && written == size) {
        }
    }
    CloseHandle(file);
}

struct RefusedRow {
    const char *label;
    // Makes the replace impossible for `path`; returns what undoes it.
    std::function<std::function<void()>(const std::string &path)> refuse;
    bool moveSucceeds; // whether the host can still move the message
};

// The message file keeps every byte when its rewritten copy cannot take its
// place; no copy is left beside it, POPFile is told all the same, and the
// message is filed by the verdict it still holds.
TEST(ClassifierReclassify, RefusedReplaceLosesNothing)
{
    FolderWindow();
    StartPlugin(Popfile().base);
    const RefusedRow rows[] = {
        {"held open by the host without delete or write sharing",
         [](const std::string &path) {
             HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, NULL);
             EXPECT_NE(held, INVALID_HANDLE_VALUE);
             return std::function<void()>([held] { CloseHandle(held); });
         },
         false},
        {"read-only message file",
         [](const std::string &path) {
             EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
             return std::function<void()>([] {});
         },
         true},
        {"disk full",
         [](const std::string &) {
             std::string filler = SmallDisk() + "\\filler";
             FillDisk(filler);
             return std::function<void()>([filler] { DeleteFileA(filler.c_str()); });
         },
         true},
    };
    for (const RefusedRow &row : rows) {
        SCOPED_TRACE(row.label);
        if (std::string(row.label) == "disk full" && SmallDisk().empty()) {
            printf("[  SKIPPED ] disk full: no small disk could be mounted (needs root and tmpfs)\n");
            continue;
        }
        EmptyFolder("郵便受け");
        EmptyFolder("ごみ箱");
        std::string path = ShowMessage("X-Text-Classification: spam\n" + Link(KnownView()));
        std::string before = HostReadFile(path);
        HMENU menu = HostBuildFolderMenu(FolderWindow());
        size_t requestsBefore = Requests().size();
        size_t events = HostEvents().size();
        size_t logBefore = LogSize();
        std::function<void()> undo = row.refuse(path);
        ASSERT_NE(HostChooseMenuItem(FolderWindow(), menu, {"POPFile訂正[spam]", "inbox"}), 0u);
        undo();
        // The log says where the message was sent and whether it went.
        std::vector<std::vector<std::string>> logged = LogRowsSince(logBefore);
        ASSERT_EQ(logged.size(), 1u);
        ASSERT_EQ(logged[0].size(), 9u);
        EXPECT_EQ(logged[0][4], std::string(kTitle) + "\\ごみ箱" + (row.moveSucceeds ? "" : " (移動できず)"));
        EXPECT_EQ(logged[0][5], "spam → inbox");

        EXPECT_EQ(Targets(RequestsSince(requestsBefore)),
                  "GET /buckets\nGET /jump_to_message?view=" + KnownView() + "\nPOST /history\n");
        std::vector<HostEvent> moves = HostEventsOfKind("move", events);
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(moves[0].raw, HostEntryOfPath(path));
        EXPECT_EQ(moves[0].extra, std::string(kTitle) + "\\ごみ箱");
        EXPECT_EQ(moves[0].result != 0, row.moveSucceeds);
        std::string now = row.moveSucceeds ? OnlyMessageIn("ごみ箱") : path;
        ASSERT_FALSE(now.empty());
        SetFileAttributesA(now.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(HostReadFile(now), before);
        std::string temporary = path.substr(0, path.size() - 3) + "TMP";
        EXPECT_EQ(GetFileAttributesA(temporary.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(IsWindow(FolderWindow()));
    }
    EmptyFolder("郵便受け");
    EmptyFolder("ごみ箱");
}

} // namespace
