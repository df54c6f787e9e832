// Conversion of UTF-8 and EUC-JP texts to code page 932 for the native
// builds, in the two steps the Windows build takes: bytes to code points
// (U+FFFD for a byte that starts no valid sequence), then each code point
// to CP932 ('?' when the code page lacks it). The code page's tables are
// read from iconv once per process and kept: converting character by
// character through iconv would cost a call per character, far more than
// the decoding it follows.
#include <iconv.h>

#include <cstdint>
#include <cstring>

#include "filing/summary_text.h"

namespace {

const uint32_t kReplacementCharacter = 0xFFFD;
const uint16_t kNoCode = 0xFFFF; // CP932 has no character with lead byte 0xFF

// EUC-JP double-byte rows and cells run from 0xA1 to 0xFE.
const int kEucFirst = 0xA1;
const int kEucCount = 94;
const unsigned char kSingleShift2 = 0x8E; // half-width katakana follows
const unsigned char kSingleShift3 = 0x8F; // a JIS X 0212 pair follows

struct Cp932Tables {
    uint16_t fromUnicode[0x10000];            // CP932 code of each BMP code point, or kNoCode
    uint32_t eucPairs[kEucCount * kEucCount]; // code point of each JIS X 0208 pair
    uint32_t eucSupplement[kEucCount * kEucCount]; // of each JIS X 0212 pair
    bool ready;
};
Cp932Tables tables;

// Converts `length` bytes with `converter`; returns the count of output
// bytes, 0 when iconv refused the input.
size_t ConvertOnce(iconv_t converter, const char *input, size_t length, char *output, size_t size)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(input);
    char *out = output;
    size_t outLeft = size;
    if (iconv(converter, &in, &length, &out, &outLeft) == static_cast<size_t>(-1) || length != 0)
        return 0;
    return size - outLeft;
}

uint32_t LoadUnit(const char *bytes)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void FillFromUnicode(iconv_t encoder)
{
    for (uint32_t unit = 0; unit < 0x10000; ++unit) {
        tables.fromUnicode[unit] = kNoCode;
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue; // surrogates are no characters
        const char input[4] = {static_cast<char>(unit), static_cast<char>(unit >> 8), 0, 0};
        char bytes[4];
        size_t count = ConvertOnce(encoder, input, 4, bytes, sizeof bytes);
        if (count == 1)
            tables.fromUnicode[unit] = static_cast<unsigned char>(bytes[0]);
        else if (count == 2)
            tables.fromUnicode[unit] = static_cast<uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 |
                                                             static_cast<unsigned char>(bytes[1]));
    }
}

void FillEucPairs(iconv_t decoder, bool supplement, uint32_t *pairs)
{
    for (int row = 0; row < kEucCount; ++row) {
        for (int cell = 0; cell < kEucCount; ++cell) {
            char input[3];
            size_t length = 0;
            if (supplement)
                input[length++] = static_cast<char>(kSingleShift3);
            input[length++] = static_cast<char>(kEucFirst + row);
            input[length++] = static_cast<char>(kEucFirst + cell);
            char unit[8];
            pairs[row * kEucCount + cell] =
                ConvertOnce(decoder, input, length, unit, sizeof unit) == 4 ? LoadUnit(unit) : kReplacementCharacter;
        }
    }
}

bool LoadTables(void)
{
    if (tables.ready)
        return true;
    iconv_t encoder = iconv_open("CP932", "UTF-32LE");
    iconv_t decoder = iconv_open("UTF-32LE", "EUC-JP");
    bool opened = encoder != reinterpret_cast<iconv_t>(-1) && decoder != reinterpret_cast<iconv_t>(-1);
    if (opened) {
        FillFromUnicode(encoder);
        FillEucPairs(decoder, false, tables.eucPairs);
        FillEucPairs(decoder, true, tables.eucSupplement);
        tables.ready = true;
    }
    if (encoder != reinterpret_cast<iconv_t>(-1))
        iconv_close(encoder);
    if (decoder != reinterpret_cast<iconv_t>(-1))
        iconv_close(decoder);
    return opened;
}

bool IsContinuation(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

// The code point of the UTF-8 sequence at `in` (of `left` bytes) and its
// length; a byte that starts no valid sequence (overlong forms, surrogates
// and values above U+10FFFF included) gives U+FFFD and length 1.
uint32_t NextUtf8(const unsigned char *in, size_t left, size_t *length)
{
    *length = 1;
    unsigned char lead = in[0];
    if (lead < 0x80)
        return lead;
    size_t need;
    uint32_t value;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return kReplacementCharacter;
    }
    if (left < need || in[1] < low || in[1] > high)
        return kReplacementCharacter;
    for (size_t i = 1; i < need; ++i) {
        if (!IsContinuation(in[i]))
            return kReplacementCharacter;
        value = value << 6 | (in[i] & 0x3F);
    }
    *length = need;
    return value;
}

bool IsEucByte(unsigned char byte)
{
    return byte >= kEucFirst && byte <= 0xFE;
}

// The code point of the EUC-JP sequence at `in`, as NextUtf8 does.
uint32_t NextEucJp(const unsigned char *in, size_t left, size_t *length)
{
    *length = 1;
    unsigned char lead = in[0];
    if (lead < 0x80)
        return lead;
    if (lead == kSingleShift2 && left >= 2 && in[1] >= 0xA1 && in[1] <= 0xDF) {
        *length = 2;
        return 0xFF61 + (in[1] - 0xA1); // half-width katakana
    }
    if (lead == kSingleShift3 && left >= 3 && IsEucByte(in[1]) && IsEucByte(in[2])) {
        *length = 3;
        return tables.eucSupplement[(in[1] - kEucFirst) * kEucCount + (in[2] - kEucFirst)];
    }
    if (IsEucByte(lead) && left >= 2 && IsEucByte(in[1])) {
        *length = 2;
        return tables.eucPairs[(lead - kEucFirst) * kEucCount + (in[1] - kEucFirst)];
    }
    return kReplacementCharacter;
}

} // namespace

int ConvertCharsetToCp932(WordCharset charset, const char *input, size_t length, char *output, size_t size)
{
    if ((charset != WordCharsetUtf8 && charset != WordCharsetEucJp) || size == 0 || !LoadTables())
        return -1;
    const unsigned char *in = reinterpret_cast<const unsigned char *>(input);
    size_t written = 0;
    while (length > 0) {
        size_t used;
        uint32_t unit = charset == WordCharsetUtf8 ? NextUtf8(in, length, &used) : NextEucJp(in, length, &used);
        in += used;
        length -= used;
        uint16_t code = unit < 0x10000 ? tables.fromUnicode[unit] : kNoCode;
        size_t bytes = code == kNoCode || code < 0x100 ? 1 : 2;
        if (written + bytes + 1 > size)
            return -1;
        if (code == kNoCode) {
            output[written++] = '?';
        } else if (bytes == 1) {
            output[written++] = static_cast<char>(code);
        } else {
            output[written++] = static_cast<char>(code >> 8);
            output[written++] = static_cast<char>(code & 0xFF);
        }
    }
    output[written] = '\0';
    return static_cast<int>(written);
}
