#!/usr/bin/env python3
"""Writes the hand-made seeds of tests/fuzz/corpus/TiffFile: small TIFF-based files with the
structures the raw reader walks (SubIFDs, an IFD chain, MakerNotes, previews, the ORF, RW2 and CR2
headers).

Usage: tests/fuzz/make-tiff-seeds.py [OUTPUT_DIR]   (default: the corpus folder beside this script)
The output is deterministic, so re-running it changes no committed file.
"""

import os
import struct
import sys

ASCII, SHORT, LONG, RATIONAL, UNDEFINED = 2, 3, 4, 5, 7
SIZE = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 7: 1}

# A 1 x 1 baseline JPEG is not needed: the reader only walks markers up to the frame header.
PREVIEW = bytes.fromhex("ffd8ffc0000b080010002001011100ffd9")
LOSSLESS = bytes.fromhex("ffd8ffc3000b080010002001011100ffd9")


class File:
    """A TIFF-based file laid out front to back; directories are written with their values behind."""

    def __init__(self, order="<", magic=None, extra=b""):
        self.o = order
        mark = b"II" if order == "<" else b"MM"
        self.data = bytearray(mark + (magic if magic else struct.pack(order + "H", 42)) + b"\0\0\0\0" + extra)
        self.values = {}
        self.links = {}

    def align(self):
        if len(self.data) % 2:
            self.data += b"\0"

    def pack(self, typ, value):
        if isinstance(value, (bytes, bytearray)):
            return bytes(value)
        fmt = {SHORT: "H", LONG: "I", RATIONAL: "II"}[typ]
        out = b""
        for v in value:
            out += struct.pack(self.o + fmt, *(v if isinstance(v, tuple) else (v,)))
        return out

    def ifd(self, entries):
        """entries: (id, type, count, value) sorted by id; returns the directory's offset."""
        self.align()
        at = len(self.data)
        if struct.unpack(self.o + "I", self.data[4:8])[0] == 0:
            self.data[4:8] = struct.pack(self.o + "I", at)
        data_at = at + 2 + 12 * len(entries) + 4
        head, tail = struct.pack(self.o + "H", len(entries)), b""
        for tag, typ, count, value in entries:
            raw = self.pack(typ, value)
            size = count * SIZE[typ]
            head += struct.pack(self.o + "HHI", tag, typ, count)
            if size <= 4:
                self.values[(at, tag)] = at + len(head)
                head += raw.ljust(4, b"\0")[:4]
            else:
                self.values[(at, tag)] = data_at + len(tail)
                head += struct.pack(self.o + "I", data_at + len(tail))
                tail += raw.ljust(size, b"\0") + (b"\0" if size % 2 else b"")
        self.links[at] = at + len(head)
        self.data += head + b"\0\0\0\0" + tail
        return at

    def blob(self, raw):
        self.align()
        at = len(self.data)
        self.data += raw
        return at

    def patch(self, ifd, tag, value, index=0):
        pos = self.values[(ifd, tag)] + 4 * index
        self.data[pos:pos + 4] = struct.pack(self.o + "I", value)

    def link(self, a, b):
        self.data[self.links[a]:self.links[a] + 4] = struct.pack(self.o + "I", b)


def asc(text):
    raw = text.encode() + b"\0"
    return (ASCII, len(raw), raw)


def camera(order, magic, make, note, extra=b""):
    f = File(order, magic, extra)
    t, c, v = asc(make)
    ifd0 = f.ifd([(0x010F, t, c, v), (0x8769, LONG, 1, [0])])
    exif = f.ifd([(0x829A, RATIONAL, 1, [(1, 100)]), (0x927C, UNDEFINED, len(note), note)])
    f.patch(ifd0, 0x8769, exif)
    return f


def seeds():
    out = {}
    f = File(">")
    t, c, v = asc("Maker")
    f.ifd([(0x010F, t, c, v), (0x0112, SHORT, 1, [1])])
    out["minimal-mm.tif"] = f.data

    f = File("<")
    t, c, v = asc("Maker")
    ifd0 = f.ifd([(0x010F, t, c, v), (0x014A, LONG, 2, [0, 0]), (0xC612, 1, 4, b"\1\4\0\0")])
    raw = f.ifd([(0x0103, SHORT, 1, [7]), (0x0111, LONG, 1, [0]), (0x0117, LONG, 1, [len(LOSSLESS)])])
    small = f.ifd([(0x0103, SHORT, 1, [7]), (0x0111, LONG, 1, [0]), (0x0117, LONG, 1, [len(PREVIEW)])])
    f.patch(ifd0, 0x014A, raw, 0)
    f.patch(ifd0, 0x014A, small, 1)
    f.patch(raw, 0x0111, f.blob(LOSSLESS))
    f.patch(small, 0x0111, f.blob(PREVIEW))
    f.link(small, raw)
    out["subifds.dng"] = f.data

    note = b"Nikon\0\x02\x10\0\0MM\0\x2a\0\0\0\x08" + struct.pack(">HHHIHH", 1, 2, SHORT, 2, 0, 200) + b"\0\0\0\0"
    out["nikon-mm.nef"] = camera(">", None, "NIKON CORPORATION", note).data
    note = b"OLYMPUS\0II\x03\0" + struct.pack("<HHHII", 1, 0x0200, LONG, 3, 30) + b"\0\0\0\0" + struct.pack("<III", 1, 2, 3)
    out["olympus.orf"] = camera("<", b"RO", "OLYMPUS CORPORATION", note).data
    note = b"Panasonic\0\0\0" + struct.pack("<HHHI", 1, 1, UNDEFINED, 4) + b"0130\0\0\0\0"
    f = camera("<", b"U\0", "Panasonic", note)
    out["panasonic.rw2"] = f.data + PREVIEW

    f = File("<", None, b"CR\x02\0\0\0\0\0")
    t, c, v = asc("Canon")
    ifd0 = f.ifd([(0x0103, SHORT, 1, [6]), (0x010F, t, c, v), (0x0111, LONG, 1, [0]), (0x0117, LONG, 1, [len(PREVIEW)])])
    ifd1 = f.ifd([(0x0201, LONG, 1, [0]), (0x0202, LONG, 1, [len(PREVIEW)])])
    f.link(ifd0, ifd1)
    f.patch(ifd0, 0x0111, f.blob(PREVIEW))
    f.patch(ifd1, 0x0201, f.blob(PREVIEW))
    out["canon.cr2"] = f.data
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "TiffFile")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(bytes(data))


if __name__ == "__main__":
    main()
