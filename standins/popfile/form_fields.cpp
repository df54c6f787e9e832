#include "form_fields.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text, bool plusIsBlank)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsBlank) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<FormField> ParseFormFields(const std::string& text)
{
    std::vector<FormField> fields;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('&', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string piece = text.substr(pos, end - pos);
        pos = end + 1;
        if (piece.empty())
            continue;
        size_t equals = piece.find('=');
        FormField field;
        field.name = PercentDecode(piece.substr(0, equals), true);
        if (equals != std::string::npos)
            field.rawValue = piece.substr(equals + 1);
        field.value = PercentDecode(field.rawValue, true);
        fields.push_back(field);
    }
    return fields;
}
