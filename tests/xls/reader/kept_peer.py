#!/usr/bin/python3
"""What xlrd, gnumeric, LibreOffice and olefile find in workbooks, "file <name>" before the lines
of each; and Python's own Mac code pages.

usage: kept_peer.py TOOL DIR FILE...   (DIR: a folder for the tools' own files)
  results   the first sheet's cells by A1 reference, numbers printed with repr:
            "xlrd <cell> <n|s|b|e> <value>" (the results cached in the file), "gnumeric <cell>
            <text>" (ssconvert's CSV, not calculated again: the cached results as shown) and
            "libreoffice <cell> <text>" (its CSV; it chooses whether to calculate again)
  xlrd      "sheet <name>" of every sheet, "cell <r> <c> <repr>" of the first sheet's cells
  xlrdxf    "cell <r> <c> <repr> <number format>" of the first sheet's cells, formats read
  gnumeric  "sheet <name>", "cell <r> <c> <repr>" (first sheet), "filter <area>",
            "comment <cell>", "chart", "column <c> hard" (a width set, not fitted),
            "meta <element> <text>" (title, creator, publisher)
  lo        "sheet <name>", "cell <r> <c> <repr>" (first sheet, paragraphs joined by LF),
            "filter <range> buttons <true|false>", "meta <element> <text>" (title, initial creator)
  olefile   "meta <title|author|company> <text>"
  kinds-lo, kinds-gnumeric   "sheet <name>" of every sheet, "chart" for each chart and "series
            <range>" of its series (LibreOffice: the values; gnumeric: every range of the series),
            then of the first sheet: "formula <r> <c> <text>" (namespace prefix left out), "fill <r>
            <c> <colour>" (a cell's background), "condition <range> <what>" (each conditional
            format's range and rule), "height <cm, in or points>" (the first row's height)
usage: kept_peer.py codepage NUMBER CODEC   the characters of bytes 0x80..0xFF in UTF-8, U+FFFD
            for a byte the codec does not define
"""
import csv
import gzip
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402

GNM = "{http://www.gnumeric.org/v10.dtd}"
NS = {"table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
      "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
      "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
      "calcext": "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0",
      "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
      "chart": "urn:oasis:names:tc:opendocument:xmlns:chart:1.0",
      "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
      "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
      "dc": "http://purl.org/dc/elements/1.1/",
      "meta": "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"}


def a1(row, col):
    letters, col = "", col + 1
    while col:
        col, r = divmod(col - 1, 26)
        letters = chr(65 + r) + letters
    return "%s%d" % (letters, row + 1)


def results(work, path):
    import xlrd
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    kinds = {xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_BOOLEAN: "b", xlrd.XL_CELL_ERROR: "e",
             xlrd.XL_CELL_DATE: "n"}
    lines = ["xlrd %s %s %r" % (a1(r, c), kinds[sheet.cell(r, c).ctype], sheet.cell(r, c).value)
             for r in range(sheet.nrows) for c in range(sheet.ncols) if sheet.cell(r, c).ctype in kinds]
    target = os.path.join(work, "gnumeric.csv")
    done = subprocess.run(["ssconvert", "-T", "Gnumeric_stf:stf_csv", path, target], capture_output=True, timeout=300)
    code, out, err = soffice(work, ["--convert-to", "csv", "--outdir", work, path])
    converted = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".csv")
    if done.returncode != 0 or code != 0 or not os.path.exists(converted):
        return lines + ["error %s %s %s" % (done.stderr.decode("utf-8", "replace"), out, err)]
    for program, name in (("gnumeric", target), ("libreoffice", converted)):
        with open(name, newline="", encoding="utf-8") as f:
            lines += ["%s %s %s" % (program, a1(r, c), text)
                      for r, row in enumerate(csv.reader(f)) for c, text in enumerate(row) if text != ""]
    return lines


