"""The options sheet in the running client under Wine against the demo server: its four pages
(window trees and screenshots), a configuration the server locks, and Apply Now: the product
key, the engine's settings and the four local configuration reports in order."""
import os
import subprocess
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

MANUAL, REALTIME, SCHEDULE, SCAN_NOW, EXCLUSION = (
    "Manual Scan Configuration", "Real Time Scan Configuration", "Prescheduled Scan Configuration",
    "Scan Now Configuration", "Exclusion File Configuration")
SCAN = {"Enable": "YES", "AllowCfg": "YES", "ScanCompressed": "YES", "ScanAllFiles": "YES",
        "VirusFoundAction": "Clean", "CleanFailedAction": "Leave", "ScanBoot": "YES"}
ID_OPTIONS = [32774, 32775, 32777, 32778]
PSM_SETCURSEL = WM_USER + 101
PSM_GETCURRENTPAGEHWND = WM_USER + 118
BM_CLICK = 0xF5
CB_SETCURSEL = 0x14E
CB_GETCURSEL = 0x147
WM_GETTEXTLENGTH = 0x0E
CBN_SELENDOK = 9
APPLY_NOW = 12321
CFG_PROGRAMS = ["cgiOnMSCfg.exe", "cgiOnRTCfg.exe", "cgiOnPSCfg.exe", "cgiOnEFCfg.exe"]
CAPTIONS = ["Manual Scan", "Real-time Scan", "Scheduled Scan", "Exclusion List"]


def settings(realtime_allowed=True):
    """The scan settings of the client's settings file."""
    return {MANUAL: dict(SCAN), REALTIME: dict(SCAN, AllowCfg="YES" if realtime_allowed else "NO"),
            SCHEDULE: dict(SCAN, Frequency="2", DayOfWeek="1"), SCAN_NOW: dict(SCAN),
            EXCLUSION: {"AllowCfg": "YES", "Exclude1": "C:\\Quarantine", "Exclude2": "*.TMP"}}


def open_sheet(c, page):
    c.command(ID_OPTIONS[page])
    sheet = c.wait_window("#32770", "Vigilon Options")
    deadline = time.time() + 15
    while time.time() < deadline:
        tree = c.tree(sheet)
        if any(w["class"] == "SysTabControl32" and w["visible"] for w in tree):
            return sheet
        time.sleep(0.1)
    raise AssertionError("the options sheet did not show")


def current_page(c, sheet):
    return c.send(PSM_GETCURRENTPAGEHWND, 0, 0, hwnd=sheet)


def page_of(c, sheet, caption):
    """The tree of the page whose caption (its tab) is given, from the sheet's tree."""
    tree = c.tree(sheet)
    page = next(w for w in tree if w["class"] == "#32770" and w["text"] == caption)
    return [w for w in tree if w["hwnd"] == page["hwnd"] or w["parent"] == page["hwnd"]]


def control(page, ident):
    return next(w for w in page if w["id"] == ident)


def choose(c, page, ident, row):
    combo = control(page, ident)
    c.send(CB_SETCURSEL, row, 0, hwnd=combo["hwnd"])
    c.send(WM_COMMAND, (CBN_SELENDOK << 16) | ident, combo["hwnd"], hwnd=page[0]["hwnd"])


