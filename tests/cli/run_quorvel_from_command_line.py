#!/usr/bin/env python3
"""The real quorvel executable on its command line: --run against the demo card and
against a card on a pseudo-terminal played by this script, --list, --help, --version and
every exit status. Each run gets a fresh working folder and profile; none has a display.

Usage: run_quorvel_from_command_line.py PATH_TO_QUORVEL [unittest arguments]
"""
import fcntl
import json
import os
import resource
import select
import shutil
import socket
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

QUORVEL = None

DEMO_ATR_ROW = "3B 6C 00 00 51 55 4F 52 56 45 4C 20 44 45 4D 4F "
SETTINGS = "COM2: baud=9600 parity=E data=8 stop=2"
TO_CARD, FROM_CARD = 1, 0


def text_field(value):
    data = value if isinstance(value, bytes) else value.encode()
    return data + b"\0" * (128 - len(data))


def record(header, direction, comment=b"", data=b""):
    """A 620-byte command record: header, direction, comment at 24, data at 90."""
    r = bytearray(620)
    r[0:5] = bytes(header)
    r[5] = direction
    comment = comment if isinstance(comment, bytes) else comment.encode()
    r[24:24 + len(comment)] = comment
    r[88] = 0x90
    r[90:90 + len(data)] = data
    return bytes(r)


def scc_bytes(records, settings=SETTINGS, log="run.log", binary=0, inverse=0):
    header = text_field(log) + text_field("test2.txt")
    header += text_field(settings) * 4
    header += struct.pack("<i", 2) + b"\x90" + b"\0" * 63 + text_field(settings) * 2
    header += struct.pack("<iii", binary, inverse, len(records))
    assert len(header) == 1104
    return header + b"".join(records)


def hex_rows(data):
    """Output rows of received bytes: 16 a row, each byte "%02X "."""
    return ["".join("%02X " % b for b in data[i:i + 16]) for i in range(0, len(data), 16)]


SELECT_DF = record([0x00, 0xA4, 0x00, 0x0C, 0x02], TO_CARD, "Select DF 7F10", b"\x7f\x10")
SELECT_EF = record([0x00, 0xA4, 0x00, 0x0C, 0x02], TO_CARD, "Select EF 6F01", b"\x6f\x01")
READ_32 = record([0x00, 0xB0, 0x00, 0x00, 0x20], FROM_CARD, b'Caf\xe9 "32"\tbytes')
UNKNOWN_INS = record([0x00, 0xCA, 0x00, 0x00, 0x04], FROM_CARD, "not supported")

HELLO = b"Hello from the Quorvel demo card"
DEMO_ROWS = (["Reset...", DEMO_ATR_ROW,
              "00 A4 00 0C 02 A4 7F 10 ", "90 00",
              "00 A4 00 0C 02 A4 6F 01 ", "90 00"]
             + hex_rows(bytes([0x00, 0xB0, 0x00, 0x00, 0x20, 0xB0]) + HELLO) + ["90 00"])
FAILED_ROWS = ["Command execution failed!", "00 CA 00 00 04 6D 00 "]
SHOWN_ONLY = {"Reset...", "Command execution failed!"}


