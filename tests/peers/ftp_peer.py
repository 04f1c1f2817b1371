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

    def receive_line(self):
        """The next line's bytes up to its LF (which is dropped) and the number of receives it
        arrived in; None when the connection has ended first."""
        pieces = 1
        while b"\n" not in self.buffer:
            try:
                chunk = self.conn.recv(4096)
            except OSError:
                return None
            if not chunk:
                return None
            if self.buffer:
                pieces += 1
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line, pieces

    def read_command(self):
        received = self.receive_line()
        if received is None:
            return None
        line = self.clean_command(received[0].rstrip(b"\r").decode("latin-1"))
        self.server.record(line)
        return line

    def clean_command(self, line):
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
    """Refuses every password, or only the first --set refusals=N of a connection."""

    def cmd_PASS(self, argument):
        self.refused = getattr(self, "refused", 0) + 1
        limit = int(self.option("refusals", "-1"))
        if 0 <= limit < self.refused:
            return Session.cmd_PASS(self, argument)
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


@scenario("unended-multiline")
class UnendedMultiline(Session):
    """Answers the first PWD with the first lines of a multi-line reply and never its last
    line; everything after it is answered normally."""

    def cmd_PWD(self, argument):
        if getattr(self, "pwd_done", False):
            return Session.cmd_PWD(self, argument)
        self.pwd_done = True
        self.reply('257-"%s" is the current directory,' % self.cwd)
        self.reply("   and more is to follow")


@scenario("stray-line")
class StrayLine(Session):
    """Every transfer sends a line without a reply code after its 150 (--set line=TEXT)."""

    def transfer(self, payload):
        self.reply("150 Opening data connection.")
        self.reply(self.option("line", "    (a line without a code)"))
        if self.send_data(payload):
            self.reply("226 Transfer complete.")


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


@scenario("abort-before-data")
class AbortBeforeData(Session):
    """Answers a transfer with 150 and waits for its data connection without using it; "ABOR"
    then gets "225" alone, as when a server gives up a transfer it never began, and the
    transfer command no final reply."""

    def transfer(self, payload):
        self.reply("150 Opening data connection.")


@scenario("abort-answers")
class AbortAnswers(Session):
    """A retrieval sends --set part=N bytes of the file (default 100000) and waits for the
    next command. "ABOR" then gets 64 KiB more of the data, the data connection closed, and
    the replies --set answer=CODES: comma-separated codes out of 225, 226 and 426 (default
    "426,226", as most servers answer; empty: no reply at all, to the transfer nor to "ABOR")."""

    TEXTS = {"225": "225 No transfer to abort.",
             "226": "226 Abort successful",
             "426": "426 Connection closed; transfer aborted."}

    def cmd_RETR(self, argument):
        payload = self.files.get(argument, b"")
        part = int(self.option("part", "100000"))
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        conn.sendall(payload[:part])
        line = self.read_command()
        try:
            conn.sendall(payload[part:part + 65536])
        except OSError:
            pass
        conn.close()
        if line is None:
            return "quit"
        verb, _, rest = line.partition(" ")
        if verb.upper() != "ABOR":
            return getattr(self, "cmd_" + verb.upper(), lambda a: self.reply("502 No."))(rest)
        for code in filter(None, self.option("answer", "426,226").split(",")):
            self.reply(self.TEXTS[code])


@scenario("no-data-connection")
class NoDataConnection(Session):
    """Answers the transfer with 425, never opening a data connection."""

    def transfer(self, payload):
        if self.passive is not None:
            self.passive.close()
            self.passive = None
        self.reply("425 Can't open data connection.")


# ---- Misbehaviour for the download tool's fault tests ----
# These touch only what a retrieval does (the tool lists twice before it fetches anything),
# unless they say otherwise.


