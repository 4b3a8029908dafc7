"""Component updates in the running client under Wine, started by the server's update command:
a newer pattern through the update library and, when the library fails, as a zip from the
client's own server (the engine then runs it, the status query reports it, the server hears of
the update, the staging folder is gone; a damaged package changes nothing); a newer engine
(the old one kept in "Rollback") and its rollback by push command; a new program build staged
and handed to the update program with the pending values set."""
import json
import threading
import time

import pytest

from clientlib import *  # noqa: F401,F403
from test_listener import status_fields, wait_listening
from test_push_commands import Pusher, journal_lines
from test_settings_updates import CRITICAL
from test_uninstall import wait_box_with
from test_update_program import temp_folder

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()
                                     and (BIN / "packages" / "pattern.zip").exists()),
                                reason="needs DISPLAY, the built client and the component packages")

DOWNLOAD = "/vigilon/download"
ENGINE_JOURNAL = INSTALL / "filter32.log"
LIBRARY_JOURNAL = INSTALL / "Ruderire.log"
VERSION_KEYS = ("Ptnfile_Version", "Engine95_Version", "Ksx95_Version")
INTERNET_KEY = PRODUCT_KEY + "\\Internet Settings"
ID_UPDATE_NOW = 32785


def offer(demo_server, update_section):
    """The server's update table, and the newest versions in the client settings (a renewal
    fetches only the components whose versions the settings name)."""
    demo_server.configure(update_section=dict({"Update_URL": DOWNLOAD}, **update_section),
                          critical_section=dict(CRITICAL, **{k: v for k, v in update_section.items()
                                                            if k in VERSION_KEYS}))


def start_updating_client(client, demo_server, update_section, libraries=("Ruderire.DLL", "Unzip.dll"), **kwargs):
    """A running client with the update library beside it, and the server's update table."""
    c = client(**kwargs)
    for name in libraries:
        shutil.copy2(BIN / name, INSTALL / name)
    offer(demo_server, update_section)
    c.start()
    wait_listening(c)
    c.wait_trace("<-- CIOMonitorDlg::InitializeVexor() = 1")
    return c, Pusher(c, demo_server)


def engine_loads():
    return [line for line in journal_lines(ENGINE_JOURNAL) if " ENGINE loaded " in line or
            line.startswith("ENGINE loaded ")]


def paths(server, start=0):
    """The downloads asked for (the update library asks in lower case)."""
    return [e["path"].lower() for e in server.journal()[start:] if not e.get("program")]


