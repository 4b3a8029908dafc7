"""The update program VigilonUpdate under Wine, with the real client and the demo server: the
hand-over to its temporary copy, the component update, the hot fix with its download and the
cleaning program, and the restart. The tests play the client's part around it: they stage the
components, publish the mappings (tools/updhelper) and set the flags, then start the program.
They share the client's prefix, mappings and display: they run one at a time."""
import os
import pathlib
import shutil
import subprocess
import time
import urllib.request

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "VigilonUpdate.exe").exists()),
                                reason="needs DISPLAY and the built update program")

UPDATE_FILES = ["VigilonUpdate.exe", "VigilonUpdate.dll", "95Did.exe", "95Did.dll"]
STAGING = ["Vigilon_PatternUpdate", "Vigilon_EngineUpdate", "Vigilon_ProgramUpdate", "Vigilon_HotFix"]
WININIT = WINDOWS / "wininit.ini"
HOTFIX_MAPPING = "VigilonCorp_95_HotFix"
VERSION_MAPPING = "VigilonCorp_95_ProgramVersion"
INSTALL_WIN = "C:\\Program Files\\Vigilon Client\\"

# Dialog captions, and the captions of the program's message boxes.
UPDATE_DIALOG, HOTFIX_DIALOG, RESTART_DIALOG = ("Installing Vigilon Components", "Installing a Vigilon Hot Fix",
                                                "Restarting Vigilon")
BOX_CAPTIONS = ("Vigilon Update", "Vigilon Hot Fix Download")
IDOK = 1


def control(tree, ident):
    return next((w for w in tree if w["id"] == ident), {"visible": False, "text": ""})


# When the screenshots of the dialogs show them best: the files moved, the client starting.
UPDATE_SHOT = ("update-dialog", lambda tree: control(tree, 1004)["visible"])
HOTFIX_SHOT = ("hotfix-dialog", lambda tree: control(tree, 1001)["text"].startswith("Starting"))
RESTART_SHOT = ("restart-dialog", lambda tree: control(tree, 1001)["text"].startswith("Starting"))
OLD_TIME = 1622548800               # 2021-06-01 12:00:00 UTC: marks the staged copies
STAMP, STAMP_TIME = "20260115103000", 1768473000

_temp = []


def temp_folder():
    """The Windows temporary folder of the prefix, as a Unix path."""
    if not _temp:
        _, lines = run("cmd", "/c", "echo %TEMP%", timeout=60)
        windows = [line.strip() for line in lines if line.strip().upper().startswith("C:\\")][-1]
        _temp.append(DRIVE_C / windows[3:].replace("\\", "/"))
    return _temp[0]


def find_windows(cls, title):
    """The top-level windows of that class and title."""
    return [int(line.split()[0], 16) for line in wintest("find", cls, title) if line.startswith("0x")]


def write(path, data, mtime=None):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    if mtime is not None:
        os.utime(path, (mtime, mtime))
    return path


