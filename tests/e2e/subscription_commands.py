#!/usr/bin/env python3
"""The subscription commands against the reference server, the application and its extension
being two processes of the tool that share one home. The server verifies every signature
against the key the address subscribed with.

Usage: subscription_commands.py <orvanpush binary> <orvanpush-server binary>
"""

import json
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

from cli_support import ORVANPUSH, CliTestCase  # takes the tool's path from the arguments

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from push_server import LOGIN, PASSWORD, PushServer  # noqa: E402

SERVER_BINARY = sys.argv.pop(1) if len(sys.argv) > 1 else "orvanpush-server"

ENVIRONMENT = dict(os.environ, NO_PROXY="127.0.0.1", no_proxy="127.0.0.1")


class SubscriptionCommands(CliTestCase):
    def setUp(self):
        super().setUp()
        self.server = PushServer(SERVER_BINARY).start()
        self.addCleanup(self.stop_server)
        code, result, stderr = self.run_cli(
            "init", "--id", "shop", "--group", "group.shop", "--server", self.server.base_url,
            "--login", LOGIN, "--password", PASSWORD, env=ENVIRONMENT)
        self.assertEqual(code, 0, stderr)

    def stop_server(self):
        self.assertEqual(self.server.stop(), 0)

    def cli(self, *arguments, extension=False, expect=0, **environment):
        code, result, stderr = self.run_cli(*arguments, extension=extension,
                                            env=dict(ENVIRONMENT, **environment))
        self.assertEqual(code, expect, f"{arguments}: {result} {stderr}")
        return result

    def verified(self, endpoint):
        return self.server.last_request(endpoint)["checks"].get("signature")

    def query_verifies(self, extension):
        result = self.cli("subscriber", "--id", "shop", extension=extension)
        self.assertEqual(result["result"], "success")
        self.assertEqual(self.verified("subscriber/get"), "verified")
        return result

    def test_every_command_prints_its_result_record(self):
        self.assertEqual(self.cli("subscribe", "--id", "shop", "--client-id", "client",
                                  "--token", "t1", "--device-id", "phone"),
                         {"result": "success", "errorCode": 0})
        subscriber = self.query_verifies(extension=True)
        self.assertEqual(subscriber["elements"][0]["address"], "phone.client")
        self.assertEqual(subscriber["elements"][0]["osType"], "ios")

        self.cli("update-subscriber", "--id", "shop", "--attr", "tier=gold", "--attr", "note=")
        self.assertEqual(self.verified("subscriber/update"), "verified")
        self.assertEqual(self.server.subscribers()["phone.client"]["attributes"],
                         {"tier": "gold", "note": ""})

        self.server.seed_history("phone.client", [
            {"messageId": "m1", "date": 700000000, "title": "Sale", "text": "Today"},
            {"messageId": "m2", "date": 700000100, "requestId": "r2"}])
        history = self.cli("history", "--id", "shop", "--from", "2020-01-01T00:00:00Z",
                           "--amount", "5", extension=True)
        self.assertEqual(self.verified("statistics"), "verified")
        self.assertEqual(history["messages"], [
            {"messageId": "m1", "date": 700000000.0, "title": "Sale", "text": "Today"},
            {"messageId": "m2", "date": 700000100.0, "title": None, "text": None}])
        only = self.cli("history", "--id", "shop", "--from", "2020-01-01", "--request-id", "r2")
        self.assertEqual([m["messageId"] for m in only["messages"]], ["m2"])
        # m1 is at 20:26:40 UTC, m2 at 20:28:20: offsets move the bounds by their sign.
        for bounds, expected in ((["--from", "2023-03-08T21:27:00+01:00"], ["m2"]),
                                 (["--from", "2023-03-08", "--to", "2023-03-08T15:27:00-05:00"],
                                  ["m1"])):
            history = self.cli("history", "--id", "shop", *bounds)
            self.assertEqual([m["messageId"] for m in history["messages"]], expected, bounds)

        self.cli("update-token", "--id", "shop", "--token", "t2",
                 ORVANPUSH_NOTIFICATION_AUTH="denied")
        self.assertEqual(self.server.subscribers()["phone.client"]["token"], "t2")
        self.assertFalse(self.server.subscribers()["phone.client"]["pushEnabled"])
        self.query_verifies(extension=True)

        self.server.add_fault("unsubscribe", "error", errorCode=105, errorDescription="busy")
        refused = self.cli("unsubscribe", "--id", "shop", expect=1)
        self.assertEqual({key: refused[key] for key in ("result", "errorCode", "errorDescription",
                                                          "error")},
                         {"result": "error", "errorCode": 105, "errorDescription": "busy",
                          "error": "server"})
        self.assertIn("the server answered error 105 (busy)", refused["message"])
        self.cli("unsubscribe", "--id", "shop", "--note", "moving")
        self.assertEqual(self.identity(), {"result": "success", "token": "t2", "clientId": None,
                                           "deviceId": None})
        unsubscribed = self.cli("subscriber", "--id", "shop", expect=2)
        self.assertEqual((unsubscribed["error"], unsubscribed["payload"]),
                         ("emptyMandatoryParameter", "address"))
        self.assertIn("not subscribed", unsubscribed["message"])
        self.assertIn("run `orvanpush subscribe --id shop", unsubscribed["message"])

    def identity(self):
        return self.cli("whoami", "--id", "shop")

    def test_only_the_servers_success_replaces_the_key_both_processes_sign_with(self):
        self.cli("subscribe", "--id", "shop", "--client-id", "client", "--token", "t1")
        first_key = self.server.subscribers()["client"]["publicKey"]

        # Thrown before sending: nothing changes.
        empty = self.cli("subscribe", "--id", "shop", "--client-id", "", "--token", "t", expect=2)
        self.assertEqual((empty["result"], empty["error"], empty["payload"]),
                         ("error", "emptyMandatoryParameter", "address"))
        self.assertIn("give a non-empty --client-id", empty["message"])
        self.query_verifies(extension=True)
        self.query_verifies(extension=False)

        # Answered with an error: the pair the server holds still signs.
        self.server.add_fault("subscribe", "error", errorCode=120)
        self.assertEqual(self.cli("subscribe", "--id", "shop", "--client-id", "client",
                                  "--token", "t2", expect=1)["errorCode"], 120)
        self.query_verifies(extension=True)
        self.query_verifies(extension=False)

        # While a new subscription waits for its answer, the extension signs on.
        self.server.add_fault("subscribe", "delay", delayMs=2000)
        subscribes = len(self.server.requests("subscribe"))
        pending = subprocess.Popen(
            [ORVANPUSH, "--home", str(self.home), "--json", "subscribe",
             "--id", "shop", "--client-id", "client-2", "--token", "t3"],
            env=ENVIRONMENT, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 30
        while len(self.server.requests("subscribe")) == subscribes:
            self.assertLess(time.monotonic(), deadline, "the delayed subscribe never arrived")
            time.sleep(0.02)
        self.query_verifies(extension=True)
        self.assertEqual(self.server.last_request("subscriber/get")["params"]["address"],
                         "client")
        stdout, stderr = pending.communicate(timeout=60)
        self.assertEqual(pending.returncode, 0, stderr)

        # The success made the new pair the device key of both processes.
        new_key = self.server.subscribers()["client-2"]["publicKey"]
        self.assertNotEqual(new_key, first_key)
        self.query_verifies(extension=True)
        self.assertEqual(self.server.last_request("subscriber/get")["params"]["address"],
                         "client-2")
        self.query_verifies(extension=False)

    def test_an_answer_beyond_the_limit_names_the_setting_that_allows_it(self):
        result = self.cli("subscribe", "--id", "shop", "--client-id", "client", "--token", "t1",
                          expect=1, ORVANPUSH_MAX_RESPONSE_BYTES="8")
        self.assertEqual((result["errorCode"], result["errorDescription"]),
                         (600, "response too large"))
        self.assertIn("ORVANPUSH_MAX_RESPONSE_BYTES", result["message"])

    def test_a_command_waits_for_its_completion_within_the_timeout(self):
        self.server.add_fault("subscribe", "delay", delayMs=1000)
        self.cli("subscribe", "--id", "shop", "--client-id", "client", "--token", "t1")
        self.assertEqual(self.identity()["clientId"], "client")

        self.server.add_fault("subscriber/get", "delay", delayMs=5000)
        late = subprocess.run([ORVANPUSH, "--home", str(self.home), "--json", "--timeout", "0.5",
                               "subscriber", "--id", "shop"],
                              env=ENVIRONMENT, capture_output=True, text=True, timeout=60)
        self.assertEqual(late.returncode, 3, late.stderr)
        self.assertEqual([json.loads(line)["error"] for line in late.stdout.splitlines()],
                         ["timeout"], "one outcome, reported once")

    def test_options_are_checked_before_anything_is_sent(self):
        for arguments in (["history", "--id", "shop", "--from", "2024-02-30"],
                          ["history", "--id", "shop", "--from", "2024-03-01T25:00:00Z"],
                          ["history", "--id", "shop", "--from", "2024-03-01", "--amount", "-1"],
                          # Beyond the dates a request carries (they would wrap round).
                          ["history", "--id", "shop", "--from", "2263-01-01"],
                          ["history", "--id", "shop", "--from", "2262-04-11T23:47:16Z"],
                          ["history", "--id", "shop", "--from", "2024-03-01",
                           "--to", "1677-09-21T00:12:43Z"],
                          ["update-subscriber", "--id", "shop", "--attr", "=x"],
                          ["update-subscriber", "--id", "shop", "--attr", "a=1", "--attr", "a=2"],
                          ["subscribe", "--id", "shop", "--token", "t"]):
            code, result, _ = self.run_cli(*arguments, env=ENVIRONMENT)
            self.assertEqual((code, result["error"]), (2, "usage"), arguments)
        self.assertEqual(self.server.requests(), [])


if __name__ == "__main__":
    unittest.main()
