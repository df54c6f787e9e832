#include "text_lines.h"

std::string TrimBlanks(const std::string& text, const char* blanks)
{
    size_t start = text.find_first_not_of(blanks);
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(blanks);
    return text.substr(start, end - start + 1);
}

std::vector<TextLine> SettingLines(const std::string& text)
{
    std::vector<TextLine> lines;
    int number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = TrimBlanks(text.substr(pos, end - pos), " \t\r");
        pos = end + 1;
        ++number;
        if (!line.empty() && line[0] != '#')
            lines.push_back({number, line});
    }
    return lines;
}
