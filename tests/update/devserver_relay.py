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
                    device reply can hold 0xFF), doubled as Telnet needs;
  --hold-reply C:N=S  the server's N-th reply to COM port command C is held
                    back S seconds (and what follows it), and the relay prints
                    "held C:N" when it begins to hold it (1:2=2: the answer to
                    the updater's baud-rate query after its last bytes).
It prints its port on the first line of standard output, relays one
connection after another, and ends on SIGTERM.

usage: devserver_relay.py TARGET_PORT [--delay-ms D] [--drop-reply C] [--answer C=V] [--data-ff]
                          [--hold-reply C:N=S]
"""
import argparse
import signal
import socket
import sys
import selectors
import time

IAC, SB, SE = 255, 250, 240
COM_PORT = 44


class ServerFilter:
    """Rewrites the server's side of the Telnet stream, command by command.
    A command split across reads is held until it is whole."""

    def __init__(self, drop, answers, data_ff, holds):
        self.drop, self.answers, self.data_ff, self.holds = drop, answers, data_ff, holds
        self.held = b""
        self.replies = {}
        self.extra = 0.0  # seconds the bytes of this feed are held back


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
            self.replies[command] = self.replies.get(command, 0) + 1
            hold = self.holds.get((command, self.replies[command]))
            if hold:
                print("held %d:%d" % (command, self.replies[command]), flush=True)
                self.extra = max(self.extra, hold)
            if command in self.drop:
                return b""
            if command in self.answers:
                value = self.answers[command]
                raw = value.to_bytes(4, "big") if command == 1 else bytes([value])
                return bytes([IAC, SB, COM_PORT, whole[3]]) + raw.replace(b"\xff", b"\xff\xff") + bytes([IAC, SE])
        return whole


class Direction:
    """One direction of one connection: bytes go on delay seconds after they
    arrived, in order; None stands for the end of the stream."""

    def __init__(self, src, dst, delay, flt):
        self.src, self.dst, self.delay, self.flt = src, dst, delay, flt
        self.queue, self.open, self.done = [], True, False

    def arrived(self, now):
        try:
            data = self.src.recv(65536)
        except OSError:
            data = b""
        if not data:
            self.open = False
            self.queue.append((max(now + self.delay, self.queue[-1][0] if self.queue else 0.0), None))
            return
        extra = 0.0
        if self.flt:
            self.flt.extra = 0.0
            data = self.flt.feed(data)
            extra = self.flt.extra
        if data:
            # Later bytes never overtake held ones: the queue goes in order.
            due = max(now + self.delay + extra, self.queue[-1][0] if self.queue else 0.0)
            self.queue.append((due, data))

    def due(self):
        return self.queue[0][0] if self.queue else None

    def send_due(self, now):
        """Sends what is due; False once the stream has ended or failed."""
        while self.queue and self.queue[0][0] <= now:
            _, data = self.queue.pop(0)
            try:
                if data is None:
                    self.dst.shutdown(socket.SHUT_WR)
                    return False
                self.dst.sendall(data)
            except OSError:
                return False
        return True


def connect(client, target_port, args):
    """The two directions of a new connection, or None if the server is away."""
    try:
        server = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return None
    for s in (client, server):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    delay = args.delay_ms / 1000.0
    flt = None
    if args.drop_reply or args.answer or args.data_ff or args.hold_reply:
        answers = {}
        for a in args.answer:
            c, v = a.split("=")
            answers[int(c)] = int(v)
        holds = {}
        for h in args.hold_reply:
            which, seconds = h.split("=")
            c, n = which.split(":")
            holds[(int(c), int(n))] = float(seconds)
        flt = ServerFilter(set(args.drop_reply), answers, args.data_ff, holds)
    return [Direction(client, server, delay, None), Direction(server, client, delay, flt)]


def relay(listener, args):
    """One thread, one loop: the listener and every connection's sockets are
    waited on together, and the next byte due sets the time-out, so that a
    byte is passed on as soon as it is due (a thread hand-off per byte cost
    the benchmark milliseconds per exchange). select() rather than epoll:
    epoll waits in whole milliseconds, rounded up, which added up to a
    millisecond to every held-back direction; select() takes microseconds."""
    sel = selectors.SelectSelector()
    sel.register(listener, selectors.EVENT_READ, None)
    pairs = []
    while True:
        dues = [d.due() for pair in pairs for d in pair if not d.done and d.due() is not None]
        timeout = max(0.0, min(dues) - time.monotonic()) if dues else None
        for key, _ in sel.select(timeout):
            now = time.monotonic()
            if key.data is None:
                client, _ = listener.accept()
                pair = connect(client, args.target_port, args)
                if pair:
                    pairs.append(pair)
                    for d in pair:
                        sel.register(d.src, selectors.EVENT_READ, d)
            else:
                d = key.data
                d.arrived(now)
                if not d.open:
                    sel.unregister(d.src)
        now = time.monotonic()
        for pair in list(pairs):
            for d in pair:
                if not d.done and not d.send_due(now):
                    d.done = True
            if all(d.done for d in pair):
                for d in pair:
                    if d.open:
                        sel.unregister(d.src)
                    d.src.close()
                pairs.remove(pair)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("target_port", type=int)
    p.add_argument("--delay-ms", type=float, default=0.0)
    p.add_argument("--drop-reply", type=int, action="append", default=[])
    p.add_argument("--answer", action="append", default=[])
    p.add_argument("--data-ff", action="store_true")
    p.add_argument("--hold-reply", action="append", default=[])
    args = p.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    relay(listener, args)


if __name__ == "__main__":
    main()
