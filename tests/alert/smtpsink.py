#!/usr/bin/python3
# A mail server for the alert tests: aiosmtpd on 127.0.0.1, on a port the system picks (printed
# as the first line), each accepted mail written as a file of its own into FOLDER. While the file
# FOLDER/refuse exists every mail is refused with 550.
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if os.path.exists(os.path.join(self.folder, "refuse")):
            return "550 5.7.1 refused for the test"
        self.count += 1
        name = os.path.join(self.folder, "mail-%04d.eml" % self.count)
        with open(name + ".part", "wb") as f:
            f.write(b"X-Rcpt: " + ",".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        os.rename(name + ".part", name)
        return "250 OK"


async def main(folder):
    loop = asyncio.get_running_loop()
    sink = Sink(folder)
    server = await loop.create_server(lambda: SMTP(sink, hostname="localhost"), "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    # Ends when the test closes standard input (or dies).
    reader = asyncio.StreamReader()
    await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    await reader.read()
    server.close()


asyncio.run(main(sys.argv[1]))
