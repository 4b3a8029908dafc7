"""Settings renewal, hot fixes, global settings, the outbreak-prevention policy and scheduled
updates in the running client under Wine, against the demo server: what the client asks the
server, what it writes into the product key and the program folder, what the policy library and
the filter driver are told, and when the schedule-update thread asks (its clock moved through
VGL_TEST_CLOCK_OFFSET and its waits shortened through VGL_TEST_MS_PER_SECOND, never waited for)."""
import os
import shutil
import time

import pytest

from clientlib import *  # noqa: F401,F403
from test_listener import status_fields, wait_listening
from test_push_commands import Pusher, journal_lines, programs, wait_program
from test_update_program import STAMP, UpdateEnv, write

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

ID_UPDATE_NOW, ID_SCHEDULED_UPDATE = 32785, 32830
RENEWED = "<-- NS_Notification::UpdateNewSettings("
SCHEDULE_KEY = PRODUCT_KEY + "\\Schedule Update"
CRITICAL = {"Master_DomainName": "{host}", "Master_DomainPort": "{port}", "Uninst": "1", "Unload": "1",
            "Mobile": "0", "AllowScheduleUpdate": "1", "UseHttp": "1", "AllowCfg": "1"}
FAST = {"VGL_TEST_MS_PER_SECOND": "50"}     # one pass of the schedule-update thread: 3 s


def renew(c, timeout=60):
    """The main window's update command: a whole renewal; waits for its end."""
    count = len(c.trace_lines(RENEWED))
    c.command(ID_UPDATE_NOW)
    c.wait_trace(RENEWED, count=count + 1, timeout=timeout)


def fields(server, program, start):
    return [e["fields"] for e in server.journal()[start:] if e.get("program") == program]


def test_renewal_writes_the_client_settings_and_asks_for_updates(client, demo_server):
    c = client()
    c.start()
    port = reg_get(PRODUCT_KEY, "ServerPort")

    # A reply that is no client-settings text changes nothing and asks for nothing more.
    demo_server.rule(path="/Vigilon/Cgi/cgiRqIni.exe", body="-1", times=1)
    mark = len(demo_server.journal())
    renew(c)
    assert programs(demo_server, mark) == ["cgiRqIni.exe"]
    assert reg_get(PRODUCT_KEY, "ServerPort") == port

    demo_server.configure(critical_section=dict(CRITICAL, Master_DomainPort="8080", Uninst="0", Unload=None,
                                                Mobile=None, mobile="0", AllowUpdateFromKVNF="1",
                                                Proxy_Port="3128", Proxy_Login="agent", Ptnfile_Version="578"))
    mark = len(demo_server.journal())
    renew(c)
    asked = programs(demo_server, mark)
    # The client settings first, then the update information, then the scan settings.
    assert asked[:2] == ["cgiRqIni.exe", "cgiRqUpd.exe"] and "cgiRqCfg.exe" in asked
    assert fields(demo_server, "cgiRqIni.exe", mark)[0].get("type") is None
    values = reg_values(PRODUCT_KEY)
    assert (values["ServerPort"], values["Allow Mobile"], values["Allow Uninstall"]) == (
        "dword:8080", "dword:0", "dword:0")
    assert (values["AllowUpdateFromKVNF"], values["ProxyPort"], values["ProxyLogin"]) == (
        "dword:1", "dword:3128", "sz:agent")
    assert reg_get(SCHEDULE_KEY, "AllowScheduleUpdate") == "dword:1"
    # The server does not allow mobile use: the main window is told to leave it.
    assert c.trace_lines("SIE_MOBILE: Send a ID_DOCK_FORCEMOBILE message to MainFrame")
    c.wait_trace("Enter CTavmontDlg::OnForceMobile")
    assert c.trace_lines("fComponentSuccess = 1)")


@pytest.fixture
def env(tmp_path, demo_server):
    e = UpdateEnv(tmp_path, demo_server)
    yield e
    e.close()


def test_hot_fix_of_a_renewal_starts_the_update_program(env, demo_server):
    c = env.client
    fix = os.urandom(50000)
    write(demo_server.files / "HotFix" / "VglFix.dll", fix)
    # A hot fix whose only file is older here than the installed one: handled, nothing started.
    older = "20260101000000"
    demo_server.configure(critical_section=dict(CRITICAL, HotFIX=older),
                          hotfixes=[["HotFix/Ksxwin97.exe", "20000101000000"]])
    c.start()
    mark = len(demo_server.journal())
    renew(c)
    assert "cgiRqHotFix.exe" in programs(demo_server, mark)
    assert reg_get(PRODUCT_KEY, "HotFix DateTime") == "sz:" + older
    assert not c.trace_lines("/AllowHotFix")
    # The same stamp again is not asked for.
    mark = len(demo_server.journal())
    renew(c)
    assert "cgiRqHotFix.exe" not in programs(demo_server, mark)

    demo_server.configure(critical_section=dict(CRITICAL, HotFIX=STAMP), hotfixes=[["HotFix/VglFix.dll", STAMP]])
    mark = len(demo_server.journal())
    renew(c)
    assert c.trace_lines('95Did.exe" /AllowHotFix), dwProcessId')
    assert reg_get(PRODUCT_KEY, "HotFix DateTime") == "sz:" + STAMP
    # The update program fetches the file, puts it in place and starts the client again.
    deadline = time.time() + 120
    while not (INSTALL / "VglFix.dll").exists() or env.client_starts() < 2:
        assert time.time() < deadline, "the update program did not install the hot fix"
        time.sleep(0.2)
    assert (INSTALL / "VglFix.dll").read_bytes() == fix
    assert [e["path"] for e in demo_server.journal()[mark:] if e["path"].startswith("/HotFix/")] == [
        "/HotFix/VglFix.dll"]