class UpdateEnv:
    """The client installed with the update program beside it; the helpers that play the client's
    part; runs of the update program."""

    def __init__(self, tmp, server):
        self.tmp = tmp
        self.server = server
        self.client = Client(tmp, server)
        self.temp = temp_folder()
        self.helpers = []
        self.boxes = []
        self.clean_temp()
        WININIT.unlink(missing_ok=True)

    def clean_temp(self):
        for name in STAGING:
            shutil.rmtree(self.temp / name, ignore_errors=True)
        for name in UPDATE_FILES + ["kvdbg20.dll"]:
            (self.temp / name).unlink(missing_ok=True)

    def stage(self, folder, name, data, mtime=OLD_TIME):
        return write(self.temp / folder / name, data, mtime)

    # ---- the client's part ----
    def helper(self, maps=None, fake_client=None, lock=()):
        """Starts updhelper with string mappings {name: text}, a fake client that never unloads
        (its message log) and files held open; returns once they are in place."""
        n = len(self.helpers)
        ready, until = self.tmp / ("helper-ready-%d" % n), self.tmp / ("helper-stop-%d" % n)
        args = []
        for name, text in (maps or {}).items():
            path = write(self.tmp / ("map-%d-%s.txt" % (n, name)), text.encode("latin-1"))
            args += ["--map", "%s=Z:%s" % (name, str(path).replace("/", "\\"))]
        if fake_client:
            args += ["--fake-client", "Z:" + str(fake_client).replace("/", "\\")]
        for path in lock:
            args += ["--lock", "Z:" + str(path).replace("/", "\\")]
        args += ["--ready", "Z:" + str(ready).replace("/", "\\"), "--until", "Z:" + str(until).replace("/", "\\")]
        log = open(self.tmp / ("helper-%d.out" % n), "wb")
        proc = subprocess.Popen([str(BUILD / "wine-run"), str(BIN / "updhelper.exe"), *args],
                                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                start_new_session=True)
        self.helpers.append((proc, until))
        deadline = time.time() + 30
        while not ready.exists():
            assert proc.poll() is None and time.time() < deadline, "updhelper did not start"
            time.sleep(0.05)
        return proc

    def stop_helpers(self):
        for proc, until in self.helpers:
            until.write_text("stop")
        for proc, _ in self.helpers:
            try:
                proc.wait(15)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, 9)
                proc.wait()
        self.helpers = []

    def running_client(self):
        """(pid, hwnd) of the client whose main window is published, or None."""
        mapping = self.client.mapping(MAINWND_MAPPING)
        return (mapping["pid"], mapping["value"]) if mapping and mapping["window"] else None

    def client_starts(self):
        return len(self.client.trace_lines("<-- CTavmontDlg::OnInitDialog()"))

    def client_unloads(self):
        return len(self.client.trace_lines("--> CTavmontDlg::OnUnload("))

    def stop_client(self):
        """Unloads whatever client runs, as the update program would."""
        running = self.running_client()
        if running:
            pid, hwnd = running
            wintest("post", hwnd, WM_UNLOAD, 0, 0)
            wintest("post", hwnd, WM_QUIT, 0, 0)
            if wintest_first("waitexit", pid, 20000, timeout=60) == "timeout":
                wintest("kill", pid)

    # ---- the update program ----
    def run(self, *args, program="VigilonUpdate.exe", env=None, shots=None, box_shot=None, instances=2,
            timeout=120):
        """Runs the update program from the program folder until both its instances ended
        (instances=1 when it does no hand-over). Message boxes are answered with OK and kept in
        self.boxes as (caption, text) (box_shot: the name of a screenshot of the first one).
        shots maps a dialog's caption to (name, test): the screenshot is taken when the dialog
        shows, and again once test(its windows) holds. Returns the seconds it took."""
        done_before = len(self.client.trace_lines("<-- CUpdateApp::InitInstance()"))
        shots = dict(shots or {})
        taken = set()
        out = open(self.tmp / "update.out", "ab")
        full_env = dict(os.environ, **(env or {}))
        started = time.time()
        proc = subprocess.Popen([str(BUILD / "wine-run"), INSTALL_WIN + program, *args], stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT, env=full_env, start_new_session=True)
        deadline = started + timeout
        while True:
            ended = len(self.client.trace_lines("<-- CUpdateApp::InitInstance()")) - done_before
            if ended >= instances and proc.poll() is not None:
                break
            assert time.time() < deadline, "the update program did not end:\n" + self.client.trace()[-3000:]
            for caption in BOX_CAPTIONS:
                for hwnd in find_windows("#32770", caption):
                    tree = parse_tree(wintest("tree", hwnd))
                    if any(w["class"] == "Button" and w["id"] == IDOK for w in tree):
                        texts = [w["text"] for w in tree if w["class"] == "Static" and w["text"]]
                        self.boxes.append((caption, " ".join(texts)))
                        if box_shot:
                            time.sleep(0.5)     # painted
                            screenshot(box_shot)
                            box_shot = None
                        wintest("click", hwnd, IDOK)
            for caption, (name, test) in list(shots.items()):
                for hwnd in find_windows("#32770", caption):
                    if caption not in taken:
                        time.sleep(0.2)
                        screenshot(name)
                        taken.add(caption)
                    if test(parse_tree(wintest("tree", hwnd))):
                        screenshot(name)
                        del shots[caption]
            time.sleep(0.1)
        return time.time() - started

    def close(self):
        self.stop_helpers()
        self.stop_client()
        self.client.stop()
        self.clean_temp()


