// HTTP towards POPFile's web interface over WinInet. Each call opens its own
// handles and closes them, in reverse order, before it returns; nothing is
// kept or cached between calls.
//
// Bounding the waits stays on this one thread: closing a handle from
// another thread would end a blocked call, but a second thread is not
// something the plug-in can afford inside the host (see README). So every
// blocking step is given the time left as WinInet's own time-out, and the
// body is read only as far as it has arrived, the time left checked
// between the reads; a server that trickles its body therefore cannot
// stretch the exchange past the budget by more than one wait.
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

// The user action under way, if any (RunAsUserAction).
HttpBudget Budget;

// Start of the budget that an exchange beginning now spends: the user
// action's, or one of its own outside any action.
DWORD BudgetStart(void)
{
    return Budget.active ? Budget.start : GetTickCount();
}

// Milliseconds left of the budget that began at `start` (GetTickCount's
// wrap-around is harmless in the unsigned difference); 0 when spent.
DWORD MsLeft(DWORD start)
{
    DWORD elapsed = GetTickCount() - start;
    return elapsed >= HttpActionBudgetMs ? 0 : HttpActionBudgetMs - elapsed;
}

// Asks WinInet to give up every blocking step on `handle` (and on the
// handles opened from it) after `ms`: the connect (tried once, not once
// more per retry), the sending of the request, and each wait for bytes of
// the answer. WinInets differ in which handle keeps which option (Wine's
// applies a receive time-out only to a request whose connection is open,
// see SendAndAwaitHeaders), so the exchanges set them on each handle they
// open; an option refused is not a failure, the deadline checks between
// the reads remain.
void LimitWaits(HINTERNET handle, DWORD ms)
{
    DWORD once = 1;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_RETRIES, &once, sizeof once);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
}

// A session whose waits end with the budget that began at `start`, or
// NULL (also when nothing of the budget is left).
HINTERNET OpenSession(DWORD start)
{
    DWORD left = MsLeft(start);
    if (left == 0)
        return NULL;
    HINTERNET session = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (session)
        LimitWaits(session, left);
    return session;
}

// Waits, within the budget that began at `start`, until bytes of the body
// have arrived or the body has ended. Returns how many can be read without
// waiting (0: the body has ended, or a read failed other than by time), or
// -1 when the budget ran out first.
long WaitForBody(HINTERNET request, DWORD start)
{
    DWORD left = MsLeft(start);
    if (left == 0 || !InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &left, sizeof left))
        return -1;
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0))
        return (GetLastError() == ERROR_INTERNET_TIMEOUT || MsLeft(start) == 0) ? -1 : 0;
    return available > LONG_MAX ? LONG_MAX : static_cast<long>(available);
}

// Appends the body of `request` to `response`, each chunk as text up to its
// first NUL, until it ends or HttpPageLimit bytes are read. Returns the
// number of bytes read, NULs included; -1 when the budget that began at
// `start` ran out first, `response` then being as it was.
int ReadBody(HINTERNET request, DWORD start, std::string &response)
{
    char chunk[kReadSize + 1];
    size_t before = response.size();
    int total = 0;
    while (total < HttpPageLimit) {
        long available = WaitForBody(request, start);
        if (available < 0) {
            response.resize(before);
            return -1;
        }
        // Only what has arrived is asked for: a read of more would wait
        // for the rest however long the server takes.
        DWORD want = kReadSize;
        if (static_cast<unsigned long>(available) < want)
            want = static_cast<DWORD>(available);
        if (static_cast<DWORD>(HttpPageLimit - total) < want)
            want = static_cast<DWORD>(HttpPageLimit - total);
        DWORD read = 0;
        if (want == 0 || !InternetReadFile(request, chunk, want, &read))
            read = 0;
        if (read == 0)
            break;
        chunk[read] = '\0';
        try {
            response += chunk;
        } catch (...) {
            break; // out of memory: the body ends here, the handles get closed
        }
        total += static_cast<int>(read);
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

// The connection and request handles of one exchange; NULL when not open.
struct Exchange {
    HINTERNET connection;
    HINTERNET request;
};

// Opens a request `verb` for `object` (a path, with a query if any) at the
// cracked URL's server over `session`, both handles with their waits
// limited to what is left of the budget that began at `start`. Returns
// false when a handle cannot be opened or nothing of the budget is left;
// the caller closes what `exchange` holds either way (CloseExchange).
bool OpenExchange(HINTERNET session, const CrackedUrl &parts, const char *verb, const char *object,
                  const char **acceptTypes, DWORD flags, DWORD start, Exchange &exchange)
{
    exchange.request = NULL;
    exchange.connection = InternetConnectA(session, parts.host, parts.port, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
    DWORD left = MsLeft(start);
    if (!exchange.connection || left == 0)
        return false;
    LimitWaits(exchange.connection, left);
    exchange.request = HttpOpenRequestA(exchange.connection, verb, object, NULL, NULL, acceptTypes, flags, 0);
    left = MsLeft(start);
    if (!exchange.request || left == 0)
        return false;
    LimitWaits(exchange.request, left);
    return true;
}

// The status code of an answered request; 0 when WinInet has none (no
// status line was read).
DWORD StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL))
        return 0;
    return status;
}

