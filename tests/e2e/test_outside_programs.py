"""The outside programs around the client under Wine: the cleaning program runs hidden only when
its signature holds, and its error window is relayed to the user and closed; the disk reserve
in the program folder (HTTP mode only)."""
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

def start_cleaner(c, count):
    """The periodic check finds the start-up entry gone: it repairs it and runs the cleaner."""
    wintest("regdel", RUN_KEY, RUN_VALUE)
    c.post(WM_TIMER, 4)
    c.wait_trace("= kvAuthMD5", count=count)


def pgx_journal():
    path = INSTALL / "PGX.log"
    return path.read_text(errors="replace").splitlines() if path.exists() else []


def wait_pgx(text, timeout=15):
    deadline = time.time() + timeout
    while not any(text in line for line in pgx_journal()):
        assert time.time() < deadline, "PGX journal: %r" % pgx_journal()
        time.sleep(0.1)


def test_cleaning_program_signed_hidden_and_its_error_window(client):
    c = client()
    (INSTALL / "PGX.ini").write_text("[message]\r\nMsgTitle=Purgex Test\r\n"
                                     "[result]\r\nError=The memory could not be cleaned.\r\n")
    c.start()
    start_cleaner(c, 1)
    assert c.trace_lines("(1) = kvAuthMD5")
    wait_pgx("error window shown")
    start = next(line for line in pgx_journal() if " start " in line)
    assert "VirusMsgbox=0 show=0" in start                      # hidden, virus messages off
    # The watcher shows the cleaner's text under its caption and then closes its window.
    box = c.wait_window("#32770", "Purgex Test")
    assert "The memory could not be cleaned." in [w["text"] for w in c.tree(box)]
    screenshot("pgx-error-relayed")
    wintest("click", box, 1)
    wait_pgx("error window closed by WM_CLOSE")

    # A copy whose signature does not hold is never started.
    pgx = bytearray((INSTALL / "PGX.exe").read_bytes())
    pgx[1000] ^= 0xFF
    (INSTALL / "PGX.exe").write_bytes(bytes(pgx))
    started = len([line for line in pgx_journal() if " start " in line])
    start_cleaner(c, 2)
    assert c.trace_lines("(0) = kvAuthMD5")
    time.sleep(1)
    assert len([line for line in pgx_journal() if " start " in line]) == started
    c.unload()


def test_disk_reserve(client, tmp_path):
    c = client(ini={"Global Setting": {"DiskReserved": "3"}})
    c.start()
    c.wait_trace("Successful reserved 3.00 MB.")
    reserve = INSTALL / "Reserve"
    assert reserve.stat().st_size == 3 * 1048576
    c.unload()

    # File-based mode keeps no reserve.
    reserve.unlink()
    f = client(ini={"INI_SERVER_SECTION": {"SetupType": "0", "MasterDirectory": "C:\\VglMaster"},
                    "Global Setting": {"DiskReserved": "3"}})
    f.start()
    f.wait_trace("FILE-BASE do not need to reserve disk space")
    assert not (INSTALL / "Reserve").exists()
    f.unload()
