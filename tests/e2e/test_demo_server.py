"""The demo server on its own: CGI replies, scripted replies, journal, uploads, proxy."""
import hashlib
import http.client
import time
import urllib.request

import pytest

from conftest import OPENER


def get(port, target, method="GET", body=None, headers=None, timeout=10):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    conn.request(method, target, body=body, headers=headers or {})
    reply = conn.getresponse()
    result = reply.status, reply.read()
    conn.close()
    return result


def test_cgi_defaults_downloads_and_journal(demo_server):
    (demo_server.files / "Pattern").mkdir()
    (demo_server.files / "Pattern" / "VXP$SIG.579").write_bytes(b"\x00\x01pattern")
    assert get(demo_server.port, "/Vigilon/Cgi/cgiOnStart.exe?UID=a&RELEASE=1") == (200, b"1")
    assert get(demo_server.port, "/VIGILON/CGI/CGIONCLOSE.EXE?UID=a") == (200, b"1")
    assert get(demo_server.port, "/pattern/vxp$sig.579") == (200, b"\x00\x01pattern")
    assert get(demo_server.port, "/pattern/missing")[0] == 404
    assert get(demo_server.port, "/pattern/../Pattern/VXP$SIG.579")[0] == 404

    journal = demo_server.journal()
    assert [e["request_line"] for e in journal] == [
        "GET /Vigilon/Cgi/cgiOnStart.exe?UID=a&RELEASE=1 HTTP/1.1",
        "GET /VIGILON/CGI/CGIONCLOSE.EXE?UID=a HTTP/1.1",
        "GET /pattern/vxp$sig.579 HTTP/1.1",
        "GET /pattern/missing HTTP/1.1",
        "GET /pattern/../Pattern/VXP$SIG.579 HTTP/1.1",
    ]
    assert [e["status"] for e in journal] == [200, 200, 200, 404, 404]
    assert journal[0]["query"] == "UID=a&RELEASE=1" and journal[0]["via"] == "server"
    # The journal file holds the same lines.
    lines = (demo_server.folder / "journal.jsonl").read_text().splitlines()
    assert len(lines) == len(journal)


def test_scripted_replies(demo_server):
    cgi = "/Vigilon/Cgi/cgiOnScan.exe"
    demo_server.rule(path=cgi, status=200, body="-16\r\n", times=1)
    demo_server.rule(path=cgi, method="GET", status=503, times=1)
    assert get(demo_server.port, cgi + "?UID=x") == (200, b"-16\r\n")
    assert get(demo_server.port, cgi.upper()) == (503, b"")
    assert get(demo_server.port, cgi) == (200, b"1")      # both rules used up

    demo_server.rule(path=cgi, delay=0.6, times=1)
    start = time.monotonic()
    assert get(demo_server.port, cgi)[0] == 200
    assert time.monotonic() - start >= 0.6

    demo_server.rule(path=cgi, drop=True, times=1)
    with pytest.raises((http.client.HTTPException, ConnectionError)):
        get(demo_server.port, cgi)
    demo_server.rule(path=cgi, hang=True, times=1)
    with pytest.raises(TimeoutError):
        get(demo_server.port, cgi, timeout=0.5)
    assert [e["status"] for e in demo_server.journal()][-2:] == [None, None]

    with pytest.raises(urllib.error.HTTPError):
        demo_server.rule(path=cgi, colour="red")
    demo_server.reset()
    assert demo_server.journal() == []


def test_upload_is_stored_byte_identical(demo_server):
    payload = bytes(range(256)) * 40 + b"\r\n--not-a-boundary\r\n"
    boundary = "----vglboundary"
    body = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"Computer\"\r\n\r\nPC-1\r\n"
            f"--{boundary}\r\nContent-Disposition: form-data; name=\"file\"; "
            f"filename=\"C:\\\\Quarantine\\\\eicar.com.vsbf\"\r\n"
            f"Content-Type: application/octet-stream\r\n\r\n").encode() + payload + \
        f"\r\n--{boundary}--\r\n".encode()
    status, reply = get(demo_server.port, "/vigilon/cgi/cgiRecvFile.exe", "POST", body,
                        {"Content-Type": f"multipart/form-data; boundary={boundary}"})
    assert (status, reply) == (200, b"cgiRecvFile_OK")
    entry = demo_server.journal()[-1]
    assert entry["fields"] == {"Computer": "PC-1"}
    (upload,) = entry["files"]
    assert upload["md5"] == hashlib.md5(payload).hexdigest()
    with open(upload["saved"], "rb") as f:
        assert f.read() == payload


def test_proxy_forwards_and_journals(demo_server):
    proxy = urllib.request.build_opener(urllib.request.ProxyHandler(
        {"http": f"http://127.0.0.1:{demo_server.proxy_port}"}))
    with proxy.open("http://vgl-server:8080/Vigilon/Cgi/cgiOnStart.exe?UID=p", timeout=10) as reply:
        assert reply.read() == b"1"
    demo_server.rule(proxy_auth="pu:pp", times=1)
    with pytest.raises(urllib.error.HTTPError) as info:
        proxy.open("http://vgl-server:8080/x", timeout=10)
    assert info.value.code == 407

    via = [(e["via"], e["request_line"]) for e in demo_server.journal()]
    assert via == [
        ("proxy", "GET http://vgl-server:8080/Vigilon/Cgi/cgiOnStart.exe?UID=p HTTP/1.1"),
        ("server", "GET /Vigilon/Cgi/cgiOnStart.exe?UID=p HTTP/1.1"),
        ("proxy", "GET http://vgl-server:8080/x HTTP/1.1"),
    ]
