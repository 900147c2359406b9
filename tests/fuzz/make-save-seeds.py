#!/usr/bin/env python3
"""Writes the hand-made seeds of tests/fuzz/corpus/Save: small JPEGs whose Exif blocks carry the
structures a save has to lay out again (a MakerNote with an offset schema, directory pointers that
alias each other, entries whose counts claim the whole stream).

Usage: tests/fuzz/make-save-seeds.py [OUTPUT_DIR]   (default: the corpus folder beside this script)
Every seed is a complete JPEG: SOI, APP0 JFIF, APP1 Exif, optionally APP1 XMP, then a tiny frame,
scan and EOI. The output is deterministic, so re-running it changes no committed file.
"""

import os
import struct
import sys

# ---- TIFF values ------------------------------------------------------------------------------

BYTE, ASCII, SHORT, LONG, RATIONAL, UNDEFINED, SLONG = 1, 2, 3, 4, 5, 7, 9
TYPE_SIZE = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8, 13: 4}


class Ref:
    """The offset of a directory or data piece, known once the block is laid out."""

    def __init__(self, name, delta=0):
        self.name, self.delta = name, delta


class Entry:
    """One IFD entry. value: bytes (the value itself), a list of numbers (encoded by type), a Ref
    (a one-element pointer) or, with raw set, nothing: count and the value field are taken as given,
    whatever they claim."""

    def __init__(self, tag, type_, count=None, value=None, raw=None):
        self.tag, self.type, self.count, self.value, self.raw = tag, type_, count, value, raw


class Tiff:
    """An Exif block assembled piece by piece: directories and data pieces in the order added, each
    on an even offset behind the one before, unless a piece is placed at a fixed offset."""

    def __init__(self, big_endian=False):
        self.e = ">" if big_endian else "<"
        self.pieces = []  # (name, kind, payload, fixed offset or None)
        self.first_ifd = Ref("ifd0")

    def ifd(self, name, entries, next_ifd=0):
        self.pieces.append((name, "ifd", (entries, next_ifd), None))

    def data(self, name, payload, at=None):
        self.pieces.append((name, "data", payload, at))

    def _encode(self, type_, values):
        e = self.e
        if type_ in (BYTE, UNDEFINED, ASCII, 6):
            return bytes(values)
        if type_ in (SHORT, 8):
            return b"".join(struct.pack(e + ("H" if type_ == SHORT else "h"), v) for v in values)
        if type_ == LONG:
            return b"".join(struct.pack(e + "I", v & 0xFFFFFFFF) for v in values)
        if type_ == SLONG:
            return b"".join(struct.pack(e + "i", v) for v in values)
        if type_ == RATIONAL:
            return b"".join(struct.pack(e + "II", n, d) for n, d in values)
        raise ValueError(type_)

    def _value_bytes(self, entry):
        if isinstance(entry.value, (bytes, bytearray)):
            return bytes(entry.value)
        return self._encode(entry.type, entry.value)

    def _size(self, kind, payload):
        if kind == "data":
            return len(payload)
        entries, _ = payload
        size = 2 + 12 * len(entries) + 4
        for entry in entries:
            if entry.raw is None and not isinstance(entry.value, Ref):
                value = self._value_bytes(entry)
                if len(value) > 4:
                    size += len(value) + (len(value) & 1)
        return size

    def build(self):
        offsets, position = {}, 8
        for name, kind, payload, at in self.pieces:
            offsets[name] = at if at is not None else position
            if at is None:
                size = self._size(kind, payload)
                position += size + (size & 1)
        end = max(offsets[name] + self._size(kind, payload) for name, kind, payload, _ in self.pieces)
        block = bytearray(end)

        def resolve(ref):
            return ref if isinstance(ref, int) else offsets[ref.name] + ref.delta

        e = self.e
        block[0:8] = (b"MM" if e == ">" else b"II") + struct.pack(e + "HI", 42, resolve(self.first_ifd))
        for name, kind, payload, _ in self.pieces:
            at = offsets[name]
            if kind == "data":
                block[at:at + len(payload)] = payload
                continue
            entries, next_ifd = payload
            block[at:at + 2] = struct.pack(e + "H", len(entries))
            data_at = at + 2 + 12 * len(entries) + 4
            for i, entry in enumerate(entries):
                field = at + 2 + 12 * i
                if entry.raw is not None:
                    block[field:field + 12] = struct.pack(e + "HHII", entry.tag, entry.type, entry.count, entry.raw)
                    continue
                if isinstance(entry.value, Ref):
                    block[field:field + 12] = struct.pack(e + "HHII", entry.tag, entry.type, 1, resolve(entry.value))
                    continue
                value = self._value_bytes(entry)
                count = entry.count if entry.count is not None else len(value) // TYPE_SIZE[entry.type]
                block[field:field + 8] = struct.pack(e + "HHI", entry.tag, entry.type, count)
                if len(value) <= 4:
                    block[field + 8:field + 12] = value.ljust(4, b"\0")
                else:
                    block[field + 8:field + 12] = struct.pack(e + "I", data_at)
                    block[data_at:data_at + len(value)] = value
                    data_at += len(value) + (len(value) & 1)
            link = at + 2 + 12 * len(entries)
            block[link:link + 4] = struct.pack(e + "I", resolve(next_ifd))
        self.offsets = offsets
        return bytes(block)


