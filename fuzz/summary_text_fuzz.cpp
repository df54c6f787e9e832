// Fuzz target of the summary's sender and subject texts, which a sender
// controls. Input: one byte choosing the byte limit (-16 to 239), one the
// step (the cut, the sender, the subject, the display name), then the
// header value (up to its first NUL), in a heap block of exactly its size.
// The result must lie in that block and fit the limit, and a text that
// was cut must end between two characters of the decoded text. Every
// input is also the sender and the subject of a filing log line, which
// must keep its nine fields: no control byte in a field, no first byte of
// a character before a TAB, sender and subject within 200 bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filing/log_line.h"
#include "filing/summary_text.h"
#include "mailstore/text.h"

static bool IsLead(unsigned char byte)
{
    return (byte >= 0x80 && byte <= 0x9F) || byte >= 0xE0;
}

// The decoded text CutToLength cuts: leading spaces skipped, encoded words
// decoded into Shift_JIS.
static std::string Decoded(const std::string &value)
{
    std::string text = value.substr(value.find_first_not_of(' ') == std::string::npos
                                        ? value.size()
                                        : value.find_first_not_of(' '));
    std::string copy = text + '\0';
    DecodeToShiftJis(&copy[0]);
    return std::string(copy.c_str());
}

// True when `cut` is `full` or a prefix of it ending between characters.
static bool CutBetweenCharacters(const std::string &cut, const std::string &full)
{
    if (full.compare(0, cut.size(), cut) != 0)
        return false;
    size_t at = 0;
    while (at < cut.size())
        at += IsLead((unsigned char)full[at]) && at + 1 < full.size() ? 2 : 1;
    return at == cut.size();
}

static void CheckCut(const char *result, const std::string &value, int limit)
{
    if (result == nullptr)
        return;
    std::string cut(result);
    if ((int)cut.size() > (limit < 0 ? 0 : limit) || !CutBetweenCharacters(cut, Decoded(value)))
        abort();
}

// The line's last two fields, sender and subject, walked by characters
// (the fields before them are this function's own ASCII and the plug-in's
// words, which the native build holds in UTF-8).
static void CheckLogLine(const std::string &value)
{
    LogEvent event = {{2026, 1, 2, 3, 4, 5}, LogFiled, "W", "e", "W\\f", false, "spam", nullptr, nullptr,
                      value.c_str(), value.c_str()};
    std::string line = FormatLogLine(event);
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
        abort();
    size_t at = 0;
    for (int tab = 0; tab < 7; ++tab) {
        at = line.find('\t', at);
        if (at == std::string::npos)
            abort();
        ++at;
    }
    size_t end = line.size() - 2;
    int tabs = 0;
    size_t fieldStart = at;
    for (size_t i = at; i < end; ++i) {
        unsigned char byte = (unsigned char)line[i];
        if (byte == '\t') {
            if (++tabs > 1 || i - fieldStart > (size_t)LogTextLimit)
                abort();
            fieldStart = i + 1;
        } else if (byte < 0x20 || byte == 0x7F) {
            abort();
        } else if (IsCp932LeadByte(byte)) {
            if (i + 1 >= end || line[i + 1] == '\t')
                abort();
            ++i;
        }
    }
    if (tabs != 1 || end - fieldStart > (size_t)LogTextLimit)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    int limit = (int)data[0] - 16;
    int step = data[1] % 4;
    std::string value((const char *)data + 2, strnlen((const char *)data + 2, size - 2));
    char *text = (char *)malloc(value.size() + 1);
    memcpy(text, value.c_str(), value.size() + 1);

    char *result = nullptr;
    switch (step) {
    case 0:
        result = CutToLength(text, limit);
        CheckCut(result, value, limit);
        break;
    case 1:
        result = SenderForSummary(text, limit);
        if (result != nullptr && limit >= 1 && (int)strlen(result) > limit)
            abort();
        break;
    case 2:
        result = SubjectForSummary(text, limit);
        CheckCut(result, value, limit < 1 ? 26 : limit);
        break;
    case 3:
        result = ExtractDisplayName(text);
        break;
    }
    if (result != nullptr && (result < text || result + strlen(result) > text + value.size()))
        abort();
    free(text);
    CheckLogLine(value);
    return 0;
}
