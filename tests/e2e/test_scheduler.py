"""The client's scheduler under Wine: the scheduled scan becomes due as the client's clock is
moved through its seam (a file holding the clock's offset, read at every look at the clock),
never by waiting for the minute; the scheduler's passes are shortened (VGL_TEST_WAIT_DIVISOR).
In file-based mode the scheduler polls the database folder: settings the server's console
(the vgldb tool) writes reach the product key and the engine at the next poll."""
import datetime
import shutil
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

SCHEDULE = "Prescheduled Scan Configuration"
REALTIME = "Real Time Scan Configuration"
ID_OPEN_MAIN_WINDOW, ID_STOP_SCHEDULED_SCAN = 12, 32829
POSTED = "fPosted(1) = ::PostMessage(WM_SCHEDULE_SCAN)"
# Passes of 100 ms in place of 5 s.
FAST_PASSES = {"VGL_TEST_WAIT_DIVISOR": "50"}


class Clock:
    """The client's clock, moved through the offset file."""

    def __init__(self, path):
        self.path = path

    def set(self, when):
        offset = int((when - datetime.datetime.now()).total_seconds())
        self.path.write_text(str(offset))

    def env(self):
        return dict(FAST_PASSES, VGL_TEST_CLOCK_FILE=win(self.path))


def thread_of(line):
    """The thread id of a trace line ("date time thread level text")."""
    return line.split()[2]


def wait_count(c, text, count, timeout=10):
    return c.wait_trace(text, timeout=timeout, count=count)


def settle(c, passes=8):
    """Lets the scheduler run a few passes (a pass is 100 ms here)."""
    time.sleep(passes * 0.1)


def test_scheduled_scan_starts_when_the_clock_reaches_its_minute(client, tmp_path):
    # Daily at 11:00 PM; the pop-up setting on.
    # The scan walks every drive; an extension no file has keeps it short.
    c = client(ini={SCHEDULE: {"Enable": "YES", "Frequency": "Daily", "Hour": "11", "Minute": "0", "AmPm": "PM",
                               "ScanAllFiles": "NO", "ExtList": ".vgltest"},
                    "Global Setting": {"PopupVirusFoundOnOff": "YES"}})
    clock = Clock(tmp_path / "clock")
    day = datetime.date.today()
    at = lambda d, h, m, s: datetime.datetime.combine(day + datetime.timedelta(days=d), datetime.time(h, m, s))
    clock.set(at(0, 22, 58, 30))
    c.start(env=clock.env())
    wait_count(c, "NS_Notification::WakeUpLogThreads(BOOL fRecover = 0)", 3)
    assert not c.trace_lines(POSTED)

    # The scheduled minute: one scan, although the schedule is tested many times in it.
    clock.set(at(0, 23, 0, 5))
    [posted] = wait_count(c, POSTED, 1)
    assert "scheduled %s 23:00" % at(0, 0, 0, 0).strftime("%Y/%m/%d") in posted
    c.wait_trace("<-- CTavmontDlg::OnScheduleScan(", timeout=60)
    # The client asks the console to run it, on the UI thread: the scheduler only posts.
    [asked] = c.trace_lines("--> m_sheetFake.ScheduleScan(), fWasVisible = 0")
    [ui] = c.trace_lines("<-- CTavmontDlg::OnInitDialog()")
    assert thread_of(asked) == thread_of(ui) != thread_of(posted)
    # Hidden in the tray, no virus found: the window stays hidden (the pop-up only follows a finding).
    assert c.trace_lines("after the scheduled scan: fWasVisible = 0, fPopup = 1, fVirusFound = 0")
    assert c.trace_lines("scheduled scan ended: the main window stays hidden")
    assert not c.window()["visible"]
    clock.set(at(0, 23, 0, 45))
    settle(c)
    # The clock set back over the minute: the moment started already does not start again.
    clock.set(at(0, 22, 59, 0))
    settle(c)
    clock.set(at(0, 23, 0, 20))
    settle(c)
    assert len(c.trace_lines(POSTED)) == 1

    # Suspended over two days: the moment missed is caught up once.
    clock.set(at(2, 9, 0, 0))
    wait_count(c, POSTED, 2)
    clock.set(at(2, 9, 1, 0))
    settle(c)
    assert len(c.trace_lines(POSTED)) == 2
    assert "scheduled %s 23:00" % at(1, 0, 0, 0).strftime("%Y/%m/%d") in c.trace_lines(POSTED)[-1]

    # With the main window open, it is hidden for the scan and shown again afterwards.
    c.command(ID_OPEN_MAIN_WINDOW)
    assert c.wait_visible(True)
    screenshot("scheduler-main-window-before")
    clock.set(at(2, 23, 0, 2))
    wait_count(c, POSTED, 3)
    c.wait_trace("--> m_sheetFake.ScheduleScan(), fWasVisible = 1")
    c.wait_trace("scheduled scan ended: windows shown again", timeout=60)
    assert c.wait_visible(True)
    screenshot("scheduler-main-window-after")

    # The stop command sets the scheduled scan's stop flags.
    c.command(ID_STOP_SCHEDULED_SCAN)
    c.wait_trace("CTavmontDlg::OnStopScheduleScan(): stop flags set, scheduled scan running = 0")
    c.unload()
    assert c.trace_lines("WAIT_OBJECT_0 == (dwRet(0x0) = ::WaitForSingleObject(g_eventStopScheduler")


