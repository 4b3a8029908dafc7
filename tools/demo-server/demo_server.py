#!/usr/bin/python3
"""The Vigilon demo server: the server side of the client's HTTP protocol on 127.0.0.1.

It knows the CGI programs under /Vigilon/Cgi/ (paths compared without regard to case): their
methods, the fields of their queries and the forms of the values, and answers each as the
product's server would (programs/, one module per area; protocol.py). A request it does not
recognise, or whose query or body is malformed, gets the error answer and is marked invalid
in the journal. It also serves downloads from a folder, records every request in a
JSON-lines journal, lets tests script replies and settings through a small control
interface, and runs a proxy on a second port. See README.md beside this file.
"""
import argparse
import base64
import copy
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

import programs
from protocol import CGI_PREFIX, Catalogue, Invalid, Request

CONTROL_PREFIX = "/_demo/"
CATALOGUE = Catalogue(programs.load())

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
    """Rules, settings and journal shared by both ports."""

    def __init__(self, journal_path, files_dir, uploads_dir, script_path):
        self.lock = threading.Lock()
        self.rules = []
        self.journal = []
        self.invalid = []           # invalid requests since start (or since accepted)
        self.config = copy.deepcopy(CATALOGUE.defaults)
        self.journal_path = journal_path
        self.files_dir = files_dir
        self.uploads_dir = uploads_dir
        self.packages_dir = None
        self.script_path = script_path
        self.script_mtime = None
        self.stopping = threading.Event()
        self.main_port = 0
        self.seq_counter = 0
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

    def next_seq(self):
        with self.lock:
            self.seq_counter += 1
            return self.seq_counter

    def record(self, entry):
        if "seq" not in entry:
            entry["seq"] = self.next_seq()
        with self.lock:
            self.journal.append(entry)
            if entry.get("invalid"):
                self.invalid.append(entry)
            if self.journal_path:
                with open(self.journal_path, "a") as f:
                    f.write(json.dumps(entry) + "\n")

    def configure(self, values):
        unknown = set(values) - set(CATALOGUE.defaults)
        if unknown:
            raise ValueError(f"unknown settings: {sorted(unknown)}")
        with self.lock:
            self.config.update(copy.deepcopy(values))

    def reset(self):
        """Forgets the rules and the journal and restores the default settings; the invalid
        requests stay until they are accepted."""
        with self.lock:
            self.rules = []
            self.journal = []
            self.seq_counter = 0
            self.config = copy.deepcopy(CATALOGUE.defaults)
            self.script_mtime = None
            if self.journal_path:
                open(self.journal_path, "w").close()


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

    def do_PUT(self):
        self.handle_any()

    def do_DELETE(self):
        self.handle_any()

    def handle_one_request(self):
        self._journaled = False
        super().handle_one_request()

    def send_error(self, code, message=None, explain=None):
        # A request line or header the server cannot read: journaled as invalid.
        if code >= 400 and not getattr(self, "_journaled", False):
            line = (self.raw_requestline or b"").decode("latin-1").rstrip("\r\n")
            self.state.record({"time": time.time(), "via": self.via,
                               "client": self.client_address[0], "request_line": line,
                               "status": code, "invalid": f"{code} {message or ''}".strip()})
        super().send_error(code, message, explain)

    # --- the server side

    def handle_any(self):
        body = self.read_body()
        path = urllib.parse.urlsplit(self.path).path
        if path.lower().startswith(CONTROL_PREFIX):
            return self.control(path.lower()[len(CONTROL_PREFIX):], body)

        entry = self.journal_entry(body)
        entry["seq"] = self.state.next_seq()
        self._journaled = True
        rule = self.state.take_rule(self.command, path)
        status, reply, headers = self.answer(path, body, entry)
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

    def answer(self, path, body, entry):
        """The reply a server of the product gives: (status, body, headers). A request it
        cannot use is marked invalid in the entry."""
        if not self.path.startswith("/"):
            entry["invalid"] = f"request target is not a path: {self.path!r}"
            return 400, b"Bad Request", {}
        program, _ = CATALOGUE.program_of_path(path)
        if not path.lower().startswith(CGI_PREFIX):
            if program is not None:
                entry["program"] = program.name
                entry["invalid"] = f"the CGI program {program.name} outside {CGI_PREFIX}"
                return 404, b"Not Found", {}
            if self.command not in ("GET", "HEAD"):
                entry["invalid"] = f"{self.command} of a file"
                return 405, b"Method Not Allowed", {"Allow": "GET, HEAD"}
            return self.download(path)
        if program is None or "/" in path[len(CGI_PREFIX):]:
            entry["invalid"] = "no such CGI program"
            return 404, b"Not Found", {}
        entry["program"] = program.name
        if self.command != program.method:
            entry["invalid"] = f"{self.command} instead of {program.method}"
            return 405, b"Method Not Allowed", {"Allow": program.method}
        request = Request(self.command, path, urllib.parse.urlsplit(self.path).query,
                          self.headers, body, self.state)
        request.seq = entry["seq"]
        try:
            request.fields = program.parse_query(request.query)
            if program.check:
                program.check(request)
        except Invalid as e:
            entry["invalid"] = str(e)
            entry.update(request.note)
            return 200, program.bad_reply, {}
        entry["fields"] = request.fields
        reply = program.reply(request)
        entry.update(request.note)
        if isinstance(reply, tuple):
            return reply
        return 200, reply.encode("cp1252") if isinstance(reply, str) else reply, {}

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
        return self.package(path)

    # --- component packages: the build's pattern, engine and program zips and the update
    # library's component list, offered in the update folder of the server's settings.

    def package(self, path):
        folder = self.state.packages_dir
        update_url = (self.state.config.get("update_section") or {}).get("Update_URL") or ""
        parent, _, name = urllib.parse.unquote(path).strip("/").rpartition("/")
        if folder and name and parent.lower() == update_url.strip("/").lower():
            try:
                names = {n.lower(): n for n in os.listdir(folder)}
            except OSError:
                names = {}
            if name.lower() in names:
                with open(os.path.join(folder, names[name.lower()]), "rb") as f:
                    return 200, f.read(), {"Content-Type": "application/octet-stream"}
        return 404, b"Not Found", {}

    # --- control interface (never journaled)

    def control(self, command, body):
        state = self.state
        try:
            payload = json.loads(body or b"{}") if self.command == "POST" else None
            if command == "reset" and self.command == "POST":
                state.reset()
                return self.send_reply(200, b"OK")
            if command == "rule" and self.command == "POST":
                rule = Rule(payload)
                with state.lock:
                    state.rules.append(rule)
                return self.send_reply(200, b"OK")
            if command == "config" and self.command == "POST":
                state.configure(payload)
                return self.send_reply(200, b"OK")
            if command in ("journal", "config", "invalid") and self.command == "GET":
                with state.lock:
                    if command == "config":
                        text = json.dumps(state.config)
                    else:
                        entries = state.journal if command == "journal" else state.invalid
                        text = "".join(json.dumps(e) + "\n" for e in entries)
                return self.send_reply(200, text.encode(), {"Content-Type": "application/json"})
            if command == "accept-invalid" and self.command == "POST":
                with state.lock:
                    text = "".join(json.dumps(e) + "\n" for e in state.invalid)
                    state.invalid = []
                return self.send_reply(200, text.encode(), {"Content-Type": "application/json"})
            handler = CATALOGUE.controls.get(command)
            if handler is not None:
                return self.send_reply(200, handler(state, payload))
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
    parser.add_argument("--packages", help="folder of component packages served in the update folder")
    parser.add_argument("--script", help="JSON file of reply rules, reread when it changes")
    args = parser.parse_args(argv)

    state = State(args.journal, args.files, args.uploads, args.script)
    state.packages_dir = args.packages
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
