// Fuzz target of DecodeEncodedWords. Input: the text (up to its first NUL),
// decoded in a heap block of exactly its size. The result must not be
// longer, and must equal a plain decoding loop that looks for the B and Q
// markers afresh at every word.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mailstore/encoded_words.h"

static ptrdiff_t PlainFindEncodedWord(const char *text, char *encoding)
{
    const char *start = strstr(text, "=?");
    if (start == nullptr)
        return -1;
    if (strstr(start, "?B?") != nullptr || strstr(start, "?b?") != nullptr)
        *encoding = 'B';
    else if (strstr(start, "?Q?") != nullptr || strstr(start, "?q?") != nullptr)
        *encoding = 'Q';
    else
        return -1;
    return start - text;
}

static std::string PlainDecode(const std::string &text)
{
    std::string output(text.size() + 1, '\0');
    char *out = &output[0];
    const char *cursor = text.c_str();
    char encoding;
    ptrdiff_t offset;
    while ((offset = PlainFindEncodedWord(cursor, &encoding)) >= 0) {
        memcpy(out, cursor, (size_t)offset);
        out += offset;
        cursor += offset;
        char *after = encoding == 'B' ? DecodeBWord(out, &cursor) : DecodeQWord(out, &cursor);
        if (after == nullptr)
            break;
        out = after;
    }
    strcpy(out, cursor);
    return std::string(output.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, strnlen((const char *)data, size));
    char *text = (char *)malloc(input.size() + 1);
    memcpy(text, input.c_str(), input.size() + 1);

    char encoding = 0;
    char plainEncoding = 0;
    if (FindEncodedWord(text, &encoding) != PlainFindEncodedWord(text, &plainEncoding) || encoding != plainEncoding)
        abort();
    DecodeEncodedWords(text);
    if (strlen(text) > input.size())
        abort();
    if (input.size() < 4096 && PlainDecode(input) != text) // the plain loop is quadratic
        abort();
    free(text);
    return 0;
}
