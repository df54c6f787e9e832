// Lines of the filing log: the fields of one event made safe for a
// TAB-separated table, sender and subject decoded as the summary does.
#include "filing/log_line.h"

#include <cstdio>
#include <initializer_list>

#include "filing/summary_text.h"
#include "mailstore/text.h"

namespace {

// The column names, in the order of the fields of every line.
const char *const kColumnNames[] = {
    "日時", "種類", "アカウント", "メール", "移動先", "バケツ", "POPFile", "差出人", "件名",
};

const char kFiledKind[] = "振り分け";
const char kCorrectedKind[] = "訂正";
const char kRefusedMark[] = " (移動できず)";
const char kBucketArrow[] = " → ";
const char kLineEnd[] = "\r\n";

bool IsCp932TrailByte(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Every control byte becomes a blank, and so does a first byte without its
// second: a reader of Shift_JIS would take the TAB after it for the
// character's second half and lose a column. No valid second byte is a
// control byte, so the control bytes can be replaced wherever they stand.
void SanitiseField(std::string &field)
{
    for (size_t i = 0; i < field.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(field[i]);
        if (IsCp932LeadByte(byte) && i + 1 < field.size() &&
            IsCp932TrailByte(static_cast<unsigned char>(field[i + 1])))
            ++i;
        else if (byte < 0x20 || byte == 0x7F || IsCp932LeadByte(byte))
            field[i] = ' ';
    }
}

// A copy of an outside text (null: empty) made safe as a field or part of
// one. Only outside texts are sanitised: the plug-in's own words are safe
// as they are.
std::string Safe(const char *text)
{
    std::string field = text ? text : "";
    SanitiseField(field);
    return field;
}

// The summary's texts are made in place, so they are made from copies: the
// caller's values may still be wanted by the summary itself.
std::string SenderText(const char *from)
{
    if (!from)
        return std::string();
    std::string copy = from;
    return Safe(SenderForSummary(&copy[0], LogTextLimit));
}

std::string SubjectText(const char *subject)
{
    if (!subject)
        return std::string();
    std::string copy = subject;
    return Safe(SubjectForSummary(&copy[0], LogTextLimit));
}

std::string DestinationText(const LogEvent &event)
{
    std::string text = Safe(event.Destination);
    if (event.Destination && event.Refused)
        text += kRefusedMark;
    return text;
}

std::string BucketText(const LogEvent &event)
{
    if (event.Kind != LogCorrected)
        return Safe(event.Bucket);
    return Safe(event.OldBucket) + kBucketArrow + Safe(event.Bucket);
}

// The fields joined by TABs, ended by CR LF.
std::string JoinedLine(std::initializer_list<std::string> fields)
{
    std::string line;
    for (const std::string &field : fields) {
        if (&field != fields.begin())
            line += '\t';
        line += field;
    }
    return line + kLineEnd;
}

} // namespace

std::string LogHeaderLine(void)
{
    std::string line;
    for (const char *name : kColumnNames) {
        if (!line.empty())
            line += '\t';
        line += name;
    }
    return line + kLineEnd;
}

std::string LogDateText(const LogTime &time)
{
    // Room for six numbers of any int value, so nothing is ever cut.
    char text[96];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.Year, time.Month, time.Day, time.Hour,
             time.Minute, time.Second);
    return text;
}

std::string FormatLogLine(const LogEvent &event)
{
    bool corrected = event.Kind == LogCorrected;
    return JoinedLine({
        LogDateText(event.Time),
        corrected ? kCorrectedKind : kFiledKind,
        Safe(event.Account),
        Safe(event.Entry),
        DestinationText(event),
        BucketText(event),
        corrected && event.Popfile ? event.Popfile : "",
        SenderText(event.From),
        SubjectText(event.Subject),
    });
}
