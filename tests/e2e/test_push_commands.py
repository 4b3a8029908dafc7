"""The server's push commands under Wine: the demo server signs each command with the client's
GUID and sends it to the client's listener (enciphered, and plain when the client takes plain
tokens); each command's effect is read at the server's journal, in the product key, in the
program folder or in the journals of the outside programs. Forged, malformed and replayed
commands are refused with nothing sent; an off-line client carries out only an update."""
import json
import re
import shutil
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

CGI = "/Vigilon/Cgi/"
MANUAL, REALTIME, SCHEDULE, SCAN_NOW, EXCLUSION = (
    "Manual Scan Configuration", "Real Time Scan Configuration", "Prescheduled Scan Configuration",
    "Scan Now Configuration", "Exclusion File Configuration")
HANDLED = "<-- NS_Notification::OnNotificationThreadThis("


def guid():
    return reg_get(PRODUCT_KEY, "GUID")[3:]


def stamp(seconds=0):
    """A command's TIME that many seconds from now (the client's clock is the local time)."""
    return time.strftime("%Y%m%d%H%M%S", time.localtime(time.time() + seconds))


class Pusher:
    """Sends the client signed commands through the demo server and waits until each is
    handled."""

    def __init__(self, c, server):
        self.c, self.server = c, server
        self.clock = int(stamp(-3600))

    def send(self, message, encrypt=True, time_text=None, **fields):
        """One command; the TIME of each is later than the one before unless given."""
        if time_text is None:
            self.clock += 1
            time_text = str(self.clock)
        fields.setdefault("SERVER", "127.0.0.1")
        fields.setdefault("SERVERPORT", self.server.port)
        payload = {"port": self.c.listener_port, "guid": guid(), "message": message, "time": time_text,
                   "encrypt": encrypt, "fields": list(fields.items())}
        return self.raw(payload)

    def raw(self, payload):
        handled = len(self.c.trace_lines(HANDLED))
        reply = json.loads(self.server.control("push", payload))
        assert reply["status"] == 200 and reply["reply"] == "OK", reply
        self.c.wait_trace(HANDLED, count=handled + 1, timeout=30)
        return reply


def programs(server, start=0):
    """The CGI programs the server was asked for since the journal's entry start."""
    return [e["program"] for e in server.journal()[start:] if e.get("program")]


def wait_program(server, program, start=0, timeout=15):
    deadline = time.time() + timeout
    while time.time() < deadline:
        entries = [e for e in server.journal()[start:] if e.get("program") == program]
        if entries:
            return entries[-1]
        time.sleep(0.1)
    raise AssertionError("no request of %s: %r" % (program, programs(server, start)))


def journal_lines(path):
    return path.read_text(errors="replace").splitlines() if path.exists() else []


def events(path, count, timeout=15):
    """The first words of an outside program's journal lines, once there are count of them."""
    deadline = time.time() + timeout
    while len(journal_lines(path)) < count and time.time() < deadline:
        time.sleep(0.1)
    return [line.split()[1] for line in journal_lines(path)]


