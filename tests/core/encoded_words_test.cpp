#include "mailstore/encoded_words.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/core/message_files.h"

using namespace std::string_literals;

namespace {

// Decodes `input` in a heap block of exactly its size, so that ASan sees any
// byte read or written beyond the NUL.
std::string Decoded(const std::string &input)
{
    std::unique_ptr<char[]> text(new char[input.size() + 1]);
    memcpy(text.get(), input.c_str(), input.size() + 1);
    DecodeEncodedWords(text.get());
    return std::string(text.get());
}

struct DecodeRow {
    std::string input;
    std::string expected;
};

TEST(DecodeEncodedWords, DecodesWordsAndKeepsTheRest)
{
    const DecodeRow rows[] = {
        {"=?US-ASCII?B?SGVsbG8=?=", "Hello"},
        {"=?US-ASCII?B?QQ==?=x", "Ax"},
        {"=?US-ASCII?B?SGk=?==?US-ASCII?B?IQ==?=", "Hi!"},
        {"=?US-ASCII?B?SGk=?= =?US-ASCII?B?IQ==?=", "Hi !"},
        {"=?US-ASCII?Q?a=41b_c?=", "aAb_c"},
        {"=?us-ascii?b?SGk=?=", "Hi"},
        {"=?us-ascii?q?=e3=81=82?=", "\xe3\x81\x82"},
        {"=?ISO-2022-JP?B?GyRCJEgbKEI=?=", "\x1b$B$H\x1b(B"},
        {"=?SHIFT_JIS?B?g3yDWINn?=", "\x83\x7c\x83\x58\x83\x67"},
        {"Re: =?US-ASCII?B?SGk=?=", "Re: Hi"},
        {"a=?x?Q?y?=b", "ayb"},
        // The encoding comes from a marker anywhere later: this Q word is
        // decoded as base64 because the second word says "?B?".
        {"=?US-ASCII?Q?SGk=?= =?US-ASCII?B?IQ==?=", "Hi !"},
        // A Q word whose escape takes "?=" as its digits gives a NUL byte.
        {"=?a?Q?ab=?=cd", "ab"},
        {"=?a?Q?ab=", "ab"},
        {"=?a?Q?ab=4", "ab@"},
        {"=?a?Q?x=zz?=", "x\0"s.substr(0, 1)},
        {"=?a?B?SGk", "Hi"},
        {"=?a?B?SG k=?=", "Hk=?="},
        {"=?a?B?S?=rest", "rest"},
        {"=?a?B?====?=x", "x"},
        {"=?B?B?SGk=?=", "Hi"},
        {"=?a?B?\?=", ""},
        // Left alone: no marker after the "=?", or fewer than two "?".
        {"plain text", "plain text"},
        {"", ""},
        {"=?", "=?"},
        {"=?US-ASCII?X?SGk=?=", "=?US-ASCII?X?SGk=?="},
        {"x =?B?abc", "x =?B?abc"},
        {"=?Q?", "=?Q?"},
        {"=?a?B?SGk=?= =?tail", "Hi =?tail"},
        {"?B? before =?x?y?=", "?B? before =?x?y?="},
    };
    for (const DecodeRow &row : rows)
        EXPECT_EQ(Decoded(row.input), row.expected) << "input \"" << Printable(row.input) << "\"";
}

TEST(DecodeEncodedWords, NeverGrowsTheText)
{
    // Words that decode to as many bytes as possible for their size.
    const std::string inputs[] = {
        "=?\?\?=", "=?\?\?A", "=?\?\?AA", "=?\?\?AAA", "=?\?\?AAAA", "=?\?\?==", "=?\?\?=4", "=??Q?a", "=?\?\?ab",
    };
    for (const std::string &input : inputs) {
        for (const char *marker : {"", " ?B?", " ?Q?"}) {
            std::string text = input + marker;
            EXPECT_LE(Decoded(text).size(), text.size()) << "input \"" << Printable(text) << "\"";
        }
    }
}

struct FindRow {
    const char *text;
    ptrdiff_t position;
    char encoding;
};

TEST(FindEncodedWord, ChoosesBBeforeQFromAnyLaterMarker)
{
    const FindRow rows[] = {
        {"no word", -1, 0},
        {"x=?a?Q?c?=", 1, 'Q'},
        {"=?a?q?c?=", 0, 'Q'},
        {"=?a?Q?c?= =?a?b?c?=", 0, 'B'},
        {"?B? =?a?Q?c?=", 4, 'Q'},
        {"?B? =?a?x?c?=", -1, 0},
        {"=?B?", 0, 'B'},
        {"ab=?x?y?z?=", -1, 0},
    };
    for (const FindRow &row : rows) {
        char encoding = 0;
        EXPECT_EQ(FindEncodedWord(row.text, &encoding), row.position) << "text \"" << row.text << "\"";
        EXPECT_EQ(encoding, row.encoding) << "text \"" << row.text << "\"";
    }
}

TEST(DecodeWord, StopsWithoutTheTwoQuestionMarks)
{
    for (const char *word : {"=?abc", "=?a?B", "=?B?"}) {
        char output[8] = "unused";
        const char *cursor = word;
        EXPECT_EQ(DecodeBWord(output, &cursor), nullptr) << word;
        EXPECT_EQ(DecodeQWord(output, &cursor), nullptr) << word;
        EXPECT_EQ(cursor, word) << word;
        EXPECT_STREQ(output, "unused") << word;
    }
}

TEST(Base64DecodeTable, MapsAlphabetPaddingAndTheRest)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int byte = 0; byte < 256; byte++) {
        size_t value = alphabet.find((char)byte);
        int expected = byte == '=' ? -2 : value == std::string::npos || byte == 0 ? -1 : (int)value;
        EXPECT_EQ(Base64DecodeTable[byte], expected) << "byte " << byte;
    }
}

} // namespace