@pytest.fixture
def env(tmp_path, demo_server):
    e = UpdateEnv(tmp_path, demo_server)
    yield e
    e.close()


def started_client(env):
    """Starts the client and returns its process id."""
    env.client.start()
    return env.running_client()[0]


def product(name):
    return reg_get(PRODUCT_KEY, name)


def test_without_an_action_switch_only_the_message(env):
    for args in ([], ["/Internet"], ["/AllowUpdateX", "AllowUpdate"]):
        env.boxes = []
        env.run(*args, instances=1, timeout=60)
        assert len(env.boxes) == 1, args
        caption, text = env.boxes[0]
        assert caption == "Vigilon Update" and "it does nothing when started on its own" in text
    # Nothing was copied, registered or started.
    assert not (env.temp / "VigilonUpdate.exe").exists()
    assert not WININIT.exists()
    assert not env.client.trace_lines("DoUpdate()")
    assert not env.client.trace_lines("CUpdateApp::StartUpdate")


@pytest.mark.parametrize("program, args, switches", [
    ("VigilonUpdate.exe", ["-allowhotfixex", "/INTERNET"], '"/AllowHotFixEx" "/Internet"'),
    ("95Did.exe", ["/ALLOWHOTFIX", "-internet"], '"/AllowHotFix" "/Internet"'),
])
def test_switches_reach_the_temporary_copy(env, program, args, switches):
    # Each name loads the language library of its own name: the other one is not there.
    (INSTALL / ("VigilonUpdate.dll" if program == "95Did.exe" else "95Did.dll")).unlink()
    env.run(*args, program=program)
    lines = env.client.trace_lines("    Command Line = ")
    assert len(lines) == 1
    command = lines[0].split("    Command Line = ", 1)[1].rsplit(", ", 1)[0]
    temp_win = "C:\\" + str(env.temp.relative_to(DRIVE_C)).replace("/", "\\")
    assert command == '"%s\\%s" %s' % (temp_win, program, switches)
    # The copy ran with its own language library and parsed what it was given.
    base = program[:-4]
    assert (env.temp / program).read_bytes() == (INSTALL / program).read_bytes()
    assert (env.temp / (base + ".dll")).exists() and (env.temp / "kvdbg20.dll").exists()
    assert env.client.trace_lines("CAppCommandLineInfo::ParseParam(LPCTSTR lpszParam = " + switches.split('"')[1][1:])
    assert env.client.trace_lines("fHotFixNecessary(0) = CHotFixDlg::IsHotFixNecessary(pszData)")
    # The seven copies are deleted at the next start of Windows, in the order they were made.
    lines = [line.strip() for line in WININIT.read_text(errors="replace").splitlines() if line.startswith("NUL=")]
    assert len(lines) == 7
    assert all(line.upper().startswith("NUL=" + temp_win.upper() + "\\") for line in lines)
    assert [line.rsplit("\\", 1)[1] for line in lines[2:6]] == ["wininet.dll", "msvcrt.dll", "msvcirt.dll", "pwd.dll"]


