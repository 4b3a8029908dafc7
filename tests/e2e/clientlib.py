"""The client program Ksxwin97 installed in the build's Wine prefix, driven from the tests.

Every test gets a fresh installation in "C:\\Program Files\\Vigilon Client" (new files, so the program's shared
instance counter starts anew), a fresh product key made by the client itself from the settings
file VglScan.ini, and a trace log of its own. The tests share the prefix, the mappings and the
display: they run one at a time.
"""
import os
import pathlib
import re
import shutil
import socket
import subprocess
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("VGL_BUILD", ROOT / "build"))
BIN = BUILD / "bin"
DRIVE_C = BUILD / "wineprefix" / "drive_c"
INSTALL = DRIVE_C / "Program Files" / "Vigilon Client"
WINDOWS = DRIVE_C / "windows"
ARTIFACTS = BUILD / "artifacts"
DISPLAY = os.environ.get("DISPLAY", "")

PROGRAM = "C:\\Program Files\\Vigilon Client\\Ksxwin97.exe"
PRODUCT_KEY = "HKLM\\Software\\Kavrel\\VigilonCorp\\CurrentVersion"
RUN_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
RUNSERVICES_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"
MAILSCAN_KEY = "HKLM\\Software\\Kavrel\\Kestrix\\MailScan"
MAINWND_MAPPING = "VigilonCorp_MemoryMappedFile_MainWnd"
PROCESSID_MAPPING = "VigilonCorp_MemoryMappedFile_ProcessID"
RUN_VALUE = "VglTest95"

WM_CLOSE, WM_QUIT, WM_COMMAND, WM_SYSCOMMAND, WM_TIMER = 0x10, 0x12, 0x111, 0x112, 0x113
WM_QUERYENDSESSION, WM_ENDSESSION = 0x11, 0x16
WM_USER = 0x400
WM_SERVER_COMMAND, WM_SECOND_INSTANCE, WM_UNLOAD = WM_USER + 2, WM_USER + 10, WM_USER + 1000
SC_CLOSE = 0xF060
ENDSESSION_LOGOFF = 0x80000000

# Files the program folder holds besides the program.
PROGRAM_FILES = ["Ksxwin97.exe", "Ksxwin97.dll", "kvdbg20.dll", "vgl_loadhttp.dll", "VXP$SIG.578",
                 "vexor32.vxd", "LedraCfg.dll", "LedraDat.dll", "LedraLog.dll", "c4dll.dll",
                 "95Roraze.exe", "PGX.exe", "VglDogLib.dll", "Dervix.exe"]
# The update program under both its names, each with its language library.
PROGRAM_FILES += ["VigilonUpdate.exe", "VigilonUpdate.dll", "95Did.exe", "95Did.dll"]
# The uninstall program's language library, under the name the client starts the program by.
PROGRAM_FILES += ["95Roraze.dll"]
# The real-time driver and the libraries real-time protection loads.
PROGRAM_FILES += ["filter32.vxd", "loadhttp.dll", "VEXOR32.DLL"]
# Copied when they were built: the real-time driver's native file-access watcher (Linux).
OPTIONAL_PROGRAM_FILES = ["filter32.fan"]

# Status icon resource ids by the state index (connected 1, pattern old 2, mobile 4, real-time off 8).
STATUS_ICONS = [299, 269, 303, 301, 465, 465, 467, 467, 463, 461, 464, 462, 466, 466, 468, 468]


def run(program, *args, timeout=120, env=None):
    """Runs a Windows program under the prefix; returns (exit code, output lines). The output
    goes through a file: a process that Wine starts on the way (the desktop, when none runs
    yet) would keep a pipe open, and the call would wait for it."""
    full_env = dict(os.environ, **(env or {}))
    with tempfile.TemporaryFile() as out:
        proc = subprocess.run([str(BUILD / "wine-run"), str(program), *map(str, args)], stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.STDOUT, timeout=timeout, env=full_env)
        out.seek(0)
        return proc.returncode, out.read().decode("latin-1").splitlines()


