#!/usr/bin/env python3
"""pyftpdlib with the two ways servers treat "LIST -a", for the session tests.

--mode hide:   like many servers, a plain LIST leaves out names starting
               with "."; "LIST -a" lists them too.
--mode refuse: LIST with any option is refused (501); a plain LIST lists
               every name, dot files included.

Binds a free port of 127.0.0.1, writes it to --port-file and serves --root
to user/password.
"""
import argparse
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

ALL_OPTIONS = ("-a", "-la", "-al")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--mode", choices=("hide", "refuse"), required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    class HidingFS(AbstractedFS):
        def listdir(self, path):
            names = super().listdir(path)
            if args.mode == "hide" and not getattr(self.cmd_channel, "list_all", False):
                names = [n for n in names if not n.startswith(".")]
            return names

    class Handler(FTPHandler):
        list_all = False

        def pre_process_command(self, line, cmd, arg):
            if cmd == "LIST":
                if args.mode == "refuse" and arg.startswith("-"):
                    self.respond("501 LIST takes no options.")
                    return
                self.list_all = arg.lower() in ALL_OPTIONS
            return super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user("user", "password", args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.abstracted_fs = HidingFS
    Handler.permit_foreign_addresses = False
    server = FTPServer(("127.0.0.1", 0), Handler)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.socket.getsockname()[1]))
    os.rename(tmp, args.port_file)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
