// Header lines of message files.
//
// A message file is header lines, an empty line, then the body. Both
// readers open the file, read from its start, stop at the empty line that
// ends the header block at the latest, and close it again before they
// return. A CR directly before an LF counts as part of the line end; every
// other byte (NUL and 0x1A included) is data. Header names are passed with
// their colon ("X-Text-Classification:"), which takes part in the match.
#pragma once
#include <cstddef>

#include "mailstore/file_ops.h"

// Finds the first header line of the file `path` that begins with `name`
// (bytes compared exactly, case included) and returns the rest of that one
// line: a pointer into `buffer` just after the name and the blanks and tabs
// that follow it, with the line's newline removed (other trailing bytes
// stay). `buffer` holds `size` bytes, the terminating NUL included; at most
// size - 1 bytes of a line are read, so a longer line gives a value cut at
// the buffer's end, and a longer line that does not match is skipped whole.
// A continuation line is not part of the value. Returns nullptr when the
// file cannot be opened, the header block has no such line, a read fails,
// or the line is the file's last one and has no newline. Allocates nothing.
char *ReadHeaderLine(const char *path, const char *name, char *buffer, size_t size);

// Finds the header field `name` (ASCII case ignored) of the file `path` and
// returns its value: blanks (not tabs) after the colon skipped, continuation
// lines joined with their newline and their one leading blank or tab
// dropped, the final newline not included. Returns a new heap string that
// the caller frees with free, or nullptr when the file cannot be opened, the
// field is not in the header block, its value is empty, or no memory. A read
// error ends the value where it stands.
char *ReadUnfoldedHeader(const char *path, const char *name);

// The two searches above on a message file that the caller opened with
// MessageFileOpen, each from the file's start, with the results, quirks
// included, of ReadHeaderLine and ReadUnfoldedHeader on its path: several
// headers of one message are then read with one open and one read of its
// header block.
char *HeaderLineOf(MessageFile *message, const char *name, char *buffer, size_t size);
char *UnfoldedHeaderOf(MessageFile *message, const char *name);
