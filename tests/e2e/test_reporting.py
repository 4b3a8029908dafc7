"""Reporting to the server under Wine against the demo server: the status logs of every type
with their exact queries, retries and give-up; the virus logs' reply codes; virus logs kept
while the server is down, across a restart and a killed client, and across kills in the
middle of saving them; the scan settings from the server into the product key and the
engine; the alert text; the debug window's pages."""
import datetime
import re
import shutil
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

CGI = "/Vigilon/Cgi/"
# The log threads' retry waits last a millisecond a second.
FAST = {"VGL_TEST_MS_PER_SECOND": "1"}
NEVER = "Z:\\nonexistent\\never"


def requests(server, program):
    return [e for e in server.journal() if e["path"].lower() == (CGI + program).lower()]


def wait_requests(server, program, count, timeout=30, status=None):
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = [e for e in requests(server, program) if status is None or e["status"] == status]
        if len(found) >= count:
            return found
        time.sleep(0.1)
    raise AssertionError("%d requests of %s expected: %r" % (count, program,
                                                             [e["target"] for e in requests(server, program)]))


def pgx_record(virus):
    """The outside cleaning program's record of one virus found (taken as a manual-scan finding)."""
    return "00" * 4 + "02000100" + "00" * 48 + virus.encode().hex() + "00"


def find(c, virus):
    wintest("copydata", c.hwnd, 2004, pgx_record(virus))


def viruses(entries):
    return [e["fields"]["VIRUS"] for e in entries]


def guid():
    return reg_get(PRODUCT_KEY, "GUID")[3:]


def reportcheck(c, *args):
    """reportcheck.exe run from the client's program folder; its output lines."""
    shutil.copy2(BIN / "reportcheck.exe", INSTALL / "reportcheck.exe")
    return run(INSTALL / "reportcheck.exe", *args, timeout=300, env=FAST)[1]


def set_trace(c, **values):
    """Rewrites the trace switch file with other values (a hold point, another log file)."""
    lines = ["[Trace]", "LogFile=Z:" + str(c.trace_path).replace("/", "\\")]
    lines += ["%s=%s" % item for item in values.items()]
    (DRIVE_C / "VglDebug.ini").write_text("\r\n".join(lines) + "\r\n")


# ---- status logs ----

def test_the_clients_own_status_logs(client, demo_server):
    c = client(ini={"INI_CLIENT_SECTION": {"Client_Allow_Mobile": "1"}}, product={"Update Pending": 1})
    # Another product of the maker on the PC: two special logs at start-up.
    reg_set("HKLM\\SOFTWARE\\Kavrel\\Bastionel\\CurrentVersion", "ConsoleDirectory", "C:\\windows")
    reg_set("HKLM\\SOFTWARE\\Kavrel\\Kestrix\\6.0\\Win9x", "Installed", 1)
    started = datetime.datetime.now().strftime("%Y%m%d")
    c.start()
    start = wait_requests(demo_server, "cgiOnStart.exe", 1)[0]
    sync = wait_requests(demo_server, "cgiOnUpdate.exe", 1)[0]
    special = wait_requests(demo_server, "cgiOnSpecialLog.exe", 2)
    uid = guid()
    fields = dict(start["fields"])
    for name in ("COMPUTER", "IP", "DOMAIN", "DATE", "TIME", "INSTDATE", "INSTTIME"):
        fields.pop(name)
    assert fields == {"UID": uid, "PLATFORM": "Windows 98 4.10.2222", "PTNFILE": 578, "PROGRAM": "5.58",
                      "ENGINE": "6.150", "ENCY": "1", "HOTFIX": "", "MOBILE": 0, "RELEASE": "5.58",
                      "OPPSTATUS": 0}
    computer = start["fields"]["COMPUTER"]
    date, clock = sync["fields"]["DATE"].replace("-", ""), sync["fields"]["TIME"].replace(":", "")
    assert date == started
    assert sync["target"] == (f"{CGI}cgiOnUpdate.exe?UID={uid}&PATTERN=578&ENGINE=6.150&PROGRAM=5.58"
                              f"&HOTFIX=&DATE={date}&TIME={clock}&RELEASE=5.58")
    # The special logs go as they are: only WinInet's escaping of blanks.
    assert sorted(e["target"] for e in special) == [
        f"{CGI}cgiOnSpecialLog.exe?COMPUTER={computer}&desc=Bastionel%20existe%20d\xe9j\xe0.",
        f"{CGI}cgiOnSpecialLog.exe?COMPUTER={computer}&desc=Kestrix%206%20for%20Windows%2095/98%20existe%20d\xe9j\xe0."]

    # Out of forced mobile mode the client announces itself again, through the queue.
    c.command(32828)
    c.command(32828)
    assert wait_requests(demo_server, "cgiOnStart.exe", 3)[-1]["fields"]["MOBILE"] == 0
    c.unload()
    close = wait_requests(demo_server, "cgiOnClose.exe", 1)[0]
    date, clock = close["fields"]["DATE"].replace("-", ""), close["fields"]["TIME"].replace(":", "")
    assert close["target"] == f"{CGI}cgiOnClose.exe?UID={uid}&DATE={date}&TIME={clock}&RELEASE=5.58"


