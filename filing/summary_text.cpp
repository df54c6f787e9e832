// Sender and subject texts of the filing summary: display name, decoding,
// conversion to Shift_JIS and the cut to a byte limit, all in the caller's
// buffer (the record's own heap copy of the header value).
#include "filing/summary_text.h"

#include <cstdlib>
#include <cstring>

#include "mailstore/encoded_words.h"
#include "mailstore/text.h"

namespace {

// Subject limit used when the settings give none.
const int kDefaultSubjectLength = 26;

const unsigned char kEscape = 0x1B;

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x80 && byte <= 0x9F) || byte >= 0xE0;
}

char *SkipSpaces(char *text)
{
    while (*text == ' ')
        ++text;
    return text;
}

// Terminates the text at the first `close` after `start` (if any) and
// returns `start`.
char *EndAtMark(char *start, char close)
{
    char *end = strchr(start, close);
    if (end)
        *end = '\0';
    return start;
}

// True when the `length` bytes at `name` equal the upper-case `expected`
// with ASCII case ignored.
bool NameEquals(const char *name, size_t length, const char *expected)
{
    if (strlen(expected) != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (AsciiUpper(static_cast<unsigned char>(name[i])) != expected[i])
            return false;
    }
    return true;
}

// The charset that `word` names; the name ends at a "*" that starts an
// RFC 2231 language tag.
WordCharset CharsetOfWord(const EncodedWord &word)
{
    const char *name = word.charset;
    size_t length = 0;
    while (length < word.charsetLength && name[length] != '*')
        ++length;
    if (NameEquals(name, length, "UTF-8"))
        return WordCharsetUtf8;
    if (NameEquals(name, length, "EUC-JP"))
        return WordCharsetEucJp;
    return WordCharsetOther;
}

bool IsJisByte(unsigned char byte)
{
    return byte >= 0x21 && byte <= 0x7E;
}

// Writes the Shift_JIS form of the JIS X 0208 pair (first, second), both
// 0x21-0x7E, at `out`.
void JisPairToShiftJis(unsigned char first, unsigned char second, char *out)
{
    unsigned char lead = static_cast<unsigned char>(((first + 1) >> 1) + (first <= 0x5E ? 0x70 : 0xB0));
    unsigned char trail;
    if (first & 1)
        trail = static_cast<unsigned char>(second + (second >= 0x60 ? 0x20 : 0x1F));
    else
        trail = static_cast<unsigned char>(second + 0x7E);
    out[0] = static_cast<char>(lead);
    out[1] = static_cast<char>(trail);
}

enum JisMode { JisAscii, JisKanji, JisKana };

// Length of the mode escape at `in` (3) with the mode it selects, or 0 when
// `in` starts no escape that the conversion knows.
int JisEscape(const unsigned char *in, JisMode *mode)
{
    if (in[0] != kEscape)
        return 0;
    if (in[1] == '$' && (in[2] == 'B' || in[2] == '@')) {
        *mode = JisKanji;
        return 3;
    }
    if (in[1] == '(' && (in[2] == 'B' || in[2] == 'J')) {
        *mode = JisAscii;
        return 3;
    }
    if (in[1] == '(' && in[2] == 'I') {
        *mode = JisKana;
        return 3;
    }
    return 0;
}

// Every JIS run of the text becomes Shift_JIS, in place: escapes are
// dropped, a pair stays two bytes and a half-width katakana one byte, so
// the output never overtakes the input. Bytes that do not fit the run's
// mode stay as they are.
void ConvertJisRuns(char *text)
{
    const unsigned char *in = reinterpret_cast<const unsigned char *>(text);
    char *out = text;
    JisMode mode = JisAscii;
    while (*in) {
        int escape = JisEscape(in, &mode);
        if (escape) {
            in += escape;
        } else if (mode == JisKanji && IsJisByte(in[0]) && IsJisByte(in[1])) {
            JisPairToShiftJis(in[0], in[1], out);
            out += 2;
            in += 2;
        } else if (mode == JisKana && in[0] >= 0x21 && in[0] <= 0x5F) {
            *out++ = static_cast<char>(in[0] + 0x80);
            ++in;
        } else {
            *out++ = static_cast<char>(*in++);
        }
    }
    *out = '\0';
}

bool IsAscii(const char *bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80)
            return false;
    }
    return true;
}

// A run of adjacent words of one convertible charset, decoded into the work
// area from `start` to the output position.
struct ConvertibleRun {
    char *start; // nullptr: no run open
    WordCharset charset;
};

// Converts the open run in place and returns the output position after it.
// `limit` is the furthest the output may reach: the converted bytes must
// not overtake the input already walked, or the rest would not fit.
// ASCII reads the same in both charsets and in code page 932.
char *CloseRun(ConvertibleRun *run, char *output, char *limit, char *scratch)
{
    char *start = run->start;
    run->start = nullptr;
    size_t length = static_cast<size_t>(output - start);
    if (IsAscii(start, length))
        return output;
    size_t room = static_cast<size_t>(limit - start);
    int converted = ConvertCharsetToCp932(run->charset, start, length, scratch, room + 1);
    if (converted < 0 || static_cast<size_t>(converted) > room)
        return output; // kept as decoded
    memcpy(start, scratch, static_cast<size_t>(converted));
    return start + converted;
}

} // namespace

