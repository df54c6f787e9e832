// The plug-in's own HTTP client. Each exchange makes its own connection
// and closes it before it returns; what is kept between exchanges is only
// the last host name's lookup and the last failed connect, each for
// HttpRememberMs.
//
// Everything stays on the caller's thread (a second thread is not
// something the plug-in can afford inside the host): the socket is
// non-blocking, and every wait is a select for no longer than what is
// left of the budget. The one call that may wait longer is a host name's
// lookup, which the system's resolver does not let a single thread
// bound; it is made at most once per HttpRememberMs for a name, and never
// for a numeric address or "localhost".
#include "classifier/http.h"

#include "classifier/http_wire.h"
#include "classifier/net.h"

namespace {

const size_t kReceiveSize = 16 * 1024;
// The body becomes text in pieces of this size, each up to its first NUL.
const size_t kTextPiece = 1024;

// The user action under way, if any (RunAsUserAction).
HttpBudget Budget;

// The last host name looked up, and what came of it.
struct Lookup {
    bool made;
    std::string host;
    bool found;
    uint32_t address;
    uint32_t at;
};
Lookup LastLookup;

// The last server whose connect failed, while none has succeeded since.
struct FailedConnect {
    bool noted;
    std::string host;
    uint16_t port;
    uint32_t at;
};
FailedConnect LastFailedConnect;

bool Recent(uint32_t at)
{
    return NetNowMs() - at < HttpRememberMs;
}

// The budget that an exchange beginning now spends: the user action's, or
// one of its own outside any action.
HttpBudget CurrentBudget(void)
{
    if (Budget.active)
        return Budget;
    HttpBudget own = {1, NetNowMs(), HttpActionBudgetMs};
    return own;
}

// Milliseconds left of `budget`; 0 when spent. The clock's wrap-around is
// harmless in the unsigned difference.
uint32_t MsLeft(const HttpBudget &budget)
{
    uint32_t elapsed = NetNowMs() - budget.start;
    return elapsed >= budget.lengthMs ? 0 : budget.lengthMs - elapsed;
}

// The address of `host`: numeric ones and "localhost" at once, names
// through the resolver at most once per HttpRememberMs. 0 or -1.
int AddressOfHost(const std::string &host, uint32_t *address)
{
    if (NumericIpv4Host(host.c_str(), address) == 0)
        return 0;
    if (!LastLookup.made || LastLookup.host != host || !Recent(LastLookup.at)) {
        LastLookup.made = true;
        LastLookup.host = host;
        LastLookup.found = NetLookupIpv4(host.c_str(), &LastLookup.address) == 0;
        LastLookup.at = NetNowMs();
    }
    *address = LastLookup.address;
    return LastLookup.found ? 0 : -1;
}

void NoteConnect(const HttpUrl &url, bool failed)
{
    if (!failed) {
        if (LastFailedConnect.noted && LastFailedConnect.host == url.host && LastFailedConnect.port == url.port)
            LastFailedConnect.noted = false;
        return;
    }
    LastFailedConnect.noted = true;
    LastFailedConnect.host = url.host;
    LastFailedConnect.port = url.port;
    LastFailedConnect.at = NetNowMs();
}

// How an exchange ended.
enum ExchangeEnd {
    kNoConnection, // no address, no socket, or the connect failed or timed out
    kNotAllSent,   // the request's bytes did not all go out in time
    kLate,         // sent, but the answer was not read as far as asked in time
    kBadAnswer,    // reset, cut off, or not an HTTP answer
    kAnswered,     // read as far as asked
};

// Opens a connection to the URL's server within `budget`. Returns the
// socket, or NoNetSocket (a failed or late connect is noted).
NetSocket Connect(const HttpUrl &url, const HttpBudget &budget)
{
    uint32_t address = 0;
    if (AddressOfHost(url.host, &address) != 0 || MsLeft(budget) == 0)
        return NoNetSocket;
    NetSocket socket = NetConnectStart(address, url.port);
    int connected = socket == NoNetSocket ? -1 : NetAwaitConnected(socket, MsLeft(budget));
    NoteConnect(url, connected != 1);
    if (connected != 1 && socket != NoNetSocket) {
        NetClose(socket, 1);
        return NoNetSocket;
    }
    return socket;
}

// Sends every byte of `request`, in one send where the socket takes it
// whole. False when the connection failed or the budget ran out first.
bool SendWhole(NetSocket socket, const std::string &request, const HttpBudget &budget)
{
    size_t sent = 0;
    while (sent < request.size()) {
        long taken = NetSend(socket, request.data() + sent, request.size() - sent);
        if (taken < 0)
            return false;
        sent += static_cast<size_t>(taken);
        if (sent < request.size() && NetAwait(socket, 1, MsLeft(budget)) != 1)
            return false;
    }
    return true;
}

// Reads the answer into `reader` as far as it was asked to, within
// `budget`.
ExchangeEnd ReadAnswer(NetSocket socket, HttpAnswerReader *reader, const HttpBudget &budget)
{
    char buffer[kReceiveSize];
    for (;;) {
        uint32_t left = MsLeft(budget);
        if (left == 0 || NetAwait(socket, 0, left) == 0)
            return kLate;
        long got = NetReceive(socket, buffer, sizeof buffer);
        if (got == -2)
            continue;
        int read = got > 0 ? ReadHttpAnswer(reader, buffer, static_cast<size_t>(got))
                   : got == 0 ? EndHttpAnswer(reader)
                              : HttpAnswerBad;
        if (read == HttpAnswerDone)
            return kAnswered;
        if (read == HttpAnswerBad)
            return kBadAnswer;
    }
}

// One exchange: `request` to the URL's server, its answer read into
// `reader`, all within the current budget. The connection is closed
// normally only when the answer was read to its very end, or when a late
// answer is to be left to come (`lateCloseNormally`); otherwise with a
// reset, so that nothing more is read for it.
ExchangeEnd Exchange(const HttpUrl &url, const std::string &request, HttpAnswerReader *reader,
                     bool lateCloseNormally)
{
    HttpBudget budget = CurrentBudget();
    if (MsLeft(budget) == 0 || NetStart() != 0)
        return kNoConnection;
    ExchangeEnd end = kNoConnection;
    NetSocket socket = Connect(url, budget);
    if (socket != NoNetSocket) {
        end = SendWhole(socket, request, budget) ? ReadAnswer(socket, reader, budget) : kNotAllSent;
        bool normal = (end == kAnswered && reader->complete) || (end == kLate && lateCloseNormally);
        NetClose(socket, normal ? 0 : 1);
    }
    NetStop();
    return end;
}

// Appends `body` to `response` as text: each piece of kTextPiece bytes,
// counted from the body's start, up to its first NUL.
void AppendAsText(const std::string &body, std::string &response)
{
    for (size_t at = 0; at < body.size(); at += kTextPiece) {
        std::string piece = body.substr(at, kTextPiece);
        response.append(piece.c_str());
    }
}

} // namespace

