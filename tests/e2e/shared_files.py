#!/usr/bin/env python3
"""The files the application and its extension share, when they cannot be used: a settings
store or keychain that exists but cannot be read is reported as the store error (exit 3, the
file named), never taken for a missing instance or replaced by another store; a push whose
message could not be stored is still reported, but `receive` says so (exit 1, "notStored").

Usage: shared_files.py <path of the orvanpush binary>   ($ORVANPUSH_SERVER names the server)
"""

import json
import sqlite3
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))

from cli_support import CliTestCase  # noqa: E402
from push_server import PushServer  # noqa: E402

PAYLOAD = {"aps": {"alert": {"title": "Sale", "subtitle": "Today", "body": "All shoes"},
                   "sound": "default"},
           "message-id": "m1"}


def damage(file):
    """Replaces an SQLite file (that no process has open) and its companions with bytes that are
    not a database."""
    for suffix in ("", "-wal", "-shm"):
        Path(str(file) + suffix).unlink(missing_ok=True)
    file.parent.mkdir(parents=True, exist_ok=True)
    file.write_bytes(b"not a database " * 512)


class SharedFiles(CliTestCase):
    def init(self, server="https://push.example.com/api"):
        return self.run_cli("init", "--id", "shop", "--group", "group.shop", "--server", server,
                            "--login", "orvan", "--password", "orvan-password")

    def assert_store_error(self, outcome, file):
        code, result, stderr = outcome
        self.assertEqual(code, 3, (result, stderr))
        self.assertEqual(result["error"], "internal")
        self.assertIn(str(file), result["message"])

    def test_a_settings_store_that_cannot_be_read_is_an_error_and_nothing_falls_back(self):
        self.assertEqual(self.init()[0], 0)
        settings = self.home / "defaults" / "group.shop.sqlite"
        damage(settings)
        self.assert_store_error(self.init(), settings)
        self.assert_store_error(self.whoami(), settings)
        self.assert_store_error(self.whoami(extension=True), settings)
        own = self.home / "defaults" / "orvanpush.cli.sqlite"
        if own.exists():
            with sqlite3.connect(own) as connection:
                keys = [row[0] for row in connection.execute("SELECT key FROM defaults")]
            self.assertNotIn("serverAddressKey", keys)

    def test_a_keychain_that_cannot_be_read_is_an_error_not_a_missing_instance(self):
        self.assertEqual(self.init()[0], 0)
        keychain = self.home / "keychain" / "keychain.sqlite"
        damage(keychain)
        self.assert_store_error(self.whoami(), keychain)
        self.assert_store_error(self.whoami(extension=True), keychain)
        # Saving the group fails with the keychain's status (-36: it cannot be read).
        code, result, _ = self.init()
        self.assertEqual((code, result["error"]), (3, "internal"))
        self.assertIn("-36", result["message"])

    def test_a_push_that_could_not_be_stored_is_reported_and_answers_not_stored(self):
        server = PushServer().start()
        self.addCleanup(server.stop)
        self.assertEqual(self.init(server.base_url)[0], 0)
        code, result, stderr = self.run_cli("subscribe", "--id", "shop", "--client-id", "c",
                                            "--device-id", "d", "--token", "t")
        self.assertEqual(code, 0, (result, stderr))
        damage(self.home / "containers" / "group.shop" / "StorageModel.sqlite")

        path = self.root / "payload.json"
        path.write_text(json.dumps(PAYLOAD))
        received = self.run_cli("receive", "--id", "shop", "--payload", str(path),
                                extension=True)
        fields = self.run_cli("receive", "--id", "shop", "--message-id", "m2", "--title", "T",
                              extension=True)
        for code, result, stderr in (received, fields):
            self.assertEqual(code, 1, (result, stderr))
            self.assertEqual((result["result"], result["error"]), ("success", "notStored"))
            self.assertTrue(result["message"].startswith("delivered, not stored: "), result)
        self.assertEqual(received[1]["content"]["title"], "Sale")

        # A silent message is not stored by design: no error.
        code, result, _ = self.run_cli("receive", "--id", "shop", "--message-id", "m3",
                                       extension=True)
        self.assertEqual((code, result["result"]), (0, "success"))
        self.assertNotIn("error", result)
        self.assertEqual(server.statuses(),
                         {("m1", "Delivered"): 1, ("m2", "Delivered"): 1, ("m3", "Delivered"): 1})


if __name__ == "__main__":
    unittest.main()
