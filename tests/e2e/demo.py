#!/usr/bin/env python3
"""The demo runs in a fresh home, exits 0 and prints the path and the lines of the day's log file.

Usage: demo.py <path of the orvanpush binary>
"""

import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ORVANPUSH = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush"
LOG_LINE = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}[+-]\d{4};Error;[0-9A-F]{8,};;"
                      r"SDK Instance;settingNotFound\(\"\w+\"\) \[\w+\.cpp:\d+\]$")


class Demo(unittest.TestCase):
    def test_demo_prints_the_days_log_file(self):
        with tempfile.TemporaryDirectory(prefix="orvanpush-demo-") as home:
            run = subprocess.run([ORVANPUSH, "--home", home, "demo"], capture_output=True,
                                 text=True, timeout=60)
            self.assertEqual(run.returncode, 0, run.stderr)
            lines = run.stdout.splitlines()
            directory = Path(home) / "documents" / "orvanpush.cli" / "OrvanPushSDKLogs"
            self.assertIn(f"Log files in {directory}:", lines)
            files = list(directory.iterdir())
            self.assertEqual(len(files), 1)
            self.assertIn("== " + files[0].name, lines)
            written = files[0].read_text().splitlines()
            self.assertGreaterEqual(len(written), 2)
            for line in written:
                self.assertRegex(line, LOG_LINE)
                self.assertIn(line, lines)


if __name__ == "__main__":
    unittest.main()
