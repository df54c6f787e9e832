// The folder window's line for one message, as a mail client lists it:
// date, sender and subject, with MIME encoded words decoded and every
// charset turned into Shift_JIS (code page 932). For people looking at the
// window and at screenshots; the transcript keeps the raw header values.
#include "standins/host/host_internal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const UINT kShiftJisCodePage = 932;
const unsigned char kEscape = 0x1B;

bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The unfolded value of header field `name` (without its colon, ASCII case
// ignored) of a message text; "" when the header block has none.
std::string HeaderField(const std::string &message, const char *name)
{
    size_t length = strlen(name);
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find('\n', start);
        if (end == std::string::npos)
            end = message.size();
        size_t lineEnd = end > start && message[end - 1] == '\r' ? end - 1 : end;
        if (lineEnd == start)
            break; // the empty line that ends the header block
        if (lineEnd - start > length && message[start + length] == ':' &&
            _strnicmp(message.c_str() + start, name, length) == 0) {
            std::string value = message.substr(start + length + 1, lineEnd - start - length - 1);
            // Continuation lines begin with a blank or a tab.
            for (size_t next = end + 1; next < message.size() &&
                                        (message[next] == ' ' || message[next] == '\t');) {
                size_t nextEnd = message.find('\n', next);
                if (nextEnd == std::string::npos)
                    nextEnd = message.size();
                size_t nextLineEnd = nextEnd > next && message[nextEnd - 1] == '\r' ? nextEnd - 1 : nextEnd;
                value += message.substr(next, nextLineEnd - next);
                next = nextEnd + 1;
            }
            size_t first = value.find_first_not_of(" \t");
            return first == std::string::npos ? "" : value.substr(first);
        }
        start = end + 1;
    }
    return "";
}

std::string ThroughUtf16(const std::string &text, UINT from)
{
    int units = MultiByteToWideChar(from, 0, text.data(), (int)text.size(), NULL, 0);
    if (units <= 0)
        return text;
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(from, 0, text.data(), (int)text.size(), &wide[0], units);
    int bytes = WideCharToMultiByte(kShiftJisCodePage, 0, wide.data(), units, NULL, 0, "?", NULL);
    if (bytes <= 0)
        return text;
    std::string out(bytes, '\0');
    WideCharToMultiByte(kShiftJisCodePage, 0, wide.data(), units, &out[0], bytes, "?", NULL);
    return out;
}

// ISO-2022-JP (JIS X 0208 runs, JIS X 0201 katakana runs) to Shift_JIS;
// bytes outside the escapes stay as they are.
std::string JisToShiftJis(const std::string &text)
{
    enum { Ascii, Kanji, Kana } mode = Ascii;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = text[i];
        if (c == kEscape && i + 2 < text.size()) {
            std::string sequence = text.substr(i + 1, 2);
            if (sequence == "$B" || sequence == "$@") {
                mode = Kanji;
                i += 2;
                continue;
            }
            if (sequence == "(B" || sequence == "(J") {
                mode = Ascii;
                i += 2;
                continue;
            }
            if (sequence == "(I") {
                mode = Kana;
                i += 2;
                continue;
            }
        }
        unsigned char d = i + 1 < text.size() ? text[i + 1] : 0;
        if (mode == Kanji && c >= 0x21 && c <= 0x7E && d >= 0x21 && d <= 0x7E) {
            unsigned first = (c - 0x21) / 2 + 0x81;
            if (first > 0x9F)
                first += 0x40;
            unsigned second = (c & 1) ? d + 0x1F + (d >= 0x60 ? 1 : 0) : d + 0x7E;
            out += (char)first;
            out += (char)second;
            ++i;
        } else if (mode == Kana && c >= 0x21 && c <= 0x5F) {
            out += (char)(c + 0x80);
        } else {
            out += (char)c;
        }
    }
    return out;
}

std::string ToShiftJis(const std::string &bytes, std::string charset)
{
    size_t language = charset.find('*'); // RFC 2231 "charset*lang"
    if (language != std::string::npos)
        charset.erase(language);
    for (char &c : charset)
        c = (char)tolower((unsigned char)c);
    if (charset == "iso-2022-jp")
        return JisToShiftJis(bytes);
    if (charset == "utf-8")
        return ThroughUtf16(bytes, CP_UTF8);
    if (charset == "euc-jp")
        return ThroughUtf16(bytes, 20932);
    if (charset == "iso-8859-1")
        return ThroughUtf16(bytes, 28591);
    return bytes; // Shift_JIS, ASCII, or a charset kept as it is
}

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

