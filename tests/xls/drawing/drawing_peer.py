#!/usr/bin/python3
"""Independent readers of the drawing layer's files.

usage: drawing_peer.py notes FILE            xlrd's cell_note_map as JSON
       drawing_peer.py ods FILE WORKDIR      LibreOffice's reading: annotations and images of the
                                             OpenDocument it converts the file to (its flat .fods
                                             export leaves annotations out, even of its own files)
       drawing_peer.py render FILE WORKDIR   the first page as PNG (LibreOffice PDF + pdftoppm)
       drawing_peer.py boxes FILE            LibreOffice's comment boxes: per sheet in turn the
                                             cell, width and height (1/100 mm) of every box
       drawing_peer.py make FILE PNG WORKDIR a BIFF8 workbook made by LibreOffice with two
                                             comments, the picture and a chart whose title has
                                             a font of its own
       drawing_peer.py objects FILE WORKDIR  what each reader sees of a workbook's objects: xlrd's
                                             sheets with their counts of values, olefile's storages
                                             beside the workbook stream (class id, and every
                                             stream's size and CRC-32), LibreOffice's frames per
                                             sheet ("ole" for an embedded object, else the
                                             picture's media type) in an OpenDocument conversion
       drawing_peer.py gnumeric FILE OUT     gnumeric's reading: its warnings, and per sheet the
                                             sheet type of its own BIFF8 save of the file (OUT;
                                             0 worksheet, 2 chart sheet) and the data ranges of
                                             the sheet's chart series"""
import json
import zipfile
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import office, prop, soffice  # noqa: E402

NS = {
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
}


def run(command, timeout=240):
    p = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def notes(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    out = {}
    for sheet in book.sheets():
        out[sheet.name] = sorted([r, c, n.text, n.author] for (r, c), n in sheet.cell_note_map.items())
    print(json.dumps(out))


def tag(ns, name):
    return "{%s}%s" % (NS[ns], name)


def text_of(element):
    paragraphs = []
    for p in element.iter(tag("text", "p")):
        paragraphs.append("".join(p.itertext()))
    return "\n".join(paragraphs)


def ods(path, workdir):
    out = os.path.join(workdir, "ods")
    code, _, err = soffice(workdir, ["--convert-to", "ods", "--outdir", out, path], timeout=240)
    target = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".ods")
    if code != 0 or not os.path.exists(target):
        print(json.dumps({"error": "soffice exit %d %s" % (code, err)}))
        return
    with zipfile.ZipFile(target) as z:
        root = ET.fromstring(z.read("content.xml"))
    result = {}
    for table in root.iter(tag("table", "table")):
        name = table.get(tag("table", "name"))
        annotations, images = [], 0
        row = 0
        for r in table.iter(tag("table", "table-row")):
            repeat_rows = int(r.get(tag("table", "number-rows-repeated"), "1"))
            col = 0
            for cell in r:
                if cell.tag not in (tag("table", "table-cell"), tag("table", "covered-table-cell")):
                    continue
                repeat = int(cell.get(tag("table", "number-columns-repeated"), "1"))
                for a in cell.findall(tag("office", "annotation")):
                    annotations.append([row, col, text_of(a)])
                col += repeat
            row += repeat_rows
        for frame in table.iter(tag("draw", "frame")):
            images += len(frame.findall(tag("draw", "image")))
        result[name] = {"annotations": sorted(annotations), "images": images}
        # The data ranges of the sheet's charts (embedded objects of the document).
        ranges = []
        for frame in table.iter(tag("draw", "frame")):
            for obj in frame.findall(tag("draw", "object")):
                href = obj.get("{http://www.w3.org/1999/xlink}href", "").lstrip("./")
                try:
                    chart = ET.fromstring(zipfile.ZipFile(target).read(href + "/content.xml"))
                except KeyError:
                    continue
                for series in chart.iter("{urn:oasis:names:tc:opendocument:xmlns:chart:1.0}series"):
                    ranges.append(series.get("{urn:oasis:names:tc:opendocument:xmlns:chart:1.0}values-cell-range-address"))
        if ranges:
            result[name]["chart series"] = ranges
    print(json.dumps(result))


