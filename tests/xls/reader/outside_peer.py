#!/usr/bin/python3
"""Comments, sheet protection and embedded charts as LibreOffice, gnumeric and xlrd find them,
one fact a line, sorted: "sheet <i> <name> [protected <0|1>]", "note <i> <cell> <text> [sized]",
"chart <i> [<data ranges>]". LibreOffice says "sized" for a comment box of at least 5 x 5 mm.

usage: outside_peer.py lo [--password PW] FILE...   "file FILE" before the lines of each
       outside_peer.py gnumeric DIR FILE            (through ssconvert's gnumeric XML in DIR)
       outside_peer.py xlrd FILE                    (cells as "<row> <col>")
"""
import gzip
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def cell(c, r):
    name, c = "", c + 1
    while c:
        c, k = divmod(c - 1, 26)
        name = chr(65 + k) + name
    return "%s%d" % (name, r + 1)


def lo(password, files):
    import uno
    from lo_headless import office, prop
    with office("outside") as (_, desktop):
        for path in files:
            args = (prop("Hidden", True),) + ((prop("Password", password),) if password else ())
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0, args)
            lines = []
            for i, sheet in enumerate(doc.Sheets.getByIndex(k) for k in range(doc.Sheets.Count)):
                lines.append("sheet %d %s protected %d" % (i, sheet.Name, sheet.isProtected()))
                for note in (sheet.Annotations.getByIndex(k) for k in range(sheet.Annotations.Count)):
                    size = note.getAnnotationShape().getSize()
                    lines.append("note %d %s %s %s" % (i, cell(note.Position.Column, note.Position.Row), note.String,
                                                       "sized" if min(size.Width, size.Height) >= 500 else "unsized"))
                for chart in (sheet.Charts.getByIndex(k) for k in range(sheet.Charts.Count)):
                    lines.append("chart %d %s" % (i, " ".join(cell(r.StartColumn, r.StartRow) + ":" + cell(r.EndColumn, r.EndRow)
                                                              for r in chart.getRanges())))
            doc.close(True)
            print("\n".join(["file " + path] + sorted(lines)))


def gnumeric(workdir, path):
    target = os.path.join(workdir, os.path.basename(path) + ".gnumeric")
    subprocess.run(["ssconvert", path, target], check=True, capture_output=True, timeout=300)
    with gzip.open(target) as f:
        root = ET.parse(f).getroot()
    ns = {"gnm": "http://www.gnumeric.org/v10.dtd"}
    lines = []
    for i, sheet in enumerate(root.findall("gnm:Sheets/gnm:Sheet", ns)):
        lines.append("sheet %d %s protected %s" % (i, sheet.find("gnm:Name", ns).text, sheet.get("Protected", "0")))
        lines += ["note %d %s %s" % (i, n.get("ObjectBound"), n.get("Text")) for n in sheet.findall("gnm:Objects/gnm:CellComment", ns)]
        lines += ["chart %d" % i for _ in sheet.findall("gnm:Objects/gnm:SheetObjectGraph", ns)]
    print("\n".join(sorted(lines)))


def xlrd_lines(path):
    import xlrd
    lines = []
    for i, sheet in enumerate(xlrd.open_workbook(path, formatting_info=True).sheets()):
        lines.append("sheet %d %s" % (i, sheet.name))
        lines += ["note %d %d %d %s" % (i, r, c, n.text) for (r, c), n in sheet.cell_note_map.items()]
    print("\n".join(sorted(lines)))


if __name__ == "__main__":
    if sys.argv[1] == "lo":
        password = sys.argv[3] if sys.argv[2] == "--password" else None
        lo(password, sys.argv[4:] if password else sys.argv[2:])
    elif sys.argv[1] == "gnumeric":
        gnumeric(sys.argv[2], sys.argv[3])
    else:
        xlrd_lines(sys.argv[2])
