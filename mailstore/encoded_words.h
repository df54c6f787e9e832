// MIME encoded words ("=?charset?B?text?=", "=?charset?Q?text?=") in header
// values. DecodeEncodedWords replaces them by their decoded bytes in place;
// the walk below gives the same words one by one to callers that treat
// each word by its charset. Decoding keeps the bytes as they are: a
// Shift_JIS word reads correctly in the system's code page, an ISO-2022-JP
// word keeps its JIS bytes and escapes. Malformed words decode as far as
// they go; the rest stays as it was. Everything is linear in the text's
// length, and nothing is read past its NUL.
#pragma once
#include <cstddef>

// Replaces every encoded word of the NUL-terminated `text` (owned by the
// caller) by its decoded bytes, in place. The text never grows. When no
// memory is available for the work copy, the text stays unchanged.
void DecodeEncodedWords(char *text);

// A walk over the encoded words of one NUL-terminated text, in the order
// and by the rules of DecodeEncodedWords. The record is the caller's (on its
// stack) and points into the text, which must stay as it is during the walk.
struct EncodedWordWalk {
    const char *cursor;     // first byte not yet walked over
    const char *lastBase64; // last "?B?" or "?b?" of the text; nullptr: none
    const char *lastQuoted; // last "?Q?" or "?q?" of the text; nullptr: none
};

// One encoded word found by NextEncodedWord; points into the walked text.
struct EncodedWord {
    const char *start;    // its "=?"; the bytes from the walk's cursor up to
                          // here are plain text, not part of any word
    const char *charset;  // the charset name, just after "=?", not terminated
    size_t charsetLength; // bytes of the name, up to the "?" that ends it
    char encoding;        // 'B' or 'Q' (see NextEncodedWord)
    const char *encoded;  // the encoded text, after the encoding letter's "?"
};

void StartEncodedWordWalk(EncodedWordWalk *walk, const char *text);

// Finds the next word at or after the walk's cursor. The encoding is B when
// "?B?" or "?b?" occurs anywhere from the word's "=?" to the end of the
// text, else Q when "?Q?" or "?q?" does (so the marker may belong to a
// later word). Returns false when there is no "=?", neither marker follows
// it, or the "=?" is not followed by the two "?" that end the charset name
// and the encoding letter: decoding ends, and the text from the cursor on
// stays as it is. Does not move the cursor.
bool NextEncodedWord(EncodedWordWalk *walk, EncodedWord *word);

// Decodes `word` (just found by NextEncodedWord) into `output`, moves the
// walk's cursor past the word's closing "?=" and returns the position after
// the bytes written. The bytes written never outnumber the bytes the cursor
// moves over from word->start; the plain text before the word is not
// written.
char *DecodeEncodedWord(EncodedWordWalk *walk, const EncodedWord *word, char *output);
