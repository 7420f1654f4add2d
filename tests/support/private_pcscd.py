#!/usr/bin/env python3
"""A pcscd of the tests' own, with the virtual card in its first virtual reader.

pcscd ignores PCSCLITE_CSOCK_NAME, but takes a listening socket handed over the way systemd
does (LISTEN_FDS=1, LISTEN_PID, fd 3), and the client library does read the variable. So this
binds a UNIX socket in a state folder, starts `pcscd --foreground` on it, starts the virtual
card on vpcd's first reader ("Virtual PCD 00 00") and waits until PC/SC sees the card. It stops
exactly the processes it started, by the pids (and start times) it wrote down.

  private_pcscd.py start --state DIR --card PROGRAM   leaves both running (a ctest fixture)
  private_pcscd.py stop --state DIR                   stops them and removes DIR
  private_pcscd.py run --card PROGRAM [--state DIR] [--if-possible] -- COMMAND...
                                                      start, COMMAND, stop; COMMAND's status
                                                      (--if-possible: COMMAND alone when
                                                      another pcscd is in the way)

COMMAND and the tests find the service through PCSCLITE_CSOCK_NAME=DIR/pcscd.comm.

pcscd still writes /run/pcscd/pcscd.pid and vpcd listens on TCP 35963 and 35964 on every
interface, so this refuses to start beside another pcscd, or when those ports are taken.
"""

import argparse
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

PCSCD = "/usr/sbin/pcscd"
VPCD_PORTS = (35963, 35964)
CARD_READER = "Virtual PCD 00 00"
SOCKET_NAME = "pcscd.comm"
PIDS_NAME = "pids"
READY_SECONDS = 15
# The processes this run started, reaped once stopped.
children = []


class Refusal(Exception):
    pass


def start_time(pid):
    """The process's start time in clock ticks, which tells it from a later one of the same pid."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    if fields[0] == "Z":
        return None  # ended, only not reaped yet
    return fields[19]


def running_pcscds():
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as comm:
                if comm.read().strip() == "pcscd" and start_time(int(entry)):
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


def port_taken(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind(("", port))
        except OSError:
            return True
    return False


def refuse_beside_another():
    if not os.access(PCSCD, os.X_OK):
        raise Refusal(f"{PCSCD} is missing: install the packages pcscd and vsmartcard-vpcd "
                      "(tools/setup.sh does)")
    others = running_pcscds()
    if others:
        raise Refusal(
            f"another pcscd is running (pid {', '.join(map(str, others))}). The PC/SC tests start "
            "a pcscd of their own, which cannot run beside it: it shares /run/pcscd/pcscd.pid "
            f"and vpcd's TCP ports {VPCD_PORTS[0]} and {VPCD_PORTS[1]}. Stop it (for example "
            "systemctl stop pcscd.socket pcscd) and run the tests again.")
    taken = [port for port in VPCD_PORTS if port_taken(port)]
    if taken:
        raise Refusal(f"TCP port {taken[0]} is taken; vpcd needs ports {VPCD_PORTS[0]} and "
                      f"{VPCD_PORTS[1]}. Stop what listens there and run the tests again.")


def card_present(socket_path):
    """Whether PC/SC, asked through socket_path, sees a card in the virtual card's reader.

    Runs in a child process: the client library reads PCSCLITE_CSOCK_NAME only once."""
    probe = """
import ctypes, sys
lib = ctypes.CDLL("libpcsclite.so.1")
class State(ctypes.Structure):
    _fields_ = [("reader", ctypes.c_char_p), ("user", ctypes.c_void_p),
                ("current", ctypes.c_ulong), ("event", ctypes.c_ulong),
                ("atr_length", ctypes.c_ulong), ("atr", ctypes.c_ubyte * 33)]
context = ctypes.c_long()
if lib.SCardEstablishContext(2, None, None, ctypes.byref(context)) != 0:
    sys.exit(1)
state = State(sys.argv[1].encode(), None, 0, 0, 0)
result = lib.SCardGetStatusChange(context, ctypes.c_ulong(0), ctypes.byref(state), 1)
lib.SCardReleaseContext(context)
sys.exit(0 if result in (0, 0x8010000A) and state.event & 0x20 else 1)
"""
    env = dict(os.environ, PCSCLITE_CSOCK_NAME=socket_path)
    try:
        return subprocess.run([sys.executable, "-c", probe, CARD_READER], env=env,
                              timeout=5).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def write_pids(state, processes):
    with open(os.path.join(state, PIDS_NAME), "a") as pids:
        for name, process in processes:
            pids.write(f"{process.pid} {start_time(process.pid)} {name}\n")


def stop(state):
    """Stops the processes listed in state's pid file that are still the ones started."""
    listed = []
    try:
        with open(os.path.join(state, PIDS_NAME)) as pids:
            for line in pids:
                pid, started, name = line.split(maxsplit=2)
                listed.append((int(pid), started, name.strip()))
    except OSError:
        pass
    # The card first, so pcscd does not see it go; then pcscd.
    for pid, started, name in listed:
        if start_time(pid) != started:
            continue
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 5
        while start_time(pid) == started and time.monotonic() < deadline:
            time.sleep(0.02)
        if start_time(pid) == started:
            print(f"private_pcscd: {name} (pid {pid}) did not end; killing it", file=sys.stderr)
            os.kill(pid, signal.SIGKILL)
    for process in children:
        process.poll()
    shutil.rmtree(state, ignore_errors=True)


