#!/usr/bin/python3
"""Makes workbooks laid out as the format's own program writes them (Windows and Macintosh
versions), record by record with biff_by_hand.py, for what no program here writes:

- excel_odd_pictures.xls: three sheets ("Values" with 233 values, "Second", "Third"); a picture
  store of four entries: 1 an entry whose picture is gone (type JPEG, size 0, no references,
  delay offset 0xFFFFFFFF, no blip), 2 a Macintosh picture stored as PICT (record 0xF01C) under
  the Windows type EMF, 3 a PNG, 4 a Macintosh PICT under the Windows type WMF. "Values" shows
  pictures 2, 3 and 4 in picture frames (C20, F20, I20).
- excel_ole_objects.xls: two sheets ("Objects" with 12 values, "Data"); "Objects" holds two
  embedded OLE objects, each an OBJ of a picture (ftCmo, ftCf, ftPioGrbit, ftPictFmla whose
  formula is a table token with the object's class, then the storage id) over a picture frame,
  with its storage "MBD" + 8 hexadecimal digits of that id beside the workbook stream: a
  worksheet embedded by the Windows version (class "Excel.Sheet.8", EMF picture, storage
  MBD0001B3C4 with \\1CompObj, \\1Ole, \\3ObjInfo and a "Workbook" stream of its own), and a
  chart embedded from the Macintosh version (class "MSGraph.Chart.8", OBJ flags 0x4011, its
  picture a PICT under the Windows type EMF, storage MBD0001B3C5 with \\1CompObj, \\1Ole,
  \\3ObjInfo and a "Workbook" stream). Metafile pictures are compressed (deflate), as that
  program stores them; LibreOffice shows pictures of uncompressed ones empty.
- excel_frame_chart.xls: on sheet "Values" a chart whose shape is a picture frame (shape type
  75) while its OBJ says chart (object type 5), followed by its chart substream.

usage: /usr/bin/python3 gen_excel_objects.py   (writes beside this script)
"""
import os
import struct
import zlib

from biff_by_hand import (Storage, Stream, bitmap_blip, bse, client_anchor, compound_file, drawing_group, escher,
                          ftcmo, ftend, metafile_blip, shape, sheet_drawing, sheet_records, workbook_stream)

HERE = os.path.dirname(os.path.abspath(__file__))


