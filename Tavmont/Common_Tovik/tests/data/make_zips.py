#!/usr/bin/env python3
"""Writes the zip fixtures of the unzip tests into this folder."""
import os
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
STAMP = (2024, 5, 17, 12, 30, 0)
README = b"Vigilon pattern package\r\n"
# 100,000 bytes that deflate to a few hundred: more than one 64 KB output buffer.
DATA = bytes((i * 7 + i // 251) % 256 for i in range(100000))


def entry(zf, name, data, method):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = method
    zf.writestr(info, data)


def write(name, entries):
    with zipfile.ZipFile(os.path.join(here, name), "w") as zf:
        for args in entries:
            entry(zf, *args)


write("good.zip", [
    ("readme.txt", README, zipfile.ZIP_STORED),
    ("empty/", b"", zipfile.ZIP_STORED),
    ("sub/deep/data.bin", DATA, zipfile.ZIP_DEFLATED),
    ("sub/zero.txt", b"", zipfile.ZIP_DEFLATED),
])

# One harmless entry first: nothing at all may be written.
unsafe = {
    "unsafe_dotdot.zip": "../evil.txt",
    "unsafe_nested.zip": "sub/../../evil.txt",
    "unsafe_backslash.zip": "sub\\..\\..\\evil.txt",
    "unsafe_absolute.zip": "/evil.txt",
    "unsafe_drive.zip": "C:/evil.txt",
    "unsafe_dots.zip": ".. /evil.txt",
}
for name, bad in unsafe.items():
    write(name, [("first.txt", README, zipfile.ZIP_STORED), (bad, b"evil\r\n", zipfile.ZIP_STORED)])

good = open(os.path.join(here, "good.zip"), "rb").read()
# Cut in the middle: no end record.
open(os.path.join(here, "damaged_truncated.zip"), "wb").write(good[: len(good) // 2])
# One byte of readme.txt's stored data changed: its CRC does not match.
pos = good.index(README)
open(os.path.join(here, "damaged_crc.zip"), "wb").write(good[:pos] + b"v" + good[pos + 1:])
# A deflate stream cut short inside an otherwise intact archive.
with zipfile.ZipFile(os.path.join(here, "damaged_stream.zip"), "w") as zf:
    entry(zf, "data.bin", DATA, zipfile.ZIP_DEFLATED)
raw = bytearray(open(os.path.join(here, "damaged_stream.zip"), "rb").read())
start = 30 + len("data.bin")
raw[start + 20:start + 40] = b"\xff" * 20
open(os.path.join(here, "damaged_stream.zip"), "wb").write(bytes(raw))
open(os.path.join(here, "damaged_notzip.zip"), "wb").write(b"This is not a zip archive.\r\n")
