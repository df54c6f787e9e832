// Conversion of UTF-8 and EUC-JP texts to code page 932 through UTF-16:
// MultiByteToWideChar turns a byte that starts no valid sequence into
// U+FFFD, and WideCharToMultiByte writes '?' for what code page 932 lacks.
#include <windows.h>

#include <cstdlib>

#include "filing/summary_text.h"

namespace {

const UINT kEucJpCodePage = 20932;
const UINT kShiftJisCodePage = 932;

} // namespace

int ConvertCharsetToCp932(WordCharset charset, const char *input, size_t length, char *output, size_t size)
{
    UINT from = charset == WordCharsetUtf8 ? CP_UTF8 : charset == WordCharsetEucJp ? kEucJpCodePage : 0;
    if (!from || size == 0 || size > 0x7FFFFFFF || length > 0x7FFFFFFF)
        return -1;
    if (length == 0) {
        output[0] = '\0';
        return 0;
    }
    if (size < 2)
        return -1; // a non-empty text gives at least one byte and its NUL
    int inputLength = static_cast<int>(length);
    int units = MultiByteToWideChar(from, 0, input, inputLength, nullptr, 0);
    if (units <= 0)
        return -1;
    WCHAR *wide = static_cast<WCHAR *>(malloc(sizeof(WCHAR) * units));
    if (!wide)
        return -1;
    int written = 0;
    if (MultiByteToWideChar(from, 0, input, inputLength, wide, units) == units) {
        BOOL usedDefault = FALSE;
        // One byte is kept for the NUL, which the counted form does not write.
        written = WideCharToMultiByte(kShiftJisCodePage, 0, wide, units, output, static_cast<int>(size) - 1, "?",
                                      &usedDefault);
    }
    free(wide);
    if (written <= 0)
        return -1; // failure or no room
    output[written] = '\0';
    return written;
}
