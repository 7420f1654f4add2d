#!/usr/bin/env python3
"""The real quorvel executable on PC/SC readers: the tests' own pcscd (PCSCLITE_CSOCK_NAME, the
ctest fixture of tests/pcsc) with the virtual demo card in "Virtual PCD 00 00" (PCS0), and cards
this script puts in "Virtual PCD 00 01" (PCS1) and steers: removed during a command or between
two, held by another program, pcscd stopped while a command waits.

Usage: run_quorvel_on_pcsc_readers.py PATH_TO_QUORVEL PATH_TO_VIRTUAL_CARD [unittest arguments]
"""
import ctypes
import json
import os
import select
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_quorvel_from_command_line as cli  # noqa: E402
from run_quorvel_from_command_line import Workspace, files_of, hex_rows, rows_of  # noqa: E402

VIRTUAL_CARD = None
PRIVATE_PCSCD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                             "private_pcscd.py")
SHARED_READER, TEST_READER, TEST_CARD_PORT = "Virtual PCD 00 00", "Virtual PCD 00 01", "35964"
# The virtual card's ATR: T=0 and T=1 offered, "QUORVEL DEMO" (tests/support/virtual_card).
DEMO_ATR = "3B 8C 80 01 51 55 4F 52 56 45 4C 20 44 45 4D 4F 68"
HELLO = b"Hello from the Quorvel demo card"
SCRIPT = b"""# The demo card's greeting
00 A4 00 0C 02 7F 10
00 A4 00 0C 02 6F 01
00 B0 00 00 20
"""
NOT_RUNNING = ("The PC/SC service is not running: start it with pcscd, or systemctl start "
               "pcscd.socket")

pcsc = ctypes.CDLL("libpcsclite.so.1")
SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_ANY, SCARD_UNPOWER_CARD = 1, 3, 2
SCARD_STATE_PRESENT = 0x20


class ReaderState(ctypes.Structure):
    _fields_ = [("reader", ctypes.c_char_p), ("user", ctypes.c_void_p),
                ("current", ctypes.c_ulong), ("event", ctypes.c_ulong),
                ("atr_length", ctypes.c_ulong), ("atr", ctypes.c_ubyte * 33)]


class Context:
    """A PC/SC context of this script's own: another program, as pcscd sees it."""

    def __init__(self):
        self.handle = ctypes.c_long()
        result = pcsc.SCardEstablishContext(2, None, None, ctypes.byref(self.handle))
        assert result == 0, hex(result & 0xFFFFFFFF)

    def release(self):
        pcsc.SCardReleaseContext(self.handle)

    def card_present(self, reader):
        state = ReaderState(reader.encode(), None, 0, 0, 0)
        pcsc.SCardGetStatusChange(self.handle, ctypes.c_ulong(0), ctypes.byref(state), 1)
        return bool(state.event & SCARD_STATE_PRESENT)


def let_pcscd_poll_the_empty_reader():
    """After a card was pulled from a connection that has ended since: ending it marks the
    reader empty at once, and a card put back before pcscd's own poll (every 0.4 s) has seen it
    go would never be noticed."""
    time.sleep(1.0)


