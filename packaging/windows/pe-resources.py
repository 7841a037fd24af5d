#!/usr/bin/env python3
"""Changes resources of a Windows program in place, for the installer's build.

    pe-resources.py PROGRAM [manifest FILE] [version-string NAME VALUE]... [installer-checksum]

The installer system writes a manifest of its own into the installer and the uninstaller (it
names the installer system) and gives the uninstaller the installer's version information.
makensis runs this on the installer's program header (!packhdr) and on the uninstaller
(!uninstfinalize), before it computes their checksums.

manifest: FILE (comments and the blanks between tags left out) replaces the manifest resource
(type 24, id 1, every language). version-string: VALUE replaces the text NAME in every language's
table of the version information. Both write into the place the old data had, so nothing else in
the file moves: the new data must not be longer (a shorter manifest gets its new size, a shorter
text is filled with zeros). installer-checksum: the program is a whole installer or uninstaller
(its data and checksum follow the program): the checksum is made anew, as the program checks it
when it starts (CRC-32 of everything after the first 512 bytes up to the checksum itself).
Exits 1 when the resource is missing or the data does not fit.
"""
import binascii
import re
import struct
import sys


class Program:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a Windows program")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resources = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((address, max(size, raw_size), raw))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError("address outside every section")

    def entries(self, directory):
        """(id, target) of a resource directory; target is a directory or a data entry's offset."""
        at = self.offset(self.resources + directory)
        named, ids = struct.unpack_from("<HH", self.data, at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            yield name, target

    def data_entries(self, kind, name):
        """Offsets of the data entries of resource kind/name, every language."""
        found = []
        for type_id, types in self.entries(0):
            if type_id != kind or not types & 0x80000000:
                continue
            for name_id, names in self.entries(types & 0x7FFFFFFF):
                if name_id != name or not names & 0x80000000:
                    continue
                for _, entry in self.entries(names & 0x7FFFFFFF):
                    found.append(self.offset(self.resources + (entry & 0x7FFFFFFF)))
        return found


def replace_manifest(program, text):
    entries = program.data_entries(24, 1)
    if not entries:
        raise ValueError("no manifest")
    for entry in entries:
        rva, size = struct.unpack_from("<II", program.data, entry)
        if len(text) > size:
            raise ValueError("the manifest (%d bytes) is longer than the one it replaces (%d)"
                             % (len(text), size))
        at = program.offset(rva)
        program.data[at:at + size] = text.ljust(size, b" ")
        struct.pack_into("<I", program.data, entry + 4, len(text))


def replace_version_string(program, name, value):
    """Every String structure [wLength, wValueLength, wType=1, szKey, padding, Value] named name."""
    data = program.data
    key = (name + "\0").encode("utf-16-le")
    text = (value + "\0").encode("utf-16-le")
    replaced = 0
    at = data.find(key)
    while at >= 0:
        start = at - 6
        if start >= 0 and start % 4 == 0:
            length, units, kind = struct.unpack_from("<HHH", data, start)
            place = at + len(key)
            place += (4 - place % 4) % 4
            if kind == 1 and units > 0 and place + 2 * units <= start + length:
                if len(text) > 2 * units:
                    raise ValueError("\"%s\" is longer than the %s it replaces" % (value, name))
                data[place:place + 2 * units] = text.ljust(2 * units, b"\0")
                replaced += 1
        at = data.find(key, at + 1)
    if not replaced:
        raise ValueError("no %s in the version information" % name)


def renew_installer_checksum(program):
    """The installer's data starts at a 512-byte boundary with its first header: flags, the
    signature 0xDEADBEEF and "NullsoftInst", the header's length and the length of all that
    follows it, the checksum being its last 4 bytes."""
    data = program.data
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst")
    while at >= 0 and (at - 4) % 512 != 0:
        at = data.find(b"\xef\xbe\xad\xdeNullsoftInst", at + 1)
    if at < 0:
        raise ValueError("no installer data")
    start = at - 4
    following = struct.unpack_from("<I", data, start + 24)[0]
    end = start + following - 4
    if end > len(data) - 4 or start < 512:
        raise ValueError("installer data of an unknown form")
    struct.pack_into("<I", data, end, binascii.crc32(bytes(data[512:end])) & 0xFFFFFFFF)


def compact(xml):
    xml = re.sub(rb"<!--.*?-->", b"", xml, flags=re.S)
    return re.sub(rb">\s+<", b"><", xml).strip()


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 64
    changes, rest = [], argv[2:]
    while rest:
        if rest[0] == "manifest" and len(rest) >= 2:
            with open(rest[1], "rb") as f:
                manifest = compact(f.read())
            changes.append(lambda program, m=manifest: replace_manifest(program, m))
            rest = rest[2:]
        elif rest[0] == "version-string" and len(rest) >= 3:
            changes.append(lambda program, n=rest[1], v=rest[2]:
                           replace_version_string(program, n, v))
            rest = rest[3:]
        elif rest[0] == "installer-checksum":
            changes.append(renew_installer_checksum)
            rest = rest[1:]
        else:
            sys.stderr.write(__doc__)
            return 64
    with open(argv[1], "rb") as f:
        program = Program(bytearray(f.read()))
    try:
        for change in changes:
            change(program)
    except ValueError as e:
        sys.stderr.write("pe-resources.py: %s: %s\n" % (argv[1], e))
        return 1
    with open(argv[1], "wb") as f:
        f.write(program.data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
