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

int ConvertCharsetToCp932(WordCharset charset, const char *input, char *output, size_t size)
{
    UINT from = charset == WordCharsetUtf8 ? CP_UTF8 : charset == WordCharsetEucJp ? kEucJpCodePage : 0;
    if (!from || size == 0 || size > 0x7FFFFFFF)
        return -1;
    int units = MultiByteToWideChar(from, 0, input, -1, nullptr, 0);
    if (units <= 0)
        return -1;
    WCHAR *wide = static_cast<WCHAR *>(malloc(sizeof(WCHAR) * units));
    if (!wide)
        return -1;
    int written = 0;
    if (MultiByteToWideChar(from, 0, input, -1, wide, units) == units) {
        BOOL usedDefault = FALSE;
        written = WideCharToMultiByte(kShiftJisCodePage, 0, wide, -1, output, static_cast<int>(size), "?",
                                      &usedDefault);
    }
    free(wide);
    // The count includes the NUL; 0 means failure or no room.
    return written > 0 ? written - 1 : -1;
}
