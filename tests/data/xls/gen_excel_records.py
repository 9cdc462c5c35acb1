#!/usr/bin/python3
"""Workbooks as Excel writes them, record by record (no free program writes these records).

usage: /usr/bin/python3 gen_excel_records.py   (writes the files beside this script)

The records are built here by hand after the published BIFF record layouts; python3-xlwt's
compound-file writer (xlwt.CompoundDoc.XlsDoc) wraps the stream into a file. BIFF5 files get
their stream renamed to "Book", as Excel 5/95 names it.

- excel_deleted_sheet.xls (BIFF8): formulas and names that refer to sheets deleted after they
  were made. EXTERNSHEET holds, beside the sheet "Data" (entry 1), two entries of the own book
  that name no sheet, as Excel writes a deleted sheet: sheet words 0xFFFF, 0xFFFF (entry 0) and
  0xFFFE, 0xFFFF (entry 2). Data!A2 = SUM(#REF!B13:O132) (ptgArea3d, entry 0), A3 = SUM(Total)
  where the name Total = #REF!$B$13:$O$132, A4 = #REF!C5 (ptgRef3d, entry 2), A5 = Good+1 where
  Good = Data!$A$1; cached results #REF!, #REF!, #REF! and 6.
- excel_biff5_deleted_sheet.xls (BIFF5): Data!A2 = SUM(#REF!B13:O132), ptgArea3d with
  EXTERNSHEET index -1 and sheet words 0xFFFF; cached #REF!.
- excel_texts.xls (BIFF8): A1 = CONCATENATE("a";CHAR(10);"b") with its cached text "a" LF "b",
  A2 a shared string of 32,770 characters (SST going on in CONTINUE records), A3 a text in a font
  of weight 600 and colour index 8 (black), A4 and A5 texts in fonts of colour index 0 (black, one
  of the fixed colours 0-7) and 64 (the window text colour).
- excel_biff5_texts.xls (BIFF5): A2 = IF(A1>10;"x";"") with an empty text result (an empty
  STRING record), A3 the CONCATENATE of excel_texts.xls.
- excel_biff8_functions.xls (BIFF8): AVERAGEA, MAXA, VARA, STDEVPA of A1:C1 (1, 2, "a"),
  HYPERLINK("http://x.org";"x") and SUM(A1:C1), with their cached results.
"""
import os
import struct

from xlwt.CompoundDoc import XlsDoc

HERE = os.path.dirname(os.path.abspath(__file__))


def rec(rid, body=b""):
    return struct.pack("<HH", rid, len(body)) + body


def bof(kind, version=0x0600):
    if version == 0x0600:
        return rec(0x0809, struct.pack("<HHHHII", version, kind, 0x0DBB, 0x07CC, 0x000100C1, 0x00000406))
    return rec(0x0809, struct.pack("<HHHH", version, kind, 0x0DBB, 0x07CC))


def boundsheet(offset, name, biff8=True):
    text = name.encode("latin-1")
    return rec(0x0085, struct.pack("<IHB", offset, 0, len(text)) + (b"\x00" if biff8 else b"") + text)


def name_record(name, tokens, biff8=True):
    text = name.encode("latin-1")
    head = struct.pack("<HBBHHHBBBB", 0, 0, len(text), len(tokens), 0, 0, 0, 0, 0, 0)
    return rec(0x0018, head + (b"\x00" if biff8 else b"") + text + tokens)


def formula(row, col, tokens, result):
    return rec(0x0006, struct.pack("<HHH", row, col, 15) + result + struct.pack("<HIH", 0, 0, len(tokens)) + tokens)


def error_result(code):
    return bytes([2, 0, code, 0, 0, 0, 0xFF, 0xFF])


def number(row, col, value):
    return rec(0x0203, struct.pack("<HHHd", row, col, 15, value))


def area3d8(cls, ixti, r1, r2, c1, c2, rel=False):
    flags = 0xC000 if rel else 0
    return bytes([cls]) + struct.pack("<HHHHH", ixti, r1, r2, c1 | flags, c2 | flags)


