// Fuzz target of DecodeEncodedWords. Input: the text (up to its first NUL),
// decoded in a heap block of exactly its size. The result must not be
// longer, and must equal a plain model of the decoder that looks for the B
// and Q markers afresh at every word and decodes with tables of its own.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mailstore/encoded_words.h"

static int ModelBase64(char c)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (c == '\0')
        return -1;
    size_t at = alphabet.find(c);
    return at == std::string::npos ? -1 : (int)at;
}

static int ModelHex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

static size_t PassClosing(const std::string &text, size_t at)
{
    if (at < text.size() && text[at] == '?')
        at++;
    if (at < text.size() && text[at] == '=')
        at++;
    return at;
}

// Decodes the B text at `at`; returns the position after the word.
static size_t ModelB(const std::string &text, size_t at, std::string &out)
{
    for (;;) {
        if (at >= text.size() || text[at] == '?')
            return PassClosing(text, at);
        int v[4];
        int got = 0;
        while (got < 4 && at + got < text.size() && (v[got] = ModelBase64(text[at + got])) >= 0)
            got++;
        if (got >= 2)
            out += (char)(v[0] * 4 + v[1] / 16);
        if (got >= 3)
            out += (char)((v[1] % 16) * 16 + v[2] / 4);
        if (got == 4) {
            out += (char)((v[2] % 4) * 64 + v[3]);
            at += 4;
            continue;
        }
        size_t stop = at + got; // the character that ended the data
        if (stop < text.size()) {
            bool padding = text[stop] == '=';
            stop++;
            while (padding && stop < text.size() && text[stop] == '=')
                stop++;
        }
        return PassClosing(text, stop);
    }
}

static size_t ModelQ(const std::string &text, size_t at, std::string &out)
{
    while (at < text.size() && text[at] != '?') {
        if (text[at] != '=') {
            out += text[at++];
            continue;
        }
        at++;
        int high = 0, low = 0;
        if (at < text.size()) {
            high = ModelHex(text[at++]);
            if (at < text.size())
                low = ModelHex(text[at++]);
        }
        out += (char)(high * 16 + low);
    }
    return PassClosing(text, at);
}

static std::string ModelDecode(const std::string &text)
{
    std::string out;
    size_t cursor = 0;
    for (;;) {
        size_t start = text.find("=?", cursor);
        if (start == std::string::npos)
            break;
        std::string rest = text.substr(start);
        char encoding;
        if (rest.find("?B?") != std::string::npos || rest.find("?b?") != std::string::npos)
            encoding = 'B';
        else if (rest.find("?Q?") != std::string::npos || rest.find("?q?") != std::string::npos)
            encoding = 'Q';
        else
            break;
        size_t charsetEnd = text.find('?', start + 2);
        size_t letterEnd = charsetEnd == std::string::npos ? charsetEnd : text.find('?', charsetEnd + 1);
        if (letterEnd == std::string::npos)
            break;
        out += text.substr(cursor, start - cursor);
        cursor = encoding == 'B' ? ModelB(text, letterEnd + 1, out) : ModelQ(text, letterEnd + 1, out);
    }
    return out + text.substr(cursor);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, strnlen((const char *)data, size));
    char *text = (char *)malloc(input.size() + 1);
    memcpy(text, input.c_str(), input.size() + 1);
    DecodeEncodedWords(text);
    if (strlen(text) > input.size())
        abort();
    // The model is quadratic; a decoded NUL byte ends the C text.
    if (input.size() < 4096 && std::string(ModelDecode(input).c_str()) != text)
        abort();
    free(text);
    return 0;
}
