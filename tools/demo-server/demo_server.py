#!/usr/bin/python3
"""The Vigilon demo server: the server side of the client's HTTP protocol on 127.0.0.1.

It answers the CGI programs under /Vigilon/Cgi/ (paths compared without regard to case),
receives quarantine uploads, serves downloads from a folder, records every request in a
JSON-lines journal, lets tests script replies through a small control interface, and runs
a proxy on a second port. See README.md beside this file.
"""
import argparse
import base64
import email.parser
import email.policy
import hashlib
import http.client
import http.server
import json
import os
import signal
import socketserver
import sys
import threading
import time
import urllib.parse

CGI_PREFIX = "/vigilon/cgi/"
CONTROL_PREFIX = "/_demo/"

# The reply of each CGI program when no rule says otherwise: (status, body).
# Programs not listed answer "1" (the server's success return code).
DEFAULT_REPLIES = {
    "cgirecvfile.exe": (200, b"cgiRecvFile_OK"),
}
DEFAULT_CGI_REPLY = (200, b"1")

# The quarantine upload's body: this boundary line, one part header, the backup
# file's bytes, CR LF and the same boundary line again.
QUARANTINE_BOUNDARY = b"---------------------------7d21673b802fc\r\n"

HOP_BY_HOP = {"connection", "keep-alive", "proxy-authorization", "proxy-authenticate",
              "proxy-connection", "te", "trailer", "transfer-encoding", "upgrade"}


class Rule:
    """A scripted reply for one path (or "*"), optionally for one method and a number of uses."""

    FIELDS = {"path", "method", "status", "body", "body_file", "headers", "delay", "drop", "hang",
              "times", "proxy_auth", "close"}

    def __init__(self, spec):
        unknown = set(spec) - self.FIELDS
        if unknown:
            raise ValueError(f"unknown rule fields: {sorted(unknown)}")
        self.path = spec.get("path", "*").lower()
        self.method = spec.get("method")
        # Status and body default to what the path answers without the rule.
        self.status = int(spec["status"]) if "status" in spec else None
        body = spec.get("body")
        if "body_file" in spec:
            with open(spec["body_file"], "rb") as f:
                body = f.read()
        self.body = body.encode("latin-1") if isinstance(body, str) else body
        self.headers = dict(spec.get("headers", {}))
        self.delay = float(spec.get("delay", 0))
        self.drop = bool(spec.get("drop", False))
        self.hang = bool(spec.get("hang", False))
        self.times = spec.get("times")
        self.proxy_auth = spec.get("proxy_auth")     # "user:password" the proxy requires
        self.close = bool(spec.get("close", False))  # "Connection: close" after the reply

    def matches(self, method, path):
        return ((self.path == "*" or self.path == path.lower())
                and (self.method is None or self.method.upper() == method))


class State:
    """Rules and journal shared by both ports."""

    def __init__(self, journal_path, files_dir, uploads_dir, script_path):
        self.lock = threading.Lock()
        self.rules = []
        self.journal = []
        self.journal_path = journal_path
        self.files_dir = files_dir
        self.uploads_dir = uploads_dir
        self.script_path = script_path
        self.script_mtime = None
        self.stopping = threading.Event()
        self.main_port = 0
        if journal_path:
            open(journal_path, "w").close()

    def reload_script(self):
        """Rereads the script file when it changed: it replaces the rules."""
        if not self.script_path:
            return
        try:
            mtime = os.stat(self.script_path).st_mtime_ns
        except FileNotFoundError:
            return
        if mtime != self.script_mtime:
            with open(self.script_path) as f:
                specs = json.load(f)
            self.rules = [Rule(s) for s in specs]
            self.script_mtime = mtime

    def take_rule(self, method, path, proxy=False):
        with self.lock:
            self.reload_script()
            for rule in self.rules:
                if proxy != (rule.proxy_auth is not None):
                    continue
                if rule.matches(method, path):
                    if rule.times is not None:
                        rule.times -= 1
                        if rule.times <= 0:
                            self.rules.remove(rule)
                    return rule
        return None

    def record(self, entry):
        with self.lock:
            entry["seq"] = len(self.journal) + 1
            self.journal.append(entry)
            if self.journal_path:
                with open(self.journal_path, "a") as f:
                    f.write(json.dumps(entry) + "\n")

    def reset(self):
        with self.lock:
            self.rules = []
            self.journal = []
            self.script_mtime = None
            if self.journal_path:
                open(self.journal_path, "w").close()


