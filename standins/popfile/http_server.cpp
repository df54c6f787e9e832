#include "http_server.h"

#include "http_request.h"
#include "net_util.h"
#include "standin_state.h"
#include "web_pages.h"
#include "web_routes.h"

#include <sys/socket.h>

namespace {

const int IdleTimeoutMs = 10 * 1000;  // keep-alive and unfinished requests

std::string ResponseText(const HttpResponse& response, bool keepAlive, bool headOnly)
{
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " + StatusText(response.status) +
                       "\r\nServer: popfile-standin\r\nContent-Type: " + response.contentType +
                       "\r\nContent-Length: " + std::to_string(response.body.size()) +
                       "\r\nCache-Control: no-store\r\nConnection: " + (keepAlive ? "keep-alive" : "close") +
                       "\r\n" + response.extraHeaders + "\r\n";
    if (!headOnly)
        text += response.body;
    return text;
}

// Pads `body` with numbered bucket links ("flood1", "flood2", ...) up to
// `size` bytes, cutting the last one where the size ends.
void FloodBody(std::string* body, size_t size)
{
    for (long n = 1; body->size() < size; ++n)
        *body += "<a href=\"/buckets?showbucket=flood" + std::to_string(n) + "\">flood</a>\n";
    body->resize(size);
}

// Sends the headers of `text` at once and then its body one byte per
// `ms`. Returns 0, or -1 when the peer went away or a stop was requested.
int SendTrickling(int fd, const std::string& text, int ms)
{
    size_t body = text.find("\r\n\r\n");
    body = body == std::string::npos ? text.size() : body + 4;
    if (SendAll(fd, text.data(), body) != 0)
        return -1;
    for (size_t i = body; i < text.size(); ++i) {
        if (!PauseMs(ms) || SendAll(fd, text.data() + i, 1) != 0)
            return -1;
    }
    return 0;
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
        if (knobs->httpTrickleMs > 0)
            return SendTrickling(fd, text, knobs->httpTrickleMs);
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
