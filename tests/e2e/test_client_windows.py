"""The client's windows under Wine, checked through their window trees, with screenshots kept in
build/artifacts for people: the tray icon in its status states, the main window, the splash,
the shut-down notice, the refusal of a clock outside 1996-2037 and of another platform."""
import concurrent.futures
import datetime
import os
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")


def tray_shot(name):
    """A screenshot with the tray's right end cut out beside it."""
    time.sleep(0.3)
    shot = screenshot(name)
    tray = parse_tree(wintest("tree", wintest("find", "Shell_TrayWnd", "-")[0].split()[0]))[0]
    left, top, right, bottom = tray["rect"]
    crop(shot, name + "-tray", (right - 120, top, right, bottom))
    return shot


@pytest.mark.parametrize("old_pattern, states", [(False, [0, 4, 1]), (True, [10, 14, 11])])
def test_tray_icon_follows_the_status(client, demo_server, old_pattern, states):
    # The server refuses the first start log: the client starts off line.
    demo_server.rule(path="/Vigilon/Cgi/cgiOnStart.exe", body="0", times=1)
    ini = {"INI_CLIENT_SECTION": {"Client_Allow_Mobile": "1"}}
    if old_pattern:
        ini["Global Setting"] = {"PatternTooOldWarningOnOff": "1", "PatternTooOldDays": "13"}
        ini["Real Time Scan Configuration"] = {"Enable": "NO"}
    c = client(ini=ini)
    if old_pattern:
        written = time.time() - 13 * 86400 - 60                  # just over the limit
        os.utime(INSTALL / "VXP$SIG.578", (written, written))
    c.start()
    calls = [c.wait_tray_calls(0, 1)[0]]
    tray_shot("client-tray-state-%d" % states[0])
    for n in (1, 2):
        # The real-time monitor refreshes the icon at start too: count from here.
        before = len([call for call in c.tray_calls() if call[0] == 1])
        c.command(32828)                                        # forced mobile mode on, then off
        calls.append(c.wait_tray_calls(1, before + 1)[-1])
        tray_shot("client-tray-state-%d" % states[n])
    assert [call[1] for call in calls] == states
    tips = [call[2] for call in calls]
    old = " (old)" if old_pattern else ""
    assert tips[0] == "Vigilon (off line) - pattern 578%s, engine 6.150" % old
    assert tips[1] == "Vigilon (mobile) - pattern 578%s, engine 6.150" % old
    assert tips[2] == "Vigilon - pattern 578%s, engine 6.150" % old
    c.unload()


def test_main_window(client):
    c = client()
    c.start()
    c.command(12)
    assert c.wait_visible(True)
    tree = c.tree()
    main, banner = tree[0], next(w for w in tree if w["id"] == 1001)
    console = next(w for w in tree if w["class"] == "#32770" and w["parent"] == main["hwnd"])
    assert (main["class"], main["text"], main["iconic"]) == ("VigilonCorp95", "Vigilon", False)
    assert banner["class"] == "Static" and banner["visible"]
    # The banner spans the window's client area; the console sits right below it.
    assert banner["rect"][1] == console["rect"][1] - (banner["rect"][3] - banner["rect"][1])
    assert banner["rect"][0] == console["rect"][0]
    # The console's pages are dialogs of its own.
    assert len([w for w in tree if w["class"] == "#32770" and w["parent"] == console["hwnd"]]) >= 3
    shot = screenshot("client-main-window")
    assert colours(shot) > 60
    c.unload()


def test_mail_scan_page_reads_settings_changed_while_inactive(client):
    """Settings of the mail trap changed by another program while the client was inactive are on
    the console's mail-scan page once the client is active again, not before."""
    WM_ACTIVATEAPP, BM_GETCHECK, CB_GETCURSEL, CB_GETITEMDATA = 0x1C, 0xF0, 0x147, 0x150
    ZIP_CLEAN, SPLASH, ACTION = 1224, 1225, 1222
    c = client()
    c.start()
    controls = {w["id"]: w["hwnd"] for w in c.tree() if w["id"] in (ZIP_CLEAN, SPLASH, ACTION)}
    assert len(controls) == 3

    def states():
        row = c.send(CB_GETCURSEL, hwnd=controls[ACTION])
        return (c.send(BM_GETCHECK, hwnd=controls[ZIP_CLEAN]), c.send(BM_GETCHECK, hwnd=controls[SPLASH]),
                c.send(CB_GETITEMDATA, row, hwnd=controls[ACTION]))

    for values in ({"ZipClean": 0, "Splash": 0, "Action": 3}, {"ZipClean": 1, "Splash": 1, "Action": 4}):
        c.send(WM_ACTIVATEAPP, 0, 0)                                    # another program is active
        for name, value in values.items():
            reg_set(MAILSCAN_KEY, name, value)
        c.send(WM_ACTIVATEAPP, 1, 0)                                    # the client is active again
        assert states() == (values["ZipClean"], values["Splash"], values["Action"])
    # Leaving the client reads nothing.
    c.send(WM_ACTIVATEAPP, 0, 0)
    reg_set(MAILSCAN_KEY, "Splash", 0)
    c.send(WM_ACTIVATEAPP, 0, 0)
    assert states() == (1, 1, 4)
    c.unload()