def wait_update_log(server, start, timeout=15, **fields):
    """The first update status log since the journal's entry start that carries the fields (the
    status logs are sent by their own thread: an earlier one may still arrive later)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for e in server.journal()[start:]:
            if e.get("program") == "cgiOnUpdate.exe" and all(e["fields"][k] == v for k, v in fields.items()):
                return e
        time.sleep(0.1)
    raise AssertionError("no update status log with %r: %r" % (
        fields, [e["fields"] for e in server.journal()[start:] if e.get("program") == "cgiOnUpdate.exe"]))


def staging(name):
    return temp_folder() / name


def update_logs(server, start=0):
    return [e["fields"] for e in server.journal()[start:] if e.get("program") == "cgiOnUpdate.exe"]


PATTERN = {"Ptnfile_Version": "579", "Ptnfile": "pattern.zip"}
ENGINE = {"Engine95_Version": "6.200", "Engine95": "engine.zip"}


@pytest.mark.parametrize("way", ["library", "direct", "damaged"])
def test_pattern_update(client, demo_server, way):
    if way == "direct":
        # The library finds no component list: the client takes the zip itself.
        demo_server.rule(path=DOWNLOAD + "/components.ini", status=404)
    if way == "damaged":
        demo_server.rule(path=DOWNLOAD + "/pattern.zip", body="PK\x03\x04 not a zip archive")
    c, push = start_updating_client(client, demo_server, PATTERN)
    loads = len(engine_loads())
    mark = len(demo_server.journal())
    push.send(21)
    fetched = paths(demo_server, mark)
    assert fetched[0] == DOWNLOAD + "/components.ini"
    library = "\n".join(journal_lines(LIBRARY_JOURNAL))
    assert "Pattern: current 578, server 579 (579)" in library or way == "direct"
    if way == "library":
        assert fetched == [DOWNLOAD + "/components.ini", DOWNLOAD + "/pattern.zip"]
        assert "KvuUpdateEx -> 0" in library
    else:
        assert fetched[-1] == DOWNLOAD + "/pattern.zip" and len(fetched) >= 2
        # The server is named by its address: one pass, once in each proxy mode.
        assert library.count("KvuUpdateEx url=http://127.0.0.1:%d/vigilon/download " % demo_server.port) == 3
    assert not staging("Vigilon_PatternUpdate").exists()
    assert not (INSTALL / "pattern.zip").exists()
    if way == "damaged":
        assert not (INSTALL / "VXP$SIG.579").exists() and (INSTALL / "VXP$SIG.578").exists()
        assert len(engine_loads()) == loads
        assert status_fields(c.listener_port)["PTNFILE"] == "578"
        wait_update_log(demo_server, mark, PATTERN=578)
    else:
        assert (INSTALL / "VXP$SIG.579").exists()
        new_loads = engine_loads()[loads:]
        assert new_loads and new_loads[-1].endswith("VXP$SIG.579 status 0"), new_loads
        assert status_fields(c.listener_port)["PTNFILE"] == "579"
        wait_update_log(demo_server, mark, PATTERN=579)
    c.unload()


def test_a_patch_that_cannot_be_applied_is_followed_by_the_full_pattern(client, demo_server):
    # The server offers a patch from 578; without "Patch.EXE" the library cannot apply it.
    folder = demo_server.files / "Vigilon" / "Download"
    folder.mkdir(parents=True)
    (folder / "components.ini").write_text("[Pattern]\r\nVersion=579\r\nFile=pattern.zip\r\n"
                                           "PatchFrom=578\r\nPatchFile=patch.zip\r\n")
    c, push = start_updating_client(client, demo_server, PATTERN)
    push.send(21)
    runs = [line for line in journal_lines(LIBRARY_JOURNAL) if "KvuUpdateEx" in line]
    assert [r.split("flags=")[1].split()[0] for r in runs if "flags=" in r] == ["0x21022", "0x20062"]
    assert [r.split("-> ")[1] for r in runs if "-> " in r] == ["46", "0"]
    assert c.trace_lines("KvuUpdate patch.exe update fail try full pattern")
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    c.unload()


def own_server_fails_and_maker_offers_the_pattern(demo_server):
    """The maker's update service (the demo server's "Maker" folder) holds the pattern; the
    client's own server has no component list."""
    maker = demo_server.files / "Maker"
    maker.mkdir()
    for name in ("components.ini", "pattern.zip"):
        shutil.copy2(BIN / "packages" / name, maker / name)
    demo_server.rule(path=DOWNLOAD + "/components.ini", status=404)


def test_the_makers_update_service_when_the_own_server_fails(client, demo_server):
    own_server_fails_and_maker_offers_the_pattern(demo_server)
    c, push = start_updating_client(client, demo_server, PATTERN, ini={
        "INI_CLIENT_SECTION": {"Client_Allow_Update_From_KVNF": "1"},
        "INI_PROGRAM_VERSION_SECTION": {"Master_Pattern_URL": "http://127.0.0.1:%d/Maker" % demo_server.port}})
    mark = len(demo_server.journal())
    push.send(21)
    fetched = paths(demo_server, mark)
    assert fetched[-2:] == ["/maker/components.ini", "/maker/pattern.zip"]
    assert fetched.count(DOWNLOAD + "/components.ini") == 3 and DOWNLOAD + "/pattern.zip" not in fetched
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    c.unload()


