// The command line that opens the settings file in the host's external
// editor. Texts are Shift_JIS; a blank is the byte 0x20, which is never
// the second byte of a double-byte character.
#pragma once
#include <cstddef>

// Writes "EDITOR PATH" into `output` (`size` bytes). `editor` is the host's
// ExternalEditor value: it is put in double quotes when it holds a blank,
// holds no double quote already, and `editorIsFile` says that the whole
// value names an existing file (a value with arguments of its own stays as
// it is, and so does one that is quoted already). `path` is put in double
// quotes when it holds a blank. Without blanks the line is exactly
// "EDITOR PATH". Returns 0, or -1 when the line does not fit (`output` is
// then empty).
int EditorCommandLine(const char *editor, int editorIsFile, const char *path, char *output, size_t size);
