"""The client listener under Wine, from Linux over loopback: the status query and its scrambled
body, the acknowledgement and the refusals byte for byte, what is handed to the command
dispatcher, idle, trickling and over-long requests, the limit on connections served at once,
the handles of finished listener threads and their end before the main window's, file-based
mode and the resume from suspend; and the
address-change watcher's re-connect after a status query found the client off line."""
import datetime
import email.utils
import json
import re
import socket
import threading
import time

import pytest

from clientlib import *  # noqa: F401,F403

pytestmark = pytest.mark.skipif(not (DISPLAY and (BIN / "Ksxwin97.exe").exists()),
                                reason="needs DISPLAY and the built client")

CGI = "/Vigilon/Cgi/"
WM_DELETE_THREAD = WM_USER + 1
WM_POWERBROADCAST, PBT_APMRESUMESUSPEND = 0x218, 7
REFUSAL = (b"HTTP/1.0 400 Bad Request\r\nServer: Vigilon Client\r\nContent-Type: text/plain\r\n"
           b"Accept-Ranges: bytes\r\nContent-Length: 4\r\n\r\nFail")
MAX_CONNECTIONS = 16
DISPATCHED = "--> NS_Notification::OnNotificationThreadThis("


def exchange(port, data, timeout=10):
    """Sends the bytes and reads until the listener closes the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(data)
        return read_all(s)


def read_all(s):
    reply = b""
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return reply
            reply += chunk
    except ConnectionResetError:
        return reply


def uncrypt(text):
    return first_line(run(BIN / "vgltool.exe", "uncrypt", text)[1])


def split_reply(reply):
    head, _, body = reply.partition(b"\r\n\r\n")
    return head.split(b"\r\n"), body


def check_head(lines, length):
    """The head of a 200 reply: its date is now, in RFC 1123 form."""
    assert lines[0] == b"HTTP/1.0 200 OK" and lines[1] == b"Server: Vigilon Client"
    date = lines[2].decode()
    assert re.fullmatch(r"Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
                        r" \d{4} \d\d:\d\d:\d\d GMT", date), date
    sent = email.utils.parsedate_to_datetime(date[6:])
    assert abs((sent - datetime.datetime.now(datetime.timezone.utc)).total_seconds()) < 60
    assert lines[3:] == [b"Content-Type: text/plain", b"Accept-Ranges: bytes", b"Content-Length: %d" % length]


def status_fields(port, line=b"GET /?CAVIT HTTP/1.0"):
    lines, body = split_reply(exchange(port, line + b"\r\nHost: client\r\nAccept: */*\r\n\r\n"))
    check_head(lines, len(body))
    assert body.startswith(b"!CRYPT!")
    text = uncrypt(body.decode())
    assert text.endswith("&")
    return dict(pair.split("=", 1) for pair in text[:-1].split("&"))


def dispatched(c):
    """The requests handed to the command dispatcher."""
    return re.findall(r"--> NS_Notification::OnNotificationThreadThis\((.*?), [0-9A-Fa-f]+\)", c.trace())


def wait_listening(c):
    c.wait_trace("<-- CTavmontDlg::CreateHttpServerThread(), port %d, fResult = 1" % c.listener_port)


def test_listener_replies_and_connections(client, demo_server):
    c = client()
    c.start()
    wait_listening(c)
    port = c.listener_port
    # A client that connects and says nothing; meanwhile every other request is served at once.
    idle = socket.create_connection(("127.0.0.1", port))
    idle_since = time.time()

    fields = status_fields(port)
    assert fields == {"SERVER": "127.0.0.1", "PLATFORM": "Windows 98 4.10.2222", "PTNFILE": "578",
                      "PROGRAM": "5.58", "ENGINE": "6.150", "GUID": reg_get(PRODUCT_KEY, "GUID")[3:],
                      "MOBILE": "0", "ISCONNECT": "1", "ZAVUZ": "0"}
    (INSTALL / "ZavuzRestore.ini").write_text("[x]\r\n")
    assert status_fields(port, b"get /?cavit HTTP/1.1") == dict(fields, ZAVUZ="1")

    lines, body = split_reply(exchange(port, b"GET /?CAVIT&A=1 HTTP/1.0\r\n\r\n"))
    check_head(lines, 2)
    assert body == b"OK"
    # The refusals: nothing after the request line is read when it is not a complete GET.
    for request in (b"GET / HTTP/1.0\r\n\r\n", b"POST /?x HTTP/1.0\r\n\r\n", b"GET\r\n", b"GET /?y\r\n",
                    b"GET /nothing HTTP/1.0\r\nHost: client\r\n\r\n"):
        assert exchange(port, request) == REFUSAL, request
    # A header line longer than the connection's buffer ends the exchange without a reply.
    assert exchange(port, b"GET /?CAVIT HTTP/1.0\r\nX-Long: " + b"a" * 2100 + b"\r\n\r\n") == b""
    # A marker: once it is dispatched, so is everything sent before it.
    exchange(port, b"GET /?marker HTTP/1.0\r\n\r\n")
    deadline = time.time() + 10
    while "/?marker" not in dispatched(c) and time.time() < deadline:
        time.sleep(0.1)
    assert sorted(dispatched(c)) == sorted(["/?CAVIT", "/?cavit", "/?CAVIT&A=1", "/?x", "/?marker",
                                            "/?y  "])                   # the trace blanks CR LF

    # The limit: with every connection busy the next one waits, and is served once one ends.
    busy = [socket.create_connection(("127.0.0.1", port)) for _ in range(MAX_CONNECTIONS - 1)]
    waiting = socket.create_connection(("127.0.0.1", port), timeout=10)
    waiting.sendall(b"GET /?CAVIT HTTP/1.0\r\n\r\n")
    waiting.settimeout(2)
    with pytest.raises(socket.timeout):
        waiting.recv(1)
    busy.pop().close()
    waiting.settimeout(10)
    assert read_all(waiting).startswith(b"HTTP/1.0 200 OK")
    for s in busy:
        s.close()
    waiting.close()

    # The idle client is dropped after 20 seconds, without a reply.
    idle.settimeout(30)
    assert read_all(idle) == b""
    assert 18 <= time.time() - idle_since <= 26
    idle.close()

    # Each finished thread's handle is closed once; a handle the client did not record as a
    # listener thread's (here the one of its own main-window mapping) is left alone.
    served = len(c.wait_trace("= ::CloseHandle(hThread = ", count=10))
    assert not c.trace_lines("fSuccess(0) = ::CloseHandle(hThread")
    # Both traces print the handle as a pointer (as many digits as the target's pointers).
    mapping_text = re.search(r"m_hmmfMainHwnd\(0x([0-9A-F]+)\)", c.trace()).group(1)
    c.post(WM_DELETE_THREAD, 0, int(mapping_text, 16))
    c.wait_trace("WM_DELETE_THREAD (0x%s) ignored" % mapping_text)
    assert c.mapping(MAINWND_MAPPING)["window"]
    assert len(c.trace_lines("= ::CloseHandle(hThread = ")) >= served

    # Resume from suspend: the listener is started again on the same port.
    c.post(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0)
    c.wait_trace("<-- CTavmontDlg::CreateHttpServerThread(), port %d, fResult = 1" % port, count=2)
    assert status_fields(port)["ISCONNECT"] == "1"
    c.unload()


def test_file_based_client_does_not_listen(client, tmp_path):
    c = client(ini={"INI_SERVER_SECTION": {"SetupType": "0", "MasterDirectory": "C:\\VglMaster"}})
    c.start()
    c.wait_trace("file-based mode, no listener")
    with pytest.raises(ConnectionRefusedError):
        socket.create_connection(("127.0.0.1", c.listener_port), timeout=5)
    c.unload()


def test_status_query_while_off_line_makes_the_watcher_reconnect(client, demo_server):
    # The server refuses the start-up announcement: the client counts itself off line.
    demo_server.rule(path=CGI + "cgiOnStart.exe", body="0", times=1)
    c = client(ini={"INI_CLIENT_SECTION": {"Check_IP_Change_Interval": "1"}})
    c.start()
    wait_listening(c)
    c.wait_trace("<-- NS_Notification::SendStatusLogNow(kvCurrentTime, 6), fSuccess = 0")
    assert status_fields(c.listener_port)["ISCONNECT"] == "0"
    # Within a cycle of the watcher the server is tested again and the client announces itself.
    c.wait_trace("[CheckIPChange] re-connect")
    deadline = time.time() + 20
    while len([e for e in demo_server.journal() if e["path"] == CGI + "cgiOnStart.exe"]) < 2:
        assert time.time() < deadline, "no second start log"
        time.sleep(0.2)
    assert status_fields(c.listener_port)["ISCONNECT"] == "1"
    c.unload()


def test_trickling_connections_are_bounded_and_status_is_answered(client, demo_server):
    c = client()
    c.start()
    wait_listening(c)
    port = c.listener_port
    # Every slot taken by a request that trickles in a byte a second and never ends.
    trickling = [socket.create_connection(("127.0.0.1", port)) for _ in range(MAX_CONNECTIONS)]
    since = time.time()
    for s in trickling:
        s.sendall(b"GET /?CAVIT HTTP/1.0\r\nX-Slow: ")
    stop = threading.Event()

    def trickle():
        while not stop.wait(1):
            for s in trickling:
                try:
                    s.sendall(b"a")
                except OSError:
                    pass
    feeder = threading.Thread(target=trickle, daemon=True)
    feeder.start()
    try:
        # A status query is answered once the whole-request bound drops them.
        query = socket.create_connection(("127.0.0.1", port), timeout=10)
        query.sendall(b"GET /?CAVIT HTTP/1.0\r\n\r\n")
        query.settimeout(45)
        assert read_all(query).startswith(b"HTTP/1.0 200 OK")
        assert time.time() - since <= 35
        query.close()
        for s in trickling:
            s.settimeout(10)
            assert read_all(s) == b""
        assert 18 <= time.time() - since <= 40
    finally:
        stop.set()
        feeder.join()
        for s in trickling:
            s.close()
    c.unload()


def test_listener_threads_end_before_the_main_window(client, demo_server):
    from test_push_commands import guid
    c = client()
    c.start()
    wait_listening(c)
    # A signed update command that waits a long DELAY first, while the client unloads.
    payload = {"port": c.listener_port, "guid": guid(), "message": 21,
               "fields": [["DELAY", 600], ["SERVER", "127.0.0.1"], ["SERVERPORT", demo_server.port]]}
    reply = json.loads(demo_server.control("push", payload))
    assert reply["status"] == 200 and reply["reply"] == "OK", reply
    c.wait_trace("waiting DELAY = 600 seconds")
    c.unload()
    trace = c.trace()
    # The command thread ended, without carrying out the command, before the window went.
    handled = trace.find("<-- NS_Notification::OnNotificationThreadThis(")
    destroyed = trace.find("<-- CTavmontDlg::OnDestroy()")
    assert 0 <= handled < destroyed
    assert "the client unloads: the command is not carried out" in trace
