// The real sortella.dll, loaded by the host stand-in, against the real
// POPFile 1.1.3 that with_real_popfile.py starts twice, with its English
// and with its Japanese web interface, both trained with the buckets
// personal, spam and work. The host retrieves mail through POPFile's proxy
// from the script's mail server; the plug-in files it by POPFile's verdict,
// offers POPFile's buckets, tells POPFile of a correction and opens the
// link that POPFile wrote. What POPFile recorded is read from its database
// by the script, on request (see Ask).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "standins/host/host.h"
#include "tests/printable.h"
#include "tests/win/crash_report.h"

namespace {

std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

// ---- The script's side ---------------------------------------------------

// Asks with_real_popfile.py to carry out `request` ("stop en", "history ja
// 12", ...) and returns its answer (without the final line end). A refused
// or unanswered request fails the test.
std::string Ask(const std::string &request)
{
    // Numbered anew in each run of the program: the script may run it
    // twice (see scripts/wine-run.sh) and answers each number once.
    static const std::string run = std::to_string(GetTickCount());
    static int count;
    std::string number = run + "." + std::to_string(++count);
    std::string control = Environment("SORTELLA_REAL_POPFILE_CONTROL");
    std::string temp = control + "\\request.tmp";
    std::ofstream(temp, std::ios::binary) << number << " " << request << "\n";
    MoveFileExA(temp.c_str(), (control + "\\request.txt").c_str(), MOVEFILE_REPLACE_EXISTING);
    // POPFile starts in about a second, and the script waits at most 20 s
    // for a history row to be committed.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000) {
        std::istringstream answer(HostReadFile(control + "\\answer.txt"));
        std::string first, status;
        std::getline(answer, first);
        if (first == number && std::getline(answer, status)) {
            std::string rest((std::istreambuf_iterator<char>(answer)), std::istreambuf_iterator<char>());
            while (!rest.empty() && rest.back() == '\n')
                rest.pop_back();
            if (status != "ok")
                ADD_FAILURE() << "the script refused \"" << request << "\": " << rest;
            return rest;
        }
        Sleep(20);
    }
    ADD_FAILURE() << "the script did not answer \"" << request << "\" within 60 s";
    return "";
}

// One POPFile: "en" or "ja", its ports as the script gave them.
struct Popfile {
    std::string language;
    std::string http;
    std::string pop3;
    std::string base; // "http://127.0.0.1:HTTP/"
};

Popfile PopfileOf(const char *language)
{
    std::string variable = std::string("SORTELLA_REAL_POPFILE_") + (language[0] == 'e' ? "EN" : "JA");
    std::istringstream ports(Environment(variable.c_str()));
    Popfile popfile{language, "", "", ""};
    ports >> popfile.http >> popfile.pop3;
    popfile.base = "http://127.0.0.1:" + popfile.http + "/";
    return popfile;
}

// Writes a message into the mail server's maildrop, as it arrived from
// its sender.
void Deliver(const std::string &name, const std::string &text)
{
    std::string path = Environment("SORTELLA_MAILDROP") + "\\" + name;
    std::ofstream(path, std::ios::binary) << text;
}

// ---- The host and the plug-in ---------------------------------------------

std::string IniPath()
{
    return HostProgramDirectory() + "Plugins\\sortella.ini";
}

std::string IniUrl()
{
    char value[512];
    GetPrivateProfileStringA("Setup", "URL", "", value, sizeof value, IniPath().c_str());
    return value;
}

