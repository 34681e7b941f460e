#!/usr/bin/env python3
"""`orvanpush send-logs` against the reference server: the day's log file travels zipped in the
server's form, the server's answer is reported (exit 1 when a file was not sent), and the
logging control in the answer changes what later commands write to the log file.

Usage: send_logs_command.py <path of the orvanpush binary> <path of orvanpush-server>
"""

import base64
import json
import subprocess
import sys
import tempfile
import unittest
import zipfile
from io import BytesIO
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from push_server import PushServer, header  # noqa: E402

ORVANPUSH = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush"
SERVER = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush-server"


def control(level, send_logs, versions):
    return {"log-level": level, "send-logs": send_logs, "vendor": [],
            "ios-sdk-version": versions, "android-sdk-version": []}


class SendLogsCommand(unittest.TestCase):
    def setUp(self):
        home_dir = tempfile.TemporaryDirectory(prefix="orvanpush-e2e-logs-")
        self.addCleanup(home_dir.cleanup)
        self.home = Path(home_dir.name)
        self.server = PushServer(SERVER).start()
        self.addCleanup(self.server.stop)
        self.logs = self.home / "documents" / "orvanpush.cli" / "OrvanPushSDKLogs"
        self.cli("init", "--id", "shop", "--server", self.server.base_url, "--login", "orvan",
                 "--password", "orvan-password", "--log-server", self.server.log_server_url + "/")
        # An instance that does not exist: its error is written to the day's log file.
        self.cli("whoami", "--id", "missing")

    def cli(self, *arguments, json_output=True):
        command = [ORVANPUSH, "--home", str(self.home)] + (["--json"] if json_output else [])
        return subprocess.run(command + list(arguments), capture_output=True, text=True,
                              timeout=120)

    def send_logs(self, json_output=True):
        run = self.cli("send-logs", "--id", "shop", json_output=json_output)
        lines = run.stdout.strip().splitlines()
        return run.returncode, json.loads(lines[-1]) if json_output else (lines, run.stderr)

    def log_text(self):
        return "".join(path.read_text() for path in self.logs.glob("*.log"))

    def test_reports_the_servers_answer_for_the_days_archive(self):
        status, result = self.send_logs()

        log_file = next(self.logs.glob("*.log"))
        archive = log_file.with_name(log_file.name + ".zip")
        self.assertEqual(status, 0, result)
        self.assertEqual(result, {"result": "success",
                                  "files": [{"file": str(archive), "sent": True}]})
        (record,) = self.server.requests("saveLogFile")
        self.assertEqual(record["outcome"], "applied", record["problems"])
        self.assertEqual(header(record, "Authorization"), [])
        # The body is the form byte for byte around the boundary and the archive.
        (content_type,) = header(record, "Content-Type")
        boundary = content_type.split("boundary=")[1]
        sent_archive = self.server.archive_bytes(1)
        self.assertEqual(sent_archive, archive.read_bytes())

        def part(name, data, filename=None, kind="text/plain; charset=utf-8"):
            disposition = f'form-data; name="{name}"' + (f';filename="{filename}"'
                                                         if filename else "")
            return (f"\r\n--{boundary}\r\nContent-Disposition: {disposition}\r\n"
                    f"Content-Type: {kind}\r\n\r\n").encode() + data

        expected = (part("client", b"") + part("device", b"")
                    + part("filename", archive.name.encode())
                    + part("logfile", sent_archive, archive.name, "text/plain")
                    + f"\r\n--{boundary}--\r\n".encode())
        self.assertEqual(base64.b64decode(record["bodyBase64"]), expected)
        # Independent tools accept the archive, which holds the day's log file.
        self.assertEqual(subprocess.run(["unzip", "-tq", str(archive)],
                                        capture_output=True).returncode, 0)
        with zipfile.ZipFile(BytesIO(sent_archive)) as opened:
            self.assertIsNone(opened.testzip())
            self.assertEqual(opened.namelist(), [log_file.name])

        # For a person: the outcome on standard output, the library's console line with the
        # server's answer on standard error.
        status, (lines, console) = self.send_logs(json_output=False)
        self.assertEqual(status, 0)
        self.assertEqual(lines, [f"sent: {archive}"])
        self.assertIn('Result: {"status":"success"}\n', console)

    def test_a_file_the_server_refuses_exits_1_with_its_description(self):
        self.server.add_fault("saveLogFile", "answer",
                              body={"status": "ERROR", "description": "disk full"})
        status, result = self.send_logs()
        self.assertEqual(status, 1)
        self.assertEqual(result["result"], "error")
        self.assertEqual(result["errorDescription"], "1 of 1 log files not sent")
        self.assertEqual(result["files"][0]["sent"], False)
        self.assertEqual(result["files"][0]["description"], "disk full")
        self.assertIn('not sent. Description: "disk full"', self.log_text())

    def test_the_control_switches_the_level_only_for_this_version(self):
        version = self.cli("--version", json_output=False).stdout.split()[-1]
        # Trace entries (such as the look-up's "Push SDK parameters corrected") appear only
        # once the level is "trace".
        self.server.set_logging_control(control("trace", "1", ["0.0.1"]))
        self.assertEqual(self.send_logs()[0], 0)
        self.cli("whoami", "--id", "shop")
        self.assertNotIn("Push SDK parameters corrected", self.log_text())

        self.server.set_logging_control(control("TRACE", "1", [version]))
        self.assertEqual(self.send_logs()[0], 0)
        self.cli("whoami", "--id", "shop")
        self.assertIn("Push SDK parameters corrected", self.log_text())

        # Switched off by the server: nothing more is sent.
        self.server.set_logging_control(control("trace", "0", [version]))
        self.assertEqual(self.send_logs()[0], 0)
        before = len(self.server.requests("saveLogFile"))
        self.assertEqual(self.send_logs(), (0, {"result": "success", "files": []}))
        self.assertEqual(len(self.server.requests("saveLogFile")), before)


if __name__ == "__main__":
    unittest.main()
