"""What the demo server knows of the client's CGI protocol: the forms of query values, the
programs with their methods, fields and replies, and the check of one request.

A program is declared in one of the modules of programs/ (one module per area):

    PROGRAMS = [
        Program("cgiOnClose.exe",
                fields=[("UID", GUID), ("DATE", DATE), ("TIME", TIME), ("RELEASE", RELEASE)],
                reply=code(1)),
    ]

See README.md beside this file.
"""
import datetime
import re
import urllib.parse

# Every CGI program lives below this path (compared without regard to case).
CGI_PREFIX = "/vigilon/cgi/"

# The reply a CGI program gives to a query it cannot use: a negative return code.
BAD_QUERY_CODE = b"-2"


class Invalid(Exception):
    """A value or request that a server of this product would refuse."""


# ---- forms of query values ----------------------------------------------------------------
#
# A form takes the value as it arrived (the request line read as Latin-1, so every byte is one
# character) and returns the decoded value, or raises Invalid.

def _unescape(raw):
    """%XX escapes to bytes. The client's encoders leave a percent sign of the text itself
    unescaped, so one not followed by two hex digits stays as it is (as CGI decoders do)."""
    out = bytearray()
    i = 0
    while i < len(raw):
        pair = raw[i + 1:i + 3]
        if raw[i] == "%" and len(pair) == 2 and all(c in "0123456789abcdefABCDEF" for c in pair):
            out.append(int(pair, 16))
            i += 3
        else:
            out.append(ord(raw[i]))
            i += 1
    return bytes(out)


class Form:
    """A named check of one value."""

    def __init__(self, name, check):
        self.name = name
        self._check = check

    def __call__(self, raw):
        return self._check(raw)

    def __repr__(self):
        return self.name


def pattern(name, regex, convert=str):
    compiled = re.compile(regex)

    def check(raw):
        if not compiled.fullmatch(raw):
            raise Invalid(f"not a {name}: {raw!r}")
        return convert(raw)
    return Form(name, check)


def integer(lo=None, hi=None, choices=None, name="number"):
    """A decimal number (a leading minus allowed) in a range or a set."""
    def check(raw):
        if not re.fullmatch(r"-?[0-9]{1,10}", raw):
            raise Invalid(f"not a {name}: {raw!r}")
        value = int(raw)
        if choices is not None and value not in choices:
            raise Invalid(f"{name} {value} not one of {sorted(choices)}")
        if (lo is not None and value < lo) or (hi is not None and value > hi):
            raise Invalid(f"{name} {value} outside {lo}..{hi}")
        return value
    return Form(name, check)


def fixed(text):
    """Exactly this text."""
    def check(raw):
        if raw != text:
            raise Invalid(f"expected {text!r}, got {raw!r}")
        return raw
    return Form(f"the text {text!r}", check)


def _date(raw):
    if not re.fullmatch(r"[0-9]{8}", raw):
        raise Invalid(f"not a date YYYYMMDD: {raw!r}")
    try:
        return datetime.date(int(raw[:4]), int(raw[4:6]), int(raw[6:])).isoformat()
    except ValueError:
        raise Invalid(f"no such date: {raw!r}") from None


def _time(raw):
    if not re.fullmatch(r"[0-9]{6}", raw):
        raise Invalid(f"not a time hhmmss: {raw!r}")
    h, m, s = int(raw[:2]), int(raw[2:4]), int(raw[4:])
    if h > 23 or m > 59 or s > 59:
        raise Invalid(f"no such time: {raw!r}")
    return f"{h:02d}:{m:02d}:{s:02d}"


def _utf8_text(raw):
    # urlEncodeUtf8: every byte but letters, digits and the percent sign is escaped, and
    # the escaped bytes are UTF-8.
    bad = sorted({c for c in raw if not (c.isascii() and c.isalnum()) and c != "%"})
    if bad:
        raise Invalid(f"characters that should have been escaped: {''.join(bad)!r}")
    data = _unescape(raw)
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        raise Invalid(f"escaped text is not UTF-8: {data!r}") from None


def _plain_text(raw):
    # A value sent as the program's own text: WinInet escapes only blanks; other bytes
    # arrive as they are, in the ANSI code page.
    if any(ord(c) < 0x20 or c in "#" for c in raw):
        raise Invalid(f"control characters or '#' in a plain value: {raw!r}")
    return _unescape(raw).decode("cp1252", errors="replace")


def _ext_list(raw):
    if raw == "*.*" or raw == "":
        return raw
    if not re.fullmatch(r"\.[^,.%&=\s]+(,\.[^,.%&=\s]+)*", raw):
        raise Invalid(f"not an extension list .EXT,.EXT: {raw!r}")
    return raw


