// The about box and the setup dialog of the real sortella.dll, loaded by
// the host stand-in and driven as a user would: clicks, typing, keys and
// the close box; what the dialog shows is read back from its controls and
// what it stored from the settings file.
#include "tests/win/dialog_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/resource.h"
#include "standins/host/host.h"

namespace {

// ---- The templates in the DLL's resources ------------------------------

struct TemplateItem {
    DWORD style;
    int id; // 0xFFFF for "none"
    int x, y, width, height;
    std::string className; // "Button", "Edit", "Static"
    std::string text;      // Shift_JIS; "#102" for an icon ordinal
};

struct DialogTemplate {
    DWORD style;
    int x, y, width, height;
    std::string caption;
    int pointSize;
    std::string font;
    std::vector<TemplateItem> items;
};

struct TemplateReader {
    const uint8_t *data;
    size_t at;

    uint16_t Word()
    {
        uint16_t value;
        memcpy(&value, data + at, 2);
        at += 2;
        return value;
    }
    DWORD Dword()
    {
        DWORD value;
        memcpy(&value, data + at, 4);
        at += 4;
        return value;
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }
    // A string or an ordinal (0xFFFF, n) as "#n"; strings in Shift_JIS.
    std::string TextOrOrdinal()
    {
        if (Word() == 0xFFFF)
            return "#" + std::to_string(Word());
        at -= 2;
        std::wstring wide;
        for (uint16_t c = Word(); c != 0; c = Word())
            wide += static_cast<wchar_t>(c);
        char narrow[1024] = "";
        WideCharToMultiByte(932, 0, wide.c_str(), -1, narrow, sizeof narrow, NULL, NULL);
        return narrow;
    }
};

std::string ClassOfAtom(const std::string &text)
{
    if (text == "#128")
        return "Button";
    if (text == "#129")
        return "Edit";
    if (text == "#130")
        return "Static";
    std::string name = text;
    for (char &c : name)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (name == "button")
        return "Button";
    if (name == "edit")
        return "Edit";
    if (name == "static")
        return "Static";
    return text;
}

bool ReadDialogTemplate(HMODULE module, int id, DialogTemplate *out)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (!found)
        return false;
    TemplateReader reader{static_cast<const uint8_t *>(LockResource(LoadResource(module, found))),
                          0};
    out->style = reader.Dword();
    reader.Dword(); // extended style
    int count = reader.Word();
    out->x = static_cast<int16_t>(reader.Word());
    out->y = static_cast<int16_t>(reader.Word());
    out->width = static_cast<int16_t>(reader.Word());
    out->height = static_cast<int16_t>(reader.Word());
    reader.TextOrOrdinal(); // menu
    reader.TextOrOrdinal(); // class
    out->caption = reader.TextOrOrdinal();
    out->pointSize = (out->style & DS_SETFONT) ? reader.Word() : 0;
    out->font = (out->style & DS_SETFONT) ? reader.TextOrOrdinal() : "";
    for (int i = 0; i < count; ++i) {
        reader.AlignDword();
        TemplateItem item;
        item.style = reader.Dword();
        reader.Dword();
        item.x = static_cast<int16_t>(reader.Word());
        item.y = static_cast<int16_t>(reader.Word());
        item.width = static_cast<int16_t>(reader.Word());
        item.height = static_cast<int16_t>(reader.Word());
        item.id = reader.Word();
        item.className = ClassOfAtom(reader.TextOrOrdinal());
        item.text = reader.TextOrOrdinal();
        reader.at += reader.Word(); // creation data
        out->items.push_back(item);
    }
    return true;
}

// What a row of the tables fixes about a control. `kind` is the button
// type, the static type or ES_AUTOHSCROLL for the edit field.
struct ExpectedItem {
    int id;
    const char *className;
    DWORD kind;
    bool tabStop;
    bool disabled;
    const char *text;
    int x, y, width, height;
};

const DWORD kFrameStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
const int kNone = 0xFFFF;

