"""The client program Ksxwin97 under Wine: start-up and shut-down, single instance, start-up
entries, commands, messages and the end of a session. The tests share the Wine prefix and the
client's mappings, so they run one at a time."""
import os
import re
import time

import pytest

from clientlib import *  # noqa: F401,F403

WM_DROPFILES, DROP_CARRIED = 0x233, 0x444C4756

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")


def test_start_publishes_the_client_and_unload_removes_it(client):
    c = client()
    hwnd = c.start()
    assert c.mapping(PROCESSID_MAPPING)["value"] == c.pid
    main = c.window()
    assert (main["class"], main["text"], main["visible"]) == ("VigilonCorp95", "Vigilon", False)
    # The tray icon was added once, with the status icon and the status tip.
    adds = [call for call in c.tray_calls() if call[0] == 0]
    assert len(adds) == 1 and adds[0][2].startswith("Vigilon")
    assert "RegWatchDog_Vgl pid=%d" % c.pid in (INSTALL / "VglDogLib.log").read_text()

    c.unload()
    assert c.mapping(MAINWND_MAPPING) is None and c.mapping(PROCESSID_MAPPING) is None
    assert "UnRegWatchDog_Vgl" in (INSTALL / "VglDogLib.log").read_text()
    assert [call[0] for call in c.tray_calls()][-1] == 2            # the icon was removed
    # The notice thread ran and ended within its time; so did the listener's waiting thread and
    # the address-change watcher.
    assert c.trace_lines("uRet(0) = ::WaitForSingleObject(hThread")
    assert c.trace_lines("fSuccess(1) = ::waitForThread(m_hHttpServerThread")
    assert c.trace_lines("fSuccess(1) = ::waitForThread(m_hCheckIPChangeThread")
    # The machine type is known although no splash was shown (drive A: is no fixed disk here).
    assert c.trace_lines("g_nMachineType = 3")


def test_second_start_signals_the_running_client(client):
    c = client()
    c.start()
    # The start-up entry's start ends at once and leaves the window in the tray.
    started = time.time()
    code, _ = run(PROGRAM, "-HideWindow", timeout=60)
    assert time.time() - started < 2.5
    c.wait_trace("CTavmontDlg::OnSecondInstance(fHideWindow = 1)")
    assert not c.window()["visible"]
    # A start by hand shows the main window.
    run(PROGRAM, timeout=60)
    c.wait_trace("CTavmontDlg::OnSecondInstance(fHideWindow = 0)")
    assert c.wait_visible(True)
    screenshot("client-main-window-second-start")

    # Not when "Show Window On Multiple Instances" says no: the second start signals nothing.
    c.post(WM_SYSCOMMAND, SC_CLOSE)
    assert c.wait_visible(False)
    reg_set(PRODUCT_KEY, "Show Window On Multiple Instances", 0)
    run(PROGRAM, timeout=60)
    time.sleep(0.3)
    assert len(c.trace_lines("OnSecondInstance(fHideWindow = 0)")) == 1
    assert not c.window()["visible"]
    c.unload()


