"""The uninstall program VigilonUninstall under Wine, with the real client, the demo server and the
outside stand-ins it stops, runs or unregisters: the password prompt, the hand-over to its
temporary copy, the removal in HTTP and file-based mode, silent mode, a client that cannot be
stopped and the shell extension's countdown. Screenshots of each dialog are kept in
build/artifacts. The tests share the prefix and the client's mappings: they run one at a time."""
import os
import pathlib
import re
import shutil
import subprocess
import time

import pytest

import clientlib
from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "VigilonUninstall.exe").exists()),
                                reason="needs DISPLAY and the built uninstall program")

# The client goes into a folder of its own below "Program Files", so that the folder above it
# is empty once the client is gone.
KAVREL = DRIVE_C / "Program Files" / "Kavrel Test"
FOLDER = KAVREL / "Vigilon Client"
WIN_FOLDER = "C:\\Program Files\\Kavrel Test\\Vigilon Client\\"
GUID = "0b1e2c3d-4f50-6172-8394-a5b6c7d8e9f0"
OTHER_GUID = "9a8b7c6d-5e4f-3a2b-1c0d-efdcba987654"
KAVREL_KEY = "HKLM\\Software\\Kavrel"
UNINSTALL_ROOT = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
SHELLEXT_CLSID = "{853EF640-C260-11d1-88FB-0080C859833B}"
CONTROL_CLSIDS = ["{08D75BB0-D2B5-11D1-88FC-0080C859833B}", "{08D75BC1-D2B5-11D1-88FC-0080C859833B}",
                  "{5EFE8CB1-D095-11D1-88FC-0080C859833B}"]
DOWNLOADED = WINDOWS / "Downloaded Program Files"
CODE_STORE = "HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\"
MENU_FOLDER = "Vigilon Test"
SCREEN = (1024, 768)

# The uninstall program and what the removal finds in the program folder.
EXTRA_FILES = ["VigilonUninstall.exe", "VigilonUninstall.dll", "ZaVuz.dll", "KvdShell.dll", "pireg.exe"]
JOURNALS = {"VGL_DERVIX_JOURNAL": "dervix", "VGL_PIREG_JOURNAL": "pireg", "VGL_TOOL_UNINST_JOURNAL": "tool",
            "VGL_WATCHDOG_WINDOW_JOURNAL": "watchdog", "VGL_ACTIVEX_JOURNAL": "activex",
            "VGL_ZAVUZ_JOURNAL": "zavuz", "VGL_LEDRA_JOURNAL": "ledra"}
POLICY = ("[SLF_PRODUCT_VIGILON_CE]\r\nEnable=1\r\nPorts=80,8080\r\nIssueTime=2026-12-01 10:00\r\n"
          "CheckSum=12345\r\n")


def keyed_hex(text):
    return first_line(run(BIN / "vgltool.exe", "keyhex", text)[1]).strip()


def policy_checksum(lines):
    """The section checksum as the uninstall program writes it."""
    total = 0
    for line in lines:
        if not line.startswith("CheckSum"):
            total += sum(b - 256 if b > 127 else b for b in line.encode("latin-1"))
    return (((total & 0xFFFF) ^ 0xC57D) * 19866) & 0xFFFF


def holds_values(key):
    """Whether the key exists with a value (every key the tests look at holds one)."""
    return wintest("regvalues", key) != [] or wintest("regget", key, "") != ["absent"]


