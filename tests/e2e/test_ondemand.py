"""On-demand scanning under Wine: files and folders dropped on the client are scanned through the
console's manual-scan page (the shell extension hands its paths over the same way), with the
progress window's pause, resume and stop; the scan-result page's rows and its Clean, Delete and
Rename with their confirmations; the virus log; the server's scan now and its scan-result log.
The tests share the Wine prefix and the client's mappings: they run one at a time."""
import datetime
import shutil
import subprocess
import time

import pytest

from clientlib import *  # noqa: F401,F403
from test_realtime import (CLEANABLE, EICAR, LOG_NONE, fresh, read_records, day_log, wait_for, writable_tree,
                           zip_of)

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

SCAN = DRIVE_C / "odscan"
MANUAL = "Manual Scan Configuration"
WM_REMOTE_SCAN = WM_USER + 14
IDC_SCAN_STOP, IDC_SCAN_PAUSE = 1011, 1022
IDC_RESULT_LIST, IDC_RESULT_CLEAN, IDC_RESULT_DELETE, IDC_RESULT_RENAME = 1077, 1016, 1168, 1018
IDOK = 1


@pytest.fixture
def client(tmp_path, demo_server):
    made = []
    fresh(SCAN)

    def make(**kwargs):
        c = Client(tmp_path, demo_server, **kwargs)
        # Real-time scanning stays out of the way: the files are the on-demand scan's.
        (INSTALL / "filter32.ini").write_text("[Watch]\r\nFixedDrives=0\r\n")
        made.append(c)
        return c
    yield make
    for c in made:
        c.stop()
    writable_tree(SCAN)
    shutil.rmtree(SCAN, ignore_errors=True)


def settings(**manual):
    values = {"VirusFoundAction": "Leave", "CleanFailedAction": "Leave", "AllowCfg": "YES", "ScanCompressed": "YES",
              "CompressedLayer": "1", "ExtList": ".*"}
    values.update(manual)
    return {MANUAL: values, "Real Time Scan Configuration": {"Enable": "NO"},
            "Exclusion File Configuration": {"AllowCfg": "YES", "Exclude1": "C:\\odscan\\TEMP",
                                             "Exclude2": "skipme.com"}}


def message_box(c, timeout=30):
    """The client's next message box: (window, its static texts)."""
    lines = wintest("wait", "#32770", "-", int(timeout * 1000), c.pid, timeout=timeout + 30)
    for line in lines:
        hwnd, _, visible = line.split()
        hwnd = int(hwnd, 16)
        tree = c.tree(hwnd)
        if visible == "1" and any(w["class"] == "Button" and w.get("id") == IDOK for w in tree) and \
                not any(w.get("id") == IDC_SCAN_STOP for w in tree):
            return hwnd, [w["text"] for w in tree if w["class"] == "Static" and w["text"]]
    return None, []


