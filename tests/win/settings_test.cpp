// The settings file and the mailbox lookups, through the real private-profile
// functions. The test program stands in for the host executable: the
// settings file is "Plugins\sortella.ini" beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "mailstore/file_ops.h"
#include "mailstore/mailbox.h"
#include "standins/host/host.h"
#include "plugin/host_services.h"
#include "settings/settings.h"

namespace {

std::string mailbox; // ends with a backslash
const char *currentEntry;

// The host's answers share one buffer, as a host may have them: each
// answer is good only until the next call.
char sharedAnswer[MAX_PATH];

const char *WINAPI FakeGetMailbox(void)
{
    snprintf(sharedAnswer, sizeof sharedAnswer, "%s", mailbox.c_str());
    return sharedAnswer;
}
const char *WINAPI FakeCurrentEntry(HWND)
{
    if (!currentEntry)
        return nullptr;
    snprintf(sharedAnswer, sizeof sharedAnswer, "%s", currentEntry);
    return sharedAnswer;
}
const char *WINAPI FakeViewPath(HWND)
{
    return "C:\\elsewhere\\shown.PWK";
}

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\'));
}

std::string IniPath()
{
    return ExeDirectory() + "\\Plugins\\sortella.ini";
}


void WriteFile(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA((ExeDirectory() + "\\Plugins").c_str(), NULL);
        DeleteFileA(IniPath().c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, IniPath().c_str());
    }
    // Replaces the settings file and reloads it.
    void LoadFrom(const std::string &text)
    {
        WriteFile(IniPath(), text);
        WritePrivateProfileStringA(NULL, NULL, NULL, IniPath().c_str());
        LoadSettings();
    }
};

TEST_F(SettingsTest, IniPathIsPluginsBesideTheExecutable)
{
    char path[260];
    GetIniPath(sizeof path, path);
    EXPECT_STREQ(path, IniPath().c_str());
}

TEST_F(SettingsTest, FirstRunWritesTheDefaultsAndNothingElse)
{
    PluginSettings.DispDialog = true;
    PluginSettings.URL = "http://old/";
    LoadSettings();
    ASSERT_EQ(RuleCount, 1);
    EXPECT_STREQ(Rules[0].Bucket, "spam");
    EXPECT_STREQ(Rules[0].Folder, "ごみ箱");
    EXPECT_EQ(Rules[0].Index, 0);
    EXPECT_FALSE(PluginSettings.DispDialog || PluginSettings.Beep || PluginSettings.CheckConnect ||
                 PluginSettings.DispFrom || PluginSettings.DispSubject);
    EXPECT_EQ(PluginSettings.FromLength, 0);
    EXPECT_EQ(PluginSettings.SubjectLength, 0);
    EXPECT_EQ(PluginSettings.URL, "");
    EXPECT_TRUE(PluginSettings.Log);

    char keys[256] = {};
    GetPrivateProfileStringA(NULL, NULL, "", keys, sizeof keys, IniPath().c_str());
    EXPECT_EQ(std::string(keys, 8 + 1 + 5 + 1), std::string("MoveMail\0Setup\0", 15));
    std::string file = HostReadFile(IniPath());
    EXPECT_NE(file.find("spam=ごみ箱"), std::string::npos) << file;
    EXPECT_NE(file.find("CheckConnect=0"), std::string::npos) << file;
    EXPECT_LT(file.find("[MoveMail]"), file.find("[Setup]"));
    EXPECT_EQ(file.find("DispDialog"), std::string::npos);
    EXPECT_EQ(file.find("URL"), std::string::npos);
    EXPECT_EQ(file.find("Log"), std::string::npos);
}

TEST_F(SettingsTest, EmptiedMoveMailSectionGetsTheSpamRuleBack)
{
    LoadFrom("[MoveMail]\r\n[Setup]\r\nCheckConnect=1\r\n");
    ASSERT_EQ(RuleCount, 1);
    EXPECT_STREQ(Rules[0].Bucket, "spam");
    char folder[64];
    GetPrivateProfileStringA("MoveMail", "spam", "", folder, sizeof folder, IniPath().c_str());
    EXPECT_STREQ(folder, "ごみ箱");
    EXPECT_TRUE(PluginSettings.CheckConnect);
}

struct TypoRow {
    const char *label;
    const char *section; // the lines of "MoveMail"
    const char *rules;   // "bucket=folder;..." as loaded
};