def test_every_status_type_is_retried_and_given_up(client, demo_server):
    c = client()
    # A log refused once is sent again; one refused every time is given up after 8 tries.
    demo_server.rule(path=CGI + "cgiOnScan.exe", body="-1", times=1)
    demo_server.rule(path=CGI + "cgiOnClose.exe", body="-1", times=20)
    out = reportcheck(c, "status", "20240305070809", "1", "2", "3", "4", "7", "8:9.999", "9:7.000",
                      "13:20240202120000", "14", "15", "16")
    assert out[-1] == "STATUS DONE"
    uid = guid()
    when = "DATE=20240305&TIME=070809"
    versions = f"PATTERN=578&ENGINE=6.150&PROGRAM=5.58&HOTFIX=&{when}&RELEASE=5.58"
    expected = [f"{CGI}cgiOnScan.exe?UID={uid}&{when}&EVENT=1&RELEASE=5.58"] * 2 + [
        f"{CGI}cgiOnScan.exe?UID={uid}&{when}&EVENT={n}&RELEASE=5.58" for n in (2, 3, 4)] + [
        f"{CGI}cgiOnClose.exe?UID={uid}&{when}&RELEASE=5.58"] * 8 + [
        f"{CGI}cgiOnUpdate.exe?UID={uid}&{versions}",
        f"{CGI}cgiOnUpdate.exe?UID={uid}&PATTERN=578&ENGINE=7.000&PROGRAM=5.58&HOTFIX=&{when}&RELEASE=5.58",
        f"{CGI}cgiOnUpdate.exe?UID={uid}&PATTERN=578&ENGINE=6.150&PROGRAM=5.58&HOTFIX=20240202120000&{when}&RELEASE=5.58",
        f"{CGI}cgiOnUpdate.exe?UID={uid}&{versions}",
        f"{CGI}cgiOnUpdate.exe?UID={uid}&{versions}",
        f"{CGI}cgiOnScanResult.dll?UID={uid}&STARTDATE=20240305&STARTTIME=070809&STOPDATE=20240305"
        f"&STOPTIME=070911&SUCCESS=10&INFECT=2&INFECTFILES=1&EVENT=3&RELEASE=5.58"]
    assert [e["target"] for e in demo_server.journal()] == expected
    # Each wait before a retry is a random 1 .. 2^(retry+3)+1 seconds.
    waits = [tuple(map(int, m)) for m in re.findall(r"iPower = (\d+), iRange = (\d+)", c.trace())]
    assert [power for power, _ in waits] == [8] + [2 ** (3 + n) for n in range(8)]
    assert all(1 <= rng <= power + 1 for power, rng in waits)
    assert len(c.trace_lines("Remove Status Log for good (%scgiOnClose.exe" % CGI)) == 1


# ---- virus logs ----