def test_the_makers_update_service_through_a_proxy_that_asks_for_a_login(client, demo_server):
    own_server_fails_and_maker_offers_the_pattern(demo_server)
    # The proxy refuses every request without its login.
    demo_server.rule(proxy_auth="corp:s3cret")
    # The maker's service by another name than the client's own server (whose connections
    # Wine would otherwise reuse for the proxy's requests).
    c, push = start_updating_client(client, demo_server, PATTERN, ini={
        "INI_CLIENT_SECTION": {"Client_Allow_Update_From_KVNF": "1"},
        "INI_PROGRAM_VERSION_SECTION": {"Master_Pattern_URL": "http://localhost:%d/Maker" % demo_server.port}})
    # The Internet settings keep the proxy password scrambled.
    scrambled = first_line(run(BIN / "vgltool.exe", "crypt", "s3cret")[1])
    for name, value in (("UseProxy", 1), ("ProxyServer", "127.0.0.1"), ("ProxyPort", demo_server.proxy_port),
                        ("ProxyLogin", "corp"), ("ProxyPassword", scrambled)):
        reg_set(INTERNET_KEY, name, value)
    mark = len(demo_server.journal())
    push.send(21)
    maker_requests = [(e["via"], e["path"].lower(), e.get("status")) for e in demo_server.journal()[mark:]
                      if e["path"].lower().startswith("/maker/")]
    # Each through the proxy with the login at the first try, then forwarded to the server.
    assert [(via, path) for via, path, _ in maker_requests] == [
        ("proxy", "/maker/components.ini"), ("server", "/maker/components.ini"),
        ("proxy", "/maker/pattern.zip"), ("server", "/maker/pattern.zip")]
    assert 407 not in [status for _, _, status in maker_requests]
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    c.unload()


def test_missing_support_files_are_fetched_without_replacing_any(client, demo_server):
    service = demo_server.files / "Vigilon" / "Service"
    service.mkdir(parents=True)
    shutil.copy2(BIN / "Unzip.dll", service / "Unzip.DLL")
    (service / "Zlib.DLL").write_bytes(b"zlib from the server")
    (service / "Patch.EXE").write_bytes(b"")
    # No update library and no unzip library; a present "Zlib.DLL" stays as it is.
    c, push = start_updating_client(client, demo_server, PATTERN, libraries=())
    (INSTALL / "Zlib.DLL").write_bytes(b"working zlib")
    mark = len(demo_server.journal())
    push.send(21)
    assert paths(demo_server, mark)[:2] == ["/vigilon/service/unzip.dll", "/vigilon/service/patch.exe"]
    assert (INSTALL / "Unzip.DLL").read_bytes() == (BIN / "Unzip.dll").read_bytes()
    assert (INSTALL / "Zlib.DLL").read_bytes() == b"working zlib"
    assert not (INSTALL / "Patch.EXE").exists() and not list(INSTALL.glob("*.tmp"))
    # The library still cannot be loaded: traced, no message box; the zip is taken directly
    # and unpacked with the fetched unzip library.
    assert c.trace_lines("LoadLibraryEx(C:\\Program Files\\Vigilon Client\\Ruderire.DLL) failed")
    assert paths(demo_server, mark)[-1] == DOWNLOAD + "/pattern.zip"
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    c.unload()


def test_engine_update_and_rollback(client, demo_server):
    c, push = start_updating_client(client, demo_server, ENGINE)
    loads = len(engine_loads())
    mark = len(demo_server.journal())
    push.send(21)
    assert "version 6.200 pattern" in engine_loads()[-1] and len(engine_loads()) > loads
    assert (INSTALL / "vexor32.vxd").read_bytes() == (BIN / "engine-next" / "vexor32.vxd").read_bytes()
    assert (INSTALL / "Rollback" / "vexor32.vxd").read_bytes() == (BIN / "vexor32.vxd").read_bytes()
    assert not list(INSTALL.glob("*.BAK")) and not staging("Vigilon_EngineUpdate").exists()
    wait_update_log(demo_server, mark, ENGINE="6.200")

    # The server asks for the engine before: the kept copy runs again and is reported.
    mark = len(demo_server.journal())
    push.send(31, **{"95_ENGINE_ROLLBACK": "6.150"})
    # The command is carried out after its answer: the reload comes in its own time.
    assert wait_for(lambda: "version 6.150 pattern" in engine_loads()[-1], timeout=60)
    assert (INSTALL / "vexor32.vxd").read_bytes() == (BIN / "vexor32.vxd").read_bytes()
    wait_update_log(demo_server, mark, ENGINE="6.150")
    # A second rollback finds the same version kept: nothing is swapped.
    loads = len(engine_loads())
    push.send(31, **{"95_ENGINE_ROLLBACK": "6.150"})
    assert len(engine_loads()) == loads
    c.unload()


