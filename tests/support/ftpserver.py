#!/usr/bin/python3
"""FTP server for the tests, on pyftpdlib, with switchable faults.

It serves one folder to one user with full write rights, listens on the
loopback address only, prints "PORT <n>" once listening, and can record every
command it receives. The fault switches emulate slow links, lost connections,
refusals and stalls so that the client's handling of each can be tested.

With --tls-cert it also speaks explicit FTPS (AUTH TLS, PBSZ, PROT); without
it AUTH is an unknown command, as on a server that has no TLS at all.
"""

import argparse
import collections
import errno
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
WANTS_TLS = any(arg.startswith("--tls") for arg in sys.argv[1:])
if not WANTS_TLS:
    sys.modules.setdefault("OpenSSL", None)

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, PassiveDTP
from pyftpdlib.handlers import _FileReadWriteError
from pyftpdlib.ioloop import RetryError, timer
from pyftpdlib.log import config_logging, logger
from pyftpdlib.servers import FTPServer

try:
    from OpenSSL import SSL
    from OpenSSL._util import lib as ssl_lib
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
except ImportError:
    SSL = None


FULL_PERMISSIONS = "elradfmwMT"
LOOPBACK_HOSTS = ("127.0.0.1", "::1", "localhost")
# The shortest wait of the event loop when a scheduled call is due already.
DUE_POLL_TIMEOUT = 0.0005
TRANSFER_COMMANDS = frozenset(("STOR", "STOU", "APPE", "RETR", "LIST", "NLST", "MLSD"))
DATA_SETUP_COMMANDS = frozenset(("PASV", "EPSV", "PORT", "EPRT"))
# vsftpd's answer, with require_ssl_reuse, to a data connection that did not
# resume the control connection's TLS session.
REUSE_REFUSAL = "522 SSL connection failed: session reuse required."
DISCONNECTED_ERRNOS = frozenset((errno.EPIPE, errno.ENOTCONN, errno.ESHUTDOWN, errno.ECONNABORTED,
                                 errno.EBADF))
