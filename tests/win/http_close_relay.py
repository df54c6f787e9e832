#!/usr/bin/env python3
"""Loopback relay in front of the POPFile stand-in's web interface.

    http_close_relay.py TARGET_PORT

Listens on a free port of 127.0.0.1, prints "relay PORT", and passes every
connection through to 127.0.0.1:TARGET_PORT. Request bytes go through
unchanged (the stand-in logs them as the plug-in sent them). In the first
response of each connection "Connection: keep-alive" becomes
"Connection: close" and the connection ends after it.

Why: WinInet keeps kept-alive connections in a pool and starts a thread that
closes idle ones; under qemu's user-mode emulation of 32-bit Wine that
thread's exit hangs or crashes the test program. A response that closes its
connection is never pooled, so the thread is never started.
"""
import socket
import sys
import threading


def pump_request(client, upstream):
    try:
        while True:
            data = client.recv(65536)
            if not data:
                break
            upstream.sendall(data)
    except OSError:
        pass
    try:
        upstream.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def pump_response(upstream, client):
    head = b""
    done_head = False
    try:
        while True:
            data = upstream.recv(65536)
            if not data:
                break
            if done_head:
                client.sendall(data)
                continue
            head += data
            end = head.find(b"\r\n\r\n")
            if end < 0:
                continue
            fixed = head[:end].replace(b"\r\nConnection: keep-alive", b"\r\nConnection: close")
            client.sendall(fixed + head[end:])
            done_head = True
            head = b""
    except OSError:
        pass
    try:
        if head:
            client.sendall(head)  # a response cut short inside its head
    except OSError:
        pass
    for sock in (client, upstream):
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve(client, target_port):
    try:
        upstream = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return
    requests = threading.Thread(target=pump_request, args=(client, upstream), daemon=True)
    requests.start()
    pump_response(upstream, client)
    requests.join(5)
    client.close()
    upstream.close()


def main():
    target_port = int(sys.argv[1])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("relay", listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, target_port), daemon=True).start()


if __name__ == "__main__":
    main()
