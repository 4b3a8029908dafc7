"""The demo server on its own: what it accepts and refuses, its replies, scripted replies,
journal, the quarantine upload check and the proxy."""
import hashlib
import http.client
import pathlib
import socket
import sys
import time
import urllib.request

import pytest

from conftest import DEMO_SERVER, OPENER

sys.path.insert(0, str(DEMO_SERVER.parent))
import protocol  # noqa: E402
from programs import upload  # noqa: E402

GUID = "0a1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9"
CGI = "/Vigilon/Cgi/"
CLOSE = f"{CGI}cgiOnClose.exe?UID={GUID}&DATE=20261210&TIME=235959&RELEASE=5.58"


def get(port, target, method="GET", body=None, headers=None, timeout=10):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    conn.request(method, target, body=body, headers=headers or {})
    reply = conn.getresponse()
    result = reply.status, reply.read()
    conn.close()
    return result


# target, method, expected (status, body), why the server refuses it (None: accepted)
REQUESTS = [
    (CLOSE, "GET", (200, b"1"), None),
    (CLOSE.upper().replace(GUID.upper(), GUID), "GET", (200, b"1"), None),
    (f"{CGI}cgiOnClose.exe?UID={GUID}&DATE=20261310&TIME=235959&RELEASE=5.58", "GET",
     (200, b"-2"), "DATE: no such date"),
    (f"{CGI}cgiOnClose.exe?UID={GUID}&DATE=20261210&TIME=235959", "GET",
     (200, b"-2"), "RELEASE missing"),
    (CLOSE + "&EXTRA=1", "GET", (200, b"-2"), "unknown field 'EXTRA'"),
    (CLOSE + "&RELEASE=5.58", "GET", (200, b"-2"), "RELEASE given twice"),
    (f"{CGI}cgiOnClose.exe?UID={GUID.upper()}&DATE=20261210&TIME=235959&RELEASE=5.58", "GET",
     (200, b"-2"), "UID: not a client GUID"),
    (CLOSE, "POST", (405, b"Method Not Allowed"), "POST instead of GET"),
    (f"{CGI}cgiNoSuch.exe?UID={GUID}", "GET", (404, b"Not Found"), "no such CGI program"),
    # A CGI path built from an empty "Master_URL" without its leading slash.
    ("/VigilonCgi/cgiOnStart.exe", "GET", (404, b"Not Found"), "outside /vigilon/cgi/"),
    ("/Pattern/VXP$SIG.579", "GET", (200, b"\x00\x01pattern"), None),
    ("/pattern/missing", "GET", (404, b"Not Found"), None),
    ("/pattern/../Pattern/VXP$SIG.579", "GET", (404, b"Not Found"), None),
    ("/Pattern/VXP$SIG.579", "POST", (405, b"Method Not Allowed"), "POST of a file"),
]


def test_requests_are_checked_and_journaled(demo_server):
    (demo_server.files / "Pattern").mkdir()
    (demo_server.files / "Pattern" / "VXP$SIG.579").write_bytes(b"\x00\x01pattern")
    for target, method, expected, _ in REQUESTS:
        assert get(demo_server.port, target, method, body=b"" if method == "POST" else None) \
            == expected, (method, target)

    journal = demo_server.journal()
    assert [e["request_line"] for e in journal] == [f"{m} {t} HTTP/1.1" for t, m, _, _ in REQUESTS]
    assert [e["status"] for e in journal] == [exp[0] for _, _, exp, _ in REQUESTS]
    for entry, (_, _, _, why) in zip(journal, REQUESTS):
        assert (why is None) == ("invalid" not in entry), entry["request_line"]
        if why:
            assert why in entry["invalid"], entry["invalid"]
    first = journal[0]
    assert first["program"] == "cgiOnClose.exe" and first["via"] == "server"
    assert first["fields"] == {"UID": GUID, "DATE": "2026-12-10", "TIME": "23:59:59",
                               "RELEASE": "5.58"}
    assert len((demo_server.folder / "journal.jsonl").read_text().splitlines()) == len(journal)

    # A request line the server cannot read is journaled too.
    with socket.create_connection(("127.0.0.1", demo_server.port), timeout=10) as s:
        s.sendall(b"GET /Vigilon/Cgi/cgiOnSpecialLog.exe?desc=Espace disque HTTP/1.1\r\n\r\n")
        assert b" 400 " in s.recv(100)
    # reset forgets the journal, not the invalid requests.
    demo_server.reset()
    assert demo_server.journal() == []
    accepted = demo_server.accept_invalid()
    assert len(accepted) == sum(1 for r in REQUESTS if r[3]) + 1
    assert demo_server.invalid() == []