POLICY = ("[SLF_PRODUCT_VIGILON_CE]\r\nEnable=%d\r\nMaxOutbreakDuration=24\r\nIssueTime=%s\r\n"
          "BlockPorts=135,%d,445\r\nBlockShares=C$,ADMIN$\r\nDenyFileTypes=VBS,SCR\r\n")


def test_global_settings_and_the_outbreak_policy(client, demo_server):
    c = client()
    shutil.copy2(BIN / "ZaVuz.dll", INSTALL / "ZaVuz.dll")
    c.start()
    wait_listening(c)
    push = Pusher(c, demo_server)
    dog = INSTALL / "VglDogLib.log"

    demo_server.configure(global_setting={
        "NFCacheOnOff": "", "ScheduleUpdateInterval": "30", "ScheduleCheckGlobalSetting": "2",
        "WatchDogOnOff": "", "DiskReserved": "5", "SplashScreenOnOff": "1", "PatternTooOldDays": "7",
        "ZipCleanOnOff": "1", "OleLayer": "2"})
    unregistered = sum("UnRegWatchDog_Vgl" in line for line in journal_lines(dog))
    mark = len(demo_server.journal())
    push.send(32)
    assert fields(demo_server, "cgiRqIni.exe", mark)[0]["type"] == 1
    values = reg_values(PRODUCT_KEY)
    assert (values["NFCacheOnOff"], values["DiskReserved"], values["ShowSplash"], values["PatternTooOldDays"]) == (
        "dword:0", "dword:5", "dword:1", "dword:7")
    schedule = reg_values(SCHEDULE_KEY)
    assert (schedule["ScheduleUpdateInterval"], schedule["ScheduleCheckGlobalSetting"]) == ("dword:1800", "dword:7200")
    realtime = reg_values(PRODUCT_KEY + "\\Real Time Scan Configuration")
    assert realtime["ZipCleanOnOff"].endswith("1") and realtime["OleLayer"].endswith("2")
    # "WatchDogOnOff" there but empty: the client leaves the watchdog.
    assert sum("UnRegWatchDog_Vgl" in line for line in journal_lines(dog)) == unregistered + 1

    # A reply that is a return code, not a policy, writes no policy file.
    mark = len(demo_server.journal())
    push.send(24)
    assert fields(demo_server, "cgiRqOpp.exe", mark)[0] == {
        "UID": reg_get(PRODUCT_KEY, "GUID")[3:], "RELEASE": "5.58", "oppActivate": 0, "chkDatabase": "1"}
    assert not (INSTALL / "zavuz.ini").exists()

    issued = time.strftime("%Y-%m-%d %H:%M")
    policy = POLICY % (1, issued, c.listener_port)
    demo_server.configure(policy=policy)
    mark = len(demo_server.journal())
    push.send(24)
    assert (INSTALL / "zavuz.ini").read_bytes() == policy.encode()
    assert [f["oppActivate"] for f in fields(demo_server, "cgiRqOpp.exe", mark)] == [0, 1]
    assert any("enable=1 -> 1" in line for line in journal_lines(INSTALL / "ZaVuz.log"))
    driver = (INSTALL / "filter32.log").read_text(errors="replace")
    # The policy mode, and the blocked ports less the client's own listener port.
    assert "OppCommand3 outbreak" in driver and "OppCommand4 135,445" in driver
    assert "OppCommand6 C$|ADMIN$" in driver and "OppCommand7 VBS|SCR" in driver
    assert status_fields(c.listener_port)["ZAVUZ"] == "1"

    # Every start applies the stored policy again; only the first start reports it.
    for start, reports in ((1, [1]), (2, [])):
        c.unload()
        mark = len(demo_server.journal())
        c.start()
        c.wait_trace("[KSX95 StartUp Zavuz] ApplyOppPolicy -> 1", count=start)
        wait_listening(c)
        assert [f["oppActivate"] for f in fields(demo_server, "cgiRqOpp.exe", mark)] == reports
    assert reg_get(PRODUCT_KEY, "OppFirstTimeReportCheck") == "dword:0"

    # Withdrawn: lifted, reported, the files gone, the driver back to normal.
    demo_server.configure(policy=POLICY % (0, issued, c.listener_port))
    mark = len(demo_server.journal())
    push.send(33)
    requests = fields(demo_server, "cgiRqOpp.exe", mark)
    assert [f["oppActivate"] for f in requests] == [0, 2] and "chkDatabase" not in requests[0]
    assert not (INSTALL / "zavuz.ini").exists() and not (INSTALL / "ZavuzRestore.ini").exists()
    assert "OppCommand3 normal" in (INSTALL / "filter32.log").read_text(errors="replace")
    assert status_fields(c.listener_port)["ZAVUZ"] == "0"