void ExpectTemplate(int id, const char *caption, int width, int height,
                    const std::vector<ExpectedItem> &rows)
{
    DialogTemplate found;
    ASSERT_TRUE(ReadDialogTemplate(HostPluginModule(), id, &found)) << "template " << id;
    EXPECT_EQ(found.style & kFrameStyle, kFrameStyle) << "template " << id;
    EXPECT_EQ(found.caption, caption) << "template " << id;
    EXPECT_EQ(found.width, width) << "template " << id;
    EXPECT_EQ(found.height, height) << "template " << id;
    EXPECT_EQ(found.pointSize, 9) << "template " << id;
    EXPECT_EQ(found.font, "ＭＳ Ｐゴシック") << "template " << id;
    ASSERT_EQ(found.items.size(), rows.size()) << "template " << id;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ExpectedItem &want = rows[i];
        const TemplateItem &item = found.items[i];
        SCOPED_TRACE("template " + std::to_string(id) + " item " + std::to_string(i) + " (id " +
                     std::to_string(want.id) + ")");
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.className, want.className);
        std::string className = want.className;
        DWORD kindMask = className == "Edit" ? ES_AUTOHSCROLL
                         : className == "Static" ? SS_TYPEMASK | SS_NOPREFIX
                                                 : BS_TYPEMASK;
        EXPECT_EQ(item.style & kindMask, want.kind);
        EXPECT_EQ((item.style & WS_TABSTOP) != 0, want.tabStop);
        EXPECT_EQ((item.style & WS_DISABLED) != 0, want.disabled);
        EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
        if (className == "Edit") {
            EXPECT_TRUE(item.style & WS_BORDER);
        }
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.width, want.width);
        EXPECT_EQ(item.height, want.height);
    }
}

// ---- Fixture: the plug-in in the host, a folder window as owner ---------

const Switches kAllOff = {false, false, false, false, false};

class SetupDialogTest : public ::testing::Test {
protected:
    static HWND owner;

    static void SetUpTestSuite()
    {
        HostSetMailbox((TestDirectory() + "mailbox").c_str());
        HostAddAccount("setup", "Setup", "127.0.0.1", "110", "1");
        WriteSettingsFile(kAllOff, "");
        ASSERT_EQ(HostLoadPlugin(PluginPath().c_str()), 1);
        HostStartPlugin();
        owner = HostCreateFolderWindow("setup", HOST_FOLDER_NO_FOLDER_CREATE);
    }
    static void TearDownTestSuite() { HostShutdown(); }

    // Writes the settings file and has the plug-in load it, as at start-up.
    static void UseSettings(const Switches &switches, const std::string &url)
    {
        WriteSettingsFile(switches, url);
        HostStartPlugin();
    }
    // POPFile's web interface: the stand-in's front page carries the key.
    static std::string WebUrl(const std::string &path = "/")
    {
        return "http://127.0.0.1:" + std::to_string(StandinHttpPort()) + path;
    }
    static INT_PTR RunSetup(const std::vector<DialogStep> &steps, DWORD giveUpMs = 20000)
    {
        return DriveDialog([] { return HostRunSetup(owner); }, steps, giveUpMs);
    }
    static std::vector<HostEvent> BoxesSince(size_t from)
    {
        return HostEventsOfKind("box", from);
    }
    // Clicks button `id`, then "キャンセル"; true when the dialog was still
    // open after the click.
    static bool ClickThenCancel(int id)
    {
        bool stayed = false;
        INT_PTR code = RunSetup({[id](HWND d) { Click(d, id); },
                                 [&](HWND d) {
                                     stayed = IsWindowVisible(d) != FALSE;
                                     Click(d, IDC_CANCEL);
                                 }});
        EXPECT_EQ(code, IDC_CANCEL);
        return stayed;
    }
};
HWND SetupDialogTest::owner;

// The state a user sees in the setup dialog.
struct SetupView {
    bool message, beep, nothing, from, subject, connect;
    bool fromEnabled, subjectEnabled;
    std::string url;
};

SetupView ReadSetupView(HWND dialog)
{
    return SetupView{Checked(dialog, IDC_SHOW_MESSAGE), Checked(dialog, IDC_BEEP),
                     Checked(dialog, IDC_NOTHING),      Checked(dialog, IDC_SHOW_FROM),
                     Checked(dialog, IDC_SHOW_SUBJECT), Checked(dialog, IDC_CHECK_CONNECT),
                     Enabled(dialog, IDC_SHOW_FROM),    Enabled(dialog, IDC_SHOW_SUBJECT),
                     ControlText(dialog, IDC_URL)};
}

std::string Describe(const SetupView &view)
{
    char text[128];
    snprintf(text, sizeof text,
             "message %d beep %d nothing %d from %d subject %d connect %d "
             "fromEnabled %d subjectEnabled %d",
             view.message, view.beep, view.nothing, view.from, view.subject, view.connect,
             view.fromEnabled, view.subjectEnabled);
    return std::string(text) + " url \"" + view.url + "\"";
}

std::string Describe(const Switches &s)
{
    char text[96];
    snprintf(text, sizeof text, "DispDialog %d Beep %d DispFrom %d DispSubject %d CheckConnect %d",
             s.dispDialog, s.beep, s.dispFrom, s.dispSubject, s.checkConnect);
    return text;
}

