#!/usr/bin/python3
"""A scripted SMTP peer for the SMTP client's tests, on aiosmtpd. Listeners on
free ports of 127.0.0.1, each written to STATE_DIR/NAME.port:

  plain     AUTH PLAIN and LOGIN (authenticator), CRAM-MD5 and NTLM (handler
            methods), no TLS
  fallback  NTLM, CRAM-MD5 and LOGIN answer 504; PLAIN works
  starttls  STARTTLS required before anything else, AUTH only over TLS
  implicit  TLS from the first byte
  oddauth   AUTH offered only by XOAUTH2, a mechanism the client lacks

Users: alice/wonderland and bob/builder; the NTLM user ntlm has the password
"Password" and the server's challenge is 0123456789abcdef, so the expected
NT response is a published test vector. RCPT for an address that starts with
"refuse" is answered 550. Every accepted message goes to STATE_DIR/inbox as
ID.eml (the bytes received, dot-stuffing undone) and ID.json (envelope, the
mechanisms tried, the login, whether TLS was on, the EHLO count), ID being
the Message-ID with unsafe characters replaced.

Usage: smtp_peer.py STATE_DIR (with STATE_DIR/server.crt and server.key)."""
import base64
import hmac
import json
import os
import re
import signal
import socket
import ssl
import struct
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult

PASSWORDS = {b"alice": b"wonderland", b"bob": b"builder"}
NTLM_USER, NTLM_CHALLENGE = "ntlm", bytes.fromhex("0123456789abcdef")
NTLM_NT_RESPONSE = bytes.fromhex("67c43011f30298a2ad35ece64f16331c44bdbed927841f94")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


# What happened on a connection is noted on its server object, which lives
# through STARTTLS (the session does not).
def note(server, key, value):
    if not hasattr(server, "pwx"):
        server.pwx = {"mechanisms": [], "ehlo_count": 0, "login": None, "tls_at_auth": None}
    if key == "mechanisms":
        server.pwx[key].append(value)
    elif key == "ehlo_count":
        server.pwx[key] += 1
    else:
        server.pwx[key] = value


def on_tls(server):
    return server.transport.get_extra_info("ssl_object") is not None


def authenticator(server, session, envelope, mechanism, auth_data):
    note(server, "mechanisms", mechanism)
    note(server, "tls_at_auth", on_tls(server))
    ok = PASSWORDS.get(auth_data.login) == auth_data.password
    if ok:
        note(server, "login", auth_data.login.decode())
    return AuthResult(success=ok, handled=False)


def ntlm_challenge_message():
    # Signature, type 2, an empty target name, flags (unicode, NTLM), the
    # challenge, reserved bytes and empty target information.
    return (b"NTLMSSP\0" + struct.pack("<I", 2) + struct.pack("<HHI", 0, 0, 48) + struct.pack("<I", 0x8201) +
            NTLM_CHALLENGE + bytes(8) + struct.pack("<HHI", 0, 0, 48))


def ntlm_field(msg, at):
    length, _, offset = struct.unpack_from("<HHI", msg, at)
    return msg[offset:offset + length]


