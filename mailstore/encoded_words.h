// MIME encoded words ("=?charset?B?text?=", "=?charset?Q?text?=") in header
// values, decoded in place. The charset name is skipped and the decoded
// bytes are kept as they are: a Shift_JIS word reads correctly in the
// system's code page, an ISO-2022-JP word keeps its JIS bytes and escapes.
// Malformed words decode as far as they go; the rest stays as it was.
#pragma once
#include <cstddef>

// Values of the base64 alphabet ("A"-"Z" 0-25, "a"-"z" 26-51, "0"-"9"
// 52-61, "+" 62, "/" 63), indexed by byte value; "=" (padding) is -2 and
// every other byte -1, so that any negative entry ends the data.
extern const signed char Base64DecodeTable[256];

// Replaces every encoded word of the NUL-terminated `text` (owned by the
// caller) by its decoded bytes, in place. The text never grows, and nothing
// is read past its NUL. When no memory is available for the work copy, the
// text stays unchanged.
void DecodeEncodedWords(char *text);

// Position (bytes from `text`) of the next "=?" to decode, with `*encoding`
// set to 'B' when "?B?" or "?b?" occurs anywhere from that "=?" to the end
// of the text, else to 'Q' when "?Q?" or "?q?" does. Returns -1 (encoding
// untouched) when there is no "=?" or neither marker follows it: decoding
// ends there. Note that the marker may belong to a later word.
ptrdiff_t FindEncodedWord(const char *text, char *encoding);

// Decode the one encoded word whose "=?" is at `*cursor`: write its bytes at
// `output`, move `*cursor` past the word's closing "?=" and return the
// output position after the bytes written. Never writes more bytes than the
// cursor moves over. When the word has no charset-ending and encoding-ending
// "?", they write nothing, leave `*cursor` alone and return nullptr: the rest
// of the text is not to be decoded.
char *DecodeBWord(char *output, const char **cursor);
char *DecodeQWord(char *output, const char **cursor);

// Value 0-15 of a hexadecimal digit, either case; 0 for any other byte.
int HexDigitValue(int byte);
