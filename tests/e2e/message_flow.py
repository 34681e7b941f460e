#!/usr/bin/env python3
"""Messages end to end, as two processes against the reference server: the extension
(`orvanpush --extension receive`) stores and reports a push, the application reads it; reports
the server refuses stay queued in the shared store and are sent once each when a later report
succeeds, across process restarts.

Usage: message_flow.py <path of the orvanpush binary>   ($ORVANPUSH_SERVER names the server)
"""

import json
from collections import Counter
import sqlite3
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))

from cli_support import CliTestCase  # noqa: E402
from push_server import PushServer  # noqa: E402

ADDRESS = "device-1.client-1"


def payload(message_id, title="Sale", custom_data=None, sound="default"):
    aps = {"alert": {"title": title, "subtitle": "Today", "body": "All shoes"}}
    if sound is not None:
        aps["sound"] = sound
    body = {"aps": aps, "message-id": message_id}
    if custom_data is not None:
        body["custom-data"] = custom_data
    return body


class MessageFlow(CliTestCase):
    def setUp(self):
        super().setUp()
        self.server = PushServer().start()
        self.addCleanup(self.server.stop)
        code, result, _ = self.run_cli("init", "--id", "shop", "--group", "group.shop",
                                       "--server", self.server.base_url, "--login", "orvan",
                                       "--password", "orvan-password")
        self.assertEqual(code, 0, result)
        self.payloads = 0

    # Helpers ---------------------------------------------------------------------------------

    def subscribe(self):
        code, result, stderr = self.run_cli("subscribe", "--id", "shop", "--client-id",
                                            "client-1", "--device-id", "device-1", "--token", "t")
        self.assertEqual(code, 0, (result, stderr))

    def receive(self, body, *more):
        """The extension handles a payload; its exit status and result object."""
        self.payloads += 1
        path = self.root / f"payload-{self.payloads}.json"
        path.write_text(json.dumps(body))
        code, result, _ = self.run_cli("receive", "--id", "shop", "--payload", str(path), *more,
                                       extension=True)
        return code, result

    def app(self, *arguments):
        code, result, _ = self.run_cli(*arguments)
        return code, result

    def store(self):
        connection = sqlite3.connect(self.home / "containers" / "group.shop" /
                                     "StorageModel.sqlite")
        self.addCleanup(connection.close)
        return connection

    def unsent(self):
        return self.store().execute(
            "SELECT messageId, statusNameInternal FROM MessageStatus WHERE isSentInternal = 0 "
            "ORDER BY pk").fetchall()

    def stored_ids(self):
        code, result = self.app("messages", "--id", "shop")
        self.assertEqual(code, 0, result)
        return [message["id"] for message in result["messages"]]

    def reports(self):
        return self.server.requests("notifications")

    def fail_reports(self, count):
        """The next `count` reports (each sent with three resends) are answered 503."""
        self.server.add_fault("notifications", "answer", status=503, count=4 * count)

    # Tests -----------------------------------------------------------------------------------

    def test_the_extension_reports_delivery_and_the_application_reads(self):
        self.subscribe()
        code, result = self.receive(payload("m1"))
        self.assertEqual(code, 0, result)
        self.assertEqual(result["result"], "success")
        self.assertEqual(result["content"]["sound"], "default")
        self.assertEqual(result["content"]["title"], "Sale")

        code, result = self.app("message", "--id", "shop", "--message-id", "m1")
        self.assertEqual(result["message"]["statusName"], "Delivered")
        code, result = self.app("read", "--id", "shop", "--message-id", "m1")
        self.assertEqual((code, result["result"]), (0, "success"))
        code, result = self.app("message", "--id", "shop", "--message-id", "m1")
        self.assertEqual(result["message"]["statusName"], "Read")

        # The same push again: silenced, stored once, reported again.
        code, result = self.receive(payload("m1"))
        self.assertEqual(code, 0, result)
        self.assertIsNone(result["content"]["sound"])
        self.assertEqual(self.stored_ids(), ["m1"])

        self.assertEqual(self.server.statuses(), {("m1", "Delivered"): 2, ("m1", "Read"): 1})
        for record in self.reports():
            self.assertEqual(record["checks"]["signature"], "verified")
            self.assertEqual(json.loads(record["body"])["address"], ADDRESS)
        self.assertEqual(self.unsent(), [])

    def test_one_success_after_an_outage_sends_every_queued_report_once(self):
        self.subscribe()
        # Rows that can never be reported, at the front of the queue.
        with self.store() as store:
            for _ in range(3):
                store.execute("INSERT INTO MessageStatus (isSentInternal, statusNameInternal, "
                              "messageId) VALUES (0, 'Opened', 'odd'), (0, 'Delivered', NULL)")
        self.fail_reports(12)
        for i in range(12):
            code, result = self.receive(payload(f"m{i}"))
            self.assertEqual((code, result["result"]), (1, "error"))
        self.assertEqual(len(self.unsent()), 18)
        # A message deleted meanwhile is reported, and does not come back.
        self.assertEqual(self.app("remove", "--id", "shop", "--message-id", "m3")[0], 0)

        code, result = self.receive(payload("m12"))
        self.assertEqual(code, 0, result)
        expected = {(f"m{i}", "Delivered"): 1 for i in range(13)}
        self.assertEqual(self.server.statuses(), expected)
        applied = [r for r in self.reports() if r["outcome"] == "applied"]
        self.assertEqual(len(applied), 13)
        self.assertEqual(len(self.reports()), 12 * 4 + 13)
        self.assertEqual(Counter(self.unsent()), Counter({("odd", "Opened"): 3, (None, "Delivered"): 3}))
        self.assertNotIn("m3", self.stored_ids())

    def test_a_read_report_refused_survives_the_application_and_is_sent_later(self):
        self.subscribe()
        self.assertEqual(self.receive(payload("m1"))[0], 0)
        self.fail_reports(1)
        code, result = self.app("read", "--id", "shop", "--message-id", "m1")
        self.assertEqual((code, result["result"]), (1, "error"))
        self.assertEqual(self.unsent(), [("m1", "Read")])
        # A new application process: the row is still queued until a report succeeds.
        self.assertEqual(self.app("message", "--id", "shop", "--message-id", "m1")[0], 0)
        self.assertEqual(self.unsent(), [("m1", "Read")])
        self.assertEqual(self.receive(payload("m2"))[0], 0)
        self.assertEqual(self.unsent(), [])
        self.assertEqual(self.server.statuses()[("m1", "Read")], 1)

    def test_an_extension_without_a_subscriber_reports_only_with_a_fall_back_address(self):
        code, result = self.receive(payload("m1"))
        self.assertEqual(code, 1)
        self.assertEqual(result["error"], 'emptyMandatoryParameter("address")')
        self.assertEqual(result["content"]["body"], "All shoes")
        self.assertEqual(result["result"], "error")
        self.assertNotIn("errorCode", result)
        self.assertIn("run `orvanpush subscribe --id shop", result["message"])
        self.assertEqual(self.reports(), [])

        code, result = self.receive(payload("m1"), "--fallback-address", "fallback")
        self.assertEqual((code, result["result"]), (0, "success"))
        record = self.reports()[0]
        self.assertEqual(record["checks"]["signature"], "absent")
        self.assertEqual(json.loads(record["body"])["address"], "fallback")

    def test_payloads_the_extension_cannot_report(self):
        self.subscribe()
        without_id = payload("m1")
        del without_id["message-id"]
        code, result = self.receive(without_id)
        self.assertEqual(code, 1)
        self.assertEqual(result["error"], "message id not found in notification payload")
        self.assertEqual(result["content"]["sound"], "default")
        code, result = self.receive(payload(""))
        self.assertEqual(result["error"], 'emptyMandatoryParameter("messageId")')
        self.assertEqual(self.reports(), [])
        self.assertEqual(self.stored_ids(), [])

    def test_silent_messages_and_custom_data(self):
        self.subscribe()
        code, result, _ = self.run_cli("receive", "--id", "shop", "--message-id", "silent",
                                       extension=True)
        self.assertEqual((code, result["result"]), (0, "success"))
        for message_id, flag in (("loud", "TRUE"), ("quiet", "yes")):
            code, _ = self.receive(payload(message_id, custom_data={"content-available": flag}))
            self.assertEqual(code, 0)
        self.assertEqual(self.server.statuses()[("silent", "Delivered")], 1)
        self.assertEqual(sorted(self.stored_ids()), ["loud", "quiet"])
        code, result = self.app("messages", "--id", "shop", "--where", "contentAvailable=true")
        self.assertEqual([m["id"] for m in result["messages"]], ["loud"])
        self.assertEqual(self.unsent(), [])

    def test_rich_content_is_downloaded_once_and_a_failure_stores_nothing(self):
        self.subscribe()
        self.server.seed_content("m1", contentType="text/html", content="<b>Sale</b>")
        for _ in range(2):
            code, result = self.app("content", "--id", "shop", "--message-id", "m1")
            self.assertEqual(result["content"], {"mimeType": "text/html",
                                                 "value": "<b>Sale</b>", "messageId": "m1"})
        self.assertEqual(len(self.server.requests("content/download")), 1)

        self.assertIsNone(self.app("content", "--id", "shop", "--message-id", "m2")[1]["content"])
        self.server.seed_content("m2", contentType="text/plain", content="later")
        self.assertEqual(self.app("content", "--id", "shop", "--message-id", "m2")[1]["content"]
                         ["value"], "later")
        self.assertEqual(len(self.server.requests("content/download")), 3)


if __name__ == "__main__":
    unittest.main()
