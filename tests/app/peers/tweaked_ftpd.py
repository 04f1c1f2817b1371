#!/usr/bin/python3
"""pyftpdlib with two tweaks for the download tool's tests, where a real server will not
misbehave as needed:

  --listing FILE   the names-only listing (NLST) of the folder KVB_program is the bytes of FILE,
                   whatever the folder holds (names such as "../evil" no file can have)
  --broken NAME=N  retrieving NAME sends its first N bytes, then the transfer fails
                   ("426 ... transfer aborted")
  --throttle N     data goes out at N bytes a second on average, in 64 KiB bursts: after the
                   first burst the data connection stays silent for a long while

Prints "PORT <n>" once it listens on 127.0.0.1; serves until standard input closes.
Usage: tweaked_ftpd.py --root DIR [--user U --password P] [--listing FILE] [--broken NAME=N]...
                      [--throttle N]
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


class BrokenProducer:
    """Hands out the first bytes of a file, then fails, so the data channel reports 426."""

    def __init__(self, data):
        self.data = data

    def more(self):
        if self.data is None:
            raise IOError("simulated failure while sending")
        data, self.data = self.data, None
        return data


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="dlmorv")
    parser.add_argument("--password", default="ka47tz19")
    parser.add_argument("--listing")
    parser.add_argument("--broken", action="append", default=[])
    parser.add_argument("--throttle", type=int, default=0)
    args = parser.parse_args()

    listing = open(args.listing, "rb").read() if args.listing else None
    broken = {}
    for item in args.broken:
        name, count = item.rsplit("=", 1)
        broken[name] = int(count)

    class Handler(FTPHandler):
        def ftp_NLST(self, path):
            if listing is not None and os.path.basename(os.path.normpath(path)) == "KVB_program":
                self.push_dtp_data(listing, cmd="NLST")
                return path
            return FTPHandler.ftp_NLST(self, path)

        def ftp_RETR(self, file):
            name = os.path.basename(file)
            if name in broken:
                with open(file, "rb") as f:
                    data = f.read()[:broken[name]]
                self.push_dtp_data(BrokenProducer(data), isproducer=True, cmd="RETR")
                return file
            return FTPHandler.ftp_RETR(self, file)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elr")
    Handler.authorizer = authorizer
    Handler.banner = "kvb tweaked test server ready."
    Handler.permit_foreign_addresses = False
    Handler.use_sendfile = False
    if args.throttle:
        class Slow(ThrottledDTPHandler):
            read_limit = 0
            write_limit = args.throttle
        Handler.dtp_handler = Slow
    logging.basicConfig(level=logging.CRITICAL)

    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        try:
            sys.stdin.read()
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
