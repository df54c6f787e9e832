// Blocking HTTP towards POPFile's web interface (WinInet, agent "sortella").
//
// Every exchange is bounded, because it runs on the host's user-interface
// thread and the host is frozen while it waits: the connect, the sending
// of the request, every wait for bytes of the answer and the exchange as a
// whole end within the time left of the current user action's budget (see
// RunAsUserAction), and at most HttpPageLimit bytes of a page are read.
#pragma once
#include <windows.h>

#include <string>

// Time that one user action (a menu set-up, a menu command, the setup
// dialog's URL test) may spend in exchanges with POPFile in all, in ms.
// POPFile answers a page in well under a second when it is idle; when it
// does not answer within this time it is busy classifying (it serves one
// request at a time) or something else holds its port, and waiting longer
// only keeps the user's mail client frozen. An exchange made outside any
// user action has the same budget of its own.
const DWORD HttpActionBudgetMs = 5000;

// Most bytes of a page that HttpGet reads; the rest of the answer is not
// read. POPFile's pages are tens of KB.
const int HttpPageLimit = 1024 * 1024;

// Fetches `url`, bypassing any cache, appending the body to `response` (as
// text: each chunk up to its first NUL) and stopping after HttpPageLimit
// bytes. Returns the number of body bytes read (NULs included), or -1 when
// the session or the URL cannot be opened (a URL whose host, path or query
// does not fit in 999 bytes included) or the budget runs out before the
// answer has ended; `response` is then as it was. An HTTP error status is
// no failure: its page is the body.
int HttpGet(const char *url, std::string &response);

// Posts `body` to the path of `url` (its query is not sent), without a
// Content-Type header, and waits for the answer's headers (the answer
// itself is not read). Returns 0 when sent, -1 on any failure, the budget
// running out included.
int HttpPost(const char *url, const std::string &body);

// The budget of the user action under way: when it began, and whether one
// is under way at all.
struct HttpBudget {
    int active;
    DWORD start; // GetTickCount() at its beginning
};

// Begins a new user action's budget and returns the one it replaces.
HttpBudget BeginHttpBudget(void);

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

// Asks for `url` once, bypassing any cache and without following a
// redirect: POPFile answers a message's jump link with a redirect whose
// target tells whether the message is still in its history. Stores the
// Location header's value in `location` (empty when the answer has none or
// it is longer than 2047 bytes) and returns the HTTP status (302 for
// POPFile's redirect), 0 when no answer came within the user action's
// budget, or -1 when the session or the URL cannot be opened. The body is
// read (to HttpPageLimit) and dropped.
int HttpGetStatus(const char *url, std::string &location);