// A line with an empty key is skipped, the rules after it are read, and
// the default rule is written only into a section without any other key.
TEST_F(SettingsTest, EmptyKeyLineLosesNoRule)
{
    const TypoRow rows[] = {
        {"typo first", "=text\r\nspam=迷惑\r\nwork=仕事\r\n", "spam=迷惑;work=仕事;"},
        {"typo between", "spam=迷惑\r\n=text\r\nwork=仕事\r\n", "spam=迷惑;work=仕事;"},
        {"typo last", "spam=迷惑\r\n=\r\n", "spam=迷惑;"},
        {"only a typo", "=text\r\n", "spam=ごみ箱;"},
    };
    for (const TypoRow &row : rows) {
        SCOPED_TRACE(row.label);
        LoadFrom(std::string("[MoveMail]\r\n") + row.section + "[Setup]\r\nCheckConnect=0\r\n");
        std::string rules;
        for (int i = 0; i < RuleCount; ++i) {
            EXPECT_EQ(Rules[i].Index, i);
            rules += std::string(Rules[i].Bucket) + "=" + Rules[i].Folder + ";";
        }
        EXPECT_EQ(rules, row.rules);
        char folder[64];
        GetPrivateProfileStringA("MoveMail", "spam", "", folder, sizeof folder, IniPath().c_str());
        EXPECT_EQ(std::string("spam=") + folder + ";", rules.substr(0, rules.find(';') + 1));
    }
}

TEST_F(SettingsTest, SwitchesFollowTheIntegerRule)
{
    struct Row {
        const char *text;
        bool on;
    } rows[] = {{"1", true},  {"-3", true},  {" 7x", true}, {"0", false},
                {"0x1", false}, {"abc", false}, {"", false},  {"+0", false}};
    for (const Row &row : rows) {
        LoadFrom(std::string("[MoveMail]\r\nspam=x\r\n[Setup]\r\nBeep=") + row.text +
                 "\r\nCheckConnect=" + row.text + "\r\nLog=" + row.text + "\r\n");
        EXPECT_EQ(PluginSettings.Beep, row.on) << "value '" << row.text << "'";
        EXPECT_EQ(PluginSettings.CheckConnect, row.on) << "value '" << row.text << "'";
        EXPECT_EQ(PluginSettings.Log, row.on) << "value '" << row.text << "'";
    }
}

TEST_F(SettingsTest, EmptyCheckConnectIsRewrittenButEmptyDispDialogIsNot)
{
    LoadFrom("[MoveMail]\r\nspam=x\r\n[Setup]\r\nDispDialog=\r\nCheckConnect=\r\n");
    EXPECT_FALSE(PluginSettings.DispDialog);
    EXPECT_FALSE(PluginSettings.CheckConnect);
    char value[16] = "unset";
    GetPrivateProfileStringA("Setup", "CheckConnect", "missing", value, sizeof value,
                             IniPath().c_str());
    EXPECT_STREQ(value, "0");
    GetPrivateProfileStringA("Setup", "DispDialog", "missing", value, sizeof value,
                             IniPath().c_str());
    EXPECT_STREQ(value, "");
}

TEST_F(SettingsTest, RulesKeepFileOrderAndMatchExactly)
{
    LoadFrom("[MoveMail]\r\nSpam=ごみ箱\r\nwork=仕事\r\nempty=\r\nwork=later\r\n[Setup]\r\n"
             "FromLength=12\r\nSubjectLength=-4\r\nURL= http://x/ \r\n");
    ASSERT_GE(RuleCount, 3);
    EXPECT_EQ(Rules[1].Index, 1);
    EXPECT_EQ(FindFilingRule("spam"), nullptr);
    ASSERT_NE(FindFilingRule("Spam"), nullptr);
    FilingRule *work = FindFilingRule("work");
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->Index, 1);
    EXPECT_STREQ(work->Folder, "仕事");
    FilingRule *empty = FindFilingRule("empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty->Folder, "");
    EXPECT_EQ(FindFilingRule("work "), nullptr);
    EXPECT_EQ(PluginSettings.FromLength, 12);
    EXPECT_EQ(PluginSettings.SubjectLength, -4);
}