def test_splash(client):
    # The splash shows for a second, before the trace log is open: look for it quickly.
    # One watcher, started first, polls from inside Wine: a look-up per program start can miss
    # the splash on a busy host.
    c = client(product={"ShowSplash": 1})
    with concurrent.futures.ThreadPoolExecutor(1) as pool:
        watcher = pool.submit(wintest, "waitshown", "#32770", "1012", "60000")
        c.start(wait=False)
        tree = parse_tree(watcher.result())
    assert tree, "no splash window"
    screenshot("client-splash")
    picture = next(w for w in tree if w["id"] == 1012)
    left, top, right, bottom = tree[0]["rect"]
    assert (right - left, bottom - top) == (360, 200)                # the picture's size
    assert picture["rect"][:2] == [left + 1, top + 1]                 # inside the border, at the origin
    c.wait_ready()
    assert not c.window(tree[0]["hwnd"])["visible"]                   # hidden, kept until the exit
    c.unload()


def test_shutdown_notice(client):
    c = client(trace={"HoldOn": "NS_Notification::Destruct(), ", "HoldFile": "Z:\\tmp\\none"})
    hold_file = c.tmp / "release"
    (DRIVE_C / "VglDebug.ini").write_text((DRIVE_C / "VglDebug.ini").read_text().replace(
        "Z:\\tmp\\none", "Z:" + str(hold_file).replace("/", "\\")))
    c.start()
    c.post(WM_UNLOAD)
    c.post(WM_QUIT)
    c.wait_trace("NS_Notification::Destruct(), ")
    notice = c.wait_window("#32770", "Vigilon")
    tree = c.tree(notice)
    assert tree[0]["visible"] and tree[0]["exstyle"] & 0x8            # topmost
    assert any(w["id"] == 1183 and "shutting down" in w["text"] for w in tree)
    screenshot("client-shutdown-notice")
    c.hold_release()
    assert c.wait_exit()
    assert c.trace_lines("uRet(0) = ::WaitForSingleObject(hThread")


def clock_offset(when):
    return str(int((when - datetime.datetime.now(datetime.timezone.utc)).total_seconds()))


@pytest.mark.parametrize("when", [datetime.datetime(2038, 1, 1, 0, 1, tzinfo=datetime.timezone.utc),
                                  datetime.datetime(1995, 12, 31, 23, 59, tzinfo=datetime.timezone.utc)])
def test_clock_outside_1996_to_2037(client, when):
    c = client()
    proc = c.start(wait=False, env={"VGL_TEST_CLOCK_OFFSET": clock_offset(when)})
    box = c.wait_window("#32770", "Vigilon", timeout=30)
    tree = c.tree(box)
    assert "Ce programme peut uniquement \u00eatre ex\u00e9cut\u00e9 entre 1996 et 2037." in [w["text"] for w in tree]
    screenshot("client-clock-%d" % when.year)
    wintest("click", box, 1)
    proc.wait(30)
    assert c.mapping(PROCESSID_MAPPING) is None and c.mapping(MAINWND_MAPPING) is None


def test_other_platform_starts_the_uninstaller(client):
    # Installed and started once on Windows 98, then started on another platform.
    c = client()
    c.start()
    c.unload()
    key = "HKCU\\Software\\Wine\\AppDefaults\\Ksxwin97.exe"
    reg_set(key, "Version", "winxp")
    try:
        code, _ = run(PROGRAM, timeout=60)
    finally:
        wintest("regdel", key)
    assert c.mapping(PROCESSID_MAPPING) is None
    # The uninstall program, under its old name, removes the client without a word.
    c.wait_trace('Command Line = "/Silent"', timeout=30)
    c.wait_trace("<-- CUninstallDlg::OnInstallComplete(", timeout=90)
    deadline = time.time() + 30
    while INSTALL.exists():
        assert time.time() < deadline, "the uninstall program did not remove the client"
        time.sleep(0.2)
    assert reg_get(PRODUCT_KEY, "GUID") == "absent"


def menu_shown(c):
    return any(line.split()[2:] == ["1"] for line in wintest("find", "#32768", "-", c.pid))


def close_menu(c):
    """Escape, as the menu's own thread receives it, until the popup menu is gone."""
    deadline = time.time() + 20
    while time.time() < deadline:
        menus = [line.split()[0] for line in wintest("find", "#32768", "-", c.pid) if line.split()[2:] == ["1"]]
        if not menus:
            return
        wintest("post", menus[0], 0x100, 0x1B, 0x00010001)          # WM_KEYDOWN, VK_ESCAPE
        time.sleep(0.2)
    raise AssertionError("the tray menu did not close")


def test_tray_menu_follows_the_permissions(client):
    c = client(ini={"INI_CLIENT_SECTION": {"Client_Allow_Mobile": "1", "Client_Allow_Schedule_Update": "1"}})
    c.start()
    c.post(WM_COMMAND, 108, 0x204)                              # a right click on the tray icon
    line = c.wait_trace("CTavmontDlg::OnTrayContextMenu(): ")[-1]
    items = line.split("OnTrayContextMenu(): ")[1].rsplit(", ", 1)[0].split(" | ")
    assert items == ["12:&Open Vigilon", "32828:Enter &Mobile Mode", "32788:&Update Now",
                     "32771:Real-time &Monitor", "32830:Disable &Scheduled Update", "0:",
                     "32784:&About Vigilon...", "32781:&Unload Vigilon"]
    screenshot("client-tray-menu", when=lambda: menu_shown(c))
    close_menu(c)
    # Not allowed any more: the items go at the next right click.
    reg_set(PRODUCT_KEY, "Allow Mobile", 0)
    reg_set(PRODUCT_KEY, "AllowUpdateNow", 0)
    c.post(WM_COMMAND, 108, 0x204)
    line = c.wait_trace("CTavmontDlg::OnTrayContextMenu(): ", count=2)[-1]
    assert "32828:" not in line and "32788:" not in line
    screenshot("client-tray-menu-restricted", when=lambda: menu_shown(c))
    close_menu(c)
    c.unload()