def workbook(globals_records, sheet_records, name, biff8=True):
    """The globals with one BOUNDSHEET whose offset points at the sheet's BOF."""
    version = 0x0600 if biff8 else 0x0500
    head = bof(0x0005, version) + rec(0x0042, struct.pack("<H", 1200 if biff8 else 1252))
    head += rec(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0x3000, 0x2000, 0x38, 0, 0, 1, 0x258))
    for _ in range(5):  # FONT: 10 pt Arial, automatic colour, normal weight
        head += rec(0x0031, struct.pack("<HHHHHBBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0, 5) +
                    (b"\x00" if biff8 else b"") + b"Arial")
    for i in range(16):  # XF: 15 style XFs, then the cells' XF 15
        kind = 0xFFF5 if i < 15 else 0x0001
        head += rec(0x00E0, struct.pack("<HHHBBBBIIH", 0, 0, kind, 0x20, 0, 0, 0, 0, 0, 0x20C0) if biff8 else
                    struct.pack("<HHHHIII", 0, 0, kind, 0x20, 0x20C0, 0, 0))
    tail = b"".join(globals_records) + rec(0x000A)
    size = len(head) + len(boundsheet(0, name, biff8)) + len(tail)
    sheet = bof(0x0010, version) + rec(0x0200, struct.pack("<IIHHH", 0, 8, 0, 1, 0) if biff8 else
                                       struct.pack("<HHHHH", 0, 8, 0, 1, 0))
    sheet += b"".join(sheet_records)
    sheet += rec(0x023E, struct.pack("<HHHHHHHI", 0x06B6, 0, 0, 64, 0, 0, 0, 0) if biff8 else
                 struct.pack("<HHHI", 0x06B6, 0, 0, 0))
    sheet += rec(0x000A)
    return head + boundsheet(size, name, biff8) + tail + sheet


def save(stream, path, biff5=False):
    if len(stream) < 4096:  # a stream of the regular sectors, as Excel's
        stream += b"\x00" * (4096 - len(stream))
    XlsDoc().save(path, stream)
    if biff5:
        with open(path, "rb") as f:
            data = bytearray(f.read())
        old = "Workbook\x00".encode("utf-16-le")
        at = data.index(old)
        new = "Book\x00".encode("utf-16-le")
        data[at:at + 64] = new + b"\x00" * (64 - len(new))
        struct.pack_into("<H", data, at + 64, len(new))
        with open(path, "wb") as f:
            f.write(data)


def deleted_sheet():
    externs = [(0, 0xFFFF, 0xFFFF), (0, 0, 0), (0, 0xFFFE, 0xFFFF)]
    glob = [
        rec(0x01AE, struct.pack("<HH", 1, 0x0401)),
        rec(0x0017, struct.pack("<H", len(externs)) + b"".join(struct.pack("<HHH", *e) for e in externs)),
        name_record("Total", area3d8(0x3B, 0, 12, 131, 1, 14)),
        name_record("Good", bytes([0x3A]) + struct.pack("<HHH", 1, 0, 0)),
    ]
    sum_var = bytes([0x42, 1, 4, 0])  # ptgFuncVar, 1 argument, SUM
    cells = [
        number(0, 0, 5),
        formula(1, 0, area3d8(0x3B, 0, 12, 131, 1, 14, rel=True) + sum_var, error_result(0x17)),
        formula(2, 0, bytes([0x23]) + struct.pack("<HH", 1, 0) + sum_var, error_result(0x17)),
        formula(3, 0, bytes([0x5A]) + struct.pack("<HHH", 2, 4, 2 | 0xC000), error_result(0x17)),
        formula(4, 0, bytes([0x43]) + struct.pack("<HH", 2, 0) + bytes([0x1E, 1, 0, 0x03]), struct.pack("<d", 6)),
    ]
    save(workbook(glob, cells, "Data"), os.path.join(HERE, "excel_deleted_sheet.xls"))


def biff5_deleted_sheet():
    glob = [
        rec(0x0016, struct.pack("<H", 1)),
        rec(0x0017, bytes([4, 3]) + b"Data"),
    ]
    area = bytes([0x3B]) + struct.pack("<h", -1) + b"\x00" * 8 + struct.pack("<HH", 0xFFFF, 0xFFFF)
    area += struct.pack("<HHBB", 12 | 0xC000, 131 | 0xC000, 1, 14)
    cells = [number(0, 0, 5), formula(1, 0, area + bytes([0x42, 1, 4, 0]), error_result(0x17))]
    save(workbook(glob, cells, "Data", biff8=False), os.path.join(HERE, "excel_biff5_deleted_sheet.xls"), biff5=True)


def ptg_str(text, biff8=True):
    return bytes([0x17, len(text)]) + (b"\x00" if biff8 else b"") + text.encode("latin-1")


def concatenate_lf(biff8=True):
    """CONCATENATE("a";CHAR(10);"b")"""
    return (ptg_str("a", biff8) + bytes([0x1E, 10, 0, 0x41, 111, 0]) + ptg_str("b", biff8) +
            bytes([0x42, 3]) + struct.pack("<H", 336))


def string(text, biff8=True):
    return rec(0x0207, struct.pack("<H", len(text)) + (b"\x00" if biff8 else b"") + text.encode("latin-1"))


def sst(texts):
    """SST of 8-bit texts, going on in CONTINUE records (each piece of a text after the first
    with its option byte) past 8224 bytes."""
    records, body = [], bytearray(struct.pack("<II", len(texts), len(texts)))
    for text in texts:
        data = text.encode("latin-1")
        if len(body) + 3 + 1 > 8224:
            records.append(bytes(body))
            body = bytearray()
        body += struct.pack("<HB", len(data), 0)
        while data:
            room = 8224 - len(body)
            body += data[:room]
            data = data[room:]
            if data:
                records.append(bytes(body))
                body = bytearray(b"\x00")
    records.append(bytes(body))
    return rec(0x00FC, records[0]) + b"".join(rec(0x003C, r) for r in records[1:])


def texts():
    # A font of weight 600 in black (palette index 8), the XF after the 16 of workbook() takes it.
    # Fonts 7 and 8 of colour index 0 and 64 for the XFs 17 and 18.
    glob = [rec(0x0031, struct.pack("<HHHHHBBBBB", 200, 0, colour, weight, 0, 0, 0, 0, 0, 5) + b"\x00Arial")
            for colour, weight in ((8, 600), (0, 400), (64, 400))]
    glob += [rec(0x00E0, struct.pack("<HHHBBBBIIH", font, 0, 1, 0x20, 0, 0, 0, 0, 0, 0x20C0)) for font in (6, 7, 8)]
    glob += [sst(["x" * 32770])]
    cells = [formula(0, 0, concatenate_lf(), bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF])), string("a\nb"),
             rec(0x00FD, struct.pack("<HHHI", 1, 0, 15, 0)),
             rec(0x0204, struct.pack("<HHHHB", 2, 0, 16, 4, 0) + b"bold"),
             rec(0x0204, struct.pack("<HHHHB", 3, 0, 17, 6, 0) + b"zero 0"),
             rec(0x0204, struct.pack("<HHHHB", 4, 0, 18, 8, 0) + b"index 64")]
    save(workbook(glob, cells, "Data"), os.path.join(HERE, "excel_texts.xls"))