# ---- JPEG framing -----------------------------------------------------------------------------

JFIF = b"JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00"
# A 16 x 24 grey frame with a scan of a few bytes (a stuffed zero inside), then EOI.
IMAGE = bytes.fromhex("ffc0000b080010001801011100" "ffda0008010100003f00" "1234ff0056" "ffd9")
XMP_SIGNATURE = b"http://ns.adobe.com/xap/1.0/\0"
XMP = (b'<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>'
       b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
       b'<rdf:Description rdf:about="" xmlns:tiff="http://ns.adobe.com/tiff/1.0/" tiff:Make="Canon"/>'
       b'</rdf:RDF></x:xmpmeta><?xpacket end="w"?>')


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg(block, xmp=False):
    out = b"\xff\xd8" + segment(0xE0, JFIF) + segment(0xE1, b"Exif\0\0" + block)
    if xmp:
        out += segment(0xE1, XMP_SIGNATURE + XMP)
    return out + IMAGE


def ascii_(text):
    return text.encode() + b"\0"


# ---- The seeds --------------------------------------------------------------------------------

def offset_schema(schema, big_endian=False):
    """Exif directory with a Canon MakerNote and the offset schema 0xEA1D: the MakerNote came from
    schema bytes before where it lies now, so its offsets (counted from the TIFF header, little-endian
    as Canon writes them) are schema bytes short where the schema is plausible. Its SHORT array lies
    inside its own bytes, its text outside them, one value in its entry."""
    t = Tiff(big_endian)
    t.ifd("ifd0", [Entry(0x010F, ASCII, value=ascii_("Canon")), Entry(0x0110, ASCII, value=ascii_("Canon PowerShot")),
                   Entry(0x8769, LONG, value=Ref("exif"))])
    t.ifd("exif", [Entry(0x9000, UNDEFINED, value=b"0230"),
                   Entry(0x927C, UNDEFINED, count=0, raw=0),  # filled in below
                   Entry(0xEA1D, SLONG, value=[schema])])
    t.data("makernote-text", ascii_("IMG:PowerShot A1"))
    block = bytearray(t.build())
    # The MakerNote goes behind everything else, on an even offset.
    at = len(block) + (len(block) & 1)
    shift = schema if abs(schema) < 64 else 0
    makernote = struct.pack("<H", 3)
    makernote += struct.pack("<HHII", 0x0001, SHORT, 4, at + 2 + 36 + 4 - shift)
    makernote += struct.pack("<HHII", 0x0006, ASCII, 17, t.offsets["makernote-text"] - shift)
    makernote += struct.pack("<HHHH", 0x0010, SHORT, 1, 0) + struct.pack("<I", 0x1234)
    makernote += struct.pack("<I", 0) + struct.pack("<HHHH", 1, 2, 3, 4)
    block += b"\0" * (at - len(block)) + makernote
    struct.pack_into(t.e + "HHII", block, t.offsets["exif"] + 2 + 12, 0x927C, UNDEFINED, len(makernote), at)
    return jpeg(bytes(block), xmp=not big_endian)