TEST_F(SetupDialogTest, TemplatesHoldTheControlsOfTheTables)
{
    ExpectTemplate(IDD_ABOUT, "ﾊﾞｰｼﾞｮﾝ情報(sortella)", 217, 55,
                   {{kNone, "Static", SS_ICON, false, false, "#102", 11, 17, 20, 20},
                    {kNone, "Static", SS_LEFT | SS_NOPREFIX, false, false,
                     "Sortella Version 0.10", 40, 10, 119, 8},
                    {IDOK, "Button", BS_DEFPUSHBUTTON, true, false, "OK", 178, 7, 32, 14}});
    ExpectTemplate(
        IDD_SETUP, "Sortella設定", 179, 219,
        {{1000, "Button", BS_PUSHBUTTON, true, false, "再読込", 13, 22, 68, 20},
         {1001, "Button", BS_PUSHBUTTON, true, false, "設定（ﾌｧｲﾙ編集）", 99, 22, 68, 20},
         {1009, "Button", BS_AUTOCHECKBOX, true, false,
          "Postwick起動時にPOPFileが起動するまで待機する", 11, 68, 162, 10},
         {1006, "Button", BS_AUTORADIOBUTTON, false, false, "メッセージを表示する", 17, 100, 78,
          10},
         {1010, "Button", BS_AUTOCHECKBOX, true, true, "差出人を表示する", 37, 112, 63, 8},
         {1011, "Button", BS_AUTOCHECKBOX, true, false, "題名を表示する", 109, 111, 56, 10},
         {1007, "Button", BS_AUTORADIOBUTTON, false, false, "ビープ音を鳴らす", 17, 127, 67, 9},
         {1008, "Button", BS_AUTORADIOBUTTON, false, false, "何もしない", 17, 142, 51, 10},
         {1002, "Button", BS_PUSHBUTTON, true, false, "記録を開く", 99, 128, 68, 20},
         {1003, "Button", BS_PUSHBUTTON, true, false, "Ｏ　Ｋ", 26, 192, 50, 14},
         {1004, "Button", BS_PUSHBUTTON, true, false, "キャンセル", 101, 192, 50, 14},
         {kNone, "Button", BS_GROUPBOX, false, false, " sortella.ini ", 5, 5, 170, 45},
         {kNone, "Button", BS_GROUPBOX, false, false, "", 5, 55, 170, 160},
         {kNone, "Static", SS_LEFT, false, false, " メール振り分けを行ったときの動作 ", 9, 89, 106,
          8},
         {1012, "Edit", ES_AUTOHSCROLL, true, false, "", 60, 168, 112, 12},
         {kNone, "Static", SS_LEFT, false, false, "POPFile ＵＲＬ", 10, 170, 48, 8}});
    ExpectTemplate(IDD_WAIT, "Sortella", 114, 55,
                   {{kNone, "Static", SS_ICON, false, false, "#102", 10, 10, 20, 20},
                    {kNone, "Static", SS_LEFT, false, false, "POPFile起動待機中。。。", 35, 15,
                     72, 8},
                    {1004, "Button", BS_PUSHBUTTON, true, false, "ｷｬﾝｾﾙ", 30, 35, 51, 14}});
}

// Every combination of the five switches, with and without a URL; the
// close box ends each dialog and leaves the file as it was.
TEST_F(SetupDialogTest, OpensShowingEverySwitchCombination)
{
    for (int bits = 0; bits < 32; ++bits) {
        Switches s = {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0,
                      (bits & 16) != 0};
        std::string url = bits % 3 == 0 ? "" : "http://127.0.0.1:8080/x" + std::to_string(bits) + "/";
        UseSettings(s, url);
        std::string before = HostReadFile(SettingsPath());
        SetupView seen{};
        INT_PTR code = RunSetup({[&](HWND d) { seen = ReadSetupView(d); },
                                 [](HWND d) { PressCloseBox(d); }});
        SCOPED_TRACE(Describe(s) + " => " + Describe(seen));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(seen.message, s.dispDialog);
        EXPECT_EQ(seen.beep, s.beep);
        EXPECT_EQ(seen.nothing, !s.dispDialog && !s.beep);
        EXPECT_EQ(seen.from, s.dispFrom);
        EXPECT_EQ(seen.subject, s.dispSubject);
        EXPECT_EQ(seen.fromEnabled, s.dispDialog);
        EXPECT_EQ(seen.subjectEnabled, s.dispDialog);
        EXPECT_EQ(seen.connect, s.checkConnect);
        EXPECT_EQ(seen.url, url);
        EXPECT_EQ(HostReadFile(SettingsPath()), before);
    }
}

