// HTTP towards POPFile's web interface, over the plug-in's own client:
// plain HTTP/1.0 on a non-blocking socket, one connection per exchange,
// no proxy, no cache, user agent "sortella" (see http_wire.h for the
// bytes).
//
// Every exchange is bounded as a whole, because it runs on the host's
// user-interface thread and the host is frozen while it waits: the name
// lookup's use (see below), the connect, the sending of the request, the
// answer's status line, headers and body all end within what is left of
// the current user action's budget (see RunAsUserAction), each wait
// being a select for no longer than that, and at most HttpPageLimit bytes
// of a page are read. An answer that is late, malformed, cut off or whose
// rest is not wanted is given up at once with a reset, so nothing more of
// it is read. Includes no Windows header.
#pragma once
#include <cstdint>
#include <string>

// Time that one user action (a menu set-up, a menu command, the setup
// dialog's URL test) may spend in exchanges with POPFile in all, in ms.
// POPFile answers a page in well under a second when it is idle; when it
// does not answer within this time it is busy classifying (it serves one
// request at a time) or something else holds its port, and waiting longer
// only keeps the user's mail client frozen. An exchange made outside any
// user action has the same budget of its own.
const uint32_t HttpActionBudgetMs = 5000;

// Most bytes of a page that HttpGet reads; the rest of the answer is not
// read. POPFile's pages are tens of KB.
const int HttpPageLimit = 1024 * 1024;

// How long, in ms, a host name's lookup (its result or its failure) is
// kept, and how long after a failed connect to a server the menu set-ups
// leave that server alone (HttpServerResting).
const uint32_t HttpRememberMs = 30000;

// Fetches `url`, appending the body to `response` and stopping after
// HttpPageLimit bytes. The body is taken as text in pieces of 1024 bytes
// counted from its start: each piece up to its first NUL. Returns the
// number of body bytes read (NULs included; HttpPageLimit for a longer
// body), or -1 when the URL cannot be split (see SplitHttpUrl), the server
// cannot be reached, or the answer is malformed, cut off or not complete
// within the budget; `response` is then as it was. An HTTP error status is
// no failure: its page is the body.
int HttpGet(const char *url, std::string &response);

// Results of HttpPost.
const int HttpPostTold = 0;        // a 2xx answer came: POPFile took the form
const int HttpPostNotSent = -1;    // no connection, not every byte sent, or refused
const int HttpPostUnanswered = -2; // every byte sent, no answer within the budget

// Posts `body` to the path of `url` (its query is not sent), without a
// Content-Type header, and waits for the answer's status line. Returns
// HttpPostTold for a 2xx status; HttpPostNotSent when the URL cannot be
// split, the server cannot be reached, the bytes could not all be sent,
// the connection was reset, or the answer is another status or no HTTP
// answer; HttpPostUnanswered when every byte was sent and no status line
// came within the budget. That last connection is closed normally, so
// that a POPFile that is merely slow still reads the whole request.
int HttpPost(const char *url, const std::string &body);

// Asks for `url` once, without following a redirect: POPFile answers a
// message's jump link with a redirect whose target tells whether the
// message is still in its history. Stores the Location header's value in
// `location` (empty when the answer has none or it is longer than 2047
// bytes) and returns the HTTP status (302 for POPFile's redirect), 0 when
// no answer came within the user action's budget (the server unreachable
// or the answer's headers malformed included), or -1 when the URL cannot
// be split. The body is not read.
int HttpGetStatus(const char *url, std::string &location);

// True when a connect to the server of `url` failed or timed out less than
// HttpRememberMs ago, and none has succeeded since. The menu set-ups, which
// run on every right click, then do not ask that server again; the user's
// own actions always ask.
bool HttpServerResting(const char *url);

// Forgets the lookups and the failed connects (start-up, and tests).
void ForgetHttpMemory(void);

// The budget of the user action under way: when it began, how long it is,
// and whether one is under way at all.
struct HttpBudget {
    int active;
    uint32_t start;    // NetNowMs() at its beginning
    uint32_t lengthMs;
};

// Begins a new user action's budget of `lengthMs` and returns the one it
// replaces.
HttpBudget BeginHttpBudget(uint32_t lengthMs = HttpActionBudgetMs);

// Puts back the budget that BeginHttpBudget returned.
void RestoreHttpBudget(HttpBudget previous);

// Runs `body` as one user action: all exchanges it makes share
// HttpActionBudgetMs. An action that the host starts while another one
// waits in a message loop (a nested call) has a budget of its own; the
// outer one's goes on when it returns. Returns what `body` returns.
template <typename Body>
auto RunAsUserAction(Body body) -> decltype(body())
{
    struct Restore {
        HttpBudget previous;
        ~Restore() { RestoreHttpBudget(previous); }
    } restore = {BeginHttpBudget()};
    return body();
}

// Milliseconds left of the user action's budget now (of a fresh budget
// when no action is under way).
uint32_t HttpBudgetLeftMs(void);