def aliased_to_ifd0():
    """Exif and GPS pointers both at IFD0; IFD1 links back to IFD0."""
    t = Tiff()
    t.ifd("ifd0", [Entry(0x010F, ASCII, value=ascii_("Nikon")), Entry(0x8769, LONG, value=Ref("ifd0")),
                   Entry(0x8825, LONG, value=Ref("ifd0"))], next_ifd=Ref("ifd1"))
    t.ifd("ifd1", [Entry(0x0103, SHORT, value=[6]), Entry(0x011A, RATIONAL, value=[(72, 1)])], next_ifd=Ref("ifd0"))
    return jpeg(t.build())


def aliased_to_each_other():
    """The GPS pointer at the Exif directory, the interoperability pointer at the Exif directory
    itself; IFD1 links back to IFD0."""
    t = Tiff()
    t.ifd("ifd0", [Entry(0x010F, ASCII, value=ascii_("Canon")), Entry(0x8769, LONG, value=Ref("exif")),
                   Entry(0x8825, LONG, value=Ref("exif"))], next_ifd=Ref("ifd1"))
    t.ifd("exif", [Entry(0x829A, RATIONAL, value=[(1, 60)]), Entry(0x9003, ASCII, value=ascii_("2020:01:02 03:04:05")),
                   Entry(0xA002, SHORT, value=[16]), Entry(0xA003, SHORT, value=[24]),
                   Entry(0xA005, LONG, value=Ref("exif"))])
    t.ifd("ifd1", [Entry(0x0103, SHORT, value=[6]), Entry(0x0128, SHORT, value=[2])], next_ifd=Ref("ifd0"))
    return jpeg(t.build(), xmp=True)


def interop_at_gps():
    """The interoperability pointer at the GPS directory, IFD1 linking to itself, the GPS pointer of
    type SLONG."""
    t = Tiff(big_endian=True)
    t.ifd("ifd0", [Entry(0x010F, ASCII, value=ascii_("SONY")), Entry(0x8769, LONG, value=Ref("exif")),
                   Entry(0x8825, SLONG, value=Ref("gps"))], next_ifd=Ref("ifd1"))
    t.ifd("exif", [Entry(0x9000, UNDEFINED, value=b"0220"), Entry(0xA005, LONG, value=Ref("gps"))])
    t.ifd("gps", [Entry(0x0000, BYTE, value=[2, 3, 0, 0]), Entry(0x0001, ASCII, value=ascii_("N")),
                  Entry(0x0002, RATIONAL, value=[(48, 1), (51, 1), (0, 1)])])
    t.ifd("ifd1", [Entry(0x0103, SHORT, value=[6])], next_ifd=Ref("ifd1"))
    return jpeg(t.build())


def interop_at_ifd1():
    """The interoperability pointer at IFD1, the GPS pointer into the middle of IFD0's entries."""
    t = Tiff()
    t.ifd("ifd0", [Entry(0x010F, ASCII, value=ascii_("FUJIFILM")), Entry(0x0112, SHORT, value=[1]),
                   Entry(0x8769, LONG, value=Ref("exif")), Entry(0x8825, LONG, value=Ref("ifd0", 14))],
          next_ifd=Ref("ifd1"))
    t.ifd("exif", [Entry(0x9000, UNDEFINED, value=b"0230"), Entry(0xA005, LONG, value=Ref("ifd1"))])
    t.ifd("ifd1", [Entry(0x0001, ASCII, value=ascii_("R98")), Entry(0x0103, SHORT, value=[6])])
    return jpeg(t.build())


