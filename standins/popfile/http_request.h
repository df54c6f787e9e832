// Parsing of HTTP/1.0 and HTTP/1.1 requests from the bytes received on a
// connection. The parser works on the whole buffer each time more bytes
// arrive; it allocates only the strings of the request record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct HttpHeader {
    std::string name;   // as sent
    std::string value;  // blanks around it trimmed
};

struct HttpRequest {
    std::string method;   // as sent ("GET", "POST", ...)
    std::string target;   // request target as sent
    std::string version;  // "HTTP/1.0" or "HTTP/1.1"
    std::string path;     // the target's path, percent-decoded
    std::string query;    // after the '?', as sent
    std::vector<HttpHeader> headers;
    std::string body;     // the body, chunked framing removed
    size_t headerLength = 0;  // bytes up to and including the empty line
    size_t rawLength = 0;     // bytes of the buffer that the request takes
    bool keepAlive = false;
    bool expectContinue = false;  // "Expect: 100-continue" was sent
};

struct HttpLimits {
    size_t maxHeader = 64 * 1024;    // request line and header fields
    size_t maxBody = 1024 * 1024;    // body after de-chunking
};

enum HttpParseResult { HttpBad = -1, HttpNeedMore = 0, HttpComplete = 1 };

// Number of empty lines (CR LF or LF) at the start of `buffer`, in bytes.
// They may precede a request and belong to none.
size_t LeadingBlankLines(const std::string& buffer);

// Parses the request that starts at the first byte of `buffer`.
// HttpComplete: `request` is filled and rawLength says how many bytes it took.
// HttpNeedMore: the request is not complete; when its header block is,
//   `request` holds it (headerLength > 0), so that 100-continue can be sent.
// HttpBad: `status` is the answer to give (400, 411, 413, 431, 501, 505)
//   and rawLength covers the bytes received of it (the header block when
//   known, otherwise the whole buffer).
int ParseHttpRequest(const std::string& buffer, const HttpLimits& limits,
                     HttpRequest* request, int* status);

// Value of the first header named `name` (ASCII case ignored), or nullptr.
// The pointer lives as long as the request record.
const std::string* FindHttpHeader(const HttpRequest& request, const char* name);
