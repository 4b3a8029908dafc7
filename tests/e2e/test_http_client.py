"""The client's HTTP request runner (httpget.exe under Wine) against the demo server."""
import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("VGL_BUILD", ROOT / "build"))
CGI = ("/Vigilon/Cgi/cgiOnClose.exe?UID=0a1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9&DATE=20261210"
       "&TIME=120000&RELEASE=5.58")


def httpget(tmp_path, *args):
    """Runs one request; returns (outcome line, elapsed ms)."""
    out = tmp_path / "httpget.out"
    with open(out, "wb") as fo:
        subprocess.run([str(BUILD / "wine-run"), str(BUILD / "bin" / "httpget.exe"), *map(str, args)],
                       stdin=subprocess.DEVNULL, stdout=fo, stderr=subprocess.STDOUT, timeout=120)
    lines = out.read_text().splitlines()
    elapsed = next(int(l.split()[1]) for l in lines if l.startswith("ELAPSED "))
    return next(l for l in lines if not l.startswith("ELAPSED ")), elapsed


def request_lines(server, via=None):
    return [e["request_line"] for e in server.journal() if via is None or e["via"] == via]


def test_get_direct_and_through_each_proxy_mode(tmp_path, demo_server):
    port, proxy = demo_server.port, demo_server.proxy_port
    # Our own proxy (access type chosen from the options): the proxy sees the full URL.
    assert httpget(tmp_path, "-proxy", f"127.0.0.1:{proxy}", "127.0.0.1", port, CGI)[0] == "OK 1"
    # Direct access overrides the proxy; the browser's settings (none here) go direct too.
    assert httpget(tmp_path, "-proxy", f"127.0.0.1:{proxy}", "-access", 1, "127.0.0.1", port, CGI)[0] == "OK 1"
    assert httpget(tmp_path, "-access", 0, "127.0.0.1", port, CGI)[0] == "OK 1"
    # No proxy of our own: direct.
    assert httpget(tmp_path, "127.0.0.1", port, CGI)[0] == "OK 1"

    assert request_lines(demo_server, "proxy") == [f"GET http://127.0.0.1:{port}{CGI} HTTP/1.1"]
    assert request_lines(demo_server, "server") == [f"GET {CGI} HTTP/1.1"] * 4
    first = demo_server.journal()[0]
    assert ["Accept", "*/*"] in first["headers"]


def test_proxy_credentials(tmp_path, demo_server):
    args = ["-proxy", f"127.0.0.1:{demo_server.proxy_port}", "127.0.0.1", demo_server.port, CGI]
    demo_server.rule(proxy_auth="corp\\av:s3cret", times=2)
    assert httpget(tmp_path, "-puser", "corp\\av", "-ppass", "s3cret", *args)[0] == "OK 1"
    assert httpget(tmp_path, "-puser", "corp\\av", "-ppass", "wrong", *args)[0] == "STATUS 407"
    proxy_entries = [e for e in demo_server.journal() if e["via"] == "proxy"]
    sent = [dict((k.lower(), v) for k, v in e["headers"]).get("proxy-authorization") for e in proxy_entries]
    assert sent[0] == "Basic Y29ycFxhdjpzM2NyZXQ="


@pytest.mark.parametrize("rule, outcome", [
    ({"body": "-16\r\n"}, "OK 5"),
    ({"status": 404, "body": "missing"}, "STATUS 404"),
    ({"status": 500}, "STATUS 500"),
    ({"status": 401}, "STATUS 401"),
])
def test_reply_kinds(tmp_path, demo_server, rule, outcome):
    demo_server.rule(path="/Vigilon/Cgi/cgiOnClose.exe", **rule)
    assert httpget(tmp_path, "127.0.0.1", demo_server.port, CGI)[0] == outcome


def test_slow_silent_and_cancelled_server(tmp_path, demo_server):
    cgi = "/Vigilon/Cgi/cgiOnClose.exe"
    target = ["127.0.0.1", demo_server.port, CGI]
    demo_server.rule(path=cgi, delay=1.0, times=1)
    assert httpget(tmp_path, "-timeout", 4000, *target)[0] == "OK 1"

    demo_server.rule(path=cgi, delay=30, times=1)
    outcome, elapsed = httpget(tmp_path, "-timeout", 1500, *target)
    assert outcome == "INET 12002" and 1400 <= elapsed < 1500 + 5000 + 1000

    demo_server.rule(path=cgi, hang=True, times=1)
    outcome, elapsed = httpget(tmp_path, "-timeout", 20000, "-cancel-after", 700, *target)
    assert outcome == "INET 12017" and 900 <= elapsed < 1000 + 5000 + 1000

    # A connection closed without a reply is a failure (WinInet reports it as
    # an error or as a reply without status, depending on its version).
    demo_server.rule(path=cgi, drop=True, times=1)
    assert httpget(tmp_path, "-timeout", 4000, *target)[0] in ("STATUS 0", "INET 12152", "INET 12030")


def test_download_and_unknown_host(tmp_path, demo_server):
    body = bytes(range(256)) * 300
    (demo_server.files / "VXP$SIG.580").write_bytes(body)
    target = tmp_path / "got.bin"
    assert httpget(tmp_path, "-o", "Z:" + str(target), "127.0.0.1", demo_server.port,
                   "/vxp$sig.580")[0] == f"OK {len(body)}"
    assert target.read_bytes() == body
    assert httpget(tmp_path, "no-such-host.invalid", demo_server.port, CGI)[0] == "INET 12007"
