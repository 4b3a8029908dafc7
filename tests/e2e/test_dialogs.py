"""The client's About box, Internet settings, proxy settings and synchronise dialogs, opened by the
main window's commands and checked through their window trees (screenshots in build/artifacts)."""
import shutil
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

ID_ABOUT, ID_INTERNET_SETTINGS, ID_PROXY_SETTINGS = 32784, 32788, 32831
INTERNET_KEY = PRODUCT_KEY + "\\Internet Settings"
BM_CLICK = 0xF5
UPDATE_CGI = "/Vigilon/Cgi/cgiOnUpdate.exe"


def texts(tree):
    return {w["id"]: w["text"] for w in tree if w["id"]}


def control(tree, control_id):
    return next(w for w in tree if w["id"] == control_id)


def set_text(tree, control_id, text):
    wintest("settext", control(tree, control_id)["hwnd"], text)


def box_text(c):
    """The text of the message box now shown (caption "Vigilon"), and the box."""
    box = c.wait_window("#32770", "Vigilon")
    tree = c.tree(box)
    return " ".join(w["text"] for w in tree if w["class"] == "Static" and w["text"]), box


def wait_gone(c, hwnd, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if not any(w["visible"] for w in c.tree(hwnd)):
            return True
        time.sleep(0.1)
    return False


def pattern_text(number):
    return "%2d.%03d.%02d" % (number // 100000, number // 100 % 1000, number % 100) if number >= 1000 else str(number)


def test_about_box_shows_versions_server_and_a_cut_driver_version(client, demo_server):
    c = client()
    c.start()
    # A driver whose version text is far longer than the box's buffer (the loaded file is moved
    # aside, not overwritten).
    shutil.move(str(INSTALL / "filter32.vxd"), str(c.tmp / "filter32.vxd"))
    shutil.copy2(BIN / "longversion.dll", INSTALL / "filter32.vxd")
    c.command(ID_ABOUT)
    about = c.wait_window("#32770", "About Vigilon")
    tree = c.tree(about)
    shown = texts(tree)
    long_version = "9.876." + "".join(str(i % 10) for i in range(294))
    assert shown[1058] == "5.60"
    assert shown[1320] == "6.150"
    assert shown[1317] == long_version[:127]
    pattern = int(c.wait_trace("CAboutDlg::OnInitDialog(): pattern ")[0].split("pattern ")[1].split(",")[0])
    assert pattern > 0 and shown[1321] == pattern_text(pattern)
    assert shown[1326] == "127.0.0.1 : %d" % demo_server.port
    assert shown[1325] == "" and shown[1328] == ""
    assert shown[1322] == reg_get(PRODUCT_KEY, "GUID")[3:]
    assert shown[1323] == "Through HTTP"
    assert shown[1327] == "Normal mode"
    assert control(tree, 1001)["visible"]
    time.sleep(0.3)
    screenshot("dialog-about")
    wintest("click", about, 1)
    assert wait_gone(c, about, 10)
    c.unload()


def test_internet_settings_refuse_then_save_and_synchronise_through_the_proxy(client, demo_server):
    # No connection is kept open: Wine's WinInet would send a proxied request over a connection
    # kept to the server itself.
    demo_server.rule(path="*", close=True)
    c = client()
    c.start()
    before = reg_values(INTERNET_KEY)
    c.command(ID_INTERNET_SETTINGS)
    dlg = c.wait_window("#32770", "Internet Settings")
    tree = c.tree(dlg)
    combo = control(tree, 1368)
    assert combo["rows"][-1] == "127.0.0.1"                      # the server is offered
    time.sleep(0.3)
    screenshot("dialog-internet-settings")

    # A host name is refused, nothing is saved.
    set_text(tree, 1368, "update.example.com")
    set_text(tree, 1201, "80")
    wintest("click", dlg, 1)
    text, box = box_text(c)
    assert text == "Please enter a valid IP address: four numbers from 0 to 255 separated by dots."
    time.sleep(0.5)                                             # painted
    screenshot("dialog-internet-settings-refused")
    wintest("click", box, 1)
    assert wait_gone(c, box, 10)
    assert reg_values(INTERNET_KEY) == before

    # Another update source, a login and the demo server's proxy.
    set_text(tree, 1368, "10.255.255.1")
    set_text(tree, 1201, "8080")
    assert before["Use Anonymous"] == "dword:1" and not control(tree, 1207)["enabled"]
    wintest("send", control(tree, 1212)["hwnd"], BM_CLICK, 0, 0)
    assert c.tree(control(tree, 1207)["hwnd"])[0]["enabled"]
    set_text(tree, 1207, "updater")
    set_text(tree, 1182, "pw")
    wintest("send", control(tree, 1202)["hwnd"], BM_CLICK, 0, 0)
    assert c.tree(control(tree, 1203)["hwnd"])[0]["enabled"]
    set_text(tree, 1203, "127.0.0.1")
    set_text(tree, 1204, str(demo_server.proxy_port))
    set_text(tree, 1205, "pl")
    set_text(tree, 1206, "pp")
    wintest("click", dlg, 1)

    # The synchronisation runs; its report reaches the server through the proxy, addressed to
    # the server itself. The update source's pattern download is not built yet: it fails.
    text, box = box_text(c)
    assert text == "Vigilon could not be brought up to date with the server. Please check the Internet settings."
    values = reg_values(INTERNET_KEY)
    assert values.pop("Password").startswith("sz:") and values.pop("ProxyPassword").startswith("sz:!CRYPT!")
    assert values == {"Server": "sz:10.255.255.1", "ServerPort": "dword:8080", "User name": "sz:updater",
                      "UseProxy": "dword:1", "ProxyServer": "sz:127.0.0.1",
                      "ProxyPort": "dword:%d" % demo_server.proxy_port, "ProxyLogin": "sz:pl",
                      "Use Anonymous": "dword:0"}
    sync = [(e["via"], e["request_line"]) for e in demo_server.journal() if UPDATE_CGI in e["path"]]
    assert [via for via, _ in sync] == ["proxy", "server"]
    assert sync[0][1].startswith("GET http://127.0.0.1:%d%s?" % (demo_server.port, UPDATE_CGI))
    wintest("click", box, 1)

    # Back to the settings, which show what was saved.
    dlg = c.wait_window("#32770", "Internet Settings")
    tree = c.tree(dlg)
    assert control(tree, 1368)["rows"] == ["10.255.255.1", "127.0.0.1"]
    assert control(tree, 1203)["enabled"]                           # the proxy is in use
    wintest("click", dlg, 2)
    assert wait_gone(c, dlg, 10)
    c.unload()


def test_synchronise_cancel_of_a_hanging_server(client, demo_server):
    c = client()
    c.start()
    reg_set(INTERNET_KEY, "Server", "10.255.255.1")
    reg_set(INTERNET_KEY, "ServerPort", 8080)
    # The server holds the report far beyond Cancel's ten seconds before it answers.
    demo_server.rule(path=UPDATE_CGI, delay=30, times=1)
    c.command(ID_INTERNET_SETTINGS)
    dlg = c.wait_window("#32770", "Internet Settings")
    wintest("click", dlg, 1)
    sync = c.wait_window("#32770", "Synchronize with the Server")
    deadline = time.time() + 30
    while not [e for e in demo_server.journal() if UPDATE_CGI in e["path"]]:
        assert time.time() < deadline, "the report never reached the server"
        time.sleep(0.1)
    # The report hangs; the user's settings are what they were all along.
    assert reg_get(INTERNET_KEY, "Server") == "sz:10.255.255.1"
    assert reg_get(INTERNET_KEY, "ServerPort") == "dword:8080"
    time.sleep(0.3)
    screenshot("dialog-synchronise")
    started = time.time()
    wintest("click", sync, 2)
    # Cancelled: no message, back to the settings within the ten seconds of the wait.
    dlg = c.wait_window("#32770", "Internet Settings", timeout=20)
    took = time.time() - started
    assert took < 14, took
    assert not c.trace_lines("TerminateThread")
    assert c.wait_trace("did not end within 10000 ms: left to end by itself")
    assert reg_get(INTERNET_KEY, "Server") == "sz:10.255.255.1"
    assert reg_get(INTERNET_KEY, "ServerPort") == "dword:8080"
    wintest("click", dlg, 2)
    assert wait_gone(c, dlg, 10)
    # The worker, let go, ends when the server answers and leaves the upgrade lock behind it.
    c.wait_trace("[SynchronizeThreadThis] <--- Leave Upgrade Critical Section", timeout=40)
    c.unload()


def test_proxy_settings_take_a_host_name(client, demo_server):
    c = client()
    c.start()
    c.command(ID_PROXY_SETTINGS)
    dlg = c.wait_window("#32770", "Proxy Settings")
    tree = c.tree(dlg)
    assert not control(tree, 3114)["enabled"]
    wintest("send", control(tree, 3113)["hwnd"], BM_CLICK, 0, 0)
    assert c.tree(control(tree, 3114)["hwnd"])[0]["enabled"]
    set_text(tree, 3114, "proxy.example.com")
    set_text(tree, 1204, "8080")
    set_text(tree, 3116, "pl")
    time.sleep(0.3)
    screenshot("dialog-proxy-settings")
    wintest("click", dlg, 1)
    assert wait_gone(c, dlg, 10)
    values = reg_values(INTERNET_KEY)
    assert values["UseProxy"] == "dword:1" and values["ProxyServer"] == "sz:proxy.example.com"
    assert values["ProxyPort"] == "dword:8080" and values["ProxyLogin"] == "sz:pl"
    c.unload()
