"""Runs orvanpush-server for a test and wraps its admin API (tools/push-server/README.md).

    with PushServer(binary) as server:            # started on a free loopback port
        server.base_url                           # "http://127.0.0.1:PORT/api", the client's server URL
        server.log_server_url                     # "http://127.0.0.1:PORT/logs"
        server.add_fault("subscribe", "error", errorCode=104)
        ...
        server.requests("subscribe")              # the request log of one endpoint
    # stopped with SIGTERM; exiting other than 0 fails the test that owns the server

The binary comes from the argument, else from $ORVANPUSH_SERVER.
"""

import base64
import json
import os
import signal
import subprocess
import urllib.error
import urllib.parse
import urllib.request

LOGIN = "orvan"
PASSWORD = "orvan-password"


class PushServerError(Exception):
    """An admin call the server refused (its {"error": ...} text) or a server that would not run."""


class PushServer:
    def __init__(self, binary=None, context="api", log_context="logs", login=LOGIN,
                 password=PASSWORD, api_version="test", extra_arguments=()):
        self.binary = binary or os.environ.get("ORVANPUSH_SERVER", "orvanpush-server")
        self.context = context
        self.log_context = log_context
        self.login = login
        self.password = password
        self.api_version = api_version
        self.extra_arguments = list(extra_arguments)
        self.process = None
        self.port = None
        # Loopback only: never through a proxy from the environment.
        self._opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))

    # Lifecycle -------------------------------------------------------------------------------

    def start(self):
        command = [self.binary, "--port", "0", "--context", self.context,
                   "--log-context", self.log_context, "--login", self.login,
                   "--password", self.password, "--api-version", self.api_version,
                   "--stop-at-end-of-input"]
        # The server holds the read end of its input: if this process dies, the server stops.
        self.process = subprocess.Popen(command + self.extra_arguments, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        first_line = self.process.stdout.readline().strip()
        if not first_line.isdigit():
            self.process.kill()
            self.process.wait()
            raise PushServerError(f"orvanpush-server printed {first_line!r} instead of its port")
        self.port = int(first_line)
        return self

    def stop(self, timeout=10):
        """Stops the server with SIGTERM; returns its exit status."""
        if self.process is None:
            return None
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise PushServerError("orvanpush-server did not stop on SIGTERM")
        self.process.stdin.close()
        self.process.stdout.close()
        self.process = None
        return status

    def __enter__(self):
        return self.start()

    def __exit__(self, kind, value, traceback):
        status = self.stop()
        if kind is None and status != 0:
            raise PushServerError(f"orvanpush-server exited with status {status}")

    # Addresses -------------------------------------------------------------------------------

    @property
    def root_url(self):
        return f"http://127.0.0.1:{self.port}"

    @property
    def base_url(self):
        """The push server's base address: what the client is configured with."""
        return self.root_url + (f"/{self.context}" if self.context else "")

    @property
    def log_server_url(self):
        return self.root_url + (f"/{self.log_context}" if self.log_context else "")

    def path(self, endpoint):
        """The request path of an endpoint name ("subscribe", "subscriber/get", "saveLogFile")."""
        if endpoint == "saveLogFile":
            return (f"/{self.log_context}" if self.log_context else "") + "/saveLogFile"
        return (f"/{self.context}" if self.context else "") + "/" + endpoint

    # The admin API ---------------------------------------------------------------------------

    def admin(self, method, path, body=None, raw=False):
        """Calls "/_admin/" + path; returns the decoded JSON answer (bytes when `raw`)."""
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(f"{self.root_url}/_admin/{path}", data=data,
                                         method=method)
        if data is not None:
            request.add_header("Content-Type", "application/json")
        try:
            with self._opener.open(request, timeout=30) as response:
                payload = response.read()
        except urllib.error.HTTPError as error:
            payload = error.read()
            raise PushServerError(json.loads(payload).get("error", payload.decode())) from None
        return payload if raw else json.loads(payload)

    def config(self):
        return self.admin("GET", "config")

    def reset(self):
        self.admin("POST", "reset")

    def requests(self, endpoint=None, since=0):
        """The request log, optionally of one endpoint and after the record `since`."""
        query = {"since": since}
        if endpoint is not None:
            query["path"] = self.path(endpoint)
        return self.admin("GET", "requests?" + urllib.parse.urlencode(
            query, quote_via=urllib.parse.quote))["requests"]

    def last_request(self, endpoint=None):
        records = self.requests(endpoint)
        return records[-1] if records else None

    def add_fault(self, endpoint, kind, count=1, **fields):
        """Answers the next `count` requests to an endpoint (or "*") with a fault."""
        path = endpoint if endpoint == "*" else self.path(endpoint)
        self.admin("POST", "faults", {"path": path, "kind": kind, "count": count, **fields})

    def faults(self):
        return self.admin("GET", "faults")["faults"]

    def subscribers(self):
        return {item["address"]: item for item in self.admin("GET", "subscribers")["subscribers"]}

    def statuses(self):
        """{(message id, status): count} of the status reports applied."""
        return {(item["messageId"], item["status"]): item["count"]
                for item in self.admin("GET", "statuses")["statuses"]}

    def seed_history(self, address, messages):
        self.admin("POST", "history", {"address": address, "messages": messages})

    def seed_content(self, message_id, address=None, **content):
        """content: contentType and content (a JSON answer), or body (bytes) and mediaType."""
        entry = {"messageId": message_id}
        if address is not None:
            entry["address"] = address
        if "body" in content:
            entry["bodyBase64"] = base64.b64encode(content.pop("body")).decode()
        entry.update(content)
        self.admin("POST", "content", entry)

    def archives(self):
        return self.admin("GET", "archives")["archives"]

    def archive_bytes(self, archive_id):
        return self.admin("GET", f"archives/{archive_id}", raw=True)

    def set_logging_control(self, control):
        """The "sdk-logging-control" of upload answers; None leaves it out."""
        self.admin("PUT", "logging-control", {"control": control})


def header(record, name):
    """The values of a header in a request-log record (letter case ignored)."""
    return [value for key, value in record["headers"] if key.lower() == name.lower()]
