// Encoded-word decoding: base64 (B) and quoted-printable-like (Q) words,
// found by one walk over the text and written into a work copy that is
// copied back over the caller's text.
#include "mailstore/encoded_words.h"

#include <cstdlib>
#include <cstring>

// One row per 16 byte values, 0x00 at the top.
// Values of the base64 alphabet ("A"-"Z" 0-25, "a"-"z" 26-51, "0"-"9"
// 52-61, "+" 62, "/" 63), indexed by byte value; "=" (padding) is -2 and
// every other byte -1, so that any negative entry ends the data.
static const signed char Base64DecodeTable[256] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 62, -1, -1, -1, 63,
    52, 53, 54, 55, 56, 57, 58, 59, 60, 61, -1, -1, -1, -2, -1, -1,
    -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, -1, -1, -1, -1, -1,
    -1, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
    41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

// Where the last "?B?"/"?b?" and the last "?Q?"/"?q?" of a text begin. A
// marker occurs at or after a position exactly when the last one does, so
// one pass over the text answers the marker question for every word.
void StartEncodedWordWalk(EncodedWordWalk *walk, const char *text)
{
    walk->cursor = text;
    walk->lastBase64 = nullptr;
    walk->lastQuoted = nullptr;
    for (const char *at = text; at[0] != '\0'; at++) {
        if (at[0] != '?' || at[1] == '\0' || at[2] != '?')
            continue;
        if (at[1] == 'B' || at[1] == 'b')
            walk->lastBase64 = at;
        else if (at[1] == 'Q' || at[1] == 'q')
            walk->lastQuoted = at;
    }
}

// Start of the encoded text of the word whose "=?" is at `word`: after the
// "?" that ends the charset name and the "?" that ends the encoding letter.
// nullptr when either is missing. The cursor later moves past the encoded
// text's start, so the bytes searched here are walked over once.
static const char *LocateEncodedText(const char *word, const char **charsetEnd)
{
    *charsetEnd = strchr(word + 2, '?');
    if (*charsetEnd == nullptr)
        return nullptr;
    const char *letterEnd = strchr(*charsetEnd + 1, '?');
    if (letterEnd == nullptr)
        return nullptr;
    return letterEnd + 1;
}

// The first "=?" at or after `text`, or nullptr. A plain walk that stops
// at the match: the library's search may measure the whole rest of the
// text first, which makes a text of many words quadratic.
static const char *FindWordOpening(const char *text)
{
    for (const char *at = text; at[0] != '\0'; at++) {
        if (at[0] == '=' && at[1] == '?')
            return at;
    }
    return nullptr;
}

bool NextEncodedWord(EncodedWordWalk *walk, EncodedWord *word)
{
    const char *start = FindWordOpening(walk->cursor);
    if (start == nullptr)
        return false;
    if (walk->lastBase64 != nullptr && walk->lastBase64 >= start)
        word->encoding = 'B';
    else if (walk->lastQuoted != nullptr && walk->lastQuoted >= start)
        word->encoding = 'Q';
    else
        return false;
    const char *charsetEnd;
    word->encoded = LocateEncodedText(start, &charsetEnd);
    if (word->encoded == nullptr)
        return false;
    word->start = start;
    word->charset = start + 2;
    word->charsetLength = (size_t)(charsetEnd - word->charset);
    return true;
}

// Moves past the word's closing "?=", each half only when it is there.
static const char *PassClosing(const char *in)
{
    if (*in == '?')
        in++;
    if (*in == '=')
        in++;
    return in;
}

static int Base64Value(char byte)
{
    return Base64DecodeTable[(unsigned char)byte];
}

// Decodes the base64 text at `in` into `output`; `*end` is set past the
// word. Returns the position after the bytes written.
static char *DecodeBText(const char *in, char *output, const char **end)
{
    // Each group of four characters gives up to three bytes; the first
    // character outside the alphabet ends the data. A character is looked at
    // only when the one before it was in the alphabet, so never past the NUL.
    const char *stop = nullptr;
    while (*in != '?' && *in != '\0') {
        int a = Base64Value(in[0]);
        if (a < 0) {
            stop = in;
            break;
        }
        int b = Base64Value(in[1]);
        if (b < 0) {
            stop = in + 1;
            break;
        }
        *output++ = (char)(a * 4 + b / 16);
        int c = Base64Value(in[2]);
        if (c < 0) {
            stop = in + 2;
            break;
        }
        *output++ = (char)((b % 16) * 16 + c / 4);
        int d = Base64Value(in[3]);
        if (d < 0) {
            stop = in + 3;
            break;
        }
        *output++ = (char)((c % 4) * 64 + d);
        in += 4;
    }
    // The character that ended the data inside a group is passed over (the
    // NUL never is), and after a padding "=" every "=" that follows it.
    if (stop != nullptr) {
        in = stop;
        if (*in != '\0' && *in++ == '=') {
            while (*in == '=')
                in++;
        }
    }
    *end = PassClosing(in);
    return output;
}

// Value 0-15 of a hexadecimal digit, either case; 0 for any other byte.
static int HexDigitValue(int byte)
{
    if (byte >= 'a' && byte <= 'f')
        return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F')
        return byte - 'A' + 10;
    if (byte >= '0' && byte <= '9')
        return byte - '0';
    return 0;
}

// Decodes the Q text at `in` into `output`, as DecodeBText does.
static char *DecodeQText(const char *in, char *output, const char **end)
{
    while (*in != '?' && *in != '\0') {
        if (*in != '=') {
            *output++ = *in++;
            continue;
        }
        // "=" and two hexadecimal digits give one byte; digits cut off by the
        // end of the text count as 0.
        in++;
        int high = 0;
        int low = 0;
        if (*in != '\0') {
            high = HexDigitValue((unsigned char)*in++);
            if (*in != '\0')
                low = HexDigitValue((unsigned char)*in++);
        }
        *output++ = (char)(high * 16 + low);
    }
    *end = PassClosing(in);
    return output;
}

char *DecodeEncodedWord(EncodedWordWalk *walk, const EncodedWord *word, char *output)
{
    if (word->encoding == 'B')
        return DecodeBText(word->encoded, output, &walk->cursor);
    return DecodeQText(word->encoded, output, &walk->cursor);
}

void DecodeEncodedWords(char *text)
{
    size_t length = strlen(text);
    // The decoded bytes go to a work area of the text's size: a word never
    // gives more bytes than it occupies, so the output never overtakes the
    // cursor and the result fits back in place.
    char *decoded = (char *)malloc(length + 1);
    if (decoded == nullptr)
        return;
    EncodedWordWalk walk;
    StartEncodedWordWalk(&walk, text);
    char *output = decoded;
    EncodedWord word;
    while (NextEncodedWord(&walk, &word)) {
        size_t plain = (size_t)(word.start - walk.cursor);
        memcpy(output, walk.cursor, plain);
        output = DecodeEncodedWord(&walk, &word, output + plain);
    }
    size_t rest = strlen(walk.cursor);
    memcpy(output, walk.cursor, rest + 1);
    memcpy(text, decoded, (size_t)(output - decoded) + rest + 1);
    free(decoded);
}
