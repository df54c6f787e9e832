// The HTTP client against a loopback server on a thread of the test, which
// takes one request and then answers as a row says: well, slowly, never,
// without end, or breaking off. Every exchange runs under a budget of
// kBudgetMs, so a row that is not given up in time holds the test only
// that long; what counts is the result and how the connection ended.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "classifier/http.h"
#include "tests/printable.h"

namespace {

const uint32_t kBudgetMs = 1000;

// How the server saw the connection end after its answer (or while it was
// still answering): the peer's end, a reset, or the server's own.
enum PeerEnd { kNotSeen, kPeerClosed, kPeerReset, kServerClosed };

struct Server {
    int listener = -1;
    int port = 0;
    std::thread thread;
    std::string request; // the bytes the server read before answering
    PeerEnd end = kNotSeen;
};

bool SendBytes(int fd, const std::string &bytes)
{
    for (size_t sent = 0; sent < bytes.size();) {
        ssize_t taken = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (taken <= 0)
            return false;
        sent += static_cast<size_t>(taken);
    }
    return true;
}

// Reads the request: its head and as many body bytes as it announces.
std::string ReadRequest(int fd)
{
    std::string request;
    char chunk[4096];
    for (;;) {
        size_t head = request.find("\r\n\r\n");
        if (head != std::string::npos) {
            size_t length = 0;
            size_t field = request.find("Content-Length: ");
            if (field != std::string::npos && field < head)
                length = std::stoul(request.substr(field + 16));
            if (request.size() >= head + 4 + length)
                return request;
        }
        pollfd entry = {fd, POLLIN, 0};
        if (poll(&entry, 1, 10000) <= 0)
            return request;
        ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            return request;
        request.append(chunk, static_cast<size_t>(got));
    }
}

// Waits (at most 10 s) for the client to end the connection and says how.
PeerEnd AwaitPeerEnd(int fd)
{
    char sink[4096];
    for (;;) {
        pollfd entry = {fd, POLLIN, 0};
        if (poll(&entry, 1, 10000) <= 0)
            return kNotSeen;
        ssize_t got = recv(fd, sink, sizeof sink, 0);
        if (got == 0)
            return kPeerClosed;
        if (got < 0)
            return errno == ECONNRESET ? kPeerReset : kNotSeen;
    }
}

// Sends `bytes` for as long as the client takes them (a flood); then says
// how the connection ended.
PeerEnd SendForever(int fd, const std::string &bytes)
{
    while (SendBytes(fd, bytes)) {
    }
    return errno == ECONNRESET || errno == EPIPE ? kPeerReset : kNotSeen;
}

// Sends `head` at once, then `byte` every 20 ms for as long as the client
// takes it: an answer that never ends, however long the budget.
PeerEnd Trickle(int fd, const std::string &head, char byte)
{
    if (!SendBytes(fd, head))
        return kPeerReset;
    for (;;) {
        usleep(20000);
        if (!SendBytes(fd, std::string(1, byte)))
            return kPeerReset;
    }
}

// Ends the connection with a reset after `bytes`.
PeerEnd ResetAfter(int fd, const std::string &bytes)
{
    SendBytes(fd, bytes);
    linger reset = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    return kServerClosed;
}

// Starts a server that accepts one connection, reads its request and then
// plays `answer` on it, which returns how the connection ended. On `port`,
// or a free one.
void StartServer(Server *server, std::function<PeerEnd(int fd)> answer, int port = 0)
{
    server->listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(server->listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(server->listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server->listener, 4), 0);
    getsockname(server->listener, reinterpret_cast<sockaddr *>(&address), &length);
    server->port = ntohs(address.sin_port);
    server->thread = std::thread([server, answer] {
        pollfd entry = {server->listener, POLLIN, 0};
        if (poll(&entry, 1, 10000) <= 0)
            return;
        int fd = accept(server->listener, nullptr, nullptr);
        if (fd < 0)
            return;
        server->request = ReadRequest(fd);
        server->end = answer(fd);
        close(fd);
    });
}

void StopServer(Server *server)
{
    if (server->thread.joinable())
        server->thread.join();
    if (server->listener >= 0)
        close(server->listener);
}

std::string Base(const Server &server)
{
    return "http://127.0.0.1:" + std::to_string(server.port) + "/";
}

// Runs `exchange` as one user action of kBudgetMs.
template <typename Exchange>
auto UnderShortBudget(Exchange exchange) -> decltype(exchange())
{
    HttpBudget previous = BeginHttpBudget(kBudgetMs);
    auto result = exchange();
    RestoreHttpBudget(previous);
    return result;
}

const std::string kPage = "<a href=\"/history?session=KEY\">History</a>";
const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kPage.size()) + "\r\n\r\n" + kPage;

std::string GetBytes(const Server &server, const std::string &target)
{
    return "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port) +
           "\r\nUser-Agent: sortella\r\nConnection: close\r\n\r\n";
}

struct GetRow {
    const char *label;
    std::function<PeerEnd(int fd)> answer;
    int result;
    PeerEnd end; // kNotSeen: not checked
};

