#include "mailstore/header_rewrite.h"

#include <filesystem>
#include <optional>
#include <set>

#include "mailstore/file_ops.h"
#include "tests/core/message_files.h"

using namespace std::string_literals;

namespace {

std::string Repeat(char byte, size_t count) { return std::string(count, byte); }

// Every LF not preceded by CR written as CR LF: what the rewrite makes of
// line ends anywhere in the file.
std::string WithCrLf(const std::string &bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i++) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            out += '\r';
        out += bytes[i];
    }
    return out;
}

struct RewriteRow {
    const char *label;
    std::string before;
    std::optional<std::string> after; // none: left unchanged
};

class HeaderRewriteTest : public MessageFileTest {
protected:
    // Files of the test directory other than the message itself.
    std::set<std::string> OtherFiles() const
    {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(directory))
            if (entry.path().filename() != "00000001.PWK")
                names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(HeaderRewriteTest, ReplacesFirstClassificationLineOfHeaderBlock)
{
    // The CR of a body line end as the last byte of the reader's first
    // 4096-byte block, its LF as the first of the next.
    std::string header = "X-Text-Classification: spam\r\n\r\n";
    std::string splitBody = Repeat('b', 4095 - header.size()) + "\r\nend\r\n";
    std::string bigBody;
    for (int i = 0; bigBody.size() < 1024 * 1024; i++)
        bigBody += "line " + std::to_string(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\x1a\r\r\n");
    std::string longLine = "Received: " + Repeat('r', 3000) + "\n";

    const RewriteRow rows[] = {
        {"LF-only file comes back CR LF", "From: a\nX-Text-Classification: spam\nSubject: s\n\nbody 1\nbody 2\n",
         "From: a\r\nX-Text-Classification: inbox\r\nSubject: s\r\n\r\nbody 1\r\nbody 2\r\n"},
        {"CR LF file changes only the line", "From: a\r\nX-Text-Classification: spam\r\n\r\nbody\r\n",
         "From: a\r\nX-Text-Classification: inbox\r\n\r\nbody\r\n"},
        {"no blank after colon", "X-Text-Classification:spam\n\n", "X-Text-Classification: inbox\r\n\r\n"},
        {"second line stays", "X-Text-Classification: a\nX-Text-Classification: b\n\n",
         "X-Text-Classification: inbox\r\nX-Text-Classification: b\r\n\r\n"},
        {"continuation of old value stays", "X-Text-Classification: spam\n more\n\nbody",
         "X-Text-Classification: inbox\r\n more\r\n\r\nbody"},
        {"last line without newline", "From: a\nX-Text-Classification: spam",
         "From: a\r\nX-Text-Classification: inbox\r\n"},
        {"body bytes kept: ctrl-z, lone CR, NUL, 0xFF",
         "X-Text-Classification: spam\n\nA\x1a" "B\rC\0D\xff\r\nE\nF"s,
         "X-Text-Classification: inbox\r\n\r\nA\x1a" "B\rC\0D\xff\r\nE\r\nF"s},
        {"header bytes kept: NUL, ctrl-z", "Subject: a\0b\x1a\nX-Text-Classification: spam\n\n"s,
         "Subject: a\0b\x1a\r\nX-Text-Classification: inbox\r\n\r\n"s},
        {"long header line copied whole", longLine + "X-Text-Classification: spam\n\nbody\n",
         WithCrLf(longLine) + "X-Text-Classification: inbox\r\n\r\nbody\r\n"},
        // Its tail beyond the 1022-byte piece would otherwise stand in the
        // header as a line of its own.
        {"long old line replaced whole", "X-Text-Classification: " + Repeat('s', 1500) + "\nFrom: a\n\nbody\n",
         "X-Text-Classification: inbox\r\nFrom: a\r\n\r\nbody\r\n"},
        {"CR LF across read blocks in body", header + splitBody, "X-Text-Classification: inbox\r\n\r\n" + splitBody},
        {"1 MB body with mixed line ends", header + bigBody, "X-Text-Classification: inbox\r\n\r\n" + WithCrLf(bigBody)},
        {"no classification line", "From: a\nSubject: s\n\nbody\n", std::nullopt},
        {"name in lower case", "x-text-classification: spam\n\nbody\n", std::nullopt},
        {"line only in the body", "From: a\n\nX-Text-Classification: spam\n", std::nullopt},
        {"file starts with empty line", "\nX-Text-Classification: spam\n", std::nullopt},
        {"empty file", "", std::nullopt},
        {"binary", "\xff\x00\x1a\r\r\x80"s, std::nullopt},
    };
    for (const RewriteRow &row : rows) {
        SCOPED_TRACE(std::string(row.label) + ": " + Printable(row.before));
        std::string path = WriteFile("00000001.PWK", row.before);
        int result = RewriteClassificationHeaderFile(path.c_str(), "inbox");
        EXPECT_EQ(result, row.after ? 1 : 0);
        std::string now = ReadFile(path);
        std::string expected = row.after ? *row.after : row.before;
        EXPECT_TRUE(now == expected) << "got \"" << Printable(now) << "\"\nnot \"" << Printable(expected) << "\"";
        EXPECT_TRUE(OtherFiles().empty());
    }
}

TEST_F(HeaderRewriteTest, OlderTemporaryFileIsOverwritten)
{
    std::string path = WriteFile("00000001.PWK", "X-Text-Classification: spam\n\n");
    WriteFile("00000001.TMP", "stale");
    EXPECT_EQ(RewriteClassificationHeaderFile(path.c_str(), "inbox"), 1);
    EXPECT_EQ(ReadFile(path), "X-Text-Classification: inbox\r\n\r\n");
    EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(HeaderRewriteTest, LeavesEverythingAloneWhenItCannotStart)
{
    const std::string before = "X-Text-Classification: spam\n\n";
    std::string path = WriteFile("00000001.PWK", before);

    EXPECT_EQ(RewriteClassificationHeaderFile("", "inbox"), 0);
    EXPECT_EQ(RewriteClassificationHeaderFile(nullptr, "inbox"), 0);
    EXPECT_EQ(RewriteClassificationHeaderFile(path.c_str(), nullptr), 0);
    EXPECT_EQ(RewriteClassificationHeaderFile(PathOf("00000002.PWK").c_str(), "inbox"), 0); // vanished
    EXPECT_EQ(RewriteClassificationHeaderFile("PK", "inbox"), 0);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(OtherFiles().empty());

    // The temporary name of a path ending in "TMP" is the path itself.
    for (const char *name : {"00000003.TMP", "00000004.tmp"}) {
        std::string same = WriteFile(name, before);
        EXPECT_EQ(RewriteClassificationHeaderFile(same.c_str(), "inbox"), 0) << name;
        EXPECT_EQ(ReadFile(same), before) << name;
    }

    // A directory in the temporary file's place: the copy cannot be made.
    std::filesystem::remove(PathOf("00000003.TMP"));
    std::filesystem::create_directory(PathOf("00000001.TMP"));
    EXPECT_EQ(RewriteClassificationHeaderFile(path.c_str(), "inbox"), 0);
    EXPECT_EQ(ReadFile(path), before);
}

// Makes the 1st, 2nd, 3rd ... file operation of a rewrite fail, until a
// rewrite runs without failure. Each time the message must hold exactly its
// old bytes or exactly the new ones, and no temporary file may stay, unless
// the failing operation was the one deleting it.
TEST_F(HeaderRewriteTest, MessageIsOldOrNewWhicheverOperationFails)
{
    std::string header = "From: a\nSubject: " + Repeat('s', 2000) + "\nX-Text-Classification: spam\n\n";
    std::string body;
    for (int i = 0; body.size() < 20000; i++)
        body += "body line " + std::to_string(i) + (i % 2 ? "\n" : "\r\n");
    const RewriteRow rows[] = {
        {"small", "X-Text-Classification: spam\n\nbody\n", "X-Text-Classification: inbox\r\n\r\nbody\r\n"},
        {"several blocks", header + body, WithCrLf(header.substr(0, header.size() - 29)) +
                                              "X-Text-Classification: inbox\r\n\r\n" + WithCrLf(body)},
        {"no classification line", "From: a\n\nbody\n", std::nullopt},
    };
    for (const RewriteRow &row : rows) {
        std::set<FileOpKind> failedKinds;
        std::string expected = row.after ? *row.after : row.before;
        for (long failing = 1;; failing++) {
            SCOPED_TRACE(std::string(row.label) + ", failing operation " + std::to_string(failing));
            std::string path = WriteFile("00000001.PWK", row.before);
            FileFaultArm(failing);
            int result = RewriteClassificationHeaderFile(path.c_str(), "inbox");
            FileOpKind failed = FileFaultInjected();
            FileFaultArm(0);
            std::string now = ReadFile(path);
            if (failed == FileOpNone) {
                EXPECT_EQ(result, row.after ? 1 : 0);
                EXPECT_TRUE(now == expected);
                EXPECT_TRUE(OtherFiles().empty());
                break;
            }
            failedKinds.insert(failed);
            EXPECT_TRUE(now == row.before || now == expected) << "got \"" << Printable(now) << "\"";
            EXPECT_EQ(result, now == row.before ? 0 : 1);
            if (failed == FileOpRemove)
                std::filesystem::remove(PathOf("00000001.TMP"));
            EXPECT_TRUE(OtherFiles().empty()) << "operation kind " << failed;
            ASSERT_LT(failing, 1000);
        }
        // Each kind of operation that a rewrite makes was made to fail once.
        std::set<FileOpKind> kinds = {FileOpOpen, FileOpRead, FileOpWrite, FileOpClose};
        kinds.insert(row.after ? FileOpReplace : FileOpRemove);
        for (FileOpKind kind : kinds)
            EXPECT_EQ(failedKinds.count(kind), 1u) << row.label << ": kind " << kind;
    }
}

} // namespace
