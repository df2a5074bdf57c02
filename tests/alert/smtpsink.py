#!/usr/bin/python3
# A mail server for the alert tests: aiosmtpd on 127.0.0.1, on ports the system picks.
#   smtpsink.py FOLDER [CERT KEY [KIND:CERT:KEY ...]]
# Without CERT the one server offers no STARTTLS. With CERT and KEY the first server offers
# STARTTLS with that certificate and requires it before MAIL; one more server listens without
# STARTTLS ("plain"), and one for each KIND:CERT:KEY offers STARTTLS with that other certificate.
# The first line printed is "PORT" or "PORT plain=PORT KIND=PORT ...". The first server writes
# each accepted mail as a file of its own into FOLDER, the others into FOLDER/KIND; every server
# appends "MAIL tls" or "MAIL plain" to its folder's commands.log for each MAIL command it sees,
# so a test can tell whether anything was offered in clear. While the file FOLDER/refuse exists
# the first server refuses every mail with 550.
import asyncio
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder, refuse):
        self.folder = folder
        self.refuse = refuse
        self.count = 0
        os.makedirs(folder, exist_ok=True)

    def note(self, line):
        with open(os.path.join(self.folder, "commands.log"), "a") as f:
            f.write(line + "\n")

    async def handle_MAIL(self, server, session, envelope, address, options):
        self.note("MAIL tls" if session.ssl else "MAIL plain")
        envelope.mail_from = address
        envelope.mail_options.extend(options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.refuse and os.path.exists(self.refuse):
            return "550 5.7.1 refused for the test"
        self.count += 1
        name = os.path.join(self.folder, "mail-%04d.eml" % self.count)
        with open(name + ".part", "wb") as f:
            f.write(b"X-Rcpt: " + ",".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        os.rename(name + ".part", name)
        return "250 OK"


def tls(cert, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    return context


async def listen(loop, sink, context):
    def make():
        if context is None:
            return SMTP(sink, hostname="localhost")
        return SMTP(sink, hostname="localhost", tls_context=context, require_starttls=True)

    server = await loop.create_server(make, "127.0.0.1", 0)
    return server, server.sockets[0].getsockname()[1]


async def main(folder, args):
    loop = asyncio.get_running_loop()
    refuse = os.path.join(folder, "refuse")
    servers = []
    first, port = await listen(loop, Sink(folder, refuse),
                               tls(args[0], args[1]) if len(args) >= 2 else None)
    servers.append(first)
    line = [str(port)]
    if len(args) >= 2:
        others = [("plain", None)]
        for server_args in args[2:]:
            kind, cert, key = server_args.split(":")
            others.append((kind, tls(cert, key)))
        for kind, context in others:
            server, port = await listen(loop, Sink(os.path.join(folder, kind), None), context)
            servers.append(server)
            line.append("%s=%d" % (kind, port))
    print(" ".join(line), flush=True)
    # Ends when the test closes standard input (or dies).
    reader = asyncio.StreamReader()
    await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    await reader.read()
    for server in servers:
        server.close()


asyncio.run(main(sys.argv[1], sys.argv[2:]))
