#include "http_request.h"
#include "text_lines.h"

#include "form_fields.h"

#include <cstring>

namespace {

bool EqualNoCase(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

bool IsTokenChar(unsigned char c)
{
    if (c <= 0x20 || c >= 0x7F)
        return false;
    return std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
}

// Finds the end of the line that starts at `pos`: returns the index of its
// LF and sets `length` to the line's length without CR LF, or returns npos.
size_t LineEnd(const std::string& buffer, size_t pos, size_t* length)
{
    size_t lf = buffer.find('\n', pos);
    if (lf == std::string::npos)
        return lf;
    *length = lf - pos;
    if (*length > 0 && buffer[lf - 1] == '\r')
        --*length;
    return lf;
}

// The request line: METHOD SP TARGET SP VERSION. Returns 0 or the status.
int ParseRequestLine(const std::string& line, HttpRequest* request)
{
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos)
        return 400;
    request->method = line.substr(0, first);
    request->target = line.substr(first + 1, second - first - 1);
    request->version = line.substr(second + 1);
    if (request->method.empty() || request->target.empty())
        return 400;
    for (unsigned char c : request->method)
        if (!IsTokenChar(c))
            return 400;
    for (unsigned char c : request->target)
        if (c <= 0x20 || c >= 0x7F)
            return 400;
    if (request->version.compare(0, 5, "HTTP/") != 0)
        return 400;
    if (request->version != "HTTP/1.0" && request->version != "HTTP/1.1")
        return 505;
    return 0;
}

// Splits the target into path and query; an absolute URL loses its scheme
// and authority. Returns 0 or 400.
int SplitTarget(HttpRequest* request)
{
    std::string target = request->target;
    if (target.compare(0, 7, "http://") == 0) {
        size_t slash = target.find('/', 7);
        target = slash == std::string::npos ? std::string("/") : target.substr(slash);
    }
    if (target[0] != '/')
        return 400;
    size_t question = target.find('?');
    request->path = PercentDecode(target.substr(0, question), false);
    request->query = question == std::string::npos ? std::string() : target.substr(question + 1);
    return 0;
}

int ParseHeaderLine(const std::string& line, HttpRequest* request)
{
    if (line[0] == ' ' || line[0] == '\t')
        return 400;  // folded header lines are refused
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0)
        return 400;
    for (size_t i = 0; i < colon; ++i)
        if (!IsTokenChar(static_cast<unsigned char>(line[i])))
            return 400;
    request->headers.push_back({line.substr(0, colon), TrimBlanks(line.substr(colon + 1))});
    return 0;
}

// Reads the request line and header fields. Returns 0, or the status of a
// bad header block, or -1 when the block is not complete yet.
int ParseHeaderBlock(const std::string& buffer, const HttpLimits& limits, HttpRequest* request)
{
    size_t pos = 0;
    size_t length = 0;
    bool firstLine = true;
    for (;;) {
        size_t lf = LineEnd(buffer, pos, &length);
        if (lf == std::string::npos)
            return buffer.size() > limits.maxHeader ? 431 : -1;
        if (lf + 1 > limits.maxHeader)
            return 431;
        std::string line = buffer.substr(pos, length);
        pos = lf + 1;
        if (firstLine) {
            int status = ParseRequestLine(line, request);
            if (status == 0)
                status = SplitTarget(request);
            if (status != 0)
                return status;
            firstLine = false;
            continue;
        }
        if (line.empty())
            break;
        int status = ParseHeaderLine(line, request);
        if (status != 0)
            return status;
    }
    request->headerLength = pos;
    return 0;
}

// Reads every Content-Length header; they must agree. Returns 0 with
// `length` set (or -1 when there is none), or 400.
int ReadContentLength(const HttpRequest& request, long long* length)
{
    *length = -1;
    for (const HttpHeader& header : request.headers) {
        if (!EqualNoCase(header.name, "Content-Length"))
            continue;
        const std::string& v = header.value;
        if (v.empty() || v.size() > 15 || v.find_first_not_of("0123456789") != std::string::npos)
            return 400;
        long long value = std::stoll(v);
        if (*length >= 0 && *length != value)
            return 400;
        *length = value;
    }
    return 0;
}