class Removal:
    """One installation of the client in FOLDER with everything the uninstall program removes,
    and the runs of the uninstall program on it."""

    def __init__(self, tmp_path, server, client):
        self.tmp = tmp_path
        self.server = server
        self.client = client
        self.env = {name: win(tmp_path / (short + ".log")) for name, short in JOURNALS.items()}
        self.copy_pid = None
        for name in EXTRA_FILES:
            shutil.copy2(BIN / name, FOLDER / name)
        (WINDOWS / "wininit.ini").unlink(missing_ok=True)
        shutil.rmtree(DRIVE_C / "Temp", ignore_errors=True)

    def journal(self, name):
        path = self.tmp / (JOURNALS[name] + ".log")
        return path.read_text(errors="replace") if path.exists() else ""

    def seed_product_key(self, **values):
        """The product key the client writes at its first start (for tests that need no client)."""
        settings = {"GUID": GUID, "Mode": 1, "Server": "127.0.0.1", "ServerPort": self.server.port,
                    "CgiOnUninstall": "/Vigilon/Cgi/cgiOnUnst.exe", "Application Path": WIN_FOLDER,
                    "Application Filename": "Ksxwin97.exe", "FolderName": MENU_FOLDER}
        settings.update(values)
        for name, value in settings.items():
            if value is None:
                wintest("regdel", PRODUCT_KEY, name)
            else:
                reg_set(PRODUCT_KEY, name, value)

    def add_components(self):
        """What a complete installation holds beside the client: an extra tool, the SCV plug-in,
        the policy, the three ActiveX controls, the shell extension, shortcuts, INI files,
        start-up and uninstall entries, the watchdog and the mail-scan keys, and keys of another
        product of the same maker."""
        (FOLDER / "uninstall").mkdir()
        shutil.copy2(BIN / "VglToolUninst.exe", FOLDER / "uninstall" / "VglToolUninst.exe")
        (FOLDER / "VgleSCV.dll").write_bytes(b"plug-in")
        (FOLDER / "zavuz.ini").write_text(POLICY)
        DOWNLOADED.mkdir(parents=True, exist_ok=True)
        for n in (1, 2, 3):
            shutil.copy2(BIN / ("VglCtl%d.ocx" % n), DOWNLOADED / ("VglCtl%d.ocx" % n))
            (DOWNLOADED / ("VglCtl%d.inf" % n)).write_text("[Add.Code]\r\n")
            run("regsvr32", "/s", "C:\\windows\\Downloaded Program Files\\VglCtl%d.ocx" % n, env=self.env)
        run("regsvr32", "/s", WIN_FOLDER + "KvdShell.dll")
        assert reg_get("HKLM\\Software\\Classes\\CLSID\\%s\\InprocServer32" % SHELLEXT_CLSID, "") == "sz:" + WIN_FOLDER + "KvdShell.dll"

        self.programs = self.shell_folder("Programs")
        self.desktop = self.shell_folder("Desktop")
        menu = self.programs / MENU_FOLDER
        menu.mkdir(parents=True, exist_ok=True)
        for name in ("Vigilon.lnk", "Uninstall Vigilon.lnk"):
            (menu / name).write_bytes(b"L\0\0\0")
        self.desktop.mkdir(parents=True, exist_ok=True)
        (self.desktop / "Vigilon.lnk").write_bytes(b"L\0\0\0")
        reg_set(PRODUCT_KEY, "DesktopShortcutFile", self.shell_folder("Desktop", windows=True) + "\\Vigilon.lnk")
        for name in ("VigilonWebDeployment.ini", "Vigilon.ini", "VigilonLocal.ini"):
            (WINDOWS / name).write_text("[x]\r\n")

        reg_set(RUN_KEY, "Kavrel Vigilon Win95", WIN_FOLDER + "Ksxwin97.exe")
        reg_set(RUN_KEY, "PGX", WIN_FOLDER + "PGX.exe")
        reg_set(UNINSTALL_ROOT + "\\Vigilon 95", "DisplayName", "Vigilon (old)")
        reg_set(UNINSTALL_ROOT + "\\Vigilon95", "DisplayName", "Kavrel Vigilon Win95")
        reg_set(KAVREL_KEY + "\\VglWatchDog", "Default Retry Count", 3)
        reg_set(KAVREL_KEY + "\\Kestrix\\MailScan", "OnOff", 1)
        reg_set(KAVREL_KEY + "\\Kestrix\\VUV3Ador", "ConfigKey", "x")
        reg_set(KAVREL_KEY + "\\Kestrix\\OtherMail", "Keep", 1)
        reg_set(KAVREL_KEY + "\\OtherProduct", "Keep", 1)

    def shell_folder(self, name, windows=False):
        value = reg_get(SHELL_FOLDERS, name)
        assert value.startswith("sz:"), value
        path = value[3:]
        if windows:
            return path
        return DRIVE_C / path[3:].replace("\\", "/")

    def start_helper(self, program, *args):
        """A program that runs beside the client (support tool, watchdog, file holder)."""
        log = open(self.tmp / ("helper-%s.out" % pathlib.Path(str(program)).stem), "wb")
        env = dict(os.environ, VGL_TIMEOUT="300", **self.env)
        proc = subprocess.Popen([str(BUILD / "wine-run"), str(program), *args], stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT, env=env, start_new_session=True)
        self.client.procs.append(proc)
        return proc

    def run(self, *args, program="VigilonUninstall.exe", env=None, wait=True):
        """Runs the first instance to its end (it ends once its temporary copy runs)."""
        full_env = dict(self.env, **(env or {}))
        if not wait:
            log = open(self.tmp / "uninstall.out", "wb")
            return subprocess.Popen([str(BUILD / "wine-run"), str(FOLDER / program), *args],
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                    env=dict(os.environ, **full_env), start_new_session=True)
        started = time.time()
        code, _ = run(FOLDER / program, *args, env=full_env)
        return time.time() - started

    def find_copy(self):
        """The temporary copy's dialog, once it is shown: (window, process id)."""
        lines = wintest("wait", "#32770", "Vigilon Uninstall", 30000, timeout=60)
        assert lines[0] != "timeout", "the temporary copy did not show its dialog:\n" + self.client.trace()
        hwnd, pid = lines[0].split()[:2]
        self.copy_pid = int(pid)
        return int(hwnd, 16), self.copy_pid

    def wait_copy(self, timeout=60):
        """Waits for the temporary copy to end (after finding it when that was not done yet)."""
        if self.copy_pid is None:
            self.find_copy()
        assert wintest_first("waitexit", self.copy_pid, timeout * 1000, timeout=timeout + 30).startswith("exited"), \
            "the temporary copy did not end:\n" + self.client.trace()

    def notices(self):
        return [e for e in self.server.journal() if e.get("program") == "cgiOnUnst.exe"]

    def wininit_lines(self):
        path = WINDOWS / "wininit.ini"
        if not path.exists():
            return []
        text = path.read_text(errors="replace")
        section = text.split("[Rename]", 1)[1] if "[Rename]" in text else ""
        return [line for line in section.splitlines() if line.startswith("NUL=")]


