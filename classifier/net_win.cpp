// Sockets on Windows (Windows Sockets 1.1 calls from ws2_32): the
// plug-in's own HTTP client and the start-up probe wait only through
// select, for no longer than their callers allow.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "classifier/net.h"

namespace {

const WORD kSocketsVersion = 0x0101; // Windows Sockets 1.1

timeval TimevalOf(uint32_t ms)
{
    timeval wait;
    wait.tv_sec = static_cast<long>(ms / 1000);
    wait.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return wait;
}

SOCKET Raw(NetSocket socket)
{
    return static_cast<SOCKET>(socket);
}

} // namespace

uint32_t NetNowMs(void)
{
    return GetTickCount();
}

int NetStart(void)
{
    WSADATA data;
    if (WSAStartup(kSocketsVersion, &data) != 0)
        return -1;
    if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1) {
        WSACleanup();
        return -1;
    }
    return 0;
}

void NetStop(void)
{
    WSACleanup();
}

int NetLookupIpv4(const char *host, uint32_t *address)
{
    hostent *entry = gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != sizeof *address || !entry->h_addr_list ||
        !entry->h_addr_list[0])
        return -1;
    memcpy(address, entry->h_addr_list[0], sizeof *address);
    return 0;
}

NetSocket NetConnectStart(uint32_t address, uint16_t port)
{
    SOCKET made = socket(AF_INET, SOCK_STREAM, 0);
    if (made == INVALID_SOCKET)
        return NoNetSocket;
    u_long nonBlocking = 1;
    sockaddr_in peer;
    memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    peer.sin_port = htons(port);
    if (ioctlsocket(made, FIONBIO, &nonBlocking) != 0 ||
        (connect(made, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0 &&
         WSAGetLastError() != WSAEWOULDBLOCK)) {
        closesocket(made);
        return NoNetSocket;
    }
    return static_cast<NetSocket>(made);
}

int NetAwaitConnected(NetSocket socket, uint32_t ms)
{
    // A connection made shows as writable, one that failed in the
    // exception set.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Raw(socket), &writable);
    FD_SET(Raw(socket), &failed);
    timeval wait = TimevalOf(ms);
    int ready = select(0, NULL, &writable, &failed, &wait);
    if (ready == 0)
        return 0;
    int error = 1;
    int length = sizeof error;
    if (ready > 0 && FD_ISSET(Raw(socket), &writable) && !FD_ISSET(Raw(socket), &failed))
        getsockopt(Raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
    return error == 0 ? 1 : -1;
}

int NetAwait(NetSocket socket, int forWrite, uint32_t ms)
{
    fd_set wanted;
    FD_ZERO(&wanted);
    FD_SET(Raw(socket), &wanted);
    timeval wait = TimevalOf(ms);
    int ready = forWrite ? select(0, NULL, &wanted, NULL, &wait) : select(0, &wanted, NULL, NULL, &wait);
    return ready < 0 ? -1 : ready > 0 ? 1 : 0;
}

long NetSend(NetSocket socket, const char *data, size_t size)
{
    int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    int sent = send(Raw(socket), data, chunk, 0);
    if (sent != SOCKET_ERROR)
        return sent;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long NetReceive(NetSocket socket, char *buffer, size_t size)
{
    int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    int got = recv(Raw(socket), buffer, chunk, 0);
    if (got != SOCKET_ERROR)
        return got;
    return WSAGetLastError() == WSAEWOULDBLOCK ? -2 : -1;
}

void NetClose(NetSocket socket, int abortive)
{
    if (abortive) {
        linger reset;
        reset.l_onoff = 1;
        reset.l_linger = 0;
        setsockopt(Raw(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&reset), sizeof reset);
    }
    closesocket(Raw(socket));
}
