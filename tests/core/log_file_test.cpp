// The filing log's file: appending, the new file at the cap, and the
// backlog of lines that wait for a file that can be written. Failures come
// from the file layer's countdown (SORTELLA_FAULT_INJECTION).
#include "filing/log_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "mailstore/file_ops.h"
#include "tests/core/message_files.h"

namespace {

const std::string kHeader = "日時\t種類\tアカウント\tメール\t移動先\tバケツ\tPOPFile\t差出人\t件名\r\n";

std::string Line(const std::string &name, size_t length = 0)
{
    std::string line = name + "\tx";
    if (line.size() + 2 < length)
        line += std::string(length - line.size() - 2, 'x');
    return line + "\r\n";
}

class LogFileTest : public MessageFileTest {
protected:
    void TearDown() override
    {
        FileFaultArm(0);
        MessageFileTest::TearDown();
    }
    std::string Log() const { return PathOf("sortella.log"); }
    std::string Rotated() const { return PathOf("sortella.log.1"); }
    std::optional<std::string> Contents(const std::string &path) const
    {
        if (!Exists(path))
            return std::nullopt;
        return ReadFile(path);
    }
    LogBacklog backlog;
};

struct AppendRow {
    const char *label;
    std::optional<std::string> before; // none: no file
    std::vector<std::string> lines;
    std::optional<std::string> after;
};

TEST_F(LogFileTest, NewFileGetsTheHeaderAndLinesGoAtTheEnd)
{
    const AppendRow rows[] = {
        {"no file", std::nullopt, {Line("a"), Line("b")}, kHeader + Line("a") + Line("b")},
        {"empty file", "", {Line("a")}, kHeader + Line("a")},
        {"lines already there stay", kHeader + Line("a"), {Line("b")}, kHeader + Line("a") + Line("b")},
        {"a file begun by hand", "mine\r\n", {Line("a")}, "mine\r\n" + Line("a")},
        {"a line cut short", kHeader + "cut sh", {Line("a")}, kHeader + "cut sh\r\n" + Line("a")},
        {"nothing to write", std::nullopt, {}, std::nullopt},
    };
    for (const AppendRow &row : rows) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove(Log());
        if (row.before)
            WriteFile("sortella.log", *row.before);
        EXPECT_EQ(AppendLogLines(&backlog, Log().c_str(), row.lines), 0);
        std::optional<std::string> after = Contents(Log());
        ASSERT_EQ(after.has_value(), row.after.has_value());
        if (after) {
            EXPECT_EQ(Printable(*after), Printable(*row.after));
        }
        EXPECT_TRUE(backlog.Lines.empty());
        EXPECT_FALSE(Exists(Rotated()));
    }
}

struct CapRow {
    const char *label;
    long before;                     // bytes in the log, a header and lines
    std::vector<size_t> lines;       // the length of each line appended
    std::string rotated, log;        // the names of the lines each file ends with
};

// A line that would take the file past 1 MiB goes into a new file; the full
// one replaces sortella.log.1 whole.
TEST_F(LogFileTest, AFullFileBecomesDotOneAndANewFileBegins)
{
    const CapRow rows[] = {
        {"fits exactly", LogFileCap - 100, {100}, "", "a"},
        {"one byte too many", LogFileCap - 100, {101}, "old", "a"},
        {"the cap reached in the middle of a run", LogFileCap - 250, {100, 100, 100}, "b", "c"},
    };
    for (const CapRow &row : rows) {
        SCOPED_TRACE(row.label);
        WriteFile("sortella.log.1", "an older file\r\n");
        std::string old = kHeader + Line("old", static_cast<size_t>(row.before) - kHeader.size());
        WriteFile("sortella.log", old);
        std::vector<std::string> lines;
        for (size_t i = 0; i < row.lines.size(); ++i)
            lines.push_back(Line(std::string(1, static_cast<char>('a' + i)), row.lines[i]));
        EXPECT_EQ(AppendLogLines(&backlog, Log().c_str(), lines), 0);
        std::string log = ReadFile(Log());
        std::string rotated = ReadFile(Rotated());
        EXPECT_LE(log.size(), static_cast<size_t>(LogFileCap));
        EXPECT_LE(rotated.size(), static_cast<size_t>(LogFileCap));
        if (row.rotated.empty()) {
            EXPECT_EQ(rotated, "an older file\r\n");
            EXPECT_EQ(log.compare(0, old.size(), old), 0);
        } else {
            EXPECT_EQ(rotated.compare(0, old.size(), old), 0);
            EXPECT_EQ(log.compare(0, kHeader.size(), kHeader), 0);
        }
        // Every line once, in order, across the two files.
        std::string all = rotated + log;
        size_t at = all.find(Line("old", 0).substr(0, 4));
        for (const std::string &line : lines) {
            size_t found = all.find(line, at);
            EXPECT_NE(found, std::string::npos) << Printable(line, 10);
            at = found;
        }
        if (!row.rotated.empty()) {
            EXPECT_EQ(rotated.substr(rotated.rfind("\r\n", rotated.size() - 3) + 2, row.rotated.size()), row.rotated);
        }
        EXPECT_EQ(log.substr(log.rfind("\r\n", log.size() - 3) + 2, row.log.size()), row.log);
    }
}