def xlrd_lines(path, formats=False):
    import xlrd
    try:
        book = xlrd.open_workbook(path, formatting_info=formats)
    except Exception as e:  # noqa: BLE001 - the reader's refusal is what is reported
        return ["error %s" % e]
    lines = [] if formats else ["sheet %s" % n for n in book.sheet_names()]
    sheet = book.sheet_by_index(0)
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            if sheet.cell_value(r, c) != "":
                xf = book.xf_list[sheet.cell_xf_index(r, c)] if formats else None
                form = " " + book.format_map[xf.format_key].format_str if formats else ""
                lines.append("cell %d %d %r%s" % (r, c, sheet.cell_value(r, c), form))
    return lines


def gnumeric_root(work, path):
    """gnumeric's own file of PATH as an element tree, or the error lines."""
    target = os.path.join(work, os.path.basename(path) + ".gnumeric")
    done = subprocess.run(["ssconvert", path, target], capture_output=True, timeout=300)
    if done.returncode != 0:
        return None, ["error " + done.stderr.decode("utf-8", "replace")]
    return ET.fromstring(gzip.open(target).read()), []


def fods_roots(work, files):
    """LibreOffice's flat ODS of each file as an element tree, or the error lines, by path."""
    out = os.path.join(work, "lo-fods")
    code, text, err = soffice(work, ["--convert-to", "fods", "--outdir", out] + files)
    roots = {}
    for path in files:
        name = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".fods")
        ok = code == 0 and os.path.exists(name)
        roots[path] = (ET.parse(name).getroot(), []) if ok else (None, ["error %s%s" % (text, err)])
    return roots


def gnumeric(work, path):
    root, lines = gnumeric_root(work, path)
    if root is None:
        return lines
    for element in root.iter():
        if element.tag.startswith("{http://purl.org/dc/elements/1.1/}") and element.text:
            lines.append("meta %s %s" % (element.tag.split("}")[1], element.text))
        if element.tag.endswith("}user-defined") and element.text and "publisher" in str(element.attrib):
            lines.append("meta publisher %s" % element.text)
    for i, sheet in enumerate(root.iter(GNM + "Sheet")):
        lines.append("sheet %s" % sheet.find(GNM + "Name").text)
        if i > 0:
            continue
        for cell in sheet.iter(GNM + "Cell"):
            lines.append("cell %s %s %r" % (cell.get("Row"), cell.get("Col"), cell.text))
        lines += ["filter %s" % f.get("Area") for f in sheet.iter(GNM + "Filter")]
        lines += ["comment %s" % c.get("ObjectBound") for c in sheet.iter(GNM + "CellComment")]
        lines += ["chart" for _ in sheet.iter(GNM + "SheetObjectGraph")]
        lines += ["column %s hard" % c.get("No") for c in sheet.iter(GNM + "ColInfo") if c.get("HardSize") == "1"]
    return lines


def lo(work, files):
    result = {}
    for path, (root, lines) in fods_roots(work, files).items():
        if root is None:
            result[path] = lines
            continue
        for key in ("dc:title", "meta:initial-creator"):
            for element in root.iter("{%s}%s" % (NS[key.split(":")[0]], key.split(":")[1])):
                lines.append("meta %s %s" % (key, element.text))
        for i, table in enumerate(root.iter("{%s}table" % NS["table"])):
            lines.append("sheet %s" % table.get("{%s}name" % NS["table"]))
            if i > 0:
                continue
            for r, row in enumerate(table.iter("{%s}table-row" % NS["table"])):
                for c, cell in enumerate(row.iter("{%s}table-cell" % NS["table"])):
                    paragraphs = ["".join(p.itertext()) for p in cell.findall("text:p", NS)]
                    if paragraphs:
                        lines.append("cell %d %d %r" % (r, c, "\n".join(paragraphs)))
        for d in root.iter("{%s}database-range" % NS["table"]):
            lines.append("filter %s buttons %s" % (d.get("{%s}target-range-address" % NS["table"]),
                                                  d.get("{%s}display-filter-buttons" % NS["table"], "false")))
        result[path] = lines
    return result


