// Byte-string helpers of the portable core.
#include "mailstore/text.h"

#include <cstring>

int AsciiUpper(int byte)
{
    return byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte;
}

bool IsCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

const char *FindBackslash(const char *text)
{
    while (*text != '\0' && *text != '\\') {
        if (IsCp932LeadByte((unsigned char)*text) && text[1] != '\0')
            text += 2;
        else
            text++;
    }
    return text;
}

const char *FindLastBackslash(const char *text)
{
    const char *last = nullptr;
    for (const char *at = FindBackslash(text); *at != '\0'; at = FindBackslash(at + 1))
        last = at;
    return last;
}

int PrefixDiffersNoCase(const char *text, const char *prefix)
{
    for (; *prefix != '\0'; text++, prefix++) {
        int want = AsciiUpper((unsigned char)*prefix);
        // The text's NUL never equals a prefix byte, so the walk stops there.
        if (AsciiUpper((unsigned char)*text) != want)
            return 1;
    }
    return 0;
}

const char *FindAfterNoCase(const char *text, const char *pattern)
{
    if (pattern[0] == '\0')
        return text + strlen(text);
    int first = AsciiUpper((unsigned char)pattern[0]);
    size_t patternLength = strlen(pattern);
    for (; *text != '\0'; text++) {
        if (AsciiUpper((unsigned char)*text) == first && PrefixDiffersNoCase(text, pattern) == 0)
            return text + patternLength;
    }
    return text;
}
