#!/usr/bin/python3
"""A real FTP server for the tests and the demo: pyftpdlib on 127.0.0.1.

Prints "PORT <n>" once it listens, then serves until its standard input closes or it is killed.
Usage: pyftpd.py --root DIR [--user NAME --password PW] [--port N] [--anonymous]
"""
import argparse
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="dlmorv")
    parser.add_argument("--password", default="ka47tz19")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--write", action="store_true", help="let the account write")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    perm = "elradfmwMT" if args.write else "elr"
    authorizer.add_user(args.user, args.password, args.root, perm=perm)
    if args.anonymous:
        authorizer.add_anonymous(args.root)

    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "kvb test server ready."
    handler.passive_ports = None
    handler.masquerade_address = None
    handler.permit_foreign_addresses = False
    handler.use_sendfile = True

    import logging
    logging.basicConfig(level=logging.CRITICAL)

    server = FTPServer(("127.0.0.1", args.port), handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    print("PORT %d" % port, flush=True)

    # Ends with the parent: when stdin closes, stop serving.
    def watch_stdin():
        try:
            sys.stdin.read()
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
