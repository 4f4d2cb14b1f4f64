#!/usr/bin/env python3
"""A second real FTP server for tests: vsftpd (Debian's) on 127.0.0.1.

It serves --root to anonymous users: the files of root/pub may be read and
written (vsftpd refuses a writable root for anonymous users, so --root is
made read-only and pub/ writable). Every command and reply goes to
--log, so a test can see how the server read what the client sent. The
port goes to --port-file once the server answers; SIGTERM stops it.
"""
import argparse
import os
import signal
import socket
import subprocess
import sys
import time


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    work = os.path.dirname(os.path.abspath(args.port_file))
    empty = os.path.join(work, "vsftpd-empty")
    os.makedirs(empty, exist_ok=True)
    os.makedirs(os.path.join(args.root, "pub"), exist_ok=True)
    os.chmod(os.path.join(args.root, "pub"), 0o777)
    os.chmod(args.root, 0o555)
    port = free_port()
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1", "listen_port=%d" % port,
            "background=NO", "anonymous_enable=YES", "local_enable=NO", "anon_root=" + args.root,
            "no_anon_password=YES", "write_enable=YES", "anon_upload_enable=YES",
            "anon_other_write_enable=YES", "anon_mkdir_write_enable=YES", "anon_umask=022",
            "port_enable=YES", "connect_from_port_20=NO", "pasv_enable=YES",
            "secure_chroot_dir=" + empty, "seccomp_sandbox=NO", "xferlog_enable=YES",
            "xferlog_std_format=NO", "log_ftp_protocol=YES", "vsftpd_log_file=" + args.log]
            # Without root there is no privilege separation to set up.
            + ([] if os.getuid() == 0 else ["run_as_launching_user=YES"]) + [""]))
    server = subprocess.Popen(["/usr/sbin/vsftpd", conf])
    signal.signal(signal.SIGTERM, lambda *_: (server.terminate(), sys.exit(0)))
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and server.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)
    else:
        return 1
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.rename(tmp, args.port_file)
    return server.wait()


if __name__ == "__main__":
    sys.exit(main())
