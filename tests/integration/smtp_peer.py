#!/usr/bin/python3
"""SMTP servers on 127.0.0.1 for the e-mail tests, and a reader of the messages they received.

serve DIR: makes a self-signed certificate in DIR, starts the servers below and prints one JSON line with their
ports; every message received is stored as DIR/mail-N.eml with DIR/mail-N.json beside it (server, envelope, TLS,
authentication). Ends when its parent process goes away, on SIGTERM, or after ten minutes at the latest.
  starttls   STARTTLS offered, AUTH (LOGIN, PLAIN) only after it, as a real submission server does
  implicit   TLS from the first byte, AUTH LOGIN and PLAIN
  noauth     plain text, no AUTH at all
  plainonly  plain text, AUTH PLAIN only
  silent     accepts connections and never says anything
Every server with AUTH accepts the user "velkor" with the password "Doğru-Şifre 1".

probe FILE: prints the stored message as JSON: decoded subject and sender name, addresses, the body's content
type and its bytes (base64), and each attachment's file name, size and SHA-256.
"""
import asyncio
import base64
import datetime
import email
import email.header
import email.policy
import email.utils
import hashlib
import json
import os
import signal
import socket
import ssl
import sys
import threading
import time
import warnings

warnings.filterwarnings("ignore")
import logging

logging.getLogger("mail.log").setLevel(logging.CRITICAL)

LIFETIME_SECONDS = 600
USER = "velkor"
PASSWORD = "Doğru-Şifre 1"


def make_certificate(folder):
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID

    key = ec.generate_private_key(ec.SECP256R1())
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "localhost")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=2))
            .add_extension(x509.SubjectAlternativeName([x509.DNSName("localhost")]), critical=False)
            .sign(key, hashes.SHA256()))
    cert_file = os.path.join(folder, "peer-cert.pem")
    key_file = os.path.join(folder, "peer-key.pem")
    with open(cert_file, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_file, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert_file, key_file)
    return context


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TAuthData:
    def __init__(self, mechanism, login):
        self.mechanism = mechanism
        self.login = login


def authenticator(server, session, envelope, mechanism, auth_data):
    from aiosmtpd.smtp import AuthResult
    login = auth_data.login.decode("utf-8", "replace")
    password = auth_data.password.decode("utf-8", "replace")
    return AuthResult(success=login == USER and password == PASSWORD, handled=False,
                      auth_data=TAuthData(mechanism, login))


class Store:
    def __init__(self, folder, name):
        self.folder = folder
        self.name = name

    async def handle_DATA(self, server, session, envelope):
        ssl_object = server.transport.get_extra_info("ssl_object") if server.transport else None
        auth = session.auth_data if session.authenticated else None
        meta = {
            "server": self.name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": ssl_object.version() if ssl_object else None,
            "auth_mechanism": getattr(auth, "mechanism", None),
            "auth_login": getattr(auth, "login", None),
        }
        with Store.lock:
            Store.count += 1
            base = os.path.join(self.folder, "mail-%d" % Store.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".tmp", "w") as f:
            json.dump(meta, f)
        os.rename(base + ".tmp", base + ".json")
        return "250 OK"


Store.lock = threading.Lock()
Store.count = 0


def silent_server(listener):
    held = []
    while True:
        try:
            connection, _ = listener.accept()
            held.append(connection)
        except OSError:
            return


def serve(folder):
    from aiosmtpd.controller import Controller

    context = make_certificate(folder)
    servers = {
        "starttls": dict(tls_context=context, authenticator=authenticator, auth_require_tls=True),
        "implicit": dict(server_kwargs=dict(authenticator=authenticator, auth_require_tls=False),
                         ssl_context=context),
        "noauth": dict(),
        "plainonly": dict(authenticator=authenticator, auth_require_tls=False, auth_exclude_mechanism=["LOGIN"]),
    }
    ports = {}
    controllers = []
    for name, options in servers.items():
        port = free_port()
        server_kwargs = options.pop("server_kwargs", None)
        ssl_context = options.pop("ssl_context", None)
        if server_kwargs is not None:
            controller = Controller(Store(folder, name), hostname="127.0.0.1", port=port, ssl_context=ssl_context,
                                    server_kwargs=server_kwargs)
        else:
            controller = Controller(Store(folder, name), hostname="127.0.0.1", port=port, **options)
        controller.start()
        controllers.append(controller)
        ports[name] = port
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    ports["silent"] = listener.getsockname()[1]
    threading.Thread(target=silent_server, args=(listener,), daemon=True).start()

    print(json.dumps(ports), flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    parent = os.getppid()
    deadline = time.monotonic() + LIFETIME_SECONDS
    while not stop.is_set() and os.getppid() == parent and time.monotonic() < deadline:
        stop.wait(0.2)
    listener.close()
    for controller in controllers:
        controller.stop()


def probe(path):
    with open(path, "rb") as f:
        raw = f.read()
    message = email.message_from_bytes(raw, policy=email.policy.compat32)

    def decoded(header):
        value = message.get(header, "")
        return str(email.header.make_header(email.header.decode_header(value)))

    body = None
    attachments = []
    for part in message.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        if part.get_filename() is not None:
            attachments.append({"filename": str(email.header.make_header(email.header.decode_header(part.get_filename()))),
                                "size": len(payload), "sha256": hashlib.sha256(payload).hexdigest()})
        elif body is None:
            body = {"content_type": part.get("Content-Type", ""), "bytes": base64.b64encode(payload).decode()}
    from_name, from_address = email.utils.parseaddr(message.get("From", ""))
    from_name = str(email.header.make_header(email.header.decode_header(from_name)))
    print(json.dumps({
        "subject": decoded("Subject"),
        "from_name": from_name,
        "from_address": from_address,
        "to": [address for _, address in email.utils.getaddresses(message.get_all("To", []))],
        "top_content_type": message.get_content_type(),
        "body": body,
        "attachments": attachments,
        "longest_line": max(len(line) for line in raw.split(b"\r\n")),
    }, ensure_ascii=False))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "serve":
        serve(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "probe":
        probe(sys.argv[2])
    else:
        sys.exit(__doc__)
