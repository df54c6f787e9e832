// Sender and subject texts of the filing summary. Every function works in
// the caller's buffer; each input here lies in a heap block of exactly its
// size, so that ASan reports any byte read or written beyond it. Shift_JIS
// bytes are written as escapes (this file is compiled without a charset
// conversion); the comment beside each gives the characters.
#include "filing/summary_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/printable.h"

namespace {

const char kNull[] = "(null)";

std::string Repeated(const std::string &text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

// Runs `function` over a heap copy of `input` and returns its result as a
// string, kNull for nullptr.
template <typename Function>
std::string Applied(const std::string &input, Function function)
{
    std::unique_ptr<char[]> text(new char[input.size() + 1]);
    memcpy(text.get(), input.c_str(), input.size() + 1);
    char *result = function(text.get());
    if (!result)
        return kNull;
    EXPECT_GE(result, text.get());
    EXPECT_LE(result, text.get() + input.size());
    return std::string(result);
}


struct TextRow {
    std::string input;
    std::string expected;
};

struct LimitRow {
    std::string input;
    int limit;
    std::string expected;
};

TEST(ExtractDisplayName, EveryShapeOfSender)
{
    const TextRow rows[] = {
        {"", kNull},
        {"    ", kNull},
        {"Taro Yamada <taro@example.jp>", "Taro Yamada"},
        {"  Taro   <taro@example.jp>", "Taro"},
        {"\"Yamada, Taro\" <taro@example.jp>", "Yamada, Taro"},
        {"\"\" <taro@example.jp>", ""},
        {"\"open quote <taro@example.jp>", "open quote <taro@example.jp>"},
        {"taro@example.jp (Taro Yamada)", "Taro Yamada"},
        {"taro@example.jp (open paren", "open paren"},
        {"<taro@example.jp>", "taro@example.jp"},
        {"<taro@example.jp", "taro@example.jp"},
        {"   taro@example.jp", "taro@example.jp"},
        {"taro@example.jp", "taro@example.jp"},
        // Quotes before parentheses before angle brackets.
        {"(comment) \"quoted\" <a@b>", "quoted"},
        {"Name <a@b> (comment)", "comment"},
        // Only 0x20 counts as a space to skip.
        {"\tTab <a@b>", "\tTab"},
        // 表示 ends in 0x5C; the trail byte is not taken for a mark.
        {"\x95\x5c\x8e\xa6 <a@b>", "\x95\x5c\x8e\xa6"},
        {"=?ISO-2022-JP?B?GyRCST08KBsoQg==?= <a@b>", "=?ISO-2022-JP?B?GyRCST08KBsoQg==?="},
    };
    for (const TextRow &row : rows)
        EXPECT_EQ(Printable(Applied(row.input, ExtractDisplayName)), Printable(row.expected)) << "input: " << Printable(row.input);
}

TEST(CutToLength, CutsToTheLimitWithoutSplittingACharacter)
{
    const std::string forty(40, 'a');
    // あいう in Shift_JIS.
    const std::string aiu = "\x82\xa0\x82\xa2\x82\xa4";
    const LimitRow rows[] = {
        {"", 5, kNull},
        {"   ", 5, kNull},
        {forty, 26, std::string(26, 'a')},
        {"abc", 5, "abc"},
        {"   abc", 2, "ab"},
        {"abc", 0, ""},
        {aiu, 5, "\x82\xa0\x82\xa2"},
        {aiu, 6, aiu},
        {aiu, 2, "\x82\xa0"},
        {aiu, 1, ""},
        {"a\x82\xa0", 2, "a"},
        {"a\x82\xa0", 3, "a\x82\xa0"},
        // Lead bytes 0x80-0x9F and 0xE0-0xFF; 0xA0-0xDF are single bytes
        // (half-width katakana ｱｲｳ).
        {"\xe0\x40\xfc\x40", 3, "\xe0\x40"},
        {"\x80\x40z", 3, "\x80\x40z"},
        {"\xb1\xb2\xb3", 2, "\xb1\xb2"},
        {"\xa0\xdf!", 2, "\xa0\xdf"},
        // A lone first byte at the end stays.
        {"ab\x82", 10, "ab\x82"},
        {"ab\x82", 4, "ab\x82"},
        {"ab\x82", 3, "ab"},
        // Encoded words are decoded before the cut.
        {"=?US-ASCII?B?SGVsbG8=?=", 3, "Hel"},
        {"  Re: =?US-ASCII?B?SGk=?=", 26, "Re: Hi"},
        {"=?US-ASCII?B?" "?=", 26, ""},
        // Malformed words decode as far as they go.
        {"=?US-ASCII?B?SGVsb", 26, "Hel"},
        {"=?broken", 26, "=?broken"},
    };
    for (const LimitRow &row : rows) {
        std::string got = Applied(row.input, [&](char *text) { return CutToLength(text, row.limit); });
        EXPECT_EQ(Printable(got), Printable(row.expected)) << "input: " << Printable(row.input) << " limit " << row.limit;
    }
}

TEST(SenderForSummary, LimitBelowOneShowsTheNameAsWritten)
{
    const LimitRow rows[] = {
        {"=?US-ASCII?B?VGFybw==?= <t@x>", 0, "=?US-ASCII?B?VGFybw==?="},
        {"=?US-ASCII?B?VGFybw==?= <t@x>", -1, "=?US-ASCII?B?VGFybw==?="},
        {"=?US-ASCII?B?VGFybw==?= <t@x>", 3, "Tar"},
        {"ABCDEFGHIJKL <t@x>", 10, "ABCDEFGHIJ"},
        {"ABCDEFGHIJKL <t@x>", 0, "ABCDEFGHIJKL"},
        // An empty display name: shown empty as written, dropped when cut.
        {"\"\" <t@x>", 0, ""},
        {"\"\" <t@x>", 5, kNull},
        {"   ", 0, kNull},
        {"   ", 5, kNull},
        // Spaces inside quotes are skipped by the cut, not by the extraction.
        {"\"  Taro\" <t@x>", 0, "  Taro"},
        {"\"  Taro\" <t@x>", 10, "Taro"},
        // A Shift_JIS name cut between characters (表示 is 4 bytes).
        {"\x95\x5c\x8e\xa6 <t@x>", 3, "\x95\x5c"},
        // However long the name, at most the ceiling of bytes, also with no
        // cut asked for and with a larger limit; a double-byte character
        // that would straddle the ceiling is left out (, then 表 x 100).
        {std::string(5000, 'n') + " <t@x>", 0, std::string(SummaryTextCeiling, 'n')},
        {std::string(5000, 'n') + " <t@x>", 100000, std::string(SummaryTextCeiling, 'n')},
        {"," + Repeated("\x95\x5c", 100) + " <t@x>", 0, "," + Repeated("\x95\x5c", 99)},
        {"=?US-ASCII?Q?" + std::string(300, 'q') + "?= <t@x>", 0, "=?US-ASCII?Q?" + std::string(187, 'q')},
    };
    for (const LimitRow &row : rows) {
        std::string got = Applied(row.input, [&](char *text) { return SenderForSummary(text, row.limit); });
        EXPECT_EQ(Printable(got), Printable(row.expected)) << "input: " << Printable(row.input) << " limit " << row.limit;
    }
}

TEST(SubjectForSummary, AlwaysDecodedAndCutTo26WithoutALimit)
{
    const std::string forty(40, 's');
    const LimitRow rows[] = {
        {forty, 0, std::string(26, 's')},
        {forty, -7, std::string(26, 's')},
        {forty, 30, std::string(30, 's')},
        {"\x82\xa0\x82\xa2\x82\xa4", 5, "\x82\xa0\x82\xa2"},
        {"=?US-ASCII?Q?a=41b_c?=", 0, "aAb_c"},
        {"  ", 0, kNull},
        {std::string(5000, 's'), 100000, std::string(SummaryTextCeiling, 's')},
    };
    for (const LimitRow &row : rows) {
        std::string got = Applied(row.input, [&](char *text) { return SubjectForSummary(text, row.limit); });
        EXPECT_EQ(Printable(got), Printable(row.expected)) << "input: " << Printable(row.input) << " limit " << row.limit;
    }
}

// Decoded texts in ISO-2022-JP, UTF-8 and EUC-JP read as Shift_JIS: each
// word by its own charset; every other charset keeps its decoded bytes, and
// so does the text outside the words.
TEST(CutToLength, ConvertsDecodedJapaneseToShiftJis)
{
    const std::string nihongo = "\x93\xfa\x96\x7b\x8c\xea"; // 日本語
    const LimitRow rows[] = {
        // ISO-2022-JP: JIS runs become Shift_JIS, the escapes go.
        {"=?ISO-2022-JP?B?GyRCJEgbKEI=?=", 26, "\x82\xc6"},          // と
        {"=?iso-2022-jp?B?GyRCRnxLXDhsGyhC?=", 26, nihongo},          // 日本語
        {"=?ISO-2022-JP?q?=1B$B$H=1B(B?=", 26, "\x82\xc6"},           // と
        {"Re: =?ISO-2022-JP?B?GyRCST08KBsoQg==?= x", 26, "Re: \x95\x5c\x8e\xa6 x"}, // 表示
        {"=?ISO-2022-JP?B?GyRCJT0bKEI=?=", 26, "\x83\x5c"},           // ソ
        {"=?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?=", 26,
         "\x89\xef\x8b\x63\x82\xcc\x82\xa8\x92\x6d\x82\xe7\x82\xb9"}, // 会議のお知らせ
        // The cut comes after the conversion, on Shift_JIS characters.
        {"=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=", 5, "\x93\xfa\x96\x7b"},
        // Raw JIS in a header, ESC $ @, ESC ( J, half-width katakana ESC ( I,
        // and a run left open at the end.
        {"\x1b$B$H\x1b(B!", 26, "\x82\xc6!"},
        {"\x1b$@$H\x1b(Jx", 26, "\x82\xc6x"},
        {"\x1b(I123\x1b(Bz", 26, "\xb1\xb2\xb3z"},
        {"a\x1b$B$H", 26, "a\x82\xc6"},
        // In a double-byte run a byte outside 0x21-0x7E stays; unknown
        // escapes stay.
        {"\x1b$B$H $H\x1b(B", 26, "\x82\xc6 \x82\xc6"},
        {"\x1b$(Dab", 26, "\x1b$(Dab"},
        // UTF-8, '?' for what code page 932 lacks.
        {"=?UTF-8?B?5pel5pys6Kqe?=", 26, nihongo},
        {"=?utf-8?q?=E3=81=82?=", 26, "\x82\xa0"},                   // あ
        {"Re: =?UTF-8?B?5pel5pys6Kqe?=", 26, "Re: " + nihongo},
        {"=?UTF-8?B?5pel?= =?UTF-8?B?5pys?=", 26, "\x93\xfa \x96\x7b"},
        {"=?UTF-8?B?YeC4gWI=?=", 26, "a?b"},                          // aกb
        {"=?UTF-8?Q?a=FFb?=", 26, "a?b"},
        {"=?UTF-8?B?772x?=", 26, "\xb1"},                             // ｱ
        {"=?UTF-8*ja?B?5pel?=", 26, "\x93\xfa"},
        {"=?UTF-8?B?5pel5pys6Kqe?=", 5, "\x93\xfa\x96\x7b"},
        // EUC-JP, including its half-width katakana (SS2).
        {"=?EUC-JP?B?xvzL3Ljs?=", 26, nihongo},
        {"=?euc-jp?B?jrGOsg==?=", 26, "\xb1\xb2"},
        // Other charsets keep their decoded bytes; in a mixture each word
        // is read by its own charset.
        {"=?Shift_JIS?B?g3yDWINn?=", 26, "\x83\x7c\x83\x58\x83\x67"},
        {"=?US-ASCII?B?SGk=?=", 26, "Hi"},
        {"=?UTF-8?B?5pel?= =?Shift_JIS?B?g3w=?=", 26, "\x93\xfa \x83\x7c"},
        {"=?UTF-8?B?5pel?= =?EUC-JP?B?xvw=?=", 26, "\x93\xfa \x93\xfa"},
        {"=?UTF-8?B?5pel?= =?ISO-2022-JP?B?GyRCJEgbKEI=?=", 26, "\x93\xfa \x82\xc6"},
        {"=?EUC-JP?B?xvw=?==?UTF-8?B?5pel?=", 26, "\x93\xfa\x93\xfa"},
        {"=?UTF-8X?B?5pel?=", 26, "\xe6\x97\xa5"},
        // Raw Shift_JIS around UTF-8 words stays as it is (Re: 日本 日).
        {"Re: \x93\xfa\x96\x7b =?UTF-8?B?5pel?=", 26, "Re: \x93\xfa\x96\x7b \x93\xfa"},
        {"\x95\x5c =?EUC-JP?B?xvw=?= \x95\x5c", 26, "\x95\x5c \x93\xfa \x95\x5c"},
        // A character split over two adjacent words is joined; over two
        // words with a blank between, each half is undecodable.
        {"=?UTF-8?Q?=E6=97?==?UTF-8?Q?=A5?=", 26, "\x93\xfa"},
        {"=?UTF-8?Q?=E6=97?= =?UTF-8?Q?=A5?=", 26, "?? ?"},
        // Without encoded words nothing is converted but JIS runs.
        {"\xe6\x97\xa5", 26, "\xe6\x97\xa5"},
        {"\x93\xfa\x96\x7b", 26, "\x93\xfa\x96\x7b"},
    };
    for (const LimitRow &row : rows) {
        std::string got = Applied(row.input, [&](char *text) { return CutToLength(text, row.limit); });
        EXPECT_EQ(Printable(got), Printable(row.expected)) << "input: " << Printable(row.input) << " limit " << row.limit;
    }
}

struct DetailRow {
    const char *from;    // nullptr: no sender text asked for
    const char *subject; // nullptr: no subject text asked for
    int fromLength;
    int subjectLength;
    std::string line;
};

// The shapes of one message's line in the summary.
TEST(DetailLine, SenderAndOrSubjectOnALineOfTheirOwn)
{
    const std::string forty(40, 'x');
    const DetailRow rows[] = {
        {"Taro <t@x>", "Hello", 0, 0, "  Taro : Hello\n"},
        {"Taro <t@x>", nullptr, 0, 0, "  Taro\n"},
        {nullptr, "Hello", 0, 0, "  Hello\n"},
        {nullptr, nullptr, 0, 0, ""},
        {"   ", "   ", 0, 0, ""},
        // An empty name: shown as written, dropped when cut.
        {"\"\" <t@x>", "s", 0, 0, "   : s\n"},
        {"\"\" <t@x>", "s", 5, 0, "  s\n"},
        {"ABCDEFGHIJKL <t@x>", nullptr, 10, 0, "  ABCDEFGHIJ\n"},
        {nullptr, forty.c_str(), 0, 0, "  " + std::string(26, 'x') + "\n"},
        {nullptr, forty.c_str(), 0, 30, "  " + std::string(30, 'x') + "\n"},
        // 表示 cut between characters; あいう cut to two characters.
        {"\x95\x5c\x8e\xa6 <t@x>", nullptr, 3, 0, "  \x95\x5c\n"},
        {nullptr, "\x82\xa0\x82\xa2\x82\xa4", 0, 5, "  \x82\xa0\x82\xa2\n"},
        {nullptr, "=?ISO-2022-JP?B?GyRCJEg", 0, 0, "  \x82\xc6\n"},
    };
    for (const DetailRow &row : rows) {
        std::string from = row.from ? row.from : "";
        std::string subject = row.subject ? row.subject : "";
        std::string line = DetailLine(row.from ? &from[0] : nullptr, row.subject ? &subject[0] : nullptr,
                                      row.fromLength, row.subjectLength);
        EXPECT_EQ(Printable(line), Printable(row.line))
            << "from " << Printable(row.from ? row.from : "(none)") << " subject "
            << Printable(row.subject ? row.subject : "(none)");
    }
}

TEST(AppendFolderParagraph, FolderLineThenItsDetails)
{
    std::string summary;
    AppendFolderParagraph(summary, "ごみ箱", 3, "  a\n  b\n");
    AppendFolderParagraph(summary, "仕事", 1, "");
    EXPECT_EQ(summary, "[ごみ箱]へ 3 件移動しました\n  a\n  b\n[仕事]へ 1 件移動しました\n");
}

// A list limit keeps the first lines and says how many moves were not
// listed; moves that have no line count among those.
TEST(AppendFolderParagraph, ListLimitEndsTheListWithTheRestCounted)
{
    struct Row {
        int moved;
        const char *details;
        int limit;
        const char *expected;
    } rows[] = {
        {3, "  a\n  b\n  c\n", -1, "[f]へ 3 件移動しました\n  a\n  b\n  c\n"},
        {3, "  a\n  b\n  c\n", 3, "[f]へ 3 件移動しました\n  a\n  b\n  c\n"},
        {3, "  a\n  b\n  c\n", 2, "[f]へ 3 件移動しました\n  a\n  b\n  ほか 1 件\n"},
        {3, "  a\n  b\n  c\n", 0, "[f]へ 3 件移動しました\n  ほか 3 件\n"},
        {500, "  a\n  b\n", 1, "[f]へ 500 件移動しました\n  a\n  ほか 499 件\n"},
        {500, "  a\n  b\n", 2, "[f]へ 500 件移動しました\n  a\n  b\n"},
        {2, "", 0, "[f]へ 2 件移動しました\n"},
    };
    for (const Row &row : rows) {
        std::string summary;
        AppendFolderParagraph(summary, "f", row.moved, row.details, row.limit);
        EXPECT_EQ(summary, row.expected) << row.details << " limit " << row.limit;
    }
}

} // namespace