@pytest.mark.parametrize("form, raw, value", [
    (protocol.UTF8_TEXT, "C%3a%5cDaten%5cgr%c3%bcn%2etxt", "C:\\Daten\\grün.txt"),
    (protocol.UTF8_TEXT, "", ""),
    (protocol.UTF8_TEXT, "100%", "100%"),                  # the encoder leaves "%" as it is
    (protocol.UTF8_TEXT, "a.txt", None),                   # "." is escaped
    (protocol.UTF8_TEXT, "gr%fcn", None),                  # Latin-1, not UTF-8
    (protocol.PLAIN_TEXT, "Espace%20disque%20inf\xe9rieur%20\xe0%2020M", "Espace disque inférieur à 20M"),
    (protocol.PLAIN_TEXT, "a\x01b", None),
    (protocol.EXT_LIST, ".COM,.EXE,.DO?", ".COM,.EXE,.DO?"),
    (protocol.EXT_LIST, "*.*", "*.*"),
    (protocol.EXT_LIST, "COM,EXE", None),
    (protocol.DATE, "20280229", "2028-02-29"),
    (protocol.DATE, "20270229", None),
    (protocol.TIME, "240000", None),
    (protocol.HOTFIX_STAMP, "", ""),
    (protocol.HOTFIX_STAMP, "2026121012000", None),
    (protocol.ENGINE, "6.510", "6.510"),
    (protocol.IP_LIST, "10.1.2.3;192.168.0.7", ["10.1.2.3", "192.168.0.7"]),
    (protocol.IP_LIST, "10.1.2.300", None),
    (protocol.integer(1, 4), "5", None),
    (protocol.integer(1, 4), "+1", None),
])
def test_value_forms(form, raw, value):
    if value is None:
        with pytest.raises(protocol.Invalid):
            form(raw)
    else:
        assert form(raw) == value


def test_replies_follow_the_settings(demo_server):
    port = demo_server.port
    cfg = f"{CGI}cgiRqCfg.exe?UID={GUID}&EVENT="
    status, body = get(port, cfg + "3")
    assert status == 200 and body.startswith(b"0\r\n[Prescheduled Scan Configuration]\r\n")
    assert b"Frequency=1\r\n" in body and body.endswith(b"[Global Setting]\r\n")
    sections = [l for l in get(port, cfg + "0")[1].split(b"\r\n") if l.startswith(b"[")]
    assert len(sections) == 6
    demo_server.configure(scan_configuration_code=-5)
    assert get(port, cfg + "1") == (200, b"-5")

    ini = f"{CGI}cgiRqIni.exe?UID={GUID}&RELEASE=5.58&PRO2=1"
    text = get(port, ini)[1].decode()
    assert text.startswith("[INI_CRITICAL_SECTION]\n")
    assert f"Master_DomainName=127.0.0.1\nMaster_DomainPort={port}\n" in text
    demo_server.configure(global_setting={"WatchDogOnOff": 0}, alert_message="Call 555-0100",
                          hotfixes=[["HotFix/Ksxwin97.exe", "20261210120000"]],
                          policy="[SLF_PRODUCT_VIGILON_CE]\r\nEnable=1\r\n", check_ip_choice=2)
    assert get(port, ini + "&type=1")[1] == b"[Global Setting]\nWatchDogOnOff=0\n"
    assert get(port, ini + "&type=2")[1] == b"[Other Update Source]\n"
    assert get(port, f"{CGI}cgiRqUpd.exe?RELEASE=5.58&PRO2=1")[1] == \
        b"[INI_UPDATE_SECTION]\nUpdate_URL=/Vigilon/Download\n"
    assert get(port, f"{CGI}cgiRqHotFix.exe?ClientType=1&RELEASE=5.58")[1] == \
        b"HotFix/Ksxwin97.exe=20261210120000\n"
    assert get(port, f"{CGI}cgiRqAlertMsg.exe?")[1] == b"Call 555-0100"
    opp = f"{CGI}cgiRqOpp.exe?UID={GUID}&RELEASE=5.58&oppActivate="
    assert get(port, opp + "0&chkDatabase=1")[1].startswith(b"[SLF_PRODUCT_VIGILON_CE]")
    assert get(port, opp + "1") == (200, b"1")
    assert get(port, f"{CGI}cgiCheckIP.dll?IP=10.0.0.1;10.0.0.2")[1] == b"2"
    assert get(port, f"{CGI}cgiOnQueryClientBindPort.exe")[1] == \
        b"[INI_CLIENT_SECTION]\r\nCLIENT_LOCALSERVER_PORT=12345\r\n"
    # A reset restores the defaults.
    demo_server.reset()
    assert get(port, f"{CGI}cgiRqAlertMsg.exe?")[1] == b""
    assert get(port, opp + "0")[1] == b"-1"
    assert demo_server.invalid() == []


