#include "http_server.h"

#include "http_request.h"
#include "net_util.h"
#include "standin_state.h"
#include "web_pages.h"
#include "web_routes.h"

#include <cstdio>
#include <sys/socket.h>

namespace {

const int IdleTimeoutMs = 10 * 1000;  // keep-alive and unfinished requests

// The status line and headers of `response`, with its length or, when
// `chunked`, a chunked transfer coding in its place.
std::string ResponseHead(const HttpResponse& response, bool keepAlive, bool chunked)
{
    std::string length = chunked ? "Transfer-Encoding: chunked" : "Content-Length: " + std::to_string(response.body.size());
    return "HTTP/1.1 " + std::to_string(response.status) + " " + StatusText(response.status) +
           "\r\nServer: popfile-standin\r\nContent-Type: " + response.contentType + "\r\n" + length +
           "\r\nCache-Control: no-store\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n" +
           response.extraHeaders + "\r\n";
}

std::string ResponseText(const HttpResponse& response, bool keepAlive, bool headOnly)
{
    std::string text = ResponseHead(response, keepAlive, false);
    if (!headOnly)
        text += response.body;
    return text;
}

// One chunk of the chunked transfer coding holding `data`.
std::string Chunk(const std::string& data)
{
    char size[20];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
}

// Sends `head`, then the page as a first chunk, then chunks of bucket links
// for as long as the peer takes them: an answer that never ends. Returns -1
// (the connection ends) once the peer has gone or a stop was requested.
int SendEndlessChunks(int fd, const std::string& head, const std::string& body)
{
    std::string first = head + Chunk(body);
    if (SendAll(fd, first.data(), first.size()) != 0)
        return -1;
    for (long n = 1; !StopRequested(); ++n) {
        std::string links;
        while (links.size() < 4096)
            links += "<a href=\"/buckets?showbucket=chunk" + std::to_string(n++) + "\">chunk</a>\n";
        std::string chunk = Chunk(links);
        if (SendAll(fd, chunk.data(), chunk.size()) != 0)
            return -1;
    }
    return -1;
}

// Pads `body` with numbered bucket links ("flood1", "flood2", ...) up to
// `size` bytes, cutting the last one where the size ends.
void FloodBody(std::string* body, size_t size)
{
    for (long n = 1; body->size() < size; ++n)
        *body += "<a href=\"/buckets?showbucket=flood" + std::to_string(n) + "\">flood</a>\n";
    body->resize(size);
}

// Sends `size` bytes of `data` one byte per `ms`, or at once when `ms` is
// 0. Returns 0, or -1 when the peer went away or a stop was requested.
int SendPaced(int fd, const char* data, size_t size, int ms)
{
    if (ms <= 0)
        return SendAll(fd, data, size);
    for (size_t i = 0; i < size; ++i) {
        if (!PauseMs(ms) || SendAll(fd, data + i, 1) != 0)
            return -1;
    }
    return 0;
}

// Sends the headers of `text` one byte per `headerMs` and then its body one
// byte per `bodyMs` (0: at once). Returns 0, or -1 when the peer went away
// or a stop was requested.
int SendTrickling(int fd, const std::string& text, int headerMs, int bodyMs)
{
    size_t body = text.find("\r\n\r\n");
    body = body == std::string::npos ? text.size() : body + 4;
    if (SendPaced(fd, text.data(), body, headerMs) != 0)
        return -1;
    return SendPaced(fd, text.data() + body, text.size() - body, bodyMs);
}

// Sends a response; with `knobs`, first pads, pauses and cuts it as they
// say. Returns 0, or -1 when the connection is to end.
int SendResponse(int fd, HttpResponse response, bool keepAlive, bool headOnly, const StandinKnobs* knobs)
{
    if (knobs != nullptr && knobs->httpFloodBytes > 0)
        FloodBody(&response.body, static_cast<size_t>(knobs->httpFloodBytes));
    std::string text = ResponseText(response, keepAlive, headOnly);
    if (knobs != nullptr) {
        if (knobs->httpSlowMs > 0 && !PauseMs(knobs->httpSlowMs))
            return -1;
        if (knobs->httpCloseAfter >= 0 && static_cast<size_t>(knobs->httpCloseAfter) < text.size()) {
            SendAll(fd, text.data(), static_cast<size_t>(knobs->httpCloseAfter));
            return -1;
        }
        if (knobs->httpEndlessChunks && !headOnly)
            return SendEndlessChunks(fd, ResponseHead(response, false, true), response.body);
        if (knobs->httpTrickleMs > 0 || knobs->httpHeaderTrickleMs > 0)
            return SendTrickling(fd, text, knobs->httpHeaderTrickleMs, knobs->httpTrickleMs);
    }
    return SendAll(fd, text.data(), text.size());
}

HttpResponse ErrorResponse(int status)
{
    HttpResponse response;
    response.status = status;
    response.body = ErrorPage(status, "The request could not be read.");
    return response;
}

// Reads more bytes into `buffer`. Returns 1, or 0 on an idle time, or -1
// when the peer closed or a stop was requested.
int ReceiveMore(int fd, std::string* buffer)
{
    int ready = WaitReadable(fd, IdleTimeoutMs);
    if (ready != 1)
        return ready;
    char chunk[16384];
    ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0)
        return -1;
    buffer->append(chunk, static_cast<size_t>(got));
    return 1;
}

