#!/usr/bin/python3
"""Private FTP server for tests and benchmarks (pyftpdlib).

Prints "READY <port>" once it listens on 127.0.0.1. Options:
  --root DIR --user U --password P  [--port N]
  --tls CERT KEY     explicit FTPS (AUTH TLS), protected data required
  --drop-once NAME   the first upload of NAME loses the connection mid-file
  --no-size          the server does not tell file sizes
  --no-mdtm          the server does not tell modification times
  --read-limit N     uploads are taken at N bytes per second at most
  --start-dir DIR    sessions start in DIR (as on hosts with /home/user)
"""
import argparse
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, DTPHandler, ThrottledDTPHandler, TLS_FTPHandler, TLS_DTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    ap.add_argument("--drop-once", default="")
    ap.add_argument("--no-size", action="store_true")
    ap.add_argument("--no-mdtm", action="store_true")
    ap.add_argument("--read-limit", type=int, default=0)
    ap.add_argument("--start-dir", default="")
    a = ap.parse_args()

    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, a.root, perm="elradfmwMT")

    base_handler = TLS_FTPHandler if a.tls else FTPHandler
    base_dtp = TLS_DTPHandler if a.tls else ThrottledDTPHandler if a.read_limit else DTPHandler
    state = {"dropped": False}

    class Dtp(base_dtp):
        read_limit = a.read_limit

        def handle_read(self):
            super().handle_read()
            if (a.drop_once and not state["dropped"] and self.file_obj is not None
                    and os.path.basename(self.file_obj.name) == a.drop_once
                    and self.tot_bytes_received > 0):
                state["dropped"] = True
                cmd = self.cmd_channel
                self.close()
                cmd.close()

        if not a.tls:
            # the plain handler binds the event to its own handle_read
            handle_read_event = handle_read

    class Handler(base_handler):
        dtp_handler = Dtp
        use_encoding = "utf8"

        def on_login(self, username):
            if a.start_dir:
                self.fs.cwd = a.start_dir

    if a.no_size or a.no_mdtm:
        Handler.proto_cmds = dict(Handler.proto_cmds)
    if a.no_size:
        del Handler.proto_cmds["SIZE"]
    if a.no_mdtm:
        del Handler.proto_cmds["MDTM"]
    if a.tls:
        Handler.certfile = a.tls[0]
        Handler.keyfile = a.tls[1]
        Handler.tls_control_required = True
        Handler.tls_data_required = True
    Handler.authorizer = auth
    Handler.banner = "mv test ftp ready"
    Handler.permit_privileged_ports = False
    Handler.timeout = 60

    server = FTPServer(("127.0.0.1", a.port), Handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    sys.stdout.write("READY %d\n" % port)
    sys.stdout.flush()
    try:
        server.serve_forever(timeout=0.5, blocking=True)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
