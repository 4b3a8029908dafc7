"""Status queries a second answered by the client's listener.

Installs and starts the client (HTTP mode, against the demo server, as the whole-program tests
do), then for each number of clients runs rounds of a fixed length in which every client sends
"GET /?CAVIT HTTP/1.0" on a new connection, reads the whole reply (checked: 200 and a scrambled
body) and starts again. Prints each round and the range; run it through run.sh (it needs the
Wine session)."""
import argparse
import pathlib
import socket
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from clientlib import DRIVE_C, MAINWND_MAPPING, Client  # noqa: E402
from conftest import DemoServer  # noqa: E402

QUERY = b"GET /?CAVIT HTTP/1.0\r\nHost: client\r\n\r\n"


def query(port):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(QUERY)
        reply = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
    if not reply.startswith(b"HTTP/1.0 200 OK") or b"\r\n\r\n!CRYPT!" not in reply:
        raise RuntimeError("unexpected reply: %r" % reply[:80])


def round_of(port, clients, seconds):
    counts = [0] * clients
    errors = []
    stop = time.monotonic() + seconds

    def work(i):
        try:
            while time.monotonic() < stop:
                query(port)
                counts[i] += 1
        except Exception as e:  # noqa: BLE001
            errors.append(e)
    started = time.monotonic()
    threads = [threading.Thread(target=work, args=(i,)) for i in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]
    return sum(counts) / (time.monotonic() - started)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--clients", default="1,8")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="listenbench-") as folder:
        folder = pathlib.Path(folder)
        server = DemoServer(folder / "demo")
        client = Client(folder, server)
        try:
            # The client as it runs on a user's PC: without its trace.
            (DRIVE_C / "VglDebug.ini").unlink(missing_ok=True)
            client.start(wait=False)
            port = client.listener_port
            deadline = time.monotonic() + 60
            while True:
                try:
                    query(port)
                    break
                except OSError:
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.2)
            while not (client.mapping(MAINWND_MAPPING) or {}).get("window"):
                if time.monotonic() > deadline:
                    raise RuntimeError("the client did not publish its main window")
                time.sleep(0.2)
            mapping = client.mapping(MAINWND_MAPPING)
            client.hwnd, client.pid = mapping["value"], mapping["pid"]
            print("listenbench: status queries a second, %d rounds of %g s" % (args.rounds, args.seconds))
            for clients in [int(n) for n in args.clients.split(",")]:
                rates = [round_of(port, clients, args.seconds) for _ in range(args.rounds)]
                print("listenbench: %d client%s: %s q/s (range %.0f-%.0f)" % (
                    clients, "" if clients == 1 else "s", ", ".join("%.0f" % r for r in rates),
                    min(rates), max(rates)))
            client.unload()
        finally:
            client.stop()
            server.stop()


if __name__ == "__main__":
    main()
