"""Shared fixtures of the whole-program tests."""
import json
import os
import pathlib
import signal
import subprocess
import time
import urllib.request

import pytest

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
             "--files", str(self.files), "--uploads", str(self.uploads)],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)
        for _ in range(100):
            if port_file.exists():
                break
            time.sleep(0.05)
        ports = json.loads(port_file.read_text())
        self.port, self.proxy_port = ports["port"], ports["proxy_port"]

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

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


@pytest.fixture
def demo_server(tmp_path):
    server = DemoServer(tmp_path / "demo")
    yield server
    server.stop()