def test_virus_log_reply_codes(client, demo_server):
    """Which replies deliver a virus log (or refuse it for good) and which keep it to try again:
    a kept record is tried 8 times, waits in the failed list and is sent again once recovered."""
    table = [("", "delivered"), ("0", "delivered"), ("1\r\n", "delivered"), ("7", "delivered"),
             ("-1", "kept"), ("-2", "refused"), ("-3", "kept"), ("-4", "refused"), ("-16", "refused"),
             ("-17", "kept"), ("-99", "kept"), (None, "kept")]      # None: the request fails (503)
    c = client(ini={"INI_CLIENT_SECTION": {"Client_Allow_Mobile": "1"}})
    c.start(env=FAST)
    total, expected = 0, {}
    for n, (body, outcome) in enumerate(table):
        # A kept record is tried 8 times; a failed request tries each of the 3 proxy modes.
        requests_made = (24 if body is None else 8) if outcome == "kept" else 1
        if body is None:
            demo_server.rule(path=CGI + "cgiLog.exe", status=503, times=requests_made)
        else:
            demo_server.rule(path=CGI + "cgiLog.exe", body=body, times=requests_made)
        find(c, "CODE.%d" % n)
        total += requests_made
        expected["CODE.%d" % n] = requests_made
        wait_requests(demo_server, "cgiLog.exe", total)
        if outcome == "kept":
            # Given up after its last try: it waits in the failed list.
            c.wait_trace("re-try again (%scgiLog.exe?UID=%s&DATE=" % (CGI, guid()), count=len(
                [o for _, o in table[:n + 1] if o == "kept"]))
    sent = viruses(requests(demo_server, "cgiLog.exe"))
    assert {v: sent.count(v) for v in expected} == expected
    # Leaving forced mobile mode recovers the failed records: only the kept ones come again, in
    # their order, and are delivered.
    before = len(requests(demo_server, "cgiLog.exe"))
    c.command(32828)
    c.command(32828)
    kept = ["CODE.%d" % n for n, (_, o) in enumerate(table) if o == "kept"]
    again = wait_requests(demo_server, "cgiLog.exe", before + len(kept))[before:]
    assert viruses(again) == kept
    time.sleep(1)
    assert len(requests(demo_server, "cgiLog.exe")) == before + len(kept)
    c.unload()
    assert not list((INSTALL / "UnsentVirus").glob("*.log"))


def unsent_files():
    return sorted(p.name for p in (INSTALL / "UnsentVirus").glob("*"))


def test_virus_logs_wait_for_the_server_across_a_restart_and_a_kill(client, demo_server):
    c = client()
    demo_server.rule(path=CGI + "cgiLog.exe", status=503)               # the server is down
    c.start(env=FAST)
    for n, virus in enumerate(("DOWN.A", "DOWN.B"), 1):
        find(c, virus)
        c.wait_trace("UnsentVirusLog save of %d records: done" % n)
    # A normal restart: the unsent store is read again and tried again.
    c.unload()
    c.start(env=FAST)
    assert c.trace_lines("    2 unsent records restored")
    c.wait_trace("UnsentVirusLog save of 2 records: done", count=3)
    find(c, "DOWN.C")
    c.wait_trace("UnsentVirusLog save of 3 records: done")
    c.kill()
    assert len(unsent_files()) == 1

    # The server is back: each record arrives once, and the store is empty afterwards.
    demo_server.reset()
    c.start(env=FAST)
    delivered = wait_requests(demo_server, "cgiLog.exe", 3)
    c.wait_trace("UnsentVirusLog save of 0 records: done")
    time.sleep(1)
    assert sorted(viruses(requests(demo_server, "cgiLog.exe"))) == ["DOWN.A", "DOWN.B", "DOWN.C"]
    assert all(e["status"] == 200 for e in delivered)
    assert unsent_files() == []
    c.unload()


def test_kills_in_the_middle_of_saves_lose_and_repeat_nothing(client, demo_server, tmp_path):
    """The client is killed at every step of saving its unsent store (and at a moment left to
    chance): what was saved before is never lost or doubled, and a record whose save was cut
    before the new files were put in place is simply not saved yet."""
    c = client(product={"ForceMobile": 1})                               # off line: saved at once
    hold = {"written": ": %d day files written", "committed": ": replacing %d day files",
            "replaced": ": replaced ", "done": ": done", "chance": None}
    rounds = ["written", "committed", "replaced", "done", "chance", "written", "replaced", "committed"]
    saved = []                                                           # the records a save put in place
    for k, stage in enumerate(rounds, 1):
        c.trace_path = tmp_path / ("trace%d.log" % k)
        virus = "KILL.%d" % k
        days = len(saved) + 1                                            # a new day for every round
        if hold[stage]:
            text = "save of %d records%s" % (len(saved) + 1, hold[stage].replace("%d", str(days)))
            set_trace(c, HoldOn=text, HoldFile=NEVER, HoldTime=60000)
        else:
            set_trace(c)
        c.start(env=dict(FAST, VGL_TEST_CLOCK_OFFSET=str(k * 86400)))
        assert c.trace_lines("    %d unsent records restored" % len(saved)), stage
        find(c, virus)
        if hold[stage]:
            c.wait_trace(text)
        c.kill()
        if stage in ("committed", "replaced", "done"):
            saved.append(virus)
        elif stage == "chance":
            # Whatever the moment, the next start finds either the old or the new set whole.
            c.trace_path = tmp_path / "probe.log"
            set_trace(c)
            c.start(env=FAST)
            restored = [l for l in c.trace_lines(" unsent records restored")]
            count = int(re.search(r"    (\d+) unsent", restored[-1]).group(1))
            assert count in (len(saved), len(saved) + 1)
            if count == len(saved) + 1:
                saved.append(virus)
            c.unload()

    # Back on line: every saved record arrives exactly once.
    reg_set(PRODUCT_KEY, "ForceMobile", 0)
    c.trace_path = tmp_path / "final.log"
    set_trace(c)
    c.start(env=FAST)
    wait_requests(demo_server, "cgiLog.exe", len(saved))
    c.wait_trace("UnsentVirusLog save of 0 records: done")
    time.sleep(1)
    assert sorted(viruses(requests(demo_server, "cgiLog.exe"))) == sorted(saved)
    assert unsent_files() == []
    c.unload()