// A page fetch against each kind of answer: the result, what the server
// read, and that an answer given up was ended with a reset.
TEST(HttpClient, GetGivesUpEveryAnswerThatDoesNotEndInTime)
{
    const std::string endlessHead = "HTTP/1.0 200 OK\r\nContent-Length: 1073741824\r\n\r\n";
    const std::string flood(65536, 'f');
    const GetRow rows[] = {
        {"a well-formed page", [&](int fd) { SendBytes(fd, kOk); return AwaitPeerEnd(fd); },
         static_cast<int>(kPage.size()), kPeerClosed},
        {"never answers", [](int fd) { return AwaitPeerEnd(fd); }, -1, kPeerReset},
        {"headers trickled", [](int fd) { return Trickle(fd, "HTTP/1.0 200 OK\r\nX-Slow: ", 'a'); }, -1,
         kPeerReset},
        {"body trickled", [](int fd) { return Trickle(fd, "HTTP/1.0 200 OK\r\nContent-Length: 99999\r\n\r\n", 'b'); },
         -1, kPeerReset},
        {"endless with a length", [&](int fd) { SendBytes(fd, endlessHead); return SendForever(fd, flood); },
         HttpPageLimit, kPeerReset},
        {"endless without a length", [&](int fd) { SendBytes(fd, "HTTP/1.0 200 OK\r\n\r\n"); return SendForever(fd, flood); },
         HttpPageLimit, kPeerReset},
        {"endless chunks",
         [&](int fd) {
             SendBytes(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
             return SendForever(fd, "10000\r\n" + flood + "\r\n");
         },
         HttpPageLimit, kPeerReset},
        {"reset in the headers", [](int fd) { return ResetAfter(fd, "HTTP/1.0 200 OK\r\nContent-"); }, -1,
         kServerClosed},
        {"reset in the body",
         [](int fd) { return ResetAfter(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nhalf"); }, -1,
         kServerClosed},
        {"bad status line", [](int fd) { SendBytes(fd, "HTTP/1.0 2OO OK\r\n\r\n"); return AwaitPeerEnd(fd); }, -1,
         kPeerReset},
        {"oversized headers", [](int fd) { return SendForever(fd, "HTTP/1.0 200 OK\r\n" + std::string(70000, 'h')); },
         -1, kPeerReset},
    };
    for (const GetRow &row : rows) {
        SCOPED_TRACE(row.label);
        Server server;
        StartServer(&server, row.answer);
        std::string page = "kept";
        int result = UnderShortBudget([&] { return HttpGet((Base(server) + "buckets?x=1").c_str(), page); });
        StopServer(&server);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(page, result < 0 ? "kept" : result == HttpPageLimit ? "kept" + page.substr(4) : "kept" + kPage);
        if (result == HttpPageLimit) {
            EXPECT_EQ(page.size(), 4u + HttpPageLimit);
        }
        EXPECT_EQ(Printable(server.request), Printable(GetBytes(server, "/buckets?x=1")));
        if (row.end != kNotSeen) {
            EXPECT_EQ(server.end, row.end);
        }
    }
}

// The body becomes text in pieces of 1024 bytes: each up to its first NUL.
TEST(HttpClient, GetTakesEachPieceOfTheBodyUpToItsFirstNul)
{
    std::string body = "ab" + std::string(1, '\0') + "cd" + std::string(1019, 'x') + "nul" + std::string(1, '\0') +
                       "tail";
    ASSERT_EQ(body.size(), 1032u);
    Server server;
    StartServer(&server, [&](int fd) {
        SendBytes(fd, "HTTP/1.0 404 Not Found\r\n\r\n" + body);
        return kServerClosed;
    });
    std::string page;
    int result = UnderShortBudget([&] { return HttpGet(Base(server).c_str(), page); });
    StopServer(&server);
    EXPECT_EQ(result, 1032) << "an error page is a page; NULs are counted";
    EXPECT_EQ(page, "ab" + std::string("nul"));
}

TEST(HttpClient, StatusGetReadsTheRedirectAndNotTheBody)
{
    Server server;
    StartServer(&server, [](int fd) {
        SendBytes(fd, "HTTP/1.0 302 Found\r\nLocation: /view?session=k&view=4\r\nContent-Length: 900000\r\n\r\n");
        return SendForever(fd, std::string(65536, 'b'));
    });
    std::string location;
    int status = UnderShortBudget([&] { return HttpGetStatus((Base(server) + "jump_to_message?view=4").c_str(), location); });
    StopServer(&server);
    EXPECT_EQ(status, 302);
    EXPECT_EQ(location, "/view?session=k&view=4");
    EXPECT_EQ(server.end, kPeerReset);
    EXPECT_EQ(Printable(server.request), Printable(GetBytes(server, "/jump_to_message?view=4")));

    Server silent;
    StartServer(&silent, [](int fd) { return AwaitPeerEnd(fd); });
    status = UnderShortBudget([&] { return HttpGetStatus(Base(silent).c_str(), location); });
    StopServer(&silent);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(location, "");
    EXPECT_EQ(HttpGetStatus("ftp://h/", location), -1);
}

struct PostRow {
    const char *label;
    std::function<PeerEnd(int fd)> answer;
    int result;
    PeerEnd end;
};

// A POST tells its three outcomes apart; one left unanswered is closed
// normally, so that a slow POPFile still reads the whole form.
TEST(HttpClient, PostToldNotSentOrUnanswered)
{
    const std::string form = "search=&session=KEY&reclassify_3=work&change=x";
    const PostRow rows[] = {
        {"200", [](int fd) { SendBytes(fd, "HTTP/1.0 200 OK\r\nContent-Length: 18000\r\n\r\n<html>"); return AwaitPeerEnd(fd); },
         HttpPostTold, kPeerReset},
        {"204", [](int fd) { SendBytes(fd, "HTTP/1.0 204 No Content\r\n\r\n"); return AwaitPeerEnd(fd); }, HttpPostTold,
         kNotSeen},
        {"403", [](int fd) { SendBytes(fd, "HTTP/1.0 403 Forbidden\r\n\r\n"); return AwaitPeerEnd(fd); },
         HttpPostNotSent, kNotSeen},
        {"reset instead of an answer", [](int fd) { return ResetAfter(fd, ""); }, HttpPostNotSent, kServerClosed},
        {"no HTTP answer", [](int fd) { SendBytes(fd, "+OK POP3 ready\r\n"); return AwaitPeerEnd(fd); },
         HttpPostNotSent, kNotSeen},
        {"never answers", [](int fd) { return AwaitPeerEnd(fd); }, HttpPostUnanswered, kPeerClosed},
        {"status line trickled", [](int fd) { return Trickle(fd, "HTTP/1.0 200 O", 'K'); }, HttpPostUnanswered,
         kNotSeen},
    };
    for (const PostRow &row : rows) {
        SCOPED_TRACE(row.label);
        Server server;
        StartServer(&server, row.answer);
        int result = UnderShortBudget([&] { return HttpPost((Base(server) + "history?dropped").c_str(), form); });
        StopServer(&server);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(Printable(server.request),
                  Printable("POST /history HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port) +
                            "\r\nUser-Agent: sortella\r\nConnection: close\r\nContent-Length: " +
                            std::to_string(form.size()) + "\r\n\r\n" + form));
        if (row.end != kNotSeen) {
            EXPECT_EQ(server.end, row.end);
        }
    }
}

// A loopback port that nothing listens on.
int UnusedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A refused connect fails at once and leaves the server resting for the
// menu set-ups; a connect to it that works ends the rest.
TEST(HttpClient, RefusedPortFailsAndRestsUntilAConnectWorks)
{
    ForgetHttpMemory();
    int port = UnusedPort();
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    std::string page;
    std::string location;
    EXPECT_FALSE(HttpServerResting(url.c_str()));
    EXPECT_EQ(UnderShortBudget([&] { return HttpGet(url.c_str(), page); }), -1);
    EXPECT_TRUE(HttpServerResting(url.c_str()));
    EXPECT_TRUE(HttpServerResting((url + "buckets").c_str())) << "the server, not the page";
    EXPECT_FALSE(HttpServerResting(("http://127.0.0.1:" + std::to_string(port + 1) + "/").c_str()));
    EXPECT_EQ(UnderShortBudget([&] { return HttpGetStatus(url.c_str(), location); }), 0);
    EXPECT_EQ(UnderShortBudget([&] { return HttpPost(url.c_str(), "a=1"); }), HttpPostNotSent);

    Server other;
    StartServer(&other, [](int fd) { SendBytes(fd, kOk); return AwaitPeerEnd(fd); });
    EXPECT_GT(UnderShortBudget([&] { return HttpGet(Base(other).c_str(), page); }), 0);
    StopServer(&other);
    EXPECT_TRUE(HttpServerResting(url.c_str())) << "another server's connect does not end the rest";

    Server again;
    StartServer(&again, [](int fd) { SendBytes(fd, kOk); return AwaitPeerEnd(fd); }, port);
    EXPECT_GT(UnderShortBudget([&] { return HttpGet(url.c_str(), page); }), 0);
    StopServer(&again);
    EXPECT_FALSE(HttpServerResting(url.c_str()));
}

// A spent budget asks nothing at all.
TEST(HttpClient, NothingIsAskedWhenTheBudgetIsSpent)
{
    Server server;
    StartServer(&server, [](int fd) { SendBytes(fd, kOk); return AwaitPeerEnd(fd); });
    HttpBudget previous = BeginHttpBudget(0);
    std::string page;
    EXPECT_EQ(HttpGet(Base(server).c_str(), page), -1);
    EXPECT_EQ(HttpBudgetLeftMs(), 0u);
    RestoreHttpBudget(previous);
    // The server still waits for its one connection: give it one.
    EXPECT_GT(UnderShortBudget([&] { return HttpGet(Base(server).c_str(), page); }), 0);
    StopServer(&server);
}

} // namespace