@pytest.fixture
def many_files():
    """A tree on drive C: big enough that a scan of every file runs well past the stop command
    (the PC's own drive is scanned in about a second)."""
    root = DRIVE_C / "vgl-many-files"
    shutil.rmtree(root, ignore_errors=True)
    for d in range(100):
        folder = root / ("f%03d" % d)
        folder.mkdir(parents=True)
        for n in range(300):
            (folder / ("file%03d.dat" % n)).write_bytes(b"clean file %d %d\n" % (d, n) * 64)
    yield root
    shutil.rmtree(root, ignore_errors=True)


def test_a_running_scheduled_scan_is_stopped_by_the_stop_command(client, tmp_path, many_files):
    # Every file of every drive: a scan long enough to be stopped in the middle.
    c = client(ini={SCHEDULE: {"Enable": "YES", "Frequency": "Daily", "Hour": "11", "Minute": "0", "AmPm": "PM",
                               "ScanAllFiles": "YES"}})
    clock = Clock(tmp_path / "clock")
    today = datetime.datetime.combine(datetime.date.today(), datetime.time(22, 59, 50))
    clock.set(today)
    c.start(env=clock.env())
    clock.set(today + datetime.timedelta(seconds=15))
    c.wait_trace("--> m_sheetFake.ScheduleScan(), fWasVisible = 0", timeout=30)
    time.sleep(1)
    assert not c.trace_lines("<-- CTavmontDlg::OnScheduleScan(")
    c.command(ID_STOP_SCHEDULED_SCAN)
    c.wait_trace("CTavmontDlg::OnStopScheduleScan(): stop flags set, scheduled scan running = 1")
    stopped = time.time()
    c.wait_trace("<-- CTavmontDlg::OnScheduleScan(", timeout=30)
    assert time.time() - stopped < 5
    c.unload()


def test_disabled_schedule_never_starts(client, tmp_path):
    c = client(ini={SCHEDULE: {"Enable": "NO", "Frequency": "Daily", "Hour": "11", "Minute": "0", "AmPm": "PM"}})
    clock = Clock(tmp_path / "clock")
    day = datetime.date.today()
    clock.set(datetime.datetime.combine(day, datetime.time(22, 59, 50)))
    c.start(env=clock.env())
    clock.set(datetime.datetime.combine(day, datetime.time(23, 0, 5)))
    wait_count(c, "NS_Notification::WakeUpLogThreads(BOOL fRecover = 0)", 6)
    assert not c.trace_lines("PostMessage(WM_SCHEDULE_SCAN)")
    c.unload()


def engine_journal():
    try:
        return (INSTALL / "filter32.log").read_text(errors="replace")
    except FileNotFoundError:
        return ""


def test_file_based_poll_brings_the_servers_settings(client, tmp_path):
    master = tmp_path / "master"
    rc, out = vgldb("init", win(master))
    assert rc == 0, out
    # Range 0 in the settings file: bounded to one minute (12 passes), not a poll every pass.
    c = client(ini={"INI_SERVER_SECTION": {"SetupType": "0", "MasterDirectory": win(master)},
                    "INI_CLIENT_SECTION": {"Filebase_Polling_Range": "0"}})
    c.start(env=FAST_PASSES)
    hit = "Polling time is hit"
    wait_count(c, hit, 2, timeout=30)
    assert c.trace_lines("m_dwPollingInterval(60000) = range(0) bounded to 1..32767 minutes")
    guid = reg_get(PRODUCT_KEY, "GUID").partition(":")[2].strip("{}")
    assert reg_get(PRODUCT_KEY + "\\" + REALTIME, "Enable") == "dword:1"
    assert "TurnOffRealTimeScan" not in engine_journal()

    # The server's console switches real-time scanning off for this client.
    rc, out = vgldb("set", win(master), "RT", guid, "Enable=0")
    assert rc == 0, out
    polls = len(c.trace_lines(hit))
    wait_count(c, hit, polls + 1, timeout=30)
    deadline = time.time() + 15
    while reg_get(PRODUCT_KEY + "\\" + REALTIME, "Enable") != "dword:0":
        assert time.time() < deadline, "the product key did not take the server's setting"
        time.sleep(0.2)
    deadline = time.time() + 15
    while "TurnOffRealTimeScan" not in engine_journal():
        assert time.time() < deadline, "the engine did not take the server's setting"
        time.sleep(0.2)
    # The scheduler thread posted; the UI thread refreshed the monitor and the engine.
    trace = c.trace().splitlines()
    [ui] = [line for line in trace if "<-- CTavmontDlg::OnInitDialog()" in line]
    poll_threads = {thread_of(line) for line in trace if hit in line}
    refreshes = [line for line in trace if "call m_dlgIOMonitor.UpdateStatus()" in line]
    assert refreshes and {thread_of(line) for line in refreshes} == {thread_of(ui)}
    assert thread_of(ui) not in poll_threads and len(poll_threads) == 1

    # A range beyond 32767 minutes is bounded: after that poll no other comes.
    ini = WINDOWS / "VglScan.ini"
    ini.write_bytes(ini.read_bytes().replace(b"Filebase_Polling_Range=0", b"Filebase_Polling_Range=99999"))
    polls = len(c.trace_lines(hit))
    wait_count(c, "m_dwPollingInterval(1966020000) = range(99999)", 1, timeout=30)
    polls = len(c.trace_lines(hit))
    settle(c, 30)
    assert len(c.trace_lines(hit)) == polls
    c.unload()