def test_program_update_moves_the_staged_files_and_restarts_the_client(env):
    old_pid = started_client(env)
    pattern = (BIN / "VXP$SIG.578").read_bytes()
    env.stage("Vigilon_PatternUpdate", "VXP$SIG.578", pattern)
    env.stage("Vigilon_EngineUpdate", "vexor32.vxd", (BIN / "vexor32.vxd").read_bytes())
    env.stage("Vigilon_ProgramUpdate", "Ksxwin97.exe", (BIN / "Ksxwin97.exe").read_bytes())
    env.stage("Vigilon_ProgramUpdate/Common", "VglShared.dat", b"shared, second edition")
    env.helper(maps={VERSION_MAPPING: "5.61"})
    reg_set(PRODUCT_KEY, "ProgramUpdate Pending", 1)
    reg_set(PRODUCT_KEY, "Update Pending", 1)

    env.run("/AllowUpdate", shots={UPDATE_DIALOG: UPDATE_SHOT})

    # The client was asked to unload, its process ended and a new one runs.
    assert env.client_unloads() == 1
    assert env.client.trace_lines("<-- NS_Client::Unload(), the client's process ended")
    running = env.running_client()
    assert running and running[0] != old_pid and env.client_starts() == 2
    # Every staged file is in the program folder itself, the staging folders are gone.
    for name in ("VXP$SIG.578", "vexor32.vxd", "Ksxwin97.exe"):
        assert int((INSTALL / name).stat().st_mtime) == OLD_TIME, name
    assert (INSTALL / "VglShared.dat").read_bytes() == b"shared, second edition"
    assert not (INSTALL / "Common").exists()
    assert not any((env.temp / name).exists() for name in STAGING)
    # The version was recorded (the restarted client then writes its own build's version).
    assert product("ProgramUpdate Pending") == "dword:0"
    assert env.client.trace_lines("    0 = NS_RegistryKey::SetProgramVersion(5.61)")
    assert env.boxes == []


def test_program_and_hot_fix_switches_start_the_client_once_when_no_hot_fix_is_needed(env):
    old_pid = started_client(env)
    (env.temp / "Vigilon_ProgramUpdate").mkdir(parents=True)
    # The server's copy is older than the installed program: nothing to do for the hot fix.
    env.helper(maps={VERSION_MAPPING: "5.62", HOTFIX_MAPPING: "HotFix/Ksxwin97.exe=20000101000000\n"})

    env.run("/AllowUpdate", "/AllowHotFix")

    assert env.client.trace_lines("fHotFixNecessary(0) = CHotFixDlg::IsHotFixNecessary(pszData)")
    assert not env.client.trace_lines("--> CUpdateDlg::RestartClient()")
    assert env.client.trace_lines("The client stopped by this run was not started again: starting it")
    running = env.running_client()
    assert running and running[0] != old_pid
    assert env.client_unloads() == 1 and env.client_starts() == 2
    assert env.client.trace_lines("    0 = NS_RegistryKey::SetProgramVersion(5.62)")


def test_missing_program_staging_folder_moves_nothing(env):
    started_client(env)
    env.stage("Vigilon_PatternUpdate", "VXP$SIG.578", b"not to be installed")
    before = (INSTALL / "VXP$SIG.578").read_bytes()
    env.helper(maps={VERSION_MAPPING: "5.61"})

    env.run("/AllowUpdate", box_shot="update-missing-folder-message")

    assert len(env.boxes) == 1
    caption, text = env.boxes[0]
    assert caption == "Vigilon Update" and "Vigilon_ProgramUpdate does not exist" in text
    assert (INSTALL / "VXP$SIG.578").read_bytes() == before
    assert not (env.temp / "Vigilon_PatternUpdate").exists()
    assert product("ProgramUpdate Pending") == "dword:1"
    assert not env.client.trace_lines("NS_RegistryKey::SetProgramVersion(")
    assert env.running_client() and env.client_starts() == 2