def whole_stream_counts():
    """Entries whose counts claim the whole stream or more: with an offset at the header (all
    there), with an offset behind it, and with sizes that overflow 32 bits; well-formed entries
    between them, since two bad entries in a row end a directory."""
    e = "<"
    entries = [
        (0x010E, ASCII, 0xFFFFFFFF, 8),       # count -1: more than any stream
        (0x010F, ASCII, 6, 0),                # placed below: "Canon"
        (0x0131, UNDEFINED, 0x7FFFFFFF, 0),   # 2 GB from the header
        (0x0132, ASCII, 20, 0),               # placed below: a date
        (0x013B, LONG, 0x40000000, 0),        # 4 GB: the size overflows 32 bits
        (0x013E, RATIONAL, 2, 0),             # placed below
        (0x8298, UNDEFINED, 0, 0),            # filled in: the whole block from the header
        (0x9C9C, BYTE, 0, 0),                 # filled in: the whole block from offset 2
        (0xC4A5, UNDEFINED, 0, 8),            # filled in: from IFD0 to the end
    ]
    ifd_size = 2 + 12 * len(entries) + 4
    data_at = 8 + ifd_size
    make, date, white = ascii_("Canon"), ascii_("2021:02:03 04:05:06"), struct.pack(e + "IIII", 313, 1000, 329, 1000)
    placed = {0x010F: make, 0x0132: date, 0x013E: white}
    payload = bytearray()
    values = {}
    for tag, value in placed.items():
        values[tag] = data_at + len(payload)
        payload += value + (b"\0" if len(value) & 1 else b"")
    size = data_at + len(payload)
    block = bytearray(b"II" + struct.pack(e + "HI", 42, 8))
    block += struct.pack(e + "H", len(entries))
    for tag, type_, count, offset in entries:
        if tag in values:
            offset = values[tag]
        if tag == 0x8298:
            count, offset = size, 0
        elif tag == 0x9C9C:
            count, offset = size - 2, 2
        elif tag == 0xC4A5:
            count, offset = size - 8, 8
        block += struct.pack(e + "HHII", tag, type_, count, offset)
    block += struct.pack(e + "I", 0)
    block += payload
    assert len(block) == size
    return jpeg(bytes(block))


def whole_stream_makernote():
    """A MakerNote and a strip thumbnail whose counts claim the whole block."""
    t = Tiff(big_endian=True)
    t.ifd("ifd0", [Entry(0x010F, ASCII, value=ascii_("OLYMPUS")), Entry(0x8769, LONG, value=Ref("exif"))],
          next_ifd=Ref("ifd1"))
    t.ifd("exif", [Entry(0x927C, UNDEFINED, count=0, raw=0), Entry(0xA002, LONG, value=[640])])
    t.ifd("ifd1", [Entry(0x0100, SHORT, value=[4]), Entry(0x0101, SHORT, value=[2]), Entry(0x0103, SHORT, value=[1]),
                   Entry(0x0111, LONG, value=[0]), Entry(0x0117, LONG, value=[0])])
    block = bytearray(t.build())
    size = len(block)
    e = t.e
    exif_at, ifd1_at = t.offsets["exif"], t.offsets["ifd1"]
    struct.pack_into(e + "HHII", block, exif_at + 2, 0x927C, UNDEFINED, size, 0)
    # The strip: from the header to the end of the block.
    struct.pack_into(e + "HHII", block, ifd1_at + 2 + 36, 0x0111, LONG, 1, 0)
    struct.pack_into(e + "HHII", block, ifd1_at + 2 + 48, 0x0117, LONG, 1, size)
    return jpeg(bytes(block))


SEEDS = {
    "schema-positive.jpg": lambda: offset_schema(6),
    "schema-negative-mm.jpg": lambda: offset_schema(-8, big_endian=True),
    "schema-negative.jpg": lambda: offset_schema(-20),
    "schema-int32-min.jpg": lambda: offset_schema(-2**31),
    "schema-int32-max-mm.jpg": lambda: offset_schema(2**31 - 1, big_endian=True),
    "aliased-ifd0.jpg": aliased_to_ifd0,
    "aliased-exif.jpg": aliased_to_each_other,
    "aliased-gps-mm.jpg": interop_at_gps,
    "aliased-ifd1.jpg": interop_at_ifd1,
    "counts-whole-stream.jpg": whole_stream_counts,
    "counts-makernote-strip-mm.jpg": whole_stream_makernote,
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "Save")
    os.makedirs(out, exist_ok=True)
    for name, make in SEEDS.items():
        data = make()
        assert len(data) < 4096, name
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
