#!/usr/bin/env python3
"""Writes seed inputs for fuzz_journaline into tests/fuzz/seeds/fuzz_journaline:
a set-up byte (CRC check off, no extended header) followed by data groups,
each announced by a two-byte length: a menu, plain messages with data
sections, a compressed list, a table of contents and a fragmented object."""
import os
import struct
import sys
import zlib

out = sys.argv[1] if len(sys.argv) > 1 else "tests/fuzz/seeds/fuzz_journaline"
os.makedirs(out, exist_ok=True)


def group(payload, kind=0, fragment=False):
    g = bytes([0x40 | (0x08 if fragment else 0) | kind, 0]) + payload
    return g + b"\x00\x00"  # the CRC is not checked with set-up byte 0


def obj(oid, otype, body, compressed=False):
    header = (otype << 5) | (0x08 if compressed else 0)
    if compressed:
        c = zlib.compressobj(9, zlib.DEFLATED, -15)
        body = b"\x08" + c.compress(body) + c.flush()
    return struct.pack(">HB", oid, header) + body


def section(stype, data):
    return bytes([0x1A, len(data), stype]) + data


menu = obj(0, 1, b"\x01Main\x02\x00\x02Two\x02\x00\x03Three\x02\x00\x04List")
two = obj(2, 2, b"\x01News" + section(0x02, b"\x00\x05") + section(0x03, b"\x00\x00\x03\x00Go") + b"\x03Body\x10text")
three = obj(3, 2, b"\x01Pic" + section(0xC0, b"\x01\x00\x03abc\x02cp") + b"\x03x")
lst = obj(4, 4, b"\x01Prices\x04" + b"line\x10" * 50, compressed=True)
toc = b"T\x00\x00\x00" + struct.pack(">HHHBH", 0, 1, 10, 3, 0) + struct.pack(">HB", 0, 0x20) + struct.pack(">HB", 2, 0x40)
big = obj(6, 2, b"\x01Long\x03" + b"y" * 300) + b"\x00\x00"
fragments = [group(bytes([0x80 | 0]) + big[:150], fragment=True), group(bytes([0x40 | 1]) + big[150:], fragment=True)]

seeds = {
    "menu-and-messages": [group(menu), group(two), group(three)],
    "compressed-list": [group(lst)],
    "table-of-contents": [group(menu), group(two), group(toc, kind=6)],
    "fragments": fragments,
}
for name, groups in seeds.items():
    data = b"\x00" + b"".join(struct.pack(">H", len(g)) + g for g in groups)
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