class Workspace:
    """A working folder with its own profile folder; runs quorvel there."""

    def __init__(self, test, profile="[ports]\nCOM2=DEMO\n"):
        self._dir = tempfile.TemporaryDirectory(prefix="quorvel-cli-")
        test.addCleanup(self._dir.cleanup)
        self.path = self._dir.name
        self.config = os.path.join(self.path, "config")
        os.makedirs(self.config)
        self.profile = os.path.join(self.config, "Quorvel.INI")
        with open(self.profile, "w") as f:
            f.write(profile)

    def file(self, name, content):
        path = os.path.join(self.path, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def read(self, name):
        with open(os.path.join(self.path, name), "rb") as f:
            return f.read()

    def command(self, *args, **options):
        """quorvel with these arguments, for subprocess: in this folder, with this profile."""
        environment = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        environment.update({"XDG_CONFIG_HOME": self.config,
                            # No platform plugin may be loaded: one that does not exist
                            # would end the program, and the plugin debug output shows.
                            "QT_QPA_PLATFORM": "does-not-exist", "QT_DEBUG_PLUGINS": "1"})
        return dict(args=[QUORVEL, *args], cwd=self.path, env=environment,
                    stdin=subprocess.DEVNULL, **options)

    def run(self, *args, preexec_fn=None, stdout=subprocess.PIPE):
        """Runs quorvel to its end; standard output goes to `stdout` (captured by default)."""
        return subprocess.run(**self.command(*args, preexec_fn=preexec_fn, stdout=stdout,
                                             stderr=subprocess.PIPE, timeout=60))


def rows_of(result):
    out = result.stdout.decode()
    assert out == "" or out.endswith("\n"), out
    return out.splitlines()


def log_lines(rows):
    """The text log of these rows: every row but the shown-only ones, each with CR LF."""
    return b"".join(r.encode() + b"\r\n" for r in rows if r not in SHOWN_ONLY)


class DemoCardRuns(unittest.TestCase):
    def test_rows_log_and_status_of_a_list_that_completes(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32]))
        result = w.run("--run", "list.scc")
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(rows_of(result), DEMO_ROWS)
        self.assertEqual(w.read("run.log"), log_lines(DEMO_ROWS))

    def test_a_failed_command_gives_status_1_and_the_rest_still_runs(self):
        w = Workspace(self, profile="")
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, UNKNOWN_INS, READ_32], binary=1))
        result = w.run("--run", "list.scc", "--port", "DEMO", "--log", "raw.bin")
        self.assertEqual(result.returncode, 1, result.stderr)
        rows = rows_of(result)
        self.assertEqual(rows, DEMO_ROWS[:6] + FAILED_ROWS + DEMO_ROWS[6:])
        # Bin on: the raw bytes, the status bytes only of completed commands.
        raw = w.read("raw.bin")
        self.assertTrue(raw.startswith(bytes.fromhex(DEMO_ATR_ROW)))
        self.assertIn(bytes.fromhex("00CA0000046D00") + bytes.fromhex("00B0000020B0") + HELLO
                      + b"\x90\x00", raw)
        self.assertFalse(os.path.exists(os.path.join(w.path, "run.log")))

    def test_strict_timing_no_log_and_no_reset(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32]))
        strict = w.run("--run", "list.scc", "--strict-timing", "--no-log")
        self.assertEqual((strict.returncode, rows_of(strict)), (0, DEMO_ROWS))
        self.assertFalse(os.path.exists(os.path.join(w.path, "run.log")))
        # Without a Reset the demo card stays silent: every command fails, echo only.
        quiet = w.run("--run", "list.scc", "--no-reset", "--settings",
                      "DEMO: baud=19200 parity=E data=8 stop=2")
        self.assertEqual(quiet.returncode, 1)
        self.assertEqual(rows_of(quiet), ["Command execution failed!", "00 A4 00 0C 02 "] * 2
                         + ["Command execution failed!", "00 B0 00 00 20 "])

    def test_a_file_size_limit_cuts_the_log_not_the_run_and_says_so(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32]))
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (64, 64))
        result = w.run("--run", "list.scc", preexec_fn=limit)
        self.assertEqual((result.returncode, rows_of(result)), (3, DEMO_ROWS))
        self.assertEqual(result.stderr, b'Could not write the log file "run.log": File too large.'
                                        b"\nThe run goes on; the log is incomplete.\n")
        self.assertEqual(w.read("run.log"), log_lines(DEMO_ROWS)[:64])

    def test_a_log_name_leading_out_of_the_working_folder_stays_in_it(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF], log="../outside.log"))
        result = w.run("--run", "list.scc")
        self.assertEqual(result.returncode, 0)
        self.assertIn(b"outside the working folder", result.stderr)
        self.assertEqual(w.read("outside.log"), log_lines(DEMO_ROWS[:4]))
        self.assertFalse(os.path.exists(os.path.join(w.path, "..", "outside.log")))

    def test_explain_adds_lines_under_every_row(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32]))
        result = w.run("--run", "list.scc", "--explain", "--no-log")
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        lines = result.stdout.decode().split("\n")
        self.assertEqual(lines.pop(), "")
        rows = [line for line in lines if not line.startswith("  # ")]
        self.assertEqual(rows, DEMO_ROWS)
        explained = {}
        for line in lines:
            if line.startswith("  # "):
                explained[row].append(line[4:])
            else:
                row = line
                explained.setdefault(row, [])
        self.assertTrue(all(explained.values()), explained)
        self.assertIn("TS 3B: direct convention", explained[DEMO_ATR_ROW])
        self.assertIn("Status 90 00: normal ending of the command", explained["90 00"])
        in_json = w.run("--run", "list.scc", "--explain", "--no-log", "--format", "jsonl")
        objects = [json.loads(line) for line in in_json.stdout.decode().splitlines()]
        self.assertEqual([r["text"] for o in objects for r in o["rows"]], DEMO_ROWS)
        self.assertIn("TS 3B: direct convention",
                      objects[0]["rows"][1]["explanation"].split("\n"))

    def test_jsonl_parses_back(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([READ_32, SELECT_DF, UNKNOWN_INS]))
        result = w.run("--run", "list.scc", "--format=jsonl")
        self.assertEqual(result.returncode, 1, result.stderr)
        lines = [json.loads(line) for line in result.stdout.decode().splitlines()]
        self.assertEqual(len(lines), 4)
        reset, read, select_df, unknown = lines
        self.assertEqual(reset["reset"], True)
        self.assertEqual(reset["atr"], DEMO_ATR_ROW.strip())
        self.assertEqual(read["index"], 1)
        self.assertEqual(read["comment"], 'Caf\u00e9 "32"\tbytes')  # E9 read as Windows-1252
        self.assertEqual(read["header"], "00 B0 00 00 20")
        self.assertEqual(read["received"], "00 B0 00 00 20 69 86")  # no EF selected yet
        self.assertEqual((read["sw"], read["completed"]), (None, False))
        self.assertEqual((select_df["sw"], select_df["completed"]), ("90 00", True))
        self.assertEqual(select_df["received"], "00 A4 00 0C 02 A4 7F 10")
        self.assertEqual(unknown["received"], "00 CA 00 00 04 6D 00")
        for line in lines:
            self.assertIsInstance(line["ms"], float)
            self.assertGreaterEqual(line["ms"], 0)

    def test_exit_status_2_leaves_stdout_empty_and_says_why(self):
        w = Workspace(self, profile="[ports]\nNOPE=/nonexistent/ttyX\n[config]\nlist=keep.scc\n")
        scc = w.file("list.scc", scc_bytes([SELECT_DF]))
        broken = w.file("broken.scc", scc_bytes([SELECT_DF, SELECT_EF])[:2000])
        before = (os.stat(broken).st_mtime_ns, w.read("broken.scc"))
        cases = [
            (["--run", "list.scc", "--port", "NOPE"],
             "Could not create handle\n/nonexistent/ttyX: No such file or directory\n\n"),
            (["--run", "broken.scc", "--port", "DEMO"],
             'Could not load "broken.scc": the file ends early, with 1 of its 2 commands.\n'),
            (["--list", "broken.scc"],
             'Could not load "broken.scc": the file ends early, with 1 of its 2 commands.\n'),
            (["--run", "missing.scc"],
             'Could not load "missing.scc": No such file or directory.\n'),
            (["--run", "list.scc", "--port", "DEMO", "--bogus"], 'unknown option "--bogus"'),
            (["--run", "list.scc", "--port"], "--port needs a value"),
            (["--run", "list.scc", "broken.scc"], "only one file can be given"),
            (["--run", "list.scc", "--port", "TOOLONG"], "four characters"),
            (["--run", "list.scc", "--settings", "DEMO: baud=fast"], "settings string"),
            (["--run", "list.scc", "--format", "xml"], "rows or jsonl"),
            (["--list", "list.scc", "--no-reset"], "--no-reset goes only with --run"),
            (["--run", "--list", "list.scc"], "cannot be used together"),
            (["--run"], "--run needs a command file"),
        ]
        for args, error in cases:
            with self.subTest(args=args):
                result = w.run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                stderr = result.stderr.decode()
                if error.endswith("\n\n"):  # the reason, then the ports there are
                    self.assertTrue(stderr.startswith(error), stderr)
                    self.assertIn("\n  NOPE  /nonexistent/ttyX\n", stderr)
                    self.assertIn("\n  DEMO  the built-in demo card\n", stderr)
                    self.assertIn("\nTo use one, name it with --port, as in --port ", stderr)
                    self.assertNotIn("click", stderr)
                elif error.endswith("\n"):
                    self.assertEqual(stderr, error)
                else:
                    self.assertIn(error, stderr)
                    self.assertTrue(stderr.endswith(
                        "Usage: quorvel [FILE] | --run FILE [OPTION...] | --explore [OPTION...] | "
                        "--list FILE | --convert IN OUT | --help | --version\n"), stderr)
        self.assertEqual((os.stat(broken).st_mtime_ns, w.read("broken.scc")), before)
        self.assertTrue(os.path.exists(scc))
        with open(w.profile) as f:
            self.assertIn("list=keep.scc", f.read())  # a run never writes the profile