TEST_F(SettingsTest, SaveWritesSwitchesAndUrlButNeverTheLengths)
{
    LoadFrom("[MoveMail]\r\nspam=ごみ箱\r\n[Setup]\r\nCheckConnect=0\r\n");
    PluginSettings.DispDialog = true;
    PluginSettings.DispSubject = true;
    PluginSettings.SubjectLength = 0;
    PluginSettings.URL.clear();
    SaveSettings();
    std::string file = HostReadFile(IniPath());
    for (const char *line : {"DispDialog=1", "Beep=0", "DispFrom=0", "DispSubject=1",
                             "CheckConnect=0", "Log=1", "URL="})
        EXPECT_NE(file.find(line), std::string::npos) << line << " in " << file;
    EXPECT_EQ(file.find("Length"), std::string::npos) << file;
}

// A URL written by hand without its final "/" is used with it, and saved
// so when the plug-in next writes the file (not at the load itself).
TEST_F(SettingsTest, UrlWithoutItsFinalSlashIsUsedWithIt)
{
    LoadFrom("[MoveMail]\r\nspam=ごみ箱\r\n[Setup]\r\nCheckConnect=0\r\nURL=http://127.0.0.1:8080\r\n");
    EXPECT_EQ(PluginSettings.URL, "http://127.0.0.1:8080/");
    EXPECT_NE(HostReadFile(IniPath()).find("URL=http://127.0.0.1:8080\r\n"), std::string::npos);
    SaveSettings();
    EXPECT_NE(HostReadFile(IniPath()).find("URL=http://127.0.0.1:8080/\r\n"), std::string::npos);
    LoadFrom("[MoveMail]\r\nspam=ごみ箱\r\n[Setup]\r\nCheckConnect=0\r\nURL=\r\n");
    EXPECT_EQ(PluginSettings.URL, "");
}

TEST_F(SettingsTest, AdoptUrlOnlyFillsAnEmptyUrl)
{
    LoadFrom("[MoveMail]\r\nspam=ごみ箱\r\n[Setup]\r\nCheckConnect=0\r\n");
    AdoptUrl("http://127.0.0.1:8080/");
    EXPECT_EQ(PluginSettings.URL, "http://127.0.0.1:8080/");
    AdoptUrl("http://other/");
    EXPECT_EQ(PluginSettings.URL, "http://127.0.0.1:8080/");
    char value[64];
    GetPrivateProfileStringA("Setup", "URL", "", value, sizeof value, IniPath().c_str());
    EXPECT_STREQ(value, "http://127.0.0.1:8080/");
}

// A URL holding a line break never reaches the file, where its second line
// would be read back as a key of its own.
TEST_F(SettingsTest, NoLineBreakIsWrittenWithTheUrl)
{
    const char *forged[] = {"http://evil/\rBeep=1\r", "http://evil/\nBeep=1\n", "http://evil/\r\nBeep=1/"};
    for (const char *url : forged) {
        SCOPED_TRACE(url);
        LoadFrom("[MoveMail]\r\nspam=ごみ箱\r\n[Setup]\r\nCheckConnect=0\r\n");
        AdoptUrl(url);
        EXPECT_EQ(PluginSettings.URL, "");
        PluginSettings.URL = url;
        SaveSettings();
        std::string file = HostReadFile(IniPath());
        EXPECT_EQ(file.find("evil"), std::string::npos) << file;
        LoadSettings();
        EXPECT_FALSE(PluginSettings.Beep);
        EXPECT_EQ(PluginSettings.URL, "");
    }
}

TEST_F(SettingsTest, KeyListCutAtItsLimitDropsTheCutName)
{
    // 300 keys of 20 bytes: far beyond the 4096-byte key list.
    std::string text = "[MoveMail]\r\n";
    for (int i = 0; i < 300; ++i) {
        char key[32];
        snprintf(key, sizeof key, "bucket%014d", i);
        text += std::string(key) + "=folder\r\n";
    }
    LoadFrom(text + "[Setup]\r\nCheckConnect=0\r\n");
    ASSERT_GT(RuleCount, 100);
    for (int i = 0; i < RuleCount; ++i)
        EXPECT_EQ(strlen(Rules[i].Bucket), 20u) << "rule " << i << " " << Rules[i].Bucket;
}

class MailboxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        mailbox = std::string(temp) + "sortella-mailbox-test\\";
        CreateDirectoryA(mailbox.c_str(), NULL);
        CreateDirectoryA((mailbox + "acc1").c_str(), NULL);
        Host.APAGetMailbox = FakeGetMailbox;
        Host.APAFolderGetCurrentEntry = FakeCurrentEntry;
        Host.APAViewGetPath = FakeViewPath;
    }
};