def test_a_damaged_engine_package_changes_nothing(client, demo_server):
    demo_server.rule(path=DOWNLOAD + "/engine.zip", body="PK\x03\x04 not a zip archive")
    c, push = start_updating_client(client, demo_server, ENGINE)
    loads = len(engine_loads())
    mark = len(demo_server.journal())
    push.send(21)
    # The library and then the client's own download both got the damaged zip.
    assert paths(demo_server, mark).count(DOWNLOAD + "/engine.zip") == 4
    assert len(engine_loads()) == loads
    assert (INSTALL / "vexor32.vxd").read_bytes() == (BIN / "vexor32.vxd").read_bytes()
    assert not (INSTALL / "Rollback").exists() and not (INSTALL / "engine.zip").exists()
    wait_update_log(demo_server, mark, ENGINE="6.150")
    c.unload()
    # The engine's staging folder is kept for the next engine update; this test's goes.
    shutil.rmtree(staging("Vigilon_EngineUpdate"), ignore_errors=True)


def test_pattern_rollback_deletes_the_newest_pattern(client, demo_server):
    c, push = start_updating_client(client, demo_server, PATTERN)
    push.send(21)
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    mark = len(demo_server.journal())
    push.send(14, ROLLBACK=578)
    assert not (INSTALL / "VXP$SIG.579").exists()
    assert engine_loads()[-1].endswith("VXP$SIG.578 status 0")
    wait_update_log(demo_server, mark, PATTERN=578)
    c.unload()


def test_pattern_rollback_to_a_damaged_pattern_keeps_the_newest(client, demo_server):
    c, push = start_updating_client(client, demo_server, PATTERN)
    push.send(21)
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    (INSTALL / "VXP$SIG.578").write_bytes(b"VXP$SIG damaged")
    mark = len(demo_server.journal())
    push.send(14, ROLLBACK=578)
    # The older pattern did not load: the newest stays and runs again; no rollback is reported.
    assert (INSTALL / "VXP$SIG.579").exists()
    assert engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    assert c.trace_lines("Failed to rollback specific pattern version")
    assert status_fields(c.listener_port)["PTNFILE"] == "579"
    c.unload()
    # (The pattern update's own report may still arrive after the mark.)
    assert 578 not in [f.get("PATTERN") for f in update_logs(demo_server, mark)]


def test_update_now_installs_pattern_and_engine_in_the_running_client(client, demo_server):
    c, _ = start_updating_client(client, demo_server, dict(PATTERN, **ENGINE))
    loads = len(engine_loads())
    renewals = len(c.trace_lines("<-- NS_Notification::UpdateNewSettings("))
    mark = len(demo_server.journal())
    c.command(ID_UPDATE_NOW)
    c.wait_trace("<-- NS_Notification::UpdateNewSettings(", count=renewals + 1, timeout=90)
    assert len(engine_loads()) > loads
    assert "version 6.200 pattern" in engine_loads()[-1] and engine_loads()[-1].endswith("VXP$SIG.579 status 0")
    assert (INSTALL / "vexor32.vxd").read_bytes() == (BIN / "engine-next" / "vexor32.vxd").read_bytes()
    assert (INSTALL / "Rollback" / "vexor32.vxd").read_bytes() == (BIN / "vexor32.vxd").read_bytes()
    assert not staging("Vigilon_PatternUpdate").exists() and not staging("Vigilon_EngineUpdate").exists()
    assert status_fields(c.listener_port)["PTNFILE"] == "579"
    wait_update_log(demo_server, mark, PATTERN=579, ENGINE="6.200")
    c.unload()
    assert len(update_logs(demo_server, mark)) == 1, update_logs(demo_server, mark)