TEST_F(SetupDialogTest, TabOrderAndFontFollowTheTemplate)
{
    std::vector<int> withoutSender, withSender;
    std::string face;
    UseSettings(kAllOff, "");
    RunSetup({[&](HWND d) {
                  withoutSender = TabOrder(d);
                  HFONT font = reinterpret_cast<HFONT>(SendMessageA(d, WM_GETFONT, 0, 0));
                  LOGFONTA logFont = {};
                  GetObjectA(font, sizeof logFont, &logFont);
                  face = logFont.lfFaceName;
              },
              [](HWND d) { Click(d, IDC_SHOW_MESSAGE); },
              [&](HWND d) { withSender = TabOrder(d); }, [](HWND d) { PressCloseBox(d); }});
    // Group boxes and static texts are no tab stops; of the radio buttons
    // only the checked one is (the system gives it the tab stop); disabled
    // boxes are skipped.
    EXPECT_EQ(withoutSender, (std::vector<int>{1000, 1001, 1009, 1008, 1002, 1003, 1004, 1012}));
    EXPECT_EQ(withSender,
              (std::vector<int>{1000, 1001, 1009, 1006, 1010, 1011, 1002, 1003, 1004, 1012}));
    EXPECT_EQ(face, "ＭＳ Ｐゴシック");
}

// After each click: which radio button is checked and whether the sender
// and subject boxes may be changed. The check boxes keep their state.
TEST_F(SetupDialogTest, RadioButtonsEnableAndDisableSenderAndSubject)
{
    struct Row {
        int click;
        bool message, beep, nothing, enabled;
    };
    const Row rows[] = {
        {IDC_SHOW_MESSAGE, true, false, false, true}, {IDC_BEEP, false, true, false, false},
        {IDC_SHOW_MESSAGE, true, false, false, true}, {IDC_NOTHING, false, false, true, false},
        {IDC_NOTHING, false, false, true, false},     {IDC_BEEP, false, true, false, false},
        {IDC_NOTHING, false, false, true, false},
    };
    UseSettings({false, false, true, false, false}, "");
    std::vector<DialogStep> steps;
    for (const Row &row : rows) {
        steps.push_back([row](HWND d) {
            SCOPED_TRACE("click " + std::to_string(row.click));
            Click(d, row.click);
            SetupView v = ReadSetupView(d);
            EXPECT_EQ(v.message, row.message);
            EXPECT_EQ(v.beep, row.beep);
            EXPECT_EQ(v.nothing, row.nothing);
            EXPECT_EQ(v.fromEnabled, row.enabled);
            EXPECT_EQ(v.subjectEnabled, row.enabled);
            EXPECT_TRUE(v.from);
            EXPECT_FALSE(v.subject);
        });
    }
    std::string before = HostReadFile(SettingsPath());
    steps.push_back([](HWND d) { Click(d, IDC_CANCEL); });
    EXPECT_EQ(RunSetup(steps), IDC_CANCEL);
    EXPECT_EQ(HostReadFile(SettingsPath()), before);
}

// A file with both DispDialog and Beep on opens with both radio buttons
// checked; one click makes them exclusive again.
TEST_F(SetupDialogTest, BothSummaryAndBeepOnShowTwoCheckedRadioButtons)
{
    UseSettings({true, true, false, false, false}, "");
    SetupView first{}, afterClick{};
    RunSetup({[&](HWND d) { first = ReadSetupView(d); },
              [&](HWND d) {
                  Click(d, IDC_BEEP);
                  afterClick = ReadSetupView(d);
              },
              [](HWND d) { PressCloseBox(d); }});
    EXPECT_TRUE(first.message && first.beep && !first.nothing) << Describe(first);
    EXPECT_TRUE(first.fromEnabled) << Describe(first);
    EXPECT_TRUE(!afterClick.message && afterClick.beep && !afterClick.fromEnabled)
        << Describe(afterClick);
}

TEST_F(SetupDialogTest, ConfirmStoresTheChosenSwitches)
{
    UseSettings(kAllOff, "");
    EXPECT_EQ(RunSetup({[](HWND d) { Click(d, IDC_SHOW_MESSAGE); },
                        [](HWND d) { Click(d, IDC_SHOW_FROM); },
                        [](HWND d) { Click(d, IDC_SHOW_SUBJECT); },
                        [](HWND d) { Click(d, IDC_CHECK_CONNECT); },
                        [](HWND d) { Click(d, IDC_CONFIRM); }}),
              IDC_CONFIRM);
    EXPECT_EQ(SetupValue("DispDialog"), "1");
    EXPECT_EQ(SetupValue("Beep"), "0");
    EXPECT_EQ(SetupValue("DispFrom"), "1");
    EXPECT_EQ(SetupValue("DispSubject"), "1");
    EXPECT_EQ(SetupValue("CheckConnect"), "1");
    EXPECT_EQ(SetupValue("URL"), "");
    // The lengths are never written, only edited by hand.
    EXPECT_EQ(SetupValue("FromLength"), "<missing>");
    EXPECT_EQ(SetupValue("SubjectLength"), "<missing>");
}