def schedule(**values):
    for name, value in values.items():
        reg_set(SCHEDULE_KEY, name, value)


def test_scheduled_update_asks_when_its_interval_has_passed(client, demo_server):
    c = client()
    now = int(time.time())
    # Asked ten minutes ago; the client's own interval is an hour, with the permission.
    schedule(TimeStamp=now - 600, ScheduleUpdateInterval=3600, AllowScheduleUpdate=1, ScheduleCheckGlobalSetting=0)
    # The server has a newer pattern.
    demo_server.configure(critical_section=dict(CRITICAL, Ptnfile_Version="99999"))
    c.start(env=FAST)
    c.wait_trace("Waiting for 60 seconds...", count=2, timeout=30)
    assert not c.trace_lines("Ask Server...")
    c.unload()

    # An hour later by the client's clock.
    mark = len(demo_server.journal())
    c.start(env=dict(FAST, VGL_TEST_CLOCK_OFFSET="3600"))
    c.wait_trace("Ask Server...", timeout=30)
    c.wait_trace("<-- NS_Notification::TryUpgrade(), TRUE", timeout=60)
    asked = [p for p in programs(demo_server, mark) if p.startswith("cgiRq")]
    assert asked[:2] == ["cgiRqOpp.exe", "cgiRqIni.exe"]
    assert c.trace_lines("Pattern need to upgrade")
    # The periodic check found something newer: a renewal with the update request.
    assert asked.count("cgiRqUpd.exe") == 1
    stamp = int(reg_get(SCHEDULE_KEY, "TimeStamp").split(":")[1])
    assert stamp >= now + 3600
    # The next passes wait for the next hour.
    passes = len(c.trace_lines("Waiting for 60 seconds..."))
    c.wait_trace("Waiting for 60 seconds...", count=passes + 2, timeout=30)
    assert len(c.trace_lines("Ask Server...")) == 1


def test_switching_scheduled_updates_on_takes_the_servers_answer(client, demo_server):
    c = client()
    schedule(TimeStamp=int(time.time()), ScheduleUpdateInterval=1800, AllowScheduleUpdate=0,
             ScheduleCheckGlobalSetting=0)
    # The server grants the permission but sends no interval.
    demo_server.configure(schedule_section={"ScheduleCheckGlobalSetting": "0"})
    c.start()
    c.command(ID_SCHEDULED_UPDATE)
    c.wait_trace("[OnScheduleUpdateOnOff] Has Schedule Update permission", timeout=40)
    values = reg_values(SCHEDULE_KEY)
    assert (values["AllowScheduleUpdate"], values["ScheduleUpdateInterval"], values["ScheduleUpdateAsking"]) == (
        "dword:1", "dword:1800", "dword:0")
    assert not c.trace_lines("timeout.")

    # Off at once, then on again at once without asking.
    c.command(ID_SCHEDULED_UPDATE)
    c.wait_trace("[OnScheduleUpdateOnOff] Diable Schedule Update!")
    assert (reg_get(SCHEDULE_KEY, "AllowScheduleUpdate"), reg_get(SCHEDULE_KEY, "ManualDisable")) == (
        "dword:0", "dword:1")
    asked = len(c.trace_lines("Ask Server..."))
    c.command(ID_SCHEDULED_UPDATE)
    c.wait_trace("[OnScheduleUpdateOnOff] Direct enable Scheduled Update.")
    assert reg_get(SCHEDULE_KEY, "AllowScheduleUpdate") == "dword:1"
    assert len(c.trace_lines("Ask Server...")) == asked

    # A server that refuses.
    schedule(AllowScheduleUpdate=0, ManualDisable=0)
    demo_server.configure(critical_section=dict(CRITICAL, AllowScheduleUpdate="0"))
    c.command(ID_SCHEDULED_UPDATE)
    c.wait_trace("[OnScheduleUpdateOnOff] Do NOT has Schedule Update permission", timeout=40)
    assert reg_get(SCHEDULE_KEY, "AllowScheduleUpdate") == "dword:0"


def test_global_period_updates_without_the_clients_permission(client, demo_server):
    c = client()
    now = int(time.time())
    # No interval of its own: the administrator's daily period applies, permission or not.
    schedule(TimeStamp=now - 600, ScheduleUpdateInterval=0, AllowScheduleUpdate=0, ScheduleCheckGlobalSetting=86400)
    demo_server.configure(critical_section=dict(CRITICAL, AllowScheduleUpdate="0", Ptnfile_Version="99999"))
    mark = len(demo_server.journal())
    c.start(env=dict(FAST, VGL_TEST_CLOCK_OFFSET="86400"))
    c.wait_trace("<-- NS_Notification::TryUpgrade(), TRUE", timeout=60)
    assert programs(demo_server, mark).count("cgiRqUpd.exe") == 1
    assert not c.trace_lines("Do not have permission to do schedule update")
