// Sender and subject texts of the filing summary. Each function changes the
// caller's text in place and returns a pointer into it (or nullptr); none
// allocates beyond DecodeEncodedWords' temporary copy. Texts are bytes:
// Shift_JIS after the conversion step, whatever the header held before.
#pragma once

// Display name of a "From:" value; nullptr when only spaces.
char *ExtractDisplayName(char *text);

// Skips leading spaces, decodes encoded words, turns the result into
// Shift_JIS (see ConvertDecodedToShiftJis) and cuts it to at most `limit`
// bytes without splitting a double-byte character. nullptr when empty.
char *CutToLength(char *text, int limit);

// The summary's sender text; with fromLength below 1 the display name as
// written, otherwise cut to fromLength.
char *SenderForSummary(char *text, int fromLength);

// The summary's subject text, cut to subjectLength (26 when below 1).
char *SubjectForSummary(char *text, int subjectLength);

// Turns a decoded header text into Shift_JIS in place: JIS escape runs
// become Shift_JIS; when every encoded word of `original` names UTF-8, or
// every one names EUC-JP, the text is converted from that charset to code
// page 932 ('?' for characters it lacks). Never makes the text longer.
// `original` is the text before decoding (for the charset names).
void ConvertDecodedToShiftJis(char *text, const char *original);

// Platform step: converts `input` from UTF-8 (charset 0) or EUC-JP
// (charset 1) to code page 932 into `output` of `size` bytes. Returns the
// length written, or -1 when it cannot convert.
int ConvertCharsetToCp932(int charset, const char *input, char *output, int size);
