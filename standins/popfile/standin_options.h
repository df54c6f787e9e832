// Command line and fault knobs of the POPFile stand-in. The knobs can be
// given as flags at start and changed while the server runs through a
// control file (see README.md); both go through ApplyKnob.
#pragma once

#include <string>
#include <vector>

// Letter case in which a page writes a fixed pattern or a bucket name.
// Mixed alternates upper and lower case over the letters ("ShOwBuCkEt=").
enum class LetterCase { AsIs, Lower, Upper, Mixed };

// How the front page shows the web interface's key in its history links.
enum class FrontKeyMode { Normal, Missing, Empty, Wrong };

// What the page "buckets" leaves out.
enum class BucketsPageMode { Normal, NoBuckets, NoSession };

// An HTTP status forced on every request for one path (method ignored).
// With realBody the request is handled as usual and only the status
// changes; otherwise it is not handled at all and gets an error page.
// Status 0 ("drop"): the request is not handled, and the connection is
// reset without an answer. With `hold` ("hold") the request is handled as
// usual (a form is recorded) and its answer never sent, as by a POPFile
// that records a correction and then stalls.
struct StatusRule {
    std::string path;
    int status = 0;
    bool realBody = false;
    bool hold = false;
};

// The fault knobs. Defaults make a well-behaved server.
struct StandinKnobs {
    double pop3DelaySec = 0;   // listen this long after start; negative: never
    double httpDelaySec = 0;
    FrontKeyMode frontKey = FrontKeyMode::Normal;
    BucketsPageMode bucketsPage = BucketsPageMode::Normal;
    std::vector<StatusRule> statusRules;
    int httpSlowMs = 0;        // pause before each HTTP response, in ms
    long httpCloseAfter = -1;  // cut each HTTP response after this many bytes; negative: never
    int httpTrickleMs = 0;     // after the headers, one byte of the body per this many ms; 0: at once
    int httpHeaderTrickleMs = 0; // the status line and headers one byte per this many ms; 0: at once
    bool httpEndlessChunks = false; // answers chunked, and the chunks never end
    long httpFloodBytes = 0;   // bodies padded with bucket links to this many bytes; 0: not padded
    // POPFile ends every connection after its answer ("Connection: close");
    // true keeps a connection open for the next request (HTTP/1.1 keep-alive).
    bool httpKeepAlive = false;
    int pop3SlowMs = 0;        // pause before each POP3 reply, in ms
    long pop3CloseAfter = -1;  // close a POP3 connection after this many bytes sent
    LetterCase patternCase = LetterCase::Lower;
    LetterCase bucketCase = LetterCase::AsIs;
    std::string linkBase;      // base URL in X-POPFile-Link; empty: http://127.0.0.1:PORT/
    std::vector<long> goneViews; // history numbers purged from the history (as after 2 days)
    bool bucketsReversed = false; // the bucket page lists the buckets in reverse order
    bool password = false;     // a password on the web interface: every page is the login page
};

struct StandinOptions {
    int pop3Port = 0;          // 0: the system picks a free port
    int httpPort = 0;
    std::string spoolDir;      // empty: no messages
    std::string stateDir;      // empty: a new directory below /tmp
    std::string classifierFile;  // empty: the built-in keyword lists
    std::string key;           // "random": 32 random hex digits
    std::string controlFile;   // empty: STATE_DIR/control
    long firstHistory = 1;     // history number of the first message handed out
    StandinKnobs knobs;
};

// Applies one knob by its name ("pop3-delay", "front-key", ...) to `knobs`.
// Returns 0 on success, -1 for an unknown name or an unreadable value, in
// which case `knobs` is unchanged.
int ApplyKnob(StandinKnobs* knobs, const std::string& name, const std::string& value);

// Applies every "NAME VALUE" line of a control-file text on top of `knobs`.
// Blank lines and lines starting with '#' are skipped, and so is a bad line.
// Returns the number of bad lines.
int ApplyControlText(StandinKnobs* knobs, const std::string& text);

// Reads argv into `options` (which holds the defaults on entry). Returns 0 on
// success, 1 when --help was asked, -1 on a bad flag with `error` saying which.
int ParseCommandLine(int argc, char** argv, StandinOptions* options, std::string* error);

// The usage text for --help and after a bad flag.
const char* UsageText();