TEST_F(MailboxTest, PathsOutsideTheMailboxAreNoMessages)
{
    EXPECT_EQ(MailboxPrefixOfPath("C:\\"), -1);
    EXPECT_EQ(MailboxPrefixOfPath("D:\\other\\acc1\\x.PWK"), -1);
    EXPECT_EQ(MailboxPrefixOfPath((mailbox + "acc1\\x.PWK").c_str()), static_cast<int>(mailbox.size()));
}

TEST_F(MailboxTest, AccountTitleComesFromTheMessagesAccount)
{
    // 表計算 and ソフト hold 0x5C as the second byte of their first character.
    for (const char *account : {"acc1", "表計算", "ソフト"}) {
        std::string directory = mailbox + account;
        CreateDirectoryA(directory.c_str(), NULL);
        std::string ini = directory + "\\account.ini";
        std::string wanted = std::string("仕事用 ") + account;
        WritePrivateProfileStringA("Property", "Title", wanted.c_str(), ini.c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
        char title[200] = "stale";
        std::string path = directory + "\\郵便受け\\0001.PWK";
        ReadAccountTitle(path.c_str(), static_cast<int>(mailbox.size()), title);
        EXPECT_STREQ(title, wanted.c_str()) << account;
    }
    // A file directly in the mailbox directory has no account.
    char title[200] = "stale";
    ReadAccountTitle((mailbox + "loose.PWK").c_str(), static_cast<int>(mailbox.size()), title);
    EXPECT_STREQ(title, "");
}

TEST_F(MailboxTest, ExternalEditorDefaultsToNotepad)
{
    DeleteFileA((mailbox + "mailbox.ini").c_str());
    char editor[260] = "";
    ReadExternalEditor(sizeof editor, editor);
    EXPECT_STREQ(editor, "notepad");
    WritePrivateProfileStringA("Property", "ExternalEditor", "C:\\tools\\edit.exe",
                               (mailbox + "mailbox.ini").c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, (mailbox + "mailbox.ini").c_str());
    ReadExternalEditor(sizeof editor, editor);
    EXPECT_STREQ(editor, "C:\\tools\\edit.exe");
}

// A replacement whose data cannot be flushed (another program holds it open
// for reading, sharing reading and deleting but not writing) does not take
// the target's place: renamed unflushed, a power cut could leave the
// message's name on contents never written. Such a handle does not stop
// the rename itself, as the first step shows.
TEST_F(MailboxTest, ReplaceWaitsForTheReplacementsDataOnDisk)
{
    const std::string target = mailbox + "replace-target.PWK";
    const std::string replacement = mailbox + "replace-target.TMP";
    const std::string moved = mailbox + "replace-moved.TMP";
    auto holdForReading = [](const std::string &path) {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    };
    WriteFile(replacement, "new\n");
    HANDLE held = holdForReading(replacement);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(MoveFileExA(replacement.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(MoveFileExA(moved.c_str(), replacement.c_str(), MOVEFILE_REPLACE_EXISTING));
    CloseHandle(held);

    WriteFile(target, "old\n");
    held = holdForReading(replacement);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReplaceFileInOneStep(replacement.c_str(), target.c_str()), -1);
    EXPECT_EQ(HostReadFile(target), "old\n");
    EXPECT_EQ(HostReadFile(replacement), "new\n");
    CloseHandle(held);
    EXPECT_EQ(ReplaceFileInOneStep(replacement.c_str(), target.c_str()), 0);
    EXPECT_EQ(HostReadFile(target), "new\n");
    EXPECT_EQ(GetFileAttributesA(replacement.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(target.c_str());
}

TEST_F(MailboxTest, WindowMessagePathOfViewsAndFolders)
{
    char *shown = WindowMessagePath(NULL, 1);
    ASSERT_NE(shown, nullptr);
    EXPECT_STREQ(shown, "C:\\elsewhere\\shown.PWK");
    free(shown);
    currentEntry = nullptr;
    EXPECT_EQ(WindowMessagePath(NULL, 0), nullptr);
    // The mailbox directory and the entry come through one shared buffer.
    currentEntry = "acc1\\inbox\\7";
    char *current = WindowMessagePath(NULL, 0);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(std::string(current), mailbox + "acc1\\inbox\\7.PWK");
    free(current);
}

} // namespace