// The lines of a file without its headers, a last one without its line
// end included.
std::vector<std::string> LinesOf(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        std::string line = text.substr(start, end + 2 - start);
        if (line != kHeader)
            lines.push_back(line);
        start = end + 2;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// True when `piece` is a cut-off beginning of one of `lines`, with or
// without the line end that the next write put after it.
bool IsFragmentOf(const std::string &piece, const std::vector<std::string> &lines)
{
    std::string bytes = piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0
                            ? piece.substr(0, piece.size() - 2)
                            : piece;
    for (const std::string &line : lines) {
        if (bytes.size() < line.size() - 2 && line.compare(0, bytes.size(), bytes) == 0)
            return true;
    }
    return false;
}

// Fails the 1st, 2nd, 3rd ... file operation of a write that also has to
// begin a new file, in turn: the lines not written wait, nothing else is
// reported, the files keep every byte they had, and the next write puts
// every waiting line out in order (after a line break when a write was cut
// in the middle of a line; that cut line stays as it was cut).
TEST_F(LogFileTest, LinesWaitForTheNextWriteThatWorks)
{
    for (long failing = 1;; ++failing) {
        SCOPED_TRACE("failing operation " + std::to_string(failing));
        LogBacklog waiting;
        std::string old = kHeader + Line("old", LogFileCap - 150 - kHeader.size());
        WriteFile("sortella.log", old);
        std::filesystem::remove(Rotated());
        std::vector<std::string> first = {Line("a", 100), Line("b", 100)};
        FileFaultArm(failing);
        int result = AppendLogLines(&waiting, Log().c_str(), first);
        FileOpKind injected = FileFaultInjected();
        FileFaultArm(0);
        if (injected == FileOpNone) {
            EXPECT_EQ(result, 0);
            break; // every operation of the write has been failed once
        }
        EXPECT_EQ(result, -1);
        std::string both = (Exists(Rotated()) ? ReadFile(Rotated()) : "") + ReadFile(Log());
        EXPECT_EQ(both.compare(0, old.size(), old), 0) << "bytes of the old file changed";

        EXPECT_EQ(AppendLogLines(&waiting, Log().c_str(), {Line("c", 100)}), 0);
        EXPECT_TRUE(waiting.Lines.empty());
        std::vector<std::string> complete = LinesOf(Exists(Rotated()) ? ReadFile(Rotated()) : "");
        for (const std::string &line : LinesOf(ReadFile(Log())))
            complete.push_back(line);
        std::vector<std::string> expected = {old.substr(kHeader.size()), first[0], first[1], Line("c", 100)};
        // A line cut in the middle stays in the file as a fragment of its
        // own, before the lines written again.
        std::vector<std::string> whole;
        for (const std::string &line : complete) {
            if (!IsFragmentOf(line, first))
                whole.push_back(line);
        }
        // A line that was written before the failure is not written again.
        EXPECT_EQ(whole.size(), expected.size());
        for (size_t i = 0; i < expected.size() && i < whole.size(); ++i)
            EXPECT_EQ(Printable(whole[i], 12), Printable(expected[i], 12)) << "line " << i;
    }
}

// While the file cannot be written, at most 1,000 lines wait, the oldest
// dropped first.
TEST_F(LogFileTest, AtMostAThousandLinesWait)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 1200; ++i)
        lines.push_back(Line("n" + std::to_string(i)));
    FileFaultArm(1); // the open
    EXPECT_EQ(AppendLogLines(&backlog, Log().c_str(), std::vector<std::string>(lines.begin(), lines.begin() + 700)),
              -1);
    FileFaultArm(1);
    EXPECT_EQ(AppendLogLines(&backlog, Log().c_str(), std::vector<std::string>(lines.begin() + 700, lines.end())),
              -1);
    FileFaultArm(0);
    EXPECT_EQ(backlog.Lines.size(), LogBacklogLimit);
    EXPECT_FALSE(Exists(Log()));
    EXPECT_EQ(AppendLogLines(&backlog, Log().c_str(), {Line("last")}), 0);
    std::string expected = kHeader;
    for (size_t i = 200; i < lines.size(); ++i)
        expected += lines[i];
    EXPECT_EQ(ReadFile(Log()), expected + Line("last"));
}

} // namespace
