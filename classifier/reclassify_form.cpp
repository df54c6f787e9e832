#include <cstdio>

#include "classifier/reclassify_form.h"

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_' || c == '.' || c == '~';
}

} // namespace

void AppendPercentEncoded(std::string &out, const char *text)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        if (IsUnreserved(*p)) {
            out += static_cast<char>(*p);
        } else {
            out += '%';
            out += kHex[*p >> 4];
            out += kHex[*p & 0x0F];
        }
    }
}

std::string ReclassificationBody(const char *uiKey, int viewId, const char *bucket)
{
    char view[16];
    snprintf(view, sizeof view, "%d", viewId);
    std::string body = "search=&sort=-inserted&session=";
    AppendPercentEncoded(body, uiKey);
    body += "&negate=&start_message=0&filter=&reclassify_";
    body += view;
    body += '=';
    AppendPercentEncoded(body, bucket);
    // The Japanese label of POPFile's reclassify button ("再分類" in EUC-JP),
    // sent as these 18 characters.
    body += "&change=%BA%C6%CA%AC%CE%E0";
    return body;
}
