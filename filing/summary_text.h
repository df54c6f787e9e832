// Sender and subject texts of the filing summary. Each function changes the
// caller's text in place and returns a pointer into it (or nullptr); none
// allocates beyond the temporary copies of the decoder and the charset
// conversion. Texts are bytes; a byte 0x80-0x9F or 0xE0-0xFF begins a
// double-byte character of Shift_JIS. Includes no Windows header.
#pragma once
#include <cstddef>

// Display name of a "From:" value, in place: after leading spaces, the text
// between the first pair of double quotes, else of the first parentheses,
// else inside a leading "<...>", else the text before the first "<" without
// the spaces in front of it, else the whole rest. A missing closing mark
// means "up to the end". Returns nullptr when the value is only spaces; the
// result may be empty.
char *ExtractDisplayName(char *text);

// Skips leading spaces, decodes encoded words, turns the result into
// Shift_JIS (ConvertDecodedToShiftJis) and cuts it to at most `limit` bytes
// without splitting a double-byte character. Returns a pointer into `text`,
// or nullptr when the text is only spaces.
char *CutToLength(char *text, int limit);

// The summary's sender text from a "From:" value: the display name, cut to
// `fromLength` bytes; with fromLength below 1 the display name exactly as
// written (not decoded). nullptr when there is nothing to show.
char *SenderForSummary(char *text, int fromLength);

// The summary's subject text from a "Subject:" value, decoded and cut to
// `subjectLength` bytes (26 when below 1). nullptr when only spaces.
char *SubjectForSummary(char *text, int subjectLength);

// Charsets that the summary converts to Shift_JIS as a whole.
enum WordCharset {
    WordCharsetOther = -1, // no encoded word, mixed names, or any other name
    WordCharsetUtf8 = 0,
    WordCharsetEucJp = 1,
};

// Which charset every encoded word of the undecoded `text` names (ASCII case
// ignored, an RFC 2231 language suffix "*lang" ignored): WordCharsetUtf8 or
// WordCharsetEucJp when all of them name that one, else WordCharsetOther.
// The words are those DecodeEncodedWords would decode.
WordCharset CommonWordCharset(const char *text);

// Turns a decoded header text into Shift_JIS, in place. With WordCharsetUtf8
// or WordCharsetEucJp the whole text is converted from that charset to code
// page 932 ('?' for a character it lacks); the text stays as it was when the
// result would not fit in `size` bytes (the size of the buffer that holds
// the text, at least strlen(text) + 1) or the platform cannot convert.
// Otherwise every JIS run (ESC $ B or ESC $ @ up to ESC ( B or ESC ( J;
// ESC ( I for half-width katakana) becomes Shift_JIS without its escapes,
// and every other byte stays; that never makes the text longer. The result
// never needs more than `size` bytes.
void ConvertDecodedToShiftJis(char *text, WordCharset charset, size_t size);

// Platform step (charset_win.cpp, charset_posix.cpp): converts the
// NUL-terminated `input` from UTF-8 or EUC-JP to code page 932, '?' for
// each character the code page lacks or each undecodable sequence, into
// `output` of `size` bytes with its NUL. Returns the length written without
// the NUL, or -1 when the result does not fit or the conversion is not
// available; `output` is then unspecified.
int ConvertCharsetToCp932(WordCharset charset, const char *input, char *output, size_t size);