@pytest.fixture
def removal(tmp_path, demo_server, monkeypatch):
    monkeypatch.setattr(clientlib, "INSTALL", FOLDER)
    monkeypatch.setattr(clientlib, "PROGRAM", WIN_FOLDER + "Ksxwin97.exe")
    shutil.rmtree(KAVREL, ignore_errors=True)
    made = []

    def make(**kwargs):
        ini = kwargs.pop("ini", {})
        ini.setdefault("INI_CLIENT_SETUP_SECTION", {}).update({"95_MENU_FOLDER": MENU_FOLDER})
        client = Client(tmp_path, demo_server, ini=ini, **kwargs)
        r = Removal(tmp_path, demo_server, client)
        made.append(r)
        return r
    yield make
    for r in made:
        r.client.stop()
        if r.copy_pid:
            wintest("kill", r.copy_pid)
        shutil.rmtree(KAVREL, ignore_errors=True)
        for n in (1, 2, 3):
            for ext in ("ocx", "inf"):
                (DOWNLOADED / ("VglCtl%d.%s" % (n, ext))).unlink(missing_ok=True)
            wintest("regdel", "HKLM\\Software\\Classes\\CLSID\\" + CONTROL_CLSIDS[n - 1])
            wintest("regdel", CODE_STORE + CONTROL_CLSIDS[n - 1])
        wintest("regdel", "HKLM\\Software\\Classes\\CLSID\\" + SHELLEXT_CLSID)
        for key in (UNINSTALL_ROOT + "\\Vigilon 95", UNINSTALL_ROOT + "\\Vigilon95"):
            wintest("regdel", key)
        for name in ("Kavrel Vigilon Win95", "PGX"):
            wintest("regdel", RUN_KEY, name)
        for name in ("VigilonWebDeployment.ini", "Vigilon.ini", "VigilonLocal.ini", "wininit.ini"):
            (WINDOWS / name).unlink(missing_ok=True)
        if hasattr(r, "programs"):
            shutil.rmtree(r.programs / MENU_FOLDER, ignore_errors=True)
            (r.desktop / "Vigilon.lnk").unlink(missing_ok=True)
        shutil.rmtree(DRIVE_C / "Temp", ignore_errors=True)


def dialog_rows(tree):
    """Visible state of each completion mark and position of each bar, by control id."""
    marks = {w["id"]: w["visible"] for w in tree if w["class"] == "Static" and w["text"] == "Done"}
    bars = [w["id"] for w in tree if w["class"] == "msctls_progress32"]
    return marks, sorted(bars)