// Sends the request of `exchange` with `length` bytes of `body` (none for
// NULL) and waits for the answer's headers, within the budget that began
// at `start`. The request goes out in one write, headers and body
// together, as HttpSendRequestA sends it; it is sent and ended in two
// calls so that the wait for the answer's headers gets the time left as
// its receive time-out once the connection is open (Wine's WinInet
// applies no receive time-out set before it). Returns true when the
// headers came: a status line was read. (Wine's HttpEndRequestA succeeds
// also when the server resets the connection instead of answering.)
bool SendAndAwaitHeaders(Exchange &exchange, void *body, DWORD length, DWORD start)
{
    INTERNET_BUFFERSA buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpvBuffer = body;
    buffers.dwBufferLength = length;
    buffers.dwBufferTotal = length;
    if (!HttpSendRequestExA(exchange.request, &buffers, NULL, 0, 0))
        return false;
    DWORD left = MsLeft(start);
    if (left == 0)
        return false;
    InternetSetOptionA(exchange.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &left, sizeof left);
    return HttpEndRequestA(exchange.request, NULL, 0, 0) && StatusCode(exchange.request) > 0;
}

void CloseExchange(Exchange &exchange)
{
    if (exchange.request)
        InternetCloseHandle(exchange.request);
    if (exchange.connection)
        InternetCloseHandle(exchange.connection);
}

// Opens and sends a GET of the cracked URL (path and query) over
// `session` and waits for the answer's headers, within the budget that
// began at `start`. The request is the one WinInet's InternetOpenUrlA makes
// for an http URL, so that it reads the same on the wire: GET, accept type
// "*/*", INTERNET_FLAG_RELOAD (always from POPFile, never from a local
// cache) among `flags`; unlike that call it lets the waits be limited
// before the request is sent. Returns true when the headers came; the
// caller closes `exchange` either way.
bool SendGet(HINTERNET session, const CrackedUrl &parts, DWORD flags, DWORD start, Exchange &exchange)
{
    static const char *const acceptAll[] = {"*/*", NULL};
    std::string object = std::string(parts.path) + parts.extra;
    return OpenExchange(session, parts, "GET", object.c_str(), const_cast<const char **>(acceptAll),
                        flags, start, exchange) &&
           SendAndAwaitHeaders(exchange, NULL, 0, start);
}

// Fetches the cracked URL over `session` into `response` (see HttpGet).
int GetPage(HINTERNET session, const CrackedUrl &parts, DWORD start, std::string &response)
{
    Exchange exchange;
    int total = -1;
    if (SendGet(session, parts, INTERNET_FLAG_RELOAD, start, exchange))
        total = ReadBody(exchange.request, start, response);
    CloseExchange(exchange);
    return total;
}

// The status and the Location header of an answered request; 0 and empty
// when WinInet cannot give them.
int ReadStatusAndLocation(HINTERNET request, std::string &location)
{
    DWORD status = StatusCode(request);
    char target[kLocationSize];
    DWORD size = kLocationSize;
    location.clear();
    if (HttpQueryInfoA(request, HTTP_QUERY_LOCATION, target, &size, NULL) && size < kLocationSize)
        location.assign(target, size);
    return status <= INT_MAX ? static_cast<int>(status) : 0;
}

// Asks for the cracked URL without following a redirect (see
// HttpGetStatus).
int GetStatus(HINTERNET session, const CrackedUrl &parts, DWORD start, std::string &location)
{
    Exchange exchange;
    int status = 0;
    // The body (none from POPFile) is not read: closing the request reads
    // out what there is.
    if (SendGet(session, parts, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT, start, exchange))
        status = ReadStatusAndLocation(exchange.request, location);
    CloseExchange(exchange);
    return status;
}

// Sends `body` as a POST to the cracked path (its query is not sent) over
// an open session, within the budget that began at `start`. Returns 0 when
// sent and the answer's headers came, -1 otherwise.
int SendPost(HINTERNET session, const CrackedUrl &parts, const std::string &body, DWORD start)
{
    Exchange exchange;
    int result = -1;
    // No headers of our own: WinInet adds the agent, host and length.
    void *data = const_cast<char *>(body.data());
    if (OpenExchange(session, parts, "POST", parts.path, NULL, 0, start, exchange) &&
        SendAndAwaitHeaders(exchange, data, static_cast<DWORD>(body.size()), start))
        result = 0;
    CloseExchange(exchange);
    return result;
}

// Runs `exchange` (session, cracked URL, start of the budget) over a
// session of its own for `url`, closing the session afterwards. Returns
// what `exchange` returns, or -1 when the session cannot be opened (the
// budget spent included) or the URL cannot be split.
template <typename Exchange>
int OverSessionOfItsOwn(const char *url, Exchange exchange)
{
    DWORD start = BudgetStart();
    HINTERNET session = OpenSession(start);
    if (!session)
        return -1;
    CrackedUrl parts;
    int result = CrackUrl(url, parts) ? exchange(session, parts, start) : -1;
    InternetCloseHandle(session);
    return result;
}

} // namespace

HttpBudget BeginHttpBudget(void)
{
    HttpBudget previous = Budget;
    Budget.active = 1;
    Budget.start = GetTickCount();
    return previous;
}

void RestoreHttpBudget(HttpBudget previous)
{
    Budget = previous;
}

int HttpGet(const char *url, std::string &response)
{
    return OverSessionOfItsOwn(url, [&](HINTERNET session, const CrackedUrl &parts, DWORD start) {
        return GetPage(session, parts, start, response);
    });
}

int HttpPost(const char *url, const std::string &body)
{
    return OverSessionOfItsOwn(url, [&](HINTERNET session, const CrackedUrl &parts, DWORD start) {
        return SendPost(session, parts, body, start);
    });
}

int HttpGetStatus(const char *url, std::string &location)
{
    location.clear();
    return OverSessionOfItsOwn(url, [&](HINTERNET session, const CrackedUrl &parts, DWORD start) {
        return GetStatus(session, parts, start, location);
    });
}
