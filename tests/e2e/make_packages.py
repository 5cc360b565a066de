#!/usr/bin/env python3
"""Writes the damaged and unusual update packages of the installation test, each holding the
given executable: OUT/<variant>.zip for every variant below.

Usage: make_packages.py EXE OUT
"""
import os
import struct
import sys
import zlib

exe_path, out = sys.argv[1:3]
with open(exe_path, "rb") as f:
    app = f.read()


def deflate(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -zlib.MAX_WBITS)
    return compressor.compress(data) + compressor.flush()


def zip_file(entries, comment=b"", tail=b""):
    """entries: dicts with name, data and optional method, flags, crc, size (declared
    uncompressed size) and stored (data written as is)."""
    body, directory = b"", b""
    for e in entries:
        method = e.get("method", 8)
        raw = e["data"] if e.get("stored") else deflate(e["data"])
        crc = e.get("crc", zlib.crc32(e["data"]))
        size = e.get("size", len(e["data"]))
        name = e["name"].encode()
        flags = e.get("flags", 0)
        offset = len(body)
        body += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, flags, method, 0, crc, len(raw),
                            size, len(name), 0) + name + raw
        directory += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 20, 20, flags, method, 0,
                                 crc, len(raw), size, len(name), 0, 0, 0, 0, 0, offset) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                      len(directory), len(body), len(comment))
    return body + directory + end + comment + tail


readme = {"name": "LEEME.txt", "data": b"Torvane", "method": 0, "stored": True}
variants = {
    "comment-65535": zip_file([readme, {"name": "Torvane.exe", "data": app}],
                              comment=b"c" * 65535),
    "end-record-too-far": zip_file([{"name": "Torvane.exe", "data": app}], tail=b"\0" * 65536),
    "lower-case-name": zip_file([{"name": "torvane.exe", "data": app}]),
    "in-a-folder": zip_file([{"name": "Torvane/Torvane.exe", "data": app}]),
    "twice": zip_file([{"name": "Torvane.exe", "data": app}, {"name": "Torvane.exe", "data": app}]),
    "encrypted": zip_file([{"name": "Torvane.exe", "data": app, "flags": 1}]),
    "other-method": zip_file([{"name": "Torvane.exe", "data": app, "method": 12}]),
    "stored-sizes-differ": zip_file([{"name": "Torvane.exe", "data": app, "method": 0,
                                      "stored": True, "size": len(app) - 1}]),
    "inflates-to-more": zip_file([{"name": "Torvane.exe", "data": app, "size": len(app) - 1}]),
    "inflates-to-fewer": zip_file([{"name": "Torvane.exe", "data": app, "size": len(app) + 1}]),
    "bad-crc": zip_file([{"name": "Torvane.exe", "data": app,
                          "crc": zlib.crc32(app) ^ 0x1}]),
}
os.makedirs(out, exist_ok=True)
for name, data in variants.items():
    with open(os.path.join(out, name + ".zip"), "wb") as f:
        f.write(data)
print(" ".join(variants))
