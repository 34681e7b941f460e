#!/usr/bin/env python3
"""A home reached through a symbolic link, and a home whose settings directory is a link,
both serve the application and its extension; nothing is left behind by a failure.

Usage: linked_home.py <path of the orvanpush binary>
"""

import os
import unittest

from cli_support import CliTestCase


class LinkedHome(CliTestCase):
    def assert_application_and_extension_work(self, home):
        self.assertEqual(self.init(home=home)[:2], (0, {"result": "success"}))
        self.assertEqual(self.whoami(home=home, extension=True)[:2],
                         (0, {"result": "success", "token": None, "clientId": None,
                              "deviceId": None}))

    def test_a_home_below_a_linked_directory(self):
        (self.root / "real").mkdir()
        os.symlink(self.root / "real", self.root / "link")
        self.assert_application_and_extension_work(self.root / "link" / "h")
        self.assertTrue((self.root / "real" / "h" / "defaults" / "group.shop.sqlite").is_file())

    def test_a_settings_directory_that_is_a_link(self):
        elsewhere = self.root / "elsewhere"
        elsewhere.mkdir()
        self.home.mkdir()
        os.symlink(elsewhere, self.home / "defaults")
        self.assert_application_and_extension_work(self.home)
        self.assertTrue((elsewhere / "group.shop.sqlite").is_file())


if __name__ == "__main__":
    unittest.main(verbosity=2)
