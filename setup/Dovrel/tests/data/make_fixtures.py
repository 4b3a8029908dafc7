#!/usr/bin/env python3
"""Writes two 128-byte copies of the code at the entry of the file-system manager's
hook-install service, as the tests hand them to the check:
  ifs_clean.bin   code without the marker
  ifs_marked.bin  the same code with the 16-byte marker at offset 0x50
"""
import pathlib
import random

HERE = pathlib.Path(__file__).resolve().parent
MARKER = bytes([0x55, 0x8B, 0xEC, 0x53, 0x56, 0x57, 0xE8, 0x00,
                0x00, 0x00, 0x00, 0x5E, 0x81, 0xEE, 0x43, 0x49])

code = bytearray(random.Random(1998).randbytes(128))
(HERE / "ifs_clean.bin").write_bytes(bytes(code))
code[0x50:0x60] = MARKER
(HERE / "ifs_marked.bin").write_bytes(bytes(code))
