#!/usr/bin/env python3
"""Decodes encoder output with Python's standard decoders, for round trips.

  mimedecode.py base64|uu|qp LINES_FILE OUT_FILE

LINES_FILE holds the encoded lines, one per line (LF-terminated).
"""
import base64
import binascii
import quopri
import sys


def main():
    mode, src, dst = sys.argv[1:4]
    with open(src, "rb") as f:
        lines = f.read().split(b"\n")[:-1]
    if mode == "base64":
        data = base64.b64decode(b"".join(lines), validate=True)
    elif mode == "uu":
        data = b"".join(binascii.a2b_uu(line) for line in lines)
    elif mode == "qp":
        data = quopri.decodestring(b"\r\n".join(lines))
    else:
        return 2
    with open(dst, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
