"""The server connection, address checks and quarantine upload (netcheck.exe under Wine)
against the demo server."""
import hashlib
import os
import pathlib
import re
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("VGL_BUILD", ROOT / "build"))
CGI = "/Vigilon/Cgi/cgiOnClose.exe"
OBJECT = CGI + "?UID=0a1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9&DATE=20261210&TIME=120000&RELEASE=5.58"


def run(tmp_path, program, *args):
    out = tmp_path / f"{program}.out"
    with open(out, "wb") as fo:
        subprocess.run([str(BUILD / "wine-run"), str(BUILD / "bin" / f"{program}.exe"), *map(str, args)],
                       stdin=subprocess.DEVNULL, stdout=fo, stderr=subprocess.STDOUT, timeout=180)
    return out.read_text(errors="replace").splitlines()


def netcheck(tmp_path, *args):
    """The outcome line of one netcheck run."""
    return next(l for l in run(tmp_path, "netcheck", *args) if not l.startswith("ELAPSED "))


def server_settings(server, name="127.0.0.1", use_proxy=0, browser_proxy="off"):
    return ["-set", f"Server={name}", "-setdw", f"ServerPort={server.port}",
            "-setdw", f"UseProxy={use_proxy}", "-set", "ProxyServer=127.0.0.1",
            "-setdw", f"ProxyPort={server.proxy_port}", "-browserproxy", browser_proxy,
            "-fqdnfirst", "0"]


def lines(server, via=None):
    return [(e["via"], e["request_line"]) for e in server.journal() if via is None or e["via"] == via]


def test_proxy_modes_fall_back_in_their_order(tmp_path, demo_server):
    port, proxy = demo_server.port, demo_server.proxy_port
    # The profile's proxy refuses, the server refuses the direct request, the
    # browser's proxy gets it through.
    demo_server.rule(proxy_auth="corp:secret", times=1)
    demo_server.rule(path=CGI, status=404, close=True, times=1)
    settings = server_settings(demo_server, use_proxy=1, browser_proxy=f"127.0.0.1:{proxy}")
    assert netcheck(tmp_path, *settings, "connect", OBJECT) == "OK 1 1"
    full = f"GET http://127.0.0.1:{port}{OBJECT} HTTP/1.1"
    assert lines(demo_server) == [("proxy", full), ("server", f"GET {OBJECT} HTTP/1.1"),
                                  ("proxy", full), ("server", f"GET {OBJECT} HTTP/1.1")]


def test_return_codes_and_status_errors(tmp_path, demo_server):
    settings = server_settings(demo_server)
    for body, outcome in [("1\r\n", "OK 1 3"), ("0", "OK 0 1"), ("-16\r\n", "OK -16 5")]:
        demo_server.rule(path=CGI, body=body, times=1)
        assert netcheck(tmp_path, *settings, "connect", OBJECT) == outcome
    # A status error tries every proxy mode: an address has no second name form.
    demo_server.reset()
    demo_server.rule(path=CGI, status=500, close=True)
    assert netcheck(tmp_path, *settings, "connect", OBJECT).startswith("FAIL (500) ")
    assert lines(demo_server) == [("server", f"GET {OBJECT} HTTP/1.1")] * 3


def test_slow_and_silent_server(tmp_path, demo_server):
    settings = server_settings(demo_server, name="localhost")
    demo_server.rule(path=CGI, delay=1.0, times=1)
    assert netcheck(tmp_path, *settings, "connect", OBJECT, "-timeout", 5000) == "OK 1 1"
    # No answer: the time-out ends the whole request after one attempt.
    demo_server.reset()
    demo_server.rule(path=CGI, hang=True)
    out = run(tmp_path, "netcheck", *settings, "connect", OBJECT, "-timeout", 1500)
    assert out[0].startswith("FAIL (0x2EE2) ")
    elapsed = next(int(l.split()[1]) for l in out if l.startswith("ELAPSED "))
    assert elapsed < 1500 + 5000 + 2000
    assert lines(demo_server) == [("server", f"GET {OBJECT} HTTP/1.1")]


def test_quarantine_upload_arrives_byte_identical(tmp_path, demo_server):
    infected = tmp_path / "infected.bin"
    infected.write_bytes(b"MZ\x00\x01\r\n" + bytes(range(256)) * 40)
    backup = tmp_path / "backup.vsb"
    run(tmp_path, "vxptool", "backup", f"Z:{backup}", "--folder", "C:\\DATA", "--name", "EICAR.COM",
        "--body", f"Z:{infected}")
    data = backup.read_bytes()
    assert len(data) > len(infected.read_bytes())

    port, proxy = demo_server.port, demo_server.proxy_port
    assert netcheck(tmp_path, "upload", f"Z:{backup}", "PC1", "127.0.0.1", port) == "UPLOAD 0 0"
    assert netcheck(tmp_path, "upload", f"Z:{backup}", "PC1", "127.0.0.1", port,
                    "-proxy", f"127.0.0.1:{proxy}") == "UPLOAD 0 0"
    assert lines(demo_server) == [
        ("server", "POST /vigilon/cgi/cgiRecvFile.exe HTTP/1.0"),
        ("proxy", f"POST http://127.0.0.1:{port}/vigilon/cgi/cgiRecvFile.exe HTTP/1.0"),
        ("server", "POST /vigilon/cgi/cgiRecvFile.exe HTTP/1.1")]     # forwarded by the proxy
    received = [e["quarantine"] for e in demo_server.journal() if e["via"] == "server"]
    for q in received:
        assert q["computer"] == "PC1" and re.fullmatch(r"[0-9a-f]{32}", q["verify"])
        assert q["md5"] == hashlib.md5(data).hexdigest()
        assert pathlib.Path(q["saved"]).read_bytes() == data
    assert received[0]["verify"] == received[1]["verify"]

    # A server that does not acknowledge.
    demo_server.rule(path="/vigilon/cgi/cgiRecvFile.exe", body="cgiRecvFile_FAIL")
    assert netcheck(tmp_path, "upload", f"Z:{backup}", "PC1", "127.0.0.1", port) == "UPLOAD 7 0"


def test_ping_lookup_and_guid(tmp_path, demo_server):
    assert netcheck(tmp_path, "-set", "Server=localhost", "-setdw", "UseProxy=0", "-del", "ServerIP",
                    "ping") == "PING 1 ServerIP=127.0.0.1"
    assert netcheck(tmp_path, "-set", "Server=127.0.0.1", "ping") == "PING 1 ServerIP="
    assert netcheck(tmp_path, "-set", "Server=no-such-host.invalid", "-set", "ServerIP=",
                    "ping") == "PING 0 ServerIP="
    assert netcheck(tmp_path, "updateip").startswith("UPDATEIP 0 ")

    created = netcheck(tmp_path, "newguid").split()
    assert created[1] == "1" and re.fullmatch(r"[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}", created[2])
    assert netcheck(tmp_path, "guid") == f"GUID {created[2]}"
    assert netcheck(tmp_path, "newguid").split()[2] != created[2]
