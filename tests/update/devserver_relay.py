#!/usr/bin/env python3
"""A TCP relay on loopback between the updater and a serial device server.

It plays what the network between them may do, for the tests and the
benchmark:
  --delay-ms D      each direction is held back by D ms (half of a round trip
                    of 2 D), bytes kept in order;
  --drop-reply C    the server's RFC 2217 reply to COM port command C is
                    dropped (12: a server that never acknowledges a purge;
                    4: one that never acknowledges the stop bits);
  --answer C=V      the server's reply to command C is given the value V
                    (decimal; 1=9600: a server that refuses 19200 baud);
  --data-ff         every data byte 'Z' the server sends becomes 0xFF (so a
                    device reply can hold 0xFF), doubled as Telnet needs.
It prints its port on the first line of standard output, relays one
connection after another, and ends on SIGTERM.

usage: devserver_relay.py TARGET_PORT [--delay-ms D] [--drop-reply C] [--answer C=V] [--data-ff]
"""
import argparse
import heapq
import signal
import socket
import sys
import threading
import time

IAC, SB, SE = 255, 250, 240
COM_PORT = 44


class ServerFilter:
    """Rewrites the server's side of the Telnet stream, command by command.
    A command split across reads is held until it is whole."""

    def __init__(self, drop, answers, data_ff):
        self.drop, self.answers, self.data_ff = drop, answers, data_ff
        self.held = b""

    def feed(self, data):
        buf = self.held + data
        out = bytearray()
        i = 0
        while i < len(buf):
            b = buf[i]
            if b != IAC:
                out += b"\xff\xff" if (self.data_ff and b == ord("Z")) else bytes([b])
                i += 1
                continue
            if i + 1 >= len(buf):
                break
            verb = buf[i + 1]
            if verb == IAC:
                out += b"\xff\xff"
                i += 2
            elif verb == SB:
                end = self._sub_end(buf, i + 2)
                if end < 0:
                    break
                out += self._sub(buf[i:end])
                i = end
            elif verb in (251, 252, 253, 254):
                if i + 2 >= len(buf):
                    break
                out += buf[i:i + 3]
                i += 3
            else:
                out += buf[i:i + 2]
                i += 2
        self.held = buf[i:]
        return bytes(out)

    @staticmethod
    def _sub_end(buf, j):
        while j + 1 < len(buf):
            if buf[j] == IAC:
                if buf[j + 1] == SE:
                    return j + 2
                j += 2
            else:
                j += 1
        return -1

    def _sub(self, whole):
        if len(whole) >= 5 and whole[2] == COM_PORT and whole[3] >= 100:
            command = whole[3] - 100
            if command in self.drop:
                return b""
            if command in self.answers:
                value = self.answers[command]
                raw = value.to_bytes(4, "big") if command == 1 else bytes([value])
                return bytes([IAC, SB, COM_PORT, whole[3]]) + raw.replace(b"\xff", b"\xff\xff") + bytes([IAC, SE])
        return whole


class Delayed:
    """One direction: bytes are sent delay seconds after they arrived."""

    def __init__(self, dst, delay):
        self.dst, self.delay = dst, delay
        self.queue, self.cond, self.closed, self.seq = [], threading.Condition(), False, 0
        threading.Thread(target=self._run, daemon=True).start()

    def put(self, data):
        with self.cond:
            heapq.heappush(self.queue, (time.monotonic() + self.delay, self.seq, data))
            self.seq += 1
            self.cond.notify()

    def close(self):
        with self.cond:
            heapq.heappush(self.queue, (time.monotonic() + self.delay, self.seq, None))
            self.seq += 1
            self.cond.notify()

    def _run(self):
        while True:
            with self.cond:
                while not self.queue:
                    self.cond.wait()
                due, _, data = self.queue[0]
                now = time.monotonic()
                if due > now:
                    self.cond.wait(due - now)
                    continue
                heapq.heappop(self.queue)
            try:
                if data is None:
                    self.dst.shutdown(socket.SHUT_WR)
                    return
                self.dst.sendall(data)
            except OSError:
                return


def pump(src, out, flt):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            if flt:
                data = flt.feed(data)
            if data:
                out.put(data)
    except OSError:
        pass
    out.close()


def serve(client, target_port, args):
    try:
        server = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return
    for s in (client, server):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    delay = args.delay_ms / 1000.0
    flt = None
    if args.drop_reply or args.answer or args.data_ff:
        answers = {}
        for a in args.answer:
            c, v = a.split("=")
            answers[int(c)] = int(v)
        flt = ServerFilter(set(args.drop_reply), answers, args.data_ff)
    to_server, to_client = Delayed(server, delay), Delayed(client, delay)
    a = threading.Thread(target=pump, args=(client, to_server, None), daemon=True)
    b = threading.Thread(target=pump, args=(server, to_client, flt), daemon=True)
    a.start()
    b.start()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("target_port", type=int)
    p.add_argument("--delay-ms", type=float, default=0.0)
    p.add_argument("--drop-reply", type=int, action="append", default=[])
    p.add_argument("--answer", action="append", default=[])
    p.add_argument("--data-ff", action="store_true")
    args = p.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        serve(client, args.target_port, args)


if __name__ == "__main__":
    main()
