// Byte-string helpers of the portable core. Texts are Shift_JIS: a byte of
// 0x81-0x9F or 0xE0-0xFC begins a double-byte character (code page 932)
// whose second byte may be any of 0x40-0xFC, the backslash 0x5C included
// (ソ is 83 5C, 表 95 5C), so a search for a separator in a path steps over
// whole characters. Case folding touches only ASCII a-z.
#pragma once
#include <cstddef>

// Upper case as the C library has it in its default locale: a-z only.
// Takes a byte value (0-255) or EOF.
int AsciiUpper(int byte);

// True when `byte` begins a double-byte character of code page 932.
bool IsCp932LeadByte(unsigned char byte);

// The first backslash of `text` that is a character of its own (not the
// second byte of a double-byte character), or the position of the text's
// NUL when there is none. `text` must begin at a character boundary. A
// lead byte directly before the NUL ends the walk; nothing past the NUL is
// read.
const char *FindBackslash(const char *text);

// The last such backslash of `text`, or nullptr when there is none.
const char *FindLastBackslash(const char *text);

// 0 when `text` begins with `prefix`, ASCII letters matched in either case
// and every other byte exactly; 1 otherwise. An empty prefix gives 0.
int PrefixDiffersNoCase(const char *text, const char *prefix);

// Position in `text` just after the first occurrence of `pattern` (compared
// as by PrefixDiffersNoCase), or the position of the text's terminating NUL
// when there is none or the pattern is empty. Never nullptr: the caller sees
// an empty text when nothing was found. Points into `text`.
const char *FindAfterNoCase(const char *text, const char *pattern);