// A new user's settings: no URL yet (the plug-in learns it from the first
// link) unless `url` is given, rules spam -> ごみ箱 and work -> 仕事, no
// summary box; then a freshly loaded plug-in.
void StartPlugin(const std::string &url = "")
{
    HostUnloadPlugin();
    CreateDirectoryA((HostProgramDirectory() + "Plugins").c_str(), NULL);
    std::string path = IniPath();
    const char *ini = path.c_str();
    DeleteFileA(ini);
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

void SetUpMailbox()
{
    static bool done;
    if (done)
        return;
    done = true;
    // A new one in the script's scratch folder, also when a run before
    // this one (with the same process id, as Wine counts them) left one.
    char mailbox[MAX_PATH];
    snprintf(mailbox, sizeof mailbox, "%s\\mailbox-%lu\\", Environment("SORTELLA_SCRATCH").c_str(),
             GetTickCount());
    HostSetMailbox(mailbox);
}

// The account that retrieves through `popfile`'s proxy: the account's
// directory is the language, its user name POPFile's form
// "mailserver:port:user".
struct Account {
    std::string dir;
    std::string title;
    HWND folder;
};

Account OpenAccount(const Popfile &popfile)
{
    SetUpMailbox();
    Account account{popfile.language, "POPFile " + popfile.language, NULL};
    HostAddAccount(account.dir.c_str(), account.title.c_str(), "127.0.0.1", popfile.pop3.c_str(), "1");
    std::string user = "127.0.0.1:" + Environment("SORTELLA_MAIL_POP3") + ":alice";
    HostSetAccountValue(account.dir.c_str(), "POP3User", user.c_str());
    HostSetAccountValue(account.dir.c_str(), "POP3Password", "secret");
    HostAddFolder(account.dir.c_str(), "仕事");
    account.folder = HostCreateFolderWindow(account.dir.c_str());
    return account;
}

std::vector<std::string> MessagesIn(const Account &account, const char *folder)
{
    std::vector<std::string> paths;
    for (const std::string &file : HostListMessages(account.dir.c_str(), folder))
        paths.push_back(HostAccountDirectory(account.dir.c_str()) + folder + "\\" + file);
    return paths;
}

// Every value of the header lines that begin with `name` (CR LF text).
std::vector<std::string> HeaderValues(const std::string &text, const std::string &name)
{
    std::vector<std::string> values;
    std::string head = "\r\n" + text.substr(0, text.find("\r\n\r\n") + 2);
    for (size_t at = head.find("\r\n" + name); at != std::string::npos; at = head.find("\r\n" + name, at + 2)) {
        size_t start = at + 2 + name.size();
        values.push_back(head.substr(start, head.find("\r\n", start) - start));
    }
    return values;
}

std::string HeaderValue(const std::string &text, const std::string &name)
{
    std::vector<std::string> values = HeaderValues(text, name);
    return values.empty() ? "<none>" : values[0];
}

// The history slot of a link "...jump_to_message?view=N".
std::string SlotOfLink(const std::string &link)
{
    size_t at = link.rfind("view=");
    return at == std::string::npos ? "" : link.substr(at + 5);
}

struct Item {
    std::string text; // Shift_JIS
    UINT type;
    UINT state;
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
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        items.push_back({(info.fType & MFT_SEPARATOR) ? "" : text, info.fType, info.fState, info.hSubMenu});
    }
    return items;
}

// The submenu of the folder menu's item `label`, null when there is none.
HMENU SubmenuOf(HMENU menu, const std::string &label)
{
    for (const Item &item : Items(menu))
        if (item.text == label)
            return item.submenu;
    return NULL;
}

// ---- The round ------------------------------------------------------------

const char kSpam[] =
    "From: Lottery Office <winner@example.net>\r\n"
    "To: alice@example.com\r\n"
    "Subject: Claim your casino prize, lucky winner\r\n"
    "Message-ID: <prize.%s@example.net>\r\n"
    // A verdict and a link that the message brought along: POPFile
    // replaces them with its own.
    "X-Text-Classification: work\r\n"
    "X-POPFile-Link: http://127.0.0.1:1/jump_to_message?view=999\r\n"
    "\r\n"
    "Free money for the lottery winner: cash prize, cheap pills, casino bonus.\r\n";