def parse_multipart(content_type, body):
    """The parts of a multipart/form-data body: (fields, files)."""
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
    fields, files = {}, []
    if not message.is_multipart():
        return fields, files
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        filename = part.get_param("filename", header="content-disposition")
        payload = part.get_payload(decode=True) or b""
        if filename is not None:
            files.append((name, filename, payload))
        else:
            fields[name] = payload.decode("latin-1")
    return fields, files


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VigilonDemo/1.0"
    # Head and body leave in one write (flushed after each request): written
    # apart, they wait on the client's delayed acknowledgement.
    wbufsize = 65536
    via = "server"

    def log_message(self, fmt, *args):
        pass

    @property
    def state(self):
        return self.server.state

    # --- request plumbing

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def journal_entry(self, body):
        target = self.path
        url = urllib.parse.urlsplit(target)
        return {
            "time": time.time(),
            "via": self.via,
            "client": self.client_address[0],
            "method": self.command,
            "target": target,
            "request_line": self.requestline,
            "path": url.path,
            "query": url.query,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_size": len(body),
        }

    def send_reply(self, status, body, headers=None, head_only=False):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        if not any(k.lower() == "content-type" for k in (headers or {})):
            self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def wait(self, seconds):
        """Sleeps, or less when the server stops; False when it stopped."""
        return not self.state.stopping.wait(seconds)

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def do_HEAD(self):
        self.handle_any()

    # --- the server side

    def handle_any(self):
        body = self.read_body()
        path = urllib.parse.urlsplit(self.path).path
        if path.lower().startswith(CONTROL_PREFIX):
            return self.control(path.lower()[len(CONTROL_PREFIX):], body)

        entry = self.journal_entry(body)
        rule = self.state.take_rule(self.command, path)
        status, reply, headers = self.default_reply(path, body, entry)
        if rule is not None:
            entry["rule"] = rule.path
            if rule.status is not None:
                status, reply, headers = rule.status, b"", {}
            if rule.body is not None:
                reply = rule.body
            headers = rule.headers or headers
        entry["status"] = None if rule is not None and (rule.drop or rule.hang) else status
        self.state.record(entry)

        if rule is not None:
            if rule.delay and not self.wait(rule.delay):
                return self.hang_up()
            if rule.hang:
                self.wait(3600)
                return self.hang_up()
            if rule.drop:
                return self.hang_up()
            if rule.close:
                headers = dict(headers, Connection="close")
                self.close_connection = True
        self.send_reply(status, reply, headers, head_only=self.command == "HEAD")

    def hang_up(self):
        self.close_connection = True
        try:
            self.connection.shutdown(2)
        except OSError:
            pass

    def default_reply(self, path, body, entry):
        lower = path.lower()
        if lower.startswith(CGI_PREFIX):
            program = lower[len(CGI_PREFIX):]
            if (self.command == "POST" and program == "cgirecvfile.exe"
                    and body.startswith(QUARANTINE_BOUNDARY)):
                self.store_quarantine(body, entry)
            elif self.command == "POST" and "multipart/form-data" in (self.headers.get("Content-Type") or ""):
                self.store_upload(body, entry)
            status, reply = DEFAULT_REPLIES.get(program, DEFAULT_CGI_REPLY)
            return status, reply, {}
        return self.download(path)

    def store_upload(self, body, entry):
        fields, files = parse_multipart(self.headers["Content-Type"], body)
        entry["fields"] = fields
        entry["files"] = []
        for name, filename, payload in files:
            saved = None
            if self.state.uploads_dir:
                os.makedirs(self.state.uploads_dir, exist_ok=True)
                base = os.path.basename(filename.replace("\\", "/")) or "upload.bin"
                saved = os.path.join(self.state.uploads_dir, f"{len(self.state.journal) + 1}-{base}")
                with open(saved, "wb") as f:
                    f.write(payload)
            entry["files"].append({"field": name, "filename": filename, "size": len(payload),
                                   "md5": hashlib.md5(payload).hexdigest(), "saved": saved})

    def store_quarantine(self, body, entry):
        """A quarantined backup file: kept byte for byte with the sender's name and digest."""
        header_end = body.find(b"\r\n\r\n", len(QUARANTINE_BOUNDARY))
        trailer = b"\r\n" + QUARANTINE_BOUNDARY
        if header_end < 0 or not body.endswith(trailer):
            entry["quarantine"] = {"error": "malformed body"}
            return
        header = body[len(QUARANTINE_BOUNDARY):header_end].decode("latin-1")
        data = body[header_end + 4:len(body) - len(trailer)]
        info = {}
        for name in ("ComputerName", "Verify"):
            start = header.find(f'{name}="')
            if start >= 0:
                start += len(name) + 2
                info[name] = header[start:header.find('"', start)]
        saved = None
        if self.state.uploads_dir:
            os.makedirs(self.state.uploads_dir, exist_ok=True)
            computer = "".join(c for c in info.get("ComputerName", "") if c.isalnum()) or "client"
            saved = os.path.join(self.state.uploads_dir,
                                 f"{len(self.state.journal) + 1}-{computer}.vsb")
            with open(saved, "wb") as f:
                f.write(data)
        entry["quarantine"] = {"computer": info.get("ComputerName"), "verify": info.get("Verify"),
                               "size": len(data), "md5": hashlib.md5(data).hexdigest(),
                               "saved": saved}

    def download(self, path):
        """A file of the files folder, found without regard to case."""
        folder = self.state.files_dir
        if folder:
            current = folder
            for piece in [p for p in urllib.parse.unquote(path).split("/") if p]:
                if piece in (".", ".."):
                    current = None
                    break
                try:
                    names = {n.lower(): n for n in os.listdir(current)}
                except OSError:
                    current = None
                    break
                if piece.lower() not in names:
                    current = None
                    break
                current = os.path.join(current, names[piece.lower()])
            if current and os.path.isfile(current):
                with open(current, "rb") as f:
                    return 200, f.read(), {"Content-Type": "application/octet-stream"}
        return 404, b"Not Found", {}

    # --- control interface (never journaled)

    def control(self, command, body):
        try:
            if command == "reset" and self.command == "POST":
                self.state.reset()
                return self.send_reply(200, b"OK")
            if command == "rule" and self.command == "POST":
                rule = Rule(json.loads(body or b"{}"))
                with self.state.lock:
                    self.state.rules.append(rule)
                return self.send_reply(200, b"OK")
            if command == "journal" and self.command == "GET":
                with self.state.lock:
                    text = "".join(json.dumps(e) + "\n" for e in self.state.journal)
                return self.send_reply(200, text.encode(), {"Content-Type": "application/json"})
        except (ValueError, OSError) as e:
            return self.send_reply(400, str(e).encode())
        return self.send_reply(404, b"unknown control request")