// "何もしない" turns both DispDialog and Beep off; the sender and subject
// settings keep their values although their boxes were changed while
// enabled, in memory (the dialog opened again shows them) and in the file.
TEST_F(SetupDialogTest, ConfirmWithDoNothingKeepsSenderAndSubject)
{
    UseSettings({true, false, true, false, false}, "");
    EXPECT_EQ(RunSetup({[](HWND d) { Click(d, IDC_SHOW_FROM); },
                        [](HWND d) { Click(d, IDC_SHOW_SUBJECT); },
                        [](HWND d) { Click(d, IDC_NOTHING); },
                        [](HWND d) { Click(d, IDC_CONFIRM); }}),
              IDC_CONFIRM);
    EXPECT_EQ(SetupValue("DispDialog"), "0");
    EXPECT_EQ(SetupValue("Beep"), "0");
    EXPECT_EQ(SetupValue("DispFrom"), "1");
    EXPECT_EQ(SetupValue("DispSubject"), "0");
    SetupView again{};
    RunSetup({[&](HWND d) { again = ReadSetupView(d); }, [](HWND d) { PressCloseBox(d); }});
    EXPECT_TRUE(again.nothing && again.from && !again.subject && !again.fromEnabled)
        << Describe(again);

    // The same with the beep chosen.
    UseSettings({true, false, false, true, false}, "");
    EXPECT_EQ(RunSetup({[](HWND d) { Click(d, IDC_SHOW_SUBJECT); },
                        [](HWND d) { Click(d, IDC_BEEP); },
                        [](HWND d) { Click(d, IDC_CONFIRM); }}),
              IDC_CONFIRM);
    EXPECT_EQ(SetupValue("DispDialog"), "0");
    EXPECT_EQ(SetupValue("Beep"), "1");
    EXPECT_EQ(SetupValue("DispFrom"), "0");
    EXPECT_EQ(SetupValue("DispSubject"), "1");
}

