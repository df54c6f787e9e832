// Non-blocking TCP over IPv4 for the plug-in's own HTTP client and the
// start-up probe: one file per platform (net_posix.cpp, net_win.cpp) with
// these functions. Nothing here waits longer than the caller allows, but
// NetLookupIpv4, which asks the system's resolver and waits for it.
// Includes no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

typedef intptr_t NetSocket;
const NetSocket NoNetSocket = -1;

// A monotonic clock in milliseconds; it wraps around, so only differences
// of two readings mean anything.
uint32_t NetNowMs(void);

// Takes the sockets layer for one use (on Windows, Windows Sockets 1.1
// exactly). Returns 0, after which the caller owes one NetStop(); -1 when
// the layer cannot be had, with nothing owed.
int NetStart(void);
void NetStop(void);

// The IPv4 address (in network byte order) that the system's resolver
// gives for `host`, a NUL-terminated name. Returns 0, or -1 when it gives
// none. Blocks for as long as the resolver takes; needs NetStart.
int NetLookupIpv4(const char *host, uint32_t *address);

// Makes a non-blocking TCP socket and starts its connection to `address`
// (network byte order) at `port`. Returns the socket, whose connection is
// then under way or made (NetAwaitConnected tells), or NoNetSocket when no
// socket could be made or the connection failed at once. Needs NetStart.
NetSocket NetConnectStart(uint32_t address, uint16_t port);

// Waits at most `ms` (0: only looks) for the connection of `socket` to end
// its attempt. Returns 1 connected, 0 still under way, -1 failed (refused,
// unreachable, or timed out by the system).
int NetAwaitConnected(NetSocket socket, uint32_t ms);

// Waits at most `ms` until `socket` can be read (forWrite 0: bytes, the
// peer's end or an error are waiting) or written (forWrite 1). Returns 1
// ready, 0 not within `ms`, -1 failed.
int NetAwait(NetSocket socket, int forWrite, uint32_t ms);

// Sends what the socket takes of `size` bytes at `data` without waiting.
// Returns the count taken (0 when it takes nothing now), -1 on an error.
long NetSend(NetSocket socket, const char *data, size_t size);

// Receives up to `size` bytes into `buffer` without waiting. Returns the
// count received, 0 when the peer has ended the connection, -1 on an error
// (a reset among them), -2 when nothing has arrived yet.
long NetReceive(NetSocket socket, char *buffer, size_t size);

// Closes `socket`. Abortive (non-zero): at once, with a reset, dropping
// whatever is still to come or still to go, so that nothing more is read
// or sent for it. Otherwise the usual close: what was sent still reaches
// the peer, and the peer sees the end after it. Never waits.
void NetClose(NetSocket socket, int abortive);