# ---- settings from the server ----

MANUAL, REALTIME, SCHEDULE, SCAN_NOW, EXCLUSION = (
    "Manual Scan Configuration", "Real Time Scan Configuration", "Prescheduled Scan Configuration",
    "Scan Now Configuration", "Exclusion File Configuration")
EICAR = b"X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"


def section_value(section, name):
    return reg_get(PRODUCT_KEY + "\\" + section, name)


def test_settings_from_the_server(client, demo_server, tmp_path):
    c = client()
    scan = {"Enable": "YES", "AllowCfg": "YES", "ScanCompressed": "YES", "ScanAllFiles": "YES"}
    served = {MANUAL: dict(scan, VirusFoundAction="Delete", CleanFailedAction="Leave"),
              REALTIME: dict(scan, VirusFoundAction="Rename", ScanShutdown="NO"),
              SCHEDULE: dict(scan, VirusFoundAction="Move", Frequency="3"),
              SCAN_NOW: dict(scan, VirusFoundAction="Leave"),
              EXCLUSION: {"AllowCfg": "YES", "Exclude1": "C:\\Quarantine"},
              "Global Setting": {"CompressedFileCount": "77"}}
    demo_server.configure(scan_configuration=served)
    # Every section in one reply.
    out = reportcheck(c, "settings")
    assert out[0] == "SETTINGS 1"
    assert out[1:] == [MANUAL + ": 2 1", REALTIME + ": 3 3", SCHEDULE + ": 4 3", SCAN_NOW + ": 1 3",
                       EXCLUSION + ": 1 entries"]
    assert [e["fields"]["EVENT"] for e in requests(demo_server, "cgiRqCfg.exe")] == [0]
    assert section_value(MANUAL, "VirusFoundAction") == "dword:2"
    assert section_value(MANUAL, "CompressedFileCount") == "dword:77"
    assert section_value(REALTIME, "VirusFoundAction") == "dword:3"
    assert section_value(REALTIME, "ScanShutdown") == "dword:0"
    assert section_value(SCHEDULE, "VirusFoundAction") == "dword:4"
    assert section_value(EXCLUSION, "Exclude1") == "sz:C:\\Quarantine"

    # All at once refused: section by section, the scan-now settings last.
    demo_server.reset()
    served[MANUAL]["VirusFoundAction"] = "Rename"
    demo_server.configure(scan_configuration=served, scan_configuration_codes={"0": -1})
    assert reportcheck(c, "settings")[0] == "SETTINGS 1"
    assert [e["fields"]["EVENT"] for e in requests(demo_server, "cgiRqCfg.exe")] == [0, 1, 2, 3, 5, 4]
    assert section_value(MANUAL, "VirusFoundAction") == "dword:3"

    # A reply without some sections changes only what it carries.
    demo_server.reset()
    demo_server.configure(scan_configuration={MANUAL: dict(scan, VirusFoundAction="Delete")})
    out = reportcheck(c, "settings")
    assert out[:3] == ["SETTINGS 1", MANUAL + ": 2 3", REALTIME + ": 3 3"]
    assert section_value(MANUAL, "VirusFoundAction") == "dword:2"
    assert section_value(MANUAL, "CompressedFileCount") == "dword:77"
    assert section_value(SCHEDULE, "VirusFoundAction") == "dword:4"
    assert section_value(EXCLUSION, "Exclude1") == "sz:C:\\Quarantine"

    # The next scan runs with the server's settings: the engine deletes the infected file.
    shutil.copy2(BIN / "filter32.vxd", INSTALL / "filter32.vxd")
    victim = DRIVE_C / "victim.com"
    victim.write_bytes(EICAR)
    out = reportcheck(c, "scan", "C:\\victim.com")
    assert out[-1].endswith(", 1 found")
    journal = (INSTALL / "filter32.log").read_text(errors="replace")
    assert re.search(r"EVENT channel=200 kind=1 file=C:\\victim\.com virus=EICAR\S* .*first=4/1", journal), journal
    assert not victim.exists()


