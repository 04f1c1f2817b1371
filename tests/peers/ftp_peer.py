#!/usr/bin/python3
"""A scripted FTP server for the tests: what a real server will not do.

Prints "PORT <n>" once it listens on 127.0.0.1, then serves control connections (one thread
each) until its standard input closes or it is killed. Every command line received is appended
to the transcript file (one line each, without CR LF), so a test can check the exact dialogue.

Usage: ftp_peer.py --scenario NAME [--transcript FILE] [--set KEY=VALUE ...]
                   [--file NAME=TEXT ...] [--listing LINE ...]

A scenario is a class derived from Session, registered with @scenario("name"). Session is a
small in-memory FTP server (USER/PASS/ACCT/CWD/PWD/TYPE/PASV/PORT/NLST/LIST/REST/RETR/ABOR/
QUIT); a scenario overrides the steps it wants to misbehave in:

    @scenario("slow-greeting")
    class SlowGreeting(Session):
        def greet(self):
            time.sleep(1)
            self.reply("220 late")

Useful pieces: reply(text) sends text + CR LF; send_raw(bytes) sends bytes as they are;
split_send(bytes) sends one byte per packet; data_open() gives the data connection of the
transfer (passive: accepted, active: connected); listing_lines() the names to list;
self.files (name -> bytes), self.options (from --set), self.cwd.
"""
import argparse
import os
import socket
import sys
import threading
import time

SCENARIOS = {}


def scenario(name):
    def register(cls):
        SCENARIOS[name] = cls
        return cls
    return register


class Session:
    """One control connection of a plain, well-behaved server."""

    def __init__(self, conn, server):
        self.conn = conn
        self.server = server
        self.options = server.options
        self.files = dict(server.files)
        self.cwd = "/"
        self.type = "A"
        self.rest = 0
        self.passive = None  # listening socket after PASV
        self.active = None  # (host, port) after PORT
        self.buffer = b""
        self.logged_in = False

    # ---- plumbing ----
    def reply(self, text):
        self.send_raw(text.encode("latin-1") + b"\r\n")

    def send_raw(self, data):
        self.conn.sendall(data)

    def split_send(self, data, pause=0.01):
        self.conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for i in range(len(data)):
            self.conn.sendall(data[i:i + 1])
            time.sleep(pause)

    def read_command(self):
        while b"\n" not in self.buffer:
            try:
                chunk = self.conn.recv(4096)
            except OSError:
                return None
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        line = line.rstrip(b"\r").decode("latin-1")
        self.server.record(line)
        return line

    def option(self, key, default=None):
        return self.options.get(key, default)

    # ---- data connections ----
    def open_passive_listener(self, host="127.0.0.1", port=0):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((host, port))
        listener.listen(1)
        listener.settimeout(10)
        return listener

    def data_open(self):
        if self.passive is not None:
            conn, _ = self.passive.accept()
            self.passive.close()
            self.passive = None
            return conn
        if self.active is not None:
            conn = socket.create_connection(self.active, timeout=10)
            self.active = None
            return conn
        return None

    def send_data(self, payload, close=True):
        conn = self.data_open()
        if conn is None:
            self.reply("425 Use PORT or PASV first.")
            return False
        try:
            if payload:
                conn.sendall(payload)
        finally:
            if close:
                conn.close()
        return True

    def listing_lines(self, argument):
        if self.server.listing is not None:
            return list(self.server.listing)
        return sorted(self.files)

    # ---- the dialogue ----
    def greet(self):
        self.reply("220 scripted peer ready")

    def run(self):
        self.greet()
        self.serve_commands()

    def serve_commands(self):
        while True:
            line = self.read_command()
            if line is None:
                break
            verb, _, argument = line.partition(" ")
            handler = getattr(self, "cmd_" + verb.upper(), None)
            if handler is None:
                self.reply("502 Command not implemented.")
                continue
            if handler(argument) == "quit":
                break
        self.conn.close()

    def cmd_USER(self, argument):
        self.reply("331 Password required.")

    def cmd_PASS(self, argument):
        self.logged_in = True
        self.reply("230 Logged in.")

    def cmd_ACCT(self, argument):
        self.reply("230 Account accepted.")

    def cmd_PWD(self, argument):
        self.reply('257 "%s" is the current directory.' % self.cwd)

    def cmd_CWD(self, argument):
        if argument.strip("/") in self.option("missing-dirs", "").split(","):
            self.reply("550 No such directory.")
            return
        self.cwd = "/" + argument.strip("/")
        self.reply("250 Directory changed.")

    def cmd_TYPE(self, argument):
        self.type = argument
        self.reply("200 Type set to %s." % argument)

    def cmd_PASV(self, argument):
        self.passive = self.open_passive_listener()
        port = self.passive.getsockname()[1]
        self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port >> 8, port & 255))

    def cmd_PORT(self, argument):
        parts = [int(x) for x in argument.split(",")]
        self.active = (".".join(str(x) for x in parts[:4]), parts[4] * 256 + parts[5])
        self.reply("200 PORT command successful.")

    def cmd_REST(self, argument):
        self.rest = int(argument)
        self.reply("350 Restarting at %d." % self.rest)

    def transfer(self, payload):
        self.reply("150 Opening data connection.")
        if self.send_data(payload):
            self.reply("226 Transfer complete.")

    def cmd_NLST(self, argument):
        lines = self.listing_lines(argument)
        self.transfer("".join(l + "\r\n" for l in lines).encode("latin-1"))

    def cmd_LIST(self, argument):
        lines = self.listing_lines(argument)
        self.transfer("".join("-rw-r--r-- 1 ftp ftp 0 Jan 1 00:00 " + l + "\r\n"
                              for l in lines).encode("latin-1"))

    def cmd_RETR(self, argument):
        if argument not in self.files:
            self.reply("550 %s: No such file." % argument)
            return
        payload = self.files[argument][self.rest:]
        self.rest = 0
        self.transfer(payload)

    def cmd_ABOR(self, argument):
        self.reply("225 No transfer to abort.")

    def cmd_QUIT(self, argument):
        self.reply("221 Goodbye.")
        return "quit"


