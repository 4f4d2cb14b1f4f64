#!/usr/bin/env python3
"""A scripted FTP server for behaviour a real server will not show.

It listens on 127.0.0.1 port 0, writes the port to --port-file, accepts one
control connection and plays the JSON script given with --script: a list of
steps, each a one-key object:

  {"send": "220 Ready\\r\\n"}     send text on the control connection
  {"send_parts": ["220 Hi\\r", "\\n"]}  send each part in a write of its own, 50 ms apart
  {"bytewise": 0.002}            from now on send control text one byte per write,
                                 with this pause between bytes (0: off)
  {"expect": "USER"}             read one command line (it goes to the transcript)
  {"reply": ["USER", "331 Password\\r\\n"]}  expect a command, then send text
  {"data_connect": true}         connect to the address of the last PORT command
  {"epsv": true}                 read a command (EPSV), listen for data on a free port of
                                 127.0.0.1 and answer "229 ... (|||port|)"
  {"pasv": "10,1,2,3"}           the same for PASV, announcing that address in the 227
  {"epsv_closed": true}          read a command and answer 229 with a port nobody listens on
  {"data_accept": true}          take the client's data connection on that listener
  {"data_send": "text"}          send text on the data connection
  {"data_send_zeros": 100000}    send that many zero bytes on the data connection
  {"data_send_pattern": 100000}  send that many bytes of the pattern 0, 1, ... 250, 0, ...
  {"data_recv": true}            read the data connection to its end ("DATA n" in the transcript)
  {"data_close": true}           close the data connection
  {"close": true}                close the control connection
  {"accept": true}               take the client's next control connection (closing the old)
  {"sleep": 0.2}                 pause (server side only)
  {"wait_eof": 10}               read and record command lines until the client closes (bounded)

Every command line received is appended to --transcript as it arrives, so a
test can compare the exact transcript. After the script the server waits
(bounded) for the client to close, recording what it sends.
"""
import argparse
import json
import os
import socket
import sys
import time


def pattern(n):
    block = bytes(range(251))
    return (block * (n // 251 + 1))[:n]


class Session:
    def __init__(self, listener, conn, transcript):
        self.listener = listener
        self.conn = conn
        self.bytewise = 0
        self.buf = b""
        self.transcript = transcript
        self.data = None
        self.data_listener = None
        self.port_addr = None

    def record(self, text):
        with open(self.transcript, "a") as f:
            f.write(text + "\n")

    def read_line(self, timeout=10.0):
        self.conn.settimeout(timeout)
        while b"\n" not in self.buf:
            try:
                chunk = self.conn.recv(4096)
            except (socket.timeout, OSError):
                return None
            if not chunk:
                return None
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        text = line.rstrip(b"\r").decode("latin-1")
        self.record(text)
        if text.upper().startswith("PORT "):
            parts = [int(p) for p in text[5:].split(",")]
            self.port_addr = (".".join(str(p) for p in parts[:4]), parts[4] * 256 + parts[5])
        return text

    def send(self, text):
        data = text.encode("latin-1")
        if not self.bytewise:
            self.conn.sendall(data)
            return
        for i in range(len(data)):
            self.conn.sendall(data[i:i + 1])
            time.sleep(self.bytewise)

    def step(self, step):
        (kind, arg), = step.items()
        if kind == "send":
            self.send(arg)
        elif kind == "send_parts":
            for part in arg:
                self.conn.sendall(part.encode("latin-1"))
                time.sleep(0.05)
        elif kind == "bytewise":
            self.bytewise = arg
        elif kind == "expect":
            self.read_line()
        elif kind == "reply":
            self.read_line()
            self.send(arg[1])
        elif kind == "accept":
            if self.conn is not None:
                self.conn.close()
            self.listener.settimeout(30)
            self.conn, _ = self.listener.accept()
            self.buf = b""
        elif kind in ("epsv", "pasv", "epsv_closed"):
            self.read_line()
            self.data_listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self.data_listener.bind(("127.0.0.1", 0))
            port = self.data_listener.getsockname()[1]
            if kind == "epsv_closed":
                self.data_listener.close()
                self.data_listener = None
            else:
                self.data_listener.listen(1)
            if kind == "pasv":
                self.send("227 Entering Passive Mode (%s,%d,%d).\r\n" % (arg, port // 256, port % 256))
            else:
                self.send("229 Entering Extended Passive Mode (|||%d|)\r\n" % port)
        elif kind == "data_accept":
            self.data_listener.settimeout(10)
            self.data, _ = self.data_listener.accept()
            self.data_listener.close()
            self.data_listener = None
        elif kind == "data_send_pattern":
            self.data.sendall(pattern(arg))
        elif kind == "data_connect":
            self.data = socket.create_connection(self.port_addr, timeout=10)
        elif kind == "data_send":
            self.data.sendall(arg.encode("latin-1"))
        elif kind == "data_send_zeros":
            self.data.sendall(bytes(arg))
        elif kind == "data_recv":
            total = 0
            self.data.settimeout(10)
            while True:
                chunk = self.data.recv(65536)
                if not chunk:
                    break
                total += len(chunk)
            self.record("DATA %d" % total)
        elif kind == "data_close":
            self.data.close()
            self.data = None
        elif kind == "close":
            self.conn.close()
            self.conn = None
        elif kind == "sleep":
            time.sleep(arg)
        elif kind == "wait_eof":
            deadline = time.monotonic() + arg
            while self.conn is not None and time.monotonic() < deadline:
                if self.read_line(timeout=max(0.01, deadline - time.monotonic())) is None:
                    break
        else:
            raise ValueError("unknown step " + kind)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--transcript", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    with open(args.script) as f:
        steps = json.load(f)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(tmp, args.port_file)

    listener.settimeout(30)
    conn, _ = listener.accept()
    session = Session(listener, conn, args.transcript)
    for step in steps:
        if session.conn is None and not any(k.startswith("data") or k in ("sleep", "close", "accept") for k in step):
            break
        session.step(step)
    if session.conn is not None:
        session.step({"wait_eof": 10})
    return 0


if __name__ == "__main__":
    sys.exit(main())
