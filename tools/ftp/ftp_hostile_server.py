#!/usr/bin/python3
"""A broken or hostile FTP server for tests: its greeting never ends.

Prints "READY <port>" once it listens on 127.0.0.1. Options:
  --mode endless-line   one reply line that never ends, as fast as it goes
  --mode endless-lines  continuation lines ("220-...") without end
  --mode trickle        continuation lines, one byte per --interval seconds
  --interval S          pause between bytes for trickle (default 0.2)
Each connection is served until the client goes away.
"""
import argparse
import socket
import socketserver
import sys
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", required=True, choices=["endless-line", "endless-lines", "trickle"])
    ap.add_argument("--interval", type=float, default=0.2)
    a = ap.parse_args()

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            s = self.request
            try:
                if a.mode == "endless-line":
                    s.sendall(b"220-")
                    chunk = b"A" * 65536
                    while True:
                        s.sendall(chunk)
                elif a.mode == "endless-lines":
                    chunk = b"220-Willkommen, hier kommt noch mehr\r\n" * 2000
                    while True:
                        s.sendall(chunk)
                else:
                    text = b"220-bitte warten\r\n"
                    i = 0
                    while True:
                        s.sendall(text[i % len(text):i % len(text) + 1])
                        i += 1
                        time.sleep(a.interval)
            except OSError:
                pass

    class Server(socketserver.ThreadingTCPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", 0), Handler)
    sys.stdout.write("READY %d\n" % server.socket.getsockname()[1])
    sys.stdout.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