def render(path, workdir):
    out = os.path.join(workdir, "pdf")
    code, _, err = soffice(workdir, ["--convert-to", "pdf", "--outdir", out, path], timeout=240)
    pdf = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".pdf")
    if code != 0 or not os.path.exists(pdf):
        print("error: soffice exit %d %s" % (code, err))
        return
    # The first page as PNG to look at, and as PPM to count its colours in.
    page = os.path.join(out, "page")
    for kind in (["-png"], []):
        code, _, err = run(["pdftoppm"] + kind + ["-r", "60", "-f", "1", "-l", "1", "-singlefile", pdf, page])
        if code != 0:
            print("error: pdftoppm exit %d %s" % (code, err))
            return
    red, green, blue = colours(page + ".ppm")
    print("%s red %d green %d blue %d" % (page + ".png", red, green, blue))


def colours(path):
    """Pixels of strong red, green and blue in a binary PPM (as pdftoppm writes)."""
    import re
    with open(path, "rb") as f:
        data = f.read()
    header = re.match(rb"P6\s+\d+\s+\d+\s+255\s", data)
    counts = [0, 0, 0]
    pixels = data[header.end():] if header else b""
    for i in range(0, len(pixels) - 2, 3):
        r, g, b = pixels[i], pixels[i + 1], pixels[i + 2]
        if r > 180 and g < 100 and b < 100:
            counts[0] += 1
        elif g > 150 and r < 100 and b < 100:
            counts[1] += 1
        elif b > 180 and r < 100 and g < 100:
            counts[2] += 1
    return tuple(counts)


def make(path, png, workdir):
    import uno  # noqa: F401 - makes the com.sun.star modules importable
    from com.sun.star.awt import Point, Size, Rectangle
    from com.sun.star.table import CellAddress, CellRangeAddress

    with office("draw") as (ctx, desktop):
        doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
        sheet = doc.Sheets.getByIndex(0)
        for r in range(4):
            sheet.getCellByPosition(0, r).setValue(r + 1)
            sheet.getCellByPosition(1, r).setValue((r + 1) * 3)
        sheet.Annotations.insertNew(CellAddress(0, 3, 2), "first note")
        sheet.Annotations.insertNew(CellAddress(0, 5, 7), "second note\nwith two lines")
        graphic = doc.createInstance("com.sun.star.drawing.GraphicObjectShape")
        provider = ctx.ServiceManager.createInstanceWithContext("com.sun.star.graphic.GraphicProvider", ctx)
        graphic.Graphic = provider.queryGraphic((prop("URL", "file://" + png),))
        sheet.DrawPage.add(graphic)
        graphic.Position = Point(6000, 3000)
        graphic.Size = Size(2000, 1500)
        rect = Rectangle(1000, 6000, 8000, 5000)
        sheet.Charts.addNewByName("chart1", rect, (CellRangeAddress(0, 0, 0, 1, 3),), False, False)
        # The title's font is used by the chart alone: a FONT record that no cell format names.
        chart = sheet.Charts.getByName("chart1").EmbeddedObject
        chart.HasMainTitle = True
        chart.Title.String = "Growth"
        chart.Title.CharHeight = 16
        chart.Title.CharWeight = 150
        chart.Title.CharFontName = "Liberation Serif"
        doc.storeToURL("file://" + path, (prop("FilterName", "MS Excel 97"),))
        doc.close(True)
    print(path)


def boxes(path):
    with office("boxes") as (ctx, desktop):
        doc = desktop.loadComponentFromURL("file://" + os.path.abspath(path), "_blank", 0, (prop("Hidden", True),))
        sheets = [[(n.Position, n.AnnotationShape.Size) for n in doc.Sheets.getByIndex(i).Annotations]
                  for i in range(doc.Sheets.Count)]
        print(json.dumps([sorted([p.Row, p.Column, s.Width, s.Height] for p, s in notes) for notes in sheets]))
        doc.close(True)


