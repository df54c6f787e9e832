// Conversion of UTF-8 and EUC-JP texts to code page 932 through iconv, in
// the two steps the Windows build takes: bytes to code points (U+FFFD for a
// byte that starts no valid sequence), then each code point to CP932 ('?'
// when the code page lacks it).
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "filing/summary_text.h"

namespace {

const uint32_t kReplacementCharacter = 0xFFFD;

void StoreUnit(uint32_t unit, unsigned char *out)
{
    out[0] = static_cast<unsigned char>(unit);
    out[1] = static_cast<unsigned char>(unit >> 8);
    out[2] = static_cast<unsigned char>(unit >> 16);
    out[3] = static_cast<unsigned char>(unit >> 24);
}

// Decodes `length` bytes of `input` into UTF-32LE units at `units`, which
// holds at least 4 * length bytes (a byte never gives more than one code
// point). Returns the number of units.
size_t DecodeToUnits(iconv_t decoder, const char *input, size_t length, unsigned char *units)
{
    char *in = const_cast<char *>(input);
    size_t inLeft = length;
    char *out = reinterpret_cast<char *>(units);
    size_t outLeft = 4 * length;
    while (inLeft > 0) {
        if (iconv(decoder, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // An invalid or cut sequence: one replacement per byte passed over.
        StoreUnit(kReplacementCharacter, reinterpret_cast<unsigned char *>(out));
        out += 4;
        outLeft -= 4;
        ++in;
        --inLeft;
        iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    }
    return (4 * length - outLeft) / 4;
}

// Encodes one UTF-32LE unit into at most 4 bytes at `out`; '?' when CP932
// has no such character. Returns the number of bytes.
size_t EncodeUnit(iconv_t encoder, const unsigned char *unit, char *out)
{
    char *in = reinterpret_cast<char *>(const_cast<unsigned char *>(unit));
    size_t inLeft = 4;
    char *o = out;
    size_t outLeft = 4;
    if (iconv(encoder, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
        iconv(encoder, nullptr, nullptr, nullptr, nullptr);
        out[0] = '?';
        return 1;
    }
    return 4 - outLeft;
}

int EncodeUnits(iconv_t encoder, const unsigned char *units, size_t count, char *output, size_t size)
{
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        char bytes[4];
        size_t n = EncodeUnit(encoder, units + 4 * i, bytes);
        if (length + n + 1 > size)
            return -1;
        memcpy(output + length, bytes, n);
        length += n;
    }
    output[length] = '\0';
    return static_cast<int>(length);
}

} // namespace

int ConvertCharsetToCp932(WordCharset charset, const char *input, char *output, size_t size)
{
    const char *from = charset == WordCharsetUtf8 ? "UTF-8" : charset == WordCharsetEucJp ? "EUC-JP" : nullptr;
    if (!from || size == 0)
        return -1;
    size_t length = strlen(input);
    unsigned char *units = static_cast<unsigned char *>(malloc(4 * length + 4));
    if (!units)
        return -1;
    int result = -1;
    iconv_t decoder = iconv_open("UTF-32LE", from);
    iconv_t encoder = iconv_open("CP932", "UTF-32LE");
    if (decoder != reinterpret_cast<iconv_t>(-1) && encoder != reinterpret_cast<iconv_t>(-1)) {
        size_t count = DecodeToUnits(decoder, input, length, units);
        result = EncodeUnits(encoder, units, count, output, size);
    }
    if (decoder != reinterpret_cast<iconv_t>(-1))
        iconv_close(decoder);
    if (encoder != reinterpret_cast<iconv_t>(-1))
        iconv_close(encoder);
    free(units);
    return result;
}
