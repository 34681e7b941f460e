"""Shared pieces of the end-to-end tests: the tool's path (the script's first argument) and a
fresh home for each test."""

import json
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ORVANPUSH = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush"
SERVER = "https://push.example.com:8443/api"


class CliTestCase(unittest.TestCase):
    def setUp(self):
        home_dir = tempfile.TemporaryDirectory(prefix="orvanpush-e2e-")
        self.addCleanup(home_dir.cleanup)
        self.root = Path(home_dir.name)
        self.home = self.root / "home"

    def run_cli(self, *arguments, home=None, extension=False, json_output=True, env=None):
        """Runs the tool; its exit status, its last line of standard output parsed as JSON
        (None without output or with json_output False) and its standard error. Everything
        it prints must be valid UTF-8."""
        command = [ORVANPUSH]
        if home is not False:
            command += ["--home", str(home or self.home)]
        if json_output:
            command.append("--json")
        if extension:
            command.append("--extension")
        completed = subprocess.run(command + list(arguments), capture_output=True, timeout=120,
                                   env=env, stdin=subprocess.DEVNULL)
        stdout = completed.stdout.decode("utf-8")
        stderr = completed.stderr.decode("utf-8")
        lines = stdout.strip().splitlines()
        result = json.loads(lines[-1]) if json_output and lines else None
        return completed.returncode, result, stderr

    def init(self, identifier="shop", *more, home=None, extension=False):
        return self.run_cli("init", "--id", identifier, "--group", "group.shop", "--server",
                            SERVER, "--login", "alice", "--password", "secret", *more, home=home,
                            extension=extension)

    def whoami(self, identifier="shop", home=None, extension=False):
        return self.run_cli("whoami", "--id", identifier, home=home, extension=extension)