class Handler:
    def __init__(self, refuse_mechanisms=()):
        self.refuse = set(refuse_mechanisms)
        self.lock = threading.Lock()

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        note(server, "ehlo_count", 1)
        session.host_name = hostname
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refuse"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def refused(self, server, name):
        note(server, "mechanisms", name)
        await server.push("504 5.5.4 Unrecognized authentication type")
        return AuthResult(success=False, handled=True)

    async def auth_CRAM__MD5(self, server, args):
        if "CRAM-MD5" in self.refuse:
            return await self.refused(server, "CRAM-MD5")
        note(server, "mechanisms", "CRAM-MD5")
        note(server, "tls_at_auth", on_tls(server))
        challenge = b"<%d.pelliwox@peer.test>" % os.getpid()
        answer = await server.challenge_auth(challenge)
        if answer is MISSING:
            return AuthResult(success=False, handled=True)
        user, _, digest = answer.partition(b" ")
        key = PASSWORDS.get(user)
        ok = key is not None and hmac.compare_digest(digest, hmac.new(key, challenge, "md5").hexdigest().encode())
        if ok:
            note(server, "login", user.decode())
        return AuthResult(success=ok, handled=False)

    async def auth_NTLM(self, server, args):
        if "NTLM" in self.refuse:
            return await self.refused(server, "NTLM")
        note(server, "mechanisms", "NTLM")
        note(server, "tls_at_auth", on_tls(server))
        negotiate = base64.b64decode(args[1]) if len(args) > 1 else b""
        if negotiate[:12] != b"NTLMSSP\0\x01\0\0\0":
            await server.push("501 5.5.2 Not an NTLM negotiate message")
            return AuthResult(success=False, handled=True)
        answer = await server.challenge_auth(ntlm_challenge_message())
        if answer is MISSING or answer[:12] != b"NTLMSSP\0\x03\0\0\0":
            return AuthResult(success=False, handled=False)
        user = ntlm_field(answer, 36)
        user = user.decode("utf-16-le") if len(user) % 2 == 0 and b"\0" in user else user.decode("latin-1")
        ok = user.lower() == NTLM_USER and ntlm_field(answer, 20) == NTLM_NT_RESPONSE
        if ok:
            note(server, "login", user)
        return AuthResult(success=ok, handled=False)

    async def auth_LOGIN(self, server, args):
        if "LOGIN" in self.refuse:
            return await self.refused(server, "LOGIN")
        # The built-in exchange, reached through the server's own method.
        return await type(server).auth_LOGIN(server, None, args)

    async def auth_XOAUTH2(self, server, args):
        note(server, "mechanisms", "XOAUTH2")
        return AuthResult(success=False, handled=False)

    async def handle_DATA(self, server, session, envelope):
        content = envelope.original_content
        found = re.search(rb"^Message-ID:\s*<([^>\r\n]+)>", content, re.IGNORECASE | re.MULTILINE)
        ident = found.group(1).decode("latin-1") if found else "no-message-id"
        ident = re.sub(r"[^A-Za-z0-9.@_-]", "_", ident)
        info = dict(getattr(server, "pwx", {}))
        info.update(mail_from=envelope.mail_from, rcpt_tos=envelope.rcpt_tos, tls=on_tls(server),
                    message_id=ident)
        with self.lock:
            with open(os.path.join(inbox, ident + ".eml"), "wb") as f:
                f.write(content)
            with open(os.path.join(inbox, ident + ".json"), "w") as f:
                json.dump(info, f)
        return "250 2.0.0 Message accepted"


state = sys.argv[1]
inbox = os.path.join(state, "inbox")
os.makedirs(inbox, exist_ok=True)
tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
tls.load_cert_chain(os.path.join(state, "server.crt"), os.path.join(state, "server.key"))

listeners = {
    "plain": (Handler(), dict(auth_require_tls=False)),
    "fallback": (Handler(refuse_mechanisms=("NTLM", "CRAM-MD5", "LOGIN")), dict(auth_require_tls=False)),
    "starttls": (Handler(), dict(tls_context=tls, require_starttls=True, auth_require_tls=True)),
    "implicit": (Handler(), dict(auth_require_tls=False, ssl_context=tls)),
    "oddauth": (Handler(), dict(auth_require_tls=False,
                                auth_exclude_mechanism=["PLAIN", "LOGIN", "CRAM-MD5", "NTLM"])),
}
controllers = []
for name, (handler, options) in listeners.items():
    port = free_port()
    c = Controller(handler, hostname="127.0.0.1", port=port, authenticator=authenticator, decode_data=False,
                   server_hostname="peer.test", **options)
    c.start()
    controllers.append(c)
    with open(os.path.join(state, name + ".port"), "w") as f:
        f.write(str(port))

stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
signal.signal(signal.SIGINT, lambda *_: stop.set())
stop.wait()
for c in controllers:
    c.stop()