class LogAndOutputFaults(unittest.TestCase):
    def test_a_log_that_cannot_be_used_stops_the_run_before_the_port_is_opened(self):
        w = Workspace(self, profile="[ports]\nNOPE=/nonexistent/ttyX\n")
        scc = scc_bytes([SELECT_DF])
        w.file("list.scc", scc)
        w.file("self.scc", scc_bytes([SELECT_DF], log="self.scc"))
        w.file("read-only.log", b"kept")
        os.chmod(os.path.join(w.path, "read-only.log"), 0o444)
        os.mkfifo(os.path.join(w.path, "pipe"))
        os.mkdir(os.path.join(w.path, "adir"))
        os.symlink("list.scc", os.path.join(w.path, "link.log"))
        same = ' is the command file "list.scc" itself: the log would overwrite it.'
        cases = [
            (["--log", "pipe"], 'Could not write the log file "pipe": it is a named pipe, not a file.'),
            (["--log", "adir"], 'Could not write the log file "adir": it is a folder, not a file.'),
            (["--log", "nodir/x.log"],
             'Could not write the log file "nodir/x.log": No such file or directory.'),
            (["--log", "/dev/full"],
             'Could not write the log file "/dev/full": it is a device, not a file.'),
            (["--log", "read-only.log"],
             'Could not write the log file "read-only.log": it is read-only.'),
            (["--log", "list.scc"], 'The log file "list.scc"' + same),
            (["--log", "link.log"], 'The log file "link.log"' + same),
            (["--log", "adir/../list.scc"], 'The log file "adir/../list.scc"' + same),
            (["--run", "self.scc"],
             'The log file "self.scc" is the command file "self.scc" itself'),
        ]
        for args, error in cases:
            with self.subTest(args=args):
                run = args if args[0] == "--run" else ["--run", "list.scc", *args]
                result = w.run(*run, "--port", "NOPE")
                self.assertEqual((result.returncode, result.stdout), (2, b""))
                self.assertTrue(result.stderr.decode().startswith(error), result.stderr)
                self.assertNotIn(b"Could not create handle", result.stderr)
        self.assertEqual((w.read("list.scc"), w.read("read-only.log")), (scc, b"kept"))
        self.assertEqual(w.read("self.scc"), scc_bytes([SELECT_DF], log="self.scc"))

    def test_a_log_named_by_the_file_that_cannot_be_used_is_warned_of_and_the_run_goes_on(self):
        w = Workspace(self)
        os.mkfifo(os.path.join(w.path, "pipe"))
        w.file("read-only.log", b"kept")
        os.chmod(os.path.join(w.path, "read-only.log"), 0o444)
        cases = [("pipe", "it is a named pipe, not a file"),
                 ("read-only.log", "it is read-only"),
                 ("nodir/x.log", "No such file or directory")]
        for name, reason in cases:
            with self.subTest(name):
                w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32], log=name))
                result = w.run("--run", "list.scc")
                self.assertEqual((result.returncode, rows_of(result)), (0, DEMO_ROWS))
                self.assertEqual(result.stderr.decode(), 'Could not write the log file "%s": %s.\n'
                                 "The run goes on without a log; --log names another place.\n"
                                 % (name, reason))
        self.assertEqual(w.read("read-only.log"), b"kept")

    def test_a_name_from_the_file_is_shown_with_its_control_characters_escaped(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF], log="../\x1b]0;owned\x07\x1b[2J.log"))
        result = w.run("--run", "list.scc")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn(b"\x1b", result.stderr)
        self.assertIn(b"The log goes to \\x1B]0;owned\\x07\\x1B[2J.log in the working folder",
                      result.stderr)

    def test_a_run_that_ends_with_status_2_leaves_an_existing_log_as_it_was(self):
        w = Workspace(self, profile="[ports]\nNOPE=/nonexistent/ttyX\n")
        w.file("run.log", b"precious")
        w.file("list.scc", scc_bytes([SELECT_DF]))
        w.file("refused.scc", scc_bytes([SELECT_DF], settings="DEMO: baud=fast"))
        cases = [(["list.scc", "--port", "NOPE"], "Could not create handle\n"),
                 (["refused.scc"], 'BuildCommDCB failed\nThe settings string it refused: '
                                   '"DEMO: baud=fast"\n')]
        for args, error in cases:
            with self.subTest(args=args):
                result = w.run("--run", *args)
                self.assertEqual((result.returncode, result.stdout), (2, b""))
                self.assertTrue(result.stderr.decode().startswith(error), result.stderr)
                self.assertEqual(w.read("run.log"), b"precious")

    def test_standard_output_that_cannot_be_written_is_told_with_status_3(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32]))
        full = open("/dev/full", "wb")
        self.addCleanup(full.close)
        limited = open(os.path.join(w.path, "rows.txt"), "wb")
        self.addCleanup(limited.close)
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))
        no_space = b"Could not write to standard output: No space left on device.\n"
        cases = [
            (["--run", "list.scc"], dict(stdout=full), no_space),
            (["--list", "list.scc"], dict(stdout=full), no_space),
            (["--help"], dict(stdout=full), no_space),
            (["--version"], dict(stdout=full), no_space),
            (["--run", "list.scc"], dict(preexec_fn=lambda: os.close(1)),
             b"Could not write to standard output: Bad file descriptor.\n"),
            (["--run", "list.scc", "--no-log"], dict(stdout=limited, preexec_fn=limit),
             b"Could not write to standard output: File too large.\n"),
        ]
        for args, redirect, error in cases:
            with self.subTest(args=args, redirect=list(redirect)):
                if os.path.exists(os.path.join(w.path, "run.log")):
                    os.remove(os.path.join(w.path, "run.log"))
                result = w.run(*args, **redirect)
                self.assertEqual((result.returncode, result.stderr), (3, error))
                if args[0] == "--run" and "--no-log" not in args:
                    self.assertEqual(w.read("run.log"), log_lines(DEMO_ROWS), "the run went on")
        self.assertEqual(w.read("rows.txt"), "".join(r + "\n" for r in DEMO_ROWS).encode()[:100])

    def test_a_broken_pipe_ends_the_run_quietly(self):
        w = Workspace(self)
        w.file("list.scc", scc_bytes([SELECT_DF, SELECT_EF, READ_32]))
        reader, writer = os.pipe()
        os.close(reader)
        try:
            result = w.run("--run", "list.scc", stdout=writer)
        finally:
            os.close(writer)
        self.assertEqual((result.returncode, result.stderr), (-signal.SIGPIPE, b""))

    def test_explanations_say_what_to_do_on_the_command_line(self):
        w = Workspace(self)
        w.file("inverse.scc", scc_bytes([SELECT_DF], inverse=1))
        w.file("list.scc", scc_bytes([SELECT_DF]))
        cases = [(["inverse.scc"], "set Inv off in the SCC file and run it again"),
                 (["list.scc", "--no-reset"], "(a run resets it first, unless --no-reset is given)")]
        for args, advice in cases:
            with self.subTest(args=args):
                result = w.run("--run", *args, "--explain", "--no-log")
                explained = result.stdout.decode()
                self.assertIn(advice, explained)
                for window_words in ["click", "tick", "press Reset"]:
                    self.assertNotIn(window_words, explained)


class Listing(unittest.TestCase):
    def test_list_prints_the_command_script_that_converts_back_byte_for_byte(self):
        w = Workspace(self)
        long_data = bytes(range(0x10, 0x1A))
        update = record([0x00, 0xD6, 0x00, 0x00, 0x0A], TO_CARD, b"Update\x01", long_data)
        odd = bytearray(record([0, 0xC0, 0, 0, 9], 7))
        odd[400] = 0x5A  # a reserved byte
        original = scc_bytes([SELECT_DF, READ_32, update, bytes(odd)], binary=1)
        w.file("list.scc", original)
        result = w.run("--list", "list.scc")
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual(result.stdout.decode(), """\
log run.log
bin on
inv off
reset settings COM2: baud=9600 parity=E data=8 stop=2
execute settings COM2: baud=9600 parity=E data=8 stop=2
second reset settings COM2: baud=9600 parity=E data=8 stop=2
second execute settings COM2: baud=9600 parity=E data=8 stop=2

00 A4 00 0C 02 > 7F 10 # Select DF 7F10
00 B0 00 00 20 < # "Caf\\xE9 \\"32\\"\\x09bytes"
00 D6 00 00 0A > 10 11 12 13 14 15 16 17 18 19 # "Update\\x01"
00 C0 00 00 09 <
  at 5: 07
  at 400: 5A
""")
        # The listing read back (git textconv shows it; --convert takes it) is the same file.
        w.file("list.txt", result.stdout)
        converted = w.run("--convert", "list.txt", "again.scc")
        self.assertEqual((converted.returncode, converted.stderr), (0, b""))
        self.assertEqual(w.read("again.scc"), original)

    def test_a_scriptor_script_keeps_its_comments_and_le_and_never_replaces_a_pipe(self):
        w = Workspace(self)
        # pcsc-tools' own example, as an editor on another system may save it: CR line ends.
        w.file("test.script", b"# 00 A4 01 00 02 01 00\r# Select MF\r00 A4 03 00 00\rRESET\r"
                              b"00 A4 04 00 02 3F 00 \\\r00\r\r# Read file\r00 B0 00 00 40\r"
                              b"exit\rnot read\r")
        listed = w.run("--list", "test.script")
        self.assertEqual((listed.returncode, listed.stderr), (0, b""))
        self.assertTrue(listed.stdout.decode().endswith("""
# 00 A4 01 00 02 01 00
# Select MF
00 A4 03 00 00 <
reset
00 A4 04 00 02 > 3F 00 Le 00
# Read file
00 B0 00 00 40 <
"""), listed.stdout.decode())
        converted = w.run("--convert", "test.script", "again.txt")
        self.assertEqual((converted.returncode, converted.stderr), (0, b""))
        self.assertEqual(w.read("again.txt"), listed.stdout)

        os.mkfifo(os.path.join(w.path, "pipe.txt"))
        os.symlink("pipe.txt", os.path.join(w.path, "link.txt"))
        for name in ["pipe.txt", "link.txt"]:
            with self.subTest(name):
                refused = w.run("--convert", "again.txt", name)
                self.assertEqual((refused.returncode, refused.stdout), (2, b""))
                self.assertIn("not a regular file", refused.stderr.decode())
                self.assertTrue(stat.S_ISFIFO(os.stat(os.path.join(w.path, "pipe.txt")).st_mode))
        self.assertTrue(os.path.islink(os.path.join(w.path, "link.txt")))

    def test_help_and_version(self):
        w = Workspace(self)
        help_text = w.run("--help")
        self.assertEqual((help_text.returncode, help_text.stderr), (0, b""))
        for option in ["--run", "--list", "--convert", "--port", "--settings", "--no-reset",
                       "--log", "--no-log", "--explain", "--format", "--auto-response", "--pps",
                       "--clock", "--keep-going", "--strict-timing", "--version", "Exit status",
                       "--trace", "--gsmtap", "--trace-pins", "--explore", "--verify-pin1",
                       "Example"]:
            self.assertIn(option, help_text.stdout.decode())
        version = w.run("--version")
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout.decode(), r"^quorvel \d+(\.\d+)+\n$")


