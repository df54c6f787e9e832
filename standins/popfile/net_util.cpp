#include "net_util.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <map>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<bool> StopFlag(false);

struct ConnectionRegistry {
    std::mutex lock;
    std::condition_variable ended;
    std::map<int, void (*)(int)> sockets; // socket -> the function serving it
};

ConnectionRegistry Connections;

}  // namespace

int BindLoopback(int port, int* boundPort)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    *boundPort = ntohs(address.sin_port);
    return fd;
}

int StartListening(int fd)
{
    return listen(fd, 64) == 0 ? 0 : -1;
}

int SendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return -1;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return 0;
}

int WaitReadable(int fd, int timeoutMs)
{
    // Short polls, so that a stop request is noticed quickly.
    int waited = 0;
    while (!StopFlag.load()) {
        pollfd entry = {fd, POLLIN, 0};
        int slice = timeoutMs - waited < 50 ? timeoutMs - waited : 50;
        int ready = poll(&entry, 1, slice);
        if (ready > 0)
            return 1;
        if (ready < 0 && errno != EINTR)
            return -1;
        waited += slice;
        if (waited >= timeoutMs)
            return 0;
    }
    return -1;
}

void DrainAfterError(int fd)
{
    shutdown(fd, SHUT_WR);
    char sink[4096];
    size_t dropped = 0;
    while (dropped < (4u << 20) && WaitReadable(fd, 500) == 1) {
        ssize_t got = recv(fd, sink, sizeof sink, 0);
        if (got <= 0)
            break;
        dropped += static_cast<size_t>(got);
    }
}

void RequestStop()
{
    StopFlag.store(true);
}

bool StopRequested()
{
    return StopFlag.load();
}

bool PauseMs(int ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!StopFlag.load()) {
        auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        std::this_thread::sleep_for(left < std::chrono::milliseconds(10) ? left : std::chrono::milliseconds(10));
    }
    return false;
}

void StartConnectionThread(int fd, void (*serve)(int fd))
{
    {
        std::lock_guard<std::mutex> guard(Connections.lock);
        Connections.sockets[fd] = serve;
    }
    std::thread([fd, serve]() {
        serve(fd);
        std::lock_guard<std::mutex> guard(Connections.lock);
        Connections.sockets.erase(fd);
        close(fd);
        Connections.ended.notify_all();
    }).detach();
}

bool EndConnections(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(Connections.lock);
    for (const auto& connection : Connections.sockets)
        shutdown(connection.first, SHUT_RDWR);
    return Connections.ended.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                      []() { return Connections.sockets.empty(); });
}

void ShutConnectionsServedBy(void (*serve)(int fd))
{
    std::lock_guard<std::mutex> guard(Connections.lock);
    for (const auto& connection : Connections.sockets)
        if (connection.second == serve)
            shutdown(connection.first, SHUT_RDWR);
}
