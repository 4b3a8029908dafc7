"""The client in file-based mode under Wine: a new client's first start writes its records into
the master folder's database, a real-time finding and the cleaning program's finding land as
virus-log records of their scan kinds, the close is recorded; settings set with the vgldb tool
reach the product key and the engine; status logs of each type fill their slots. The records
are read back with vgldb, as the server's console would. The tests share the Wine prefix and
the client's mappings: they run one at a time."""
import datetime
import getpass
import re
import shutil
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

EICAR = b"X5O!P%@AP[4\\PZX54(P^)7CC)7}$" + b"EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"
WATCHED = DRIVE_C / "fbwatch"
MANUAL, REALTIME, SCHEDULE, EXCLUSION = ("Manual Scan Configuration", "Real Time Scan Configuration",
                                         "Prescheduled Scan Configuration", "Exclusion File Configuration")
# The client's own settings at installation: each differs from the defaults somewhere.
LOCAL = {
    MANUAL: {"ScanMemory": "NO", "ScanAllFiles": "NO", "ExtList": ".EXE,.COM,.DOC", "VirusFoundAction": "Rename",
             "CleanFailedAction": "Leave", "CompressedLayer": "2"},
    REALTIME: {"VirusFoundAction": "Delete", "CleanFailedAction": "Rename", "ScanShutdown": "NO"},
    SCHEDULE: {"VirusFoundAction": "Move", "MoveDir": "C:\\Infected", "Frequency": "Weekly", "DayOfWeek": "3",
               "Hour": "10", "Minute": "30", "AmPm": "PM"},
    EXCLUSION: {"AllowCfg": "YES", "Exclude1": "C:\\Keep\\", "Exclude2": "C:\\Also\\kept.doc"},
}


# Each look at the database runs the tool: fewer looks, a longer wait.
SLOW_POLL = {"timeout": 30, "step": 0.2}


def records(master, table, guid):
    """The client's records of a table as vgldb lists them, each a dict of its fields."""
    rc, out = vgldb("list", win(master), table, guid)
    assert rc == 0, out
    return [dict(field.split("=", 1) for field in line.split("\t")) for line in out.splitlines() if line]


def guid():
    return reg_get(PRODUCT_KEY, "GUID")[3:]


def dword(name):
    value = reg_get(PRODUCT_KEY, name)
    assert value.startswith("dword:"), (name, value)
    return value[6:]


@pytest.fixture
def master(tmp_path):
    folder = tmp_path / "master"
    rc, out = vgldb("init", win(folder))
    assert rc == 0, out
    return folder


@pytest.fixture
def client(tmp_path, demo_server, master):
    made = []
    if WATCHED.exists():
        shutil.rmtree(WATCHED)
    WATCHED.mkdir(parents=True)

    def make():
        ini = dict(LOCAL, INI_SERVER_SECTION={"SetupType": "0", "MasterDirectory": win(master)})
        c = Client(tmp_path, demo_server, ini=ini)
        made.append(c)
        return c
    yield make
    for c in made:
        c.stop()
    shutil.rmtree(WATCHED, ignore_errors=True)


def test_a_new_clients_first_start_its_finding_and_its_close_are_records(client, master, demo_server):
    c = client()
    today = datetime.date.today().strftime("%Y%m%d")
    c.start()
    uid = guid()
    # The first start status log: the event record (start slot, online), then, for a client new to
    # the database, its information record, its configuration records and the first-settings event.
    event = wait_for(lambda: [e for e in records(master, "CE", uid) if e["DATE8"]], **SLOW_POLL)
    assert event, c.trace()
    [event] = event
    assert (event["DATE10"], event["DATE8"], event["ONLINE"]) == (today, today, "1")
    assert all(event["DATE%d" % s] == event["TIME%d" % s] == "" for s in (0, 1, 2, 3, 4, 5, 6, 7, 9))

    [info] = records(master, "CI", uid)
    assert (info["PLATFORM"], info["PATTERNVERSION"], info["PROGRAMVERSION"], info["HTTPMODE"],
            info["USEPROXY"]) == ("Windows 98 4.10.2222", "578", "5.58", "0", "0")
    assert info["COMPUTERNAME"] and info["DRIVERVERSION"] and len(info["DRIVERVERSION"]) <= 5
    # A new client's permissions are its own until the server sets them.
    assert (info["ALLOWUNINSTALL"], info["ALLOWUNLOAD"]) == (dword("Allow Uninstall"), dword("Allow Unload"))

    # The configuration records hold the client's own settings; no server-started scan record.
    [manual] = records(master, "MS", uid)
    assert {k: manual[k] for k in ("SCANMEMORY", "SCANALLFILES", "EXTLIST", "VIRUSFOUNDACTION",
                                   "CLEANFAILEDACTION", "COMPRESSEDLAYER")} == {
        "SCANMEMORY": "0", "SCANALLFILES": "0", "EXTLIST": ".EXE,.COM,.DOC", "VIRUSFOUNDACTION": "3",
        "CLEANFAILEDACTION": "1", "COMPRESSEDLAYER": "2"}
    [realtime] = records(master, "RT", uid)
    assert (realtime["VIRUSFOUNDACTION"], realtime["CLEANFAILEDACTION"], realtime["SCANSHUTDOWN"]) == ("2", "3", "0")
    [schedule] = records(master, "PS", uid)
    assert {k: schedule[k] for k in ("VIRUSFOUNDACTION", "MOVEDIR", "FREQUENCY", "DAYOFWEEK", "HOUR", "MINUTE",
                                     "AMPM")} == {
        "VIRUSFOUNDACTION": "4", "MOVEDIR": "C:\\Infected", "FREQUENCY": "2", "DAYOFWEEK": "3", "HOUR": "10",
        "MINUTE": "30", "AMPM": "2"}
    [exclusion] = records(master, "EF", uid)
    assert (exclusion["ALLOWCFG"], exclusion["EXCLUSIONFILE1"], exclusion["EXCLUSIONFILE2"],
            exclusion["EXCLUSIONFILE3"]) == ("1", "C:\\Keep\\", "C:\\Also\\kept.doc", "")
    assert records(master, "SN", uid) == []

    # A real-time finding: its virus-log record, and the real-time scan's event slot.
    started = time.time()
    # Written outside the PC's drives (no watcher sees it), then moved in whole.
    staged = BUILD / "staged-eicar.com"
    staged.write_bytes(EICAR)
    staged.rename(WATCHED / "eicar.com")
    found = wait_for(lambda: records(master, "RTL", uid), **SLOW_POLL)
    assert found, c.trace()
    [log] = found
    when = time.mktime(time.strptime(log["DATE"] + log["TIME"], "%Y%m%d%H%M%S"))
    assert started - 2 <= when <= time.time() + 2
    assert log["LOGIN"].lower() == getpass.getuser().lower()
    assert (log["VIRUS"], log["FILE"], log["COMPRESSEDFILE"], log["DIRECTORY"]) == (
        "EICAR-Test-File", "eicar.com", "", "C:\\fbwatch\\")
    assert (log["FIRSTACTION"], log["FIRSTRESULT"], log["SECONDACTION"], log["SECONDRESULT"]) == ("2", "1", "0", "0")
    assert not (WATCHED / "eicar.com").exists()
    for table in ("PSL", "SNL"):
        assert records(master, table, uid) == [], table
    assert wait_for(lambda: records(master, "CE", uid)[0]["DATE5"] == today, **SLOW_POLL)
    # The cleaning program's finding counts as a manual scan's: its own log.
    wintest("copydata", c.hwnd, 2004, "00" * 4 + "02000100" + "00" * 48 + b"Pgx.Found".hex() + "00")
    found = wait_for(lambda: records(master, "MSL", uid), **SLOW_POLL)
    assert [r["VIRUS"] for r in found] == ["Pgx.Found"], c.trace()
    assert len(records(master, "RTL", uid)) == 1

    # The close: the close slot, off line; the start slot stays.
    c.unload()
    [event] = records(master, "CE", uid)
    assert (event["DATE9"], event["ONLINE"], event["DATE10"]) == (today, "0", today)
    # File-based mode never talks to an HTTP server.
    assert demo_server.journal() == []
    rc, out = vgldb("check", win(master))
    assert rc == 0, out


