#include "mail_message.h"
#include "text_lines.h"

namespace {

bool SameLetters(const std::string& a, size_t aStart, const std::string& b)
{
    if (a.size() - aStart < b.size())
        return false;
    for (size_t i = 0; i < b.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[aStart + i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> SplitMessageLines(const std::string& raw)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t end = raw.find('\n', pos);
        if (end == std::string::npos) {
            lines.push_back(raw.substr(pos));
            break;
        }
        size_t length = end - pos;
        if (length > 0 && raw[end - 1] == '\r')
            --length;
        lines.push_back(raw.substr(pos, length));
        pos = end + 1;
    }
    return lines;
}

size_t HeaderBlockEnd(const std::vector<std::string>& lines)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].empty())
            return i;
    return lines.size();
}

std::string HeaderFieldValue(const std::vector<std::string>& lines, const std::string& name)
{
    size_t end = HeaderBlockEnd(lines);
    for (size_t i = 0; i < end; ++i) {
        const std::string& line = lines[i];
        if (line.size() <= name.size() || line[name.size()] != ':' || !SameLetters(line, 0, name))
            continue;
        std::string value = line.substr(name.size() + 1);
        for (size_t j = i + 1; j < end && (lines[j][0] == ' ' || lines[j][0] == '\t'); ++j)
            value += lines[j];
        return TrimBlanks(value);
    }
    return std::string();
}

std::vector<std::string> WithoutClassifierFields(const std::vector<std::string>& lines)
{
    static const char* const fields[] = {"X-Text-Classification:", "X-POPFile-Link:"};
    size_t end = HeaderBlockEnd(lines);
    std::vector<std::string> kept;
    bool dropping = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (i < end) {
            bool continuation = line[0] == ' ' || line[0] == '\t';
            if (!continuation)
                dropping = SameLetters(line, 0, fields[0]) || SameLetters(line, 0, fields[1]);
            if (dropping)
                continue;
        }
        kept.push_back(line);
    }
    return kept;
}

std::string BuildDeliveredMessage(const std::vector<std::string>& lines,
                                  const std::vector<std::string>& extra)
{
    size_t end = HeaderBlockEnd(lines);
    std::string out;
    for (size_t i = 0; i < end; ++i)
        out += lines[i] + "\r\n";
    for (const std::string& line : extra)
        out += line + "\r\n";
    if (end == lines.size()) {
        if (!extra.empty())
            out += "\r\n";
        return out;
    }
    for (size_t i = end; i < lines.size(); ++i)
        out += lines[i] + "\r\n";
    return out;
}

std::string DotStuffed(const std::string& crlfText)
{
    std::string out;
    out.reserve(crlfText.size() + 16);
    bool lineStart = true;
    for (char c : crlfText) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) {
        if (!out.empty())
            out += "\r\n";
    }
    out += ".\r\n";
    return out;
}

std::string TopOfMessage(const std::string& delivered, long bodyLines)
{
    size_t blank = delivered.find("\r\n\r\n");
    if (delivered.compare(0, 2, "\r\n") == 0)
        blank = 0;
    else if (blank != std::string::npos)
        blank += 2;
    if (blank == std::string::npos)
        return delivered;
    size_t pos = blank + 2;
    for (long n = 0; n < bodyLines && pos < delivered.size(); ++n) {
        size_t end = delivered.find("\r\n", pos);
        pos = end == std::string::npos ? delivered.size() : end + 2;
    }
    return delivered.substr(0, pos);
}
