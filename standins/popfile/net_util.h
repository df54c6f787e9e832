// Loopback sockets, the connection threads and the stop signal shared by
// the POP3 and the HTTP side.
#pragma once

#include <cstddef>

// Binds a TCP socket to 127.0.0.1:`port` (0: a free port) without listening,
// so that the port is known and reserved while connections are still refused.
// Returns the socket, or -1; `boundPort` receives the port.
int BindLoopback(int port, int* boundPort);

// Starts listening on a socket from BindLoopback. Returns 0 or -1.
int StartListening(int fd);

// Sends all bytes (no SIGPIPE). Returns 0, or -1 when the peer is gone.
int SendAll(int fd, const char* data, size_t size);

// Waits until `fd` is readable, `timeoutMs` passes or a stop is requested.
// Returns 1 readable, 0 timed out, -1 stopped or failed.
int WaitReadable(int fd, int timeoutMs);

// Ends a connection after an error answer: stops sending, then reads and
// drops what the peer still sends for a moment, so that it sees the answer
// rather than a reset. The socket stays open; its thread closes it.
void DrainAfterError(int fd);

// The process-wide stop request (SIGTERM, SIGINT). Safe in a signal handler.
void RequestStop();
bool StopRequested();

// Sleeps `ms` milliseconds in small steps. Returns false when a stop was
// requested meanwhile.
bool PauseMs(int ms);

// Runs `serve` on a new detached thread for an accepted connection. The
// thread owns the socket and closes it when `serve` returns; `serve` never
// closes it.
void StartConnectionThread(int fd, void (*serve)(int fd));

// At shutdown: wakes every connection thread by shutting its socket down
// and waits up to `timeoutMs` for all of them to end. Returns true when
// they all ended.
bool EndConnections(int timeoutMs);

// Shuts down (both ways) the socket of every connection that `serve` is
// serving, as a server that stops closes its open connections: the peer
// sees the end at once, and the thread ends at its next read or write.
void ShutConnectionsServedBy(void (*serve)(int fd));
