#include "mailstore/header_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "mailstore/file_ops.h"
#include "tests/core/message_files.h"

using namespace std::string_literals;

namespace {

const char Classification[] = "X-Text-Classification:";

std::string Repeat(char byte, size_t count) { return std::string(count, byte); }

struct HeaderLineRow {
    const char *label;
    std::string contents;
    const char *name;
    size_t size;                         // the caller's buffer size
    std::optional<std::string> expected; // none: not found
};

using ReadHeaderLineTest = MessageFileTest;

TEST_F(ReadHeaderLineTest, FindsValueOfFirstExactlyNamedLine)
{
    // 23 bytes of name and blank, 176 value bytes, CR LF: the CR is the 200th
    // byte, the last one a 201-byte buffer takes, and the LF comes after it.
    std::string crAtBufferEnd = "X-Text-Classification: " + Repeat('v', 176) + "\r\n\r\n";
    // Places "\r\n" of the matching line across the reader's 4096-byte blocks.
    std::string crAtBlockEnd = "Received: " + Repeat('r', 4068 - 11) + "\n" + "X-Text-Classification: spam\r\n\r\n";
    std::string longOther = "Received: " + Repeat('r', 290) + "\n";
    std::string longMatch = "X-Text-Classification: " + Repeat('s', 277) + "\n\n";
    std::string hugeOther = "Received: " + Repeat('r', 100 * 1024) + "\n";

    const HeaderLineRow rows[] = {
        {"plain", "From: a\nX-Text-Classification: spam\n\nbody\n", Classification, 201, "spam"},
        {"no blank after colon", "X-Text-Classification:spam\n\n", Classification, 201, "spam"},
        {"tab and blanks skipped, trailing kept", "X-Text-Classification:\t  spam  \n\n", Classification, 201, "spam  "},
        {"name in lower case", "x-text-classification: spam\n\n", Classification, 201, std::nullopt},
        {"only in the body", "From: a\n\nX-Text-Classification: spam\n", Classification, 201, std::nullopt},
        {"file starts with empty line", "\nX-Text-Classification: spam\n", Classification, 201, std::nullopt},
        {"CR LF line ends", "From: a\r\nX-Text-Classification: spam\r\n\r\nbody\r\n", Classification, 201, "spam"},
        {"CR LF empty line ends header", "From: a\r\n\r\nX-Text-Classification: spam\r\n", Classification, 201, std::nullopt},
        {"lone CR stays in value", "X-Text-Classification: spam\r\r\n\n", Classification, 201, "spam\r"},
        {"last line without newline", "From: a\nX-Text-Classification: spam", Classification, 201, std::nullopt},
        {"last line with newline", "From: a\nX-Text-Classification: spam\n", Classification, 201, "spam"},
        {"continuation not part of value", "X-Text-Classification: spam\n more\n\n", Classification, 201, "spam"},
        {"first of two lines", "X-Text-Classification: a\nX-Text-Classification: b\n\n", Classification, 201, "a"},
        {"ctrl-z byte is data", "Subject: a\x1a b\nX-Text-Classification: spam\n\n", Classification, 201, "spam"},
        {"NUL byte in earlier line", "Subject: a\0b\nX-Text-Classification: spam\n\n"s, Classification, 201, "spam"},
        {"NUL byte in value cuts it", "X-Text-Classification: sp\0am\n\n"s, Classification, 201, "sp"},
        {"0xFF byte in value", "X-Text-Classification: \xff\n\n", Classification, 201, "\xff"},
        {"lone byte ends header", "X", Classification, 201, std::nullopt},
        {"empty file", "", Classification, 201, std::nullopt},
        {"binary without newline", "\x01\x02\xff\xfe\x1a\x00\x80"s, Classification, 201, std::nullopt},
        {"link header", "X-POPFile-Link: http://127.0.0.1:8080/jump_to_message?view=12\n\n", "X-POPFile-Link:", 1024,
         "http://127.0.0.1:8080/jump_to_message?view=12"},
        {"CR of CR LF is the buffer's last byte", crAtBufferEnd, Classification, 201, Repeat('v', 176)},
        {"CR LF across read blocks", crAtBlockEnd, Classification, 4096, "spam"},
        {"300-byte line of another header skipped whole", longOther + "X-Text-Classification: spam\n\n", Classification,
         201, "spam"},
        {"300-byte matching line cut at buffer", longMatch, Classification, 201, Repeat('s', 200 - 23)},
        {"100 KB line skipped", hugeOther + "X-Text-Classification: spam\n\n", Classification, 4096, "spam"},
        {"100 KB matching line cut", "X-Text-Classification: " + hugeOther + "\n", Classification, 4096,
         "Received: " + Repeat('r', 4095 - 23 - 10)},
        {"buffer of one byte", "X-Text-Classification: spam\n\n", Classification, 1, std::nullopt},
        {"buffer of two bytes", "X-Text-Classification: spam\n\n", Classification, 2, std::nullopt},
    };
    for (const HeaderLineRow &row : rows) {
        SCOPED_TRACE(std::string(row.label) + ": " + Printable(row.contents));
        std::string path = WriteFile("M.PWK", row.contents);
        // A heap block of exactly the caller's size, so that ASan sees any
        // byte written or read beyond it.
        std::unique_ptr<char[]> buffer(new char[row.size == 0 ? 1 : row.size]);
        char *value = ReadHeaderLine(path.c_str(), row.name, buffer.get(), row.size);
        if (!row.expected) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_GE(value, buffer.get());
            EXPECT_LT(value, buffer.get() + row.size);
            EXPECT_EQ(std::string(value), *row.expected);
        }
    }
}