def _ip_list(raw):
    parts = raw.split(";")
    for part in parts:
        pieces = part.split(".")
        if len(pieces) != 4 or not all(p.isdigit() and int(p) <= 255 for p in pieces):
            raise Invalid(f"not a dotted address: {part!r}")
    return parts


GUID = pattern("client GUID", r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")
DATE = Form("date YYYYMMDD", _date)
TIME = Form("time hhmmss", _time)
RELEASE = pattern("program version", r"[0-9]+(\.[0-9]+)*")
# Engine versions are cut to five characters ("6.510"); empty when no engine is installed.
ENGINE = pattern("engine version", r"([0-9]+(\.[0-9]*)?)?")
# Hot-fix stamps: empty, or at least 14 digits YYYYMMDDhhmmss.
HOTFIX_STAMP = pattern("hot-fix stamp", r"([0-9]{14,})?")
NUMBER = integer()
BOOL = integer(choices={0, 1}, name="0 or 1")
UTF8_TEXT = Form("UTF-8 escaped text", _utf8_text)
PLAIN_TEXT = Form("plain text", _plain_text)
EXT_LIST = Form("extension list", _ext_list)
IP_LIST = Form("address list", _ip_list)


# ---- programs -------------------------------------------------------------------------------

class Field:
    def __init__(self, name, form, optional=False):
        self.name, self.form, self.optional = name, form, optional


class Request:
    """One request as a program sees it."""

    def __init__(self, method, path, query, headers, body, server):
        self.method = method
        self.path = path
        self.query = query
        self.headers = headers      # the request's headers (an email.message.Message)
        self.body = body
        self.server = server        # the server's state: config, folders, ports
        self.fields = {}            # decoded query values, set by the check
        self.note = {}              # what the program adds to the journal entry

    @property
    def config(self):
        return self.server.config


class Program:
    """One CGI program of the server.

    fields: (name, form) pairs or Field objects; the query must hold each required field
    once and nothing else. check (request) may look further (the body) and raises Invalid.
    reply (request) returns the body (bytes or text) or (status, body, headers). bad_reply
    is the body a malformed query gets.
    """

    def __init__(self, name, fields=(), method="GET", reply=None, check=None,
                 bad_reply=BAD_QUERY_CODE):
        self.name = name
        self.method = method
        self.fields = [f if isinstance(f, Field) else Field(*f) for f in fields]
        self.reply = reply or code(1)
        self.check = check
        self.bad_reply = bad_reply

    def parse_query(self, query):
        """The decoded fields of a query; raises Invalid with every problem found."""
        problems, values = [], {}
        known = {f.name: f for f in self.fields}
        for piece in query.split("&") if query else []:
            name, eq, raw = piece.partition("=")
            if not eq:
                problems.append(f"{name!r}: no '='")
                continue
            field = known.get(name)
            if field is None:
                problems.append(f"unknown field {name!r}")
                continue
            if name in values:
                problems.append(f"{name} given twice")
                continue
            try:
                values[name] = field.form(raw)
            except Invalid as e:
                problems.append(f"{name}: {e}")
                values[name] = None
        for field in self.fields:
            if not field.optional and field.name not in values:
                problems.append(f"{field.name} missing")
        if problems:
            raise Invalid("; ".join(problems))
        return values


def code(value):
    """A reply of one return code."""
    body = str(value).encode()
    return lambda request: body


def from_config(key, encode=lambda value: value):
    """A reply taken from the server's configuration (text or bytes)."""
    return lambda request: encode(request.config[key])


def ini_text(sections, line_end="\r\n"):
    """INI text of [(section, {key: value})]; None values are left out."""
    lines = []
    for section, values in sections:
        lines.append(f"[{section}]")
        lines.extend(f"{k}={v}" for k, v in values.items() if v is not None)
    return line_end.join(lines) + line_end


class Catalogue:
    """Every program of the modules, found by name without regard to case."""

    def __init__(self, modules):
        self.programs = {}
        self.defaults = {}
        self.controls = {}
        for module in modules:
            for program in getattr(module, "PROGRAMS", []):
                key = program.name.lower()
                if key in self.programs:
                    raise ValueError(f"{program.name} declared twice")
                self.programs[key] = program
            for key, value in getattr(module, "DEFAULTS", {}).items():
                if key in self.defaults:
                    raise ValueError(f"setting {key} declared twice")
                self.defaults[key] = value
            for name, handler in getattr(module, "CONTROLS", {}).items():
                if name in self.controls:
                    raise ValueError(f"control {name} declared twice")
                self.controls[name] = handler

    def find(self, name):
        return self.programs.get(name.lower())

    def program_of_path(self, path):
        """(program name, under the CGI prefix) when the path's last part names a program."""
        last = path.rstrip("/").rsplit("/", 1)[-1]
        program = self.find(urllib.parse.unquote(last))
        return program, path.lower().startswith(CGI_PREFIX)
