#!/usr/bin/env python3
"""Prints what a Windows shortcut (.lnk, the shell link format) points to, one line each:
target=<path>, workdir=<folder>, arguments=<text>, icon=<file>,<index>. Exit 1 when the file is
no shell link."""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, IS_UNICODE = 0x1, 0x2, 0x80
# The optional strings after the link info, in file order, with their flags.
STRINGS = [(0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")]


def ansi_string(data, at):
    return data[at:data.index(b"\0", at)].decode("latin-1")


def unicode_string(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def main(path):
    data = open(path, "rb").read()
    if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 76:
        return 1
    flags, = struct.unpack_from("<I", data, 0x14)
    icon_index, = struct.unpack_from("<i", data, 0x38)
    at = 76
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    fields = {}
    if flags & HAS_LINK_INFO:
        size, header, _, _, base, _, suffix = struct.unpack_from("<7I", data, at)
        if header >= 0x24:
            base_w, suffix_w = struct.unpack_from("<2I", data, at + 28)
            fields["target"] = unicode_string(data, at + base_w) + unicode_string(data, at + suffix_w)
        elif base:
            fields["target"] = ansi_string(data, at + base) + ansi_string(data, at + suffix)
        at += size
    for flag, name in STRINGS:
        if flags & flag:
            count, = struct.unpack_from("<H", data, at)
            at += 2
            width = 2 if flags & IS_UNICODE else 1
            raw = data[at:at + count * width]
            # (Some writers count the terminating zero.)
            fields[name] = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
            at += count * width
    for name in ("target", "workdir", "arguments"):
        if name in fields:
            print(f"{name}={fields[name]}")
    if "icon" in fields:
        print(f"icon={fields['icon']},{icon_index}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
