// Link rules: what a message's link may open, teach and name.
#include "classifier/links.h"

#include <cstdint>
#include <cstring>

#include "classifier/http_wire.h"
#include "mailstore/text.h"

namespace {

const char kViewPattern[] = "view=";
const char kBaseUrlScheme[] = "http://";

const char kHistoryPath[] = "/history";
const char kViewPath[] = "/view";

// True when the bytes [text, end) hold no quote, blank, control or DEL
// byte, and no "?" or "#", after which a page name would not be a path.
bool HasOnlyUrlBytes(const char *text, const char *end)
{
    for (; text < end; ++text) {
        unsigned char byte = static_cast<unsigned char>(*text);
        if (byte <= 0x20 || byte == 0x7F || byte == '"' || byte == '?' || byte == '#')
            return false;
    }
    return true;
}

// True when the host of the base URL at `url` (after "http://", up to a
// ":" or "/") is a loopback address or, as text, `accountServer`.
bool IsPopfileHost(const char *url, const char *accountServer)
{
    const char *host = url + sizeof kBaseUrlScheme - 1;
    std::string name(host, strcspn(host, ":/"));
    uint32_t address = 0;
    if (NumericIpv4Host(name.c_str(), &address) == 0 && reinterpret_cast<unsigned char *>(&address)[0] == 127)
        return true;
    if (!accountServer || !*accountServer || name.size() != strlen(accountServer))
        return false;
    return PrefixDiffersNoCase(name.c_str(), accountServer) == 0;
}

// True when the path of the redirect target `location` (after any scheme
// and host, before any query) ends in `tail`.
bool TargetPathEndsIn(const char *location, const char *tail)
{
    const char *path = location;
    const char *scheme = strstr(location, "://");
    if (scheme && scheme < location + strcspn(location, "/?#")) {
        // An absolute target: the path begins at the first '/' after the
        // host, or there is none.
        path = scheme + 3;
        path += strcspn(path, "/?#");
    }
    size_t pathLength = strcspn(path, "?#");
    size_t tailLength = strlen(tail);
    return pathLength >= tailLength && strncmp(path + pathLength - tailLength, tail, tailLength) == 0;
}

// IsCleanBaseUrl for the `length` bytes at `url` (no NUL needed).
bool IsCleanBaseUrlPart(const char *url, size_t length)
{
    size_t schemeLength = sizeof kBaseUrlScheme - 1;
    if (length <= schemeLength || url[length - 1] != '/')
        return false;
    for (size_t i = 0; i < schemeLength; ++i) {
        if (AsciiUpper(static_cast<unsigned char>(url[i])) !=
            AsciiUpper(static_cast<unsigned char>(kBaseUrlScheme[i])))
            return false;
    }
    return HasOnlyUrlBytes(url, url + length);
}

bool IsAtoiBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int ViewIdOfLink(const char *link)
{
    const char *number = FindAfterNoCase(link, kViewPattern);
    if (!*number)
        return -1;
    while (IsAtoiBlank(*number))
        ++number;
    bool negative = *number == '-';
    if (*number == '-' || *number == '+')
        ++number;
    // Accumulated as a magnitude; anything beyond the 32-bit range is no
    // view id rather than the C library's undefined overflow.
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t value = 0;
    for (; *number >= '0' && *number <= '9'; ++number) {
        value = value * 10 + (*number - '0');
        if (value > limit)
            return -1;
    }
    return static_cast<int>(negative ? -value : value);
}

bool IsWebLink(const char *link)
{
    if (PrefixDiffersNoCase(link, "http://") != 0 && PrefixDiffersNoCase(link, "https://") != 0)
        return false;
    for (const char *p = link; *p; ++p) {
        if (static_cast<unsigned char>(*p) < 0x20 || *p == '"')
            return false;
    }
    return true;
}

size_t BaseUrlLengthOfLink(const char *link, const char *accountServer)
{
    const char *jump = strstr(link, "jump");
    if (!jump)
        return 0;
    size_t length = static_cast<size_t>(jump - link);
    size_t schemeLength = sizeof kBaseUrlScheme - 1;
    if (length < schemeLength || strncmp(link, kBaseUrlScheme, schemeLength) != 0)
        return 0;
    if (!IsCleanBaseUrlPart(link, length) || !IsPopfileHost(link, accountServer))
        return 0;
    return length;
}

bool IsCleanBaseUrl(const char *url)
{
    return IsCleanBaseUrlPart(url, strlen(url));
}

JumpAnswer ReadJumpAnswer(int status, const char *location)
{
    if (status < 300 || status > 399)
        return JumpNotPopfile;
    if (TargetPathEndsIn(location, kViewPath))
        return JumpInHistory;
    if (TargetPathEndsIn(location, kHistoryPath))
        return JumpGone;
    return JumpNotPopfile;
}
