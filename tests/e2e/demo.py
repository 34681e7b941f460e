#!/usr/bin/env python3
"""`orvanpush demo`: the walk-through passes twice in a row, each run in a temporary home it
removes; a step the server is made to refuse fails the run, named; a refusal of nothing the
server does, or a home that is not empty, is a usage error before anything starts.

Usage: demo.py <path of the orvanpush binary> <path of orvanpush-server>
"""

import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ORVANPUSH = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush"
SERVER = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush-server"
STEPS = ["instance", "subscribe", "attributes", "receive", "receive-again", "read", "content",
         "outage", "history", "messages", "logs"]
CALLS = ["createInstance", "subscribe", "updateSubscriber", "onMessageReceive",
         "onMessageReceive", "onMessageRead", "getNotificationContent", "onMessageRead",
         "getMessages", "getFetchedResultsController", "sendLogs"]
SUMMARY = re.compile(r"^Summary: (\d+) of (\d+) steps passed in [\d.]+ s; the server verified "
                     r"(\d+) requests", re.M)


def demo(*arguments, refuse=None):
    environment = dict(os.environ)
    environment.pop("ORVANPUSH_HOME", None)
    environment.pop("ORVANPUSH_DEMO_REFUSE", None)
    if refuse:
        environment["ORVANPUSH_DEMO_REFUSE"] = refuse
    return subprocess.run([ORVANPUSH, *arguments], capture_output=True, text=True, timeout=60,
                          env=environment)


def home_of(run):
    return Path(re.search(r"^OrvanPushSDK \S+ demo in (.+)$", run.stdout, re.M).group(1))


class Demo(unittest.TestCase):
    def test_two_runs_in_a_row_pass_and_leave_nothing_behind(self):
        for attempt in (1, 2):
            with self.subTest(attempt=attempt):
                run = demo("demo")
                self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
                passed = re.findall(r"^\[ok\] \d+/\d+ ([\w-]+) (\w+): ", run.stdout, re.M)
                self.assertEqual(passed, list(zip(STEPS, CALLS)))
                self.assertLessEqual(max(map(len, run.stdout.splitlines())), 100, run.stdout)
                self.assertRegex(run.stdout, r"\nNext: orvanpush demo --keep-home, then "
                                             r"orvanpush --home <its home> messages --id demo\n$")
                summary = SUMMARY.search(run.stdout)
                self.assertIsNotNone(summary, run.stdout)
                self.assertEqual(summary.group(1), summary.group(2))
                self.assertGreater(int(summary.group(3)), 10)
                self.assertFalse(home_of(run).exists())
        with self.subTest("--json"):
            run = demo("--json", "demo")
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            summary = json.loads(run.stdout.splitlines()[-1])
            self.assertEqual((summary["result"], summary["stepsPassed"]), ("success", len(STEPS)))

    def test_a_refused_step_fails_the_run_named_and_the_kept_home_shows_why(self):
        parent = tempfile.TemporaryDirectory(prefix="orvanpush-e2e-demo-")
        self.addCleanup(parent.cleanup)
        missing_home = Path(parent.name) / "home"  # made by the demo
        run = demo("--home", str(missing_home), "demo", "--keep-home", "--server", SERVER,
                   refuse="history")
        home = home_of(run)
        self.assertEqual(home, missing_home)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertRegex(run.stdout, r'(?m)^\[FAILED\] 9/11 history getMessages: .*error 403')
        self.assertLessEqual(max(map(len, run.stdout.splitlines())), 100, run.stdout)
        self.assertRegex(run.stderr, r'^error: step "history" failed: .*=history.*; '
                                     r'`orvanpush demo --keep-home` keeps')
        self.assertIn(f"Next: orvanpush --home {home} messages --id demo", run.stdout)
        self.assertRegex(run.stdout, r"(?m)^Summary: 8 of 11 steps passed")
        self.assertNotIn("[ok] 10/11", run.stdout)
        log = home / "server-requests.jsonl"
        self.assertEqual(log.stat().st_mode & 0o777, 0o600)
        self.assertNotIn("Basic", log.read_text())
        records = [json.loads(line) for line in log.read_text().splitlines()]
        refused = [record for record in records if record["endpoint"] == "statistics"]
        self.assertEqual([(record["outcome"], record["status"]) for record in refused],
                         [("faulted", 403)])

    def test_nothing_starts_for_a_refusal_of_no_server_step_or_a_home_in_use(self):
        for refuse in ("instance", "no-such-step"):
            with self.subTest(refuse=refuse):
                run = demo("demo", refuse=refuse)
                self.assertEqual(run.returncode, 2, run.stdout + run.stderr)
                self.assertIn("one of: subscribe, attributes,", run.stderr)
                self.assertNotIn("[ok]", run.stdout)
        with tempfile.TemporaryDirectory(prefix="orvanpush-e2e-demo-") as home:
            kept = Path(home) / "notes.txt"
            kept.write_text("mine")
            run = demo("--home", home, "demo")
            self.assertEqual(run.returncode, 2, run.stdout + run.stderr)
            self.assertIn("is not empty", run.stderr)
            self.assertEqual(sorted(Path(home).iterdir()), [kept])


if __name__ == "__main__":
    unittest.main()