SCRIPT = b"""log run.log
reset settings COM2: baud=9600 parity=E data=8 stop=2
execute settings COM2: baud=9600 parity=E data=8 stop=2
# the demo card: its DF, then a challenge it always answers the same after a reset
00 A4 00 00 02 > 7F 10 (61 09) # select DF
00 84 00 00 08 (90 00) [E1 8B 64 00 F2 FE 8A 12]
reset
00 A4 00 0C 02 > 2F E2 (6A 82) # not there
00 B0 00 00 00 # wrong length
"""


class ScriptRuns(unittest.TestCase):
    def test_expectations_stop_the_run_unless_told_to_keep_going(self):
        w = Workspace(self)
        w.file("demo.txt", SCRIPT)
        stopped = w.run("--run", "demo.txt")
        self.assertEqual(stopped.returncode, 1)
        self.assertEqual(stopped.stderr.decode(),
                         "Command 3 (not there): expected 6A 82, got 90 00\n")
        rows = rows_of(stopped)
        self.assertEqual(rows.count("Reset..."), 2)  # the script's own reset ran
        self.assertEqual(rows[-2:], ["00 A4 00 0C 02 A4 2F E2 ", "90 00"])
        self.assertEqual(w.read("run.log"), log_lines(rows))

        # On, with the 6C of the read answered: its resend and the JSON of every exchange.
        kept = w.run("--run", "demo.txt", "--keep-going", "--auto-response", "--format", "jsonl")
        self.assertEqual(kept.returncode, 1, kept.stderr)
        objects = [json.loads(line) for line in kept.stdout.decode().splitlines()]
        shape = [(o.get("reset"), o.get("index"), o.get("auto"), o.get("after"),
                  o.get("expect"), o.get("met")) for o in objects]
        self.assertEqual(shape, [
            (True, None, None, None, None, None),
            (None, 1, None, None, "(61 09)", False),  # its GET RESPONSE answered 90 00
            (None, None, "get-response", 1, None, None),
            (None, 2, None, None, "(90 00) [E1 8B 64 00 F2 FE 8A 12]", True),
            (True, None, None, None, None, None),
            (None, 3, None, None, "(6A 82)", False),
            (None, 4, None, None, None, None),
            (None, None, "resend", 4, None, None),
        ])
        self.assertEqual(objects[2]["header"], "00 C0 00 00 09")
        self.assertEqual(objects[-1]["header"], "00 B0 00 00 0A")
        self.assertEqual(objects[-1]["sw"], "90 00")
        self.assertEqual(kept.stderr.decode(),
                         "Command 1 (select DF): expected 61 09, got 90 00\n"
                         "Command 3 (not there): expected 6A 82, got 90 00\n")

    def test_speed_negotiation_with_the_fast_demo_card(self):
        w = Workspace(self, profile="[ports]\nCOM2=DEMF\n[reader]\nclock=fast\n")
        w.file("fast.txt", b"00 84 00 00 08 (90 00)\n")
        result = w.run("--run", "fast.txt", "--pps", "--format", "jsonl")
        self.assertEqual(result.returncode, 0, result.stderr)
        reset, challenge = [json.loads(line) for line in result.stdout.decode().splitlines()]
        self.assertEqual((reset["pps"], reset["baud"]), ("FF 10 96 79 FF 10 96 79", 223200))
        self.assertTrue(challenge["met"])
        self.assertIn("223200 baud", result.stderr.decode())
        self.assertIn("clock= in [reader]", result.stderr.decode())  # the usual clock is used
        # At 6 MHz the card starts at 16129 baud: 9600 hears nothing from it.
        slow = w.run("--run", "fast.txt", "--pps", "--clock", "6000000", "--settings",
                     "COM2: baud=16129 parity=E data=8 stop=2")
        self.assertEqual(slow.returncode, 0, slow.stderr)
        self.assertIn("375000 baud", slow.stderr.decode())
        self.assertNotIn("clock=", slow.stderr.decode())  # --clock wins, silently

    def test_bad_scripts_run_nothing_and_write_nothing(self):
        w = Workspace(self)
        w.file("run.log", b"the last run's log")
        with open(os.path.join(w.path, "huge.txt"), "wb") as f:
            f.write(b"# a script of 1 GB\n" * 100)  # text, as far as the kind is told
            f.truncate(1 << 30)
        cases = [
            ("huge.txt", None, "huge.txt"),
            ("random.bin", bytes((i * 151 + 7) % 251 for i in range(3000)), "neither a command script"),
            ("long.txt", b"#" + b"x" * (1 << 20) + b"\n", "long.txt:1:"),
            ("latin1.txt", b"00 A4 00 00 02 > 3F 00 # caf\xe9\n", "latin1.txt:1:"),
            ("pattern.txt", b"00 B0 00 00 02 (9G 00)\n", "pattern.txt:1:"),
            ("open.txt", b"00 B0 00 00 02 [XX\n", "open.txt:1:"),
            ("lc.txt", b"00 D6 00 00 03 01 02\n", "lc.txt:1:"),
            ("many.txt", b"00 D6 00 00 FF > " + b"01 " * 256 + b"\n", "many.txt:1:"),
        ]
        for name, content, error in cases:
            with self.subTest(name):
                if content is not None:
                    w.file(name, content)
                result = w.run("--run", name)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                self.assertIn(error, result.stderr.decode())
                self.assertEqual(w.read("run.log"), b"the last run's log")
                converted = w.run("--convert", name, "out.scc")
                self.assertEqual(converted.returncode, 2)
                self.assertFalse(os.path.exists(os.path.join(w.path, "out.scc")))
        # An SCC name cannot keep expected answers or resets: refused, nothing written.
        w.file("demo.txt", SCRIPT)
        refused = w.run("--convert", "demo.txt", "demo.scc")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("cannot keep the 3 expected answers and 1 Reset line", refused.stderr.decode())
        self.assertFalse(os.path.exists(os.path.join(w.path, "demo.scc")))


