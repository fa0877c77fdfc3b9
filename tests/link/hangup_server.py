#!/usr/bin/env python3
"""A device server that hangs up: a native TCP server on loopback for the
network link's hang-up test. Each connection gets "OK" for its first four
bytes; after the next four the connection is ended (odd connections) or
reset (even ones), while the program waits for an answer. Prints its port,
then serves until it is ended."""
import socket
import struct
import sys
import threading


def read(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def serve(conn, number):
    with conn:
        try:
            if read(conn, 4) is None:
                return
            conn.sendall(b"OK")
            if read(conn, 4) is None:
                return
            if number % 2 == 0:
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass


def main():
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    print(server.getsockname()[1], flush=True)
    number = 0
    while True:
        conn, _ = server.accept()
        number += 1
        threading.Thread(target=serve, args=(conn, number), daemon=True).start()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
