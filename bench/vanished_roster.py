#!/usr/bin/env python3
"""Clients that vanish without a leave, and the roster afterwards.

N clients come in on all four channels (nickname on roster and join), then
all of them go without a leave (half close their connections, half reset
them), and N others come in. A probe then asks for the roster now and then
(one roster connection with a nickname of its own each time) until none of
the first N is in it, and prints how long that took, what the roster held
then, and how many of the vanished nicknames one of the newcomers got on the
leave channel. Only the standard library; the server must listen on
127.0.0.1 with the per-address limits lifted (bench/benchhost), in a network
namespace of its own.
"""

import argparse
import re
import socket
import struct
import sys
import time

PORTS = {"message": 10420, "roster": 4201, "join": 10082, "leave": 10081}
NAME = re.compile(rb"[kyp]\d{4}")


OPEN = []  # every client socket still open, read now and then
WATCHED = {}  # socket -> what it received, for the one leave connection kept


def client(nickname):
    socks = {}
    for channel, port in PORTS.items():
        s = socket.create_connection(("127.0.0.1", port))
        if channel in ("roster", "join"):
            s.sendall(nickname)
        s.setblocking(False)
        socks[channel] = s
        OPEN.append(s)
    return socks


def pump():
    """Reads what waits on every open client socket, so that the server
    never has to hold anyone back for these clients."""
    for s in OPEN:
        try:
            while True:
                data = s.recv(1 << 20)
                if not data:
                    break
                if s in WATCHED:
                    WATCHED[s] += data
        except (BlockingIOError, OSError):
            pass


def roster(probe):
    """The roster as sent to a new roster connection: read until its own
    nickname, the last entry, has come."""
    own = b"p%04d" % probe
    s = socket.create_connection(("127.0.0.1", PORTS["roster"]))
    s.sendall(own)
    s.settimeout(0.1)
    got = b""
    deadline = time.monotonic() + 30
    while own not in got and time.monotonic() < deadline:
        try:
            data = s.recv(1 << 20)
            if not data:
                break
            got += data
        except socket.timeout:
            pump()
    s.close()
    # Other arrivals' roster broadcasts may come in between: one of each.
    return sorted(set(NAME.findall(got)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--clients", type=int, default=600)
    parser.add_argument("--timeout", type=float, default=120.0)
    args = parser.parse_args()

    first = []
    for i in range(args.clients):
        first.append(client(b"k%04d" % i))
        pump()
    probe = 0
    while len([n for n in roster(probe) if n.startswith(b"k")]) < args.clients:
        probe += 1
    for i, socks in enumerate(first):
        for s in socks.values():
            OPEN.remove(s)
            if i % 2:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            s.close()
    gone_at = time.monotonic()
    second = []
    for i in range(args.clients):
        second.append(client(b"y%04d" % i))
        if i == 0:
            WATCHED[second[0]["leave"]] = b""
        pump()

    while True:
        probe += 1
        names = roster(probe)
        left = [n for n in names if n.startswith(b"k")]
        if not left or time.monotonic() - gone_at > args.timeout:
            break
    took = time.monotonic() - gone_at
    pump()
    announced = set(NAME.findall(WATCHED[second[0]["leave"]]))
    print(
        "clients=%d vanished-still-listed=%d after %.1fs; roster then: %d newcomers, %d entries "
        "in all (SERVER and probes too); vanished announced to a newcomer: %d"
        % (args.clients, len(left), took, len([n for n in names if n.startswith(b"y")]),
           len(names) + 1, len([n for n in announced if n.startswith(b"k")]))
    )
    return 0 if not left else 1


if __name__ == "__main__":
    sys.exit(main())
