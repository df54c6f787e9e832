// URL splitting, request writing and the answer reader. The reader is a
// small state machine over the bytes as they come, so that an answer that
// trickles, floods or breaks off is handled wherever it stops.
#include "classifier/http_wire.h"

#include <cstring>

#include "mailstore/text.h"

namespace {

const size_t kUrlPartLimit = 999;
const size_t kLocationLimit = 2047;
// A chunk-size line holds a few hex digits and perhaps an extension.
const size_t kChunkLineLimit = 1024;
// Chunk sizes beyond this (16 hex digits and more) are no honest answer.
const unsigned long long kChunkSizeLimit = 1ULL << 40;

enum Phase {
    kStatusLine,
    kHeaderLines,
    kBody,        // by length, or to the connection's end
    kChunkSize,
    kChunkData,
    kChunkDataEnd, // the line end after a chunk's data
    kTrailerLines,
    kDone,
    kBad,
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// `text` (which may hold NULs: it came from the network) is `word`, ASCII
// letters matched in either case.
bool EqualNoCase(const std::string &text, const char *word)
{
    return text.size() == strlen(word) && PrefixDiffersNoCase(text.c_str(), word) == 0;
}

std::string Trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Writes `text` for a request line: bytes it cannot carry as "%XX".
std::string TargetText(const std::string &text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string HostField(const HttpUrl &url)
{
    std::string field = "Host: " + url.host;
    if (url.port != 80)
        field += ":" + std::to_string(url.port);
    return field + "\r\n";
}

// The request's head: request line and the fields every request carries.
std::string RequestHead(const char *method, const std::string &target, const HttpUrl &url)
{
    return std::string(method) + " " + TargetText(target) + " HTTP/1.0\r\n" + HostField(url) +
           "User-Agent: sortella\r\nConnection: close\r\n";
}

// Reads the decimal number at `text` up to `end` (digits only, at least
// one). Returns false when it is not one or exceeds `limit`.
bool ReadDecimal(const char *text, const char *end, unsigned long long limit, unsigned long long *value)
{
    if (text == end)
        return false;
    unsigned long long number = 0;
    for (; text < end; ++text) {
        if (!IsDigit(*text))
            return false;
        number = number * 10 + static_cast<unsigned>(*text - '0');
        if (number > limit)
            return false;
    }
    *value = number;
    return true;
}

// ---- The answer reader ----------------------------------------------

int Fail(HttpAnswerReader *reader)
{
    reader->phase = kBad;
    return HttpAnswerBad;
}

int Finish(HttpAnswerReader *reader, bool complete)
{
    reader->phase = kDone;
    reader->complete = complete;
    return HttpAnswerDone;
}

// "HTTP/" digits "." digits, a blank, three digits, then a blank and a
// reason or nothing.
bool ReadStatusLine(const std::string &line, int *status)
{
    const char *at = line.c_str();
    const char *end = at + line.size();
    if (line.compare(0, 5, "HTTP/") != 0)
        return false;
    at += 5;
    if (at == end || !IsDigit(*at))
        return false;
    while (at < end && IsDigit(*at))
        ++at;
    if (at == end || *at++ != '.' || at == end || !IsDigit(*at))
        return false;
    while (at < end && IsDigit(*at))
        ++at;
    if (end - at < 4 || *at != ' ' || !IsDigit(at[1]) || !IsDigit(at[2]) || !IsDigit(at[3]))
        return false;
    if (end - at > 4 && at[4] != ' ')
        return false;
    *status = (at[1] - '0') * 100 + (at[2] - '0') * 10 + (at[3] - '0');
    return *status >= 100;
}

// Takes one header field into the reader. False when it is malformed or
// contradicts what the answer said before.
bool ReadHeaderField(HttpAnswerReader *reader, const std::string &line)
{
    if (line[0] == ' ' || line[0] == '\t')
        return true; // a folded continuation: none of the fields read here is folded
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos)
        return false;
    std::string name = line.substr(0, colon);
    if (name.find_first_of(" \t") != std::string::npos)
        return false;
    std::string value = Trimmed(line.substr(colon + 1));
    if (EqualNoCase(name, "Content-Length")) {
        unsigned long long length = 0;
        if (!ReadDecimal(value.data(), value.data() + value.size(), 1ULL << 62, &length))
            return false;
        if (reader->length >= 0 && static_cast<unsigned long long>(reader->length) != length)
            return false;
        reader->length = static_cast<long long>(length);
    } else if (EqualNoCase(name, "Transfer-Encoding")) {
        if (EqualNoCase(value, "chunked"))
            reader->chunked = true;
        else if (!EqualNoCase(value, "identity"))
            return false; // a coding the plug-in cannot undo
    } else if (EqualNoCase(name, "Location")) {
        reader->location = value.size() > kLocationLimit ? std::string() : value;
    }
    return true;
}

// After the blank line that ends the headers of a final answer.
int BeginBody(HttpAnswerReader *reader)
{
    if (reader->until == HttpUntilHeaders)
        return Finish(reader, false);
    bool bodiless = reader->status == 204 || reader->status == 304;
    if (bodiless || (!reader->chunked && reader->length == 0))
        return Finish(reader, true);
    reader->headBytes = 0;
    if (reader->chunked) {
        reader->phase = kChunkSize;
    } else {
        reader->phase = kBody;
        reader->left = reader->length >= 0 ? static_cast<unsigned long long>(reader->length) : 0;
    }
    return HttpAnswerMore;
}

int TakeStatusLine(HttpAnswerReader *reader, const std::string &line)
{
    int status = 0;
    if (!ReadStatusLine(line, &status))
        return Fail(reader);
    reader->location.clear();
    reader->length = -1;
    reader->chunked = false;
    reader->phase = kHeaderLines;
    if (status >= 200) {
        reader->status = status;
        if (reader->until == HttpUntilStatus)
            return Finish(reader, false);
    }
    return HttpAnswerMore;
}

int TakeHeaderLine(HttpAnswerReader *reader, const std::string &line)
{
    if (!line.empty())
        return ReadHeaderField(reader, line) ? HttpAnswerMore : Fail(reader);
    if (reader->status == 0) { // the end of an interim answer
        reader->phase = kStatusLine;
        return HttpAnswerMore;
    }
    return BeginBody(reader);
}

// A chunk-size line: hex digits, then perhaps ";" and an extension.
int TakeChunkSizeLine(HttpAnswerReader *reader, const std::string &line)
{
    unsigned long long size = 0;
    size_t digits = 0;
    for (; digits < line.size(); ++digits) {
        int c = AsciiUpper(static_cast<unsigned char>(line[digits]));
        int value = c >= '0' && c <= '9' ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (value < 0)
            break;
        size = size * 16 + static_cast<unsigned>(value);
        if (size > kChunkSizeLimit)
            return Fail(reader);
    }
    std::string rest = Trimmed(line.substr(digits));
    if (digits == 0 || (!rest.empty() && rest[0] != ';'))
        return Fail(reader);
    reader->headBytes = 0;
    if (size == 0) {
        reader->phase = kTrailerLines;
        return HttpAnswerMore;
    }
    reader->left = size;
    reader->phase = kChunkData;
    return HttpAnswerMore;
}

int TakeLine(HttpAnswerReader *reader, const std::string &line)
{
    switch (reader->phase) {
    case kStatusLine:
        return TakeStatusLine(reader, line);
    case kHeaderLines:
        return TakeHeaderLine(reader, line);
    case kChunkSize:
        return TakeChunkSizeLine(reader, line);
    case kChunkDataEnd:
        if (!line.empty())
            return Fail(reader);
        reader->phase = kChunkSize;
        return HttpAnswerMore;
    case kTrailerLines:
        return line.empty() ? Finish(reader, true) : HttpAnswerMore;
    default:
        return Fail(reader);
    }
}

// The most bytes that the lines read so far (`headBytes`) may reach: the
// head, or the trailers, as a whole; each chunk line alone.
size_t LineLimit(const HttpAnswerReader *reader)
{
    if (reader->phase == kChunkSize || reader->phase == kChunkDataEnd)
        return kChunkLineLimit;
    return HttpHeadLimit;
}

// Collects line bytes from `data`; a completed line (its CR LF or LF
// removed) is handed to TakeLine. Returns the bytes used, and the result
// through `result`.
size_t ReadLineBytes(HttpAnswerReader *reader, const char *data, size_t size, int *result)
{
    const char *newline = static_cast<const char *>(memchr(data, '\n', size));
    size_t used = newline ? static_cast<size_t>(newline - data) + 1 : size;
    reader->headBytes += used;
    if (reader->headBytes > LineLimit(reader)) {
        *result = Fail(reader);
        return used;
    }
    reader->line.append(data, newline ? used - 1 : used);
    *result = HttpAnswerMore;
    if (!newline)
        return used;
    std::string line;
    line.swap(reader->line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (reader->phase == kChunkSize || reader->phase == kChunkDataEnd)
        reader->headBytes = 0; // each chunk line has the limit of its own
    *result = TakeLine(reader, line);
    return used;
}

// Takes body bytes from `data` into the body, up to the limit. Returns the
// bytes used, and the result through `result`.
size_t ReadBodyBytes(HttpAnswerReader *reader, const char *data, size_t size, int *result)
{
    bool toTheEnd = reader->phase == kBody && reader->length < 0;
    size_t take = size;
    if (!toTheEnd && reader->left < take)
        take = static_cast<size_t>(reader->left);
    size_t room = reader->bodyLimit - reader->body.size();
    if (take > room) {
        reader->body.append(data, room);
        reader->bodyCut = true;
        *result = Finish(reader, false);
        return room;
    }
    reader->body.append(data, take);
    *result = HttpAnswerMore;
    if (toTheEnd)
        return take;
    reader->left -= take;
    if (reader->left > 0)
        return take;
    if (reader->phase == kChunkData)
        reader->phase = kChunkDataEnd;
    else
        *result = Finish(reader, true);
    return take;
}

} // namespace

int SplitHttpUrl(const char *url, HttpUrl *parts)
{
    if (PrefixDiffersNoCase(url, "http://") != 0)
        return -1;
    const char *host = url + 7;
    size_t hostEnd = strcspn(host, ":/?#");
    const char *after = host + hostEnd;
    if (hostEnd == 0 || hostEnd > kUrlPartLimit || memchr(host, '@', strcspn(host, "/?#")))
        return -1;
    parts->host.assign(host, hostEnd);
    parts->port = 80;
    if (*after == ':') {
        const char *digits = after + 1;
        after = digits + strcspn(digits, "/?#");
        unsigned long long port = 0;
        if (!ReadDecimal(digits, after, 65535, &port) || port == 0)
            return -1;
        parts->port = static_cast<uint16_t>(port);
    }
    size_t pathLength = strcspn(after, "?#");
    size_t queryLength = after[pathLength] == '?' ? strcspn(after + pathLength, "#") : 0;
    if (pathLength > kUrlPartLimit || queryLength > kUrlPartLimit)
        return -1;
    parts->path = pathLength ? std::string(after, pathLength) : std::string("/");
    parts->query.assign(after + pathLength, queryLength);
    return 0;
}

int NumericIpv4Host(const char *host, uint32_t *address)
{
    if (EqualNoCase(host, "localhost")) {
        const unsigned char loopback[4] = {127, 0, 0, 1};
        memcpy(address, loopback, sizeof loopback);
        return 0;
    }
    unsigned char bytes[4];
    const char *at = host;
    for (int i = 0; i < 4; ++i) {
        const char *end = at;
        while (IsDigit(*end) && end - at < 3)
            ++end;
        unsigned long long value = 0;
        if (!ReadDecimal(at, end, 255, &value))
            return -1;
        bytes[i] = static_cast<unsigned char>(value);
        if (*end != (i < 3 ? '.' : '\0'))
            return -1;
        at = end + 1;
    }
    memcpy(address, bytes, sizeof bytes);
    return 0;
}

std::string HttpGetRequest(const HttpUrl &url)
{
    return RequestHead("GET", url.path + url.query, url) + "\r\n";
}

std::string HttpPostRequest(const HttpUrl &url, const std::string &body)
{
    return RequestHead("POST", url.path, url) + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

void StartHttpAnswer(HttpAnswerReader *reader, HttpReadUntil until, size_t bodyLimit)
{
    reader->status = 0;
    reader->location.clear();
    reader->body.clear();
    reader->bodyCut = false;
    reader->complete = false;
    reader->until = until;
    reader->bodyLimit = bodyLimit;
    reader->phase = kStatusLine;
    reader->headBytes = 0;
    reader->line.clear();
    reader->length = -1;
    reader->chunked = false;
    reader->left = 0;
}

int ReadHttpAnswer(HttpAnswerReader *reader, const char *data, size_t size)
{
    int result = reader->phase == kDone ? HttpAnswerDone : reader->phase == kBad ? HttpAnswerBad : HttpAnswerMore;
    while (size > 0 && result == HttpAnswerMore) {
        bool inBody = reader->phase == kBody || reader->phase == kChunkData;
        size_t used = inBody ? ReadBodyBytes(reader, data, size, &result) : ReadLineBytes(reader, data, size, &result);
        data += used;
        size -= used;
    }
    return result;
}

int EndHttpAnswer(HttpAnswerReader *reader)
{
    if (reader->phase == kDone)
        return HttpAnswerDone;
    if (reader->phase == kBody && reader->length < 0)
        return Finish(reader, true);
    return Fail(reader);
}