class ProxyHandler(Handler):
    """Takes full-URL requests, journals them, and forwards them to the demo server itself
    (whatever host they name: nothing leaves this machine)."""

    via = "proxy"

    def handle_any(self):
        body = self.read_body()
        entry = self.journal_entry(body)
        url = urllib.parse.urlsplit(self.path)
        rule = self.state.take_rule(self.command, url.path, proxy=True)
        if rule is not None and rule.proxy_auth is not None:
            expected = "Basic " + base64.b64encode(rule.proxy_auth.encode()).decode()
            if self.headers.get("Proxy-Authorization") != expected:
                entry["status"] = 407
                self.state.record(entry)
                return self.send_reply(407, b"Proxy Authentication Required",
                                       {"Proxy-Authenticate": 'Basic realm="demo"'})
        if not url.scheme:
            entry["status"] = 400
            self.state.record(entry)
            return self.send_reply(400, b"full URL expected")

        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
        headers["Via"] = "1.1 demo-proxy"
        target = url.path + ("?" + url.query if url.query else "")
        self.state.record(entry)
        try:
            upstream = http.client.HTTPConnection("127.0.0.1", self.state.main_port, timeout=3600)
            upstream.request(self.command, target, body=body or None, headers=headers)
            reply = upstream.getresponse()
            data = reply.read()
            reply_headers = {k: v for k, v in reply.getheaders()
                             if k.lower() not in HOP_BY_HOP and k.lower() != "content-length"}
            status = reply.status
            upstream.close()
        except (OSError, http.client.HTTPException):
            return self.hang_up()
        self.send_reply(status, data, reply_headers, head_only=self.command == "HEAD")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, handler, state):
        super().__init__(("127.0.0.1", port), handler)
        self.state = state


def main(argv=None):
    parser = argparse.ArgumentParser(description="Vigilon demo server (127.0.0.1 only)")
    parser.add_argument("--port", type=int, default=0, help="server port, 0 = any free port")
    parser.add_argument("--proxy-port", type=int, default=None,
                        help="also run the proxy on this port (0 = any free port)")
    parser.add_argument("--port-file", help='write {"port": .., "proxy_port": ..} here once listening')
    parser.add_argument("--journal", help="JSON-lines journal of every request")
    parser.add_argument("--files", help="folder whose files are served for download")
    parser.add_argument("--uploads", help="folder where uploaded files are stored")
    parser.add_argument("--script", help="JSON file of reply rules, reread when it changes")
    args = parser.parse_args(argv)

    state = State(args.journal, args.files, args.uploads, args.script)
    server = Server(args.port, Handler, state)
    state.main_port = server.server_address[1]
    servers = [server]
    proxy_port = None
    if args.proxy_port is not None:
        proxy = Server(args.proxy_port, ProxyHandler, state)
        proxy_port = proxy.server_address[1]
        servers.append(proxy)

    def stop(*_):
        state.stopping.set()
        for s in servers:
            threading.Thread(target=s.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers]
    for t in threads:
        t.start()
    info = {"port": state.main_port, "proxy_port": proxy_port}
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            json.dump(info, f)
        os.replace(tmp, args.port_file)
    print(f"demo-server: listening on 127.0.0.1:{state.main_port}"
          + (f", proxy on 127.0.0.1:{proxy_port}" if proxy_port else ""), flush=True)
    while any(t.is_alive() for t in threads):
        for t in threads:
            t.join(0.5)
    for s in servers:
        s.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
