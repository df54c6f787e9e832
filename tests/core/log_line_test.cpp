// Lines of the filing log. Texts from messages and the host are Shift_JIS
// bytes written as escapes (this file is compiled without a charset
// conversion, as are the plug-in's own words in the native build: those
// are compared as written); the comment beside each gives the characters.
#include "filing/log_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/printable.h"

namespace {

const char kInbox[] = "\x97\x58\x95\xd6\x8e\xf3\x82\xaf"; // 郵便受け
const char kTrash[] = "\x82\xb2\x82\xdd\x94\xa0";         // ごみ箱
const std::string kA = "\x82\xa0";                        // あ

const LogTime kTime = {2026, 1, 2, 3, 4, 5};

std::vector<std::string> Fields(const std::string &line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    std::string body = line.substr(0, line.size() - 2);
    for (size_t tab = body.find('\t'); tab != std::string::npos; tab = body.find('\t', start)) {
        fields.push_back(body.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(body.substr(start));
    return fields;
}

struct LineRow {
    const char *label;
    LogEvent event;
    std::string line;
};

TEST(FormatLogLine, EveryFieldOfAMoveAndOfACorrection)
{
    const std::string entry = std::string("acc1\\") + kInbox + "\\0150";
    const std::string destination = std::string("Work\\") + kTrash;
    const std::string from = "Taro Yamada <taro@example.jp>";
    const std::string start = "2026-01-02 03:04:05\t";
    const LineRow rows[] = {
        {"move",
         {kTime, LogFiled, "Work", entry.c_str(), destination.c_str(), false, "spam", "old", "ignored",
          from.c_str(), "Hello"},
         start + "振り分け\tWork\t" + entry + "\t" + destination + "\tspam\t\tTaro Yamada\tHello\r\n"},
        {"move the host refused",
         {kTime, LogFiled, "Work", entry.c_str(), destination.c_str(), true, "spam", nullptr, nullptr, nullptr,
          nullptr},
         start + "振り分け\tWork\t" + entry + "\t" + destination + " (移動できず)\tspam\t\t\t\r\n"},
        {"correction POPFile took",
         {kTime, LogCorrected, "Work", entry.c_str(), destination.c_str(), false, "inbox", "spam", "済",
          from.c_str(), "Hello"},
         start + "訂正\tWork\t" + entry + "\t" + destination + "\tspam → inbox\t済\tTaro Yamada\tHello\r\n"},
        {"correction without a move",
         {kTime, LogCorrected, "", entry.c_str(), nullptr, true, "inbox", nullptr, "URLなし", "   ", ""},
         start + "訂正\t\t" + entry + "\t\t → inbox\tURLなし\t\t\r\n"},
        {"control bytes of the host's texts",
         {kTime, LogFiled, "A\tB", "e\r\n", "A\tB\\x", false, "sp\x01" "am", nullptr, nullptr, nullptr, nullptr},
         start + "振り分け\tA B\te  \tA B\\x\tsp am\t\t\t\r\n"},
    };
    for (const LineRow &row : rows) {
        std::string line = FormatLogLine(row.event);
        EXPECT_EQ(Printable(line), Printable(row.line)) << row.label;
        EXPECT_EQ(Fields(line).size(), 9u) << row.label;
    }
}

struct TextRow {
    const char *label;
    std::string from, subject;
    std::string sender, subjectText; // the line's last two fields
};

// Sender and subject are decoded as the summary decodes them, however its
// settings stand, cut to 200 bytes on a character boundary, and made safe
// for a TAB-separated line.
TEST(FormatLogLine, SenderAndSubjectAreDecodedCutAndMadeSafe)
{
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += kA;
    const TextRow rows[] = {
        {"display name", "\"Yamada, Taro\" <taro@example.jp>", "Hi", "Yamada, Taro", "Hi"},
        {"encoded words", "=?ISO-2022-JP?B?GyRCST08KBsoQg==?= <t@x>",
         "=?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?=", "\x95\x5c\x8e\xa6" /* 表示 */,
         "\x89\xef\x8b\x63\x82\xcc\x82\xa8\x92\x6d\x82\xe7\x82\xb9" /* 会議のお知らせ */},
        {"UTF-8 words", "=?UTF-8?B?5bGx55Sw?= <y@x>", "=?UTF-8?B?6KuL5rGC5pu4?=",
         "\x8e\x52\x93\x63" /* 山田 */, "\x90\xbf\x8b\x81\x8f\x91" /* 請求書 */},
        {"cut at 200 bytes", std::string(250, 'f'), std::string(250, 's'), std::string(200, 'f'),
         std::string(200, 's')},
        {"cut before a character that would not fit", "a" + many, "ab" + many, "a" + many.substr(0, 198),
         "ab" + many.substr(0, 198)},
        {"control bytes", "a\tb <x@y>", "a\tb\rc\nd\x01" "e\x7f" "f", "a b", "a b c d e f"},
        {"a decoded TAB", "x@y", "=?US-ASCII?Q?a=09b?=", "x@y", "a b"},
        {"first byte without its second", "ab\x82 <x@y>", "\x82\tX\x82", "ab ", "  X "},
        {"nothing to show", "   ", "   ", "", ""},
    };
    for (const TextRow &row : rows) {
        LogEvent event = {kTime, LogFiled, "W", "e", "W\\f", false, "spam", nullptr, nullptr,
                          row.from.c_str(), row.subject.c_str()};
        std::vector<std::string> fields = Fields(FormatLogLine(event));
        ASSERT_EQ(fields.size(), 9u) << row.label;
        EXPECT_EQ(Printable(fields[7]), Printable(row.sender)) << row.label;
        EXPECT_EQ(Printable(fields[8]), Printable(row.subjectText)) << row.label;
    }
}

TEST(LogDateText, NumbersAreZeroPaddedToTheirWidth)
{
    const struct {
        LogTime time;
        const char *text;
    } rows[] = {
        {{2026, 1, 2, 3, 4, 5}, "2026-01-02 03:04:05"},
        {{1999, 12, 31, 23, 59, 59}, "1999-12-31 23:59:59"},
        {{987, 7, 8, 9, 0, 0}, "0987-07-08 09:00:00"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(LogDateText(row.time), row.text);
}

} // namespace