def test_startup_entries_and_start_values(client):
    quoted = '"%s"' % PROGRAM
    c = client(ini={"INI_CLIENT_SECTION": {"Client_Allow_Schedule_Update": "1"}},
               product={"Update Pending": 1})
    # Older entries that start this program under other names, and one of another program.
    reg_set(RUN_KEY, "OldVigilon", PROGRAM)
    reg_set(RUN_KEY, "OldHidden", quoted + " -HideWindow")
    reg_set(RUNSERVICES_KEY, "OldService", PROGRAM.lower())
    reg_set(RUN_KEY, "OtherProgram", "C:\\Other\\tool.exe")
    reg_set(MAILSCAN_KEY, "Action", 7)
    c.start()
    run_values = reg_values(RUN_KEY)
    assert run_values[RUN_VALUE] == "sz:" + quoted + " -HideWindow"
    assert reg_values(RUNSERVICES_KEY)[RUN_VALUE] == "sz:" + quoted
    assert "OldVigilon" not in run_values and "OldHidden" not in run_values
    assert "OldService" not in reg_values(RUNSERVICES_KEY)
    assert run_values["OtherProgram"] == "sz:C:\\Other\\tool.exe"
    wintest("regdel", RUN_KEY, "OtherProgram")
    # Mail-scan defaults only where a value is missing.
    assert reg_values(MAILSCAN_KEY) == {"Action": "dword:7", "OnOff": "dword:1", "Action2nd": "dword:4",
                                       "ZipClean": "dword:1", "Splash": "dword:1"}
    # A finished update is reported once and its flag cleared.
    assert reg_get(PRODUCT_KEY, "Update Pending") == "dword:0"
    assert c.trace_lines("NS_Notification::SendStatusLog(type = 15")
    # The schedule-update settings from the settings file (minutes and hours in seconds).
    schedule = reg_values(PRODUCT_KEY + "\\Schedule Update")
    assert schedule == {"ScheduleCheckGlobalSetting": "dword:7200", "ScheduleUpdateInterval": "dword:1800",
                        "TimeStamp": "dword:0", "AllowScheduleUpdate": "dword:1"}

    # The periodic check (timer 4, moved on by hand) repairs a deleted entry.
    wintest("regdel", RUN_KEY, RUN_VALUE)
    c.post(WM_TIMER, 4)
    c.wait_trace("the start-up entry VglTest95 is missing")
    assert reg_get(RUN_KEY, RUN_VALUE) == "sz:" + quoted + " -HideWindow"
    assert c.trace_lines("NS_Notification::StartPGX(fShowVirusMessages = 0)")
    c.unload()


def test_empty_run_value_name_leaves_the_startup_keys_alone(client):
    c = client(ini={"INI_CLIENT_SETUP_SECTION": {"95_RUN_KEY": None}})
    c.start()
    c.post(WM_TIMER, 4)
    c.unload()
    for key in (RUN_KEY, RUNSERVICES_KEY):
        assert not any("ksxwin97" in v.lower() for v in reg_values(key).values())
        assert "" not in reg_values(key)
    assert len(c.trace_lines("95_RUN_KEY is empty")) == 2      # the timer and the window's end


def keyed_hex(text):
    return first_line(run(BIN / "vgltool.exe", "keyhex", text)[1]).strip()


def test_unload_command_and_its_password(client):
    # Without a password the Escape key (IDCANCEL) of the main window unloads at once.
    c = client()
    c.start()
    c.command(2)
    assert c.wait_exit()

    c = client()
    c.start()
    reg_set(PRODUCT_KEY, "Unload_Pwd", keyed_hex("secret"))
    c.command(2)
    prompt = c.wait_window("#32770", "Unload Vigilon")
    edit = next(w for w in c.tree(prompt) if w["id"] == 1182)
    assert edit["style"] & 0x20                                 # ES_PASSWORD
    screenshot("client-unload-password")
    # A wrong password: the message, then the prompt again.
    wintest("settext", edit["hwnd"], "wrong")
    wintest("click", prompt, 1)
    box = c.wait_window("#32770", "Vigilon")
    texts = [w["text"] for w in c.tree(box)]
    assert "The password is not correct. Please enter the password again." in texts
    wintest("click", box, 1)
    prompt = c.wait_window("#32770", "Unload Vigilon")
    # Cancel leaves the client running.
    wintest("click", prompt, 2)
    time.sleep(0.5)
    assert c.window()["class"] == "VigilonCorp95"
    # The right one unloads.
    c.command(32781)
    prompt = c.wait_window("#32770", "Unload Vigilon")
    edit = next(w for w in c.tree(prompt) if w["id"] == 1182)
    wintest("settext", edit["hwnd"], "secret")
    wintest("click", prompt, 1)
    assert c.wait_exit()
    assert c.mapping(MAINWND_MAPPING) is None


