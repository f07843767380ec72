#!/usr/bin/python3
"""Loopback SMTP server for the mail transport tests.

Binds 127.0.0.1 (or --bind) on a free port, prints the port on one line, then
serves until its stdin closes or it receives SIGTERM. Every connection and every accepted
message is appended to the --out file as one JSON object per line:

  {"kind": "connection"}
  {"kind": "auth", "tls": whether the AUTH command came under TLS}
  {"kind": "message", "mail_from": ..., "rcpt_tos": [...], "login": ... or null,
   "data": base64 of the raw message as received (dot-unstuffed),
   "parsed": {"headers": [[name, decoded value], ...], "content_type": ...,
              "body": decoded HTML text, "attachments": [{"filename": ...,
              "content_type": ..., "data": base64}], "defects": [...]}}

With --starttls the server offers STARTTLS (RFC 3207); with --implicit-tls
it speaks TLS from the first byte. Either makes a test CA and a server
certificate for localhost, 127.0.0.1 and ::1 in --tls-dir (ca.pem, the CA a
client may trust) with the openssl command. Message records then say whether
the session was under TLS ("tls").

The normal modes run aiosmtpd. Behaviour aiosmtpd cannot show (never greeting,
a bad or oversized greeting, endless replies, silence after the greeting) is
played by a bare asyncio server selected with --mode.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import logging
import os
import signal
import ssl
import subprocess
import sys
import threading
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, path):
        self._path = path

    def write(self, record):
        if not self._path:
            return
        with open(self._path, "a", encoding="utf-8") as out:
            out.write(json.dumps(record) + "\n")
            out.flush()


def parse_message(raw):
    """The message as a standard mail reader sees it, decoded by Python's
    own email package rather than by the code under test."""
    try:
        message = email.message_from_bytes(raw, policy=email.policy.default)
        parsed = {
            "headers": [[name, str(value)] for name, value in message.items()],
            "content_type": message.get_content_type(),
            "body": None,
            "attachments": [],
            "defects": [],
        }
        for part in message.walk():
            parsed["defects"] += [type(d).__name__ for d in part.defects]
            if part.is_multipart():
                continue
            if part.get_content_type() == "text/html" and parsed["body"] is None:
                parsed["body"] = part.get_content()
            else:
                parsed["attachments"].append({
                    "filename": part.get_filename(),
                    "content_type": part.get_content_type(),
                    "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii"),
                })
        return parsed
    except Exception as error:  # a test wants to see this, not a dead server
        return {"error": repr(error)}


def _text(value):
    if isinstance(value, bytes):
        return value.decode("utf-8", errors="replace")
    return value


class Handler:
    def __init__(self, options, recorder):
        self._options = options
        self._recorder = recorder

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if address in self._options.refuse_sender:
            return "553 5.7.1 Sender address rejected"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self._options.refuse_rcpt:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self._options.refuse_data:
            return self._options.refuse_data
        self._recorder.write({
            "kind": "message",
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "login": _text(getattr(session.auth_data, "login", None)),
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "data": base64.b64encode(envelope.original_content).decode("ascii"),
            "parsed": parse_message(envelope.original_content),
        })
        if self._options.no_answer_after_data:
            await asyncio.Event().wait()
        return "250 Message accepted for delivery"


class TestSMTP(SMTP):
    """aiosmtpd with an AUTH record and the misbehaviour the options ask for."""

    def __init__(self, *args, options, recorder, **kwargs):
        super().__init__(*args, **kwargs)
        self._options = options
        self._recorder = recorder

    async def smtp_AUTH(self, arg):
        tls = self.transport.get_extra_info("ssl_object") is not None
        self._recorder.write({"kind": "auth", "tls": tls})
        await super().smtp_AUTH(arg)

    def _refuses_greeting(self):
        return self._options.refuse_ehlo_after_tls and self.transport.get_extra_info("ssl_object") is not None

    async def smtp_EHLO(self, hostname):
        if self._options.helo_only or self._refuses_greeting():
            return await self.push("502 5.5.1 EHLO not implemented")
        await super().smtp_EHLO(hostname)

    async def smtp_HELO(self, hostname):
        if self._refuses_greeting():
            return await self.push("502 5.5.1 HELO not implemented")
        await super().smtp_HELO(hostname)

    async def smtp_STARTTLS(self, arg):
        if self._options.refuse_starttls:
            return await self.push("454 4.7.0 TLS not available due to temporary reason")
        if self._options.broken_tls:  # says yes, then hangs up: the handshake fails
            await self.push("220 Ready to start TLS")
            return self.transport.close()
        await super().smtp_STARTTLS(arg)

    async def smtp_QUIT(self, arg):
        if self._options.no_answer_to_quit:
            await asyncio.Event().wait()
        await super().smtp_QUIT(arg)

    async def smtp_DATA(self, arg):
        if self._options.drop_during_data and self.envelope.rcpt_tos:
            await self.push("354 End data with <CR><LF>.<CR><LF>")
            self.transport.close()
            return
        await super().smtp_DATA(arg)


def make_certificates(folder):
    """A CA and a server certificate it signed; returns the server's TLS
    context. Elliptic-curve keys: made in milliseconds."""
    def openssl(*args):
        subprocess.run(["openssl", "req", "-x509", "-new", "-newkey", "ec",
                        "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                        "-days", "2", *args],
                       cwd=folder, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    openssl("-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Tarvesk test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("-keyout", "server.key", "-out", "server.pem", "-subj", "/CN=localhost",
            "-CA", "ca.pem", "-CAkey", "ca.key",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1",
            "-addext", "basicConstraints=CA:FALSE")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, "server.pem"),
                            os.path.join(folder, "server.key"))
    return context


def make_authenticator(user, password):
    def authenticator(server, session, envelope, mechanism, auth_data):
        if (isinstance(auth_data, LoginPassword)
                and auth_data.login == user and auth_data.password == password):
            return AuthResult(success=True, auth_data=auth_data)
        # handled=False lets aiosmtpd send the 535 itself; handled=True would
        # leave the client waiting for an answer that never comes.
        return AuthResult(success=False, handled=False)
    return authenticator


async def raw_session(mode, recorder, reader, writer):
    recorder.write({"kind": "connection"})
    try:
        if mode == "never-greet":
            pass
        elif mode == "bad-greeting":
            writer.write(b"554 5.3.2 Service not available\r\n")
        elif mode == "huge-greeting":
            writer.write(b"220 " + b"x" * (1024 * 1024) + b"\r\n")
        elif mode == "endless-greeting":
            while True:
                writer.write(b"220-still greeting you\r\n")
                await writer.drain()
                await asyncio.sleep(0.01)
        elif mode in ("silent-after-greeting", "endless-ehlo"):
            writer.write(b"220 tarvesk-test ESMTP\r\n")
            await writer.drain()
            if mode == "endless-ehlo":
                await reader.readline()
                while True:
                    writer.write(b"250-still answering\r\n")
                    await writer.drain()
                    await asyncio.sleep(0.01)
        await writer.drain()
        # Keep the line open and swallow whatever the client says.
        while await reader.read(65536):
            pass
    except (ConnectionError, asyncio.CancelledError):
        pass
    finally:
        writer.close()


def parse_options(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default="")
    parser.add_argument("--auth", default="", metavar="USER:PASS")
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--refuse-rcpt", action="append", default=[])
    parser.add_argument("--refuse-sender", action="append", default=[])
    parser.add_argument("--drop-during-data", action="store_true")
    parser.add_argument("--no-answer-after-data", action="store_true")
    parser.add_argument("--no-answer-to-quit", action="store_true")
    parser.add_argument("--silent-after-greeting", action="store_true")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--refuse-data", default="", metavar="REPLY",
                        help="answer the end of the message with this reply")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--auth-require-tls", action="store_true",
                        help="offer and take AUTH only after STARTTLS")
    parser.add_argument("--tls-dir", default=".")
    parser.add_argument("--refuse-starttls", action="store_true", help="454")
    parser.add_argument("--broken-tls", action="store_true", help="220, then hang up")
    parser.add_argument("--helo-only", action="store_true", help="refuse EHLO")
    parser.add_argument("--refuse-ehlo-after-tls", action="store_true",
                        help="refuse EHLO and HELO once STARTTLS is done")
    parser.add_argument("--auth-exclude", action="append", default=[],
                        help="an AUTH mechanism not to offer (PLAIN, LOGIN)")
    parser.add_argument("--mode", default="smtp", choices=[
        "smtp", "never-greet", "bad-greeting", "huge-greeting",
        "endless-greeting", "silent-after-greeting", "endless-ehlo"])
    options = parser.parse_args(argv)
    if options.silent_after_greeting:
        options.mode = "silent-after-greeting"
    return options


async def serve(options):
    loop = asyncio.get_running_loop()
    recorder = Recorder(options.out)
    stop = asyncio.Event()

    tls = None
    if options.starttls or options.implicit_tls:
        tls = make_certificates(options.tls_dir)

    if options.mode == "smtp":
        kwargs = {"hostname": "tarvesk-test",
                  "auth_require_tls": options.auth_require_tls,
                  "auth_required": options.require_auth,
                  "auth_exclude_mechanism": options.auth_exclude}
        if options.starttls:
            kwargs["tls_context"] = tls
        if options.auth:
            user, _, password = options.auth.partition(":")
            kwargs["authenticator"] = make_authenticator(
                user.encode("utf-8"), password.encode("utf-8"))
        handler = Handler(options, recorder)

        def accepted():  # connection_made comes again after STARTTLS
            recorder.write({"kind": "connection"})
            return TestSMTP(handler, options=options, recorder=recorder, **kwargs)
        server = await loop.create_server(
            accepted, host=options.bind, port=0,
            ssl=tls if options.implicit_tls else None)
    else:
        server = await asyncio.start_server(
            lambda r, w: raw_session(options.mode, recorder, r, w),
            host=options.bind, port=0)

    print(server.sockets[0].getsockname()[1], flush=True)

    loop.add_signal_handler(signal.SIGTERM, stop.set)

    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        loop.call_soon_threadsafe(stop.set)
    threading.Thread(target=watch_stdin, daemon=True).start()

    await stop.wait()
    server.close()


def main():
    # aiosmtpd warns about AUTH without TLS; loopback tests want exactly that.
    warnings.simplefilter("ignore")
    logging.disable(logging.CRITICAL)
    asyncio.run(serve(parse_options(sys.argv[1:])))


if __name__ == "__main__":
    main()
