// The byte-string helpers: ASCII case folding and the search for a
// backslash that steps over Shift_JIS characters.
#include "mailstore/text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/core/message_files.h"

namespace {

struct BackslashRow {
    const char *text;
    long first; // offset of the first real backslash; -1: none
    long last;  // offset of the last one; -1: none
};

// ソ (83 5C), 表 (95 5C), 能 (94 5C), 十 (8F 5C) and the lead bytes at the
// ends of both ranges (81, 9F, E0, FC) hide their 0x5C; half-width katakana
// (A0-DF) and 0x80, 0xFD-0xFF are single bytes, so a 0x5C after them is a
// backslash.
TEST(FindBackslash, StepsOverDoubleByteCharacters)
{
    const BackslashRow rows[] = {
        {"", -1, -1},
        {"abc", -1, -1},
        {"\\\\", 0, 1},
        {"acc1\\inbox\\0001.PWK", 4, 10},
        {"\x83\x5c\x83\x74\x83\x67\\in", 6, 6},     // ソフト, backslash, in
        {"\x95\x5c\x8c\x76\x8e\x5a\\x", 6, 6},      // 表計算, backslash, x
        {"\x94\x5c\x8f\x5c\\", 4, 4},               // 能十, backslash
        {"\x81\x5c\x9f\x5c\xe0\x5c\xfc\x5c", -1, -1},
        {"\xb1\x5c\x80\x5c\xfd\x5c", 1, 5},
        {"a\\\x83\x5c\\b", 1, 4},
        // A lead byte at the end of the text stays one byte.
        {"ab\x83", -1, -1},
        {"\\\x83", 0, 0},
    };
    for (const BackslashRow &row : rows) {
        const char *first = FindBackslash(row.text);
        long firstOffset = *first ? first - row.text : -1;
        EXPECT_EQ(firstOffset, row.first) << "text \"" << Printable(row.text) << "\"";
        if (!*first) {
            EXPECT_EQ(first, row.text + strlen(row.text));
        }
        const char *last = FindLastBackslash(row.text);
        EXPECT_EQ(last ? last - row.text : -1, row.last) << "text \"" << Printable(row.text) << "\"";
    }
}

struct PrefixRow {
    const char *text;
    const char *prefix;
    int expected;
};

TEST(PrefixDiffersNoCase, FoldsOnlyAsciiLetters)
{
    const PrefixRow rows[] = {
        {"view=12", "VIEW=", 0},   {"VIEW=12", "view=", 0}, {"abc", "", 0},       {"", "", 0},
        {"", "a", 1},              {"ab", "abc", 1},        {"abd", "abc", 1},    {"@", "`", 1},
        {"[", "{", 1},             {"\xe0", "\xc0", 1},     {"\xe0x", "\xe0X", 0}, {"Key=", "key=", 0},
    };
    for (const PrefixRow &row : rows)
        EXPECT_EQ(PrefixDiffersNoCase(row.text, row.prefix), row.expected)
            << "text \"" << Printable(row.text) << "\" prefix \"" << Printable(row.prefix) << "\"";
}

struct FindAfterRow {
    const char *text;
    const char *pattern;
    const char *expectedRest;
};

TEST(FindAfterNoCase, ReturnsRestAfterFirstMatchOrEmpty)
{
    const FindAfterRow rows[] = {
        {"a?VIEW=12&x", "view=", "12&x"},
        {"view=1 view=2", "VIEW=", "1 view=2"},
        {"vie", "view=", ""},
        {"nothing here", "view=", ""},
        {"", "view=", ""},
        {"text", "", ""},
        {"vvview=3", "view=", "3"},
        {"name=\"session\" value=\"abc\"", "NAME=\"SESSION\" VALUE=\"", "abc\""},
    };
    for (const FindAfterRow &row : rows) {
        const char *rest = FindAfterNoCase(row.text, row.pattern);
        ASSERT_NE(rest, nullptr);
        EXPECT_GE(rest, row.text);
        EXPECT_LE(rest, row.text + strlen(row.text));
        EXPECT_STREQ(rest, row.expectedRest) << "text \"" << row.text << "\" pattern \"" << row.pattern << "\"";
    }
}

} // namespace