def wait_message_box(c, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        hwnd, texts = message_box(c, 2)
        if hwnd:
            return hwnd, texts
    raise AssertionError("no message box")


def press_ok(hwnd):
    wintest("click", hwnd, IDOK)
    wait_for(lambda: wintest("tree", hwnd) == [] or not parse_tree(wintest("tree", hwnd)), timeout=5)


def rows(c):
    """The rows the scan-result page added: file -> (virus, result, actionable)."""
    out = {}
    for line in c.trace_lines("Scan result row: "):
        text = line.split("Scan result row: ", 1)[1].rsplit(", ", 1)[0]
        file, virus, result, actionable = text.split("|")
        out[file] = (virus, result, actionable == "1")
    return out


def find_control(c, ident, cls=None):
    return [w for w in c.tree() if w.get("id") == ident and (cls is None or w["class"] == cls)]


def click_at(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=dict(os.environ, DISPLAY=DISPLAY),
                   timeout=10, check=True)


def plant_tree():
    (SCAN / "TEMP").mkdir()
    (SCAN / "TEMPORARY").mkdir()
    (SCAN / "docs").mkdir()
    (SCAN / "eicar.com").write_bytes(EICAR)
    (SCAN / "sample.doc").write_bytes(b"before " + CLEANABLE + b" after")
    (SCAN / "pack.zip").write_bytes(zip_of([("readme.txt", b"clean"), ("e.com", EICAR)]))
    (SCAN / "clean.txt").write_bytes(b"nothing here")
    (SCAN / "TEMP" / "hidden.com").write_bytes(EICAR)
    (SCAN / "TEMPORARY" / "found.com").write_bytes(EICAR)
    (SCAN / "docs" / "skipme.com").write_bytes(EICAR)
    (SCAN / "copy (2).com").write_bytes(EICAR)
    (DRIVE_C / "oddrop.com").write_bytes(EICAR)


def test_shell_extension_command_is_scanned_by_the_running_client(client, demo_server):
    # The shell's part played by shellinvoke: the shell's own data object for two entries of a
    # folder, the menu, the command; the running client scans them once.
    (SCAN / "eicar.com").write_bytes(EICAR)
    (SCAN / "clean.txt").write_bytes(b"nothing here")
    c = client(ini=settings())
    c.start()
    shutil.copy(BIN / "KvdShell.dll", INSTALL / "KvdShell.dll")
    code, out = run(BIN / "shellinvoke.exe", "C:\\Program Files\\Vigilon Client\\KvdShell.dll", "C:\\odscan",
                    "eicar.com", "clean.txt")
    assert code == 0, out
    assert any(line.startswith("invoke: 0x00000000") for line in out)
    c.wait_trace("Dropped: 0 folders, 2 files")
    box, texts = wait_message_box(c)
    assert "Viruses were found" in texts[-1]
    press_ok(box)
    assert set(rows(c)) == {"C:\\odscan\\eicar.com"}
    assert len(c.trace_lines("Dropped: ")) == 1


def test_dropped_folder_and_file_are_scanned_with_results_actions_and_virus_log(client, demo_server):
    plant_tree()
    c = client(ini=settings())
    c.start()
    assert wintest_first("drop", c.hwnd, "C:\\odscan", "C:\\oddrop.com", "C:\\gone.com") == "1"
    c.wait_trace("Dropped: 1 folders, 1 files")
    box, texts = wait_message_box(c)
    screenshot("ondemand-scan-finished")
    assert texts and "has finished" in texts[-1] and "Viruses were found" in texts[-1]
    press_ok(box)

    found = rows(c)
    assert set(found) == {"C:\\odscan\\eicar.com", "C:\\odscan\\sample.doc", "e.com (C:\\odscan\\pack.zip)",
                          "C:\\odscan\\TEMPORARY\\found.com", "C:\\odscan\\copy (2).com", "C:\\oddrop.com"}
    assert found["C:\\odscan\\eicar.com"][0] == "EICAR-Test-File" and found["C:\\odscan\\eicar.com"][2]
    assert found["C:\\odscan\\sample.doc"][0] == "Vgl.Test.Clean"
    assert not found["e.com (C:\\odscan\\pack.zip)"][2]          # a member is never actionable
    # Left out: the excluded folder (TEMP) and name (skipme.com); scanned: a folder whose name only
    # begins like the excluded one (TEMPORARY).

    # The virus log holds every finding, each as a manual scan's.
    records = wait_for(lambda: (lambda r: r if len(r) >= 6 else None)(read_records(day_log().read_bytes()))
                       if day_log().exists() else None, timeout=20)
    assert records and len(records) == 6
    assert {r[0] for r in records} == {1}
    assert {r[6] for r in records} >= {"C:\\odscan\\eicar.com", "C:\\oddrop.com"}

    # The results page shows the rows; select the cleanable file's row and clean it.
    page = find_control(c, IDC_RESULT_LIST, "SysListView32")
    assert page and page[0]["visible"]
    screenshot("ondemand-scan-results")
    left, top, right, bottom = page[0]["rect"]
    order = [line.split("Scan result row: ", 1)[1].split("|")[0] for line in c.trace_lines("Scan result row: ")]

    def select(name):
        # Focus the list, then move the selection to the row by keyboard.
        click_at(left + 30, top + 30)
        keys = ["Home"] + ["Down"] * order.index(name)
        subprocess.run(["xdotool", "key", "--delay", "50"] + keys, env=dict(os.environ, DISPLAY=DISPLAY),
                       timeout=10, check=True)
        time.sleep(0.3)

    def act(button, name, confirm, done):
        select(name)
        assert wait_for(lambda: find_control(c, button)[0]["enabled"], timeout=5), name
        wintest("click", find_control(c, button)[0]["parent"], button)
        box, texts = wait_message_box(c)
        assert texts and confirm in texts[-1]
        screenshot("ondemand-confirm-%d" % button)
        press_ok(box)
        box, texts = wait_message_box(c)
        assert texts and done in texts[-1]
        press_ok(box)

    act(IDC_RESULT_CLEAN, "C:\\odscan\\sample.doc", "Clean the 1 selected", "1 files were cleaned")
    assert (SCAN / "sample.doc").read_bytes() == b"before " + b"\0" * len(CLEANABLE) + b" after"
    act(IDC_RESULT_DELETE, "C:\\odscan\\copy (2).com", "Delete the 1 selected", "1 files were deleted")
    assert not (SCAN / "copy (2).com").exists()
    act(IDC_RESULT_RENAME, "C:\\odscan\\eicar.com", "Rename the 1 selected", "1 files were renamed")
    assert not (SCAN / "eicar.com").exists() and [p for p in SCAN.iterdir() if p.name.lower().startswith("eicar.")]
    # A row acted on is no longer actionable.
    select("C:\\odscan\\eicar.com")
    time.sleep(0.3)
    assert not find_control(c, IDC_RESULT_DELETE)[0]["enabled"]
    c.unload()


def changed_box(before, after):
    """The bounding box (left, top, right, bottom) of the pixels that differ between two screenshots."""
    out = subprocess.run(["convert", str(before), str(after), "-compose", "difference", "-composite",
                          "-threshold", "10%", "-format", "%@", "info:"], capture_output=True, text=True,
                         timeout=30, check=True).stdout.strip()
    m = re.fullmatch(r"(\d+)x(\d+)\+(\d+)\+(\d+)", out)
    assert m, out
    w, h, x, y = map(int, m.groups())
    return x, y, x + w, y + h


def test_ticked_folder_of_the_tree_is_scanned_by_scan_now(client):
    plant_tree()
    c = client(ini=settings())
    c.start()
    c.post(WM_COMMAND, 12)                  # open the main window
    assert c.wait_visible(True)
    tree = find_control(c, 1050, "SysTreeView32")
    assert tree and tree[0]["visible"]
    scan_now = find_control(c, 1075)[0]
    assert not scan_now["enabled"]         # nothing ticked yet
    left, top, right, bottom = tree[0]["rect"]
    env = dict(os.environ, DISPLAY=DISPLAY)
    # Focus the tree on its first drive, open it, and pick the folder by typing its name.
    click_at(right - 10, bottom - 10)
    subprocess.run(["xdotool", "key", "--delay", "100", "Home", "Down", "Right"], env=env, timeout=10, check=True)
    time.sleep(0.5)
    before = screenshot("ondemand-tree-before")
    subprocess.run(["xdotool", "type", "--delay", "60", "odscan"], env=env, timeout=10, check=True)
    time.sleep(0.8)
    after = screenshot("ondemand-tree-selected")
    x0, y0, x1, y1 = changed_box(before, after)
    # The selection moved from the drive's label down to the folder's, one level deeper: click the
    # folder's label (a click on a label ticks the item).
    click_at(x0 + 27, y1 - 8)
    assert wait_for(lambda: find_control(c, 1075)[0]["enabled"], timeout=5), "Scan Now stays disabled"
    screenshot("ondemand-tree-ticked")
    wintest("click", scan_now["parent"], 1075)
    box, texts = wait_message_box(c, timeout=60)
    assert texts and "has finished" in texts[-1]
    press_ok(box)
    c.wait_trace("--> ScanningFolderIfNecessary(C:\\odscan")
    found = rows(c)
    assert set(found) == {"C:\\odscan\\eicar.com", "C:\\odscan\\sample.doc", "e.com (C:\\odscan\\pack.zip)",
                          "C:\\odscan\\TEMPORARY\\found.com", "C:\\odscan\\copy (2).com"}
    c.unload()


def test_progress_pause_resume_and_stop(client):
    count = 20000
    many = SCAN / "many"
    many.mkdir()
    for i in range(count):
        (many / ("f%05d.txt" % i)).write_bytes(b"x" * 64)
    c = client(ini=settings())
    c.start()

    def start_scan():
        assert wintest_first("drop", c.hwnd, "C:\\odscan\\many") == "1"
        lines = wintest("wait", "#32770", "Vigilon - Scanning", 20000, c.pid, timeout=60)
        assert lines[0] != "timeout"
        return int(lines[0].split()[0], 16)

    def current_file(dlg):
        return [w for w in c.tree(dlg) if w.get("id") == 1010][0]["text"]

    def pause(dlg, n):
        assert wait_for(lambda: current_file(dlg).startswith("f"), timeout=10)
        wintest("click", dlg, IDC_SCAN_PAUSE)
        c.wait_trace("Scan paused", count=n)
        assert [w for w in c.tree(dlg) if w.get("id") == IDC_SCAN_PAUSE][0]["text"] == "&Resume"
        time.sleep(0.3)
        held = current_file(dlg)
        time.sleep(1)
        assert current_file(dlg) == held            # the walk waits while paused

    # Paused, hidden and shown by the main window's commands, resumed: the scan runs to its end.
    dlg = start_scan()
    pause(dlg, 1)
    screenshot("ondemand-scan-paused")
    c.command(33001)
    assert wait_for(lambda: not c.window(dlg)["visible"], timeout=5)
    c.command(33000)
    assert wait_for(lambda: c.window(dlg)["visible"], timeout=5)
    wintest("click", dlg, IDC_SCAN_PAUSE)
    c.wait_trace("Scan resumed")
    box, texts = wait_message_box(c, timeout=120)
    assert texts and "has finished" in texts[-1] and "No virus" in texts[-1]
    press_ok(box)
    assert find_control(c, 1012)[0]["text"] == str(count)      # the result page's scanned count

    # Stopped while paused: the walk ends where it stood.
    dlg = start_scan()
    pause(dlg, 2)
    wintest("click", dlg, IDC_SCAN_STOP)
    box, texts = wait_message_box(c)
    assert texts and "was stopped" in texts[-1] and "No virus" in texts[-1]
    press_ok(box)
    c.wait_trace("CScanFilesDlg::OnButtonStop")
    assert 0 < int(find_control(c, 1012)[0]["text"]) < count
    c.unload()


def test_server_scan_now_is_stopped_and_sends_the_scan_result_log(client, demo_server):
    from test_push_commands import Pusher
    # Enough files that the stop arrives while the walk of drive C: goes on.
    many = SCAN / "many"
    many.mkdir()
    for i in range(50000):
        (many / ("f%05d.txt" % i)).write_bytes(b"x" * 64)
    ini = settings()
    ini["Scan Now Configuration"] = {"Enable": "YES", "ScanAllFiles": "YES"}
    ini["INI_CLIENT_SECTION"] = {"Client_Use_CgiOnScanResult": "1"}
    c = client(ini=ini)
    c.start()
    c.wait_trace("<-- CTavmontDlg::CreateHttpServerThread(), port %d, fResult = 1" % c.listener_port)
    push = Pusher(c, demo_server)
    started = datetime.datetime.now().replace(microsecond=0)
    push.send(10)                         # scan now: every fixed disk, hidden
    c.wait_trace("--> ScanningFolderIfNecessary(C:\\)", timeout=30)
    assert not c.window()["visible"]
    push.send(11)                         # and its stop
    c.wait_trace("Add OnScanResult log, bSendCgiOnScanResult(1)", timeout=30)
    cgi = reg_get(PRODUCT_KEY, "CgiOnScanResult")[3:]
    sent = wait_for(lambda: [e for e in demo_server.journal() if e["path"].lower() == cgi.lower()], timeout=30)
    assert sent, "no scan-result log reached the server"
    query = sent[-1]["query"]
    m = re.fullmatch(r"UID=(.+)&STARTDATE=(\d{8})&STARTTIME=(\d{6})&STOPDATE=(\d{8})&STOPTIME=(\d{6})"
                     r"&SUCCESS=0&INFECT=([01])&INFECTFILES=(\d+)&EVENT=4&RELEASE=\d+\.\d+", query)
    assert m, query
    # Whatever the drive held until the stop: a finding is counted in both fields.
    assert (m.group(6) == "1") == (int(m.group(7)) > 0)
    assert m.group(1) == reg_get(PRODUCT_KEY, "GUID")[3:]
    start = datetime.datetime.strptime(m.group(2) + m.group(3), "%Y%m%d%H%M%S")
    stop = datetime.datetime.strptime(m.group(4) + m.group(5), "%Y%m%d%H%M%S")
    assert started - datetime.timedelta(seconds=2) <= start <= stop <= datetime.datetime.now()
    c.unload()