def test_locked_target_stops_the_move_and_leaves_the_update_pending(env):
    started_client(env)
    env.stage("Vigilon_PatternUpdate", "VXP$SIG.578", (BIN / "VXP$SIG.578").read_bytes())
    env.stage("Vigilon_ProgramUpdate", "Dervix.exe", b"new support tool")
    env.stage("Vigilon_ProgramUpdate/Common", "VglShared.dat", b"after the locked file")
    env.helper(maps={VERSION_MAPPING: "5.61"}, lock=[INSTALL / "Dervix.exe"])

    seconds = env.run("/AllowUpdate")

    # The file before the locked one is replaced, the locked one is tried again and again and
    # kept, the one after it is not moved; nothing is left in the staging folders.
    assert int((INSTALL / "VXP$SIG.578").stat().st_mtime) == OLD_TIME
    assert (INSTALL / "Dervix.exe").read_bytes() == (BIN / "Dervix.exe").read_bytes()
    assert not (INSTALL / "VglShared.dat").exists()
    assert env.client.trace_lines("fSuccess(0), Error Message = ")
    assert seconds > 4
    assert not any((env.temp / name).exists() for name in STAGING)
    assert product("ProgramUpdate Pending") == "dword:1"
    assert not env.client.trace_lines("NS_RegistryKey::SetProgramVersion(")
    assert env.boxes == []
    assert env.running_client() and env.client_starts() == 2


def test_client_that_does_not_unload_leaves_everything_as_it_was(env):
    # The product key of an installed client, and a client that ignores the unload.
    reg_set(PRODUCT_KEY, "Application Path", INSTALL_WIN)
    reg_set(PRODUCT_KEY, "Application Filename", "Ksxwin97.exe")
    reg_set(PRODUCT_KEY, "ProgramUpdate Pending", 1)
    reg_set(PRODUCT_KEY, "Program Version", "5.60")
    messages = env.tmp / "fake-client.log"
    fake = env.helper(maps={VERSION_MAPPING: "5.61"}, fake_client=messages)
    staged = env.stage("Vigilon_ProgramUpdate", "Ksxwin97.exe", b"never installed")

    env.run("/AllowUpdate", env={"VGL_TEST_WAIT_DIVISOR": "20"})

    assert env.client.trace_lines("<-- NS_Client::Unload(), the client did not unload")
    received = messages.read_text().split()
    assert "0x7E8" in received and "0x12" in received        # WM_UNLOAD, then WM_QUIT
    assert staged.read_bytes() == b"never installed"
    assert (INSTALL / "Ksxwin97.exe").read_bytes() == (BIN / "Ksxwin97.exe").read_bytes()
    assert product("ProgramUpdate Pending") == "dword:1"
    assert product("Program Version") == "sz:5.60"
    # No second client: the fake one is still the published one and no client started.
    assert env.client.mapping(MAINWND_MAPPING)["pid"] != 0 and env.client_starts() == 0
    assert fake.poll() is None


def hot_fix_list(server):
    """The hot-fix list as the client fetches it from the server."""
    url = "http://127.0.0.1:%d/Vigilon/Cgi/cgiRqHotFix.exe?ClientType=1&RELEASE=5.60" % server.port
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open(url, timeout=10) as reply:
        return reply.read().decode("latin-1")


def test_hot_fix_downloads_the_newer_files_and_runs_the_cleaning_program(env, demo_server):
    fix = os.urandom(300000)
    write(demo_server.files / "HotFix" / "VglFix.dll", fix)
    write(demo_server.files / "HotFix" / "Alert.Msg", b"Alert: a hot fix was installed")
    write(demo_server.files / "HotFix" / "Ksxwin97.exe", b"older than the installed program")
    demo_server.configure(hotfixes=[["HotFix/VglFix.dll", STAMP], ["HotFix/Alert.Msg", STAMP],
                                    ["HotFix/Ksxwin97.exe", "20000101000000"]])
    old_pid = started_client(env)
    env.helper(maps={HOTFIX_MAPPING: hot_fix_list(demo_server)})
    reg_set(PRODUCT_KEY, "Update Pending", 1)
    first = len(demo_server.journal())

    env.run("/AllowHotFix", shots={HOTFIX_DIALOG: HOTFIX_SHOT})

    requests = [e for e in demo_server.journal()[first:] if e["path"].startswith("/HotFix/")]
    assert [(e["method"], e["path"], e["status"]) for e in requests] == [
        ("GET", "/HotFix/VglFix.dll", 200), ("GET", "/HotFix/Alert.Msg", 200)]
    assert ["Accept", "*/*"] in requests[0]["headers"]
    assert (INSTALL / "VglFix.dll").read_bytes() == fix
    assert int((INSTALL / "VglFix.dll").stat().st_mtime) == STAMP_TIME
    assert int((INSTALL / "Alert.Msg").stat().st_mtime) == STAMP_TIME
    assert not any((env.temp / name).exists() for name in STAGING)
    running = env.running_client()
    assert running and running[0] != old_pid and env.client_unloads() == 1 and env.client_starts() == 2
    # The signed cleaning program ran hidden, told not to show its own messages.
    journal = (INSTALL / "PGX.log").read_text()
    assert "VirusMsgbox=0 show=0" in journal
    assert "VirusMsgbox=0" in (INSTALL / "PGX.ini").read_text()
    assert env.boxes == []