def biff5_texts():
    if_empty = (bytes([0x44]) + struct.pack("<HB", 0xC000, 0) + bytes([0x1E, 10, 0, 0x0D]) + ptg_str("x", False) +
                ptg_str("", False) + bytes([0x42, 3, 1, 0]))  # IF(A1>10;"x";"")
    text_result = bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF])
    cells = [number(0, 0, 5), formula(1, 0, if_empty, text_result), string("", False),
             formula(2, 0, concatenate_lf(False), text_result), string("a\nb", False)]
    save(workbook([], cells, "Data", biff8=False), os.path.join(HERE, "excel_biff5_texts.xls"), biff5=True)


def biff8_functions():
    area = bytes([0x25]) + struct.pack("<HHHH", 0, 0, 0xC000, 2 | 0xC000)  # A1:C1
    call = lambda number, args=1: bytes([0x42, args]) + struct.pack("<H", number)
    text_result = bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF])
    cells = [number(0, 0, 1), number(0, 1, 2), rec(0x0204, struct.pack("<HHHHB", 0, 2, 15, 1, 0) + b"a"),
             formula(1, 0, area + call(361), struct.pack("<d", 1)),                     # AVERAGEA
             formula(2, 0, area + call(362), struct.pack("<d", 2)),                     # MAXA
             formula(3, 0, area + call(367), struct.pack("<d", 1)),                     # VARA
             formula(4, 0, area + call(364), struct.pack("<d", (2 / 3) ** 0.5)),        # STDEVPA
             formula(5, 0, ptg_str("http://x.org") + ptg_str("x") + call(359, 2), text_result), string("x"),
             formula(6, 0, area + call(4), struct.pack("<d", 3))]                       # SUM
    save(workbook([], cells, "Data"), os.path.join(HERE, "excel_biff8_functions.xls"))


if __name__ == "__main__":
    deleted_sheet()
    biff5_deleted_sheet()
    texts()
    biff5_texts()
    biff8_functions()