def test_close_hides_and_forced_mobile_mode_toggles(client):
    c = client(ini={"INI_CLIENT_SECTION": {"Client_Allow_Mobile": "1"}})
    c.start()
    c.command(12)                                               # open the main window
    assert c.wait_visible(True)
    c.post(WM_SYSCOMMAND, SC_CLOSE)
    assert c.wait_visible(False)
    assert c.mapping(MAINWND_MAPPING)["window"]

    c.command(32828)
    c.wait_trace("IsForceMobileEx=0, IsAllowedMobile=1")
    assert reg_get(PRODUCT_KEY, "ForceMobile") == "dword:1"
    c.command(32828)
    c.wait_trace("IsForceMobileEx=1, IsAllowedMobile=1")
    assert reg_get(PRODUCT_KEY, "ForceMobile") == "dword:0"
    # Back to normal: the server was pinged and the client announced itself.
    assert c.trace_lines("NS_Notification::SendStatusLog(type = 6")
    modifies = c.wait_tray_calls(1, 2)
    assert [call[1] for call in modifies[-2:]] == [4, 1]        # mobile, then connected
    # WM_UNLOAD from the update or uninstall program never asks for the password.
    reg_set(PRODUCT_KEY, "Unload_Pwd", keyed_hex("secret"))
    c.unload()


def test_end_of_session(client):
    c = client()
    c.start()
    # A log-off: the client agrees, keeps running and forgets its tray icon.
    assert c.send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == 1
    c.wait_trace("User log off, just return")
    assert not c.trace_lines("QueryEndSessionThread")
    # The next user's start-up entry brings the icon back.
    adds = len([call for call in c.tray_calls() if call[0] == 0])
    run(PROGRAM, "-HideWindow", timeout=60)
    c.wait_tray_calls(0, adds + 1)

    # A shut-down: the closing status log and the saving of the services on two threads.
    assert c.send(WM_QUERYENDSESSION, 0, 0) == 1
    c.wait_trace("<-- CTavmontDlg::QueryEndSessionThread(")
    c.wait_trace("<-- CTavmontDlg::QueryEndSessionThread2(")
    assert c.trace_lines("--> NS_Notification::Destruct(1)")
    # Another program cancels it: the services start again and the client announces itself.
    constructs = len(c.trace_lines("--> NS_Notification::Construct("))
    c.send(WM_ENDSESSION, 0, 0)
    assert len(c.trace_lines("--> NS_Notification::Construct(")) == constructs + 1
    assert c.trace_lines("NS_Notification::SendStatusLog(type = 6")
    c.unload()


def test_cancelled_end_of_session_with_a_server_that_does_not_answer(client, demo_server):
    c = client()
    c.start()
    reg_set(PRODUCT_KEY, "EndSessionTimeout", 2000)     # the first start writes its own
    # No answer to anything: the closing status log outlives the end-of-session time-out while
    # it holds the connection lock. Its request is cancelled; no thread is killed.
    demo_server.rule(path="*", hang=True)
    assert c.send(WM_QUERYENDSESSION, 0, 0) == 1
    c.wait_trace("The end-of-session work outlived")
    # Another program cancels the shut-down: the services start once that work has ended,
    # and the server hears from the client again.
    demo_server.reset()
    constructs = len(c.trace_lines("--> NS_Notification::Construct("))
    c.send(WM_ENDSESSION, 0, 0)
    assert len(c.trace_lines("--> NS_Notification::Construct(")) == constructs + 1
    assert wait_for(lambda: [e for e in demo_server.journal() if e["status"] == 200], timeout=30)
    c.unload()


def test_new_taskbar_gets_the_icon_back(client):
    c = client()
    c.start()
    c.send("reg:TaskbarCreated")
    line = c.wait_trace("after TaskbarCreated")[-1]
    add = [call for call in c.tray_calls() if call[0] == 0][0]
    assert "NIM_ADD, uID = 108, icon = %d, tip = %s)" % (add[1], add[2]) in line
    c.unload()


