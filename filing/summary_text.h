// Sender and subject texts of the filing summary. Each function changes the
// caller's text in place and returns a pointer into it (or nullptr); none
// allocates beyond the temporary copies of the decoder and the charset
// conversion. Texts are bytes; a byte 0x80-0x9F or 0xE0-0xFF begins a
// double-byte character of Shift_JIS. Includes no Windows header.
#pragma once
#include <cstddef>
#include <string>

// Most bytes of a sender or subject text in the summary, whatever the
// length settings say: a message box has to fit on the screen, and a
// header value can be megabytes long.
const int SummaryTextCeiling = 200;

// Display name of a "From:" value, in place: after leading spaces, the text
// between the first pair of double quotes, else of the first parentheses,
// else inside a leading "<...>", else the text before the first "<" without
// the spaces in front of it, else the whole rest. A missing closing mark
// means "up to the end". Returns nullptr when the value is only spaces; the
// result may be empty.
char *ExtractDisplayName(char *text);

// Skips leading spaces, decodes encoded words into Shift_JIS
// (DecodeToShiftJis) and cuts the result to at most `limit` bytes without
// splitting a double-byte character. Returns a pointer into `text`, or
// nullptr when the text is only spaces.
char *CutToLength(char *text, int limit);

// The summary's sender text from a "From:" value: the display name, cut to
// `fromLength` bytes; with fromLength below 1 the display name as written
// (not decoded). Never longer than SummaryTextCeiling bytes, cut without
// splitting a double-byte character. nullptr when there is nothing to show.
char *SenderForSummary(char *text, int fromLength);

// The summary's subject text from a "Subject:" value, decoded and cut to
// `subjectLength` bytes (26 when below 1, SummaryTextCeiling at most).
// nullptr when only spaces.
char *SubjectForSummary(char *text, int subjectLength);

// The summary's line about one moved message: two spaces, the sender text
// and/or the subject text (" : " between them), a newline; empty when it
// has neither. `from` and `subject` are the record's own copies of the
// header values, or nullptr; both are changed.
std::string DetailLine(char *from, char *subject, int fromLength, int subjectLength);

// Number of lines in `details` (each ends with a newline).
int DetailLineCount(const std::string &details);

// Appends one folder's paragraph to the summary: "[FOLDER]へ N 件移動しました"
// and a newline, then `details` (the detail lines of its moves). With
// `listLimit` 0 or more and `details` holding more lines than that, only
// the first `listLimit` lines are listed, followed by "  ほか M 件" and a
// newline, M being the moves not listed (`movedCount` minus `listLimit`).
// A negative `listLimit` lists every line.
void AppendFolderParagraph(std::string &summary, const char *folder, int movedCount, const std::string &details,
                           int listLimit = -1);

// Decodes the encoded words of `text` in place (as DecodeEncodedWords
// does) and turns the result into Shift_JIS. Each run of directly adjacent
// words that name UTF-8 or EUC-JP (ASCII case ignored, an RFC 2231
// language suffix "*lang" ignored) is converted from that charset to code
// page 932, '?' for a character the code page lacks; adjacent words are
// converted together because senders split one character over two words.
// Then every JIS run of the text (ESC $ B or ESC $ @ up to ESC ( B or
// ESC ( J; ESC ( I for half-width katakana) becomes Shift_JIS without its
// escapes. Bytes outside the words, and words in any other charset, keep
// their bytes. The text never grows; a run whose conversion would not fit
// where the run stood keeps its decoded bytes. Linear in the text's length.
// When no memory is available for the work copy, the text stays as it was.
void DecodeToShiftJis(char *text);

// Charsets that are converted to code page 932.
enum WordCharset {
    WordCharsetOther = -1, // any other name: the decoded bytes stay
    WordCharsetUtf8 = 0,
    WordCharsetEucJp = 1,
};

// Platform step (charset_win.cpp, charset_posix.cpp): converts the `length`
// bytes at `input` from UTF-8 or EUC-JP to code page 932, '?' for each
// character the code page lacks or each undecodable sequence, into `output`
// of `size` bytes with a NUL after them. Returns the length written without
// the NUL, or -1 when the result does not fit or the conversion is not
// available; `output` is then unspecified.
int ConvertCharsetToCp932(WordCharset charset, const char *input, size_t length, char *output, size_t size);