def wait_for_card(reader, present, seconds=10):
    """Waits until pcscd's own poll sees the reader with (or without) a card."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        context = Context()
        try:
            if context.card_present(reader) == present:
                return
        finally:
            context.release()
        time.sleep(0.05)
    raise AssertionError(f"{reader}: the card is {'not ' if present else ''}seen")


class VirtualCard:
    """The virtual card in the second reader, steered through its standard input."""

    def __init__(self, test, *options):
        self.process = subprocess.Popen([VIRTUAL_CARD, "--port", TEST_CARD_PORT, "--control",
                                         *options], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)
        test.addCleanup(self.quit)
        self.wait_for("ready")
        wait_for_card(TEST_READER, True)

    def tell(self, *commands):
        self.process.stdin.write(b"".join(c.encode() + b"\n" for c in commands))
        self.process.stdin.flush()

    def wait_for(self, event, seconds=10):
        while select.select([self.process.stdout], [], [], seconds)[0]:
            line = self.process.stdout.readline()
            if not line:
                break
            if line.decode().strip() == event:
                return
        raise AssertionError(f"the virtual card never said {event}")

    def quit(self):
        if self.process.poll() is None:
            try:
                self.tell("quit")
            except BrokenPipeError:
                pass
            self.process.wait(10)
        self.process.stdout.close()
        self.process.stdin.close()
        # The next test finds the second reader empty.
        wait_for_card(TEST_READER, False)


def run_lines(result):
    return [json.loads(line) for line in rows_of(result)]


class PcscReaderRuns(unittest.TestCase):
    def test_a_script_runs_in_both_protocols_with_its_rows_log_and_json(self):
        w = Workspace(self)
        w.file("s.txt", SCRIPT)
        for protocol in ("T=0", "T=1"):
            settings = ["--settings", "PCS0: proto=" + protocol.replace("=", "").lower()]
            with self.subTest(protocol=protocol):
                rows = w.run("--run", "s.txt", "--port", "PCS0", "--log", "pcsc.log", *settings)
                self.assertEqual((rows.returncode, rows.stderr), (0, b""))
                # No echo, no procedure byte: each answer's data, then its status word.
                expected = (["Reset...", DEMO_ATR[:48], "68 ", "90 00", "90 00"] +
                            hex_rows(HELLO) + ["90 00"])
                self.assertEqual(rows_of(rows), expected)
                self.assertEqual(w.read("pcsc.log"), cli.log_lines(expected))

                lines = run_lines(w.run("--run", "s.txt", "--port", "PCS0", "--no-log",
                                        "--format", "jsonl", *settings))
                self.assertEqual((lines[0]["atr"], lines[0]["protocol"], lines[0]["reader"]),
                                 (DEMO_ATR, protocol, SHARED_READER))
                read = lines[3]
                self.assertEqual(bytes.fromhex(read["response"]), HELLO)
                self.assertEqual((read["sw"], read["completed"]), ("90 00", True))
                self.assertEqual(read["received"], read["response"])
                self.assertEqual(lines[1]["response"], "")

        # The Reset's explanation says once what the reader makes of the settings.
        ignored = "line clauses (baud, parity, data, stop) mean nothing to a PC/SC reader"
        for settings, said in (("PCS0: proto=t1", False), ("PCS0: baud=9600 proto=t1", True),
                               ("PCS0: 96,n,8,1", True)):
            explained = w.run("--run", "s.txt", "--no-log", "--explain", "--settings", settings)
            self.assertEqual(ignored in explained.stdout.decode(), said, settings)

        # Without the first Reset the card is taken as it is, unreset.
        unreset = w.run("--run", "s.txt", "--port", "PCS0", "--no-reset", "--no-log")
        self.assertEqual(unreset.returncode, 0, unreset.stderr)
        self.assertEqual(rows_of(unreset), ["90 00", "90 00"] + hex_rows(HELLO) + ["90 00"])

    def test_an_answer_of_256_data_bytes_and_its_status_word(self):
        VirtualCard(self, "--loopback")
        w = Workspace(self)
        # The loopback card answers P1 P2 = 0100 counting bytes (tests/support/virtual_card).
        w.file("s.txt", b"80 10 01 00 00\n")
        result = w.run("--run", "s.txt", "--port", "PCS1", "--no-log", "--format", "jsonl")
        self.assertEqual(result.returncode, 0, result.stderr)
        exchange = run_lines(result)[1]
        self.assertEqual(bytes.fromhex(exchange["response"]), bytes(range(256)))
        self.assertEqual(exchange["sw"], "90 00")
        rows = rows_of(w.run("--run", "s.txt", "--port", "PCS1", "--no-log"))
        self.assertEqual(rows[3:], hex_rows(bytes(range(256))) + ["90 00"])

    def test_the_explorer_walks_the_demo_sim_cards_as_on_the_serial_line(self):
        w = Workspace(self)
        for option, demo in (("--sim", "DEMS"), ("--uicc", "DEMU")):
            serial = files_of(w.run("--explore", "--port", demo, "--no-log", "--format", "jsonl"))
            card = VirtualCard(self, option)
            for protocol in ("t0", "t1"):
                with self.subTest(card=demo, protocol=protocol):
                    result = w.run("--explore", "--port", "PCS1", "--settings",
                                   "PCS1: proto=" + protocol, "--no-log", "--format", "jsonl")
                    self.assertEqual((result.returncode, result.stderr), (0, b""))
                    self.assertEqual(files_of(result), serial)
            card.quit()


class PcscFaults(unittest.TestCase):
    def assert_nothing_ran(self, w, result, message):
        self.assertEqual((result.returncode, result.stdout), (2, b""), result.stderr)
        self.assertIn(message, result.stderr.decode())
        self.assertEqual(w.read("test.txt"), b"old log")  # not even created anew

    def test_without_the_service_nothing_runs_and_the_message_says_how_to_start_it(self):
        w = Workspace(self)
        w.file("s.txt", SCRIPT)
        w.file("test.txt", b"old log")
        os.environ["PCSCLITE_CSOCK_NAME"], saved = (os.path.join(w.path, "none.comm"),
                                                    os.environ["PCSCLITE_CSOCK_NAME"])
        try:
            for args in (["--run", "s.txt", "--log", "test.txt"], ["--explore"]):
                result = w.run(*args, "--port", "PCS0")
                self.assert_nothing_ran(w, result, "Could not create handle\n" + NOT_RUNNING)
            # Serial ports still run, and the port list has no PC/SC reader.
            demo = w.run("--run", "s.txt", "--port", "DEMO", "--no-log")
            self.assertEqual(demo.returncode, 0, demo.stderr)
            missing = w.run("--run", "s.txt", "--port", "USB9", "--no-log")
            self.assertEqual(missing.returncode, 2)
            self.assertNotIn(b"PCS0", missing.stderr)
        finally:
            os.environ["PCSCLITE_CSOCK_NAME"] = saved

    def test_a_reader_that_is_not_there_is_ambiguous_or_empty_runs_nothing(self):
        w = Workspace(self, profile="[ports]\nGEMA=pcsc:Gemalto\nVIRT=pcsc:virtual\n")
        w.file("s.txt", SCRIPT)
        w.file("test.txt", b"old log")
        cases = [
            ("PCS5", "PCS5 names no PC/SC reader. The PC/SC readers are:\n"
                     "  PCS0  Virtual PCD 00 00  card present\n"
                     "  PCS1  Virtual PCD 00 01  no card"),
            ("GEMA", 'No PC/SC reader is called "Gemalto" or starts so. The PC/SC readers are:'),
            ("VIRT", '"virtual" fits more than one PC/SC reader; give more of the name:\n'
                     "  PCS0  Virtual PCD 00 00  card present\n"
                     "  PCS1  Virtual PCD 00 01  no card"),
            ("PCS1", 'There is no card in the reader "Virtual PCD 00 01"'),
        ]
        for port, message in cases:
            with self.subTest(port=port):
                result = w.run("--run", "s.txt", "--port", port, "--log", "test.txt")
                self.assert_nothing_ran(w, result, message)

    def test_a_card_held_by_another_program_is_told_by_its_reader(self):
        w = Workspace(self)
        w.file("s.txt", SCRIPT)
        w.file("test.txt", b"old log")
        other = Context()
        self.addCleanup(other.release)
        card, protocol = ctypes.c_long(), ctypes.c_ulong()
        self.assertEqual(pcsc.SCardConnect(other.handle, SHARED_READER.encode(),
                                           SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_ANY,
                                           ctypes.byref(card), ctypes.byref(protocol)), 0)
        result = w.run("--run", "s.txt", "--port", "PCS0", "--log", "test.txt")
        self.assert_nothing_ran(w, result, 'The card in the reader "Virtual PCD 00 00" is held '
                                           "by another program")
        pcsc.SCardDisconnect(card, SCARD_UNPOWER_CARD)
        self.assertEqual(w.run("--run", "s.txt", "--port", "PCS0", "--no-log").returncode, 0)

    def start_held_run(self, w, card, *args):
        """quorvel --run on PCS1 with the card holding its first command unanswered."""
        w.file("s.txt", SCRIPT)
        card.tell("hold")
        process = subprocess.Popen(**w.command("--run", "s.txt", "--port", "PCS1", *args,
                                               stdout=subprocess.PIPE, stderr=subprocess.PIPE))
        self.addCleanup(lambda: process.poll() is None and process.kill())
        card.wait_for("held")
        return process

    def finish(self, process):
        out, err = process.communicate(timeout=30)
        return subprocess.CompletedProcess(process.args, process.returncode, out, err)

    def test_a_card_removed_during_a_command_or_between_two_stops_the_run(self):
        w = Workspace(self)
        card = VirtualCard(self)
        # Pulled while the card has the first command: one message, that command failed, the
        # Reset before it shown and logged.
        run = self.start_held_run(w, card, "--format", "jsonl", "--log", "during.log")
        card.tell("remove")
        result = self.finish(run)
        self.assertEqual(result.returncode, 1, result.stderr)
        lines = run_lines(result)
        self.assertEqual(len(lines), 2, lines)
        self.assertEqual((lines[0]["atr"], lines[1]["completed"]), (DEMO_ATR, False))
        self.assertEqual(len(result.stderr.decode().strip().splitlines()), 1, result.stderr)
        self.assertIn(TEST_READER, result.stderr.decode())
        self.assertTrue(w.read("during.log").startswith(b"3B 8C 80 01"))
        let_pcscd_poll_the_empty_reader()

        # Pulled once the first command has its answer: the next one fails, the rest never run.
        card.tell("insert")
        card.wait_for("ready")
        wait_for_card(TEST_READER, True)
        run = self.start_held_run(w, card, "--log", "between.log")
        card.tell("release", "remove")
        result = self.finish(run)
        self.assertEqual(result.returncode, 1, result.stderr)
        rows = rows_of(result)
        self.assertEqual(rows[3:], ["90 00", "Command execution failed!"])
        self.assertEqual(w.read("between.log"), cli.log_lines(rows))
        self.assertEqual(len(result.stderr.decode().strip().splitlines()), 1, result.stderr)
        let_pcscd_poll_the_empty_reader()

    def test_pcscd_stopped_while_a_command_waits_stops_the_run(self):
        w = Workspace(self)
        card = VirtualCard(self)
        state = os.path.dirname(os.environ["PCSCLITE_CSOCK_NAME"])
        # The fixture's pcscd comes back for the tests after this one.
        self.addCleanup(subprocess.run, [sys.executable, PRIVATE_PCSCD, "start", "--state", state,
                                         "--card", VIRTUAL_CARD], check=True,
                        stdout=subprocess.DEVNULL)
        run = self.start_held_run(w, card, "--format", "jsonl")
        subprocess.run([sys.executable, PRIVATE_PCSCD, "stop", "--state", state], check=True)
        result = self.finish(run)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual([line["completed"] for line in run_lines(result)[1:]], [False])
        self.assertEqual(result.stderr.decode(), "The PC/SC service has stopped: start it again "
                         "with pcscd, or systemctl start pcscd.socket\n")
        card.process.kill()  # its reader went with pcscd


if __name__ == "__main__":
    cli.QUORVEL = os.path.abspath(sys.argv.pop(1))
    VIRTUAL_CARD = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