TLS_VERSIONS = {"1.2": "TLS1_2_VERSION", "1.3": "TLS1_3_VERSION"}


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
        # The folder a session starts in, as on a server that does not shut
        # the account in its home: "/home/nuvola" rather than "/".
        self.login_folder = args.login_folder
        # Refuses only the first K uploads of the whole run, then accepts.
        self.refuse_stor_count = args.refuse_stor_count
        # The session whose first CWD is refused, whatever --fault-sessions
        # says: a later session's trouble after an earlier one's.
        self.refuse_cwd_session = args.refuse_cwd_session
        self.disk_full = args.disk_full
        self.stall_on = set(cmd.upper() for cmd in args.stall_on)
        self.stall_stor_after = args.stall_stor_after
        self.read_limit = args.read_limit
        self.fault_sessions = args.fault_sessions
        self.tls_handshake_delay = args.tls_handshake_delay / 1000.0
        self.tls_require_reuse = args.tls_require_reuse
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
        self.read_limit = 0
        self.discard = False
        self.final_reply = None
        self.silent = False
        super().__init__(sock, cmd_channel)

    def enable_receiving(self, type, cmd):
        super().enable_receiving(type, cmd)
        if cmd == "STOR":
            faults = self.cmd_channel.stor_faults
            self.drop_at = faults.get("drop_at")
            self.stall_at = faults.get("stall_at")
            self.discard = faults.get("discard", False)
            self.final_reply = faults.get("final_reply")
            self.silent = faults.get("silent", False)
            self.read_limit = faults.get("read_limit") or 0

    def handle_read(self):
        limit = self.ac_in_buffer_size
        if self.read_limit:
            # About ten reads a second, so that the pace is even.
            limit = min(limit, max(1, self.read_limit // 10))
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
            if self.read_limit:
                self.modify_ioloop_events(0)
                self.ioloop.call_later(len(chunk) / float(self.read_limit), self.resume_reading)
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

    def resume_reading(self):
        stalled = self.stall_at is not None and self.tot_bytes_received >= self.stall_at
        if not self._closed and not stalled:
            self.modify_ioloop_events(self.ioloop.READ)

    def drop_both(self):
        self._resp = ()
        # A lost line sends no TLS close_notify either.
        self._error = True
        channel = self.cmd_channel
        self.close()
        channel.drop()

    def close(self):
        if not self._closed:
            if self.silent:
                self._resp = ()
            elif self.final_reply and self._resp and self._resp[0].startswith("226"):
                self._resp = (self.final_reply, self._resp[1])
        super().close()


class TestPassiveDTP(PassiveDTP):
    """Passive listener that can hold each accepted connection for a while."""

    def __init__(self, cmd_channel, extmode=False):
        self.held = []
        PassiveDTP.__init__(self, cmd_channel, extmode)

    def listen(self, backlog):
        if self.cmd_channel.faults.read_limit:
            # Segments and a window of a real line's size. With loopback's
            # 64 KiB segments the client's system takes in megabytes at once,
            # and sees its whole upload leave long before the server read it.
            self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, 1400)
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 65536)
        PassiveDTP.listen(self, backlog)

    def handle_accepted(self, sock, addr):
        delay = self.cmd_channel.faults.accept_delay
        if getattr(self.cmd_channel, "_prot", False):
            # Held longer, the TLS handshake costs the client one more
            # round trip, as it does on a far server.
            delay += self.cmd_channel.faults.tls_handshake_delay
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
        self.cwd_count = 0
        super().__init__(conn, server, ioloop)

    def faulty(self):
        return self.faults.applies_to(self.session)

    def on_login(self, username):
        if self.faults.login_folder:
            self.fs.cwd = self.faults.login_folder

    # --- delayed replies

    def push(self, s):
        delay = self.faults.reply_delay
        if delay <= 0 and not self.outbox:
            super().push(s)
            return
        self.enqueue("data", s)

    def close_when_done(self):
        if self.outbox:
            self.enqueue("close_when_done", None)
        else:
            super().close_when_done()

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
                super().push(payload)
            elif kind == "close_when_done":
                super().close_when_done()
            elif kind == "secure":
                self.start_tls()
            else:
                self.close()
        if self.outbox and not self._closed:
            self.schedule_flush()

    def close(self):
        if self.flush_call is not None:
            self.flush_call.cancel()
            self.flush_call = None
        self.outbox.clear()
        super().close()

    def drop(self):
        """Closes the control connection without a reply; replies already
        given still reach the client first, as on a real line."""
        self.dropping = True
        # A lost line sends no TLS close_notify either.
        self._error = True
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
        super().found_terminator()

    def ftp_CWD(self, path):
        self.cwd_count += 1
        if self.session == self.faults.refuse_cwd_session and self.cwd_count == 1:
            self.respond("550 No such file or directory.")
            return None
        return super().ftp_CWD(path)

    def ftp_MKD(self, path):
        if self.faulty() and self.faults.refuse_mkd:
            self.respond("550 Permission denied.")
            return None
        return super().ftp_MKD(path)

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
                "read_limit": faults.read_limit,
                "silent": "STOR" in faults.stall_on,
            }
            if faults.disk_full:
                self.stor_faults["discard"] = True
                self.stor_faults["final_reply"] = "%d Insufficient storage space." % faults.disk_full
        return super().ftp_STOR(file, mode)