def test_hot_fix_not_on_the_server_is_reported_once_and_a_tampered_cleaning_program_is_refused(env, demo_server):
    write(demo_server.files / "HotFix" / "Later.dll", b"never asked for")
    demo_server.configure(hotfixes=[["HotFix/Missing.dll", STAMP], ["HotFix/Later.dll", STAMP]])
    pgx = bytearray((INSTALL / "PGX.exe").read_bytes())
    pgx[1000] ^= 0xFF
    (INSTALL / "PGX.exe").write_bytes(bytes(pgx))
    old_pid = started_client(env)
    env.helper(maps={HOTFIX_MAPPING: hot_fix_list(demo_server)})
    first = len(demo_server.journal())

    env.run("/AllowHotFix", box_shot="hotfix-download-error-message")

    assert env.boxes == [("Vigilon Hot Fix Download", "(404) The hot-fix file was not found on the server.")]
    paths = [e["path"] for e in demo_server.journal()[first:] if e["path"].startswith("/HotFix/")]
    assert paths == ["/HotFix/Missing.dll"]
    assert not (INSTALL / "Missing.dll").exists() and not (INSTALL / "Later.dll").exists()
    assert not any((env.temp / name).exists() for name in STAGING)
    running = env.running_client()
    assert running and running[0] != old_pid
    assert not (INSTALL / "PGX.log").exists()
    assert env.client.trace_lines("= kvAuthMD5(")


def test_hot_fix_files_placed_by_a_client_outside_the_intranet(env, demo_server):
    started_client(env)
    env.stage("Vigilon_HotFix", "VglFix.dll", b"placed by the client", mtime=STAMP_TIME)
    env.stage("Vigilon_HotFix/Windows", "VglSys.ini", b"[Vigilon]\r\nFixed=1\r\n", mtime=STAMP_TIME)
    env.helper(maps={HOTFIX_MAPPING: "HotFix/VglFix.dll=%s\n" % STAMP})
    first = len(demo_server.journal())

    env.run("/AllowHotFixEx", "/Internet")

    assert (INSTALL / "VglFix.dll").read_bytes() == b"placed by the client"
    assert (WINDOWS / "VglSys.ini").read_bytes() == b"[Vigilon]\r\nFixed=1\r\n"
    (WINDOWS / "VglSys.ini").unlink()
    assert not [e for e in demo_server.journal()[first:] if e["path"].startswith("/HotFix/")]
    assert not any((env.temp / name).exists() for name in STAGING)
    assert env.running_client() and env.client_starts() == 2


def test_restart_unloads_once_and_starts_once(env):
    old_pid = started_client(env)
    env.run("/SimpRestart", shots={RESTART_DIALOG: RESTART_SHOT})
    running = env.running_client()
    assert running and running[0] != old_pid
    assert env.client_unloads() == 1 and env.client_starts() == 2

    # With no client running: one start.
    env.stop_client()
    assert env.running_client() is None
    env.run("-simprestart")
    assert env.running_client() and env.client_unloads() == 2 and env.client_starts() == 3
