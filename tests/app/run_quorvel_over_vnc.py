#!/usr/bin/env python3
"""Starts the real quorvel executable with a fresh profile whose COM2 is the demo card,
presses Alt+R (Reset) and then Escape through Qt's VNC platform, and checks what the
program left on disk: the log file with the demo card's ATR and the remembered SCC path.
With --with-file it starts as `quorvel card.scc`, a file naming the demo card and its own
log file, which must then be the file loaded and remembered.

Usage: run_quorvel_over_vnc.py PATH_TO_QUORVEL [--with-file]
"""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

XK_ALT_L = 0xFFE9
XK_ESCAPE = 0xFF1B
XK_R = 0x72

# The demo card's ATR as the text log holds it: hex rows, each ended by CR LF.
EXPECTED_ATR_ROWS_PREFIX = b"3B "


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ConnectionError("VNC server closed the connection")
        data += chunk
    return data


def connect_vnc(port, deadline):
    while True:
        try:
            sock = socket.create_connection(("127.0.0.1", port), timeout=5)
            break
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)
    version = recv_exact(sock, 12)
    if version == b"RFB 003.003\n":
        # Version 3.3: the server names the one security type it uses.
        sock.sendall(version)
        if struct.unpack(">I", recv_exact(sock, 4))[0] != 1:
            raise RuntimeError("VNC server wants authentication")
    else:
        sock.sendall(b"RFB 003.008\n")
        count = recv_exact(sock, 1)[0]
        types = recv_exact(sock, count)
        if 1 not in types:
            raise RuntimeError("VNC server wants authentication: %r" % types)
        sock.sendall(b"\x01")
        if struct.unpack(">I", recv_exact(sock, 4))[0] != 0:
            raise RuntimeError("VNC security handshake failed")
    sock.sendall(b"\x01")  # shared session
    header = recv_exact(sock, 24)
    name_length = struct.unpack(">I", header[20:24])[0]
    recv_exact(sock, name_length)
    return sock


def key(sock, keysym, down):
    sock.sendall(struct.pack(">BBxxI", 4, 1 if down else 0, keysym))


def tap(sock, keysym, modifier=None):
    if modifier:
        key(sock, modifier, True)
    key(sock, keysym, True)
    key(sock, keysym, False)
    if modifier:
        key(sock, modifier, False)


def write_scc(path, log_name, settings):
    """An SCC file without commands: the settings header alone."""
    def text(value):
        return value.encode() + b"\0" * (128 - len(value))
    header = text(log_name) + text("test2.txt") + text(settings) * 4
    header += struct.pack("<i", 2) + b"\x90" + b"\0" * 63 + text(settings) * 2
    header += struct.pack("<iii", 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header)


def log_has_atr(path):
    try:
        with open(path, "rb") as f:
            return f.read().startswith(EXPECTED_ATR_ROWS_PREFIX)
    except OSError:
        return False


def main():
    quorvel = os.path.abspath(sys.argv[1])
    with_file = "--with-file" in sys.argv[2:]
    with tempfile.TemporaryDirectory(prefix="quorvel-e2e-") as work:
        config = os.path.join(work, "config")
        os.makedirs(config)
        with open(os.path.join(config, "Quorvel.INI"), "w") as f:
            f.write("[ports]\nCOM2=DEMO\n")
        port = free_port()
        env = dict(os.environ)
        env["XDG_CONFIG_HOME"] = config
        env["QT_QPA_PLATFORM"] = "vnc:size=1024x768:addr=127.0.0.1:port=%d" % port
        env["XDG_RUNTIME_DIR"] = work
        arguments = [quorvel]
        log_name, remembered = "test.txt", "noname.scc"
        if with_file:
            log_name, remembered = "opened.txt", os.path.join(work, "card.scc")
            write_scc(remembered, log_name, "DEMO: baud=9600 parity=E data=8 stop=2")
            arguments.append("card.scc")  # relative: remembered by its full path
        program = subprocess.Popen(arguments, cwd=work, env=env, stdin=subprocess.DEVNULL)
        try:
            sock = connect_vnc(port, time.monotonic() + 20)
            # Alt+R until the log holds the ATR: the window may not take the keyboard at
            # once, and a Reset takes 300 ms. Each try waits a second for the log.
            log_path = os.path.join(work, log_name)
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and not log_has_atr(log_path):
                tap(sock, XK_R, XK_ALT_L)
                tried_until = time.monotonic() + 1
                while time.monotonic() < tried_until and not log_has_atr(log_path):
                    time.sleep(0.05)
            tap(sock, XK_ESCAPE)
            program.wait(timeout=20)
            sock.close()
        finally:
            if program.poll() is None:
                program.kill()
                program.wait()

        log_path = os.path.join(work, log_name)
        if not os.path.exists(log_path):
            print("FAIL: no log file was written")
            return 1
        log = open(log_path, "rb").read()
        lines = log.split(b"\r\n")
        if not log.startswith(EXPECTED_ATR_ROWS_PREFIX) or not log.endswith(b"\r\n"):
            print("FAIL: the log does not hold the ATR rows: %r" % log)
            return 1
        if any(b"\n" in line for line in lines):
            print("FAIL: a line end without CR in the text log: %r" % log)
            return 1
        profile = open(os.path.join(config, "Quorvel.INI")).read()
        if "list=%s\n" % remembered not in profile or "COM2=DEMO" not in profile:
            print("FAIL: profile after exit: %r" % profile)
            return 1
        print("quorvel reset the demo card and logged %d ATR rows" % (len(lines) - 1))
        return 0


if __name__ == "__main__":
    sys.exit(main())
