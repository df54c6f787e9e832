// HTTP towards POPFile's web interface over WinInet. Each call opens its own
// handles and closes them, in reverse order, before it returns; nothing is
// kept or cached between calls.
#include <windows.h>
#include <wininet.h>

#include <climits>

#include "classifier/http.h"

namespace {

const char kAgent[] = "sortella";
const DWORD kReadSize = 1024;

// Component buffers handed to InternetCrackUrlA, sizes in characters.
const DWORD kSchemeSize = 1000;
const DWORD kHostSize = 1000;
const DWORD kUserSize = 100;
const DWORD kPasswordSize = 100;
const DWORD kPathSize = 1000;
const DWORD kExtraSize = 1000;

// A redirect's target with its NUL.
const DWORD kLocationSize = 2048;

HINTERNET OpenSession(void)
{
    return InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
}

// Appends the body of `request` to `response`, each chunk as text up to its
// first NUL. Returns the number of bytes read, NULs included (at most
// INT_MAX).
int ReadBody(HINTERNET request, std::string &response)
{
    char chunk[kReadSize + 1];
    int total = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, chunk, kReadSize, &read))
            read = 0;
        if (read == 0)
            break;
        chunk[read] = '\0';
        try {
            response += chunk;
        } catch (...) {
            break; // out of memory: the body ends here, the handles get closed
        }
        total = (total > INT_MAX - static_cast<int>(read)) ? INT_MAX : total + static_cast<int>(read);
    }
    return total;
}

// The parts of a URL that the POST needs. Buffers on the caller's stack.
struct CrackedUrl {
    char scheme[kSchemeSize];
    char host[kHostSize];
    char user[kUserSize];
    char password[kPasswordSize];
    char path[kPathSize];
    char extra[kExtraSize];
    INTERNET_PORT port;
};

bool CrackUrl(const char *url, CrackedUrl &parts)
{
    URL_COMPONENTSA components = {};
    components.dwStructSize = sizeof components;
    components.lpszScheme = parts.scheme;
    components.dwSchemeLength = kSchemeSize;
    components.lpszHostName = parts.host;
    components.dwHostNameLength = kHostSize;
    components.lpszUserName = parts.user;
    components.dwUserNameLength = kUserSize;
    components.lpszPassword = parts.password;
    components.dwPasswordLength = kPasswordSize;
    components.lpszUrlPath = parts.path;
    components.dwUrlPathLength = kPathSize;
    components.lpszExtraInfo = parts.extra;
    components.dwExtraInfoLength = kExtraSize;
    if (!InternetCrackUrlA(url, 0, 0, &components))
        return false;
    parts.port = components.nPort; // the scheme's default when none is named
    return true;
}

// Sends `body` as a POST to the cracked path (its query is not sent) over
// an open session. Returns 0 when sent, -1 otherwise.
int SendPost(HINTERNET session, const CrackedUrl &parts, const std::string &body)
{
    HINTERNET connection = InternetConnectA(session, parts.host, parts.port, NULL, NULL,
                                            INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection)
        return -1;
    int result = -1;
    HINTERNET request = HttpOpenRequestA(connection, "POST", parts.path, NULL, NULL, NULL, 0, 0);
    if (request) {
        // No headers of our own: WinInet adds the agent, host and length.
        void *data = const_cast<char *>(body.data());
        if (HttpSendRequestA(request, NULL, 0, data, static_cast<DWORD>(body.size())))
            result = 0;
        InternetCloseHandle(request);
    }
    InternetCloseHandle(connection);
    return result;
}

// The status and the Location header of an open request; 0 and empty when
// WinInet cannot give them.
int ReadStatusAndLocation(HINTERNET request, std::string &location)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL))
        status = 0;
    char target[kLocationSize];
    size = kLocationSize;
    location.clear();
    if (HttpQueryInfoA(request, HTTP_QUERY_LOCATION, target, &size, NULL) && size < kLocationSize)
        location.assign(target, size);
    return status <= INT_MAX ? static_cast<int>(status) : 0;
}

} // namespace

int HttpGet(const char *url, std::string &response)
{
    HINTERNET session = OpenSession();
    if (!session)
        return -1;
    // INTERNET_FLAG_RELOAD: always from POPFile, never from a local cache.
    HINTERNET request = InternetOpenUrlA(session, url, NULL, 0, INTERNET_FLAG_RELOAD, 0);
    if (!request) {
        InternetCloseHandle(session);
        return -1;
    }
    int total = ReadBody(request, response);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    return total;
}

int HttpPost(const char *url, const std::string &body)
{
    HINTERNET session = OpenSession();
    if (!session)
        return -1;
    CrackedUrl parts;
    int result = CrackUrl(url, parts) ? SendPost(session, parts, body) : -1;
    InternetCloseHandle(session);
    return result;
}

int HttpGetStatus(const char *url, std::string &location)
{
    location.clear();
    HINTERNET session = OpenSession();
    if (!session)
        return -1;
    HINTERNET request = InternetOpenUrlA(session, url, NULL, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT, 0);
    if (!request) {
        InternetCloseHandle(session);
        return -1;
    }
    int status = ReadStatusAndLocation(request, location);
    // The body (none from POPFile) is read to its end, so that the request
    // ends as every other one does.
    std::string body;
    ReadBody(request, body);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    return status;
}
