// The external editor's command line for the settings file.
#include "settings/editor_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct EditorRow {
    const char *editor;
    int editorIsFile;
    const char *path;
    std::string expected;
};

TEST(EditorCommandLine, QuotesOnlyWhatHoldsABlank)
{
    const char *plain = "C:\\Postwick32\\Plugins\\sortella.ini";
    const char *blank = "C:\\Program Files\\Postwick32\\Plugins\\sortella.ini";
    const std::string quoted = std::string("\"") + blank + "\"";
    const EditorRow rows[] = {
        // Without blanks the line is exactly "EDITOR PATH".
        {"notepad", 0, plain, "notepad C:\\Postwick32\\Plugins\\sortella.ini"},
        {"C:\\bin\\ed.exe", 1, plain, "C:\\bin\\ed.exe C:\\Postwick32\\Plugins\\sortella.ini"},
        {"C:\\bin\\ed.exe -r", 0, plain, "C:\\bin\\ed.exe -r C:\\Postwick32\\Plugins\\sortella.ini"},
        // A settings path with a blank is quoted.
        {"notepad", 0, blank, "notepad " + quoted},
        // An editor path with a blank, naming a file, is quoted.
        {"C:\\Program Files\\Ed\\ed.exe", 1, blank, "\"C:\\Program Files\\Ed\\ed.exe\" " + quoted},
        // ... but not when it names no file as a whole (its own
        // arguments), nor when it holds quotes already.
        {"C:\\Program Files\\Ed\\ed.exe -r", 0, blank, "C:\\Program Files\\Ed\\ed.exe -r " + quoted},
        {"\"C:\\Program Files\\Ed\\ed.exe\" -r", 0, blank, "\"C:\\Program Files\\Ed\\ed.exe\" -r " + quoted},
        {"\"C:\\Program Files\\Ed\\ed.exe\"", 1, plain, "\"C:\\Program Files\\Ed\\ed.exe\" C:\\Postwick32\\Plugins\\sortella.ini"},
        // An empty editor (the lookup found no memory) stays empty.
        {"", 0, plain, " C:\\Postwick32\\Plugins\\sortella.ini"},
    };
    for (const EditorRow &row : rows) {
        char line[600];
        ASSERT_EQ(EditorCommandLine(row.editor, row.editorIsFile, row.path, line, sizeof line), 0) << row.editor;
        EXPECT_EQ(std::string(line), row.expected) << "editor [" << row.editor << "] path [" << row.path << "]";
    }
}

TEST(EditorCommandLine, ALineThatDoesNotFitIsNotStarted)
{
    char line[16] = "unused";
    EXPECT_EQ(EditorCommandLine("notepad", 0, "C:\\a b\\sortella.ini", line, sizeof line), -1);
    EXPECT_STREQ(line, "");
    char exact[12];
    EXPECT_EQ(EditorCommandLine("ed", 0, "C:\\x.ini", exact, sizeof exact), 0); // 11 bytes and the NUL
    EXPECT_STREQ(exact, "ed C:\\x.ini");
}

} // namespace
