#!/usr/bin/env python3
"""An application process saves a named instance; its extension, another process with another
bundle identifier and the same home, obtains the instance with nothing but the identifier.

Usage: two_process_instance.py <path of the orvanpush binary>
"""

import json
import os
import secrets
import sqlite3
import stat
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ORVANPUSH = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush"
PASSWORD = "pw-" + secrets.token_hex(8)
LOG_SERVER_PRINTED = ('LogServerParams: ServerParams(protocolType: "https", '
                      'serverURL: "logs.example.com", serverPort: 443, context: "logs")')


class TwoProcessInstance(unittest.TestCase):
    def setUp(self):
        self.home_dir = tempfile.TemporaryDirectory(prefix="orvanpush-e2e-")
        self.home = Path(self.home_dir.name)
        self.outputs = []

    def tearDown(self):
        self.home_dir.cleanup()

    def run_cli(self, *arguments, extension=False, verbose=False):
        command = [ORVANPUSH, "--home", str(self.home), "--json"]
        if extension:
            command.append("--extension")
        if verbose:
            command.append("--verbose")
        completed = subprocess.run(command + list(arguments), capture_output=True, text=True,
                                   timeout=60)
        self.outputs.append(completed.stdout + completed.stderr)
        lines = completed.stdout.strip().splitlines()
        return completed.returncode, json.loads(lines[-1]) if lines else None

    def init(self, login="alice", password=PASSWORD, extension=False, *more):
        return self.run_cli("init", "--id", "demo", "--group", "group.shop",
                            "--server", "https://push.example.com:8443/api",
                            "--login", login, "--password", password, *more,
                            extension=extension)

    def whoami(self, extension=False):
        return self.run_cli("whoami", "--id", "demo", extension=extension)

    def extension_log(self):
        logs = self.home / "documents" / "orvanpush.cli.extension" / "OrvanPushSDKLogs"
        return "".join(path.read_text() for path in sorted(logs.glob("*.log")))

    def set_extension_log_level(self, level):
        # The extension's own store (its bundle identifier's suite) keeps the log level. Reads
        # alone do not create it, so it may not exist yet; the library narrows its mode when it
        # opens it.
        store = self.home / "defaults" / "orvanpush.cli.extension.sqlite"
        with sqlite3.connect(store) as connection:
            connection.execute("CREATE TABLE IF NOT EXISTS defaults (key TEXT PRIMARY KEY NOT NULL,"
                               " type TEXT NOT NULL, value NOT NULL)")
            connection.execute(
                "INSERT INTO defaults (key, type, value) VALUES ('_log_level', 'string', ?)"
                " ON CONFLICT (key) DO UPDATE SET type = excluded.type, value = excluded.value",
                (level,))

    def test_the_extension_reads_what_the_application_saved(self):
        self.assertEqual(self.init("alice", PASSWORD, False, "--log-server",
                                   "https://logs.example.com/logs"),
                         (0, {"result": "success"}))
        self.assertEqual(self.whoami(extension=True),
                         (0, {"result": "success", "token": None, "clientId": None,
                              "deviceId": None}))

        # With file logging at trace level the extension shows the configuration it read.
        self.set_extension_log_level("trace")
        self.assertEqual(self.whoami(extension=True)[0], 0)
        log = self.extension_log()
        self.assertIn(LOG_SERVER_PRINTED, log)
        self.assertIn("Push SDK parameters corrected", log)

        # Each process reads the other's latest write on its next look-up.
        self.assertEqual(self.init("", PASSWORD)[0], 0)
        self.assert_not_found(self.whoami(extension=True), "serverLoginKey")
        self.assertEqual(self.init("bob", "", True)[0], 0)
        self.assert_not_found(self.whoami(), "serverPasswordKey")
        self.assertEqual(self.init("bob", PASSWORD, True)[0], 0)
        self.assertEqual(self.whoami()[0], 0)

        # The log server of the first call was left in place by the later ones.
        self.assertEqual(self.run_cli("whoami", "--id", "demo", extension=True,
                                      verbose=True)[0], 0)
        self.assertEqual(self.extension_log().count(LOG_SERVER_PRINTED), 2)

        self.assert_private_files()
        self.assert_password_only_in_the_group_store()

    def test_an_unusable_server_url_is_a_usage_error_and_writes_nothing(self):
        for url in ["push.example.com", "ftp://push.example.com", "https://:443",
                    "https://push.example.com:99999", "https://push.example.com/api?x=1"]:
            code, _ = self.run_cli("init", "--id", "demo", "--server", url, "--login", "alice",
                                   "--password", PASSWORD)
            self.assertEqual(code, 2, url)
        self.assertFalse((self.home / "keychain").exists())
        self.assertFalse((self.home / "defaults").exists())

    def assert_not_found(self, outcome, key):
        code, result = outcome
        self.assertEqual((code, result["result"], result["error"], result["payload"]),
                         (2, "error", "settingNotFound", key))
        self.assertIn("run `orvanpush init --id demo", result["message"])

    def assert_private_files(self):
        for path in [self.home, *self.home.rglob("*")]:
            mode = stat.S_IMODE(path.stat().st_mode)
            self.assertEqual(mode, 0o700 if path.is_dir() else 0o600, path)

    def assert_password_only_in_the_group_store(self):
        holders = {path.name for path in self.home.rglob("*")
                   if path.is_file() and PASSWORD.encode() in path.read_bytes()}
        self.assertTrue(holders)
        self.assertTrue(all(name.startswith("group.shop.sqlite") for name in holders), holders)
        self.assertFalse(any(PASSWORD in output for output in self.outputs))


if __name__ == "__main__":
    unittest.main(verbosity=2)