def test_full_removal_in_http_mode(removal, tmp_path):
    # The worker stops at the end of the registry step, so that the dialog can be seen there.
    r = removal(trace={"HoldOn": "<-- CUninstallDlg::UninstallRegistries()", "HoldFile": win(tmp_path / "go"),
                       "HoldTime": "60000"})
    c = r.client
    c.start()
    guid = reg_get(PRODUCT_KEY, "GUID")[3:]
    assert reg_values(RUN_KEY).get(RUN_VALUE) and reg_values(RUNSERVICES_KEY).get(RUN_VALUE)
    # Proxy credentials are for a proxy only; no proxy is used here.
    reg_set(PRODUCT_KEY, "ProxyLogin", "proxyuser")
    reg_set(PRODUCT_KEY, "ProxyPassword", keyed_hex("proxysecret"))
    r.add_components()
    r.start_helper(FOLDER / "Dervix.exe")
    r.start_helper(BIN / "VglWatchDog.exe")
    assert wintest_first("wait", "-", "Vigilon Client WatchDog", 20000) != "timeout"
    deadline = time.time() + 20
    while c.mapping("Dervix_MemoryMappedFile_MainWnd") is None:
        assert time.time() < deadline, "the support tool did not start"
        time.sleep(0.1)

    r.run()
    c.wait_trace("<-- CUninstallDlg::UninstallRegistries()", timeout=60)
    hwnd, _ = r.find_copy()
    tree = c.tree(hwnd)
    marks, bars = dialog_rows(tree)
    assert marks == {1010: True, 1006: True, 1004: True, 1008: False, 1012: False}
    assert bars == [1000, 1001, 1002, 1003, 1013]
    assert [w["text"] for w in tree if w["class"] == "Static" and w["id"] == 65535][:5] == [
        "Stopping Vigilon", "Removing components", "Removing program files", "Removing settings",
        "Informing the server"]
    screenshot("uninstall-dialog")
    # The user can neither close, minimise nor cancel it.
    for msg, wparam in ((WM_SYSCOMMAND, SC_CLOSE), (WM_SYSCOMMAND, 0xF020), (0x100, 0x1B), (0x100, 0x0D)):
        c.post(msg, wparam, 0, hwnd=hwnd)
    time.sleep(0.5)
    assert c.window(hwnd)["visible"] and not c.window(hwnd)["iconic"]
    (tmp_path / "go").write_text("go")
    r.wait_copy()

    # The client and the support tool were asked to unload and ended; the watchdog was closed.
    assert c.wait_exit(30)
    assert c.trace_lines("--> CTavmontDlg::OnUnload(")
    assert c.trace_lines("<-- CUninstallDlg::UnloadMainProgram(), fSuccess = 1")
    assert "WM_UNLOAD received" in r.journal("VGL_DERVIX_JOURNAL")
    assert "WM_CLOSE received" in r.journal("VGL_WATCHDOG_WINDOW_JOURNAL")
    # The tools: the SCV plug-in unregistered, the extra tool's uninstaller run, the policy
    # lifted, the controls unregistered and deleted, the shell extension unregistered.
    assert "run args=-d VgleSCV.dll" in r.journal("VGL_PIREG_JOURNAL")
    assert re.search(r"start .*\\Vigilon Client\\uninstall\\VglToolUninst\.exe args=/LOCALRUN",
                     r.journal("VGL_TOOL_UNINST_JOURNAL"))
    assert re.search(r"ApplyZaVuz .*zavuz\.ini \[SLF_PRODUCT_VIGILON_CE\] .*enable=0", r.journal("VGL_ZAVUZ_JOURNAL"))
    for n, clsid in enumerate(CONTROL_CLSIDS, 1):
        assert "DllUnregisterServer control=%d" % n in r.journal("VGL_ACTIVEX_JOURNAL")
        assert not (DOWNLOADED / ("VglCtl%d.ocx" % n)).exists() and not (DOWNLOADED / ("VglCtl%d.inf" % n)).exists()
        assert not holds_values("HKLM\\Software\\Classes\\CLSID\\" + clsid)
        assert not holds_values(CODE_STORE + clsid + "\\Contains\\Files")
    assert not holds_values("HKLM\\Software\\Classes\\CLSID\\%s\\InprocServer32" % SHELLEXT_CLSID)
    # The program folder and the empty folder above it are gone.
    assert not FOLDER.exists() and not KAVREL.exists()
    # Shortcuts and INI files.
    assert not (r.programs / MENU_FOLDER).exists()
    assert not (r.desktop / "Vigilon.lnk").exists()
    for name in ("VigilonWebDeployment.ini", "Vigilon.ini", "VigilonLocal.ini", "VglScan.ini"):
        assert not (WINDOWS / name).exists(), name
    # Start-up and uninstall entries, the product's keys; another product's keys stay.
    assert RUN_VALUE not in reg_values(RUN_KEY) and RUN_VALUE not in reg_values(RUNSERVICES_KEY)
    assert "Kavrel Vigilon Win95" not in reg_values(RUN_KEY) and "PGX" not in reg_values(RUN_KEY)
    assert not holds_values(UNINSTALL_ROOT + "\\Vigilon95") and not holds_values(UNINSTALL_ROOT + "\\Vigilon 95")
    assert not holds_values(PRODUCT_KEY)
    for key in ("VglWatchDog", "Kestrix\\MailScan", "Kestrix\\VUV3Ador"):
        assert not holds_values(KAVREL_KEY + "\\" + key), key
    assert holds_values(KAVREL_KEY + "\\OtherProduct") and holds_values(KAVREL_KEY + "\\Kestrix\\OtherMail")
    # The server was told, without credentials.
    notices = r.notices()
    assert [n["fields"] for n in notices] == [{"UID": guid}]
    assert not [h for h in notices[0]["headers"] if "authorization" in h[0].lower()]
    assert c.trace_lines("    CUninstallDlg::SendUninstallMessage(), bufResult.GetString(strResult = 1)")
    # The temporary copies and the log go at the next start of Windows.
    lines = r.wininit_lines()
    assert len(lines) == 12
    assert lines[-1] == "NUL=" + WIN_FOLDER + "VigilonUninstall.log"
    assert c.trace_lines('    Command Line = "') and c.trace_lines("f1(1) = ::copyFileEx(strUninstallPathname = "
                                                                  + WIN_FOLDER + "VigilonUninstall.exe")