# ---- Scenarios ----

@scenario("plain")
class Plain(Session):
    pass


@scenario("multiline-greeting")
class MultilineGreeting(Session):
    def greet(self):
        self.reply("220-Welcome to the scripted peer")
        self.reply("220-this line begins with the code and a hyphen")
        self.reply("   an indented continuation line")
        self.reply("220 ready")


@scenario("multiline-login")
class MultilineLogin(Session):
    def cmd_PASS(self, argument):
        self.reply("230-Welcome.")
        self.reply("   Please behave.")
        self.reply("230 Logged in.")


@scenario("refuse-login")
class RefuseLogin(Session):
    def cmd_PASS(self, argument):
        self.reply("530 Login incorrect.")


@scenario("account")
class Account(Session):
    def cmd_PASS(self, argument):
        self.reply("332 Need account for login.")


@scenario("idle-421")
class Idle421(Session):
    def cmd_PASS(self, argument):
        self.reply("230 Logged in.")
        time.sleep(float(self.option("delay", "0.3")))
        self.reply("421 Service not available, closing control connection.")
        self.conn.shutdown(socket.SHUT_WR)


@scenario("hang-up")
class HangUp(Session):
    """Closes the control connection without a word after the log-in."""

    def cmd_PASS(self, argument):
        self.reply("230 Logged in.")
        time.sleep(float(self.option("delay", "0.3")))
        self.conn.shutdown(socket.SHUT_RDWR)
        return "quit"


@scenario("silent")
class Silent(Session):
    """Greets, then never answers."""

    def run(self):
        self.greet()
        while self.read_command() is not None:
            pass
        self.conn.close()


@scenario("silent-transfer")
class SilentTransfer(Session):
    """Sends the data of a retrieval but never its final reply."""

    def transfer(self, payload):
        self.reply("150 Opening data connection.")
        self.send_data(payload)


@scenario("pwd-unquoted")
class PwdUnquoted(Session):
    def cmd_PWD(self, argument):
        self.reply("257 / is the current directory.")


@scenario("stat-212")
class Stat212(Session):
    def cmd_CWD(self, argument):
        self.reply("212 Directory status: fine.")


@scenario("split-bytes")
class SplitBytes(Session):
    def reply(self, text):
        self.split_send(text.encode("latin-1") + b"\r\n")


