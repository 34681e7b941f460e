#!/usr/bin/env python3
"""The tool refuses what it cannot do as asked, with the documented exit status and, under
--json, exactly one JSON object; it never falls back silently and never aborts.

Usage: cli_inputs.py <path of the orvanpush binary>
"""

import os
import sqlite3
import subprocess
import unittest

from cli_support import ORVANPUSH, SERVER, CliTestCase

LONG_NAME = "n" * 300


class CliInputs(CliTestCase):
    def init_with(self, *options):
        arguments = {"--id": "shop", "--server": SERVER, "--login": "alice",
                     "--password": "secret"}
        for name, value in zip(options[::2], options[1::2]):
            arguments[name] = value
        flat = [item for pair in arguments.items() for item in pair]
        return self.run_cli("init", *flat)

    def assert_usage_error(self, outcome, mentioning, case):
        code, result, _ = outcome
        self.assertEqual(code, 2, case)
        self.assertEqual(set(result), {"error", "message"}, case)
        self.assertEqual(result["error"], "usage", case)
        self.assertIn(mentioning, result["message"], case)

    def test_refused_options_are_usage_errors_that_write_nothing(self):
        cases = [
            (("--id", "../x"), "--id"),
            (("--id", "x", "--group", "a/b"), "--group"),
            (("--id", LONG_NAME), "--id"),
            (("--group", "group." + LONG_NAME), "--group"),
            (("--id", "."), "--id"),
            (("--server", "https://a]"), "--server"),
            (("--server", "https://a b"), "--server"),
            (("--keep", "99999999999999999999"), "--keep"),
            (("--days", "-1"), "--days"),
            (("--keep", "1.5"), "--keep"),
        ]
        for options, mentioning in cases:
            self.assert_usage_error(self.init_with(*options), mentioning, options)
        for seconds in ["nan", "inf", "1e300", "0", "-1", "x"]:
            self.assert_usage_error(self.run_cli("--timeout", seconds, "whoami", "--id", "shop"),
                                    "--timeout", seconds)
        self.assert_usage_error(self.run_cli("--home", "", "whoami", "--id", "shop", home=False),
                                "--home", "empty home")
        self.assert_usage_error(self.run_cli("init", "--id", "shop"), "required", "missing")
        self.assertFalse((self.home / "keychain").exists())
        self.assertFalse((self.home / "defaults").exists())

    def test_text_that_is_not_utf8_is_shown_with_replacement_characters(self):
        identifier = os.fsdecode(b"\xff")
        self.assert_usage_error(self.init_with("--id", identifier), "\ufffd", "JSON")
        code, _, stderr = self.run_cli("init", "--id", identifier, "--server", SERVER, "--login",
                                       "a", "--password", "p", json_output=False)
        self.assertEqual(code, 2)
        self.assertIn("\ufffd", stderr)

    def test_schemes_are_case_insensitive(self):
        self.assertEqual(self.init_with("--server", "HTTPS://push.example.com")[:2],
                         (0, {"result": "success"}))
        self.assertEqual(self.init_with("--server", "Http://[::1]:8080/api")[:2],
                         (0, {"result": "success"}))

    def test_a_keychain_failure_is_internal(self):
        (self.home / "keychain" / "keychain.sqlite").mkdir(parents=True)
        self.assertEqual(self.init_with()[:2], (3, {
            "error": "internal", "message": "Shared application group error. Status: -36"}))
        self.assertEqual(list((self.home / "defaults").glob("*.sqlite")), [])

    def test_an_unknown_instance_is_named_and_leaves_no_file(self):
        self.assertEqual(self.run_cli("whoami", "--id", "nosuch")[:2],
                         (2, {"error": "settingNotFound", "payload": "protocolTypeKey"}))
        self.assertFalse((self.home / "defaults" / "nosuch.sqlite").exists())

    def stored_password(self):
        with sqlite3.connect(self.home / "defaults" / "group.shop.sqlite") as connection:
            row = connection.execute(
                "SELECT value FROM defaults WHERE key = 'serverPasswordKey'").fetchone()
        return row[0] if row else None

    def test_the_password_need_not_be_on_the_command_line(self):
        password_file = self.root / "password"
        password_file.write_text("from-file\n")
        without = {"--id": "shop", "--server": SERVER, "--login": "alice"}
        options = [item for pair in without.items() for item in pair]
        environment = dict(os.environ, ORVANPUSH_PASSWORD="from-environment")
        self.assertEqual(self.run_cli("init", *options, "--password-file", str(password_file),
                                      env=environment)[:2], (0, {"result": "success"}))
        self.assertEqual(self.stored_password(), "from-file")
        self.assertEqual(self.run_cli("init", *options, env=environment)[:2],
                         (0, {"result": "success"}))
        self.assertEqual(self.stored_password(), "from-environment")

        bare = {key: value for key, value in os.environ.items() if key != "ORVANPUSH_PASSWORD"}
        self.assert_usage_error(self.run_cli("init", *options, env=bare), "ORVANPUSH_PASSWORD",
                                "no password and no terminal")
        self.assert_usage_error(self.run_cli("init", *options, "--password-file",
                                             str(self.root / "missing")), "cannot read", "file")
        self.assert_usage_error(self.run_cli("init", *options, "--password", "p",
                                             "--password-file", str(password_file)),
                                "excludes", "both")
        help_text = subprocess.run([ORVANPUSH, "init", "--help"], capture_output=True,
                                   text=True).stdout
        self.assertIn("Visible to other users", help_text)

    def receive_payload(self, data):
        path = self.root / "payload.json"
        path.write_bytes(data)
        return self.run_cli("receive", "--id", "shop", "--payload", str(path), extension=True)

    def test_a_payload_file_is_refused_beyond_its_limits_before_anything_happens(self):
        self.assertEqual(self.init()[0], 0)
        cases = [
            (b'{"message-id":"m1","aps":{"alert":"x"},"custom-data":' + b'{"a":' * 40000 +
             b"1" + b"}" * 40001, "limit of 256 levels"),
            (b'{"message-id":"m1"}\0garbage', "NUL byte at offset 19"),
            (b'{"message-id":"m1"} {}', "not JSON"),
            (b'{"message-id":"' + b"x" * (1 << 20) + b'"}', "limit of 1 MiB"),
        ]
        for data, mentioning in cases:
            outcome = self.receive_payload(data)
            self.assert_usage_error(outcome, mentioning, mentioning)
            self.assertTrue(outcome[1]["message"].startswith("--payload: "), outcome[1])
        self.assert_usage_error(
            self.run_cli("receive", "--id", "shop", "--message-id", "m1", "--custom-data",
                         "[" * 300 + "]" * 300), "--custom-data: JSON nests deeper", "custom")
        self.assertFalse((self.home / "containers").exists())

    def test_the_demo_without_a_home_keeps_to_a_temporary_one(self):
        user = self.root / "user"
        environment = {key: value for key, value in os.environ.items()
                       if key not in ("ORVANPUSH_HOME", "XDG_DATA_HOME")}
        environment["HOME"] = str(user)
        code, _, stderr = self.run_cli("demo", home=False, json_output=False, env=environment)
        self.assertEqual(code, 0, stderr)
        self.assertFalse(user.exists())


if __name__ == "__main__":
    unittest.main(verbosity=2)