const char kWork[] =
    "From: Boss <boss@example.com>\r\n"
    "To: alice@example.com\r\n"
    "Subject: Budget meeting\r\n"
    "Message-ID: <budget.%s@example.com>\r\n"
    "\r\n"
    "Please bring the project schedule and the budget report; the deadline is near.\r\n";
const char kPersonal[] =
    "From: Mom <mom@example.org>\r\n"
    "To: alice@example.com\r\n"
    "Subject: Dinner on Sunday\r\n"
    "Message-ID: <dinner.%s@example.org>\r\n"
    "\r\n"
    "The family dinner is in the garden; grandma brings the birthday cake.\r\n";

std::string Sample(const char *format, const std::string &language)
{
    char text[1024];
    snprintf(text, sizeof text, format, language.c_str());
    return text;
}

// Retrieval through POPFile's proxy and filing by its verdict. Returns the
// spam sample's path in ごみ箱.
std::string RetrieveAndFile(const Popfile &popfile, const Account &account)
{
    Deliver("1-prize", Sample(kSpam, popfile.language));
    Deliver("2-budget", Sample(kWork, popfile.language));
    Deliver("3-dinner", Sample(kPersonal, popfile.language));
    EXPECT_EQ(HostRetrieve(account.folder, 60000), 3);
    EXPECT_TRUE(HostPumpUntil([&] { return MessagesIn(account, "郵便受け").size() == 1; }, 30000));
    HostPumpUntil([] { return !HostIsBusy(); }, 10000);

    struct Filed {
        const char *folder;
        const char *bucket;
        const char *subject;
    } filed[] = {
        {"ごみ箱", "spam", "[spam] Claim your casino prize, lucky winner"},
        {"仕事", "work", "[work] Budget meeting"},
        {"郵便受け", "personal", "[personal] Dinner on Sunday"},
    };
    std::string spam;
    for (const Filed &row : filed) {
        SCOPED_TRACE(row.bucket);
        std::vector<std::string> paths = MessagesIn(account, row.folder);
        if (paths.size() != 1) {
            ADD_FAILURE() << paths.size() << " messages in " << HostSjisToUtf8(row.folder);
            continue;
        }
        std::string text = HostReadFile(paths[0]);
        std::vector<std::string> verdicts = HeaderValues(text, "X-Text-Classification: ");
        std::vector<std::string> links = HeaderValues(text, "X-POPFile-Link: ");
        if (verdicts.size() != 1 || links.size() != 1) {
            ADD_FAILURE() << "not one verdict and one link: " << Printable(text);
            continue;
        }
        EXPECT_EQ(verdicts[0], row.bucket);
        EXPECT_EQ(links[0].rfind(popfile.base + "jump_to_message?view=", 0), 0u) << links[0];
        EXPECT_EQ(HeaderValue(text, "Subject: "), row.subject);
        if (std::string(row.bucket) == "spam")
            spam = paths[0];
    }
    return spam;
}

