#!/usr/bin/env python3
"""Sets one text of a Windows program's version information, in place.

    version-string.py PROGRAM NAME VALUE

The installer writes its uninstaller from its own program, version information included; this
gives the uninstaller its own FileDescription (run by the installer's build on the uninstaller,
before it is packed). The value is written into the place the old one had (UTF-16, the rest
filled with zeros), so nothing else in the file moves: it must not be longer than the old value.
Every language's table is changed. Exits 1 when the name is not found or the value does not fit.
"""
import struct
import sys


def strings(data, name):
    """Offsets and capacities (in UTF-16 units, the terminator included) of every String
    structure named name: [wLength, wValueLength, wType, szKey, padding, Value]."""
    key = (name + "\0").encode("utf-16-le")
    found = []
    at = data.find(key)
    while at >= 0:
        start = at - 6  # wLength, wValueLength, wType before the key
        if start >= 0 and start % 4 == 0:
            length, value_length, kind = struct.unpack_from("<HHH", data, start)
            value = at + len(key)
            value += (4 - value % 4) % 4
            if kind == 1 and value_length > 0 and value + 2 * value_length <= start + length:
                found.append((value, value_length))
        at = data.find(key, at + 1)
    return found


def main(argv):
    if len(argv) != 4:
        sys.stderr.write("usage: version-string.py PROGRAM NAME VALUE\n")
        return 64
    program, name, text = argv[1:]
    with open(program, "rb") as f:
        data = bytearray(f.read())
    places = strings(data, name)
    if not places:
        sys.stderr.write("version-string.py: %s has no %s\n" % (program, name))
        return 1
    value = (text + "\0").encode("utf-16-le")
    for offset, capacity in places:
        if len(value) > 2 * capacity:
            sys.stderr.write("version-string.py: \"%s\" is longer than the %s it replaces\n"
                             % (text, name))
            return 1
        data[offset:offset + 2 * capacity] = value.ljust(2 * capacity, b"\0")
    with open(program, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