// The URL rules of the confirm button. `stored` is the URL before the
// dialog opens, `knobs` what the stand-in is told for the row.
TEST_F(SetupDialogTest, ConfirmTestsATypedUrlBeforeTakingIt)
{
    const std::string needsHttp = "URL は、 http:// を入力してください";
    const std::string badUrl = "URL が正しくありません";
    const std::string base = WebUrl("");
    const std::string byName = "http://localhost:" + std::to_string(StandinHttpPort());
    const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort());
    // 510 bytes in all: the most the field gives (a page POPFile does not
    // have).
    const std::string longest = base + "/" + std::string(510 - base.size() - 1, 'q');
    struct Row {
        std::string stored, typed, knobs;
        std::string box;    // expected message box text; "" none
        int requests;       // requests that reach POPFile
        std::string result; // URL afterwards (file and memory)
    };
    const Row rows[] = {
        {"", base + "/", "", "", 1, base + "/"},
        {"", base, "", "", 1, base + "/"}, // slash appended
        {"", byName, "", "", 1, byName + "/"},
        // Tested as it will be stored: with its "/", and only when the
        // plug-in would use it (no "?", "#" or blank).
        {"", base + "/?", "", badUrl, 0, ""},
        {"", base + "/?a b", "", badUrl, 0, ""},
        {"", base + "/#top", "", badUrl, 0, ""},
        {"", longest, "", badUrl, 1, ""},
        {"", longest + "cut off here", "", badUrl, 1, ""},
        // Unchanged or empty: taken without asking POPFile.
        {base + "/", base + "/", "", "", 0, base + "/"},
        {base, base, "", "", 0, base + "/"},
        {base + "/", "", "", "", 0, ""},
        // Not beginning with "http://": the first message.
        {"", "HTTP://127.0.0.1/", "", needsHttp, 0, ""},
        {"", "ftp://127.0.0.1/", "", needsHttp, 0, ""},
        {"", "127.0.0.1/", "", needsHttp, 0, ""},
        {"", "http:/", "", needsHttp, 0, ""},
        {base + "/", " " + base + "/", "", needsHttp, 0, base + "/"},
        // No key at the URL: the second message.
        {"", base + "/", "front-key missing\n", badUrl, 1, ""},
        {"", base + "/", "front-key empty\n", badUrl, 1, ""},
        {"", base + "/no/such/page/", "", badUrl, 1, ""},
        {base + "/", refused + "/", "", badUrl, 0, base + "/"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("stored \"" + row.stored + "\" typed \"" + row.typed + "\" knobs \"" +
                     row.knobs + "\"");
        UseSettings(kAllOff, row.stored);
        SetStandinKnobs(row.knobs);
        int requestsBefore = StandinHttpRequests();
        size_t eventsBefore = HostEvents().size();
        bool stayed = false;
        std::string fieldAfter;
        std::vector<DialogStep> steps = {
            [&](HWND d) { TypeText(d, IDC_URL, row.typed.c_str()); },
            [&](HWND d) { Click(d, IDC_CONFIRM); },
        };
        if (!row.box.empty()) {
            // Refused: the dialog stays usable with the user's text.
            steps.push_back([&](HWND d) {
                stayed = IsWindowVisible(d) != FALSE;
                fieldAfter = ControlText(d, IDC_URL);
                PressCloseBox(d);
            });
        }
        INT_PTR code = RunSetup(steps);
        SetStandinKnobs("");
        std::vector<HostEvent> boxes = BoxesSince(eventsBefore);
        EXPECT_EQ(StandinHttpRequests() - requestsBefore, row.requests);
        EXPECT_EQ(SetupValue("URL"), row.result);
        if (row.box.empty()) {
            EXPECT_EQ(code, IDC_CONFIRM);
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_EQ(code, 0);
            EXPECT_TRUE(stayed);
            EXPECT_EQ(fieldAfter, row.typed);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].raw, row.box);
            EXPECT_EQ(boxes[0].extra, "Sortella");
            EXPECT_EQ(boxes[0].flags, UINT(MB_OK | MB_ICONINFORMATION));
            EXPECT_EQ(boxes[0].window, DrivenDialog());
        }
        // What memory holds shows when the dialog opens again.
        std::string shown;
        RunSetup({[&](HWND d) { shown = ControlText(d, IDC_URL); },
                  [](HWND d) { PressCloseBox(d); }});
        EXPECT_EQ(shown, row.result);
    }
    std::vector<std::string> targets = StandinHttpTargets();
    for (const std::string &target : targets)
        EXPECT_EQ(target.find(' '), std::string::npos) << "a blank went out unescaped: " << target;
}

TEST_F(SetupDialogTest, EnterAndEscapeDoNothing)
{
    UseSettings({true, false, true, true, true}, WebUrl("/"));
    std::string before = HostReadFile(SettingsPath());
    int requestsBefore = StandinHttpRequests();
    bool openAfterField = false, openAfterBox = false;
    INT_PTR code = RunSetup({
        // In the URL field, as after typing a URL.
        [](HWND d) {
            SetFocus(GetDlgItem(d, IDC_URL));
            TypeText(d, IDC_URL, "http://changed.example/");
            PressKey(d, VK_RETURN);
        },
        [](HWND d) { PressKey(d, VK_ESCAPE); },
        [&](HWND d) {
            openAfterField = IsWindowVisible(d) != FALSE;
            SetFocus(GetDlgItem(d, IDC_CHECK_CONNECT));
            PressKey(d, VK_RETURN);
        },
        [](HWND d) { PressKey(d, VK_ESCAPE); },
        [&](HWND d) {
            openAfterBox = IsWindowVisible(d) != FALSE;
            // The commands that Enter and Escape stand for, sent directly.
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        },
        [](HWND d) { PressCloseBox(d); },
    });
    EXPECT_TRUE(openAfterField);
    EXPECT_TRUE(openAfterBox);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(StandinHttpRequests(), requestsBefore);
    EXPECT_EQ(HostReadFile(SettingsPath()), before);
}

// The close box stores nothing: the dialog opened again shows the old state.
TEST_F(SetupDialogTest, CloseBoxEndsWithZeroAndStoresNothing)
{
    UseSettings(kAllOff, "");
    std::string before = HostReadFile(SettingsPath());
    EXPECT_EQ(RunSetup({[](HWND d) { Click(d, IDC_BEEP); },
                        [](HWND d) { Click(d, IDC_CHECK_CONNECT); },
                        [](HWND d) { TypeText(d, IDC_URL, "http://x/"); },
                        [](HWND d) { PressCloseBox(d); }}),
              0);
    EXPECT_EQ(HostReadFile(SettingsPath()), before);
    SetupView again{};
    RunSetup({[&](HWND d) { again = ReadSetupView(d); }, [](HWND d) { Click(d, IDC_CANCEL); }});
    EXPECT_TRUE(again.nothing && !again.beep && !again.connect && again.url.empty())
        << Describe(again);
}