std::string DecodeBase64(const std::string &text)
{
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        int value = Base64Value(c);
        if (value < 0)
            break;
        bits = (bits << 6) | (unsigned)value;
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += (char)((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string DecodeQ(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=' && i + 2 < text.size() && isxdigit((unsigned char)text[i + 1]) &&
                   isxdigit((unsigned char)text[i + 2])) {
            out += (char)strtol(text.substr(i + 1, 2).c_str(), NULL, 16);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A header value with its encoded words ("=?charset?B|Q?text?=") decoded,
// in Shift_JIS. Blanks between two encoded words are dropped; a malformed
// word stays as written. Unencoded JIS runs are converted too.
std::string DecodeHeaderText(const std::string &value)
{
    std::string out;
    std::string pendingBlanks;
    bool afterWord = false;
    size_t i = 0;
    while (i < value.size()) {
        size_t start = value.find("=?", i);
        size_t charsetEnd = start == std::string::npos ? start : value.find('?', start + 2);
        size_t textStart = charsetEnd == std::string::npos ? charsetEnd : charsetEnd + 3;
        size_t wordEnd = textStart == std::string::npos || textStart > value.size()
                             ? std::string::npos
                             : value.find("?=", textStart);
        char encoding = charsetEnd == std::string::npos || charsetEnd + 2 >= value.size()
                            ? 0
                            : (char)toupper((unsigned char)value[charsetEnd + 1]);
        if (wordEnd == std::string::npos || value[charsetEnd + 2] != '?' ||
            (encoding != 'B' && encoding != 'Q')) {
            out += JisToShiftJis(value.substr(i));
            break;
        }
        std::string between = value.substr(i, start - i);
        if (!(afterWord && between.find_first_not_of(" \t") == std::string::npos))
            out += JisToShiftJis(between);
        std::string charset = value.substr(start + 2, charsetEnd - start - 2);
        std::string text = value.substr(textStart, wordEnd - textStart);
        out += ToShiftJis(encoding == 'B' ? DecodeBase64(text) : DecodeQ(text), charset);
        afterWord = true;
        i = wordEnd + 2;
    }
    return out;
}

// At most `limit` bytes of a Shift_JIS text, never half a character.
std::string Cut(const std::string &text, size_t limit)
{
    size_t end = 0;
    while (end < text.size()) {
        size_t width = IsLeadByte((unsigned char)text[end]) && end + 1 < text.size() ? 2 : 1;
        if (end + width > limit)
            break;
        end += width;
    }
    return text.substr(0, end);
}

std::string Trim(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The sender's name as a mail client shows it: the display name without
// its quotes, else the address.
std::string SenderName(const std::string &from)
{
    std::string decoded = DecodeHeaderText(from);
    // '<', '"' and '(' are never the trail byte of a double-byte character.
    size_t angle = decoded.find('<');
    std::string name = Trim(angle == std::string::npos ? decoded : decoded.substr(0, angle));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (name.empty() && angle != std::string::npos) {
        size_t close = decoded.find('>', angle);
        name = decoded.substr(angle + 1, close == std::string::npos ? std::string::npos : close - angle - 1);
    }
    return name;
}

// "2026/12/08 01:07" from "Tue, 8 Dec 2026 01:07:00 +0900", in the
// message's own time zone; the value as written when it does not parse.
std::string ShortDate(const std::string &date)
{
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char *text = date.c_str();
    const char *comma = strchr(text, ',');
    if (comma)
        text = comma + 1;
    int day = 0, year = 0, hour = 0, minute = 0;
    char month[4] = "";
    if (sscanf(text, "%d %3s %d %d:%d", &day, month, &year, &hour, &minute) == 5) {
        const char *found = strlen(month) == 3 ? strstr(kMonths, month) : nullptr;
        if (found && (found - kMonths) % 3 == 0) {
            char out[32];
            snprintf(out, sizeof out, "%04d/%02d/%02d %02d:%02d", year, (int)(found - kMonths) / 3 + 1,
                     day, hour, minute);
            return out;
        }
    }
    return Cut(date, 16);
}

} // namespace

namespace hostrig {

std::string MessageListLine(const std::string &folder, const std::string &message)
{
    return Cut(folder, 10) + "\t" + ShortDate(HeaderField(message, "Date")) + "\t" +
           Cut(SenderName(HeaderField(message, "From")), 18) + "\t" +
           DecodeHeaderText(HeaderField(message, "Subject"));
}

} // namespace hostrig