def test_each_push_command(client, demo_server):
    c = client(ini={"Global Setting": {"DiskReserved": "1"}})
    # The mail trap with its settings library, as an installation carries them (the console's
    # mail-scan page starts the trap and hands it its settings).
    for name in ("Quelmail.exe", "VUV3ADOR.DLL"):
        shutil.copy2(BIN / name, INSTALL / name)
    run(BIN / "vxptool.exe", "pattern", "C:\\Program Files\\Vigilon Client", 577)      # an older pattern
    c.start()
    c.wait_trace("<-- CTavmontDlg::CreateHttpServerThread(), port %d, fResult = 1" % c.listener_port)
    push = Pusher(c, demo_server)
    quelmail = INSTALL / "Quelmail.log"
    # The console's mail-scan page hands the running trap its settings.
    assert events(quelmail, 2) == ["start", "settings"]

    def trap_events(count, timeout=15):
        """The trap's start, close and end (its settings notices left out), once there are count."""
        deadline = time.time() + timeout
        while True:
            found = [e for e in events(quelmail, 0) if e != "settings"]
            if len(found) >= count or time.time() > deadline:
                return found
            time.sleep(0.1)

    # The client information, and a new GUID announced with it.
    mark = len(demo_server.journal())
    push.send(29)
    assert wait_program(demo_server, "cgiOnStart.exe", mark)["fields"]["UID"] == guid()
    old = guid()
    mark = len(demo_server.journal())
    push.send(28)
    assert guid() != old
    assert wait_program(demo_server, "cgiOnStart.exe", mark)["fields"]["UID"] == guid()

    # One kind of scan settings each, into the product key.
    scan = {"Enable": "YES", "AllowCfg": "YES", "ScanCompressed": "YES", "ScanAllFiles": "YES"}
    demo_server.configure(scan_configuration={
        MANUAL: dict(scan, VirusFoundAction="Delete"), REALTIME: dict(scan, VirusFoundAction="Move"),
        SCHEDULE: dict(scan, VirusFoundAction="Rename", Frequency="3"), SCAN_NOW: dict(scan, VirusFoundAction="Leave"),
        EXCLUSION: {"AllowCfg": "YES", "Exclude1": "C:\\Pushed"}, "Global Setting": {}})
    for message, event, section, name, value in [(5, 1, MANUAL, "VirusFoundAction", "dword:2"),
                                                 (6, 2, REALTIME, "VirusFoundAction", "dword:4"),
                                                 (7, 3, SCHEDULE, "VirusFoundAction", "dword:3"),
                                                 (8, 5, EXCLUSION, "Exclude1", "sz:C:\\Pushed"),
                                                 (9, 4, SCAN_NOW, "VirusFoundAction", "dword:1")]:
        mark = len(demo_server.journal())
        push.send(message)
        assert wait_program(demo_server, "cgiRqCfg.exe", mark)["fields"]["EVENT"] == event
        assert reg_get(PRODUCT_KEY + "\\" + section, name) == value, message

    # The server settings a command carries come first; without NONSYNPROXYSETTING the proxy too.
    demo_server.configure(alert_message="Pushed alert")
    mark = len(demo_server.journal())
    push.send(15, PROXY="proxy.example", PROXYPORT=8088, USEPROXY=0)
    wait_program(demo_server, "cgiRqAlertMsg.exe", mark)
    assert (INSTALL / "Alert.msg").read_bytes() == b"Pushed alert"
    assert reg_get(PRODUCT_KEY, "ProxyServer") == "sz:proxy.example"
    assert reg_get(PRODUCT_KEY, "ProxyPort") == "dword:8088"
    push.send(15, PROXY="other.example", PROXYPORT=9099, NONSYNPROXYSETTING=1)
    assert reg_get(PRODUCT_KEY, "ProxyServer") == "sz:proxy.example"

    # Scan now and its stop reach the main window and the scan flags.
    push.send(10)
    c.wait_trace("--> CTavmontDlg::OnRemoteScan(")
    push.send(11)
    c.wait_trace("<-- NS_Notification::OnNotificationRemoteScanStop(")

    # The client settings, then the scan settings as well. Reports (the stopped scan's status,
    # an earlier update's) go out on their threads in their own time, so they may land among
    # these requests: only the requests count.
    def settings_requests(start):
        return [p for p in programs(demo_server, start) if p.startswith(("cgiRq", "cgiOnQuery"))]

    mark = len(demo_server.journal())
    push.send(16)
    assert settings_requests(mark) == ["cgiRqIni.exe"]
    c.wait_trace("<-- NS_Notification::ApplyClientSetup(")
    mark = len(demo_server.journal())
    push.send(17)
    assert settings_requests(mark) == ["cgiRqIni.exe", "cgiRqCfg.exe"]

    # Other update sources: the server's list in "ous.ini".
    demo_server.configure(other_update_sources={"OUS0": "http://mirror.example/"})
    mark = len(demo_server.journal())
    push.send(34)
    assert wait_program(demo_server, "cgiRqIni.exe", mark)["fields"]["type"] == 2
    assert "OUS0=http://mirror.example/" in (INSTALL / "ous.ini").read_text()

    # Pattern rollback: the mail trap closed and started again, the newest pattern gone.
    push.send(14, DELAY=1, ROLLBACK=577)
    assert not (INSTALL / "VXP$SIG.578").exists() and (INSTALL / "VXP$SIG.577").exists()
    assert trap_events(4) == ["start", "close", "end", "start"]
    # Engine rollback, then the global settings as for 32.
    push.send(31, **{"95_ENGINE_ROLLBACK": "6.150"})
    assert c.trace_lines("NS_Notification::OnNotificationEngineRollback(6.150)")
    assert trap_events(7)[4:] == ["close", "end", "start"]
    # Global settings, the policy and its withdrawal, an update: each runs once per command.
    for message, text in [(32, "UpdateGlobalSettingsEx(fIntranet = 1)"),
                          (24, "UpdateOPPSetting(fIntranet = 1, fApply = 1)"),
                          (33, "UpdateOPPSetting(fIntranet = 1, fApply = 0)"),
                          (21, "UpdateNewSettings(fNoComponents = 0, fNoSettings = 1, fIntranet = 1")]:
        count = len(c.trace_lines(text))
        mark = len(demo_server.journal())
        push.send(message)
        assert len(c.trace_lines(text)) == count + 1, message
    # The update (21) reports itself from the status thread, in its own time.
    wait_program(demo_server, "cgiOnUpdate.exe", mark)

    # A new server: its address in "Internet Settings", the listener port it assigns.
    demo_server.configure(client_bind_port=23456)
    # A stand-in for the update program that ends at once: the real one would restart the client.
    shutil.copy2(BIN / "vgltool.exe", INSTALL / "95Did.exe")
    mark = len(demo_server.journal())
    push.send(22)
    assert settings_requests(mark) == ["cgiRqIni.exe", "cgiOnQueryClientBindPort.exe"]
    internet = PRODUCT_KEY + "\\Internet Settings"
    assert reg_get(internet, "Server") == "sz:127.0.0.1"
    assert reg_get(internet, "ServerPort") == "dword:%d" % demo_server.port
    assert reg_get(PRODUCT_KEY, "RefreshAllSetting") == "dword:1"
    assert reg_get(PRODUCT_KEY, "LocalServerPort") == "dword:23456"
    assert "CLIENT_LOCALSERVER_PORT=23456" in (INSTALL / "clinetbindport.ini").read_text()
    # The update program is asked only to restart the client.
    c.wait_trace('\\95Did.exe" "/SimpRestart")')

    # Plain tokens when the client is told to take them.
    reg_set(PRODUCT_KEY, "Encrypt_Notification_Msg", 0)
    mark = len(demo_server.journal())
    push.send(29, encrypt=False)
    wait_program(demo_server, "cgiOnStart.exe", mark)
    # An enciphered token is then refused.
    mark = len(demo_server.journal())
    push.send(29, encrypt=True)
    assert c.trace_lines("&IP not found reject")
    reg_set(PRODUCT_KEY, "Encrypt_Notification_Msg", 1)
    c.unload()
    assert trap_events(9)[7:] == ["close", "end"]