// The folder menu of the selected spam message lists POPFile's buckets
// with spam checked; choosing work corrects the verdict. Returns the
// corrected message's path.
std::string CorrectToWork(const Popfile &popfile, const Account &account, const std::string &spam)
{
    std::string text = HostReadFile(spam);
    std::string slot = SlotOfLink(HeaderValue(text, "X-POPFile-Link: "));
    EXPECT_EQ(Ask("history " + popfile.language + " " + slot), "spam -");

    HostSelectEntry(account.folder, HostEntryOfPath(spam).c_str());
    HMENU menu = HostBuildFolderMenu(account.folder);
    HMENU submenu = SubmenuOf(menu, "POPFile訂正[spam]");
    // The plug-in learnt POPFile's address from the message's link.
    EXPECT_EQ(IniUrl(), popfile.base);
    std::vector<Item> top = Items(menu);
    EXPECT_TRUE(!top.empty() && top.back().text == "POPFileを開く") << HostDescribeMenu(menu);
    if (!submenu) {
        ADD_FAILURE() << "no correction submenu:\n" << HostDescribeMenu(menu);
        return "";
    }
    std::vector<Item> items = Items(submenu);
    std::vector<std::string> expected = {"personal", "spam", "work", "", "バケツの再取得"};
    EXPECT_EQ(items.size(), expected.size()) << HostDescribeMenu(submenu);
    for (size_t i = 0; i < items.size() && i < expected.size(); ++i) {
        SCOPED_TRACE(HostSjisToUtf8(expected[i]));
        EXPECT_EQ(items[i].text, expected[i]);
        if (i < 3) {
            EXPECT_EQ(items[i].type, (UINT)MFT_RADIOCHECK);
            EXPECT_EQ(items[i].state & MFS_CHECKED, expected[i] == "spam" ? (UINT)MFS_CHECKED : 0u);
        }
    }

    size_t events = HostEvents().size();
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFile訂正[spam]", "work"}), 0u);
    EXPECT_EQ(Ask("history " + popfile.language + " " + slot), "work spam");
    std::vector<HostEvent> moves = HostEventsOfKind("move", events);
    EXPECT_EQ(moves.size(), 1u);
    EXPECT_TRUE(MessagesIn(account, "ごみ箱").empty());
    std::vector<std::string> work = MessagesIn(account, "仕事");
    EXPECT_EQ(work.size(), 2u);
    for (const std::string &path : work) {
        std::string corrected = HostReadFile(path);
        if (HeaderValue(corrected, "X-POPFile-Link: ") != HeaderValue(text, "X-POPFile-Link: "))
            continue;
        EXPECT_EQ(HeaderValues(corrected, "X-Text-Classification: "), std::vector<std::string>{"work"});
        return path;
    }
    ADD_FAILURE() << "the corrected message is not in 仕事";
    return "";
}

// "POPFileを開く" hands the shell the link that POPFile wrote, and that link
// leads to the message's page.
void OpenInPopfile(const Popfile &popfile, const Account &account, const std::string &path)
{
    std::string link = HeaderValue(HostReadFile(path), "X-POPFile-Link: ");
    HostSelectEntry(account.folder, HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(account.folder);
    size_t events = HostEvents().size();
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFileを開く"}), 0u);
    std::vector<HostEvent> shell = HostEventsOfKind("shell", events);
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].raw, link);
    EXPECT_EQ(shell[0].extra, "open");
    std::string page = link.substr(popfile.base.size() - 1);
    std::string answer = Ask("get " + popfile.language + " " + page);
    std::string slot = SlotOfLink(link);
    std::string tail = "&view=" + slot;
    EXPECT_EQ(answer.rfind("302 /view?session=", 0), 0u) << answer;
    EXPECT_TRUE(answer.size() > tail.size() && answer.compare(answer.size() - tail.size(), tail.size(), tail) == 0)
        << answer;
}

// The message in `folder` whose link is `link`; "" when none is.
std::string MessageWithLink(const Account &account, const char *folder, const std::string &link)
{
    for (const std::string &path : MessagesIn(account, folder))
        if (HeaderValue(HostReadFile(path), "X-POPFile-Link: ") == link)
            return path;
    return "";
}