// A request that ends the connection unanswered (peer closed, idle time)
// is still logged with the bytes that came, status 0 or 408.
void LogUnfinished(const std::string& buffer, const HttpRequest& request, int status)
{
    if (!buffer.empty())
        LogHttpRequest(buffer, request.method, request.target, status);
}

}  // namespace

void ServeHttpConnection(int fd)
{
    std::string buffer;
    HttpLimits limits;
    bool continueSent = false;
    for (;;) {
        buffer.erase(0, LeadingBlankLines(buffer));
        HttpRequest request;
        int status = 0;
        int result = buffer.empty() ? HttpNeedMore : ParseHttpRequest(buffer, limits, &request, &status);
        if (result == HttpNeedMore) {
            if (request.headerLength > 0 && request.expectContinue && !continueSent) {
                const char interim[] = "HTTP/1.1 100 Continue\r\n\r\n";
                continueSent = true;
                if (SendAll(fd, interim, sizeof interim - 1) != 0)
                    return;
            }
            int received = ReceiveMore(fd, &buffer);
            if (received == 0) {
                LogUnfinished(buffer, request, 408);
                if (!buffer.empty())
                    SendResponse(fd, ErrorResponse(408), false, false, nullptr);
            } else if (received < 0) {
                LogUnfinished(buffer, request, 0);
            }
            if (received != 1)
                return;
            continue;
        }
        StandinKnobs knobs = CurrentKnobs();
        if (result == HttpBad) {
            LogHttpRequest(buffer.substr(0, request.rawLength), request.method, request.target, status);
            if (SendResponse(fd, ErrorResponse(status), false, false, &knobs) == 0)
                DrainAfterError(fd);
            return;
        }
        std::string raw = buffer.substr(0, request.rawLength);
        buffer.erase(0, request.rawLength);
        continueSent = false;
        bool own = IsStandinPath(request.path);
        HttpResponse response = AnswerRequest(request, knobs);
        if (!own)
            LogHttpRequest(raw, request.method, request.target, response.status);
        if (response.held) {
            // Handled, never answered: the connection lasts until the peer
            // ends it (or the server stops).
            std::string ignored;
            while (ReceiveMore(fd, &ignored) >= 0)
                ignored.clear();
            return;
        }
        if (response.status == 0) {
            // Dropped by the status knob: the connection is reset, as when
            // the server goes away in the middle of the exchange.
            struct linger reset = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            return;
        }
        bool keepAlive = request.keepAlive && knobs.httpKeepAlive && !StopRequested();
        if (SendResponse(fd, response, keepAlive, request.method == "HEAD", own ? nullptr : &knobs) != 0 ||
            !keepAlive)
            return;
    }
}