TEST_F(ReadHeaderLineTest, MissingFileGivesNull)
{
    char buffer[201];
    EXPECT_EQ(ReadHeaderLine(PathOf("gone.PWK").c_str(), Classification, buffer, sizeof buffer), nullptr);
}

struct UnfoldedRow {
    const char *label;
    std::string contents;
    const char *name;
    std::optional<std::string> expected; // none: null
};

using ReadUnfoldedHeaderTest = MessageFileTest;

TEST_F(ReadUnfoldedHeaderTest, JoinsFoldedValueOfCaseInsensitiveName)
{
    std::string crAtBlockEnd = "Received: " + Repeat('r', 4082 - 11) + "\n" + "Subject: spam\r\n\r\n";
    std::string hugeValue = Repeat('h', 100 * 1024);

    const UnfoldedRow rows[] = {
        {"lower-case name, blanks skipped", "From: a\nsubject:  Hello\n\n", "Subject:", "Hello"},
        {"fold with tab", "Subject: Hello\n\tWorld\n\n", "Subject:", "HelloWorld"},
        {"fold with two blanks keeps one", "Subject: Hello\n  World\n\n", "Subject:", "Hello World"},
        {"folded encoded words meet", "Subject: =?a?B?QQ==?=\r\n =?a?B?Qg==?=\r\n\r\n", "Subject:", "=?a?B?QQ==?==?a?B?Qg==?="},
        {"empty value", "Subject:\n\n", "Subject:", std::nullopt},
        {"blanks only at end of file", "Subject:   ", "Subject:", std::nullopt},
        {"name alone at end of file", "Subject:", "Subject:", std::nullopt},
        {"value without newline at end of file", "From: a\nSubject: Hello", "Subject:", "Hello"},
        {"tab after colon stays", "Subject:\tHi\n\n", "Subject:", "\tHi"},
        {"upper-case field", "SUBJECT: x\n\n", "Subject:", "x"},
        {"0xFF byte", "Subject: \xff\n\n", "Subject:", "\xff"},
        {"ctrl-z byte", "Subject: a\x1a" "b\n\n", "Subject:", "a\x1a" "b"},
        {"lone CR stays", "Subject: a\rb\n\n", "Subject:", "a\rb"},
        {"CR LF line ends", "From: a\r\nSubject: Hello\r\n World\r\n\r\n", "Subject:", "HelloWorld"},
        {"CR LF across read blocks", crAtBlockEnd, "Subject:", "spam"},
        {"file starts with empty line", "\nSubject: x\n", "Subject:", std::nullopt},
        {"CR LF empty line first", "\r\nSubject: x\n", "Subject:", std::nullopt},
        {"only in the body", "From: a\n\nSubject: x\n", "Subject:", std::nullopt},
        {"prefix of the name", "Subj\n", "Subject:", std::nullopt},
        // The newline that ended the comparison is not put back, so the next
        // line is dropped with the rest of the short one.
        {"line after a name prefix is skipped", "Subj\nSubject: x\nFrom: y\n\n", "Subject:", std::nullopt},
        {"other field with same first letter", "Sender: s\nSubject: x\n\n", "Subject:", "x"},
        {"NUL byte cuts value", "Subject: a\0b\n\n"s, "Subject:", "a"},
        {"empty file", "", "Subject:", std::nullopt},
        {"binary", "\xff\x00\x1a\r\r\x80"s, "Subject:", std::nullopt},
        {"100 KB value", "Subject: " + hugeValue + "\n\n", "Subject:", hugeValue},
        {"after 100 KB line", "Received: " + hugeValue + "\nSubject: x\n\n", "Subject:", "x"},
        {"empty name", "Subject: x\n\n", "", std::nullopt},
    };
    for (const UnfoldedRow &row : rows) {
        SCOPED_TRACE(std::string(row.label) + ": " + Printable(row.contents));
        std::string path = WriteFile("M.PWK", row.contents);
        char *value = ReadUnfoldedHeader(path.c_str(), row.name);
        if (!row.expected) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(std::string(value), *row.expected);
        }
        free(value);
    }
}

TEST_F(ReadUnfoldedHeaderTest, MissingFileGivesNull)
{
    EXPECT_EQ(ReadUnfoldedHeader(PathOf("gone.PWK").c_str(), "Subject:"), nullptr);
}

// Makes each file operation of a read fail in turn: the result is then the
// right value or null, never another value.
TEST_F(MessageFileTest, ReadersUnderInjectedFaultsGiveValueOrNull)
{
    std::string contents = "Received: " + Repeat('r', 9000) + "\r\nSubject: Hello\r\n World\r\n" +
                           "X-Text-Classification: spam\r\n\r\nbody\r\n";
    std::string path = WriteFile("M.PWK", contents);
    for (long failing = 1;; failing++) {
        SCOPED_TRACE("failing operation " + std::to_string(failing));
        FileFaultArm(failing);
        char buffer[201];
        char *line = ReadHeaderLine(path.c_str(), Classification, buffer, sizeof buffer);
        char *subject = ReadUnfoldedHeader(path.c_str(), "Subject:");
        bool injected = FileFaultInjected() != FileOpNone;
        FileFaultArm(0);
        if (line != nullptr) {
            EXPECT_STREQ(line, "spam");
        }
        if (subject != nullptr) {
            // A read error ends the value where it stands.
            EXPECT_EQ(std::string("HelloWorld").find(subject), 0u) << subject;
        }
        free(subject);
        if (!injected) {
            EXPECT_NE(line, nullptr);
            break;
        }
        ASSERT_LT(failing, 100);
    }
}

} // namespace