# ---- alert message ----

def test_alert_text_is_kept_byte_for_byte(client, demo_server):
    c = client()
    text = "Appelez le support: 555\u00e9 \x00 after the zero byte\r\n"
    demo_server.configure(alert_message=text)
    assert reportcheck(c, "alert", "get")[0] == "ALERT Appelez le support: 555\xe9 "
    assert (INSTALL / "Alert.msg").read_bytes() == text.encode("cp1252")
    assert [e["target"] for e in requests(demo_server, "cgiRqAlertMsg.exe")] == [CGI + "cgiRqAlertMsg.exe?"]
    # An empty reply: the current text is empty, the file stays as it was for the next start.
    demo_server.configure(alert_message="")
    assert reportcheck(c, "alert", "get")[0] == "ALERT "
    assert (INSTALL / "Alert.msg").read_bytes() == text.encode("cp1252")
    assert reportcheck(c, "alert")[0] == "ALERT Appelez le support: 555\xe9 "


# ---- the debug window ----

WM_LBUTTONDBLCLK, LVM_GETITEMCOUNT, PSM_SETCURSEL = 0x203, 0x1004, 0x400 + 101


def test_debug_window_pages(client, demo_server):
    c = client(product={"Debug": 1, "Update Pending": 1})
    demo_server.rule(path=CGI + "cgiLog.exe", body="-1")                 # every virus log refused
    no_waits = {"VGL_TEST_MS_PER_SECOND": "0"}
    c.start(env=no_waits)
    for n in range(2):
        find(c, "FIRST.%d" % n)
    c.wait_trace("re-try again", count=2)
    c.unload()
    # The next run tries the two unsent records again, and 19 new ones: 152 attempts.
    reg_set(PRODUCT_KEY, "Update Pending", 1)
    c.start(env=no_waits)
    c.wait_trace("UnsentVirusLog save of 2 records: done")
    for n in range(19):
        find(c, "SECOND.%d" % n)
    c.wait_trace("re-try again", count=4 + 19)
    wait_requests(demo_server, "cgiOnUpdate.exe", 2)

    # The banner's hidden area shows the sheet.
    tree = c.tree()
    banner = next(w for w in tree if w["id"] == 1001)
    width, height = banner["rect"][2] - banner["rect"][0], banner["rect"][3] - banner["rect"][1]
    x, y = 175 * width // 570, 26 * height // 44
    c.post(WM_LBUTTONDBLCLK, 1, (y << 16) | x)
    sheet = c.wait_window("#32770", "Vigilon Debug Log")
    deadline = time.time() + 10
    while not c.window(sheet)["visible"] and time.time() < deadline:
        time.sleep(0.1)
    pages = {w["text"]: w for w in c.tree(sheet) if w["class"] == "#32770" and w["hwnd"] != sheet}
    assert sorted(pages) == sorted(["Server Commands", "Status Logs", "Virus Logs", "Unsent Virus Logs",
                                    "Client Settings"])

    def rows(page):
        page_tree = c.tree(pages[page]["hwnd"])
        listview = next(w for w in page_tree if w["id"] == 1193)
        count = next(w for w in page_tree if w["id"] == 1180)
        return c.send(LVM_GETITEMCOUNT, 0, 0, hwnd=listview["hwnd"]), count["text"]

    assert rows("Virus Logs") == (101, "Entries added since the start: 152")
    assert rows("Unsent Virus Logs") == (16, "Entries added since the start: 16")
    assert rows("Status Logs") == (1, "Entries added since the start: 1")     # the finished update
    for index, page in enumerate(["Status Logs", "Virus Logs", "Unsent Virus Logs"], 1):
        c.send(PSM_SETCURSEL, index, 0, hwnd=sheet)
        screenshot("debug-window-%s" % page.lower().replace(" ", "-"), when=lambda: c.window(sheet)["visible"])
    # Its close box hides it: the rows stay.
    c.post(WM_SYSCOMMAND, SC_CLOSE, 0, hwnd=sheet)
    deadline = time.time() + 10
    while c.window(sheet)["visible"] and time.time() < deadline:
        time.sleep(0.1)
    assert not c.window(sheet)["visible"]
    assert rows("Virus Logs")[0] == 101
    c.unload()
