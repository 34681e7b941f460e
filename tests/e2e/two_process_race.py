#!/usr/bin/env python3
"""The application saves its instance again and again while the extension, another process,
looks it up: the extension never finds the instance missing, and never falls back to a store
of its own.

Usage: two_process_race.py <path of the orvanpush binary>
"""

import threading
import unittest

from cli_support import CliTestCase

RUNS = 60


class TwoProcessRace(CliTestCase):
    def test_the_extension_always_finds_the_instance_while_it_is_saved_again(self):
        self.assertEqual(self.init()[:2], (0, {"result": "success"}))
        failures = []

        def repeat(operation, label):
            for _ in range(RUNS):
                code, result, _ = operation()
                if code != 0:
                    failures.append((label, code, result))

        saving = threading.Thread(target=repeat, args=(self.init, "init"))
        saving.start()
        repeat(lambda: self.whoami(extension=True), "whoami")
        saving.join()

        self.assertEqual(failures, [])
        self.assertFalse((self.home / "defaults" / "shop.sqlite").exists())


if __name__ == "__main__":
    unittest.main(verbosity=2)
