// The HTTP that the plug-in speaks with POPFile's web interface, as bytes:
// URLs split into what a request needs, requests written (HTTP/1.0, one
// request per connection), and answers read as their bytes arrive, within
// fixed limits. Includes no Windows header; allocates only in the strings
// it fills.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Most bytes of an answer's status line and headers together (trailers of
// a chunked body count apart, with the same limit).
const size_t HttpHeadLimit = 64 * 1024;

// The parts of an "http://" URL that a request needs. Texts are bytes as
// the URL holds them (Shift_JIS or ASCII).
struct HttpUrl {
    std::string host;  // as written, without the port
    uint16_t port;     // 80 when the URL names none
    std::string path;  // from the first "/" on; "/" when the URL has none
    std::string query; // from the first "?" on (up to any "#"); may be empty
};

// Splits `url`: "http://" (ASCII letters in any case), the host, an
// optional ":PORT" (1-65535), then the path and query; a "#" and what
// follows it is not part of any request. Returns 0, or -1 when the URL
// does not begin so, names a user ("@" before the path), has an empty
// host, a bad port, or a host, path or query longer than 999 bytes.
int SplitHttpUrl(const char *url, HttpUrl *parts);

// The IPv4 address (network byte order) of a host that needs no lookup:
// four decimal numbers 0-255 joined by dots, or "localhost" (ASCII
// letters in any case), which is 127.0.0.1. Returns 0, or -1 for any
// other text.
int NumericIpv4Host(const char *host, uint32_t *address);

// The bytes of a GET of the URL's path and query, and of a POST of `body`
// (sent as it stands, no Content-Type) to its path alone. Each reads
// "METHOD target HTTP/1.0", then Host (with ":PORT" unless 80),
// User-Agent "sortella", Connection "close", and for the POST
// "Content-Length: N"; the POST's body follows the blank line. Bytes of
// the target that a request line cannot carry (blanks, control bytes,
// bytes from 0x80 up) are written as "%XX".
std::string HttpGetRequest(const HttpUrl &url);
std::string HttpPostRequest(const HttpUrl &url, const std::string &body);

// How far an answer is read: to its final status line, to the end of its
// headers, or to the end of its body.
enum HttpReadUntil { HttpUntilStatus, HttpUntilHeaders, HttpUntilBodyEnd };

// Results of ReadHttpAnswer and EndHttpAnswer.
enum { HttpAnswerBad = -1, HttpAnswerMore = 0, HttpAnswerDone = 1 };

// The reading of one answer. Fill it with StartHttpAnswer, then hand every
// byte that arrives to ReadHttpAnswer, and EndHttpAnswer when the peer has
// ended the connection. Interim answers (1xx) are passed over.
struct HttpAnswerReader {
    // What was read.
    int status;           // the final status, 0 until its line was read
    std::string location; // the Location value, trimmed; empty when none or over 2047 bytes
    std::string body;     // the body's bytes, at most the limit given at start
    bool bodyCut;         // the body went on past that limit (not read further)
    bool complete;        // the answer ended where it says it ends (not merely at the point asked for)

    // The reader's own state.
    HttpReadUntil until;
    size_t bodyLimit;
    int phase;
    size_t headBytes;     // of the current block of lines (head or trailers)
    std::string line;     // the line being collected
    long long length;     // Content-Length; -1 when none
    bool chunked;
    unsigned long long left; // bytes still to come of the body or of the chunk
};

void StartHttpAnswer(HttpAnswerReader *reader, HttpReadUntil until, size_t bodyLimit);

// Reads `size` bytes that came. Returns HttpAnswerMore when more are
// needed, HttpAnswerDone when the answer has been read as far as asked
// (bytes after that point are not looked at), or HttpAnswerBad when it is
// not an HTTP answer, breaks its own framing, or has more than
// HttpHeadLimit bytes of headers (or of trailers). After Done or Bad it
// reads nothing more.
int ReadHttpAnswer(HttpAnswerReader *reader, const char *data, size_t size);

// The peer ended the connection. Returns HttpAnswerDone when that ends a
// body that runs to the connection's end (neither length nor chunks),
// after a Done, HttpAnswerBad when the answer was cut off.
int EndHttpAnswer(HttpAnswerReader *reader);