def test_forged_malformed_and_replayed_commands_are_refused(client, demo_server):
    c = client()
    c.start()
    c.wait_trace("<-- CTavmontDlg::CreateHttpServerThread(), port %d, fResult = 1" % c.listener_port)
    push = Pusher(c, demo_server)
    uid = guid()
    base = {"port": c.listener_port, "guid": uid, "message": 29,
            "fields": [["SERVER", "127.0.0.1"], ["SERVERPORT", demo_server.port]]}
    # The start-up announcement first, then the command's.
    wait_program(demo_server, "cgiOnStart.exe")
    mark = len(demo_server.journal())
    now = stamp()
    push.send(29, time_text=now)
    wait_program(demo_server, "cgiOnStart.exe", mark)
    settled = len(demo_server.journal())

    later, earlier, ahead = stamp(1), stamp(-1), stamp(2 * 86400)
    refused = [dict(base, time=later, digest="0" * 32),                        # forged
               dict(base, time=later, upper=True),                             # the digest in upper case
               dict(base, target="/?5A5A&IP=1"),                               # deciphers to nothing usable
               dict(base, time=earlier),                                       # older than the last one
               dict(base, time=now),                                           # the same command again
               # Pairs after the signature: an uninstall without password, a time that would
               # lock the client out, another server.
               dict(base, time=later, append="&MESSAGE=12&TIME=29991231235959&SERVER=x"),
               dict(base, time=ahead)]                                         # a server clock 2 days ahead
    for payload in refused:
        push.raw(payload)
    assert c.trace_lines("MD5(server:00000000000000000000000000000000")
    assert [line for line in c.trace_lines("compare fail") if re.search(r"MD5\(server:[0-9A-F]{32}, ", line)]
    assert c.trace_lines("&IP not found reject")
    assert c.trace_lines("ServerTime(server:%s, client:%s),  be replay" % (earlier, now))
    assert c.trace_lines("the same command was carried out already: refused")
    assert c.trace_lines("unsigned or repeated pairs reject")
    assert not c.trace_lines("iMessage=12")
    assert c.trace_lines("ServerTime(server:%s, client latest:" % ahead)
    time.sleep(1)
    assert len(demo_server.journal()) == settled
    assert reg_get(PRODUCT_KEY, "ClientString") == "sz:" + now
    # Another command of the same second is carried out, and so is the next genuine one.
    push.send(29, time_text=now, DELAY=0)
    wait_program(demo_server, "cgiOnStart.exe", settled)
    settled = len(demo_server.journal())
    push.send(29, time_text=later)
    wait_program(demo_server, "cgiOnStart.exe", settled)
    assert reg_get(PRODUCT_KEY, "ClientString") == "sz:" + later