class PtyCard(threading.Thread):
    """The far end of a pseudo-terminal: the reader's echo and a T=0 card. It answers its
    ATR a little after the program opens the line (a pty has no RTS to watch), READ BINARY
    (B0) with P3 bytes 00 01 02 ..., UPDATE BINARY (D6) with 90 00 after the data, and
    anything else with 6D 00. A slow card sends its procedure byte late and its data in
    bursts with pauses between."""

    ATR = bytes.fromhex("3B00")  # direct convention, no interface or historical bytes

    def __init__(self, procedure_delay=0.0, burst=0, pause=0.0, vanish_after=None, nulls=0):
        super().__init__(daemon=True)
        self.nulls = nulls  # NULL bytes (60) before a READ BINARY's procedure byte
        self.vanish_after = vanish_after  # seconds after the line first opens: unplugged
        self.vanish_at = None
        self.master, slave = os.openpty()
        self.path = os.ttyname(slave)
        os.close(slave)  # the program opens it; a hang-up tells when it is closed
        self.procedure_delay, self.burst, self.pause = procedure_delay, burst, pause
        self.stopping = False
        self.scheduled = []  # (time, bytes), in time order
        self.start()

    def stop(self):
        self.stopping = True
        self.join()
        if self.master >= 0:
            os.close(self.master)

    def send(self, data, delay=0.0):
        at = max([time.monotonic()] + [t for t, _ in self.scheduled]) + delay
        self.scheduled.append((at, data))

    def answer(self, header):
        ins, p3 = header[1], header[4]
        if ins == 0xB0:
            for _ in range(self.nulls):
                self.send(b"\x60", 0.05)  # more time, please
            self.send(bytes([ins]), self.procedure_delay)
            data = bytes(i & 0xFF for i in range(p3))
            step = self.burst or max(p3, 1)
            for i in range(0, p3, step):
                self.send(data[i:i + step], self.pause if i else 0.0)
            self.send(b"\x90\x00", self.pause)
            return 0
        if ins == 0xD6:
            self.send(bytes([ins]), self.procedure_delay)
            return p3  # the data to take before the status
        self.send(b"\x6D\x00")
        return 0

    def forget(self):
        """What the card knew of the last line opening."""
        self.received, self.awaited = b"", 0

    def hear(self, data):
        """The reader's bytes, after their echo: five make a header."""
        self.received += data
        while self.received:
            if self.awaited:
                taken, self.received = self.received[:self.awaited], self.received[self.awaited:]
                self.awaited -= len(taken)
                if not self.awaited:
                    self.send(b"\x90\x00", self.pause)
            elif len(self.received) >= 5:
                header, self.received = self.received[:5], self.received[5:]
                self.awaited = self.answer(header)
            else:
                break

    def run(self):
        line_open = False
        self.forget()
        while not self.stopping:
            ready = select.poll()
            ready.register(self.master, select.POLLIN)
            # Awake for the next byte due, so that a slow card's bytes leave on time.
            due = self.scheduled[0][0] - time.monotonic() if self.scheduled else 1
            events = dict(ready.poll(max(0, min(5, due * 1000)))).get(self.master, 0)
            if events & select.POLLHUP and not events & select.POLLIN:
                line_open = False
                self.forget()
                self.scheduled.clear()
                time.sleep(0.002)
                continue
            if not line_open:
                line_open = True  # the program set its line up: the card answers the reset
                if self.vanish_after is not None and self.vanish_at is None:
                    self.vanish_at = time.monotonic() + self.vanish_after
                self.send(self.ATR, 0.02)
            if events & select.POLLIN:
                data = os.read(self.master, 512)
                os.write(self.master, data)  # the reader's echo
                self.hear(data)
            now = time.monotonic()
            if self.vanish_at is not None and now >= self.vanish_at:
                os.close(self.master)
                self.master = -1
                return
            while self.scheduled and self.scheduled[0][0] <= now:
                os.write(self.master, self.scheduled.pop(0)[1])


def lrc(data):
    check = 0
    for byte in data:
        check ^= byte
    return check


def t1_block(pcb, info=b""):
    """A T=1 block with NAD 00 and its LRC (ISO/IEC 7816-3 11.3)."""
    block = bytes([0x00, pcb, len(info)]) + info
    return block + bytes([lrc(block)])


class PtyT1Card(PtyCard):
    """The far end of a pseudo-terminal speaking a minimal T=1: an ATR offering T=1 only
    (default IFSC 32, BWI 4, CWI 13, LRC), S(IFS request) answered, a command in chained
    I-blocks acknowledged, and its answer chained at the IFSD the reader announced. READ
    BINARY answers Le bytes 00 01 02 ... (256 for Le 00), UPDATE BINARY 90 00, anything else
    6D 00."""

    ATR = bytes.fromhex("3B800181")  # T0 80: TD1 follows; TD1 01: T=1; TCK 81

    def __init__(self):
        self.blocks_seen = []  # every block the reader sent, whatever the line's openings
        super().__init__()

    def forget(self):
        self.rx, self.command, self.answered, self.at = b"", b"", b"", 0
        self.ifsd, self.ns, self.last_ns, self.last = 32, 0, 0, b""

    def hear(self, data):
        self.rx += data
        while len(self.rx) >= 4 and len(self.rx) >= 4 + self.rx[2]:
            size = 4 + self.rx[2]
            block, self.rx = self.rx[:size], self.rx[size:]
            self.blocks_seen.append(block)
            self.block(block[1], block[3:-1])

    def reply(self, block):
        self.last = block
        self.send(block, 0.005)

    def next_piece(self):
        piece = self.answered[self.at:self.at + self.ifsd]
        self.at += len(piece)
        more = self.at < len(self.answered)
        self.last_ns, self.ns = self.ns, self.ns ^ 1
        self.reply(t1_block(self.last_ns << 6 | (0x20 if more else 0), piece))

    def block(self, pcb, info):
        if pcb & 0x80 == 0:  # I-block: a piece of the command
            self.command += info
            if pcb & 0x20:
                self.reply(t1_block(0x80 | ((pcb >> 6) ^ 1) << 4))
                return
            apdu, self.command = self.command, b""
            if apdu[1] == 0xB0:
                le = apdu[4] if len(apdu) == 5 else 0
                self.answered = bytes(i & 0xFF for i in range(le or 256)) + b"\x90\x00"
            else:
                self.answered = b"\x90\x00" if apdu[1] == 0xD6 else b"\x6D\x00"
            self.at = 0
            self.next_piece()
        elif pcb & 0xC0 == 0x80:  # R-block: the next piece, or the last block again
            if self.at < len(self.answered) and (pcb >> 4) & 1 != self.last_ns:
                self.next_piece()
            else:
                self.reply(self.last)
        else:  # S-block request: its response, IFSD taken
            if pcb & 0x1F == 0x01:
                self.ifsd = info[0]
            self.reply(t1_block(pcb | 0x20, info))


