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

struct WalkRow {
    const char *text;
    std::string words; // each word as "position:encoding:charset;"
    const char *plainRest;
};

// The walk gives the words in order, with the encoding taken from any later
// marker, and stops where decoding would stop.
TEST(EncodedWordWalk, FindsWordsAsTheDecoderTakesThem)
{
    const WalkRow rows[] = {
        {"no word", "", "no word"},
        {"x=?a?Q?c?=", "1:Q:a;", ""},
        {"=?a?q?c?=", "0:Q:a;", ""},
        {"=?a?Q?c?= =?b?b?c?=", "0:B:a;10:B:b;", ""},
        {"?B? =?a?Q?c?=", "4:Q:a;", ""},
        {"?B? =?a?x?c?=", "", "?B? =?a?x?c?="},
        {"=?B?", "", "=?B?"},
        {"=?a?B?SGk=?= tail =?x", "0:B:a;", " tail =?x"},
        {"ab=?x?y?z?=", "", "ab=?x?y?z?="},
        {"=?UTF-8*ja?B?5pel?=", "0:B:UTF-8*ja;", ""},
    };
    for (const WalkRow &row : rows) {
        EncodedWordWalk walk;
        StartEncodedWordWalk(&walk, row.text);
        EncodedWord word;
        std::string words;
        char output[64];
        while (NextEncodedWord(&walk, &word)) {
            words += std::to_string(word.start - row.text) + ":" + word.encoding + ":" +
                     std::string(word.charset, word.charsetLength) + ";";
            DecodeEncodedWord(&walk, &word, output);
        }
        EXPECT_EQ(words, row.words) << "text \"" << row.text << "\"";
        EXPECT_STREQ(walk.cursor, row.plainRest) << "text \"" << row.text << "\"";
    }
}

// Every character of the base64 alphabet, each with its value (the
// alphabet starts at "B" so that no decoded byte is a NUL).
TEST(DecodeEncodedWords, TakesTheWholeBase64Alphabet)
{
    const std::string alphabet = "BCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/A";
    std::string expected;
    for (unsigned i = 0; i < 64; i += 4) {
        unsigned value = ((i + 1) % 64) << 18 | ((i + 2) % 64) << 12 | ((i + 3) % 64) << 6 | ((i + 4) % 64);
        expected += (char)(value >> 16);
        expected += (char)(value >> 8);
        expected += (char)value;
    }
    EXPECT_EQ(Printable(Decoded("=?a?B?" + alphabet + "?=")), Printable(expected));
}

} // namespace
