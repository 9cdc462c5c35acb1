#!/usr/bin/python3
"""Writes excel_views.xls: a BIFF8 workbook made record by record as the format's own spreadsheet
program writes them where no program here writes such records. Every record is listed below with
its fields; the compound file around the "Workbook" stream is laid out by hand too (version 3,
512-byte sectors, the stream padded to 4096 bytes so that it needs no mini stream).

Sheets (each with REFMODE 0, R1C1 reference mode, as the program keeps it per sheet):
- "Stale": SETUP paper 0, scale 255, fit 1 x 1, options 0x0004 ("printer fields not valid",
  portrait bit clear), resolutions 0, copies 0 (what the program leaves on a sheet never printed);
  WINDOW2 0x0633: formulas shown, row and column headings hidden, outline symbols off;
  DEFAULTROWHEIGHT 264 twips; A1 21, A2 =A1*2 (cached 42).
- "Printed": SETUP paper 9 (A4), scale 80, landscape, resolutions 300, copies 2 (valid);
  WINDOW2 0x04B6 (the usual flags); DEFAULTROWHEIGHT 288; A1:D1 the numbers 1..4 with an
  autofilter over the header row alone (AUTOFILTERINFO 4, _FilterDatabase A1:D1, no criteria, no
  drop-down objects); print area the union of four ranges A1:B2, D4:E5, G7, A10:C12; print titles
  rows 1:1.
- "Wide": SETUP options 0x0046 (printer fields and orientation not valid, portrait bit set),
  scale 330, paper 0, first page number 3 (0x0080 clear: not used); DEFAULTROWHEIGHT 317 with option
  0x0001; WINDOW2 0x04B6; print area A1:BP6 and print titles =$A$1 (a single cell); the filter
  database A3:B5 of an advanced filter (no AUTOFILTERINFO: no autofilter).
"Stale" also has a print area on another sheet ('Wide'!$A$1:$B$2, as a copied sheet may keep it)
and print titles $A$1:$B$2 (neither whole rows nor whole columns).
Workbook names: a global Print_Area of another workbook ('[other.xls]Sheet1'!$A$1:$C$3), and a
Database name of sheet "Stale" over '[other.xls]Sheet1'!$A$1:$B$10.

usage: /usr/bin/python3 gen_excel_views.py   (writes excel_views.xls beside this script)
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def rec(rid, body=b""):
    return struct.pack("<HH", rid, len(body)) + body


def w(*values):
    return struct.pack("<%dH" % len(values), *values)


def ustr(text, length_bytes=2):
    """XLUnicodeString with 8-bit characters."""
    return (struct.pack("<H", len(text)) if length_bytes == 2 else bytes([len(text)])) + b"\x00" + text.encode("latin-1")


def bof(kind):
    return rec(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0x0DBB, 0x07CC, 0x000080C9, 0x00000206))


def font():
    return rec(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + ustr("Arial", 1))


def xf(style):
    # font 0, format 0; style XFs: parent 0xFFF with the style bit; the cell XF: locked, parent 0.
    return rec(0x00E0, struct.pack("<HHHBBBBIIH", 0, 0, 0xFFF5 if style else 0x0001, 0x20, 0, 0,
                                   0 if style else 0xF8, 0, 0, 0x20C0))


def area3d(ixti, r1, r2, c1, c2):
    return struct.pack("<BHHHHH", 0x3B, ixti, r1, r2, c1, c2)


def name(code, itab, formula, hidden=False):
    # Options (built-in 0x0020), shortcut, name length 1, formula size, 0, sheet (0 global), the
    # four text lengths, then the name (option byte 0, the code) and the formula.
    return rec(0x0018, struct.pack("<HBBHHHBBBB", 0x0020 | (1 if hidden else 0), 0, 1, len(formula), 0, itab,
                                   0, 0, 0, 0) + bytes([0, code]) + formula)


def number(r, c, v):
    return rec(0x0203, struct.pack("<HHHd", r, c, 15, v))


def sheet(setup, window2, row_height, cells, extra=b"", filter_columns=0, dims=(0, 1, 0, 1)):
    out = bof(0x0010)
    out += rec(0x000D, w(1)) + rec(0x000C, w(100)) + rec(0x000F, w(0)) + rec(0x0011, w(0))
    out += rec(0x0010, struct.pack("<d", 0.001)) + rec(0x005F, w(1))
    out += rec(0x002A, w(0)) + rec(0x002B, w(0)) + rec(0x0082, w(1)) + rec(0x0080, w(0, 0, 0, 0))
    out += rec(0x0225, w(*row_height)) + rec(0x0081, w(0x04C1))
    out += rec(0x0014) + rec(0x0015) + rec(0x0083, w(0)) + rec(0x0084, w(0))
    paper, scale, start, options, res, copies = setup
    out += rec(0x00A1, struct.pack("<HHHHHHHHddH", paper, scale, start, 1, 1, options, res, res, 0.5, 0.5, copies))
    if filter_columns:
        out += rec(0x009D, w(filter_columns))
    out += rec(0x0200, struct.pack("<IIHHH", dims[0], dims[1], dims[2], dims[3], 0))
    out += cells + extra
    out += rec(0x023E, struct.pack("<HHHHHHHI", window2, 0, 0, 64, 0, 0, 0, 0))
    out += rec(0x001D, struct.pack("<BHHHHHHBB", 3, 0, 0, 0, 1, 0, 0, 0, 0))
    return out + rec(0x000A)


def workbook():
    names = ["Stale", "Printed", "Wide"]
    # A2 =A1*2: ptgRefV A1 (row and column relative), ptgInt 2, ptgMul; cached 42.
    tokens = struct.pack("<BHHBHB", 0x44, 0, 0xC000, 0x1E, 2, 0x05)
    formula = rec(0x0006, struct.pack("<HHHdHIH", 1, 0, 15, 42.0, 0, 0, len(tokens)) + tokens)
    sheets = [
        sheet((0, 255, 1, 0x0004, 0, 0), 0x0633, (0, 264), number(0, 0, 21) + formula, dims=(0, 2, 0, 1)),
        sheet((9, 80, 1, 0x0000, 300, 2), 0x04B6, (0, 288), b"".join(number(0, c, c + 1) for c in range(4)),
              filter_columns=4, dims=(0, 1, 0, 4)),
        sheet((0, 330, 3, 0x0046, 600, 1), 0x04B6, (1, 317), number(0, 0, 1), dims=(0, 1, 0, 1)),
    ]
    # EXTERNSHEET entries: 0..2 the sheets of this book, 3 Sheet1 of other.xls.
    union = [area3d(1, 0, 1, 0, 1), area3d(1, 3, 4, 3, 4), area3d(1, 6, 6, 6, 6), area3d(1, 9, 11, 0, 2)]
    union_tokens = union[0] + union[1] + b"\x10" + union[2] + b"\x10" + union[3] + b"\x10"
    built_in = [
        name(6, 0, area3d(3, 0, 2, 0, 2)),                                                  # global, other book
        name(4, 1, area3d(3, 0, 9, 0, 1)),                                                  # Database of "Stale"
        name(6, 1, area3d(2, 0, 1, 0, 1)),                                                  # Stale's, on "Wide"
        name(7, 1, area3d(0, 0, 1, 0, 1)),                                                  # $A$1:$B$2
        name(13, 2, area3d(1, 0, 0, 0, 3), hidden=True),                                    # _FilterDatabase A1:D1
        name(6, 2, struct.pack("<BH", 0x29, len(union_tokens)) + union_tokens),             # four ranges
        name(7, 2, area3d(1, 0, 0, 0, 255)),                                                # rows 1:1
        name(6, 3, area3d(2, 0, 5, 0, 67)),                                                 # A1:BP6
        name(7, 3, struct.pack("<BHHH", 0x3A, 2, 0, 0)),                                    # $A$1 (ptgRef3d)
        name(13, 3, area3d(2, 2, 4, 0, 1), hidden=True),                                    # advanced filter's list
    ]
    # SUPBOOK of another book: the encoded path (0x01: a file name beside this one), one sheet.
    other = rec(0x01AE, w(1) + ustr("\x01other.xls") + ustr("Sheet1"))
    extern = rec(0x0017, w(4) + w(0, 0, 0) + w(0, 1, 1) + w(0, 2, 2) + w(1, 0, 0))

    def globals_(offsets):
        out = bof(0x0005) + rec(0x0042, w(1200))
        out += rec(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 600))
        out += b"".join(font() for _ in range(5))
        out += b"".join(xf(True) for _ in range(15)) + xf(False)
        out += rec(0x0293, w(0x8000) + bytes([0, 0xFF]))
        for i, n in enumerate(names):
            out += rec(0x0085, struct.pack("<IBB", offsets[i], 0, 0) + ustr(n, 1))
        out += rec(0x01AE, w(len(names), 0x0401)) + other + extern + b"".join(built_in)
        return out + rec(0x000A)

    size = len(globals_([0] * len(names)))
    offsets = []
    for s in sheets:
        offsets.append(size)
        size += len(s)
    return globals_(offsets) + b"".join(sheets)


def compound_file(stream):
    """A version 3 compound file: directory in sector 0, the stream from sector 1, one FAT sector."""
    stream += b"\x00" * (max(4096, -(-len(stream) // 512) * 512) - len(stream))
    n = len(stream) // 512
    fat_sector = 1 + n
    assert fat_sector + 1 <= 128
    end, free, fat_mark, none = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFF
    fat = [end] + [i + 1 for i in range(1, n)] + [end] + [fat_mark]
    fat += [free] * (128 - len(fat))
    header = bytes.fromhex("D0CF11E0A1B11AE1") + b"\x00" * 16
    header += struct.pack("<HHHHH", 0x003E, 3, 0xFFFE, 9, 6) + b"\x00" * 6
    header += struct.pack("<IIIIIIIII", 0, 1, 0, 0, 4096, end, 0, end, 0)
    header += struct.pack("<I", fat_sector) + struct.pack("<I", free) * 108

    def entry(text, kind, child, start, size):
        raw = (text + "\x00").encode("utf-16-le") if text else b""
        return (raw.ljust(64, b"\x00") + struct.pack("<HBB", len(raw), kind, 1) + struct.pack("<III", none, none, child)
                + b"\x00" * 16 + struct.pack("<I", 0) + b"\x00" * 16 + struct.pack("<III", start, size, 0))

    empty = b"\x00" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<III", none, none, none) + b"\x00" * 48
    directory = entry("Root Entry", 5, 1, end, 0) + entry("Workbook", 2, none, 1, len(stream)) + empty + empty
    return header + directory + stream + struct.pack("<128I", *fat)


if __name__ == "__main__":
    with open(os.path.join(HERE, "excel_views.xls"), "wb") as f:
        f.write(compound_file(workbook()))
