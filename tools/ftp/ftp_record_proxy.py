#!/usr/bin/python3
"""A stand-in FTP proxy for tests: accepts the login of any proxy
convention, writes every command line it receives to --log (one line each,
flushed at once) and answers like a proxy that reached the server.
Prints "READY <port>" once it listens on 127.0.0.1."""
import argparse
import socket
import sys
import threading


def serve(conn, log, lock):
    f = conn.makefile("rb")

    def send(text):
        conn.sendall((text + "\r\n").encode("utf-8"))

    send("220 proxy ready")
    user_seen = 0
    while True:
        line = f.readline()
        if not line:
            break
        cmd = line.decode("utf-8", "replace").rstrip("\r\n")
        with lock:
            log.write(cmd + "\n")
            log.flush()
        verb = cmd.split(" ", 1)[0].upper()
        if verb == "USER":
            user_seen += 1
            send("331 password please")
        elif verb == "PASS":
            send("230 logged in")
        elif verb in ("SITE", "OPEN"):
            send("220 connected to " + cmd.split(" ", 1)[-1])
        elif verb == "PWD":
            send('257 "/" is the current directory')
        elif verb == "QUIT":
            send("221 bye")
            break
        else:
            send("502 not here")
    conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--log", required=True)
    a = ap.parse_args()
    log = open(a.log, "a", encoding="utf-8")
    lock = threading.Lock()
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(8)
    sys.stdout.write("READY %d\n" % s.getsockname()[1])
    sys.stdout.flush()
    while True:
        c, _ = s.accept()
        threading.Thread(target=serve, args=(c, log, lock), daemon=True).start()


if __name__ == "__main__":
    main()