def window_texts(c, hwnd):
    return [w["text"] for w in c.tree(hwnd)]


def wait_box_with(c, text, timeout=15):
    """The dialog window one of whose texts begins with text."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for line in wintest("find", "#32770", "-"):
            if line != "none" and any(t.startswith(text) for t in window_texts(c, line.split()[0])):
                return line.split()[0]
        time.sleep(0.1)
    raise AssertionError("no window with the text %r" % text)


def test_password_prompt_and_a_second_start(removal):
    r = removal()
    c = r.client
    r.seed_product_key(Uninstall_Pwd=keyed_hex("secret"))
    first = r.run(wait=False)
    prompt, pid = wintest_first("wait", "#32770", "Uninstall Vigilon", 30000).split()[:2]
    edit = next(w for w in c.tree(int(prompt, 16)) if w["id"] == 1182)
    assert edit["style"] & 0x20                                 # ES_PASSWORD
    screenshot("uninstall-password")
    # A second start while one runs ends at once and changes nothing.
    assert r.run() < 5
    assert c.trace_lines("Not call by itself retunr")

    # A wrong password: the message, then the prompt again; Cancel then removes nothing.
    wintest("settext", edit["hwnd"], "wrong")
    wintest("click", prompt, 1)
    box = wintest_first("wait", "#32770", "Vigilon Uninstall", 15000, pid).split()[0]
    assert "The password is not correct. Please enter the uninstall password again." in window_texts(c, box)
    screenshot("uninstall-wrong-password")
    wintest("click", box, 1)
    prompt = wintest_first("wait", "#32770", "Uninstall Vigilon", 15000, pid).split()[0]
    wintest("click", prompt, 2)
    first.wait(30)
    assert (FOLDER / "Ksxwin97.exe").exists() and reg_get(PRODUCT_KEY, "GUID") == "sz:" + GUID
    assert not c.trace_lines("--> CUninstallApp::MakeSelfCopyAndRun()")

    # The right password: the removal goes on, and the copy does not ask again.
    first = r.run(wait=False)
    prompt = wintest_first("wait", "#32770", "Uninstall Vigilon", 30000).split()[0]
    edit = next(w for w in c.tree(int(prompt, 16)) if w["id"] == 1182)
    wintest("settext", edit["hwnd"], "secret")
    wintest("click", prompt, 1)
    first.wait(30)
    r.wait_copy()
    assert not FOLDER.exists() and not holds_values(PRODUCT_KEY)
    assert [n["fields"]["UID"] for n in r.notices()] == [GUID]


@pytest.mark.parametrize("missing", ["GUID", "Mode"])
def test_incomplete_product_key_removes_nothing(removal, missing):
    r = removal()
    c = r.client
    r.seed_product_key(**{missing: None})
    first = r.run(wait=False)
    box = wintest_first("wait", "#32770", "Vigilon Uninstall", 30000).split()[0]
    assert "The settings of Vigilon on this computer are incomplete. Vigilon cannot be removed." in \
        window_texts(c, box)
    if missing == "GUID":
        screenshot("uninstall-incomplete-settings")
    wintest("click", box, 1)
    first.wait(30)
    assert c.trace_lines("Invalid registry key, bypass uninstallation")
    assert not c.trace_lines("--> CUninstallApp::MakeSelfCopyAndRun()")
    assert (FOLDER / "Ksxwin97.exe").exists() and holds_values(PRODUCT_KEY) and not r.notices()


def on_screen(rect):
    left, top, right, bottom = rect
    return right > 0 and bottom > 0 and left < SCREEN[0] and top < SCREEN[1]


def test_silent_removal_never_shows_a_window(removal):
    r = removal()
    c = r.client
    r.seed_product_key(Uninstall_Pwd=keyed_hex("secret"))      # silent mode never asks
    reg_set(RUN_KEY, RUN_VALUE, WIN_FOLDER + "Ksxwin97.exe -HideWindow")
    r.add_components()
    first = r.run("/Silent", wait=False)
    seen, copy_seen = [], False
    deadline = time.time() + 90
    while time.time() < deadline:
        for line in wintest("find", "#32770", "-"):
            if line in ("none", "timeout"):
                continue
            hwnd, pid, visible = line.split()
            tree = c.tree(int(hwnd, 16))
            if tree and tree[0]["text"] == "Vigilon Uninstall":
                copy_seen = True
                r.copy_pid = int(pid)
            seen += [w for w in tree if w["visible"] and (w["parent"] == 0 or w["text"] == "Done")]
        if copy_seen and wintest_first("waitexit", r.copy_pid, 0).startswith("exited"):
            break
        time.sleep(0.1)
    first.wait(30)
    r.wait_copy()
    assert copy_seen
    assert not [w for w in seen if w["parent"] == 0 and on_screen(w["rect"])]
    assert not [w for w in seen if w["text"] == "Done"]                 # no completion mark
    assert c.trace_lines('Command Line = "/Silent"')
    assert not c.trace_lines("CUninstallPasswordDlg")
    # The same removal as with the window.
    assert not FOLDER.exists() and not holds_values(PRODUCT_KEY)
    assert RUN_VALUE not in reg_values(RUN_KEY)
    assert not (r.programs / MENU_FOLDER).exists()
    assert "DllUnregisterServer control=3" in r.journal("VGL_ACTIVEX_JOURNAL")
    assert [n["fields"]["UID"] for n in r.notices()] == [GUID]


CONFIG_TABLES = ["MS", "RT", "PS", "SN", "EF"]
CLIENT_TABLES = ["CI", "CE"]
LOG_TABLES = ["MSL", "RTL", "PSL", "SNL"]


def test_file_based_mode_removes_every_record_of_the_client(removal, tmp_path):
    r = removal()
    c = r.client
    master = tmp_path / "master"
    assert vgldb("init", win(master))[0] == 0
    for guid in (GUID, OTHER_GUID):
        for table in CONFIG_TABLES + CLIENT_TABLES:
            assert vgldb("set", win(master), table, guid)[0] == 0
        for table in LOG_TABLES:
            for virus in ("EICAR", "Other"):
                assert vgldb("add", win(master), table, guid, "Virus=" + virus)[0] == 0
    # The real-time configuration of this client is missing: its removal fails, the others go on.
    assert vgldb("remove", win(master), "RT", GUID)[0] == 0
    r.seed_product_key(Mode=0, MasterDirectory=win(master), Uninstall_Pwd=keyed_hex("secret"))
    r.run("/NoAskPassword")
    r.wait_copy()

    assert not c.trace_lines("CUninstallPasswordDlg")
    for table in CONFIG_TABLES + CLIENT_TABLES + LOG_TABLES:
        rc, out = vgldb("list", win(master), table)
        assert GUID not in out, table
        assert OTHER_GUID in out, table
    # The removals in order, each asked once.
    calls = [line for line in r.journal("VGL_LEDRA_JOURNAL").splitlines() if GUID in line]
    names = [call.split("(")[0] for call in calls]
    assert names == ["DatabaseCIRemoveRecord", "DatabaseCERemoveRecord", "DatabaseMSRemoveRecord",
                     "DatabaseRTRemoveRecord", "DatabasePSRemoveRecord", "DatabaseSNRemoveRecord",
                     "DatabaseEFRemoveRecord", "DatabaseMSLRemoveAll", "DatabaseRTLRemoveAll",
                     "DatabasePSLRemoveAll", "DatabaseSNLRemoveAll"], calls
    assert c.trace_lines("    DatabaseRTRemoveRecord(Error = The record was not found.)")
    assert c.trace_lines("::removeCfgRecord(m_strMasterDirConfig = %s\\FILEDB\\Config, m_strGuid = %s), fSuccess = 0"
                         % (win(master), GUID))
    assert c.trace_lines("::removeAllLog(m_strMasterDirLog = %s\\FILEDB\\Log, m_strGuid = %s), fSuccess = 1"
                         % (win(master), GUID))
    assert not FOLDER.exists() and not holds_values(PRODUCT_KEY) and not r.notices()


def test_the_records_a_file_based_client_wrote_are_removed_with_it(removal, tmp_path):
    master = tmp_path / "master"
    assert vgldb("init", win(master))[0] == 0
    r = removal(ini={"INI_SERVER_SECTION": {"SetupType": "0", "MasterDirectory": win(master)}})
    c = r.client
    c.start()
    guid = reg_get(PRODUCT_KEY, "GUID")[3:]
    # The client's first start wrote its records (the first-settings event comes last); another
    # client's records share the folder.
    deadline = time.time() + 30
    while not re.search(r"\tDATE8=\d{8}\t", vgldb("list", win(master), "CE", guid)[1]):
        assert time.time() < deadline, c.trace()
        time.sleep(0.2)
    assert vgldb("add", win(master), "RTL", guid, "Virus=EICAR")[0] == 0
    for table in CONFIG_TABLES + CLIENT_TABLES:
        assert vgldb("set", win(master), table, OTHER_GUID)[0] == 0
    assert vgldb("add", win(master), "RTL", OTHER_GUID, "Virus=Other")[0] == 0
    r.run("/NoAskPassword")
    r.wait_copy()

    # The client was stopped first (its close went into its event record), then every record of
    # it was removed; it never had a server-started scan record, so that removal alone failed.
    assert c.wait_exit(30)
    for table in CONFIG_TABLES + CLIENT_TABLES + LOG_TABLES:
        rc, out = vgldb("list", win(master), table)
        assert guid not in out, table
        if table in CONFIG_TABLES + CLIENT_TABLES + ["RTL"]:
            assert OTHER_GUID in out, table
    assert c.trace_lines("    DatabaseSNRemoveRecord(Error = The record was not found.)")
    assert c.trace_lines("::removeAllLog(m_strMasterDirLog = %s\\FILEDB\\Log, m_strGuid = %s), fSuccess = 1"
                         % (win(master), guid))
    rc, out = vgldb("check", win(master))
    assert rc == 0, out
    assert not FOLDER.exists() and not holds_values(PRODUCT_KEY) and not r.notices()


@pytest.mark.parametrize("reply, text", [
    ({"body": "-2"}, "The server could not read the removal notice of this computer."),
    ({"body": "10"}, "The server did not confirm the removal of this computer."),
    ({"status": 500}, "The server did not confirm the removal of this computer."),
], ids=["minus-2", "10", "status-500"])
def test_a_refused_notice_changes_nothing_of_the_removal(removal, demo_server, reply, text):
    r = removal()
    c = r.client
    r.seed_product_key()
    demo_server.rule(path="/Vigilon/Cgi/cgiOnUnst.exe", **reply)
    r.run()
    r.wait_copy()
    assert len(r.notices()) == 1
    assert c.trace_lines("    CCgiUninstallException = " + text)
    assert c.trace_lines("<-- CUninstallDlg::SendUninstallMessage(), fSuccess = 0")
    assert not FOLDER.exists() and not holds_values(PRODUCT_KEY)


def test_a_client_that_cannot_be_stopped_keeps_everything_but_the_preparatory_steps(removal, tmp_path):
    # The client hangs in its unload: its main window is stuck until the release file exists.
    r = removal(trace={"HoldOn": "--> CTavmontDlg::OnUnload(", "HoldFile": win(tmp_path / "release"),
                       "HoldTime": "180000"})
    c = r.client
    c.start()
    r.add_components()
    r.start_helper(BIN / "VglWatchDog.exe")
    assert wintest_first("wait", "-", "Vigilon Client WatchDog", 20000) != "timeout"
    started = time.time()
    # The waits for the client (6 minutes for its process, 6 for its window) a hundred times shorter.
    r.run(env={"VGL_TEST_WAIT_DIVISOR": "100"})
    r.wait_copy(timeout=120)
    assert time.time() - started < 60
    assert c.trace_lines("<-- CUninstallDlg::UnloadMainProgram(), fSuccess = 0")
    # The preparatory steps: the policy lifted with its new checksum, the SCV plug-in
    # unregistered, the watchdog closed, its key and the mail-scan keys gone.
    lines = [line for line in (FOLDER / "zavuz.ini").read_text().splitlines()[1:] if line]
    assert "Enable=0" in lines
    assert "CheckSum=%04d" % policy_checksum(lines) in lines
    assert re.search(r"ApplyZaVuz .*enable=0", r.journal("VGL_ZAVUZ_JOURNAL"))
    assert "run args=-d VgleSCV.dll" in r.journal("VGL_PIREG_JOURNAL")
    assert "WM_CLOSE received" in r.journal("VGL_WATCHDOG_WINDOW_JOURNAL")
    for key in ("VglWatchDog", "Kestrix\\MailScan", "Kestrix\\VUV3Ador"):
        assert not holds_values(KAVREL_KEY + "\\" + key), key
    assert holds_values(KAVREL_KEY + "\\Kestrix\\OtherMail")
    # Nothing else.
    assert (FOLDER / "Ksxwin97.exe").exists() and (FOLDER / "uninstall").exists()
    assert reg_get(PRODUCT_KEY, "GUID").startswith("sz:") and RUN_VALUE in reg_values(RUN_KEY)
    assert (r.programs / MENU_FOLDER / "Vigilon.lnk").exists() and (WINDOWS / "VglScan.ini").exists()
    assert r.journal("VGL_TOOL_UNINST_JOURNAL") == "" and "DllUnregisterServer" not in r.journal("VGL_ACTIVEX_JOURNAL")
    assert not r.notices()
    (tmp_path / "release").write_text("go")
    assert c.wait_exit(30)


def test_shell_extension_held_by_the_shell_counts_down(removal, tmp_path):
    r = removal()
    c = r.client
    r.seed_product_key()
    run("regsvr32", "/s", WIN_FOLDER + "KvdShell.dll")
    r.start_helper(BIN / "FileHolder.exe", WIN_FOLDER + "KvdShell.dll", win(tmp_path / "release"))
    deadline = time.time() + 20
    while not (tmp_path / "release.held").exists():
        assert time.time() < deadline, "the shell extension's library is not held"
        time.sleep(0.1)
    r.run()
    box = wintest_first("wait", "#32770", "Removing the Vigilon Explorer extension", 60000).split()[0]
    c.wait_trace("[MoveKvdshellToTemp] Move kvdshell.dll to temp folder Fail..")
    deadline = time.time() + 10
    while not any(t.startswith("Time left: 11 min") for t in window_texts(c, box)):
        assert time.time() < deadline, window_texts(c, box)
        time.sleep(0.2)
    tree = c.tree(int(box, 16))
    assert [w["id"] for w in tree if w["class"] == "msctls_progress32"] == [1245]
    time.sleep(0.5)
    screenshot("uninstall-shellext-countdown")
    # Giving up is asked first; No goes on counting down.
    c.post(WM_COMMAND, 2, 0, hwnd=int(box, 16))
    question = wait_box_with(c, "Stop waiting?")
    wintest("click", question, 7)                                       # IDNO
    time.sleep(0.5)
    assert c.window(int(box, 16))["visible"]
    # Once the shell lets the library go, the next attempt deletes it and the removal goes on.
    (tmp_path / "release").write_text("go")
    r.wait_copy()
    assert c.trace_lines("[MoveKvdshellToTemp] CDelKvdShell(" + WIN_FOLDER + "kvdshell.dll) = 1")
    assert not FOLDER.exists() and not holds_values(PRODUCT_KEY)
    assert not holds_values("HKLM\\Software\\Classes\\CLSID\\%s\\InprocServer32" % SHELLEXT_CLSID)