def start(state, card):
    if os.path.isdir(state):
        stop(state)  # what an interrupted run left behind
    refuse_beside_another()
    os.makedirs(state, mode=0o700)
    socket_path = os.path.join(state, SOCKET_NAME)
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(socket_path)
    listener.listen(64)

    # The socket goes to pcscd as fd 3, LISTEN_PID naming pcscd itself: the shell execs it.
    hand_over = ('exec 3<&"$0"; [ "$0" = 3 ] || eval "exec $0<&-"; '
                 'export LISTEN_FDS=1 LISTEN_PID=$$; exec "$1" --foreground')
    started = []
    try:
        with open(os.path.join(state, "pcscd.log"), "w") as log:
            pcscd = subprocess.Popen(["sh", "-c", hand_over, str(listener.fileno()), PCSCD],
                                     stdin=subprocess.DEVNULL, stdout=log,
                                     stderr=subprocess.STDOUT, pass_fds=(listener.fileno(),),
                                     start_new_session=True)
        started.append(("pcscd", pcscd))
        children.append(pcscd)
        write_pids(state, started)
        listener.close()
        card_log_path = os.path.join(state, "card.log")
        with open(card_log_path, "w") as log:
            virtual_card = subprocess.Popen([card, "--port", str(VPCD_PORTS[0])],
                                            stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=subprocess.STDOUT, start_new_session=True)
        started.insert(0, ("virtual card", virtual_card))
        children.append(virtual_card)
        os.remove(os.path.join(state, PIDS_NAME))
        write_pids(state, started)
        deadline = time.monotonic() + READY_SECONDS
        while not card_present(socket_path):
            for name, process in started:
                if process.poll() is not None:
                    raise Refusal(f"{name} ended with status {process.returncode}: "
                                  f"{tail(state, name)}")
            if time.monotonic() > deadline:
                raise Refusal(f"PC/SC did not see the virtual card within {READY_SECONDS} s")
            time.sleep(0.05)
    except BaseException:
        stop(state)
        raise
    return socket_path


def tail(state, name):
    log = "card.log" if name == "virtual card" else "pcscd.log"
    try:
        with open(os.path.join(state, log)) as text:
            return text.read()[-2000:]
    except OSError:
        return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("action", choices=["start", "stop", "run"])
    parser.add_argument("--state", help="the folder of the socket, logs and pids")
    parser.add_argument("--card", help="the virtual card program")
    parser.add_argument("--if-possible", action="store_true",
                        help="run: when pcscd cannot be started, run the command without it")
    argv = sys.argv[1:]
    command = argv[argv.index("--") + 1:] if "--" in argv else []
    args = parser.parse_args(argv[:argv.index("--")] if "--" in argv else argv)
    if args.action in ("start", "run") and not args.card:
        parser.error("--card is needed")
    state = args.state
    if args.action == "run" and not state:
        state = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"quorvel-pcscd-{os.getpid()}")
    if not state:
        parser.error("--state is needed")
    state = os.path.abspath(state)
    try:
        if args.action == "stop":
            stop(state)
            return 0
        if not command and args.action == "run":
            parser.error("run needs a command after --")
        try:
            socket_path = start(state, args.card)
        except Refusal as refusal:
            if args.action != "run" or not args.if_possible:
                raise
            print(f"private_pcscd: {refusal}\nRunning without the tests' own pcscd.",
                  file=sys.stderr)
            return subprocess.run(command).returncode
        if args.action == "start":
            print(f"PCSCLITE_CSOCK_NAME={socket_path}")
            return 0
        try:
            # A signal ends the command and still stops pcscd and the card.
            for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
                signal.signal(sig, lambda number, frame: sys.exit(128 + number))
            return subprocess.run(command, env=dict(os.environ, PCSCLITE_CSOCK_NAME=socket_path)
                                  ).returncode
        finally:
            stop(state)
    except Refusal as refusal:
        print(f"private_pcscd: {refusal}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
