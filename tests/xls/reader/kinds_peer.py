#!/usr/bin/python3
"""What LibreOffice and gnumeric find of the record kinds a save used to drop or change:
"file <name>" before the lines of each file.

usage: kinds_peer.py TOOL DIR FILE...   (TOOL lo or gnumeric; DIR a folder for the tools' files)
  "sheet <name>" of every sheet, "chart" for each chart and "series <range>" of its series' ranges
  (LibreOffice: the values; gnumeric: every range of the series), then of the first sheet:
  "formula <row> <col> <text>" (the formula as the tool writes it, its namespace prefix left out),
  "fill <row> <col> <colour>" (a cell's background), "condition <range> <what>" (each conditional
  format's range and rule), "height <cm or points>" (the first row's height)
"""
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
      "chart": "urn:oasis:names:tc:opendocument:xmlns:chart:1.0"}


def q(key):
    prefix, name = key.split(":")
    return "{%s}%s" % (NS[prefix], name)


def lo(work, files):
    out = os.path.join(work, "kinds-fods")
    code, text, err = soffice(work, ["--convert-to", "fods", "--outdir", out] + files)
    result = {}
    for path in files:
        name = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".fods")
        if code != 0 or not os.path.exists(name):
            result[path] = ["error %s%s" % (text, err)]
            continue
        root = ET.parse(name).getroot()
        fills, heights = {}, {}
        for s in root.iter(q("style:style")):
            for p in s.findall("style:table-cell-properties", NS):
                if p.get(q("fo:background-color")):
                    fills[s.get(q("style:name"))] = p.get(q("fo:background-color"))
            for p in s.findall("style:table-row-properties", NS):
                heights[s.get(q("style:name"))] = p.get(q("style:row-height"))
        lines = []
        for i, table in enumerate(root.iter(q("table:table"))):
            lines.append("sheet %s" % table.get(q("table:name")))
            for chart in table.iter(q("draw:object")):
                lines.append("chart")
                lines += ["series %s" % r.get(q("chart:values-cell-range-address")) for r in chart.iter(q("chart:series"))]
            if i > 0:
                continue
            for r, row in enumerate(table.iter(q("table:table-row"))):
                if r == 0:
                    lines.append("height %s" % heights.get(row.get(q("table:style-name"))))
                for c, cell in enumerate(row.iter(q("table:table-cell"))):
                    if cell.get(q("table:formula")):
                        lines.append("formula %d %d %s" % (r, c, cell.get(q("table:formula")).split(":", 1)[-1]))
                    if fills.get(cell.get(q("table:style-name"))):
                        lines.append("fill %d %d %s" % (r, c, fills[cell.get(q("table:style-name"))]))
            for f in table.iter(q("calcext:conditional-format")):
                for c in f:
                    lines.append("condition %s %s %s" % (f.get(q("calcext:target-range-address")), c.tag.split("}")[1],
                                                        c.get(q("calcext:value"))))
        result[path] = lines
    return result


def gnumeric(work, path):
    target = os.path.join(work, os.path.basename(path) + ".gnumeric")
    done = subprocess.run(["ssconvert", path, target], capture_output=True, timeout=300)
    if done.returncode != 0:
        return ["error " + done.stderr.decode("utf-8", "replace")]
    root = ET.fromstring(gzip.open(target).read())
    lines = []
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
            for c in region.iter(GNM + "Condition"):
                lines.append("condition %s:%s-%s:%s %s" % (region.get("startCol"), region.get("startRow"),
                                                         region.get("endCol"), region.get("endRow"), c.get("Operator")))
        rows = sheet.find(GNM + "Rows")
        lines.append("height %s" % (rows.get("DefaultSizePts") if rows is not None else None))
    return lines


def main():
    tool, work, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    found = lo(work, files) if tool == "lo" else {f: gnumeric(work, f) for f in files}
    for f in files:
        print("file %s" % os.path.basename(f))
        for line in found[f]:
            print(line)


if __name__ == "__main__":
    main()