class PseudoTerminalCardRuns(unittest.TestCase):
    def run_on(self, card, scc, *args):
        w = Workspace(self, profile="[ports]\nCARD=%s\n" % card.path)
        w.file("list.scc", scc)
        return w, w.run("--run", "list.scc", "--port", "CARD", *args)

    def test_rows_and_log_byte_for_byte(self):
        card = PtyCard()
        self.addCleanup(card.stop)
        update = record([0x00, 0xD6, 0x00, 0x00, 0x03], TO_CARD, "Update", b"\xAA\xBB\xCC")
        read = record([0x00, 0xB0, 0x00, 0x00, 0x12], FROM_CARD, "Read 18")
        w, result = self.run_on(card, scc_bytes([update, read, UNKNOWN_INS]))
        self.assertEqual(result.returncode, 1, result.stderr)
        expected = (["Reset...", "3B 00 ", "00 D6 00 00 03 D6 AA BB CC ", "90 00"]
                    + hex_rows(bytes([0x00, 0xB0, 0x00, 0x00, 0x12, 0xB0]) + bytes(range(18)))
                    + ["90 00"] + FAILED_ROWS)
        self.assertEqual(rows_of(result), expected)
        self.assertEqual(w.read("run.log"), log_lines(expected))

    def test_a_reader_gone_during_the_first_reset_leaves_the_log_and_standard_output_alone(self):
        # The run opens the line, then the Reset opens it again and waits 300 ms for the ATR:
        # the reader goes 100 ms after the first opening.
        card = PtyCard(vanish_after=0.1)
        self.addCleanup(card.stop)
        w = Workspace(self, profile="[ports]\nCARD=%s\n" % card.path)
        w.file("run.log", b"precious")
        w.file("list.scc", scc_bytes([SELECT_DF]))
        result = w.run("--run", "list.scc", "--port", "CARD")
        self.assertEqual((result.returncode, result.stdout), (2, b""), result.stderr)
        self.assertIn(b"has gone away", result.stderr)
        self.assertEqual(w.read("run.log"), b"precious")

    def test_a_reader_unplugged_mid_run_stops_the_run_with_status_1(self):
        # The first open, the Reset and 60 reads of 10 bytes take well over a second.
        card = PtyCard(vanish_after=1.0)
        self.addCleanup(card.stop)
        read = record([0x00, 0xB0, 0x00, 0x00, 0x0A], FROM_CARD, "Read 10")
        _, result = self.run_on(card, scc_bytes([read] * 60), "--strict-timing")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(result.stderr.decode().count("has gone away"), 1, result.stderr)
        self.assertLess(rows_of(result).count("Command execution failed!"), 2)

    def test_null_bytes_are_followed_only_with_full_t0(self):
        # ISO/IEC 7816-3 10.3.3: NULL asks the terminal to wait for another procedure byte.
        read = record([0x00, 0xB0, 0x00, 0x00, 0x04], FROM_CARD, "Read 4")
        for args, status, last_rows in [
                ([], 1, None),  # which NULLs the fixed waits catch depends on their timing
                (["--full-t0"], 0, ["00 B0 00 00 04 60 60 60 B0 00 01 02 03 ", "90 00"])]:
            with self.subTest(args=args):
                card = PtyCard(nulls=3)
                self.addCleanup(card.stop)
                _, result = self.run_on(card, scc_bytes([read]), *args)
                self.assertEqual(result.returncode, status, result.stderr)
                if last_rows is None:
                    self.assertIn("Command execution failed!", rows_of(result))
                else:
                    self.assertEqual(rows_of(result)[-len(last_rows):], last_rows)

    def test_a_second_run_refused_as_busy_leaves_the_first_runs_log_whole(self):
        card = PtyCard(procedure_delay=0.15)
        self.addCleanup(card.stop)
        w = Workspace(self, profile="[ports]\nCARD=%s\n" % card.path)
        w.file("list.scc", scc_bytes([record([0x00, 0xB0, 0x00, 0x00, 0x04], FROM_CARD)] * 6))
        first = subprocess.Popen(**w.command("--run", "list.scc", "--port", "CARD",
                                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                             bufsize=0))
        self.addCleanup(first.kill)
        self.assertEqual(first.stdout.readline(), b"Reset...\n")  # the port is its own now
        second = w.run("--run", "list.scc", "--port", "CARD")
        out, err = first.communicate(timeout=60)
        self.assertEqual((second.returncode, second.stdout), (2, b""))
        self.assertIn(b"Device or resource busy", second.stderr)
        rows = ["Reset...", "3B 00 "] + ["00 B0 00 00 04 B0 00 01 02 03 ", "90 00"] * 6
        self.assertEqual((first.returncode, ["Reset..."] + out.decode().splitlines()), (0, rows))
        self.assertEqual(w.read("run.log"), log_lines(rows))

    def test_a_slow_card_gives_the_same_rows_with_and_without_strict_timing(self):
        update = record([0x00, 0xD6, 0x00, 0x00, 0x02], TO_CARD, "Update", b"\x01\x02")
        cases = [
            ("late procedure byte, data in bursts", dict(procedure_delay=0.12, burst=6, pause=0.15),
             [record([0x00, 0xB0, 0x00, 0x00, 0x10], FROM_CARD, "Read 16"), update],
             ["00 D6 00 00 02 D6 01 02 ", "90 00"]),
            # 20 ms a byte after a procedure byte at 100 ms: the fixed data read starts at
            # 200 ms and finds the last byte (1340 ms) at its attempt at 1400 ms.
            ("20 ms a byte", dict(procedure_delay=0.1, burst=1, pause=0.02),
             [record([0x00, 0xB0, 0x00, 0x00, 0x3F], FROM_CARD, "Read 63")],
             ["3A 3B 3C 3D 3E ", "90 00"]),
        ]
        for name, timing, commands, last_rows in cases:
            with self.subTest(name):
                # A card each: what one run leaves unread must not reach the other.
                cards = [PtyCard(**timing), PtyCard(**timing)]
                for card in cards:
                    self.addCleanup(card.stop)
                scc = scc_bytes(commands)
                _, strict = self.run_on(cards[0], scc, "--strict-timing")
                _, deadline = self.run_on(cards[1], scc)
                self.assertEqual(strict.returncode, 0, strict.stderr)
                self.assertEqual(deadline.returncode, 0, deadline.stderr)
                self.assertEqual(rows_of(deadline), rows_of(strict))
                self.assertEqual(rows_of(strict)[-2:], last_rows)

class T1Runs(unittest.TestCase):
    """T=1 on the serial line: the built-in DEM1 and a card on a pseudo-terminal."""

    def run_jsonl(self, w, script, *args):
        w.file("t1.txt", script)
        began = time.monotonic()
        result = w.run("--run", "t1.txt", "--format", "jsonl", *args)
        objects = [json.loads(line) for line in result.stdout.decode().splitlines()]
        return result, objects, time.monotonic() - began

    def test_dem1_reads_chained_blocks_recovers_from_faults_and_fails_cleanly_when_silent(self):
        w = Workspace(self, profile="[ports]\nCOM2=DEM1\n")
        content = " ".join("%02X" % i for i in range(255))
        script = (b"00 A4 00 0C 02 > 7F 10 (90 00)\n00 A4 00 0C 02 > 6F 03 (90 00)\n"
                  b"00 B0 00 00 FF (90 00)\n"
                  b"80 FA 01 01 (90 00) # the next block's LRC wrong\n00 B0 00 00 FF (90 00)\n"
                  b"80 FA 02 01 (90 00) # a byte lost from the next block\n00 B0 00 00 FF (90 00)\n"
                  b"80 FA 04 00 (90 00) # silent from here\n00 B0 00 00 FF\n00 B0 00 00 01\n")
        result, objects, took = self.run_jsonl(w, script, "--pps", "--keep-going")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"protocol T=1; IFSD 254 announced", result.stderr)
        reset, *commands = objects
        self.assertEqual((reset["protocol"], reset["baud"], reset["pps"]),
                         ("T=1", 223200, "FF 11 96 78 FF 11 96 78"))
        self.assertEqual([b["bytes"] for b in reset["blocks"]], ["00 C1 01 FE 3E", "00 E1 01 FE 1E"])
        reads = [commands[i] for i in (2, 4, 6)]
        for read, error in zip(reads, [None, "EDC or parity error", "other error"]):
            self.assertEqual((read["response"], read["sw"]), (content, "90 00"))
            meanings = [b["meaning"] for b in read["blocks"]]
            self.assertIn("more follows, 254 bytes of the answer; LRC right", meanings[-3])
            if error:
                self.assertIn(error, " ".join(meanings))
        # IFSD 254: the answer in two blocks, 258 and 7 bytes, the R-block between them.
        self.assertEqual([len(b["bytes"].split()) for b in reads[0]["blocks"]], [9, 258, 4, 7])
        silent, after = commands[8], commands[9]
        self.assertFalse(silent["completed"])
        self.assertIn("the card needs a Reset", silent["failure"])
        self.assertTrue(silent["blocks"][-1]["meaning"].startswith("S(RESYNCH request)"))
        self.assertEqual((after["completed"], after["received"]), (False, ""))
        self.assertTrue(after["failure"].startswith("Nothing was sent"), after["failure"])
        self.assertLess(after["ms"], 50)
        # Six block waiting times of 1.6 s bound the silent card; nothing else waits long.
        self.assertLess(took, 6 * 1.62 + 3, took)
        log = w.read("test.txt").decode()
        self.assertIn("00 40 03 FE 90 00 2D \r\n90 00\r\n", log)  # a read's last block, SW
        self.assertIn("00 C0 00 C0 \r\n", log)  # the RESYNCH requests, echoed

    def test_t1_over_a_pseudo_terminal(self):
        card = PtyT1Card()
        self.addCleanup(card.stop)
        w = Workspace(self, profile="[ports]\nCARD=%s\n" % card.path)
        data = " ".join("%02X" % (0xA0 + i) for i in range(40)).encode()
        script = b"00 D6 00 00 28 > " + data + b" (90 00)\n00 B0 00 00 00 (90 00)\n"
        result, objects, _ = self.run_jsonl(w, script, "--port", "CARD")
        self.assertEqual(result.returncode, 0, result.stderr)
        reset, update, read = objects
        self.assertEqual(reset["protocol"], "T=1")
        self.assertEqual(reset["blocks"][0]["bytes"], "00 C1 01 FE 3E")
        # 45 command bytes at IFSC 32: two I-blocks, the card's R-block between them.
        self.assertEqual([(b["sent"], len(b["bytes"].split())) for b in update["blocks"]],
                         [(True, 36), (False, 4), (True, 17), (False, 6)])
        self.assertEqual(card.blocks_seen[1][1], 0x20)  # M set on the first piece
        self.assertEqual(read["response"], " ".join("%02X" % (i & 0xFF) for i in range(256)))
        self.assertEqual([b["sent"] for b in read["blocks"]], [True, False, True, False])


