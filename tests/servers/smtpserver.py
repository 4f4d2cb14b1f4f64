#!/usr/bin/env python3
"""A real SMTP server for tests: aiosmtpd on 127.0.0.1.

It writes the port to --port-file once it listens. Every message it takes
is stored in --outdir as msg-N.eml (as received), msg-N.json (envelope,
headers, decoded text and the attachments' names and types, as Python's
email package reads them) and msg-N-att-K.bin (each attachment decoded;
uuencoded blocks in a text body count as attachments too).
A recipient whose address starts with "refuse" is refused with 550.
"""
import argparse
import binascii
import email
import email.policy
import json
import os
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller


def uu_blocks(text):
    """(name, bytes) of every "begin 600 name" ... "end" block."""
    blocks, name, data = [], None, b""
    for line in text.splitlines():
        if name is None:
            if line.startswith("begin "):
                name = line.split(" ", 2)[2]
                data = b""
        elif line == "end":
            blocks.append((name, data))
            name = None
        elif line and line != "`":
            data += binascii.a2b_uu(line)
    return blocks


class Handler:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refuse"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        raw = envelope.original_content or envelope.content
        base = os.path.join(self.outdir, "msg-%d" % n)
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "headers": {k: [str(v) for v in msg.get_all(k)] for k in set(msg.keys())},
            "defects": [str(d) for d in msg.defects],
            "text": "",
            "attachments": [],
        }
        k = 0
        for part in msg.walk():
            if part.is_multipart():
                continue
            if part.get_content_disposition() == "attachment" or part.get_filename():
                k += 1
                payload = part.get_payload(decode=True) or b""
                with open("%s-att-%d.bin" % (base, k), "wb") as f:
                    f.write(payload)
                info["attachments"].append({"name": part.get_filename(), "type": part.get_content_type()})
            elif part.get_content_type() == "text/plain" and not info["text"]:
                info["text"] = part.get_content()
        for name, data in uu_blocks(info["text"]):
            k += 1
            with open("%s-att-%d.bin" % (base, k), "wb") as f:
                f.write(data)
            info["attachments"].append({"name": name, "type": "uuencoded"})
        with open(base + ".json.tmp", "w") as f:
            json.dump(info, f)
        os.rename(base + ".json.tmp", base + ".json")
        return "250 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--outdir", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    controller = Controller(Handler(args.outdir), hostname="127.0.0.1", port=port,
                            data_size_limit=256 * 1024 * 1024)
    controller.start()
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.rename(tmp, args.port_file)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait()
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
