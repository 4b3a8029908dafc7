"""The quarantine upload: a backup file of an infected file, posted by the client.

The body is exactly: the boundary line, one part header naming the computer and carrying
the Verify digest, the backup file's bytes, CR LF and the boundary line again. Verify is the
MD5 (lower-case hex) of the keyed hex cipher text of the file's original path (from the
backup file's header) followed by the computer name; the server recomputes it.
"""
import hashlib
import os
import re

from protocol import Invalid, Program

BOUNDARY = b"---------------------------7d21673b802fc"
BOUNDARY_LINE = BOUNDARY + b"\r\n"
PART_HEADER = re.compile(
    rb'Content-Disposition: form-data; name="newfile"\r\n'
    rb'Content-Type: text/plain; ComputerName="([^"\r\n]*)"; Verify="([0-9a-f]{32})"\r\n\r\n')
ACK, REFUSED = b"cgiRecvFile_OK", b"cgiRecvFile_FAIL"

# ---- the keyed hex cipher: three byte cycles from the expanded key, XORed

CIPHER_KEY = b"583016274"


def _keystream():
    key, expanded, a = CIPHER_KEY, [], 0
    for i in range(72):
        c = key[i % len(key)]
        a = (a + ((c + i) & 0xFF) * 13) & 0xFF
        expanded.append((c * a + key[(i + 1) % len(key)]) & 0xFF)
    cycles, pos = [], 0
    for n in (23, 24, 25):
        cycles.append(expanded[pos:pos + n])
        pos += n
    i = 0
    while True:
        yield cycles[0][i % 23] ^ cycles[1][i % 24] ^ cycles[2][i % 25]
        i += 1


def keyed_hex(data):
    """The keyed hex cipher text of bytes: two upper-case hex digits a byte."""
    return "".join(f"{b ^ k:02X}" for b, k in zip(data, _keystream()))


def verify_digest(original_path, computer):
    return hashlib.md5(keyed_hex(original_path + computer).encode()).hexdigest()


def backup_original_path(data):
    """The original path recorded in a backup file's header ("VSBF", stored complemented)."""
    head = bytes(~b & 0xFF for b in data[:4096])
    if head[:4] != b"VSBF" or len(head) < 10:
        raise Invalid("the uploaded file is not a backup file")
    count, pos, texts, wide = int.from_bytes(head[8:10], "little"), 10, {}, 0
    for _ in range(count):
        if pos + 3 > len(head):
            raise Invalid("the backup file's header is cut short")
        kind, length = head[pos], int.from_bytes(head[pos + 1:pos + 3], "little")
        value = head[pos + 3:pos + 3 + length]
        if kind in (1, 2):
            texts[kind] = value
        elif kind == 5 and length >= 4:
            wide = int.from_bytes(value[:4], "little")
        pos += 3 + length

    def text(kind):
        raw = texts.get(kind, b"")
        if wide:
            return raw.decode("utf-16-le").split("\0")[0].encode("cp1252", errors="replace")
        return raw.split(b"\0")[0]
    folder, name = text(1), text(2)
    return folder + b"\\" + name if folder else name


def check(request):
    content_type = request.headers.get("Content-Type") or ""
    if f"boundary={BOUNDARY[2:].decode()}" not in content_type.replace('"', "") \
            or "multipart/form-data" not in content_type:
        raise Invalid(f"Content-Type is not multipart/form-data with the body's boundary: "
                      f"{content_type!r}")
    body, trailer = request.body, b"\r\n" + BOUNDARY_LINE
    if not body.startswith(BOUNDARY_LINE):
        raise Invalid("the body does not begin with the boundary line")
    header = PART_HEADER.match(body, len(BOUNDARY_LINE))
    if header is None:
        raise Invalid("the part header is not the quarantine upload's: "
                      f"{body[len(BOUNDARY_LINE):len(BOUNDARY_LINE) + 200]!r}")
    if not body.endswith(trailer) or len(body) < header.end() + len(trailer):
        raise Invalid("the body does not end with CR LF and the boundary line")
    data = body[header.end():len(body) - len(trailer)]
    computer, verify = header.group(1), header.group(2).decode()
    request.note["quarantine"] = {"computer": computer.decode("cp1252"), "verify": verify,
                                  "size": len(data), "md5": hashlib.md5(data).hexdigest(),
                                  "saved": None}
    original = backup_original_path(data)
    request.note["quarantine"]["original"] = original.decode("cp1252")
    expected = verify_digest(original, computer)
    if verify != expected:
        raise Invalid(f"Verify {verify} is not the digest of the original path and the "
                      f"computer name ({expected})")
    request.data = data


def store(request):
    folder = request.server.uploads_dir
    if folder:
        os.makedirs(folder, exist_ok=True)
        computer = "".join(c for c in request.note["quarantine"]["computer"] if c.isalnum())
        saved = os.path.join(folder, f"{request.seq}-{computer or 'client'}.vsb")
        with open(saved, "wb") as f:
            f.write(request.data)
        request.note["quarantine"]["saved"] = saved
    return ACK


PROGRAMS = [
    Program("cgiRecvFile.exe", method="POST", check=check, reply=store, bad_reply=REFUSED),
]