TRACED_SCRIPT = b"""log run.log
reset settings COM2: baud=9600 parity=E data=8 stop=2
execute settings COM2: baud=9600 parity=E data=8 stop=2
00 A4 00 00 02 > 7F 10 # select DF, answered 61 09
00 A4 00 0C 02 > 6F 01
00 B0 00 00 20
00 CA 00 00 04 # refused in place of the procedure byte
00 20 00 01 08 > 31 32 33 34 FF FF FF FF # verify
00 B0 00 00 00 # answered 6C 20, then sent again
"""
PIN = "31 32 33 34 FF FF FF FF"
FIELDS = ["frame.time_epoch", "udp.payload", "gsm_sim.apdu.ins", "gsm_sim.bin_offset",
          "gsm_sim.apdu.sw", "gsm_sim.file_id", "ip.checksum.status", "udp.checksum.status"]


def tshark(path):
    """Each packet of a trace as tshark reads it: a dict of FIELDS, the GSMTAP sub-type and
    sub-slot and the payload after the GSMTAP header as hex pairs."""
    binary = shutil.which("tshark")
    assert binary, "tshark is missing: ./test.sh installs it"
    args = [binary, "-r", path, "-o", "ip.check_checksum:TRUE", "-o", "udp.check_checksum:TRUE",
            "-T", "fields", "-E", "separator=/t", "-E", "occurrence=f"]
    for field in FIELDS:
        args += ["-e", field]
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    errors = [line for line in result.stderr.decode().splitlines() if "Running as user" not in line]
    assert result.returncode == 0 and not errors, result.stderr
    packets = []
    for line in result.stdout.decode().splitlines():
        packet = dict(zip(FIELDS, line.split("\t")))
        gsmtap = bytes.fromhex(packet["udp.payload"])
        packet["sub_type"], packet["sub_slot"] = gsmtap[12], gsmtap[14]
        packet["payload"] = " ".join("%02X" % b for b in gsmtap[16:])
        packets.append(packet)
    return packets


def hex_number(value):
    return int(value, 16) if value else None


