#!/usr/bin/env python3
"""Prints a Windows shortcut's (.lnk) target, working folder and arguments, one a line.
   lnk.py FILE.lnk"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, IS_UNICODE = 0x1, 0x2, 0x80
# The optional strings, in the order they are stored, with the flag of each.
STRINGS = [("name", 0x4), ("relative_path", 0x8), ("working_dir", 0x10), ("arguments", 0x20),
           ("icon", 0x40)]


def read(data):
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, _, info_flags, _, base_offset = struct.unpack_from("<5I", data, at)
        if info_flags & 0x1:  # a local path
            start = at + base_offset
            target = data[start:data.index(b"\0", start)].decode("latin-1")
        at += size
    fields = {"target": target}
    for name, flag in STRINGS:
        if not flags & flag:
            continue
        count = struct.unpack_from("<H", data, at)[0]
        at += 2
        width = 2 if flags & IS_UNICODE else 1
        raw = data[at:at + count * width]
        at += count * width
        fields[name] = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
    return fields


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        link = read(f.read())
    for key in ("target", "working_dir", "arguments"):
        print(link.get(key, ""))
