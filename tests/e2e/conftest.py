"""Shared fixtures of the whole-program tests."""
import json
import os
import pathlib
import signal
import subprocess
import time
import urllib.request

import pytest

from clientlib import Client

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEMO_SERVER = ROOT / "tools" / "demo-server" / "demo_server.py"


# Requests to the server itself never go through a proxy of the environment.
OPENER = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class DemoServer:
    """A running demo server: its ports, its journal and its reply rules."""

    def __init__(self, folder):
        self.folder = folder
        self.files = folder / "files"
        self.uploads = folder / "uploads"
        self.files.mkdir(parents=True)
        port_file = folder / "ports.json"
        self.log = open(folder / "server.log", "wb")
        self.process = subprocess.Popen(
            ["/usr/bin/python3", str(DEMO_SERVER), "--port", "0", "--proxy-port", "0",
             "--port-file", str(port_file), "--journal", str(folder / "journal.jsonl"),
             "--files", str(self.files), "--uploads", str(self.uploads)] + self.packages(),
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)
        for _ in range(100):
            if port_file.exists():
                break
            time.sleep(0.05)
        ports = json.loads(port_file.read_text())
        self.port, self.proxy_port = ports["port"], ports["proxy_port"]

    @staticmethod
    def packages():
        """The build's component packages, offered in the server's update folder."""
        folder = pathlib.Path(os.environ.get("VGL_BUILD", ROOT / "build")) / "bin" / "packages"
        return ["--packages", str(folder)] if folder.is_dir() else []

    def control(self, command, payload=None):
        data = None if payload is None else json.dumps(payload).encode()
        url = f"http://127.0.0.1:{self.port}/_demo/{command}"
        with OPENER.open(urllib.request.Request(url, data=data), timeout=10) as reply:
            return reply.read()

    def rule(self, **spec):
        self.control("rule", spec)

    def reset(self):
        """Forgets the rules and the journal."""
        self.control("reset", {})

    def journal(self):
        text = self.control("journal").decode()
        return [json.loads(line) for line in text.splitlines() if line]

    def configure(self, **settings):
        """Changes the settings the replies are built from (programs/*.py DEFAULTS)."""
        self.control("config", settings)

    def invalid(self):
        """The requests the server refused as malformed since start (reset keeps them)."""
        text = self.control("invalid").decode()
        return [json.loads(line) for line in text.splitlines() if line]

    def accept_invalid(self):
        """For a test that sends malformed requests on purpose: returns the invalid requests
        so far and forgets them, so that the end-of-test check passes."""
        text = self.control("accept-invalid", {}).decode()
        return [json.loads(line) for line in text.splitlines() if line]

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


def describe(entry):
    return f"{entry.get('request_line')}: {entry.get('invalid')}"


@pytest.fixture
def demo_server(tmp_path):
    """A demo server for one test. The test fails when the server received a request it
    refused as malformed (unless the test accepted it with accept_invalid)."""
    server = DemoServer(tmp_path / "demo")
    try:
        yield server
        invalid = server.invalid()
    finally:
        server.stop()
    if invalid:
        pytest.fail("the demo server received invalid requests:\n  "
                    + "\n  ".join(describe(e) for e in invalid), pytrace=False)


@pytest.fixture
def client(tmp_path, demo_server):
    """make(**Client's arguments) makes a client of this test's demo server; every client
    made is stopped at the end. A test file may define its own."""
    made = []

    def make(**kwargs):
        c = Client(tmp_path, demo_server, **kwargs)
        made.append(c)
        return c
    yield make
    for c in made:
        c.stop()
