#!/usr/bin/env python3
"""One client floods the message channel while a bystander chats.

The flooder sends 1 MiB at a time as fast as the server takes it and reads its
own echo; a reader only reads; a bystander sends a short numbered line every
half second and times how long it takes to come back, reading the flood in
between. Every minute: the server's resident memory, what was relayed, and
the bystander's round-trips (p50, p95, max). Loopback only; run it and the
server inside a network namespace of their own.

    transcript_flood.py SERVER_PID [SECONDS]
"""
import selectors
import socket
import statistics
import sys
import time

PORT = 10420
CHUNK = 1 << 20
CHAT_EVERY = 0.5
REPORT_EVERY = 60.0
# The flood is lower-case letters, so a bystander's line, in brackets, stands
# out wherever it lands among them.
FLOOD = bytes(ord('a') + i % 26 for i in range(CHUNK))


def rss_mib(pid):
    with open(f'/proc/{pid}/status') as status:
        for line in status:
            if line.startswith('VmRSS:'):
                return int(line.split()[1]) / 1024
    return -1.0


def connect():
    s = socket.create_connection(('127.0.0.1', PORT))
    s.setblocking(False)
    return s


def main():
    pid = int(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 600.0
    flooder, reader, bystander = connect(), connect(), connect()
    sel = selectors.DefaultSelector()
    sel.register(flooder, selectors.EVENT_READ | selectors.EVENT_WRITE, 'flooder')
    sel.register(reader, selectors.EVENT_READ, 'reader')
    sel.register(bystander, selectors.EVENT_READ, 'bystander')

    sent_at = {}          # line number -> time sent
    tail = b''            # the bystander's unmatched end of stream
    rtts, all_rtts = [], []
    outbox = memoryview(FLOOD)
    flooded = relayed = 0
    start = last_report = last_chat = time.monotonic()
    number = 0
    print('minute  rss_MiB  flood_MB/s  rtt_p50_ms  rtt_p95_ms  rtt_max_ms  lines', flush=True)
    while True:
        now = time.monotonic()
        if now - start >= seconds:
            break
        if now - last_chat >= CHAT_EVERY:
            last_chat = now
            number += 1
            sent_at[number] = now
            bystander.send(b'[%08d]' % number)
        if now - last_report >= REPORT_EVERY:
            minute = round((now - start) / 60)
            pending = [now - t for t in sent_at.values()]
            late = max(pending, default=0)
            if rtts:
                q = statistics.quantiles(rtts, n=20, method='inclusive') if len(rtts) > 1 else rtts * 19
                print(f'{minute:6d}  {rss_mib(pid):7.0f}  {flooded / (now - last_report) / 1e6:10.1f}'
                      f'  {statistics.median(rtts) * 1000:10.1f}  {q[18] * 1000:10.1f}'
                      f'  {max(max(rtts), late) * 1000:10.1f}  {len(rtts):5d}', flush=True)
            else:
                print(f'{minute:6d}  {rss_mib(pid):7.0f}  no line came back; oldest waits {late:.1f} s',
                      flush=True)
            rtts, flooded, last_report = [], 0, now
        for key, events in sel.select(timeout=0.05):
            s = key.fileobj
            if events & selectors.EVENT_WRITE:
                try:
                    n = s.send(outbox)
                except BlockingIOError:
                    n = 0
                flooded += n
                outbox = outbox[n:] if n < len(outbox) else memoryview(FLOOD)
            if events & selectors.EVENT_READ:
                try:
                    data = s.recv(1 << 20)
                except BlockingIOError:
                    continue
                if not data:
                    print(f'{key.data}: the server closed the connection', flush=True)
                    return 1
                relayed += len(data)
                if key.data == 'bystander':
                    data = tail + data
                    at = data.find(b'[')
                    while at >= 0 and at + 10 <= len(data):
                        got = int(data[at + 1:at + 9])
                        sent = sent_at.pop(got, None)
                        if sent is not None:
                            rtts.append(time.monotonic() - sent)
                            all_rtts.append(rtts[-1])
                        at = data.find(b'[', at + 10)
                    tail = data[at:] if at >= 0 else b''
    q = statistics.quantiles(all_rtts, n=100, method='inclusive')
    print(f'all: {len(all_rtts)} lines back of {number}, rtt p50 {statistics.median(all_rtts) * 1000:.1f} ms,'
          f' p95 {q[94] * 1000:.1f} ms, p99 {q[98] * 1000:.1f} ms, max {max(all_rtts) * 1000:.1f} ms;'
          f' rss {rss_mib(pid):.0f} MiB', flush=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