@scenario("three-in-one")
class ThreeInOne(Session):
    """Greeting, the password request and the log-in in one packet, before any command."""

    def run(self):
        self.send_raw(b"220 ready\r\n331 Password required.\r\n230 Logged in.\r\n")
        # The answers are already out: the two commands they answer get nothing more.
        self.read_command()
        self.read_command()
        self.serve_commands()


@scenario("cr-cr-lf")
class CrCrLf(Session):
    def reply(self, text):
        self.send_raw(text.encode("latin-1") + b"\r\r\n")


@scenario("data-close-late")
class DataCloseLate(Session):
    """226 first, the data connection closed afterwards."""

    def transfer(self, payload):
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        if payload:
            conn.sendall(payload)
        self.reply("226 Transfer complete.")
        time.sleep(float(self.option("delay", "0.3")))
        conn.close()


@scenario("cut-off")
class CutOff(Session):
    """Sends part of the data, closes the data connection and answers 426."""

    def transfer(self, payload):
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        conn.sendall(payload[:len(payload) // 2])
        conn.close()
        time.sleep(float(self.option("delay", "0.2")))
        self.reply("426 Connection closed; transfer aborted.")


@scenario("reply-before-data")
class ReplyBeforeData(Session):
    """An error reply while the data connection still carries data (451 local error)."""

    def transfer(self, payload):
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        conn.sendall(payload[:len(payload) // 2])
        self.reply("451 Local error in processing.")
        time.sleep(0.3)
        conn.close()


@scenario("foreign-pasv")
class ForeignPasv(Session):
    """Names 10.0.0.7 port 1025 in its 227 reply and listens on 127.0.0.1:1025 when it can."""

    def cmd_PASV(self, argument):
        try:
            self.passive = self.open_passive_listener("127.0.0.1", 1025)
        except OSError:
            self.passive = None
        self.reply("227 Entering Passive Mode (10,0,0,7,4,1).")

    def transfer(self, payload):
        if self.passive is None:
            self.reply("425 Can't open data connection.")
            return
        Session.transfer(self, payload)


@scenario("dead-pasv")
class DeadPasv(Session):
    """Names a port in its 227 reply on which nothing listens."""

    def cmd_PASV(self, argument):
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
        self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port >> 8, port & 255))

    def cmd_REST(self, argument):
        # Slow enough that the refused connect is known before the answer.
        time.sleep(0.3)
        Session.cmd_REST(self, argument)

    def transfer(self, payload):
        self.reply("425 Can't open data connection.")


@scenario("no-data-connection")
class NoDataConnection(Session):
    """Answers the transfer with 425, never opening a data connection."""

    def transfer(self, payload):
        if self.passive is not None:
            self.passive.close()
            self.passive = None
        self.reply("425 Can't open data connection.")


class Server:
    def __init__(self, args):
        self.scenario = SCENARIOS[args.scenario]
        self.options = dict(kv.split("=", 1) for kv in args.set)
        self.files = {}
        for item in args.file:
            name, _, text = item.partition("=")
            self.files[name] = text.encode("latin-1")
        for item in args.file_size:
            name, _, size = item.partition("=")
            self.files[name] = bytes((i * 7 + 3) & 255 for i in range(int(size)))
        self.listing = args.listing if args.listing else None
        self.transcript = args.transcript
        self.lock = threading.Lock()

    def record(self, line):
        if not self.transcript:
            return
        with self.lock:
            with open(self.transcript, "a", encoding="latin-1") as out:
                out.write(line + "\n")

    def serve(self):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        print("PORT %d" % listener.getsockname()[1], flush=True)
        while True:
            conn, _ = listener.accept()
            session = self.scenario(conn, self)
            threading.Thread(target=self.run_session, args=(session,), daemon=True).start()

    @staticmethod
    def run_session(session):
        try:
            session.run()
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scenario", default="plain", choices=sorted(SCENARIOS))
    parser.add_argument("--transcript")
    parser.add_argument("--set", action="append", default=[], metavar="KEY=VALUE")
    parser.add_argument("--file", action="append", default=[], metavar="NAME=TEXT")
    parser.add_argument("--file-size", action="append", default=[], metavar="NAME=BYTES")
    parser.add_argument("--listing", action="append", default=[], metavar="LINE")
    args = parser.parse_args()

    def watch_stdin():
        try:
            sys.stdin.read()
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    Server(args).serve()


if __name__ == "__main__":
    main()