def sheet_types(path):
    """(name, type) of every BOUNDSHEET of a BIFF8 file."""
    import olefile
    import struct
    with olefile.OleFileIO(path) as ole:
        data = ole.openstream("Workbook").read()
    types, p = [], 0
    while p + 4 <= len(data):
        rid, size = struct.unpack_from("<HH", data, p)
        body = data[p + 4:p + 4 + size]
        if rid == 0x0085 and len(body) >= 8:
            n = body[6]
            name = body[8:8 + 2 * n].decode("utf-16-le") if body[7] & 1 else body[8:8 + n].decode("latin-1")
            types.append((name, body[5]))
        p += 4 + size
    return types


def gnumeric(path, out):
    import gzip
    code, _, err = run(["ssconvert", path, out])
    if code != 0:
        print(json.dumps({"error": "ssconvert exit %d %s" % (code, err)}))
        return
    warnings = sorted(set(line.strip() for line in err.splitlines() if line.strip()))
    xml = out + ".gnumeric"
    code, _, err = run(["ssconvert", path, xml])
    if code != 0:
        print(json.dumps({"error": "ssconvert exit %d %s" % (code, err)}))
        return
    g = "{http://www.gnumeric.org/v10.dtd}"
    with gzip.open(xml) as f:
        root = ET.fromstring(f.read())
    series = {}
    for sheet in root.iter(g + "Sheet"):
        ranges = []
        for obj in sheet.iter("GogObject"):
            if obj.get("role") == "Series":
                ranges += [d.text for d in obj.iter("dimension") if d.get("id") == "1"]
        series[sheet.find(g + "Name").text] = ranges
    sheets = [[name, kind, series.get(name, [])] for name, kind in sheet_types(out)]
    print(json.dumps({"sheets": sheets, "warnings": warnings}))


def objects(path, workdir):
    import olefile
    import xlrd
    import zlib
    book = xlrd.open_workbook(path, formatting_info=True)
    cells = [[sh.name, sum(1 for r in range(sh.nrows) for c in range(sh.ncols) if sh.cell_type(r, c) != 0)]
             for sh in book.sheets()]
    storages = {}
    with olefile.OleFileIO(path) as ole:
        for entry in ole.listdir(streams=True, storages=False):
            if len(entry) > 1:
                data = ole.openstream(entry).read()
                storages.setdefault(entry[0], {"class": ole.getclsid(entry[0]), "streams": {}})
                storages[entry[0]]["streams"]["/".join(entry[1:])] = [len(data), zlib.crc32(data)]
    out = os.path.join(workdir, "objects")
    code, _, err = soffice(workdir, ["--convert-to", "ods", "--outdir", out, path], timeout=240)
    target = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".ods")
    frames = {}
    if code == 0 and os.path.exists(target):
        with zipfile.ZipFile(target) as z:
            root = ET.fromstring(z.read("content.xml"))
        for table in root.iter(tag("table", "table")):
            kinds = []
            for frame in table.iter(tag("draw", "frame")):
                if frame.find("{urn:oasis:names:tc:opendocument:xmlns:drawing:1.0}object-ole") is not None:
                    kinds.append("ole")
                else:
                    kinds += [i.get("{urn:oasis:names:tc:opendocument:xmlns:drawing:1.0}mime-type", "none")
                              for i in frame.findall(tag("draw", "image"))]
            frames[table.get(tag("table", "name"))] = sorted(kinds)
    else:
        frames = {"error": "soffice exit %d %s" % (code, err)}
    print(json.dumps({"cells": cells, "storages": storages, "frames": frames}, sort_keys=True))


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "notes":
        notes(sys.argv[2])
    elif command == "ods":
        ods(sys.argv[2], sys.argv[3])
    elif command == "render":
        render(sys.argv[2], sys.argv[3])
    elif command == "boxes":
        boxes(sys.argv[2])
    elif command == "gnumeric":
        gnumeric(sys.argv[2], sys.argv[3])
    elif command == "objects":
        objects(sys.argv[2], sys.argv[3])
    elif command == "make":
        make(sys.argv[2], sys.argv[3], sys.argv[4])