def test_scripted_replies(demo_server):
    cgi = f"{CGI}cgiOnClose.exe"
    demo_server.rule(path=cgi, status=200, body="-16\r\n", times=1)
    demo_server.rule(path=cgi, method="GET", status=503, times=1)
    assert get(demo_server.port, CLOSE) == (200, b"-16\r\n")
    assert get(demo_server.port, CLOSE.replace("cgiOnClose", "CGIONCLOSE")) == (503, b"")
    assert get(demo_server.port, CLOSE) == (200, b"1")      # both rules used up

    demo_server.rule(path=cgi, delay=0.6, times=1)
    start = time.monotonic()
    assert get(demo_server.port, CLOSE)[0] == 200
    assert time.monotonic() - start >= 0.6

    demo_server.rule(path=cgi, drop=True, times=1)
    with pytest.raises((http.client.HTTPException, ConnectionError)):
        get(demo_server.port, CLOSE)
    demo_server.rule(path=cgi, hang=True, times=1)
    with pytest.raises(TimeoutError):
        get(demo_server.port, CLOSE, timeout=0.5)
    assert [e["status"] for e in demo_server.journal()][-2:] == [None, None]

    with pytest.raises(urllib.error.HTTPError):
        demo_server.rule(path=cgi, colour="red")
    with pytest.raises(urllib.error.HTTPError):
        demo_server.configure(no_such_setting=1)


def backup_file(folder, name, body):
    """A backup file as the engine writes it: complemented header and body."""
    def item(kind, data):
        return bytes([kind]) + len(data).to_bytes(2, "little") + data
    header = (b"VSBF" + (1).to_bytes(4, "little") + (6).to_bytes(2, "little")
              + item(1, folder + b"\0") + item(2, name + b"\0") + item(3, b"\0")
              + item(4, bytes(4)) + item(5, bytes(4)) + item(6, bytes(4)))
    return bytes(~b & 0xFF for b in header + body)


def upload_body(data, computer=b"PC-1", verify=None, header=None):
    line = upload.BOUNDARY_LINE
    if verify is None:
        verify = upload.verify_digest(upload.backup_original_path(data), computer).encode()
    header = header or (b'Content-Disposition: form-data; name="newfile"\r\nContent-Type: '
                        b'text/plain; ComputerName="' + computer + b'"; Verify="' + verify
                        + b'"\r\n\r\n')
    return line + header + data + b"\r\n" + line


def test_quarantine_upload_is_checked(demo_server):
    data = backup_file(b"C:\\DATEN", b"EICAR.COM", b"X5O!P%@AP" + bytes(range(256)) * 8)
    target = f"{CGI}cgiRecvFile.exe"
    multipart = {"Content-Type": "multipart/form-data; "
                                 "boundary=-------------------------7d21673b802fc"}
    assert get(demo_server.port, target, "POST", upload_body(data), multipart) == \
        (200, b"cgiRecvFile_OK")
    entry = demo_server.journal()[-1]
    assert "invalid" not in entry
    q = entry["quarantine"]
    assert (q["computer"], q["original"], q["size"]) == ("PC-1", "C:\\DATEN\\EICAR.COM", len(data))
    assert pathlib.Path(q["saved"]).read_bytes() == data

    refused = [
        (upload_body(data, verify=b"0" * 32), multipart, "Verify"),
        (upload_body(data, computer=b"PC-2", verify=upload.verify_digest(
            b"C:\\DATEN\\EICAR.COM", b"PC-1").encode()), multipart, "Verify"),
        (upload_body(data)[:-2], multipart, "does not end with"),
        (upload_body(data, header=b"Content-Disposition: form-data; name=\"file\"\r\n\r\n"),
         multipart, "part header"),
        (upload_body(data), {"Content-Type": "text/plain"}, "Content-Type"),
        (upload_body(b"not a backup", verify=b"0" * 32), multipart, "not a backup file"),
    ]
    for body, headers, why in refused:
        assert get(demo_server.port, target, "POST", body, headers) == (200, b"cgiRecvFile_FAIL")
        assert why in demo_server.journal()[-1]["invalid"]
    assert get(demo_server.port, target)[0] == 405
    assert len(demo_server.accept_invalid()) == len(refused) + 1
    assert len(list(demo_server.uploads.iterdir())) == 1


def test_proxy_forwards_and_journals(demo_server):
    proxy = urllib.request.build_opener(urllib.request.ProxyHandler(
        {"http": f"http://127.0.0.1:{demo_server.proxy_port}"}))
    with proxy.open("http://vgl-server:8080" + CLOSE, timeout=10) as reply:
        assert reply.read() == b"1"
    demo_server.rule(proxy_auth="pu:pp", times=1)
    with pytest.raises(urllib.error.HTTPError) as info:
        proxy.open("http://vgl-server:8080/x", timeout=10)
    assert info.value.code == 407

    via = [(e["via"], e["request_line"]) for e in demo_server.journal()]
    assert via == [
        ("proxy", f"GET http://vgl-server:8080{CLOSE} HTTP/1.1"),
        ("server", f"GET {CLOSE} HTTP/1.1"),
        ("proxy", "GET http://vgl-server:8080/x HTTP/1.1"),
    ]
