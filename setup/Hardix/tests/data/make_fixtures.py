#!/usr/bin/env python3
"""Writes the real-mode interrupt vector tables (1 KB, 256 vectors, offset then segment)
that the tests read in place of the PC's own:
  vectors_at.bin   a PC/AT: the unused vectors 60h-FFh all lead to one default handler
  vectors_fmr.bin  an FMR: every vector from 90h to AFh, and 00h, leads somewhere else
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent


def table(vector_of):
    return b"".join(struct.pack("<HH", *vector_of(n)) for n in range(256))


def at(n):
    if n < 0x20:
        return (0xE000 + n * 0x10, 0xF000)      # BIOS handlers
    if n < 0x60:
        return (0x0100 + n * 4, 0x0070)         # DOS and drivers
    return (0xFF53, 0xF000)                     # the BIOS's bare IRET


def fmr(n):
    return (0x0200 + n * 6, 0xFC00 + (n & 0x0F))


(HERE / "vectors_at.bin").write_bytes(table(at))
(HERE / "vectors_fmr.bin").write_bytes(table(fmr))
