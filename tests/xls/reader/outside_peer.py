#!/usr/bin/python3
"""What LibreOffice, gnumeric and xlrd find of comments, sheet protection and embedded charts in
a workbook, one fact a line, sorted per sheet, for the outside-file round trips.

usage: outside_peer.py lo DIR [--password PW] FILE...   "file FILE" and its lines, for each;
                                                         "sheet <i> <name> protected <0|1>",
                                                         "note <i> <cell> <text> <shown size>",
                                                         "chart <i> <data ranges>"
       outside_peer.py gnumeric DIR FILE   "sheet <i> <name> protected <0|1>", "note <i> <cell>
                                           <text>", "chart <i>" (ssconvert to gnumeric's XML)
       outside_peer.py xlrd FILE           "sheet <i> <name>", "note <i> <row> <col> <text>"
A comment's shown size is "sized" when LibreOffice gives its box a width and a height of at
least 5 mm each, else "unsized <w>x<h>" (1/100 mm).
"""
import gzip
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))


def column_name(c):
    name = ""
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        name = chr(65 + r) + name
    return name


def lo(workdir, password, files):
    import uno
    from lo_headless import office, prop
    out = []
    with office("outside") as (_, desktop):
        for path in files:
            args = [prop("Hidden", True)]
            if password:
                args.append(prop("Password", password))
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0, tuple(args))
            lines = []
            for i in range(doc.Sheets.getCount()):
                sheet = doc.Sheets.getByIndex(i)
                lines.append("sheet %d %s protected %d" % (i, sheet.Name, sheet.isProtected()))
                notes = sheet.Annotations
                for k in range(notes.getCount()):
                    note = notes.getByIndex(k)
                    size = note.getAnnotationShape().getSize()
                    shown = "sized" if size.Width >= 500 and size.Height >= 500 else "unsized %dx%d" % (size.Width, size.Height)
                    place = note.getPosition()
                    lines.append("note %d %s%d %s %s" % (i, column_name(place.Column), place.Row + 1,
                                                         note.getString().replace("\n", "\\n"), shown))
                charts = sheet.Charts
                for k in range(charts.getCount()):
                    ranges = " ".join("%s%d:%s%d" % (column_name(r.StartColumn), r.StartRow + 1, column_name(r.EndColumn),
                                                     r.EndRow + 1) for r in charts.getByIndex(k).getRanges())
                    lines.append("chart %d %s" % (i, ranges))
            doc.close(True)
            out.append("file " + path)
            out.extend(sorted(lines))
    print("\n".join(out))


def gnumeric(workdir, path):
    target = os.path.join(workdir, os.path.basename(path) + ".gnumeric")
    subprocess.run(["ssconvert", path, target], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with gzip.open(target) as f:
        root = ET.parse(f).getroot()
    ns = {"gnm": "http://www.gnumeric.org/v10.dtd"}
    lines = []
    for i, sheet in enumerate(root.findall("gnm:Sheets/gnm:Sheet", ns)):
        lines.append("sheet %d %s protected %s" % (i, sheet.find("gnm:Name", ns).text, sheet.get("Protected", "0")))
        for obj in sheet.findall("gnm:Objects/*", ns):
            tag = obj.tag.split("}")[1]
            if tag == "CellComment":
                lines.append("note %d %s %s" % (i, obj.get("ObjectBound"), obj.get("Text")))
            elif tag == "SheetObjectGraph":
                lines.append("chart %d" % i)
    print("\n".join(sorted(lines)))


def xlrd_facts(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    lines = []
    for i, sheet in enumerate(book.sheets()):
        lines.append("sheet %d %s" % (i, sheet.name))
        for (row, col), note in sheet.cell_note_map.items():
            lines.append("note %d %d %d %s" % (i, row, col, note.text))
    print("\n".join(sorted(lines)))


def main():
    mode = sys.argv[1]
    if mode == "lo":
        rest = sys.argv[3:]
        password = None
        if rest[:1] == ["--password"]:
            password, rest = rest[1], rest[2:]
        lo(sys.argv[2], password, rest)
    elif mode == "gnumeric":
        gnumeric(sys.argv[2], sys.argv[3])
    else:
        xlrd_facts(sys.argv[2])


if __name__ == "__main__":
    main()
