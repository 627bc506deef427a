#!/usr/bin/env python3
"""Writes seed inputs for fuzz_mot into tests/fuzz/seeds/fuzz_mot: a set-up
byte (bit 0 directory mode, bit 1 directory cache, bit 2 keep the CRC as
written, bits 4-5 the entity buffer size, 3 the largest) followed by MSC data
groups, each announced by a two-byte length. The fuzzer writes the CRC of
every group whose CRC flag is set, so the groups here end in two zero bytes:
a SlideShow object in header mode, a directory carousel with its bodies, a
compressed directory, and bodies that arrive before their directory."""
import os
import struct
import sys
import zlib

out = sys.argv[1] if len(sys.argv) > 1 else "tests/fuzz/seeds/fuzz_mot"
os.makedirs(out, exist_ok=True)


def group(kind, tid, number, last, segment):
    g = bytes([0x40 | 0x20 | 0x10 | kind, 0])
    g += struct.pack(">H", (0x8000 if last else 0) | number)
    g += bytes([0x12]) + struct.pack(">H", tid)
    g += struct.pack(">H", len(segment)) + segment
    return g + b"\x00\x00"


def segments(kind, tid, data, size):
    parts = [data[i:i + size] for i in range(0, max(len(data), 1), size)] or [b""]
    return [group(kind, tid, n, n == len(parts) - 1, p) for n, p in enumerate(parts)]


def parameter(pid, data):
    if len(data) == 0:
        return bytes([pid])
    if len(data) == 1:
        return bytes([0x40 | pid]) + data
    if len(data) == 4:
        return bytes([0x80 | pid]) + data
    return bytes([0xC0 | pid, len(data)]) + data


def header(body_size, ctype, subtype, extension=b""):
    core = (body_size << 28) | ((7 + len(extension)) << 15) | (ctype << 9) | subtype
    return core.to_bytes(7, "big") + extension


def name(text):
    return parameter(12, b"\xf0" + text)


def directory(entries, extension=b""):
    body = b"".join(struct.pack(">H", tid) + h for tid, h in entries)
    size = 13 + len(extension) + len(body)
    return (struct.pack(">IH", size, len(entries)) + (100).to_bytes(3, "big") +
            struct.pack(">HH", 512, len(extension)) + extension + body)


def gzip(data):
    c = zlib.compressobj(9, zlib.DEFLATED, 31)
    return c.compress(data) + c.flush()


def compressed(plain):
    member = gzip(plain)
    return struct.pack(">IB", 0x80000000 | (9 + len(member)), 1) + struct.pack(">I", len(plain)) + member


trigger = parameter(5, bytes([0x80 | (61385 >> 10), (61385 >> 2) & 0xFF, ((61385 & 3) << 6) | 0x08 | 3, 0x6D, 0x78, 0]))
slide = bytes(range(256)) * 12
html = b"<html><body>" + b"text " * 300 + b"</body></html>"
gz = gzip(html)
entries = [(0x101, header(len(html), 1, 0, name(b"index.html"))),
           (0x102, header(len(gz), 1, 0, name(b"page.html.gz") + parameter(17, b"\x01")))]
plain = directory(entries, parameter(1, b"\x01"))

seeds = {
    0x30: ("slide", segments(3, 0x2A, header(len(slide), 2, 1, name(b"slide.jpg") + trigger), 200) +
           segments(4, 0x2A, slide, 700)),
    0x31: ("directory", segments(6, 0x0F00, plain, 64) + segments(4, 0x101, html, 500) + segments(4, 0x102, gz, 100)),
    0x21: ("compressed-directory", segments(7, 0x0F01, compressed(plain), 40) + segments(4, 0x101, html, 900)),
    0x33: ("cached-bodies", segments(4, 0x101, html, 300) + segments(6, 0x0F00, plain, 500)),
}
for setup, (filename, groups) in seeds.items():
    data = bytes([setup]) + b"".join(struct.pack(">H", len(g)) + g for g in groups)
    with open(os.path.join(out, filename), "wb") as f:
        f.write(data)