def test_off_line_client_carries_out_only_an_update(client, demo_server):
    demo_server.rule(path=CGI + "cgiOnStart.exe", body="0", times=1)
    c = client()
    c.start()
    c.wait_trace("<-- NS_Notification::SendStatusLogNow(kvCurrentTime, 6), fSuccess = 0")
    push = Pusher(c, demo_server)
    settled = len(demo_server.journal())
    push.send(29)
    c.wait_trace("0 = NS_Notification::IsIntranetConnectable()")
    assert len(demo_server.journal()) == settled
    push.send(21)
    c.wait_trace("Force update!!")
    c.wait_trace("Resume off-line client back to on-line!")
    wait_program(demo_server, "cgiOnStart.exe", settled)


def test_uninstall_command_removes_the_client(client, demo_server, tmp_path):
    c = client()
    c.start()
    uid = guid()
    push = Pusher(c, demo_server)
    mark = len(demo_server.journal())
    try:
        push.send(12)
        # The uninstall program, asked not to ask for the password, unloads the client, removes
        # it and tells the server.
        assert wait_program(demo_server, "cgiOnUnst.exe", mark, timeout=90)["fields"] == {"UID": uid}
        assert c.wait_exit(30)
        assert c.trace_lines("--> CTavmontDlg::OnUnload(")
        copy = wintest_first("find", "#32770", "Vigilon Uninstall")
        if copy != "none":
            wintest("waitexit", copy.split()[1], 60000, timeout=90)
        assert not (INSTALL / "Ksxwin97.exe").exists()
        assert reg_get(PRODUCT_KEY, "GUID") == "absent"
    finally:
        (WINDOWS / "wininit.ini").unlink(missing_ok=True)
        shutil.rmtree(DRIVE_C / "Temp", ignore_errors=True)