def test_messages_other_programs_send(client):
    c = client()
    c.start()
    # The cleaning program's record: a failed cleaning is logged as clean, not done.
    (INSTALL / "PGX.ini").write_text("[result]\r\nOutcome=0x10001\r\nStatus=0x20003\r\nVirus=CIH.1003\r\n")
    run(INSTALL / "PGX.exe", timeout=60)
    assert "sent=1" in (INSTALL / "PGX.log").read_text()
    c.wait_trace("strVirusName = CIH.1003")
    assert c.trace_lines("nActionType = 5, fActionStatus = 0")
    assert c.trace_lines("NS_Notification::QueueVirusLog(")
    # Any other outcome takes no action; a block too short for the record is ignored.
    wintest("copydata", c.hwnd, 2004, "00" * 4 + "02000100" + "00" * 48 + "45494341520000")
    c.wait_trace("strVirusName = EICAR")
    assert c.trace_lines("nActionType = 1, fActionStatus = 1")
    wintest("copydata", c.hwnd, 2004, "00" * 40)
    c.wait_trace("no record (40 bytes)")
    # Files dropped on the client from another process: the window comes up and the files are
    # scanned; the outcome is shown in a message box.
    assert wintest_first("drop", c.hwnd, "C:\\windows\\win.ini") == "1"      # a copy was carried
    c.wait_trace("Dropped: 0 folders, 1 files")
    assert c.wait_visible(True)
    from test_ondemand import press_ok, wait_message_box
    box, texts = wait_message_box(c)
    assert texts and "No virus was found" in texts[-1]
    press_ok(box)
    # A server command the client did not post itself is not touched.
    c.send(WM_SERVER_COMMAND, 0, 0x12345678)
    c.wait_trace("WM_SERVER_COMMAND with an unknown query (0x12345678) ignored")
    c.unload()


def test_messages_of_other_programs_name_none_of_the_clients_objects(client):
    c = client()
    c.start()
    # WM_DROPFILES naming the client's own main-window mapping, as the old carried list and as
    # a drop handle: the client neither closes nor frees it.
    handle = int(re.search(r"m_hmmfMainHwnd\(0x([0-9A-F]+)\)", c.trace()).group(1), 16)
    for lparam in (DROP_CARRIED, 0):
        c.post(WM_DROPFILES, handle, lparam)
    c.wait_trace("the dropped files cannot be read", count=2)
    assert (c.mapping(MAINWND_MAPPING) or {}).get("window")
    # Numbers in the lParam of the monitor's finding and alert messages are no objects of it.
    monitor = c.wait_window("#32770", "Vigilon Real-time Monitor")
    for msg in (WM_USER + 101, WM_USER + 102):
        c.post(msg, 0, 0x7FFF1230, hwnd=monitor)
    # The client goes on, and a drop from another program still arrives.
    assert wintest_first("drop", c.hwnd, "C:\\windows\\win.ini") == "1"
    c.wait_trace("Dropped: 0 folders, 1 files")
    from test_ondemand import press_ok, wait_message_box
    box, texts = wait_message_box(c)
    assert texts and "No virus was found" in texts[-1]
    press_ok(box)
    assert (c.mapping(MAINWND_MAPPING) or {}).get("window")
    c.unload()


def test_support_tool_starts_once(client):
    c = client()
    c.start()
    c.command(32789)
    lines = wintest("wait", "DervixSupportTool", "-", 15000)
    assert lines[0] != "timeout"
    c.command(32789)
    c.wait_trace("the support tool runs already")
    assert (INSTALL / "Dervix.log").read_text().count("start pid=") == 1
    # The uninstall program ends it through its mapping.
    hwnd = int(wintest_first("mapping", "Dervix_MemoryMappedFile_MainWnd").split()[0], 16)
    wintest("post", hwnd, WM_UNLOAD, 0, 0)
    deadline = time.time() + 15
    while "end" not in (INSTALL / "Dervix.log").read_text().split() and time.time() < deadline:
        time.sleep(0.1)
    assert (INSTALL / "Dervix.log").read_text().rstrip().endswith("end")
    c.unload()


def test_move_to_another_server_drops_the_client_from_the_old_one(client, demo_server):
    old = "127.0.0.1:%d" % demo_server.port
    c = client(ini={"INI_SERVER_SECTION": {"Master_DomainName": old}})
    c.start()
    c.unload()
    guid = reg_get(PRODUCT_KEY, "GUID")[3:]
    assert not [e for e in demo_server.journal() if "cgiOnUnst" in e["path"]]
    # The server now named in the registry is another one: the old one hears of it once.
    reg_set(PRODUCT_KEY, "Server", "127.0.0.1")
    for _ in range(2):
        c.start()
        c.unload()
    requests = [e for e in demo_server.journal() if "cgiOnUnst" in e["path"]]
    assert [(e["method"], e["target"]) for e in requests] == [
        ("GET", "/Vigilon/Cgi/cgiOnUnst.exe?UID=" + guid)]
    settings = (WINDOWS / "VglScan.ini").read_text().replace("\r\n", "\n")
    assert "Master_DomainName=127.0.0.1\n" in settings
