#!/usr/bin/env python3
"""The tool refuses what it cannot do as asked, with the documented exit status and, under
--json, exactly one JSON object; it never falls back silently and never aborts.

Usage: cli_inputs.py <path of the orvanpush binary>
"""

import json
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
        self.assertEqual(set(result), {"result", "error", "message"}, case)
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

    def test_foreign_text_is_shown_without_invalid_utf8_or_terminal_controls(self):
        identifier = os.fsdecode(b"\xff")
        self.assert_usage_error(self.init_with("--id", identifier), "\ufffd", "JSON")
        code, _, stderr = self.run_cli("init", "--id", identifier, "--server", SERVER, "--login",
                                       "a", "--password", "p", json_output=False)
        self.assertEqual(code, 2)
        self.assertIn("\ufffd", stderr)
        # A clear-screen, a bell, a window title and an 8-bit control sequence introducer.
        identifier = "m\x1b[2J\x07\x1b]0;title\x07\u009b"
        shown = subprocess.run([ORVANPUSH, "--home", str(self.home), "init", "--id", identifier,
                                "--server", SERVER, "--login", "a", "--password", "p"],
                               capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
        self.assertEqual(shown.returncode, 0)
        stdout = shown.stdout.decode("utf-8")
        self.assertIn("m\\x1B[2J\\x07\\x1B]0;title\\x07\\u009B", stdout)
        self.assertEqual([c for c in stdout if c < " " and c != "\n" or "\x7f" <= c < "\xa0"],
                         [])

    def test_schemes_are_case_insensitive(self):
        self.assertEqual(self.init_with("--server", "HTTPS://push.example.com")[:2],
                         (0, {"result": "success"}))
        self.assertEqual(self.init_with("--server", "Http://[::1]:8080/api")[:2],
                         (0, {"result": "success"}))

    def test_a_keychain_failure_is_internal(self):
        (self.home / "keychain" / "keychain.sqlite").mkdir(parents=True)
        self.assertEqual(self.init_with()[:2], (3, {
            "result": "error", "error": "internal",
            "message": "Shared application group error. Status: -36"}))
        self.assertEqual(list((self.home / "defaults").glob("*.sqlite")), [])

    def test_an_unknown_instance_is_named_with_the_command_that_configures_it(self):
        remedy = (f"instance 'nosuch' is not configured in {self.home}: "
                  "run `orvanpush init --id nosuch --server URL")
        code, result, _ = self.run_cli("whoami", "--id", "nosuch")
        self.assertEqual((code, result["result"], result["error"], result["payload"]),
                         (2, "error", "settingNotFound", "protocolTypeKey"))
        self.assertTrue(result["message"].startswith(remedy), result)
        code, _, stderr = self.run_cli("whoami", "--id", "nosuch", json_output=False)
        self.assertEqual(code, 2)
        self.assertTrue(stderr.startswith("error: " + remedy), stderr)
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

    def test_misspelt_words_are_answered_with_the_nearest_known_ones(self):
        cases = [
            (["demoo"], "unknown command 'demoo': did you mean 'demo'?"),
            (["subscrib", "--id", "shop"], "unknown command 'subscrib': did you mean 'subscribe'?"),
            (["messags", "--id", "shop"], "did you mean 'messages' or 'message'?"),
            (["messages", "--idd", "shop"],
             "unknown option '--idd' for 'messages': did you mean '--id'?"),
            (["--jsno", "whoami", "--id", "shop"], "unknown option '--jsno': did you mean '--json'?"),
            (["messages", "--id", "shop", "--where", "tilte=Sale"],
             "'tilte' is not a key path --where compares (did you mean 'title'?); the key paths "
             "are id, title, subtitle, body, contentAvailable, statusName,"),
            (["messages", "--id", "shop", "--where", "colour=red"], "; the key paths are id,"),
            (["frobnicate"], "unknown command 'frobnicate': see `orvanpush --help`"),
        ]
        for arguments, message in cases:
            self.assert_usage_error(self.run_cli(*arguments), message, arguments)

    def test_every_outcome_is_one_object_with_its_result(self):
        self.run_cli("whoami", "--id", "missing")  # writes an error to the day's log file
        commands = [
            (["whoami", "--id", "shop"], 2, "error"),
            (["init", "--id", "shop", "--server", SERVER, "--login", "a", "--password", "p"], 0,
             "success"),
            (["whoami", "--id", "shop"], 0, "success"),
            (["messages", "--id", "shop"], 0, "success"),
            (["message", "--id", "shop", "--message-id", "m1"], 0, "success"),
            (["unsubscribe", "--id", "shop"], 2, "error"),
            (["send-logs", "--id", "shop"], 1, "error"),
            (["remove", "--id", "shop", "--all"], 0, "success"),
            (["demoo"], 2, "error"),
        ]
        for arguments, status, outcome in commands:
            completed = subprocess.run([ORVANPUSH, "--home", str(self.home), "--json",
                                        *arguments], capture_output=True, text=True, timeout=60)
            lines = completed.stdout.splitlines()
            self.assertEqual(len(lines), 1, (arguments, completed.stdout))
            result = json.loads(lines[0])
            self.assertEqual((completed.returncode, result["result"]), (status, outcome),
                             arguments)
            if outcome == "error":
                self.assertTrue(result["error"] and result["message"], result)

    def test_without_a_log_server_nothing_is_sent_and_the_remedy_is_named(self):
        self.assertEqual(self.init_with()[0], 0)
        self.run_cli("whoami", "--id", "missing")  # writes an error to the day's log file
        code, result, _ = self.run_cli("send-logs", "--id", "shop")
        self.assertEqual((code, result["error"]), (1, "noLogServer"), result)
        self.assertIn("--log-server URL", result["message"])
        self.assertEqual({file["description"] for file in result["files"]},
                         {"no log server configured (init --log-server URL)"})
        code, _, stderr = self.run_cli("send-logs", "--id", "shop", json_output=False)
        self.assertEqual(code, 1)
        self.assertIn("no log server is configured for instance 'shop'", stderr)

    def test_the_completion_script_offers_the_commands_and_their_options(self):
        script = subprocess.run([ORVANPUSH, "completion", "bash"], capture_output=True,
                                text=True, timeout=60, check=True).stdout
        for line, offered in (("orvanpush subscr", "subscribe subscriber"),
                              ("orvanpush --json messages --i", "--id"),
                              ("orvanpush --home /tmp receive --pay", "--payload"),
                              ("orvanpush completion", "completion")):
            words = line.split(" ")
            probe = (f"{script}\nCOMP_WORDS=({line}); COMP_CWORD={len(words) - 1}; _orvanpush; "
                     'echo "${COMPREPLY[*]}"')
            completed = subprocess.run(["bash", "-c", probe], capture_output=True, text=True,
                                       timeout=60)
            self.assertEqual(completed.stdout.strip(), offered, line)

    def test_standard_output_carries_results_only(self):
        for arguments in (["init", "--id", "shop", "--server", SERVER, "--login", "a",
                           "--password", "p"], ["whoami", "--id", "shop"]):
            completed = subprocess.run([ORVANPUSH, "--home", str(self.home), "--verbose",
                                        *arguments], capture_output=True, text=True, timeout=60)
            self.assertEqual(completed.returncode, 0, completed.stderr)
            self.assertNotIn("Send logs is", completed.stdout)
            self.assertIn("Send logs is", completed.stderr)

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
