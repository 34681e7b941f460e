"""A host's view of the installed package: `cmake --install` of this build into a fresh prefix,
the examples built against it through the CMake package (shared and static) and through
pkg-config (shared and static), and the programs run against the installed reference server:
the application subscribes, the extension receives a push twice, the application opens it.

    package_consumer.py <build dir> <examples source dir>
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from push_server import PushServer  # noqa: E402

BUILD_DIR, EXAMPLES = sys.argv[1], sys.argv[2]
PAYLOAD = json.dumps({"aps": {"alert": {"title": "Sale", "body": "Today only"},
                              "sound": "default"}, "message-id": "msg-1"})


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, timeout=600, **kwargs)
    if done.returncode != 0:
        raise AssertionError(f"{command} exited {done.returncode}:\n{done.stdout}{done.stderr}")
    return done.stdout


class InstalledPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="orvanpush-package-")
        cls.prefix = os.path.join(cls.work, "prefix")
        run(["cmake", "--install", BUILD_DIR, "--prefix", cls.prefix])
        cls.libdir = os.path.join(cls.prefix, "lib")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def test_installs_headers_both_libraries_the_tools_and_the_package_files(self):
        for path in ("include/orvanpush/PushSDK.h", "include/orvanpush/platform/PlatformConfig.h",
                     "lib/liborvanpush.a", "lib/liborvanpush.so", "bin/orvanpush",
                     "bin/orvanpush-server", "lib/cmake/OrvanPushSDK/OrvanPushSDKConfig.cmake",
                     "lib/cmake/OrvanPushSDK/OrvanPushSDKConfigVersion.cmake",
                     "lib/pkgconfig/orvanpush.pc", "lib/pkgconfig/orvanpush-static.pc"):
            self.assertTrue(os.path.exists(os.path.join(self.prefix, path)), path)
        # The development link names the versioned file through the soname.
        self.assertEqual(os.readlink(os.path.join(self.libdir, "liborvanpush.so")),
                         "liborvanpush.so.1")
        dynamic = run(["readelf", "-d", os.path.join(self.libdir, "liborvanpush.so.1")])
        self.assertIn("Library soname: [liborvanpush.so.1]", dynamic)

    def test_the_examples_built_by_both_routes_work_against_the_server(self):
        builds = {"cmake-shared": self.cmake_build(static=False),
                  "cmake-static": self.cmake_build(static=True),
                  "pkg-config-shared": self.pkg_config_build("orvanpush"),
                  "pkg-config-static": self.pkg_config_build("orvanpush-static")}
        self.assertNotIn("liborvanpush", run(["ldd", builds["cmake-static"]["example-app"]]))
        self.assertIn("liborvanpush.so.1",
                      run(["ldd", builds["pkg-config-shared"]["example-app"]],
                          env=self.runtime_environment(self.work)))

        for route, programs in builds.items():
            with self.subTest(route=route), PushServer(
                    os.path.join(self.prefix, "bin", "orvanpush-server")) as server:
                home = tempfile.mkdtemp(dir=self.work)
                env = self.runtime_environment(home)
                address = ["127.0.0.1", str(server.port)]
                out = run([programs["example-app"], *address, "subscribe"], env=env)
                self.assertIn("subscribe: success", out)
                self.assertIn("phone.customer-42", server.subscribers())

                shown = run([programs["example-extension"], PAYLOAD], env=env)
                self.assertIn("show: Sale / Today only (with sound)", shown)
                self.assertIn("delivered: reported", shown)
                again = run([programs["example-extension"], PAYLOAD], env=env)
                self.assertIn("(silent)", again)

                self.assertIn("read: success",
                              run([programs["example-app"], *address, "open", "msg-1"], env=env))
                statuses = server.statuses()
                self.assertGreaterEqual(statuses.get(("msg-1", "Delivered"), 0), 1)
                self.assertEqual(statuses.get(("msg-1", "Read")), 1)

    def cmake_build(self, static):
        build = os.path.join(self.work, "cmake-static" if static else "cmake-shared")
        run(["cmake", "-S", EXAMPLES, "-B", build, "-DCMAKE_PREFIX_PATH=" + self.prefix,
             "-DORVANPUSH_EXAMPLES_STATIC=" + ("ON" if static else "OFF")])
        run(["cmake", "--build", build])
        return {name: os.path.join(build, name) for name in ("example-app", "example-extension")}

    def pkg_config_build(self, package):
        build = os.path.join(self.work, package)
        os.makedirs(build)
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(self.libdir, "pkgconfig"))
        flags = run(["pkg-config", "--cflags", "--libs", package], env=env).split()
        programs = {}
        for name, source in (("example-app", "application.cpp"),
                             ("example-extension", "extension.cpp")):
            programs[name] = os.path.join(build, name)
            run(["c++", os.path.join(EXAMPLES, source), "-o", programs[name], *flags])
        return programs

    def runtime_environment(self, home):
        return dict(os.environ, ORVANPUSH_HOME=home, LD_LIBRARY_PATH=self.libdir)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