// Reload ends the dialog; the reloaded values show at the next opening.
TEST_F(SetupDialogTest, ReloadEndsWith1000AndLoadsTheFile)
{
    UseSettings(kAllOff, "");
    WriteSettingsFile({false, true, false, false, true}, "http://127.0.0.1:8080/reloaded/");
    SetupView stale{}, reloaded{};
    EXPECT_EQ(RunSetup({[&](HWND d) { stale = ReadSetupView(d); },
                        [](HWND d) { Click(d, IDC_RELOAD); }}),
              IDC_RELOAD);
    EXPECT_TRUE(stale.nothing && stale.url.empty()) << Describe(stale);
    RunSetup({[&](HWND d) { reloaded = ReadSetupView(d); }, [](HWND d) { PressCloseBox(d); }});
    EXPECT_TRUE(reloaded.beep && reloaded.connect && reloaded.url == "http://127.0.0.1:8080/reloaded/")
        << Describe(reloaded);

    // Without a settings file the reload writes the first-run defaults.
    DeleteFileA(SettingsPath().c_str());
    EXPECT_EQ(RunSetup({[](HWND d) { Click(d, IDC_RELOAD); }}), IDC_RELOAD);
    EXPECT_EQ(SetupValue("CheckConnect"), "0");
    RunSetup({[&](HWND d) { reloaded = ReadSetupView(d); }, [](HWND d) { PressCloseBox(d); }});
    EXPECT_TRUE(reloaded.nothing && !reloaded.connect && reloaded.url.empty())
        << Describe(reloaded);
}

// Button 1001 starts "EDITOR PATH" and the dialog stays open. This
// program's folder holds a blank ("windows tests"), as Postwick32's does
// under "Program Files": the settings path is quoted, and so is an editor
// path with a blank that names a file; a value with arguments of its own,
// or quoted already, stays as it is. Without an ExternalEditor key the
// editor is notepad; an editor that cannot be started changes nothing.
TEST_F(SetupDialogTest, EditButtonStartsTheExternalEditor)
{
    UseSettings(kAllOff, "");
    const std::string directory = TestDirectory();
    ASSERT_NE(directory.find(' '), std::string::npos) << "the test program's folder holds no blank";
    const std::string ini = "\"" + SettingsPath() + "\"";
    struct Row {
        std::string editor; // "" : no ExternalEditor key
        bool forward;       // really start the process
        std::string commandLine;
        DWORD result;
    };
    std::string recorder = directory + "record_command_line.exe";
    std::string missing = "C:\\no_such_folder\\no_such_editor.exe";
    const Row rows[] = {
        {"", false, "notepad " + ini, TRUE},
        {recorder + " -r", false, recorder + " -r " + ini, TRUE},
        {"\"" + recorder + "\"", false, "\"" + recorder + "\" " + ini, TRUE},
        {missing, true, missing + " " + ini, FALSE},
        {recorder, true, "\"" + recorder + "\" " + ini, TRUE},
    };
    // Where Windows would look first for an unquoted program path: the
    // folder above, "windows.exe". A decoy there records where it ran.
    std::string above = directory.substr(0, directory.rfind('\\', directory.size() - 2) + 1);
    std::string decoy = above + "windows.exe";
    ASSERT_TRUE(CopyFileA(recorder.c_str(), decoy.c_str(), FALSE));
    std::string record = directory + "recorded_command_line.txt";
    std::string decoyRecord = above + "recorded_command_line.txt";
    DeleteFileA(record.c_str());
    DeleteFileA(decoyRecord.c_str());
    for (const Row &row : rows) {
        SCOPED_TRACE("editor \"" + row.editor + "\"");
        std::string mailboxIni = std::string(HostMailbox()) + "mailbox.ini";
        WritePrivateProfileStringA("Property", "ExternalEditor",
                                   row.editor.empty() ? NULL : row.editor.c_str(),
                                   mailboxIni.c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, mailboxIni.c_str());
        HostForwardCreateProcess(row.forward);
        size_t eventsBefore = HostEvents().size();
        EXPECT_TRUE(ClickThenCancel(IDC_EDIT_FILE));
        HostForwardCreateProcess(false);
        std::vector<HostEvent> starts = HostEventsOfKind("process", eventsBefore);
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].raw, row.commandLine);
        EXPECT_EQ(starts[0].extra, ""); // no separate application name
        EXPECT_EQ(starts[0].result, row.result);
    }
    // The recorder really ran, with exactly that command line, and the
    // decoy did not. A new Wine process takes a while to start under
    // emulation.
    ASSERT_TRUE(HostPumpUntil(
        [&] { return GetFileAttributesA(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 240000))
        << "the recording editor did not run";
    EXPECT_EQ(HostReadFile(record), "\"" + recorder + "\" " + ini);
    EXPECT_EQ(GetFileAttributesA(decoyRecord.c_str()), INVALID_FILE_ATTRIBUTES) << "the decoy ran";
    DeleteFileA(decoy.c_str());
}

// Button 1002 opens the filing log beside the settings file in the
// external editor, as button 1001 opens the settings file; without a log
// it says so in a box instead, and starts nothing. The dialog stays open.
TEST_F(SetupDialogTest, LogButtonOpensTheLogOrSaysThereIsNone)
{
    UseSettings(kAllOff, "");
    std::string mailboxIni = std::string(HostMailbox()) + "mailbox.ini";
    WritePrivateProfileStringA("Property", "ExternalEditor", NULL, mailboxIni.c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, mailboxIni.c_str());
    std::string log = TestDirectory() + "Plugins\\sortella.log";
    struct Row {
        const char *label;
        bool logThere;
    };
    for (const Row &row : {Row{"no log yet", false}, Row{"a log", true}}) {
        SCOPED_TRACE(row.label);
        DeleteFileA(log.c_str());
        if (row.logThere) {
            HANDLE file = CreateFileA(log.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            CloseHandle(file);
        }
        size_t eventsBefore = HostEvents().size();
        EXPECT_TRUE(ClickThenCancel(IDC_OPEN_LOG));
        std::vector<HostEvent> starts = HostEventsOfKind("process", eventsBefore);
        std::vector<HostEvent> boxes = BoxesSince(eventsBefore);
        if (row.logThere) {
            ASSERT_EQ(starts.size(), 1u);
            EXPECT_EQ(starts[0].raw, "notepad \"" + log + "\"");
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_TRUE(starts.empty());
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].raw, "振り分けの記録（sortella.log）はまだありません。");
            EXPECT_EQ(boxes[0].extra, "Sortella");
            EXPECT_EQ(boxes[0].flags, UINT(MB_OK | MB_ICONINFORMATION));
            EXPECT_EQ(boxes[0].window, DrivenDialog());
        }
    }
    DeleteFileA(log.c_str());
}

