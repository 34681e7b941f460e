#!/usr/bin/env python3
"""The Debian packages as a host gets them: `cpack -G DEB` of this build makes liborvanpush1,
liborvanpush-dev and orvanpush-tools, with the binaries' dependencies computed from them;
unpacked into an empty root (dpkg-deb -x) they build the examples, which run against the
packaged server; every place that carries the version carries the same one; lintian reports no
error.

Usage: debian_packages.py <build dir> <examples source dir>
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from push_server import PushServer  # noqa: E402

BUILD_DIR, EXAMPLES = Path(sys.argv[1]), Path(sys.argv[2])
PACKAGES = {"liborvanpush1", "liborvanpush-dev", "orvanpush-tools"}
PAYLOAD = json.dumps({"aps": {"alert": {"title": "Sale", "body": "Today only"}},
                      "message-id": "msg-1"})


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, timeout=600, **kwargs)
    if done.returncode != 0:
        raise AssertionError(f"{command} exited {done.returncode}:\n{done.stdout}{done.stderr}")
    return done.stdout


def field(deb, name):
    return run(["dpkg-deb", "-f", str(deb), name]).strip()


class DebianPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="orvanpush-debs-"))
        run(["cpack", "-G", "DEB", "--config", str(BUILD_DIR / "CPackConfig.cmake"),
             "-B", str(cls.work / "debs")])
        cls.debs = {field(deb, "Package"): deb for deb in (cls.work / "debs").glob("*.deb")}
        cls.root = cls.work / "root"
        for deb in cls.debs.values():
            run(["dpkg-deb", "-x", str(deb), str(cls.root)])
        cls.usr = cls.root / "usr"
        cls.version = run([str(cls.usr / "bin" / "orvanpush"), "--version"]).split()[-1]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def test_three_packages_with_dependencies_computed_from_the_binaries(self):
        self.assertEqual(set(self.debs), PACKAGES)
        for package in ("liborvanpush1", "orvanpush-tools"):
            depends = field(self.debs[package], "Depends")
            for library in ("libc6", "libcurl4", "libsqlite3-0", "libssl3", "libstdc++6"):
                self.assertIn(library, depends, package)
        self.assertTrue(field(self.debs["liborvanpush-dev"], "Depends")
                        .startswith(f"liborvanpush1 (= {self.version})"))
        for path in ("bin/orvanpush-server", "share/man/man1/orvanpush.1.gz",
                     "share/man/man1/orvanpush-server.1.gz",
                     "share/bash-completion/completions/orvanpush",
                     "include/orvanpush/PushSDK.h", "lib/liborvanpush.a"):
            self.assertTrue((self.usr / path).exists(), path)
        self.assertEqual(os.readlink(self.usr / "lib" / "liborvanpush.so.1"),
                         f"liborvanpush.so.{self.version}")

    def test_every_place_carries_the_same_version(self):
        self.assertRegex(self.version, r"^\d+\.\d+\.\d+$")
        environment = dict(os.environ, PKG_CONFIG_PATH=str(self.usr / "lib" / "pkgconfig"))
        for package in ("orvanpush", "orvanpush-static"):
            self.assertEqual(run(["pkg-config", "--modversion", package], env=environment).strip(),
                             self.version)
        for deb in self.debs.values():
            self.assertEqual(field(deb, "Version"), self.version)
        major, minor, _ = self.version.split(".")
        project = self.work / "version-check"
        project.mkdir()
        (project / "CMakeLists.txt").write_text(
            "cmake_minimum_required(VERSION 3.25)\nproject(check LANGUAGES CXX)\n"
            f"find_package(OrvanPushSDK {self.version} EXACT REQUIRED)\n"
            f"find_package(OrvanPushSDK {major}.{minor}.0 REQUIRED)\n"
            "message(STATUS \"found ${OrvanPushSDK_VERSION}\")\n"
            f"find_package(OrvanPushSDK {major}.{int(minor) + 1} QUIET)\n"
            "message(STATUS \"newer found: ${OrvanPushSDK_FOUND}\")\n")
        configured = run(["cmake", "-S", str(project), "-B", str(project / "build"),
                          f"-DCMAKE_PREFIX_PATH={self.usr}"])
        self.assertIn(f"found {self.version}", configured)
        self.assertIn("newer found: 0", configured)

    def test_the_example_built_against_the_unpacked_root_works(self):
        build = self.work / "example"
        run(["cmake", "-S", str(EXAMPLES), "-B", str(build), f"-DCMAKE_PREFIX_PATH={self.usr}"])
        run(["cmake", "--build", str(build)])
        home = self.work / "home"
        environment = dict(os.environ, ORVANPUSH_HOME=str(home),
                           LD_LIBRARY_PATH=str(self.usr / "lib"))
        with PushServer(str(self.usr / "bin" / "orvanpush-server")) as server:
            address = ["127.0.0.1", str(server.port)]
            self.assertIn("subscribe: success", run([str(build / "example-app"), *address,
                                                     "subscribe"], env=environment))
            self.assertIn("delivered: reported", run([str(build / "example-extension"),
                                                      PAYLOAD], env=environment))
        self.assertIn(str(self.usr / "lib" / "liborvanpush.so.1"),
                      run(["ldd", str(build / "example-app")], env=environment))

    def test_lintian_reports_no_error(self):
        checked = subprocess.run(["lintian", "--fail-on", "error", *map(str, self.debs.values())],
                                 capture_output=True, text=True, timeout=600)
        errors = [line for line in checked.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [])
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
