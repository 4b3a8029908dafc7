"""Push commands: the server tells a client in HTTP mode to act with a GET request to the
client's own listener, "/?" followed by a token.

The token is KEY=VALUE pairs joined by "&" (values %XX-escaped), ending in "&IP=" and the
signature: the MD5 (lower-case hex) of "[zpxNotify] error=%d,clinet=%s,server=%s, return %d"
filled with 0x5C3A91D7 and 0x93B04E6F (as signed decimals), the client's GUID and the
signed message (the token up to "&IP="). The client takes the token enciphered with the
keyed hex cipher unless its "Encrypt_Notification_Msg" is 0.

POST /_demo/push with a JSON object sends one command and answers with JSON
{"target": the request target, "status": the listener's status, "reply": its body}:

| field | meaning |
| --- | --- |
| `port`, `host` | the client's listener (host 127.0.0.1 by default) |
| `guid` | the client's GUID (signs the command) |
| `message` | MESSAGE, the command |
| `time` | TIME (default: now, YYYYMMDDhhmmss) |
| `fields` | further keys of the token (SERVER, SERVERPORT, DELAY, ...), in order |
| `encrypt` | encipher the token (default true) |
| `digest` | a signature to send instead of the right one |
| `upper` | the right signature in upper-case hex |
| `append` | text to put after the signature (before the token is enciphered) |
| `target` | a request target to send as it is (no token is built) |
"""
import hashlib
import json
import socket
import time
import urllib.parse

from .upload import keyed_hex

SALT1, SALT2 = 0x5C3A91D7, 0x93B04E6F


def _signed(value):
    return value - (1 << 32) if value >= 1 << 31 else value


def digest(guid, message):
    text = "[zpxNotify] error=%d,clinet=%s,server=%s, return %d" % (_signed(SALT1), guid, message,
                                                                      _signed(SALT2))
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def token(guid, message, stamp, fields=(), encrypt=True, signature=None, upper=False, append=""):
    pairs = list(fields) + [("MESSAGE", str(message)), ("TIME", stamp)]
    signed = "&".join(f"{key}={urllib.parse.quote(str(value), safe='')}" for key, value in pairs)
    signature = signature or digest(guid, signed)
    text = f"{signed}&IP={signature.upper() if upper else signature}{append}"
    return keyed_hex(text.encode("latin-1")) if encrypt else text


def send(host, port, target, timeout=30):
    """One GET to the listener; (status, body)."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(f"GET {target} HTTP/1.0\r\n\r\n".encode("latin-1"))
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/") else None
    return status, body.decode("latin-1")


def push(state, payload):
    target = payload.get("target")
    if target is None:
        fields = payload.get("fields") or []
        if isinstance(fields, dict):
            fields = list(fields.items())
        stamp = payload.get("time") or time.strftime("%Y%m%d%H%M%S")
        target = "/?" + token(payload["guid"], payload["message"], stamp, fields, payload.get("encrypt", True),
                              payload.get("digest"), payload.get("upper", False), payload.get("append", ""))
    status, body = send(payload.get("host", "127.0.0.1"), int(payload["port"]), target)
    return json.dumps({"target": target, "status": status, "reply": body}).encode()


CONTROLS = {"push": push}