TEST_F(SetupDialogTest, AboutBoxEndCodes)
{
    struct Row {
        const char *how;
        DialogStep step;
        INT_PTR code;
    };
    const Row rows[] = {
        {"OK button", [](HWND d) { Click(d, IDOK); }, IDOK},
        {"Enter", [](HWND d) { PressKey(d, VK_RETURN); }, IDOK},
        {"Escape", [](HWND d) { PressKey(d, VK_ESCAPE); }, IDCANCEL},
        {"close box", [](HWND d) { PressCloseBox(d); }, IDCANCEL},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.how);
        std::string caption, text;
        HWND ownerSeen = NULL;
        INT_PTR code = DriveDialog([] { return HostRunAbout(owner); },
                                   {[&](HWND d) {
                                        char buffer[256] = "";
                                        GetWindowTextA(d, buffer, sizeof buffer);
                                        caption = buffer;
                                        ownerSeen = GetWindow(d, GW_OWNER);
                                    },
                                    row.step});
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(caption, "ﾊﾞｰｼﾞｮﾝ情報(sortella)");
        EXPECT_EQ(ownerSeen, owner);
    }
}

// PNG pictures of the three dialogs for the documentation, written beside
// the test program ("screenshots\").
TEST_F(SetupDialogTest, Screenshots)
{
    std::string directory = TestDirectory() + "screenshots\\";
    CreateDirectoryA(directory.c_str(), NULL);
    UseSettings({true, false, true, false, true}, "http://127.0.0.1:8080/");
    int taken = 0;
    auto shoot = [&](const std::string &name) {
        return [&, name](HWND d) {
            RedrawWindow(d, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            taken += HostScreenshot(d, (directory + name).c_str());
        };
    };
    RunSetup({[](HWND) {}, shoot("setup_dialog.png"), [](HWND d) { PressCloseBox(d); }});
    DriveDialog([] { return HostRunAbout(owner); },
                {[](HWND) {}, shoot("about_box.png"), [](HWND d) { Click(d, IDOK); }});
    EXPECT_EQ(taken, 2);
}

} // namespace