@scenario("drop-control")
class DropControl(Session):
    """Closes the control connection at the command named by --set at=VERB (USER, NLST or
    RETR; default RETR): USER gets no answer; a transfer first sends 150 and half of its data."""

    def serve_commands(self):
        at = self.option("at", "RETR")
        while True:
            line = self.read_command()
            if line is None:
                break
            verb, _, argument = line.partition(" ")
            if verb.upper() == at:
                self.drop(at, argument)
                return
            handler = getattr(self, "cmd_" + verb.upper(), None)
            if handler is None:
                self.reply("502 Command not implemented.")
            elif handler(argument) == "quit":
                break
        self.conn.close()

    def drop(self, verb, argument):
        data = None
        if verb in ("NLST", "RETR"):
            if verb == "NLST":
                payload = "".join(l + "\r\n" for l in self.listing_lines(argument))
                payload = payload.encode("latin-1")
            else:
                payload = self.files.get(argument, b"")
            self.reply("150 Opening data connection.")
            data = self.data_open()
            data.sendall(payload[:len(payload) // 2])
        self.conn.shutdown(socket.SHUT_RDWR)
        self.conn.close()
        time.sleep(0.5)
        if data is not None:
            data.close()


@scenario("drop-after-listing")
class DropAfterListing(Session):
    """Serves the --set listings=N-th names listing whole (default 2: the remote folder's, after
    the log-in folder's) and then closes the control connection, before any file is asked for."""

    def cmd_NLST(self, argument):
        self.listings = getattr(self, "listings", 0) + 1
        Session.cmd_NLST(self, argument)
        if self.listings >= int(self.option("listings", "2")):
            time.sleep(0.2)
            self.conn.shutdown(socket.SHUT_RDWR)
            self.conn.close()
            return "quit"


@scenario("retr-cut")
class RetrCut(Session):
    """A retrieval's data connection closes after half of the file; the reply that follows is
    --set code=N (default 426)."""

    def cmd_RETR(self, argument):
        if argument not in self.files:
            self.reply("550 %s: No such file." % argument)
            return
        payload = self.files[argument]
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        conn.sendall(payload[:len(payload) // 2])
        conn.close()
        time.sleep(0.2)
        self.reply("%s Transfer aborted: connection closed." % self.option("code", "426"))


@scenario("retr-no-final")
class RetrNoFinal(Session):
    """A retrieval's data comes whole and its data connection closes, but the final reply
    never comes; everything else is answered."""

    def cmd_RETR(self, argument):
        self.reply("150 Opening data connection.")
        self.send_data(self.files.get(argument, b""))


@scenario("retr-stall")
class RetrStall(Session):
    """A retrieval sends a quarter of the file, then nothing more on either connection until
    the client goes away."""

    def cmd_RETR(self, argument):
        payload = self.files.get(argument, b"")
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        conn.sendall(payload[:len(payload) // 4])
        self.stalled = conn  # kept open
        while self.read_command() is not None:
            pass
        conn.close()
        return "quit"


@scenario("retr-endless")
class RetrEndless(Session):
    """A retrieval whose data never ends: the data connection carries 64 KiB blocks, one per
    --set pause=S seconds (default 0: as fast as the client takes them), until it goes away."""

    def cmd_RETR(self, argument):
        self.reply("150 Opening data connection.")
        conn = self.data_open()
        block = bytes(range(256)) * 256
        pause = float(self.option("pause", "0"))
        try:
            while True:
                conn.sendall(block)
                if pause:
                    time.sleep(pause)
        except OSError:
            pass
        conn.close()


@scenario("chatter")
class Chatter(Session):
    """Logs in, then sends "150 " lines without end and reads nothing more."""

    def cmd_PASS(self, argument):
        self.reply("230 Logged in.")
        line = b"150 still busy\r\n" * 256
        while True:
            self.send_raw(line)


@scenario("long-line")
class LongLine(Session):
    """Greets with "220 " and --set size=N bytes of "x" without a line end; then closes the
    connection (--set then=close, the default) or ends the line and serves (then=serve)."""

    def greet(self):
        size = int(self.option("size", "102400"))
        self.send_raw(b"220 ")
        block = b"x" * 65536
        sent = 0
        while sent < size:
            part = block[:min(len(block), size - sent)]
            self.send_raw(part)
            sent += len(part)
        if self.option("then", "close") == "close":
            time.sleep(0.2)
            self.conn.shutdown(socket.SHUT_RDWR)
            raise OSError("closed on purpose")
        self.send_raw(b"\r\n")


@scenario("long-multiline")
class LongMultiline(Session):
    """Answers the password with a multi-line reply of --set lines=N lines (default 10000)."""

    def cmd_PASS(self, argument):
        count = int(self.option("lines", "10000"))
        text = ["230-Welcome, line 1 of %d" % count]
        text += ["  line %d of the notice" % i for i in range(2, count)]
        text.append("230 Logged in.")
        self.send_raw(("\r\n".join(text) + "\r\n").encode("latin-1"))


IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240


@scenario("telnet")
class Telnet(Session):
    """Replies that carry Telnet commands: negotiations before the greeting, a terminal type
    request, doubled IAC bytes in texts and stray IAC bytes followed by text. With --set
    stray-before-crlf=1 a stray 0xFF also stands right before the CR LF of the 257 reply.
    The Telnet bytes the client sends back are taken out of its commands and recorded in
    the transcript as a line "telnet: " + their hex."""

    def greet(self):
        self.send_raw(bytes([IAC, WILL, 1, IAC, DO, 24, IAC, DO, 31]))
        self.send_raw(bytes([IAC, SB, 24, 1, IAC, SE]))
        self.send_raw(b"220 caf\xff\xff ready \xffX\xfbgo\r\n")

    def clean_command(self, line):
        raw = line.encode("latin-1")
        plain, telnet, i = bytearray(), bytearray(), 0
        while i < len(raw):
            if raw[i] == IAC and i + 1 < len(raw):
                if raw[i + 1] == IAC:
                    plain.append(IAC)
                    i += 2
                elif raw[i + 1] == SB:
                    end = raw.find(bytes([IAC, SE]), i)
                    end = len(raw) if end < 0 else end + 2
                    telnet += raw[i:end]
                    i = end
                else:
                    telnet += raw[i:i + 3]
                    i += 3
            else:
                plain.append(raw[i])
                i += 1
        if telnet:
            self.server.record("telnet: " + telnet.hex())
        return plain.decode("latin-1")

    def cmd_PWD(self, argument):
        end = b"\xff\r\n" if self.option("stray-before-crlf") else b"\r\n"
        self.send_raw(b'257 "' + self.cwd.encode("latin-1") + b'" is \xff\xffthe\xffZ dir.' + end)

    def cmd_TYPE(self, argument):
        self.send_raw(bytes([IAC, 241]))  # NOP between replies
        Session.cmd_TYPE(self, argument)


@scenario("bad-pasv")
class BadPasv(Session):
    """From the --set from=N-th PASV on (default 3: the first retrieval), the 227 reply names
    a closed port (--set kind=closed) or holds garbage in its parentheses (kind=garbage)."""

    def cmd_PASV(self, argument):
        self.pasv_count = getattr(self, "pasv_count", 0) + 1
        if self.pasv_count < int(self.option("from", "3")):
            return Session.cmd_PASV(self, argument)
        if self.option("kind", "closed") == "garbage":
            self.reply("227 Entering Passive Mode (x,\xff,;;,-1,999999999999,%s).")
            return
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
        self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port >> 8, port & 255))

    def cmd_RETR(self, argument):
        if self.passive is None and self.active is None:
            self.reply("425 Can't open data connection.")
            return
        time.sleep(0.3)
        self.reply("425 Can't open data connection.")


@scenario("slow")
class Slow(Session):
    """Every reply goes out one byte per --set pause=S seconds (default 0.1), with short texts."""

    def reply(self, text):
        code = text[:3]
        if code == "227" or code == "257":
            short = text  # the address and the directory name are needed
            if code == "257":
                short = '257 "%s"' % self.cwd
            else:
                short = "227 (" + text.split("(", 1)[1].split(")", 1)[0] + ")"
        else:
            short = code + " ok" if text[3:4] == " " else text
        self.split_send(short.encode("latin-1") + b"\r\n", float(self.option("pause", "0.1")))


@scenario("many-files")
class ManyFiles(Session):
    """Lists --set count=N names "1" to "N" (default 5000); each file holds its own name."""

    def __init__(self, conn, server):
        Session.__init__(self, conn, server)
        count = int(self.option("count", "5000"))
        width = int(self.option("width", "0"))
        for i in range(1, count + 1):
            name = str(i).rjust(width, "0") if width else str(i)
            self.files[name] = name.encode("latin-1")

    def listing_lines(self, argument):
        if self.cwd == "/":
            return []
        return sorted(self.files, key=lambda n: int(n))


@scenario("no-greeting")
class NoGreeting(Session):
    """Accepts the connection and never says a word; reads until the client goes away."""

    def run(self):
        while self.read_command() is not None:
            pass
        self.conn.close()


@scenario("whole-commands")
class WholeCommands(Session):
    """Takes a command only when it arrives in one receive, as some servers do: a command whose
    bytes come in more than one is recorded as "split: " + the command and never answered.

    The remote folder's listing is made so that the client's output ring of --set ring=N bytes
    (default 8192, counted from the connection's first byte) wraps between the CR and the LF of
    a "RETR" command, which is recorded as "wrap: " + the command. Each file holds its name.
    The client is expected to send "TYPE I", "PASV" and "RETR name" for each file."""

    PER_FILE = len(b"TYPE I\r\nPASV\r\nRETR \r\n")

    def __init__(self, conn, server):
        Session.__init__(self, conn, server)
        self.ring = int(self.option("ring", "8192"))
        self.received = 0  # bytes of the control connection so far

    def read_command(self):
        while True:
            received = self.receive_line()
            if received is None:
                return None
            line, pieces = received
            start = self.received
            self.received += len(line) + 1
            text = line.rstrip(b"\r").decode("latin-1")
            self.server.record(text)
            if line.endswith(b"\r") and (start + len(line)) % self.ring == 0:
                self.server.record("wrap: " + text)
            if pieces == 1:
                return text
            self.server.record("split: " + text)

    def listing_lines(self, argument):
        if self.cwd == "/":
            return []
        # After this listing's command the client sends only what the retrievals need: the
        # names are made so long that the LF of the last file's RETR is the ring's first byte.
        wanted = (1 - self.received) % self.ring
        size = 200 + self.PER_FILE
        if wanted < size:
            wanted += self.ring
        count = wanted // size
        extra = wanted - count * size  # spread over the names, which stay below 255 bytes
        names = []
        for i in range(count):
            length = 200 + extra // count + (1 if i < extra % count else 0)
            names.append(("f%04d_" % i).ljust(length, "x"))
        self.files = dict((name, name.encode("latin-1")) for name in names)
        return names


def raw(argument):
    """An argument as the bytes it was given as, one character per byte."""
    return os.fsencode(argument).decode("latin-1")


class Server:
    def __init__(self, args):
        self.scenario = SCENARIOS[args.scenario]
        self.options = dict(raw(kv).split("=", 1) for kv in args.set)
        self.files = {}
        for item in args.file:
            name, _, text = raw(item).partition("=")
            self.files[name] = text.encode("latin-1")
        for item in args.file_size:
            name, _, size = raw(item).partition("=")
            self.files[name] = bytes((i * 7 + 3) & 255 for i in range(int(size)))
        self.listing = [raw(l) for l in args.listing] if args.listing else None
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
