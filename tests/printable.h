// Bytes shown readably in test failure messages, and compared in that form
// by table tests: printable ASCII as it is, a backslash doubled, CR, LF and
// tab as \r, \n and \t, every other byte as \xHH. Two texts are equal
// exactly when their forms are. Used by the native and the Windows tests.
#pragma once
#include <cstdio>
#include <string>

inline std::string Printable(const std::string &bytes, size_t limit = std::string::npos)
{
    std::string shown;
    for (size_t i = 0; i < bytes.size() && i < limit; i++) {
        unsigned char byte = (unsigned char)bytes[i];
        if (byte == '\r') {
            shown += "\\r";
        } else if (byte == '\n') {
            shown += "\\n";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte == '\\') {
            shown += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else {
            shown += (char)byte;
        }
    }
    if (bytes.size() > limit)
        shown += "...(" + std::to_string(bytes.size()) + " bytes)";
    return shown;
}
