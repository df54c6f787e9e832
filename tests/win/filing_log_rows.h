// The filing log as the Windows tests read it back: the file's bytes as
// rows of TAB-separated fields (Shift_JIS), for the filing and the
// classifier tests.
#pragma once
#include <string>
#include <vector>

// The CR LF lines of `text` from byte `from` on, each split at its TABs; a
// last line without CR LF is a row too.
inline std::vector<std::vector<std::string>> LogRows(const std::string &text, size_t from = 0)
{
    std::vector<std::vector<std::string>> rows;
    while (from < text.size()) {
        size_t end = text.find("\r\n", from);
        std::string line = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        rows.push_back(fields);
        from = end == std::string::npos ? text.size() : end + 2;
    }
    return rows;
}

// True when `text` reads as the date and time of a line,
// "YYYY-MM-DD HH:MM:SS".
inline bool IsLogDate(const std::string &text)
{
    const std::string shape = "0000-00-00 00:00:00";
    if (text.size() != shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == '0' ? !digit : text[i] != shape[i])
            return false;
    }
    return true;
}