// De-chunks the body that starts at `pos`. Returns HttpComplete with
// rawLength set, HttpNeedMore, or HttpBad with `status`.
int ReadChunkedBody(const std::string& buffer, size_t pos, const HttpLimits& limits,
                    HttpRequest* request, int* status)
{
    size_t length = 0;
    for (;;) {
        size_t lf = LineEnd(buffer, pos, &length);
        if (lf == std::string::npos) {
            if (buffer.size() - pos > 1024) { *status = 400; return HttpBad; }
            return HttpNeedMore;
        }
        std::string sizeLine = buffer.substr(pos, length);
        std::string sizeText = TrimBlanks(sizeLine.substr(0, sizeLine.find(';')));  // drop extensions
        if (sizeText.empty() || sizeText.size() > 8 ||
            sizeText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            *status = 400;
            return HttpBad;
        }
        size_t size = std::stoul(sizeText, nullptr, 16);
        pos = lf + 1;
        if (size == 0)
            break;
        if (request->body.size() + size > limits.maxBody) { *status = 413; return HttpBad; }
        if (buffer.size() < pos + size + 1)
            return HttpNeedMore;
        request->body.append(buffer, pos, size);
        pos += size;
        if (buffer.compare(pos, 2, "\r\n") == 0)
            pos += 2;
        else if (buffer[pos] == '\n')
            pos += 1;
        else if (buffer[pos] == '\r' && pos + 1 == buffer.size())
            return HttpNeedMore;
        else { *status = 400; return HttpBad; }
    }
    // Trailer fields, up to the empty line.
    for (;;) {
        size_t lf = LineEnd(buffer, pos, &length);
        if (lf == std::string::npos)
            return buffer.size() - pos > limits.maxHeader ? (*status = 431, HttpBad) : HttpNeedMore;
        pos = lf + 1;
        if (length == 0)
            break;
    }
    request->rawLength = pos;
    return HttpComplete;
}

bool WantsKeepAlive(const HttpRequest& request)
{
    const std::string* connection = FindHttpHeader(request, "Connection");
    if (request.version == "HTTP/1.1")
        return connection == nullptr || !EqualNoCase(*connection, "close");
    return connection != nullptr && EqualNoCase(*connection, "keep-alive");
}

}  // namespace

size_t LeadingBlankLines(const std::string& buffer)
{
    size_t pos = 0;
    for (;;) {
        if (buffer.compare(pos, 2, "\r\n") == 0)
            pos += 2;
        else if (pos < buffer.size() && buffer[pos] == '\n')
            pos += 1;
        else
            return pos;
    }
}

const std::string* FindHttpHeader(const HttpRequest& request, const char* name)
{
    for (const HttpHeader& header : request.headers)
        if (EqualNoCase(header.name, name))
            return &header.value;
    return nullptr;
}

int ParseHttpRequest(const std::string& buffer, const HttpLimits& limits,
                     HttpRequest* request, int* status)
{
    *request = HttpRequest();
    request->rawLength = buffer.size();
    int blockStatus = ParseHeaderBlock(buffer, limits, request);
    if (blockStatus < 0)
        return HttpNeedMore;
    if (blockStatus > 0) {
        request->headerLength = 0;
        *status = blockStatus;
        return HttpBad;
    }
    request->rawLength = request->headerLength;
    request->keepAlive = WantsKeepAlive(*request);
    const std::string* expect = FindHttpHeader(*request, "Expect");
    request->expectContinue = expect != nullptr && EqualNoCase(*expect, "100-continue");
    if (request->version == "HTTP/1.1" && FindHttpHeader(*request, "Host") == nullptr) {
        *status = 400;
        return HttpBad;
    }
    long long contentLength = -1;
    if (ReadContentLength(*request, &contentLength) != 0) {
        *status = 400;
        return HttpBad;
    }
    const std::string* coding = FindHttpHeader(*request, "Transfer-Encoding");
    if (coding != nullptr) {
        // Both framings at once is a classic smuggling trick: refuse it.
        if (contentLength >= 0) { *status = 400; return HttpBad; }
        if (!EqualNoCase(*coding, "chunked")) { *status = 501; return HttpBad; }
        int result = ReadChunkedBody(buffer, request->headerLength, limits, request, status);
        if (result == HttpBad)
            request->rawLength = request->headerLength;
        return result;
    }
    if (contentLength < 0)
        contentLength = 0;
    if (static_cast<unsigned long long>(contentLength) > limits.maxBody) {
        *status = 413;
        return HttpBad;
    }
    size_t total = request->headerLength + static_cast<size_t>(contentLength);
    if (buffer.size() < total)
        return HttpNeedMore;
    request->body = buffer.substr(request->headerLength, static_cast<size_t>(contentLength));
    request->rawLength = total;
    return HttpComplete;
}