def kinds_lo(work, files):
    """The lines of the kinds modes (see the usage) as LibreOffice reads the files."""
    q = lambda key: "{%s}%s" % (NS[key.split(":")[0]], key.split(":")[1])  # noqa: E731
    result = {}
    for path, (root, lines) in fods_roots(work, files).items():
        if root is None:
            result[path] = lines
            continue
        styles = {s.get(q("style:name")): s for s in root.iter(q("style:style"))}

        def prop(element, kind, key):  # a property of the element's style, or None
            p = styles.get(element.get(q("table:style-name")))
            p = p.find("style:%s-properties" % kind, NS) if p is not None else None
            return p.get(q(key)) if p is not None else None
        for i, table in enumerate(root.iter(q("table:table"))):
            lines.append("sheet %s" % table.get(q("table:name")))
            for chart in table.iter(q("draw:object")):
                lines.append("chart")
                lines += ["series %s" % r.get(q("chart:values-cell-range-address")) for r in chart.iter(q("chart:series"))]
            if i > 0:
                continue
            for r, row in enumerate(table.iter(q("table:table-row"))):
                if r == 0:
                    lines.append("height %s" % prop(row, "table-row", "style:row-height"))
                for c, cell in enumerate(row.iter(q("table:table-cell"))):
                    if cell.get(q("table:formula")):
                        lines.append("formula %d %d %s" % (r, c, cell.get(q("table:formula")).split(":", 1)[-1]))
                    if fill := prop(cell, "table-cell", "fo:background-color"):
                        lines.append("fill %d %d %s" % (r, c, fill))
            for f in table.iter(q("calcext:conditional-format")):
                lines += ["condition %s %s %s" % (f.get(q("calcext:target-range-address")), c.tag.split("}")[1],
                                                  c.get(q("calcext:value"))) for c in f]
        result[path] = lines
    return result


def kinds_gnumeric(work, path):
    """The lines of the kinds modes (see the usage) as gnumeric reads the file."""
    root, lines = gnumeric_root(work, path)
    if root is None:
        return lines
    for i, sheet in enumerate(root.iter(GNM + "Sheet")):
        lines.append("sheet %s" % sheet.find(GNM + "Name").text)
        for chart in sheet.iter(GNM + "SheetObjectGraph"):
            lines.append("chart")
            lines += ["series %s" % d.text for d in chart.iter() if d.tag.endswith("dimension") and d.text]
        if i > 0:
            continue
        for cell in sheet.iter(GNM + "Cell"):
            if cell.text and cell.text.startswith("="):
                lines.append("formula %s %s %s" % (cell.get("Row"), cell.get("Col"), cell.text))
        for region in sheet.iter(GNM + "StyleRegion"):
            style = region.find(GNM + "Style")
            if region.get("startRow") == "0" and region.get("startCol") == "0" and style.get("Shade") == "1":
                lines.append("fill 0 0 %s" % style.get("Back"))
            lines += ["condition %s:%s-%s:%s %s" % (region.get("startCol"), region.get("startRow"), region.get("endCol"),
                                                    region.get("endRow"), c.get("Operator"))
                      for c in region.iter(GNM + "Condition")]
        rows = sheet.find(GNM + "Rows")
        lines.append("height %s" % (rows.get("DefaultSizePts") if rows is not None else None))
    return lines


def olefile_lines(path):
    import olefile
    with olefile.OleFileIO(path) as ole:
        m = ole.get_metadata()
    return ["meta %s %s" % (k, getattr(m, k).decode("latin-1")) for k in ("title", "author", "company") if getattr(m, k)]


def main():
    tool = sys.argv[1]
    if tool == "codepage":
        sys.stdout.buffer.write(bytes(range(0x80, 0x100)).decode(sys.argv[3], errors="replace").encode() + b"\n")
        return
    work, files = sys.argv[2], sys.argv[3:]
    if tool == "lo":
        found = lo(work, files)
    elif tool == "kinds-lo":
        found = kinds_lo(work, files)
    else:
        read = {"results": lambda p: results(work, p), "xlrd": xlrd_lines, "xlrdxf": lambda p: xlrd_lines(p, True),
                "olefile": olefile_lines, "gnumeric": lambda p: gnumeric(work, p),
                "kinds-gnumeric": lambda p: kinds_gnumeric(work, p)}[tool]
        found = {f: read(f) for f in files}
    for f in files:
        print("file %s" % os.path.basename(f))
        for line in found[f]:
            print(line)


if __name__ == "__main__":
    main()