if SSL is not None:

    def session_resumed(connection):
        return bool(ssl_lib.SSL_session_reused(connection._ssl))

    class TestTLSDTPHandler(TestDTPHandler, TLS_DTPHandler):
        """Data channel in TLS that can insist on a resumed session."""

        def secure_connection(self, ssl_context):
            # --tls-data-cert: another certificate, in a context of its own,
            # so that the session cannot be resumed either.
            data_context = getattr(self.cmd_channel, "data_ssl_context", None)
            super().secure_connection(data_context or ssl_context)

        def handle_read_event(self):
            # TestDTPHandler binds the event to its reads directly, which
            # would skip the handshake: the TLS steps come first, as in
            # pyftpdlib's own TLS handler.
            if not self._ssl_requested:
                self.handle_read()
                return
            with self._handle_ssl_want_rw():
                self._ssl_want_read = False
                if self._ssl_accepting:
                    self._do_ssl_handshake()
                elif self._ssl_closing:
                    self._do_ssl_shutdown()
                else:
                    self.handle_read()

        def recv(self, buffer_size):
            if not self.receive:
                return super().recv(buffer_size)
            # As pyftpdlib's own TLS recv, but a reset is no orderly end: the
            # kernel threw away what the client sent and was not read yet, so
            # 226 would hide a lost tail (a TLS client closing with the
            # server's session ticket unread causes just that).
            try:
                return self.socket.recv(buffer_size)
            except SSL.WantReadError:
                self._ssl_want_read = True
                raise RetryError
            except SSL.WantWriteError:
                self._ssl_want_write = True
                raise RetryError
            except SSL.ZeroReturnError:
                DTPHandler.handle_close(self)
                return b""
            except SSL.SysCallError as err:
                errnum, errstr = err.args
                if errnum == errno.ECONNRESET:
                    self._error = True
                    self._resp = ("426 Connection reset by the client; transfer aborted.",
                                  logger.info)
                    self.close()
                    raise RetryError
                if errnum in DISCONNECTED_ERRNOS or errstr == "Unexpected EOF":
                    DTPHandler.handle_close(self)
                    return b""
                raise

        def readable(self):
            # A client may shake hands before it sends the transfer command
            # (curl does); pyftpdlib would take that early read for a closed
            # connection and drop it.
            return self._ssl_accepting or super().readable()

        def handle_ssl_established(self):
            channel = self.cmd_channel
            if not channel.faults.tls_require_reuse or session_resumed(self.socket):
                return
            self._error = True
            if self.cmd:
                # A transfer already waits on this connection: its reply,
                # then the session ends, as vsftpd ends it.
                self._resp = (REUSE_REFUSAL, logger.info)
                self.close()
                channel.close_when_done()
            else:
                # The handshake came first: the refusal answers the
                # transfer command still to come.
                self._resp = ()
                channel.tls_refusal = REUSE_REFUSAL
                self.close()

    class TestTLSFTPHandler(TestFTPHandler, TLS_FTPHandler):
        """Control channel with explicit TLS (AUTH TLS, PBSZ, PROT)."""

        dtp_handler = TestTLSDTPHandler
        tls_version = None

        def __init__(self, conn, server, ioloop=None):
            self.securing = False
            self.tls_refusal = None
            super().__init__(conn, server, ioloop)
            if self.connected:
                self.ssl_context = self.make_context(self.session)
                if self.data_certfile:
                    self.data_ssl_context = self.make_context(
                        self.session, self.data_certfile, self.data_keyfile, b"data")

        data_certfile = data_keyfile = None

        @classmethod
        def make_context(cls, session, certfile=None, keyfile=None, tag=b""):
            # One context per session, as vsftpd has one process per session:
            # its session cache and ticket keys are this session's alone, so
            # a data connection can resume only this control connection's
            # session, never another client's.
            context = SSL.Context(SSL.TLS_SERVER_METHOD)
            context.set_options(cls.ssl_options)
            if cls.tls_version:
                version = getattr(SSL, TLS_VERSIONS[cls.tls_version])
                context.set_min_proto_version(version)
                context.set_max_proto_version(version)
            context.use_certificate_chain_file(certfile or cls.certfile)
            context.use_privatekey_file(keyfile or cls.keyfile)
            context.check_privatekey()
            context.set_session_id(b"nuvola-test-%s%d" % (tag, session))
            return context

        def process_command(self, cmd, *args, **kwargs):
            if cmd in ("USER", "PASS") and self.tls_control_required and not self._ssl_established:
                self.respond("530 SSL/TLS required on the control channel.")
                return
            if cmd in DATA_SETUP_COMMANDS:
                if self.tls_data_required and not self._prot:
                    self.respond("521 Data connections must be protected: PROT P first.")
                    return
                # A new data connection: the refused one is forgotten.
                self.tls_refusal = None
            elif cmd in TRANSFER_COMMANDS and self.tls_refusal:
                reply, self.tls_refusal = self.tls_refusal, None
                self.respond(reply)
                self.close_when_done()
                return
            super().process_command(cmd, *args, **kwargs)

        def ftp_AUTH(self, line):
            arg = line.upper()
            if self.securing:
                self.respond("503 Already using TLS.")
            elif arg in ("TLS", "TLS-C", "SSL", "TLS-P"):
                self.respond("234 AUTH %s successful." % arg)
                self.securing = True
                # The 234 must leave in clear: with delayed replies the
                # switch waits its turn behind it.
                if self.outbox:
                    self.enqueue("secure", None)
                else:
                    self.start_tls()
            else:
                self.respond("502 Unrecognized encryption type (use TLS or SSL).")

        def start_tls(self):
            self.secure_connection(self.ssl_context)
            delay = self.faults.tls_handshake_delay
            if delay > 0 and not self._closed:
                # The client's hello waits unread, one more round trip.
                self.modify_ioloop_events(0)
                self.call_later(delay, self.resume_tls)

        def resume_tls(self):
            if not self._closed:
                self.modify_ioloop_events(self.ioloop.READ)


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
    parser.add_argument("--login-folder", metavar="PATH",
                        help="absolute folder sessions start in, below the served root")
    parser.add_argument("--refuse-stor-count", type=int, default=0, metavar="K",
                        help="answer the first K STOR commands with 451, then accept")
    parser.add_argument("--disk-full", nargs="?", type=int, const=452, default=0,
                        choices=(452, 552), metavar="CODE")
    parser.add_argument("--stall-on", action="append", default=[], metavar="CMD")
    parser.add_argument("--stall-stor-after", type=int, metavar="BYTES")
    parser.add_argument("--read-limit", type=int, default=0, metavar="BYTES",
                        help="uploads are read at most this many bytes a second")
    parser.add_argument("--refuse-cwd-session", type=int, metavar="S",
                        help="the first CWD of session S is refused with 550")
    parser.add_argument("--no-epsv", action="store_true")
    parser.add_argument("--no-pwd", action="store_true",
                        help="answer PWD as an unknown command")
    parser.add_argument("--pasv-address", metavar="A")
    parser.add_argument("--fault-sessions", type=int, metavar="K",
                        help="apply the fault switches to sessions 1..K only")
    parser.add_argument("--quit-on-eof", action="store_true",
                        help="exit when standard input closes (the test process died)")
    tls = parser.add_argument_group("explicit TLS (FTPS)")
    tls.add_argument("--tls-cert", metavar="PEM",
                     help="server certificate (chain); turns on AUTH TLS, PBSZ and PROT")
    tls.add_argument("--tls-key", metavar="PEM", help="its private key (default: in --tls-cert)")
    tls.add_argument("--tls-required", action="store_true",
                     help="530 to USER/PASS before AUTH, 521 to PASV/EPSV/PORT/EPRT before PROT P")
    tls.add_argument("--tls-require-reuse", action="store_true",
                     help="522 and the end of the session for a data connection that does not "
                          "resume the control connection's TLS session, as vsftpd")
    tls.add_argument("--tls-handshake-delay", type=int, default=0, metavar="MS",
                     help="hold each TLS handshake (control and data) for MS")
    tls.add_argument("--tls-data-cert", metavar="PEM",
                     help="another certificate for the data connections, which then cannot "
                          "resume the control connection's session")
    tls.add_argument("--tls-data-key", metavar="PEM",
                     help="its private key (default: in --tls-data-cert)")
    tls.add_argument("--tls-version", choices=sorted(TLS_VERSIONS),
                     help="accept this TLS version only")
    args = parser.parse_args(argv)

    for name in ("port", "reply_delay", "accept_delay", "drop_in_transfer",
                 "stall_stor_after", "read_limit", "fault_sessions", "tls_handshake_delay"):
        value = getattr(args, name)
        if value is not None and value < 0:
            parser.error("--%s must not be negative" % name.replace("_", "-"))
    if args.port > 65535:
        parser.error("--port must be at most 65535")
    if args.drop_after is not None and args.drop_after < 1:
        parser.error("--drop-after counts commands from 1")
    if not 0.0 <= args.drop_rate <= 1.0:
        parser.error("--drop-rate must lie between 0 and 1")
    if args.tls_cert is None:
        for name in ("tls_key", "tls_required", "tls_require_reuse", "tls_handshake_delay",
                     "tls_version", "tls_data_cert", "tls_data_key"):
            if getattr(args, name):
                parser.error("--%s needs --tls-cert" % name.replace("_", "-"))
    elif SSL is None:
        parser.error("--tls-cert needs pyOpenSSL (python3-openssl)")
    elif args.tls_require_reuse and not hasattr(ssl_lib, "SSL_session_reused"):
        parser.error("--tls-require-reuse: this pyOpenSSL cannot tell a resumed session")
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

    base = TestTLSFTPHandler if args.tls_cert else TestFTPHandler
    handler = type("ConfiguredHandler", (base,), {})
    handler.authorizer = authorizer
    handler.faults = faults
    if args.tls_cert:
        handler.certfile = os.path.abspath(args.tls_cert)
        handler.keyfile = os.path.abspath(args.tls_key or args.tls_cert)
        handler.tls_control_required = args.tls_required
        handler.tls_data_required = args.tls_required
        handler.tls_version = args.tls_version
        if args.tls_data_cert:
            handler.data_certfile = os.path.abspath(args.tls_data_cert)
            handler.data_keyfile = os.path.abspath(args.tls_data_key or args.tls_data_cert)
        try:
            # Built once now so that a bad certificate or key stops the start.
            handler.ssl_context = handler.make_context(0)
            if handler.data_certfile:
                handler.make_context(0, handler.data_certfile, handler.data_keyfile)
        except (SSL.Error, OSError) as err:
            sys.stderr.write("ftpserver: cannot use the certificate or key: %s\n" % (err,))
            return 1
    if args.pasv_address:
        handler.masquerade_address = args.pasv_address
    for flag, verbs in ((args.no_epsv, ("EPSV",)), (args.no_pwd, ("PWD", "XPWD"))):
        if flag:
            commands = dict(handler.proto_cmds)
            for verb in verbs:
                del commands[verb]
            handler.proto_cmds = commands

    try:
        server = FTPServer((args.host, args.port), handler)
    except OSError as err:
        sys.stderr.write("ftpserver: cannot listen on %s port %d: %s\n"
                         % (args.host, args.port, err))
        return 1

    if args.quit_on_eof:
        threading.Thread(target=watch_stdin, daemon=True).start()

    # pyftpdlib's loop takes "next call due now" (0) for "no call at all" and
    # then waits for the next network event, maybe forever: a delayed reply
    # scheduled late, or the call a closing session schedules, could stall
    # every session.
    scheduler = server.ioloop.sched
    next_timeout = scheduler.poll

    def poll_scheduler():
        timeout = next_timeout()
        return DUE_POLL_TIMEOUT if timeout is not None and timeout <= 0 else timeout

    scheduler.poll = poll_scheduler

    sys.stdout.write("PORT %d\n" % server.address[1])
    sys.stdout.flush()
    server.serve_forever(handle_exit=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
