#!/usr/bin/env python3
"""`orvanpush zip` as a person and a script use it: the archive it writes passes unzip and
Python's zipfile, --json prints one result object, failures exit 1 and leave nothing behind, a
killed run leaves no archive, and the progress bar is drawn only on a terminal.

Usage: zip_command.py <path of the orvanpush binary>
"""

import json
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

ORVANPUSH = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush"


class ZipCommand(unittest.TestCase):
    def setUp(self):
        self.work_dir = tempfile.TemporaryDirectory(prefix="orvanpush-e2e-zip-")
        self.work = Path(self.work_dir.name)
        logs = self.work / "logs"
        (logs / "old").mkdir(parents=True)
        (logs / "a.log").write_text("line of the log\n" * 5000)
        (logs / "old" / "b.log").write_bytes(os.urandom(20000))

    def tearDown(self):
        self.work_dir.cleanup()

    def zip(self, *arguments, json_output=True):
        command = [ORVANPUSH, "--home", str(self.work / "home")]
        if json_output:
            command.append("--json")
        return subprocess.run(command + ["zip", *arguments], capture_output=True, text=True,
                              timeout=60, cwd=self.work)

    def zip_on_terminal(self, *arguments, until=None):
        """Starts zip with standard error on a terminal and reads the terminal until `until`
        appears, or to its end. Returns the process and what was read."""
        control, terminal = pty.openpty()
        process = subprocess.Popen([ORVANPUSH, "--home", str(self.work / "home"), "zip",
                                    *arguments], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=terminal, cwd=self.work)
        os.close(terminal)
        shown = b""
        try:
            while until is None or until not in shown:
                ready, _, _ = select.select([control], [], [], 60)
                self.assertTrue(ready, f"nothing shown within 60 s after {shown!r}")
                try:
                    piece = os.read(control, 4096)
                except OSError:  # the process closed the terminal
                    break
                if not piece:
                    break
                shown += piece
        finally:
            os.close(control)
        return process, shown

    def test_a_killed_run_leaves_no_archive_and_the_rerun_works(self):
        (self.work / "big").mkdir()
        (self.work / "big" / "noise.bin").write_bytes(os.urandom(32 << 20))
        process, _ = self.zip_on_terminal("big", "big.zip", until=b"] 1%")
        process.send_signal(signal.SIGKILL)
        process.wait(timeout=60)
        self.assertFalse((self.work / "big.zip").exists())

        completed = self.zip("big", "big.zip")
        self.assertEqual(completed.returncode, 0, completed.stdout)
        with zipfile.ZipFile(self.work / "big.zip") as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(archive.namelist(), ["big/noise.bin"])

    def test_the_bar_of_an_empty_file_ends_at_100_percent(self):
        (self.work / "empty.log").write_bytes(b"")
        process, shown = self.zip_on_terminal("empty.log", "empty.zip")
        self.assertEqual(process.wait(timeout=60), 0, shown)
        self.assertIn(b"] 100%", shown)

    def test_writes_an_archive_standard_tools_accept(self):
        for flags, method in (([], zipfile.ZIP_DEFLATED), (["--store"], zipfile.ZIP_STORED)):
            with self.subTest(flags=flags):
                target = self.work / f"logs{len(flags)}.zip"
                completed = self.zip("logs/", str(target), *flags)
                self.assertEqual(completed.returncode, 0, completed.stderr)
                self.assertEqual(json.loads(completed.stdout.splitlines()[-1]),
                                 {"result": "success"})
                self.assertEqual(completed.stderr, "")  # not a terminal: no bar
                unzip = subprocess.run(["unzip", "-t", str(target)], capture_output=True,
                                       text=True)
                self.assertEqual(unzip.returncode, 0, unzip.stdout)
                with zipfile.ZipFile(target) as archive:
                    self.assertIsNone(archive.testzip())
                    names = {info.filename: info.compress_type for info in archive.infolist()}
                self.assertEqual(names, {"logs/a.log": method, "logs/old/": zipfile.ZIP_STORED,
                                         "logs/old/b.log": method})
                self.assertEqual(target.stat().st_mode & 0o777, 0o600)

    def test_failures_exit_1_with_the_error(self):
        (self.work / "taken.zip").write_text("keep me")
        cases = (("missing", "new.zip", "fileReadNoSuchFile"),
                 ("logs", "taken.zip", "fileWriteFileExists"),
                 ("logs/..", "dots.zip", "invalidEntryPath"))
        for source, target, error in cases:
            with self.subTest(source=source):
                completed = self.zip(source, target)
                self.assertEqual(completed.returncode, 1)
                result = json.loads(completed.stdout.splitlines()[-1])
                self.assertEqual(result["result"], "error")
                self.assertTrue(result["errorDescription"].startswith(error), result)
        self.assertEqual((self.work / "taken.zip").read_text(), "keep me")
        self.assertFalse((self.work / "new.zip").exists())
        self.assertFalse((self.work / "dots.zip").exists())

        # A name that is not UTF-8 cannot be an entry's: the error names it.
        (self.work / "odd").mkdir()
        (self.work / "odd" / "a.log").write_text("fine")
        with open(os.path.join(bytes(self.work / "odd"), b"caf\xe9.log"), "wb") as odd:
            odd.write(b"not fine")
        completed = self.zip("odd", "odd.zip")
        self.assertEqual(completed.returncode, 1)
        self.assertEqual(json.loads(completed.stdout.splitlines()[-1])["errorDescription"],
                         'invalidEntryPath: "odd/caf\\xe9.log"')
        self.assertFalse((self.work / "odd.zip").exists())

        completed = self.zip("missing", "new.zip", json_output=False)
        self.assertEqual(completed.returncode, 1)
        self.assertRegex(completed.stderr, r"^error: cannot pack missing into new.zip: "
                                           r"fileReadNoSuchFile")

    def test_usage_errors_exit_2(self):
        self.assertEqual(self.zip("logs").returncode, 2)


if __name__ == "__main__":
    unittest.main()
