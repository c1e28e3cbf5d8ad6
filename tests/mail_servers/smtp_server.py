#!/usr/bin/python3
"""A recording SMTP server for the mail client tests.

Listens on 127.0.0.1 and a free port, requires AUTH LOGIN with the given user and password, and
appends every message it accepts to the record file as one JSON line (envelope sender,
recipients, the raw data in Base64). With --cert and --key it speaks TLS from the start. Prints
"READY <port>" once it accepts connections and runs until its standard input closes.
"""
import argparse
import base64
import json
import socket
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Recorder:
    def __init__(self, path):
        self.path = path

    async def handle_DATA(self, server, session, envelope):
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "authenticated": bool(session.authenticated),
            "data": base64.b64encode(envelope.original_content).decode("ascii"),
        }
        with open(self.path, "a", encoding="ascii") as out:
            out.write(json.dumps(record) + "\n")
        return "250 2.0.0 Ok: recorded"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()

    def authenticator(server, session, envelope, mechanism, auth_data):
        # Never look at the prompts: only the decoded answers count.
        ok = (
            isinstance(auth_data, LoginPassword)
            and auth_data.login == args.user.encode()
            and auth_data.password == args.password.encode()
        )
        return AuthResult(success=ok, handled=False)

    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    controller = None
    for _ in range(20):  # the free port may be taken in between
        port = free_port()
        candidate = Controller(
            Recorder(args.record),
            hostname="127.0.0.1",
            port=port,
            authenticator=authenticator,
            auth_require_tls=False,
            auth_required=True,
            ssl_context=context,
        )
        try:
            candidate.start()
        except (OSError, RuntimeError):
            continue
        controller = candidate
        break
    if controller is None:
        sys.exit("no free port")

    print(f"READY {port}", flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