// Choosing the bucket the message already names (work, after the
// correction) asks first: No leaves POPFile and the message as they are;
// Yes tells POPFile once more, which overwrites what its undo goes back
// to.
void TellAgain(const Popfile &popfile, const Account &account, const std::string &path)
{
    std::string slot = SlotOfLink(HeaderValue(HostReadFile(path), "X-POPFile-Link: "));
    std::string history = Ask("dump " + popfile.language);
    HostSelectEntry(account.folder, HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(account.folder);
    size_t events = HostEvents().size();
    HostQueueBoxAnswer(IDNO);
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFile訂正[work]", "work"}), 0u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].raw.find("POPFileにもう一度「work」と伝えますか？"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(Ask("dump " + popfile.language), history);
    EXPECT_TRUE(HostEventsOfKind("move", events).empty());

    HostQueueBoxAnswer(IDYES);
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFile訂正[work]", "work"}), 0u);
    EXPECT_EQ(Ask("history " + popfile.language + " " + slot), "work work");
}

// A bucket renamed in POPFile after the menu was built (personal) is not
// posted: the message is relabelled and refiled, a box says POPFile no
// longer has that bucket, and POPFile's history is as it was. Returns the
// message's path.
std::string RenamedBucket(const Popfile &popfile, const Account &account, const std::string &path)
{
    std::string link = HeaderValue(HostReadFile(path), "X-POPFile-Link: ");
    HostSelectEntry(account.folder, HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(account.folder);
    Ask("rename " + popfile.language + " personal family");
    std::string history = Ask("dump " + popfile.language);
    size_t events = HostEvents().size();
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFile訂正[spam]", "personal"}), 0u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    EXPECT_EQ(boxes.size(), 1u);
    if (!boxes.empty())
        EXPECT_NE(boxes[0].raw.find("POPFileには「personal」というバケツがもうありません"), std::string::npos)
            << boxes[0].text;
    EXPECT_EQ(Ask("dump " + popfile.language), history);
    std::string moved = MessageWithLink(account, "郵便受け", link);
    EXPECT_FALSE(moved.empty()) << "not refiled into 郵便受け";
    if (moved.empty())
        return moved;
    EXPECT_EQ(HeaderValues(HostReadFile(moved), "X-Text-Classification: "), std::vector<std::string>{"personal"});
    // The correction took POPFile's list: the renamed bucket shows. Named
    // back, it shows again after "バケツの再取得".
    HostSelectEntry(account.folder, HostEntryOfPath(moved).c_str());
    menu = HostBuildFolderMenu(account.folder);
    std::vector<Item> items = Items(SubmenuOf(menu, "POPFile訂正[personal]"));
    EXPECT_TRUE(!items.empty() && items[0].text == "family") << HostDescribeMenu(menu);
    Ask("rename " + popfile.language + " family personal");
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFile訂正[personal]", "バケツの再取得"}), 0u);
    items = Items(SubmenuOf(HostBuildFolderMenu(account.folder), "POPFile訂正[personal]"));
    EXPECT_TRUE(!items.empty() && items[0].text == "personal");
    return moved;
}

// A form (work to spam) that reaches a POPFile which then stalls (paused
// as the POST reaches it) gets no answer in time: the box says POPFile may
// have taken the correction, and once POPFile goes on, it has. Returns the
// message's path.
std::string LateAnswer(const Popfile &popfile, const Account &account, const std::string &path)
{
    std::string link = HeaderValue(HostReadFile(path), "X-POPFile-Link: ");
    std::string slot = SlotOfLink(link);
    std::string relay = Ask("relay " + popfile.language);
    StartPlugin("http://127.0.0.1:" + relay + "/");
    HostSelectEntry(account.folder, HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(account.folder);
    size_t events = HostEvents().size();
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {"POPFile訂正[work]", "spam"}), 0u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    EXPECT_EQ(boxes.size(), 1u);
    if (!boxes.empty())
        EXPECT_EQ(boxes[0].raw.rfind("POPFileがこの訂正を受け付けたかどうか、わかりませんでした。\n", 0), 0u)
            << boxes[0].text;
    Ask("resume " + popfile.language);
    EXPECT_EQ(Ask("await " + popfile.language + " " + slot + " spam"), "spam work");
    StartPlugin(popfile.base);
    std::string moved = MessageWithLink(account, "ごみ箱", link);
    EXPECT_FALSE(moved.empty()) << "not refiled into ごみ箱";
    return moved;
}

// A correction that POPFile cannot take: `before` is done to POPFile
// first; the message is corrected from `from` to `to` all the same (its
// label and folder), a box says why POPFile was not told, and POPFile's
// history is as it was. Returns the message's new path.
std::string UntoldCorrection(const Popfile &popfile, const Account &account, const std::string &path,
                             const char *from, const char *to, const char *toFolder, const char *boxSays)
{
    std::string history = Ask("dump " + popfile.language);
    std::string link = HeaderValue(HostReadFile(path), "X-POPFile-Link: ");
    HostSelectEntry(account.folder, HostEntryOfPath(path).c_str());
    HMENU menu = HostBuildFolderMenu(account.folder);
    size_t events = HostEvents().size();
    EXPECT_NE(HostChooseMenuItem(account.folder, menu, {std::string("POPFile訂正[") + from + "]", to}), 0u);
    std::vector<HostEvent> boxes = HostEventsOfKind("box", events);
    EXPECT_EQ(boxes.size(), 1u);
    if (!boxes.empty())
        EXPECT_NE(boxes[0].raw.find(boxSays), std::string::npos) << boxes[0].text;
    EXPECT_EQ(Ask("dump " + popfile.language), history);
    for (const std::string &moved : MessagesIn(account, toFolder)) {
        std::string text = HostReadFile(moved);
        if (HeaderValue(text, "X-POPFile-Link: ") == link) {
            EXPECT_EQ(HeaderValues(text, "X-Text-Classification: "), std::vector<std::string>{to});
            return moved;
        }
    }
    ADD_FAILURE() << "the message is not in " << HostSjisToUtf8(toFolder);
    return "";
}

// With a password on POPFile's web interface, with POPFile stopped, and
// for a message gone from its history.
void UntoldCorrections(const Popfile &popfile, const Account &account, std::string path)
{
    const std::string &language = popfile.language;
    std::string slot = SlotOfLink(HeaderValue(HostReadFile(path), "X-POPFile-Link: "));
    {
        SCOPED_TRACE("a password on the web interface");
        Ask("stop " + language);
        Ask("start " + language + " secret");
        path = UntoldCorrection(popfile, account, path, "personal", "work", "仕事", "パスワード");
        if (path.empty())
            return;
    }
    {
        SCOPED_TRACE("POPFile stopped");
        Ask("stop " + language);
        path = UntoldCorrection(popfile, account, path, "work", "personal", "郵便受け", "つながらない");
        if (path.empty())
            return;
    }
    {
        SCOPED_TRACE("the message gone from POPFile's history");
        Ask("purge " + language + " " + slot);
        Ask("start " + language);
        EXPECT_EQ(Ask("history " + language + " " + slot), "gone");
        UntoldCorrection(popfile, account, path, "personal", "work", "仕事", "履歴から消えて");
    }
}

void Round(const char *language)
{
    Popfile popfile = PopfileOf(language);
    ASSERT_FALSE(popfile.http.empty()) << "no POPFile ports: run through with_real_popfile.py";
    // Running without a password, also when a run before this one ended
    // half-way.
    Ask(std::string("start ") + language);
    StartPlugin();
    Account account = OpenAccount(popfile);
    ASSERT_NE(account.folder, (HWND)NULL);
    std::string spam = RetrieveAndFile(popfile, account);
    ASSERT_FALSE(spam.empty());
    std::string corrected = CorrectToWork(popfile, account, spam);
    ASSERT_FALSE(corrected.empty());
    TellAgain(popfile, account, corrected);
    OpenInPopfile(popfile, account, corrected);
    std::string late = LateAnswer(popfile, account, corrected);
    ASSERT_FALSE(late.empty());
    std::string renamed = RenamedBucket(popfile, account, late);
    ASSERT_FALSE(renamed.empty());
    UntoldCorrections(popfile, account, renamed);
    EXPECT_EQ(FaultsReported(), 0) << "faults were met (see the lines \"fault ...\" above)";
}

TEST(RealPopfile, EnglishInterface)
{
    Round("en");
}

TEST(RealPopfile, JapaneseInterface)
{
    Round("ja");
}

} // namespace
