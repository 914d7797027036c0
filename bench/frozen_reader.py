#!/usr/bin/env python3
"""What a reader that stopped costs the people chatting beside a flood.

Chatters send a short line at a steady pace on the message channel and time
each line until it comes back to them; one client sends a flood at a fixed
rate and takes its echo; one reader stops: its process is stopped ("frozen",
as a laptop whose lid closed), or it never reads a byte ("silent"), or there
is none ("none"). Prints the chatters' round trips (median, p95, longest) and
how many lines never came back. Only the standard library; the server must
listen on 127.0.0.1 (run it in a network namespace of its own, see
bench/README.md).
"""

import argparse
import os
import selectors
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time

MESSAGE_PORT = 10420


def connect(small_receive_buffer=False):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if small_receive_buffer:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.connect(("127.0.0.1", MESSAGE_PORT))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


READER = """
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.connect(("127.0.0.1", %d))
print("ready", flush=True)
while s.recv(65536):
    pass
""" % MESSAGE_PORT


def flood(stop, rate, result, chunk=64 * 1024):
    """Sends rate bytes/s; result gets what was sent and the longest time
    without an echo of it (the flooder held back)."""
    s = connect()
    s.setblocking(False)
    data = b"x" * chunk
    start = time.monotonic()
    sent = 0
    pending = memoryview(b"")
    last_echo = None
    result["sent"] = 0
    result["longest_gap"] = 0.0
    while not stop.is_set():
        try:
            while True:
                echo = s.recv(1 << 20)
                if not echo:
                    return
                if b"x" not in echo:
                    continue  # chat lines reach it while its flood is held
                now = time.monotonic()
                if last_echo is not None:
                    result["longest_gap"] = max(result["longest_gap"], now - last_echo)
                last_echo = now
        except BlockingIOError:
            pass
        result["sent"] = sent
        due = start + sent / rate
        now = time.monotonic()
        if now < due:
            time.sleep(min(due - now, 0.005))
            continue
        if not pending:
            pending = memoryview(data)
        try:
            n = s.send(pending)
            pending = pending[n:]
            if not pending:
                sent += chunk
        except BlockingIOError:
            time.sleep(0.001)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--chatters", type=int, default=20)
    parser.add_argument("--lines-per-second", type=float, default=2.0)
    parser.add_argument("--flood-mbps", type=float, default=1.0)
    parser.add_argument("--reader", choices=["frozen", "silent", "none"], default="frozen")
    parser.add_argument("--seconds", type=float, default=30.0)
    args = parser.parse_args()

    reader = None
    silent = None
    if args.reader == "frozen":
        reader = subprocess.Popen([sys.executable, "-c", READER], stdout=subprocess.PIPE)
        reader.stdout.readline()
    elif args.reader == "silent":
        silent = connect(small_receive_buffer=True)

    selector = selectors.DefaultSelector()
    chatters = []
    for i in range(args.chatters):
        s = connect()
        s.setblocking(False)
        state = {"id": i, "sock": s, "seen": b"", "sent": {}, "seq": 0, "trips": [], "gone": False}
        selector.register(s, selectors.EVENT_READ, state)
        chatters.append(state)

    stop = threading.Event()
    flooded = {"sent": 0, "longest_gap": 0.0}
    if args.flood_mbps > 0:
        flooder = threading.Thread(target=flood, args=(stop, args.flood_mbps * 1e6, flooded),
                                   daemon=True)
        flooder.start()
    time.sleep(0.5)
    if reader:
        os.kill(reader.pid, signal.SIGSTOP)

    period = 1.0 / args.lines_per_second
    start = time.monotonic()
    # Chatters start spread over one period, as people would.
    next_line = [start + period * i / args.chatters for i in range(args.chatters)]
    end = start + args.seconds
    while True:
        now = time.monotonic()
        if now >= end:
            break
        for c in chatters:
            if not c["gone"] and now >= next_line[c["id"]]:
                token = b"<c%d:%d>" % (c["id"], c["seq"])
                c["sent"][token] = now
                c["seq"] += 1
                next_line[c["id"]] += period
                try:
                    c["sock"].send(token)
                except OSError:
                    c["gone"] = True
        timeout = max(0.0, min(min(next_line), end) - time.monotonic())
        for key, _ in selector.select(timeout):
            c = key.data
            try:
                data = c["sock"].recv(1 << 20)
            except BlockingIOError:
                continue
            except OSError:
                data = b""
            if not data:
                c["gone"] = True
                selector.unregister(c["sock"])
                continue
            got = time.monotonic()
            c["seen"] += data
            for token in [t for t in c["sent"] if t in c["seen"]]:
                c["trips"].append(got - c["sent"].pop(token))
            c["seen"] = c["seen"][-16:]

    stop.set()
    trips = sorted(t for c in chatters for t in c["trips"])
    # Lines sent in the last second may simply be on their way.
    missing = sum(1 for c in chatters for t in c["sent"].values() if end - t > 1)
    stuck = max((end - t for c in chatters for t in c["sent"].values()), default=0.0)
    dropped = sum(c["gone"] for c in chatters)
    if reader:
        reader.kill()
        reader.wait()
    if not trips:
        print("no line came back")
        return 1
    p95 = trips[min(len(trips) - 1, int(0.95 * len(trips)))]
    print(
        "reader=%s chatters=%d lines=%d median=%.1fms p95=%.1fms max=%.1fms "
        "over1s=%d notback=%d (oldest %.1fs) chattersdropped=%d flood=%.2fMB/s floodheld=%.2fs"
        % (args.reader, args.chatters, len(trips), statistics.median(trips) * 1000, p95 * 1000,
           trips[-1] * 1000, sum(t > 1 for t in trips), missing, stuck, dropped,
           flooded["sent"] / 1e6 / args.seconds, flooded["longest_gap"])
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
