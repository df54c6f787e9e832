// Sockets on POSIX systems, for the native tests of the HTTP client: the
// same contract as on Windows (net.h).
#include "classifier/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

// `ms` as poll's int, which it fits for any wait the callers make.
int PollMs(uint32_t ms)
{
    return ms > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(ms);
}

int PollFor(NetSocket socket, short events, uint32_t ms, short *seen)
{
    pollfd entry = {static_cast<int>(socket), events, 0};
    int ready;
    do {
        ready = poll(&entry, 1, PollMs(ms));
    } while (ready < 0 && errno == EINTR);
    *seen = entry.revents;
    return ready;
}

} // namespace

uint32_t NetNowMs(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec * 1000u + now.tv_nsec / 1000000);
}

int NetStart(void)
{
    return 0;
}

void NetStop(void)
{
}

int NetLookupIpv4(const char *host, uint32_t *address)
{
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return -1;
    *address = reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return 0;
}

NetSocket NetConnectStart(uint32_t address, uint16_t port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return NoNetSocket;
    sockaddr_in peer;
    memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    peer.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0 && errno != EINPROGRESS) {
        close(fd);
        return NoNetSocket;
    }
    return fd;
}

int NetAwaitConnected(NetSocket socket, uint32_t ms)
{
    short seen = 0;
    int ready = PollFor(socket, POLLOUT, ms, &seen);
    if (ready == 0)
        return 0;
    int error = 1;
    socklen_t length = sizeof error;
    if (ready < 0 || getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return -1;
    return error == 0 && (seen & POLLOUT) ? 1 : -1;
}

int NetAwait(NetSocket socket, int forWrite, uint32_t ms)
{
    short seen = 0;
    int ready = PollFor(socket, forWrite ? POLLOUT : POLLIN, ms, &seen);
    return ready < 0 ? -1 : ready > 0 ? 1 : 0;
}

long NetSend(NetSocket socket, const char *data, size_t size)
{
    ssize_t sent;
    do {
        sent = send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0)
        return static_cast<long>(sent);
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

long NetReceive(NetSocket socket, char *buffer, size_t size)
{
    ssize_t got;
    do {
        got = recv(static_cast<int>(socket), buffer, size, 0);
    } while (got < 0 && errno == EINTR);
    if (got >= 0)
        return static_cast<long>(got);
    return errno == EAGAIN || errno == EWOULDBLOCK ? -2 : -1;
}

void NetClose(NetSocket socket, int abortive)
{
    if (abortive) {
        linger reset = {1, 0};
        setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    close(static_cast<int>(socket));
}