class Traces(unittest.TestCase):
    def run_traced(self, w, *args):
        result = w.run("--run", "demo.txt", "--port", "DEMO", "--format", "jsonl", *args)
        return result, [json.loads(line) for line in result.stdout.decode().splitlines()]

    def test_a_session_reads_back_in_tshark_as_its_json_lines(self):
        w = Workspace(self)
        w.file("demo.txt", TRACED_SCRIPT)
        began = time.time()
        result, objects = self.run_traced(w, "--trace", "s.pcap", "--auto-response")
        ended = time.time()
        self.assertEqual(result.returncode, 1, result.stderr)  # the refused command
        packets = tshark(os.path.join(w.path, "s.pcap"))
        self.assertEqual(len(packets), len(objects))
        self.assertEqual((packets[0]["sub_type"], packets[0]["payload"]), (1, objects[0]["atr"]))
        times = [float(p["frame.time_epoch"]) for p in packets]
        self.assertEqual(times, sorted(times))
        self.assertTrue(began <= times[0] and times[-1] <= ended, (began, times, ended))
        for packet, exchange in zip(packets[1:], objects[1:]):
            with self.subTest(exchange=exchange):
                header = bytes.fromhex(exchange["header"])
                self.assertEqual((packet["sub_type"], packet["ip.checksum.status"],
                                  packet["udp.checksum.status"]), (0, "1", "1"))
                # tshark names INS; P1 and P2 only for some instructions, all are in its bytes.
                self.assertEqual(hex_number(packet["gsm_sim.apdu.ins"]), header[1])
                self.assertEqual(packet["payload"][:14], exchange["header"])
                if header[1] == 0xB0:
                    self.assertEqual(int(packet["gsm_sim.bin_offset"]), header[2] << 8 | header[3])
                self.assertEqual(packet["sub_slot"], 0 if exchange["completed"] else 1)
                if exchange["completed"]:
                    self.assertEqual(hex_number(packet["gsm_sim.apdu.sw"]),
                                     int(exchange["sw"].replace(" ", ""), 16))
                if header[1] == 0xA4:  # the file id SELECT sent, as its echo shows it
                    self.assertEqual(hex_number(packet["gsm_sim.file_id"]),
                                     int(exchange["received"][-5:].replace(" ", ""), 16))
        by_header = {o["header"]: p["payload"] for o, p in zip(objects[1:], packets[1:])}
        self.assertEqual(by_header["00 C0 00 00 09"],
                         "00 C0 00 00 09 62 07 82 01 38 83 02 7F 10 90 00")
        self.assertEqual(by_header["00 CA 00 00 04"], "00 CA 00 00 04 6D 00")
        self.assertEqual(by_header["00 20 00 01 08"], "00 20 00 01 08 " + "FF " * 8 + "90 00")
        self.assertEqual(by_header["00 B0 00 00 20"][-8:], "64 90 00")
        # The log keeps the PIN as it went; --trace-pins keeps it in the trace too.
        self.assertIn(PIN.encode(), w.read("run.log"))
        kept, _ = self.run_traced(w, "--trace", "kept.pcap", "--trace-pins")
        verify = [p for p in tshark(os.path.join(w.path, "kept.pcap"))
                  if p["payload"].startswith("00 20")]
        self.assertEqual([p["payload"] for p in verify], ["00 20 00 01 08 %s 90 00" % PIN])

    def test_atr_and_pps_packets_are_of_their_sub_types(self):
        w = Workspace(self)
        w.file("demo.txt", b"00 84 00 00 08\n")
        result = w.run("--run", "demo.txt", "--port", "DEMF", "--pps", "--trace", "s.pcap")
        self.assertEqual(result.returncode, 0, result.stderr)
        packets = tshark(os.path.join(w.path, "s.pcap"))
        self.assertEqual([(p["sub_type"], p["payload"]) for p in packets[1:3]],
                         [(2, "FF 10 96 79"), (3, "FF 10 96 79")])
        self.assertEqual([p["sub_type"] for p in packets], [1, 2, 3, 0])

    def test_a_live_session_received_on_a_loopback_socket_equals_the_file(self):
        w = Workspace(self)
        w.file("demo.txt", TRACED_SCRIPT)
        listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(listener.close)
        listener.bind(("127.0.0.1", 0))
        port = listener.getsockname()[1]
        result, objects = self.run_traced(w, "--trace", "s.pcap", "--keep-going",
                                          "--gsmtap", "127.0.0.1:%d" % port)
        self.assertEqual(result.returncode, 1, result.stderr)
        listener.setblocking(False)
        received = []
        while True:
            try:
                received.append(listener.recv(65536).hex())
            except BlockingIOError:
                break
        filed = [p["udp.payload"] for p in tshark(os.path.join(w.path, "s.pcap"))]
        self.assertEqual(len(filed), len(objects))
        self.assertEqual(received, filed)

    def test_a_trace_cut_off_mid_run_still_opens(self):
        w = Workspace(self)
        w.file("demo.txt", b"00 A4 00 0C 02 > 6F 01\n" + b"00 B0 00 00 20\n" * 400)
        run = subprocess.Popen(**w.command("--run", "demo.txt", "--port", "DEMO", "--trace",
                                           "s.pcap", stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        self.addCleanup(run.wait)
        self.addCleanup(run.kill)
        path = os.path.join(w.path, "s.pcap")
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and (not os.path.exists(path)
                                               or os.path.getsize(path) < 1000):
            time.sleep(0.01)
        run.kill()
        run.wait()
        packets = tshark(path)
        self.assertGreater(len(packets), 5)
        self.assertLess(len(packets), 400)

    def test_a_trace_that_cannot_be_made_stops_the_run_before_the_card(self):
        w = Workspace(self)
        w.file("demo.txt", b"00 A4 00 0C 02 > 6F 01\n")
        w.file("run.log", b"precious")
        os.mkdir(os.path.join(w.path, "adir"))
        cases = [
            (["--trace", "adir"], 'Could not write the trace file "adir": it is a folder'),
            (["--trace", "demo.txt"], 'The trace file "demo.txt" is the command file'),
            (["--trace", "run.log"], 'The trace file "run.log" is the log file'),
            (["--gsmtap", "host:0"], "--gsmtap takes a port from 1 to 65535"),
            (["--trace-pins"], "--trace-pins goes only with --trace or --gsmtap"),
        ]
        for args, error in cases:
            with self.subTest(args=args):
                result = w.run("--run", "demo.txt", "--port", "DEMO", "--log", "run.log", *args)
                self.assertEqual((result.returncode, result.stdout), (2, b""))
                self.assertIn(error, result.stderr.decode())
                self.assertEqual(w.read("run.log"), b"precious")

    def test_a_trace_file_that_fills_up_ends_the_run_with_status_3_and_still_opens(self):
        w = Workspace(self)
        w.file("demo.txt", TRACED_SCRIPT)
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (300, 300))
        result = w.run("--run", "demo.txt", "--port", "DEMO", "--no-log", "--keep-going",
                       "--trace", "s.pcap", preexec_fn=limit)
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertEqual(result.stderr.decode(), 'Could not write the trace file "s.pcap": File '
                         "too large.\nThe run goes on; the trace is incomplete.\n")
        self.assertEqual(rows_of(result)[-1], "00 B0 00 00 00 6C 20 ")  # every command ran
        self.assertGreater(len(tshark(os.path.join(w.path, "s.pcap"))), 0)


def files_of(result):
    """--explore --format jsonl: each file's object by its path."""
    return {f["path"]: f for f in map(json.loads, rows_of(result))}


def with_a_terminal(answer):
    """Runs quorvel in a session of its own whose controlling terminal is a pseudo-terminal
    played here: what it writes there, then `answer` typed once it asks."""
    def run(w, *args):
        master, slave = os.openpty()

        def take_the_terminal():
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        process = subprocess.Popen(**w.command(*args, stdout=subprocess.PIPE,
                                               stderr=subprocess.PIPE, pass_fds=(slave,),
                                               preexec_fn=take_the_terminal))
        os.close(slave)
        shown = b""
        while not shown.endswith(b"PIN1: "):
            ready, _, _ = select.select([master], [], [], 30)
            if not ready:
                break
            shown += os.read(master, 1024)
        os.write(master, answer)
        out, err = process.communicate(timeout=60)
        try:
            while select.select([master], [], [], 0.1)[0]:
                shown += os.read(master, 1024)
        except OSError:  # the terminal's last user has gone
            pass
        os.close(master)
        return subprocess.CompletedProcess(process.args, process.returncode, out, err), shown
    return run


class Explorer(unittest.TestCase):
    def test_both_demo_cards_decode_as_the_readme_lists(self):
        w = Workspace(self)
        sim = w.run("--explore", "--port", "DEMS", "--format", "jsonl")
        self.assertEqual((sim.returncode, sim.stderr), (0, b""))
        files = files_of(sim)
        self.assertEqual(len(files), 17)
        self.assertEqual(files["3F00/2FE2"]["decoded"]["iccid"], "8949020000123456788")
        self.assertEqual(files["3F00/2F00"]["status"], "absent (94 04)")  # a SIM has no EF.DIR
        self.assertEqual(files["3F00/7F20/6F07"]["decoded"]["mnc"], "01")
        self.assertEqual(files["3F00/7F20/6F20"]["decoded"]["cksn"], 2)
        self.assertEqual(files["3F00/7F20/6F46"]["decoded"]["name"], "Quorvel Mobile")
        self.assertEqual(files["3F00/7F10/6F3A"]["decoded"]["records"][1]["alpha"],
                         "Caf\u00e9 {Mitte}")
        self.assertEqual(files["3F00/7F20/6FB7"]["decoded"]["codes"], ["112", "110", "911"])
        # Every exchange is logged as a run logs it: a new list's log, test.txt.
        self.assertIn(b"A0 A4 00 00 02 A4 7F 20 \r\n9F ", w.read("test.txt"))

        usim = w.run("--explore", "--port", "DEMU", "--pps", "--format", "jsonl", "--no-log")
        self.assertEqual(usim.returncode, 0, usim.stderr)
        self.assertIn(b"PPS accepted", usim.stderr)
        files = files_of(usim)
        self.assertEqual(len(files), 26)
        self.assertEqual(files["3F00/2FE2"]["decoded"]["iccid"], "89012601234567890121")
        self.assertEqual(files["3F00/7FFF/6F07"]["status"], "needs PIN1 (69 82)")
        self.assertIsNone(files["3F00/7FFF/6F07"]["raw"])
        self.assertEqual(files["3F00/7FFF/6FAD"]["decoded"]["mnc_length"], 3)
        ecc = files["3F00/7FFF/6FB7"]
        self.assertEqual((ecc["structure"], ecc["record_length"]), ("linear fixed", 14))
        self.assertEqual(ecc["decoded"]["records"][2]["alpha"], "Police")

        tree = w.run("--explore", "--port", "DEMU", "--no-log")
        self.assertEqual(rows_of(tree)[0], "UICC: 26 files, 79 exchanges")

    def test_a_card_never_reached_prints_nothing_and_leaves_the_log(self):
        w = Workspace(self, profile="[ports]\nNOPE=/nonexistent/ttyX\n")
        w.file("test.txt", b"old log")
        for args in (["--port", "NOPE"], ["--port", "NOPE", "--format", "jsonl"]):
            result = w.run("--explore", *args)
            self.assertEqual((result.returncode, result.stdout), (2, b""))
            self.assertIn(b"Could not create handle", result.stderr)
        self.assertEqual(w.read("test.txt"), b"old log")
        # Without a terminal to ask on, nothing is touched either.
        result = w.run("--explore", "--port", "DEMU", "--verify-pin1", preexec_fn=os.setsid)
        self.assertEqual((result.returncode, result.stdout), (2, b""))
        self.assertIn(b"--verify-pin1 asks for the PIN on the terminal", result.stderr)
        self.assertEqual(w.read("test.txt"), b"old log")

    def test_verify_pin1_asks_on_the_terminal_without_echo_and_sends_the_pin_once(self):
        w = Workspace(self)
        run = with_a_terminal(b"1234\n")
        result, shown = run(w, "--explore", "--port", "DEMU", "--verify-pin1", "--format",
                            "jsonl")
        self.assertEqual(shown, b"PIN1: 3 tries left.\r\nPIN1: \r\n")  # no digit echoed
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"PIN1 verified\n")
        self.assertEqual(files_of(result)["3F00/7FFF/6F07"]["decoded"]["imsi"],
                         "310410123456789")
        # On the serial line the PIN comes back as an echo: a received byte like any other.
        self.assertIn(b"00 20 00 01 08 20 31 32 33 34 FF FF FF FF \r\n90 00", w.read("test.txt"))

        result, shown = with_a_terminal(b"9999\n")(w, "--explore", "--port", "DEMU",
                                                     "--verify-pin1")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"wrong PIN1: 2 tries left\n")
        self.assertIn("needs PIN1 (69 82)", result.stdout.decode())


if __name__ == "__main__":
    QUORVEL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
