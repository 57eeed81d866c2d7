#!/usr/bin/python3
"""FTP server for the tests, on pyftpdlib, with switchable faults.

It serves one folder to one user with full write rights, listens on the
loopback address only, prints "PORT <n>" once listening, and can record every
command it receives. The fault switches emulate slow links, lost connections,
refusals and stalls so that the client's handling of each can be tested.
"""

import argparse
import collections
import ipaddress
import logging
import os
import random
import socket
import sys
import threading
import time

# Plain FTP only: keeping pyOpenSSL out (pyftpdlib imports it for its TLS
# handlers when installed) saves most of the start-up time of every test.
sys.modules.setdefault("OpenSSL", None)

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, PassiveDTP, proto_cmds
from pyftpdlib.handlers import _FileReadWriteError
from pyftpdlib.ioloop import RetryError, timer
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

FULL_PERMISSIONS = "elradfmwMT"
LOOPBACK_HOSTS = ("127.0.0.1", "::1", "localhost")


class Faults:
    """The switches of one server run, shared by every session."""

    def __init__(self, args):
        self.reply_delay = args.reply_delay / 1000.0
        self.accept_delay = args.accept_delay / 1000.0
        self.drop_after = args.drop_after
        self.drop_rate = args.drop_rate
        self.drop_random = random.Random(args.drop_seed)
        self.drop_in_transfer = args.drop_in_transfer
        self.refuse_mkd = args.refuse_mkd
        self.refuse_stor = args.refuse_stor
        # Refuses only the first K uploads of the whole run, then accepts.
        self.refuse_stor_count = args.refuse_stor_count
        self.disk_full = args.disk_full
        self.stall_on = set(cmd.upper() for cmd in args.stall_on)
        self.stall_stor_after = args.stall_stor_after
        self.fault_sessions = args.fault_sessions
        self.log_file = None
        self.log_times = args.log_times
        if args.log:
            # Unbuffered binary appends: one write per line, visible at once
            # to the test that reads the file while the server runs.
            self.log_file = open(args.log, "ab", buffering=0)
        self.sessions = 0

    def applies_to(self, session):
        return self.fault_sessions is None or session <= self.fault_sessions

    def record(self, session, line):
        if self.log_file is None:
            return
        # A stray CR or LF inside a command must not split its log line.
        text = line.replace("\r", "\\r").replace("\n", "\\n")
        if self.log_times:
            # Wall-clock arrival time, for the benchmarks' account of waits.
            text = "%.6f %s" % (time.time(), text)
        self.log_file.write(("%d %s\n" % (session, text)).encode("utf-8", "replace"))


def masked(line):
    verb, sep, arg = line.partition(" ")
    if verb.upper() == "PASS" and arg:
        return verb + sep + "****"
    return line


class TestDTPHandler(DTPHandler):
    """Data channel that can drop, stall, fail or hold back its final reply."""

    def __init__(self, sock, cmd_channel):
        self.drop_at = None
        self.stall_at = None
        self.discard = False
        self.final_reply = None
        self.silent = False
        DTPHandler.__init__(self, sock, cmd_channel)

    def enable_receiving(self, type, cmd):
        DTPHandler.enable_receiving(self, type, cmd)
        if cmd == "STOR":
            faults = self.cmd_channel.stor_faults
            self.drop_at = faults.get("drop_at")
            self.stall_at = faults.get("stall_at")
            self.discard = faults.get("discard", False)
            self.final_reply = faults.get("final_reply")
            self.silent = faults.get("silent", False)

    def handle_read(self):
        limit = self.ac_in_buffer_size
        for threshold in (self.drop_at, self.stall_at):
            if threshold is not None:
                limit = min(limit, max(0, threshold - self.tot_bytes_received))
        if limit > 0:
            try:
                chunk = self.recv(limit)
            except RetryError:
                return
            except socket.error:
                self.handle_error()
                return
            self.tot_bytes_received += len(chunk)
            if not chunk:
                self.transfer_finished = True
                return
            if self._data_wrapper is not None:
                chunk = self._data_wrapper(chunk)
            if not self.discard:
                try:
                    self.file_obj.write(chunk)
                except OSError as err:
                    raise _FileReadWriteError(err)
        received = self.tot_bytes_received
        if self.drop_at is not None and received >= self.drop_at:
            self.drop_both()
        elif self.stall_at is not None and received >= self.stall_at:
            # No more reads: the client's send buffer fills and its upload
            # stops while both connections stay open. What came is on disk.
            self.modify_ioloop_events(0)
            if not self.discard:
                self.file_obj.flush()

    # The base class binds the event to its own handle_read.
    handle_read_event = handle_read

    def drop_both(self):
        self._resp = ()
        channel = self.cmd_channel
        self.close()
        channel.drop()

    def close(self):
        if not self._closed:
            if self.silent:
                self._resp = ()
            elif self.final_reply and self._resp and self._resp[0].startswith("226"):
                self._resp = (self.final_reply, self._resp[1])
        DTPHandler.close(self)