def wait_message_box(c, timeout=15):
    """The client's visible message box (a dialog whose text is the static 0xFFFF)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for line in wintest("find", "#32770", "-", c.pid):
            if len(line.split()) != 3:
                continue
            hwnd, _, visible = line.split()
            if visible == "1" and any(w["id"] == 0xFFFF for w in c.tree(int(hwnd, 16))):
                return int(hwnd, 16)
        time.sleep(0.1)
    raise AssertionError("no message box")


def wait_requests(demo_server, count, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = [e for e in demo_server.journal()
                 if any(e["path"].lower().endswith(p.lower()) for p in CFG_PROGRAMS)]
        if len(found) >= count:
            return found
        time.sleep(0.2)
    raise AssertionError("%d configuration reports expected, got %r" % (count, found))


def engine_state(section):
    values, current = {}, None
    for line in (INSTALL / "filter32.state").read_text().splitlines():
        if line.startswith("["):
            current = line.strip("[]")
        elif current == section and "=" in line:
            key, value = line.split("=", 1)
            values[key] = value
    return values


def test_pages_apply_now_reaches_key_engine_and_server(client, demo_server):
    c = client(ini=settings())
    c.start()
    assert reg_get(PRODUCT_KEY + "\\" + EXCLUSION, "Exclude2") == "sz:*.TMP"
    sheet = open_sheet(c, 0)
    # Every page, with its controls as the settings say.
    for n, caption in enumerate(CAPTIONS):
        c.send(PSM_SETCURSEL, n, 0, hwnd=sheet)
        time.sleep(0.2)
        page = page_of(c, sheet, caption)
        assert page[0]["visible"], caption
        screenshot("options-page-%d" % n)
    manual = page_of(c, sheet, "Manual Scan")
    assert c.send(CB_GETCURSEL, 0, 0, hwnd=control(manual, 1141)["hwnd"]) == 0   # clean
    assert control(manual, 1143)["enabled"] is False             # clean then leave: no folder
    schedule = page_of(c, sheet, "Scheduled Scan")
    assert control(schedule, 1149)["enabled"] and not control(schedule, 1157)["enabled"]   # weekly
    exclusions = page_of(c, sheet, "Exclusion List")
    assert control(exclusions, 1160)["rows"] == ["C:\\Quarantine", "*.TMP", ""]

    # Changes on two pages, then Apply Now.
    c.send(PSM_SETCURSEL, 0, 0, hwnd=sheet)
    manual = page_of(c, sheet, "Manual Scan")
    choose(c, manual, 1141, 2)                                  # delete
    c.send(PSM_SETCURSEL, 1, 0, hwnd=sheet)
    realtime = page_of(c, sheet, "Real-time Scan")
    c.send(BM_CLICK, 0, 0, hwnd=control(realtime, 1139)["hwnd"])   # no boot sectors
    choose(c, realtime, 1141, 3)                                # rename
    demo_server.reset()
    journal_before = (INSTALL / "filter32.log").read_text(errors="replace")
    wintest("click", sheet, APPLY_NOW)
    first = wait_requests(demo_server, 4)
    assert [e["path"].rsplit("/", 1)[1] for e in first] == CFG_PROGRAMS
    assert first[0]["fields"]["VIRUSFOUNDACTION"] == 2
    assert first[1]["fields"]["VIRUSFOUNDACTION"] == 3
    assert first[1]["fields"]["SCANBOOT"] == 0 and first[0]["fields"]["SCANBOOT"] == 1
    assert first[3]["fields"]["EXCLUDE1"] == "C:\\Quarantine" and first[3]["fields"]["EXCLUDE2"] == "*.TMP"
    assert reg_get(PRODUCT_KEY + "\\" + MANUAL, "VirusFoundAction") == "dword:2"
    assert reg_get(PRODUCT_KEY + "\\" + REALTIME, "VirusFoundAction") == "dword:3"
    assert reg_get(PRODUCT_KEY + "\\" + REALTIME, "ScanBoot") == "dword:0"
    # The engine was given the new real-time actions and the exclusions.
    journal = (INSTALL / "filter32.log").read_text(errors="replace")[len(journal_before):]
    assert "SetExcludedFileNames" in journal and "SetExcludedPaths" in journal, journal
    state = engine_state("Global")
    assert state["ExcludedPaths"].split("|") == ["C:\\Quarantine"]
    assert "*.TMP" in state["ExcludedNames"].split("|")
    # The real-time actions: rename (the engine's 1) instead of clean.
    assert "1" in (engine_state("Scan100")["FirstAction"], engine_state("Scan200")["FirstAction"])
    # A second Apply Now sends four more, in the same order.
    wintest("click", sheet, APPLY_NOW)
    both = wait_requests(demo_server, 8)
    assert [e["path"].rsplit("/", 1)[1] for e in both[4:]] == CFG_PROGRAMS

    # OK with a move and no folder: the page's message, the sheet stays and nothing is sent.
    c.send(PSM_SETCURSEL, 0, 0, hwnd=sheet)
    manual = page_of(c, sheet, "Manual Scan")
    choose(c, manual, 1141, 1)                                  # move
    wintest("click", sheet, 1)
    box = wait_message_box(c)
    texts = [w["text"] for w in c.tree(box) if w["class"] == "Static" and w["text"]]
    assert texts == ["Please enter the folder that infected files are moved to."]
    screenshot("options-move-folder-needed")
    c.post(WM_COMMAND, 1, 0, hwnd=box)
    time.sleep(0.5)
    assert c.tree(sheet)[0]["visible"]
    assert len(wait_requests(demo_server, 8)) == 8
    assert reg_get(PRODUCT_KEY + "\\" + MANUAL, "VirusFoundAction") == "dword:2"
    # With a folder, OK saves, sends and ends the sheet.
    wintest("settext", control(manual, 1143)["hwnd"], "C:\\Suspect")
    wintest("click", sheet, 1)
    assert len(wait_requests(demo_server, 12)) == 12
    deadline = time.time() + 10
    while wintest("find", "#32770", "Vigilon Options", c.pid) != ["none"] and time.time() < deadline:
        time.sleep(0.1)
    assert wintest("find", "#32770", "Vigilon Options", c.pid) == ["none"]
    assert reg_get(PRODUCT_KEY + "\\" + MANUAL, "VirusFoundAction") == "dword:4"
    assert reg_get(PRODUCT_KEY + "\\" + MANUAL, "MoveDir") == "sz:C:\\Suspect"
    # Opened again, the sheet starts from what was saved; Cancel ends it without a report.
    sheet = open_sheet(c, 0)
    manual = page_of(c, sheet, "Manual Scan")
    assert c.send(CB_GETCURSEL, 0, 0, hwnd=control(manual, 1141)["hwnd"]) == 1   # move
    assert c.send(WM_GETTEXTLENGTH, 0, 0, hwnd=control(manual, 1143)["hwnd"]) == len("C:\\Suspect")
    wintest("click", sheet, 2)
    deadline = time.time() + 10
    while wintest("find", "#32770", "Vigilon Options", c.pid) != ["none"] and time.time() < deadline:
        time.sleep(0.1)
    assert wintest("find", "#32770", "Vigilon Options", c.pid) == ["none"]
    assert len(wait_requests(demo_server, 12)) == 12
    c.unload()


def test_a_locked_configuration_is_grey_and_cannot_be_chosen(client, demo_server):
    c = client(ini=settings(realtime_allowed=False))
    c.start()
    assert reg_get(PRODUCT_KEY + "\\" + REALTIME, "AllowCfg") == "dword:0"
    sheet = open_sheet(c, 1)
    # Opened on the locked page: the next page shows instead.
    time.sleep(0.3)
    assert page_of(c, sheet, "Scheduled Scan")[0]["visible"]
    assert not page_of(c, sheet, "Real-time Scan")[0]["visible"]
    screenshot("options-locked-realtime")
    # The keyboard walks past it: Ctrl+Tab from the scheduled page to the exclusion list and on
    # to the manual page; Ctrl+Shift+Tab from there goes round to the exclusion list, Ctrl+PgDn
    # from the manual page to the scheduled page.
    steps = [("ctrl+Tab", "Exclusion List"), ("ctrl+Tab", "Manual Scan"), ("ctrl+shift+Tab", "Exclusion List"),
             ("ctrl+shift+Tab", "Scheduled Scan"), ("ctrl+shift+Tab", "Manual Scan"), ("ctrl+Next", "Scheduled Scan")]
    for key, caption in steps:
        subprocess.run(["xdotool", "key", key], env=dict(os.environ, DISPLAY=DISPLAY), check=True, timeout=30)
        deadline = time.time() + 5
        while not page_of(c, sheet, caption)[0]["visible"]:
            assert time.time() < deadline, "%s did not show %s" % (key, caption)
            time.sleep(0.1)
        assert not page_of(c, sheet, "Real-time Scan")[0]["visible"]
    c.unload()
