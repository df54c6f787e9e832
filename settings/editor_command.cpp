// The external editor's command line: programs that take each blank-
// separated word as a file need the settings path quoted, and an unquoted
// program path with a blank makes Windows try the shorter names first
// ("C:\Program.exe" for "C:\Program Files\...").
#include "settings/editor_command.h"

#include <cstdio>
#include <cstring>

static bool HoldsBlank(const char *text)
{
    return strchr(text, ' ') != nullptr;
}

int EditorCommandLine(const char *editor, int editorIsFile, const char *path, char *output, size_t size)
{
    bool quoteEditor = HoldsBlank(editor) && !strchr(editor, '"') && editorIsFile;
    const char *editorQuote = quoteEditor ? "\"" : "";
    const char *pathQuote = HoldsBlank(path) ? "\"" : "";
    int length = snprintf(output, size, "%s%s%s %s%s%s", editorQuote, editor, editorQuote, pathQuote, path,
                          pathQuote);
    if (length < 0 || (size_t)length >= size) {
        if (size > 0)
            output[0] = '\0';
        return -1;
    }
    return 0;
}