HttpBudget BeginHttpBudget(uint32_t lengthMs)
{
    HttpBudget previous = Budget;
    Budget.active = 1;
    Budget.start = NetNowMs();
    Budget.lengthMs = lengthMs;
    return previous;
}

void RestoreHttpBudget(HttpBudget previous)
{
    Budget = previous;
}

uint32_t HttpBudgetLeftMs(void)
{
    return MsLeft(CurrentBudget());
}

int HttpGet(const char *url, std::string &response)
{
    HttpUrl parts;
    if (SplitHttpUrl(url, &parts) != 0)
        return -1;
    HttpAnswerReader reader;
    StartHttpAnswer(&reader, HttpUntilBodyEnd, HttpPageLimit);
    if (Exchange(parts, HttpGetRequest(parts), &reader, false) != kAnswered)
        return -1;
    try {
        AppendAsText(reader.body, response);
    } catch (...) {
        return -1; // out of memory
    }
    return static_cast<int>(reader.body.size());
}

int HttpPost(const char *url, const std::string &body)
{
    HttpUrl parts;
    if (SplitHttpUrl(url, &parts) != 0)
        return HttpPostNotSent;
    HttpAnswerReader reader;
    StartHttpAnswer(&reader, HttpUntilStatus, 0);
    switch (Exchange(parts, HttpPostRequest(parts, body), &reader, true)) {
    case kAnswered:
        return reader.status >= 200 && reader.status <= 299 ? HttpPostTold : HttpPostNotSent;
    case kLate:
        return HttpPostUnanswered;
    default:
        return HttpPostNotSent;
    }
}

int HttpGetStatus(const char *url, std::string &location)
{
    location.clear();
    HttpUrl parts;
    if (SplitHttpUrl(url, &parts) != 0)
        return -1;
    HttpAnswerReader reader;
    StartHttpAnswer(&reader, HttpUntilHeaders, 0);
    if (Exchange(parts, HttpGetRequest(parts), &reader, false) != kAnswered)
        return 0;
    location = reader.location;
    return reader.status;
}

bool HttpServerResting(const char *url)
{
    HttpUrl parts;
    return SplitHttpUrl(url, &parts) == 0 && LastFailedConnect.noted && LastFailedConnect.host == parts.host &&
           LastFailedConnect.port == parts.port && Recent(LastFailedConnect.at);
}

void ForgetHttpMemory(void)
{
    LastLookup = Lookup();
    LastFailedConnect = FailedConnect();
}