def test_an_update_program_that_cannot_start_is_shown_before_its_files_go(client, demo_server):
    c, push = start_updating_client(client, demo_server, {"Ksx95_Version": "5.70", "Ksx95": "win95.zip"})
    for name in ("95Did.exe", "VigilonUpdate.exe"):
        (INSTALL / name).unlink()
    mark = len(demo_server.journal())
    sender = threading.Thread(target=push.send, args=(21,))
    sender.start()
    try:
        # One message for each name tried, each naming the program.
        for name in ("95Did.exe", "VigilonUpdate.exe"):
            box = wait_box_with(c, "C:\\Program Files\\Vigilon Client\\%s could not be started." % name,
                                timeout=60)
            wintest("click", box, 1)
    finally:
        sender.join(60)
    assert not sender.is_alive()
    assert len([line for line in c.trace_lines("ErrMsg = ") if "NS_Notification::SpawnProcess(" in line]) == 2
    assert not staging("Vigilon_ProgramUpdate").exists()
    assert reg_get(PRODUCT_KEY, "ProgramUpdate Pending") != "dword:1"
    # The server learns the unchanged versions.
    wait_update_log(demo_server, mark)
    c.unload()


def test_program_update_is_handed_to_the_update_program(client, demo_server):
    c, push = start_updating_client(client, demo_server, {"Ksx95_Version": "5.70", "Ksx95": "win95.zip"})
    # A stand-in that ends at once: the real update program would unload and restart the client.
    for name in ("95Did.exe", "VigilonUpdate.exe"):
        shutil.copy2(BIN / "vgltool.exe", INSTALL / name)
    mark = len(demo_server.journal())
    push.send(21)
    assert paths(demo_server, mark) == [DOWNLOAD + "/win95.zip"]
    staged = staging("Vigilon_ProgramUpdate")
    try:
        assert (staged / "Ksxwin97.exe").read_bytes() == (BIN / "Ksxwin97.exe").read_bytes()
        assert not (INSTALL / "win95.zip").exists()
        started = c.trace_lines("= CreateProcess(")
        assert started and started[-1].split("= CreateProcess(", 1)[1].startswith(
            '"C:\\Program Files\\Vigilon Client\\95Did.exe" /AllowUpdate)'), started
        assert reg_get(PRODUCT_KEY, "Update Pending") == "dword:1"
        assert reg_get(PRODUCT_KEY, "ProgramUpdate Pending") == "dword:1"
        line = wintest_first("mapping", "VigilonCorp_95_ProgramVersion")
        assert line != "absent" and int(line.split()[0], 16).to_bytes(4, "little") == b"5.70"
        # The server hears of no update yet: the update program reports it after the move.
        assert "cgiOnUpdate.exe" not in [e.get("program") for e in demo_server.journal()[mark:]]
    finally:
        shutil.rmtree(staged, ignore_errors=True)
    c.unload()


def test_the_update_program_takes_the_program_over(client, demo_server):
    c = client()
    for name in ("Ruderire.DLL", "Unzip.dll"):
        shutil.copy2(BIN / name, INSTALL / name)
    offer(demo_server, {"Ksx95_Version": "5.70", "Ksx95": "win95.zip"})
    c.start()
    wait_listening(c)
    old_pid = c.pid
    Pusher(c, demo_server).send(21)
    # The update program unloads the client, moves the build into place, records its version
    # and starts the client again.
    deadline = time.time() + 90
    while time.time() < deadline:
        mapping = c.mapping(MAINWND_MAPPING)
        if mapping and mapping["window"] and mapping["pid"] != old_pid:
            break
        time.sleep(0.2)
    else:
        raise AssertionError("the client was not started again:\n" + c.trace()[-3000:])
    c.pid, c.hwnd = mapping["pid"], mapping["value"]
    c.wait_trace("<-- CTavmontDlg::OnInitDialog()", count=2, timeout=30)
    assert c.trace_lines("NS_RegistryKey::SetProgramVersion(5.70)")
    assert reg_get(PRODUCT_KEY, "ProgramUpdate Pending") == "dword:0"
    assert not staging("Vigilon_ProgramUpdate").exists()
    c.unload()