class TestPassiveDTP(PassiveDTP):
    """Passive listener that can hold each accepted connection for a while."""

    def __init__(self, cmd_channel, extmode=False):
        self.held = []
        PassiveDTP.__init__(self, cmd_channel, extmode)

    def handle_accepted(self, sock, addr):
        delay = self.cmd_channel.faults.accept_delay
        if delay <= 0:
            PassiveDTP.handle_accepted(self, sock, addr)
            return
        # The kernel has completed the handshake already; the server only
        # starts serving the connection after the delay, as a far one would.
        self.held.append(sock)
        self.call_later(delay, self.release, sock, addr)

    def release(self, sock, addr):
        self.held.remove(sock)
        if self._closed or not self.cmd_channel.connected:
            sock.close()
            return
        PassiveDTP.handle_accepted(self, sock, addr)

    def close(self):
        for sock in self.held:
            try:
                sock.close()
            except OSError:
                pass
        self.held = []
        PassiveDTP.close(self)


class TestFTPHandler(FTPHandler):
    """Control channel that records commands and applies the fault switches."""

    faults = None
    dtp_handler = TestDTPHandler
    passive_dtp = TestPassiveDTP
    auth_failed_timeout = 0
    banner = "Nuvola test server ready."

    def __init__(self, conn, server, ioloop=None):
        faults = self.faults
        faults.sessions += 1
        self.session = faults.sessions
        self.command_count = 0
        self.dropping = False
        self.outbox = collections.deque()
        self.flush_call = None
        self.stor_faults = {}
        FTPHandler.__init__(self, conn, server, ioloop)

    def faulty(self):
        return self.faults.applies_to(self.session)

    # --- delayed replies

    def push(self, s):
        delay = self.faults.reply_delay
        if delay <= 0 and not self.outbox:
            FTPHandler.push(self, s)
            return
        self.enqueue("data", s)

    def close_when_done(self):
        if self.outbox:
            self.enqueue("close_when_done", None)
        else:
            FTPHandler.close_when_done(self)

    def enqueue(self, kind, payload):
        # One FIFO with a due time per entry keeps the replies in order; the
        # scheduler's heap alone would not for equal due times.
        self.outbox.append((timer() + self.faults.reply_delay, kind, payload))
        if self.flush_call is None:
            self.schedule_flush()

    def schedule_flush(self):
        due = self.outbox[0][0]
        self.flush_call = self.ioloop.call_later(max(0.0, due - timer()), self.flush,
                                                 _errback=self.handle_error)

    def flush(self):
        self.flush_call = None
        now = timer()
        while self.outbox and self.outbox[0][0] <= now and not self._closed:
            _, kind, payload = self.outbox.popleft()
            if kind == "data":
                FTPHandler.push(self, payload)
            elif kind == "close_when_done":
                FTPHandler.close_when_done(self)
            else:
                self.close()
        if self.outbox and not self._closed:
            self.schedule_flush()

    def close(self):
        if self.flush_call is not None:
            self.flush_call.cancel()
            self.flush_call = None
        self.outbox.clear()
        FTPHandler.close(self)

    def drop(self):
        """Closes the control connection without a reply; replies already
        given still reach the client first, as on a real line."""
        self.dropping = True
        if self.outbox:
            self.enqueue("close", None)
        else:
            self.close()

    # --- commands

    def found_terminator(self):
        if self.dropping:
            self._in_buffer = []
            self._in_buffer_len = 0
            return
        line = self.decode(b"".join(self._in_buffer))
        self.faults.record(self.session, masked(line))
        self.command_count += 1
        cmd = line.split(" ")[0].upper()
        if self.faulty():
            drop = self.faults.drop_after is not None and self.command_count == self.faults.drop_after
            if self.faults.drop_rate > 0 and self.faults.drop_random.random() < self.faults.drop_rate:
                drop = True
            if drop or (cmd in self.faults.stall_on and cmd != "STOR"):
                self._in_buffer = []
                self._in_buffer_len = 0
                if self._idler is not None and not self._idler.cancelled:
                    self._idler.reset()
                if drop:
                    self.drop()
                return
        FTPHandler.found_terminator(self)

    def ftp_MKD(self, path):
        if self.faulty() and self.faults.refuse_mkd:
            self.respond("550 Permission denied.")
            return None
        return FTPHandler.ftp_MKD(self, path)

    def ftp_STOR(self, file, mode="w"):
        faults = self.faults
        self.stor_faults = {}
        if self.faulty() and "a" not in mode:
            if faults.refuse_stor:
                self.respond("553 Could not create file.")
                return None
            if faults.refuse_stor_count > 0:
                faults.refuse_stor_count -= 1
                self.respond("451 Local error in processing.")
                return None
            self.stor_faults = {
                "drop_at": faults.drop_in_transfer,
                "stall_at": faults.stall_stor_after,
                "silent": "STOR" in faults.stall_on,
            }
            if faults.disk_full:
                self.stor_faults["discard"] = True
                self.stor_faults["final_reply"] = "%d Insufficient storage space." % faults.disk_full
        return FTPHandler.ftp_STOR(self, file, mode)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="FTP server for the tests.")
    parser.add_argument("--root", required=True, help="served folder, created if missing")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--host", default="127.0.0.1", choices=LOOPBACK_HOSTS,
                        help="loopback address to listen on")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--log", help="file that records every command received")
    parser.add_argument("--log-times", action="store_true",
                        help="put each command's arrival time after the session number")
    parser.add_argument("--reply-delay", type=int, default=0, metavar="MS")
    parser.add_argument("--accept-delay", type=int, default=0, metavar="MS")
    parser.add_argument("--drop-after", type=int, metavar="N")
    parser.add_argument("--drop-seed", type=int, default=0, metavar="S")
    parser.add_argument("--drop-rate", type=float, default=0.0, metavar="R")
    parser.add_argument("--drop-in-transfer", type=int, metavar="BYTES")
    parser.add_argument("--refuse-mkd", action="store_true")
    parser.add_argument("--refuse-stor", action="store_true")
    parser.add_argument("--refuse-stor-count", type=int, default=0, metavar="K",
                        help="answer the first K STOR commands with 451, then accept")
    parser.add_argument("--disk-full", nargs="?", type=int, const=452, default=0,
                        choices=(452, 552), metavar="CODE")
    parser.add_argument("--stall-on", action="append", default=[], metavar="CMD")
    parser.add_argument("--stall-stor-after", type=int, metavar="BYTES")
    parser.add_argument("--no-epsv", action="store_true")
    parser.add_argument("--pasv-address", metavar="A")
    parser.add_argument("--fault-sessions", type=int, metavar="K",
                        help="apply the fault switches to sessions 1..K only")
    parser.add_argument("--quit-on-eof", action="store_true",
                        help="exit when standard input closes (the test process died)")
    args = parser.parse_args(argv)

    for name in ("port", "reply_delay", "accept_delay", "drop_in_transfer",
                 "stall_stor_after", "fault_sessions"):
        value = getattr(args, name)
        if value is not None and value < 0:
            parser.error("--%s must not be negative" % name.replace("_", "-"))
    if args.port > 65535:
        parser.error("--port must be at most 65535")
    if args.drop_after is not None and args.drop_after < 1:
        parser.error("--drop-after counts commands from 1")
    if not 0.0 <= args.drop_rate <= 1.0:
        parser.error("--drop-rate must lie between 0 and 1")
    if args.pasv_address is not None:
        try:
            ipaddress.IPv4Address(args.pasv_address)
        except ValueError:
            parser.error("--pasv-address needs an IPv4 address")
    return args


def watch_stdin():
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except (AttributeError, OSError, ValueError):
        pass
    os._exit(0)


def main(argv):
    args = parse_arguments(argv)
    config_logging(level=logging.WARNING)

    root = os.path.abspath(args.root)
    try:
        os.makedirs(root, exist_ok=True)
        faults = Faults(args)
    except OSError as err:
        sys.stderr.write("ftpserver: %s\n" % err)
        return 1

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, root, perm=FULL_PERMISSIONS)

    handler = type("ConfiguredHandler", (TestFTPHandler,), {})
    handler.authorizer = authorizer
    handler.faults = faults
    if args.pasv_address:
        handler.masquerade_address = args.pasv_address
    if args.no_epsv:
        commands = dict(proto_cmds)
        del commands["EPSV"]
        handler.proto_cmds = commands

    try:
        server = FTPServer((args.host, args.port), handler)
    except OSError as err:
        sys.stderr.write("ftpserver: cannot listen on %s port %d: %s\n"
                         % (args.host, args.port, err))
        return 1

    if args.quit_on_eof:
        threading.Thread(target=watch_stdin, daemon=True).start()

    sys.stdout.write("PORT %d\n" % server.address[1])
    sys.stdout.flush()
    server.serve_forever(handle_exit=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