def reportcheck(*args):
    """reportcheck.exe run from the client's program folder; its output lines."""
    shutil.copy2(BIN / "reportcheck.exe", INSTALL / "reportcheck.exe")
    return run(INSTALL / "reportcheck.exe", *args, timeout=300, env={"VGL_TEST_MS_PER_SECOND": "1"})[1]


def section_value(section, name):
    return reg_get(PRODUCT_KEY + "\\" + section, name)


def test_the_servers_settings_and_the_status_logs_go_through_the_records(client, master):
    c = client()
    c.start()
    uid = guid()
    assert wait_for(lambda: [e for e in records(master, "CE", uid) if e["DATE8"]], **SLOW_POLL), c.trace()
    c.unload()

    # The server's console changes the manual scan and the exclusions: the next fetch takes them
    # into the product key (section by section; the scan-now settings are never fetched).
    assert vgldb("set", win(master), "MS", uid, "VirusFoundAction=2", "CleanFailedAction=1",
                 "ExtList=.COM")[0] == 0
    assert vgldb("set", win(master), "EF", uid, "ExclusionFile1=C:\\Server\\", "ExclusionFile2=")[0] == 0
    assert vgldb("set", win(master), "SN", uid, "VirusFoundAction=1")[0] == 0
    out = reportcheck("settings")
    assert out[:4] == ["SETTINGS 1", MANUAL + ": 2 1", REALTIME + ": 2 3", SCHEDULE + ": 4 3"], out
    assert out[5] == EXCLUSION + ": 1 entries", out
    assert section_value(MANUAL, "VirusFoundAction") == "dword:2"
    assert section_value(MANUAL, "ExtList") == "sz:.COM"
    assert section_value(EXCLUSION, "Exclude1") == "sz:C:\\Server\\"
    assert section_value("Scan Now Configuration", "VirusFoundAction") != "dword:1"
    # The next manual scan runs with them: the engine deletes the infected file.
    shutil.copy2(BIN / "filter32.vxd", INSTALL / "filter32.vxd")
    victim = DRIVE_C / "fbvictim.com"
    victim.write_bytes(EICAR)
    out = reportcheck("scan", "C:\\fbvictim.com")
    assert out[-1].endswith(", 1 found"), out
    journal = (INSTALL / "filter32.log").read_text(errors="replace")
    assert re.search(r"EVENT channel=200 kind=1 file=C:\\fbvictim\.com virus=EICAR\S* .*first=4/1", journal), journal
    assert not victim.exists()

    # Status logs of each scan kind fill their slots; a scan result fills none and changes nothing.
    [before] = records(master, "CE", uid)
    assert reportcheck("status", "20240102030405", "1", "2", "3", "4", "16") == ["STATUS DONE"]
    [event] = records(master, "CE", uid)
    for slot in (4, 5, 6, 7):
        assert (event["DATE%d" % slot], event["TIME%d" % slot]) == ("20240102", "030405"), slot
    scans = {"%s%d" % (kind, slot) for kind in ("DATE", "TIME") for slot in (4, 5, 6, 7)}
    assert {k: v for k, v in event.items() if k not in scans} == {k: v for k, v in before.items() if k not in scans}