char *ExtractDisplayName(char *text)
{
    text = SkipSpaces(text);
    if (!*text)
        return nullptr;
    // Shift_JIS trail bytes are 0x40 or above, so none of these marks can
    // be the second half of a double-byte character.
    if (char *quote = strchr(text, '"'))
        return EndAtMark(quote + 1, '"');
    if (char *parenthesis = strchr(text, '('))
        return EndAtMark(parenthesis + 1, ')');
    if (*text == '<')
        return EndAtMark(text + 1, '>');
    if (char *angle = strchr(text, '<')) {
        char *end = angle;
        while (end > text && end[-1] == ' ')
            --end;
        *end = '\0';
    }
    return text;
}

void DecodeToShiftJis(char *text)
{
    size_t length = strlen(text);
    char *decoded = static_cast<char *>(malloc(length + 1));
    char *scratch = static_cast<char *>(malloc(length + 1));
    if (!decoded || !scratch) {
        free(decoded);
        free(scratch);
        return;
    }
    EncodedWordWalk walk;
    StartEncodedWordWalk(&walk, text);
    char *output = decoded;
    ConvertibleRun run = {nullptr, WordCharsetOther};
    EncodedWord word;
    while (NextEncodedWord(&walk, &word)) {
        size_t plain = static_cast<size_t>(word.start - walk.cursor);
        WordCharset named = CharsetOfWord(word);
        // The output may reach as far as the input walked so far.
        char *limit = decoded + (walk.cursor - text);
        if (run.start && (plain > 0 || named != run.charset))
            output = CloseRun(&run, output, limit, scratch);
        memcpy(output, walk.cursor, plain);
        output += plain;
        if (named != WordCharsetOther && !run.start)
            run = {output, named};
        output = DecodeEncodedWord(&walk, &word, output);
    }
    if (run.start)
        output = CloseRun(&run, output, decoded + (walk.cursor - text), scratch);
    size_t rest = strlen(walk.cursor);
    memcpy(output, walk.cursor, rest + 1);
    memcpy(text, decoded, static_cast<size_t>(output - decoded) + rest + 1);
    free(decoded);
    free(scratch);
    ConvertJisRuns(text);
}

// Ends `text` after at most `limit` bytes, before a double-byte character
// that would not fit whole. Returns `text`.
char *CutAtCharacter(char *text, int limit)
{
    int count = 0;
    while (count < limit && text[count]) {
        if (!IsLeadByte(static_cast<unsigned char>(text[count]))) {
            ++count;
        } else if (count == limit - 1) {
            break; // the double-byte character would not fit whole
        } else if (!text[count + 1]) {
            ++count; // a lone first byte at the end stays
            break;
        } else {
            count += 2;
        }
    }
    text[count] = '\0';
    return text;
}

char *CutToLength(char *text, int limit)
{
    text = SkipSpaces(text);
    if (!*text)
        return nullptr;
    DecodeToShiftJis(text);
    return CutAtCharacter(text, limit);
}

char *SenderForSummary(char *text, int fromLength)
{
    char *name = ExtractDisplayName(text);
    if (name && fromLength >= 1)
        return CutToLength(name, fromLength < SummaryTextCeiling ? fromLength : SummaryTextCeiling);
    return name ? CutAtCharacter(name, SummaryTextCeiling) : nullptr;
}

char *SubjectForSummary(char *text, int subjectLength)
{
    int limit = subjectLength < 1 ? kDefaultSubjectLength : subjectLength;
    return CutToLength(text, limit < SummaryTextCeiling ? limit : SummaryTextCeiling);
}

std::string DetailLine(char *from, char *subject, int fromLength, int subjectLength)
{
    std::string line;
    const char *sender = from ? SenderForSummary(from, fromLength) : nullptr;
    if (sender) {
        line += "  ";
        line += sender;
    }
    const char *subjectText = subject ? SubjectForSummary(subject, subjectLength) : nullptr;
    if (subjectText) {
        line += sender ? " : " : "  ";
        line += subjectText;
    }
    if (sender || subjectText)
        line += '\n';
    return line;
}

int DetailLineCount(const std::string &details)
{
    int lines = 0;
    for (char byte : details)
        lines += byte == '\n';
    return lines;
}

void AppendFolderParagraph(std::string &summary, const char *folder, int movedCount, const std::string &details,
                           int listLimit)
{
    summary += "[";
    summary += folder;
    summary += "]へ ";
    summary += std::to_string(movedCount);
    summary += " 件移動しました\n";
    if (listLimit < 0 || DetailLineCount(details) <= listLimit) {
        summary += details;
        return;
    }
    size_t end = 0;
    for (int i = 0; i < listLimit; ++i)
        end = details.find('\n', end) + 1;
    summary.append(details, 0, end);
    summary += "  ほか ";
    summary += std::to_string(movedCount - listLimit);
    summary += " 件\n";
}