def vgldb(*args):
    """One command of the server console's database tool: (exit code, its output)."""
    rc, lines = run(BIN / "vgldb.exe", *args)
    return rc, "\n".join(lines)


def win(path):
    """A host path as the programs see it, through drive Z:."""
    return "Z:" + str(path).replace("/", "\\")


def wait_for(what, timeout=15, step=0.05):
    """Calls what() until it gives a true value or the time is up; returns its last value."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = what()
        if value:
            return value
        time.sleep(step)
    return what()


def free_port():
    """A TCP port nothing listens on now (for the client's listener: never a fixed one)."""
    with socket.socket() as s:
        s.bind(("", 0))
        return s.getsockname()[1]


def wintest(*args, timeout=120):
    """One wintest command; its output lines (the exit code is ignored)."""
    return run(BIN / "wintest.exe", *args, timeout=timeout)[1]


def first_line(lines, what="the program"):
    """The first line of a program's output; a clear failure when it printed nothing."""
    assert lines, "%s printed nothing" % what
    return lines[0]


def wintest_first(*args, timeout=120):
    """The first line of one wintest command's output."""
    return first_line(wintest(*args, timeout=timeout), "wintest %s" % " ".join(map(str, args)))


def reg_get(key, name):
    return wintest_first("regget", key, name)


def reg_set(key, name, value):
    kind = "dword:%d" % value if isinstance(value, int) else "sz:" + value
    wintest("regset", key, name, kind)


def reg_values(key):
    values = {}
    for line in wintest("regvalues", key):
        name, _, value = line.partition("=")
        values[name] = value
    return values


def remove_startup_entries():
    for key in (RUN_KEY, RUNSERVICES_KEY):
        for name, value in reg_values(key).items():
            if "ksxwin97" in value.lower() or name == "":
                wintest("regdel", key, name)


def screenshot(name, when=None, timeout=15):
    """Saves the whole virtual desktop as build/artifacts/<name>.png (once when() holds, when
    given); returns its path."""
    if when is not None:
        deadline = time.time() + timeout
        while not when():
            assert time.time() < deadline, "nothing to take a screenshot of for " + name
            time.sleep(0.05)
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    path = ARTIFACTS / (name + ".png")
    # On a busy host xwd now and then fails to grab the screen: a few tries.
    for attempt in range(5):
        xwd = subprocess.run(["xwd", "-root", "-display", DISPLAY], capture_output=True, timeout=30)
        if xwd.returncode == 0 or attempt == 4:
            break
        time.sleep(0.5)
    xwd.check_returncode()
    subprocess.run(["convert", "xwd:-", str(path)], input=xwd.stdout, timeout=30, check=True)
    return path


def crop(path, name, rect):
    """Saves a part (left, top, right, bottom) of a screenshot as build/artifacts/<name>.png."""
    left, top, right, bottom = rect
    out = ARTIFACTS / (name + ".png")
    subprocess.run(["convert", str(path), "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                    "+repage", str(out)], timeout=30, check=True)
    return out


def colours(path):
    out = subprocess.run(["convert", str(path), "-format", "%k", "info:"], capture_output=True, text=True,
                         timeout=30, check=True)
    return int(out.stdout.strip())


def parse_tree(lines):
    """The windows of wintest tree; a list or combo box gets the rows of its rows line."""
    import json
    windows = []
    for line in lines:
        if line.startswith("{"):
            record = json.loads(line)
            if "rows" in record and windows and windows[-1]["hwnd"] == record["hwnd"]:
                windows[-1]["rows"] = record["rows"]
            else:
                windows.append(record)
    return windows


class Client:
    """One installation of the client and the processes started from it."""

    def __init__(self, tmp_path, server=None, ini=None, product=None, trace=None):
        self.tmp = tmp_path
        self.server = server
        self.trace_path = tmp_path / "trace.log"
        self.listener_port = free_port()
        self.procs = []
        self.pid = None
        self.hwnd = None
        self.install(ini or {}, product or {}, trace or {})

    # ---- set-up ----
    def settings_ini(self, extra):
        port = self.server.port if self.server else 80
        sections = {
            "INI_SERVER_SECTION": {"SetupType": "1", "Master_DomainName": "127.0.0.1",
                                   "Master_DomainPort": str(port), "Master_URL": "/Vigilon", "UseProxy": "0"},
            "INI_PROGRAM_VERSION_SECTION": {"Ksx95_Version": "5.60"},
            "INI_CLIENT_SECTION": {"Check_IP_Change_Interval": "0"},
            "INI_CLIENT_SETUP_SECTION": {"95_RUN_KEY": RUN_VALUE},
            "Global Setting": {"ScheduleUpdateInterval": "30", "ScheduleCheckGlobalSetting": "2"},
        }
        sections["INI_CLIENT_SECTION"]["CLIENT_LOCALSERVER_PORT"] = str(self.listener_port)
        for section, values in extra.items():
            sections.setdefault(section, {}).update(values)
        text = ""
        for section, values in sections.items():
            text += "[%s]\r\n" % section
            for key, value in values.items():
                if value is not None:
                    text += "%s=%s\r\n" % (key, value)
        return text

    def install(self, ini, product, trace):
        # A client left running by an earlier test would answer in this one's place.
        for name in (MAINWND_MAPPING, PROCESSID_MAPPING):
            stale = self.mapping(name)
            if stale:
                wintest("kill", stale["pid"] or stale["value"])
        if INSTALL.exists():
            shutil.rmtree(INSTALL)
        INSTALL.mkdir(parents=True)
        for name in PROGRAM_FILES:
            shutil.copy2(BIN / name, INSTALL / name)
        for name in OPTIONAL_PROGRAM_FILES:
            if (BIN / name).exists():
                shutil.copy2(BIN / name, INSTALL / name)
        (WINDOWS / "VglScan.ini").write_bytes(self.settings_ini(ini).encode("latin-1"))
        wintest("regdel", "HKLM\\Software\\Kavrel")
        remove_startup_entries()
        product = dict({"ShowSplash": 0}, **product)
        for name, value in product.items():
            reg_set(PRODUCT_KEY, name, value)
        lines = ["[Trace]", "LogFile=Z:" + str(self.trace_path).replace("/", "\\")]
        lines += ["%s=%s" % item for item in trace.items()]
        (DRIVE_C / "VglDebug.ini").write_text("\r\n".join(lines) + "\r\n")

    # ---- processes ----
    def start(self, *args, env=None, wait=True):
        """Starts the program; with wait, until its main window is published (returns it)."""
        log = open(self.tmp / ("client-%d.out" % len(self.procs)), "wb")
        full_env = dict(os.environ, VGL_TIMEOUT="300", **(env or {}))
        proc = subprocess.Popen([str(BUILD / "wine-run"), PROGRAM, *args], stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT, env=full_env, start_new_session=True)
        self.procs.append(proc)
        if wait:
            return self.wait_ready()
        return proc

    def wait_ready(self, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            mapping = self.mapping(MAINWND_MAPPING)
            if mapping and mapping["window"]:
                self.hwnd = mapping["value"]
                self.pid = mapping["pid"]
                self.wait_trace("<-- CTavmontDlg::OnInitDialog()", timeout=10)
                return self.hwnd
            time.sleep(0.1)
        raise AssertionError("the client did not publish its main window:\n" + self.trace())

    def mapping(self, name):
        line = wintest_first("mapping", name)
        if line == "absent":
            return None
        value, window, pid = line.split()
        return {"value": int(value, 16), "window": window == "window=1", "pid": int(pid.split("=")[1])}

    def wait_exit(self, timeout=30):
        """Waits for the client's process (and the wine launcher) to end."""
        if self.pid:
            wintest("waitexit", self.pid, int(timeout * 1000), timeout=timeout + 30)
        for proc in self.procs:
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                pass
        return all(proc.poll() is not None for proc in self.procs)

    def unload(self):
        """What the update and uninstall programs do: WM_UNLOAD, then WM_QUIT."""
        self.post(WM_UNLOAD)
        self.post(WM_QUIT)
        assert self.wait_exit(), "the client did not end after WM_UNLOAD"

    def stop(self):
        """Ends whatever is still running (test clean-up)."""
        running = [p for p in self.procs if p.poll() is None]
        if running and self.hwnd:
            self.post(WM_UNLOAD)
            self.post(WM_QUIT)
            self.wait_exit(15)
        for proc in self.procs:
            if proc.poll() is None:
                if self.pid:
                    wintest("kill", self.pid)
                os.killpg(proc.pid, 9)
                proc.wait()
        (DRIVE_C / "VglDebug.ini").unlink(missing_ok=True)
        # Left in place, the start-up entries would start the client with the next Wine session;
        # the settings file and the product key are this test's.
        remove_startup_entries()
        (WINDOWS / "VglScan.ini").unlink(missing_ok=True)
        wintest("regdel", "HKLM\\Software\\Kavrel")

    def kill(self):
        """kill -9 of the client's Wine process; returns once its main window's mapping is gone."""
        proc = self.procs[-1]
        os.killpg(proc.pid, 9)
        proc.wait(30)
        deadline = time.time() + 15
        while self.mapping(MAINWND_MAPPING) and time.time() < deadline:
            time.sleep(0.1)

    # ---- messages and windows ----
    def post(self, msg, wparam=0, lparam=0, hwnd=None):
        wintest("post", hwnd or self.hwnd, msg, wparam, lparam)

    def send(self, msg, wparam=0, lparam=0, hwnd=None):
        return int(wintest_first("send", hwnd or self.hwnd, msg, wparam, lparam))

    def command(self, cmd_id):
        self.post(WM_COMMAND, cmd_id, 0)

    def tree(self, hwnd=None):
        return parse_tree(wintest("tree", hwnd or self.hwnd))

    def window(self, hwnd=None):
        return self.tree(hwnd)[0]

    def wait_window(self, cls, title="-", timeout=15):
        """The first top-level window of the client with that class and title."""
        lines = wintest("wait", cls, title, int(timeout * 1000), self.pid or 0, timeout=timeout + 30)
        assert lines and lines[0] != "timeout", "no window %s %r" % (cls, title)
        return int(lines[0].split()[0], 16)

    def wait_visible(self, visible, timeout=5):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.window()["visible"] == visible:
                return True
            time.sleep(0.05)
        return False

    # ---- trace ----
    def trace(self):
        try:
            return self.trace_path.read_text(errors="replace")
        except FileNotFoundError:
            return ""

    def trace_lines(self, text):
        return [line for line in self.trace().splitlines() if text in line]

    def wait_trace(self, text, timeout=10, count=1):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if len(self.trace_lines(text)) >= count:
                return self.trace_lines(text)
            time.sleep(0.05)
        raise AssertionError("no trace line %r" % text)

    def tray_calls(self):
        """(message, icon index, tip) of every tray call: 0 add, 1 modify, 2 delete."""
        calls = []
        for line in self.trace_lines("= notifyTrayIcon("):
            m = re.search(r"fResult\((\d)\) = notifyTrayIcon\(hWnd = 0x[0-9A-F]+, dwMessage = (\d+), "
                          r"uID = 108, icon = (-?\d+), tip = (.*?)\)?, [^,]*\|\d+$", line)
            if m:
                calls.append((int(m.group(2)), int(m.group(3)), m.group(4)))
        return calls

    def wait_tray_calls(self, message, count, timeout=10):
        """Waits until the tray has seen count calls of the kind; returns them."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            calls = [call for call in self.tray_calls() if call[0] == message]
            if len(calls) >= count:
                return calls
            time.sleep(0.05)
        raise AssertionError("%d tray calls of kind %d expected: %r" % (count, message, self.tray_calls()))

    def hold_release(self):
        (self.tmp / "release").write_text("go")
