"""Time from the server's update command to the engine scanning with the new pattern.

Installs and starts the client (HTTP mode, with the update library, against the demo server
and the build's component packages). Each round the server pushes the update command (message
21) with pattern 579 on offer; the round ends when the real-time driver's journal shows the
engine loaded with VXP$SIG.579 and the real-time monitor has turned real-time scanning on
again. A pattern rollback (message 14) then brings back 578 for the next round. Prints each
round and the median; run it through run.sh (it needs the Wine session)."""
import argparse
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from clientlib import BIN, INSTALL, Client  # noqa: E402
from conftest import DemoServer  # noqa: E402
from test_push_commands import Pusher  # noqa: E402
from test_updates import offer  # noqa: E402

JOURNAL = INSTALL / "filter32.log"
TURNED_ON = "CIOMonitorDlg::UpdatePatternVersion: Try to turn on real-time scan"


def lines(path):
    return path.read_text(errors="replace").splitlines() if path.exists() else []


def wait_for(predicate, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return time.monotonic()
        time.sleep(0.005)
    raise RuntimeError("timed out")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=10)
    args = parser.parse_args()
    tmp = pathlib.Path(tempfile.mkdtemp(prefix="updatebench-"))
    server = DemoServer(tmp / "demo")
    client = None
    try:
        offer(server, {"Ptnfile_Version": "579", "Ptnfile": "pattern.zip"})
        client = Client(tmp, server)
        for name in ("Ruderire.DLL", "Unzip.dll"):
            shutil.copy2(BIN / name, INSTALL / name)
        client.start()
        client.wait_trace("<-- CTavmontDlg::CreateHttpServerThread(), port %d, fResult = 1" % client.listener_port)
        push = Pusher(client, server)
        times = []
        for i in range(args.rounds):
            loads = sum(1 for line in lines(JOURNAL) if "ENGINE loaded" in line)
            turned_on = len(client.trace_lines(TURNED_ON))
            started = time.monotonic()
            push.send(21)
            wait_for(lambda: any(line.endswith("VXP$SIG.579 status 0")
                                 for line in [l for l in lines(JOURNAL) if "ENGINE loaded" in l][loads:]))
            done = wait_for(lambda: len(client.trace_lines(TURNED_ON)) > turned_on)
            times.append(done - started)
            print("round %d: %.3f s" % (i + 1, times[-1]), flush=True)
            push.send(14, ROLLBACK=578)
            wait_for(lambda: not (INSTALL / "VXP$SIG.579").exists())
        print("update command to scanning with the new pattern: median %.3f s (min %.3f, max %.3f, %d rounds)"
              % (statistics.median(times), min(times), max(times), len(times)))
    finally:
        if client is not None:
            client.stop()
        server.stop()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
