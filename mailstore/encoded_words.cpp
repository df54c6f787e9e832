// Encoded-word decoding: base64 (B) and quoted-printable-like (Q) words,
// written into a work copy and copied back over the caller's text.
#include "mailstore/encoded_words.h"

#include <cstdlib>
#include <cstring>

// One row per 16 byte values, 0x00 at the top.
const signed char Base64DecodeTable[256] = {
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

// Where the last "?B?"/"?b?" and the last "?Q?"/"?q?" of a text begin
// (nullptr when absent). A marker occurs at or after a position exactly when
// the last one does, so one pass over the text answers the marker question
// for every word, and decoding stays linear in the text's length.
struct LastMarkers {
    const char *base64;
    const char *quoted;
};

static LastMarkers FindLastMarkers(const char *text)
{
    LastMarkers markers = {nullptr, nullptr};
    for (const char *at = text; at[0] != '\0'; at++) {
        if (at[0] != '?' || at[1] == '\0' || at[2] != '?')
            continue;
        if (at[1] == 'B' || at[1] == 'b')
            markers.base64 = at;
        else if (at[1] == 'Q' || at[1] == 'q')
            markers.quoted = at;
    }
    return markers;
}

// FindEncodedWord with the markers of the text that `text` lies in.
static ptrdiff_t NextEncodedWord(const char *text, const LastMarkers &markers, char *encoding)
{
    const char *start = strstr(text, "=?");
    if (start == nullptr)
        return -1;
    if (markers.base64 != nullptr && markers.base64 >= start)
        *encoding = 'B';
    else if (markers.quoted != nullptr && markers.quoted >= start)
        *encoding = 'Q';
    else
        return -1;
    return start - text;
}

ptrdiff_t FindEncodedWord(const char *text, char *encoding)
{
    return NextEncodedWord(text, FindLastMarkers(text), encoding);
}

// Start of the encoded text of the word whose "=?" is at `word`: after the
// "?" that ends the charset name and the "?" that ends the encoding letter.
// nullptr when either is missing.
static const char *LocateEncodedText(const char *word)
{
    const char *charsetEnd = strchr(word + 2, '?');
    if (charsetEnd == nullptr)
        return nullptr;
    const char *letterEnd = strchr(charsetEnd + 1, '?');
    if (letterEnd == nullptr)
        return nullptr;
    return letterEnd + 1;
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

char *DecodeBWord(char *output, const char **cursor)
{
    const char *in = LocateEncodedText(*cursor);
    if (in == nullptr)
        return nullptr;
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
    *cursor = PassClosing(in);
    return output;
}

char *DecodeQWord(char *output, const char **cursor)
{
    const char *in = LocateEncodedText(*cursor);
    if (in == nullptr)
        return nullptr;
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
    *cursor = PassClosing(in);
    return output;
}

int HexDigitValue(int byte)
{
    if (byte >= 'a' && byte <= 'f')
        return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F')
        return byte - 'A' + 10;
    if (byte >= '0' && byte <= '9')
        return byte - '0';
    return 0;
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
    LastMarkers markers = FindLastMarkers(text);
    const char *cursor = text;
    char *output = decoded;
    char encoding = 0;
    ptrdiff_t offset;
    while ((offset = NextEncodedWord(cursor, markers, &encoding)) >= 0) {
        memcpy(output, cursor, (size_t)offset);
        output += offset;
        cursor += offset;
        char *after = encoding == 'B' ? DecodeBWord(output, &cursor) : DecodeQWord(output, &cursor);
        if (after == nullptr)
            break;
        output = after;
    }
    size_t rest = strlen(cursor);
    memcpy(output, cursor, rest + 1);
    memcpy(text, decoded, (size_t)(output - decoded) + rest + 1);
    free(decoded);
}