def png(width, height, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def emf():
    """An EMF of a header and an end record (100 x 50 pixels)."""
    header = struct.pack("<II4i4iIIIIHHIII2i2i", 1, 88, 0, 0, 99, 49, 0, 0, 2646, 1323, 0x464D4520, 0x10000,
                         88 + 20, 2, 0, 0, 0, 0, 0, 1024, 768, 320, 240)
    return header + struct.pack("<IIIII", 14, 20, 0, 16, 20)


def pict(tag):
    """A PICT version 2 of a frame 50 x 100 and the end opcode."""
    return struct.pack(">HhhhhHHH", 0, 0, 0, 50, 100, 0x0011, 0x02FF, 0x0C00) + bytes(24) + bytes([tag]) + b"\x00\xff"


def uid(n):
    return bytes((n * 16 + i) & 0xFF for i in range(16))


def picture_frame(shape_id, blip_index, col, row, ole=False):
    properties = [(0x007F, 0x01000100), (0x4104, blip_index), (0x01BF, 0x00100000), (0x03BF, 0x00080000)]
    return shape(75, shape_id, properties, client_anchor(col, row, col + 2, row + 4), flags=0x0A10 if ole else 0x0A00)


def picture_obj(object_id, clipboard=0x0009):
    return (ftcmo(8, object_id, 0x6011) + struct.pack("<HHH", 0x07, 2, clipboard) +
            struct.pack("<HHH", 0x08, 2, 0x0001) + ftend())


def embedded_obj(object_id, class_name, storage_id, flags=0x6011):
    """The OBJ of an embedded object: the formula is a table token (five bytes) followed by the
    class, and the storage id comes after the formula."""
    name = class_name.encode("latin-1")
    formula = struct.pack("<HI", 5, 0) + b"\x02" + bytes(4) + struct.pack("<BBB", 3, len(name), 0) + b"\x00" + name
    if len(formula) % 2:
        formula += b"\x00"
    data = struct.pack("<H", len(formula)) + formula + struct.pack("<I", storage_id)
    return (ftcmo(8, object_id, flags) + struct.pack("<HHH", 0x07, 2, 0x0002) +
            struct.pack("<HHH", 0x08, 2, 0x0000) + struct.pack("<HH", 0x09, len(data)) + data + ftend())


def values_sheet(count):
    cells = []
    for i in range(count):
        cells.append((i // 7, i % 7, i * 1.5 + 0.25))
    return cells


def odd_pictures():
    pict_emf, pict_wmf, png_bytes = pict(1), pict(2), png(6, 4, (200, 40, 40))
    entries = [
        bse(5, 5, uid(1), b"", references=0, delay=0xFFFFFFFF, size=0),
        bse(2, 4, uid(2), metafile_blip(0xF01C, 0x542, uid(2), pict_emf)),
        bse(6, 6, uid(3), bitmap_blip(0xF01E, 0x6E0, uid(3), png_bytes)),
        bse(3, 4, uid(4), metafile_blip(0xF01C, 0x542, uid(4), pict_wmf)),
    ]
    frames = [(picture_frame(1025, 2, 2, 19), picture_obj(1, 0x0002)),
              (picture_frame(1026, 3, 5, 19), picture_obj(2)),
              (picture_frame(1027, 4, 8, 19), picture_obj(3, 0x0003))]
    group = drawing_group(entries, [(1, len(frames) + 1)])
    sheets = [("Values", sheet_records(values_sheet(233), sheet_drawing(1, frames))),
              ("Second", sheet_records([(0, 0, 2.0), (1, 0, 3.0)])),
              ("Third", sheet_records([(0, 0, 4.0)]))]
    root = Storage("Root Entry")
    root.add(Stream("Workbook", workbook_stream(sheets, [], group)))
    return compound_file(root)


def ole_storage(name, clsid, user_type, program, last_stream):
    storage = Storage(name, clsid)
    comp_obj = (struct.pack("<HHI", 1, 0xFFFE, 0x0A03) + struct.pack("<i", -1) + clsid +
                struct.pack("<I", len(user_type) + 1) + user_type.encode("latin-1") + b"\0" +
                struct.pack("<I", 0) + struct.pack("<I", len(program) + 1) + program.encode("latin-1") + b"\0" +
                struct.pack("<I", 0x71B239F4) + bytes(12))
    storage.add(Stream("\x01CompObj", comp_obj))
    storage.add(Stream("\x01Ole", struct.pack("<IIII", 0x02000001, 0, 0, 0) + bytes(4)))
    storage.add(Stream("\x03ObjInfo", struct.pack("<HHH", 0, 3, 4)))
    storage.add(last_stream)
    return storage


def ole_objects():
    windows_uid, mac_uid = uid(7), uid(8)
    entries = [bse(2, 4, windows_uid, metafile_blip(0xF01A, 0x3D4, windows_uid, emf())),
               bse(2, 4, mac_uid, metafile_blip(0xF01C, 0x542, mac_uid, pict(3)))]
    objects = [(picture_frame(1025, 1, 1, 3, ole=True), embedded_obj(1, "Excel.Sheet.8", 0x0001B3C4)),
               (picture_frame(1026, 2, 5, 3, ole=True), embedded_obj(2, "MSGraph.Chart.8", 0x0001B3C5, 0x4011))]
    group = drawing_group(entries, [(1, len(objects) + 1)])
    strings = ["object", "chart"]
    cells = [(0, 0, ("sst", 0)), (0, 4, ("sst", 1))] + [(10 + i // 5, i % 5, float(i)) for i in range(10)]
    sheets = [("Objects", sheet_records(cells, sheet_drawing(1, objects))),
              ("Data", sheet_records([(0, 0, 1.0), (1, 0, 2.0)]))]
    root = Storage("Root Entry")
    root.add(Stream("Workbook", workbook_stream(sheets, strings, group)))
    sheet_clsid = bytes.fromhex("2008020000000000C000000000000046")
    graph_clsid = bytes.fromhex("0308020000000000C000000000000046")
    inner = workbook_stream([("Embedded", sheet_records([(0, 0, 42.0), (1, 0, 43.0)]))], [])
    root.add(ole_storage("MBD0001B3C4", sheet_clsid, "Microsoft Excel Worksheet", "Excel.Sheet.8",
                         Stream("Workbook", inner)))
    root.add(ole_storage("MBD0001B3C5", graph_clsid, "Microsoft Graph Chart", "MSGraph.Chart.8",
                         Stream("Workbook", bytes(range(7, 250)) * 3)))
    return compound_file(root)


def chart_substream():
    """An embedded chart's substream: one series."""
    def rec(rid, data=b""):
        return struct.pack("<HH", rid, len(data)) + data
    series = struct.pack("<BBHHH", 1, 2, 0, 0, 0)  # values of the series, without a formula
    return (rec(0x0809, struct.pack("<HHHHII", 0x0600, 0x0020, 0x0DBB, 0x07CC, 0, 0x0206)) +
            rec(0x1001, struct.pack("<H", 0)) + rec(0x1002, struct.pack("<4I", 0, 0, 0x01E00000, 0x01200000)) +
            rec(0x1033) + rec(0x1003, struct.pack("<6H", 1, 1, 3, 3, 1, 0)) + rec(0x1033) +
            rec(0x1051, series) + rec(0x1034) + rec(0x1034) + rec(0x000A))


def frame_chart():
    """excel_frame_chart.xls: on sheet "Values" (three numbers) a chart whose shape is a picture
    frame (shape type 75) while its OBJ says chart (object type 5), followed by its chart
    substream."""
    frame = shape(75, 1025, [(0x007F, 0x01040104), (0x03BF, 0x00080000)], client_anchor(2, 1, 8, 14))
    obj = ftcmo(5, 1, 0x6011) + ftend()
    drawing = sheet_drawing(1, [(frame, obj)]) + chart_substream()
    group = drawing_group([], [(1, 2)])
    sheets = [("Values", sheet_records([(0, 0, 1.0), (1, 0, 2.0), (2, 0, 3.0)], drawing))]
    root = Storage("Root Entry")
    root.add(Stream("Workbook", workbook_stream(sheets, [], group)))
    return compound_file(root)


def main():
    for name, make in (("excel_odd_pictures.xls", odd_pictures), ("excel_ole_objects.xls", ole_objects),
                       ("excel_frame_chart.xls", frame_chart)):
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
