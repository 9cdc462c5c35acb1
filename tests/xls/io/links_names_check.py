#!/usr/bin/python3
"""Reads links8.xls (BIFF8) and links5.xls (BIFF5) of WORKDIR, as written by
links_names_interop_test.cpp, with python3-xlrd, LibreOffice or gnumeric and compares the defined names,
hyperlinks and merged areas with what the test put in.

usage: links_names_check.py xlrd|libreoffice|gnumeric WORKDIR
Prints every difference and exits 1 when there is one.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402

FILES = {"links8.xls": True, "links5.xls": False}  # name -> BIFF8

# name -> (xlrd scope, hidden, 3-D area (sheet lo, hi, row lo, hi, column lo, hi) or a number)
NAMES = {
    "Total": (-1, 0, (0, 1, 0, 4, 0, 3)),
    "OneCell": (-1, 0, (0, 1, 1, 2, 1, 2)),
    "Hidden": (-1, 1, (1, 2, 0, 3, 0, 1)),
    "Local": (1, 0, (1, 2, 1, 2, 1, 2)),
    "Expr": (-1, 0, 3.0),
    "Consts": (-1, 0, None),  # xlrd leaves array constants unevaluated
}
# LibreOffice: name -> (sheet that holds it or None, range address or expression)
LO_NAMES = {
    "Total": (None, "$Data.$A$1:.$C$4"),
    "OneCell": (None, "$Data.$B$2"),
    "Hidden": (None, "$Other.$A$1:.$A$3"),
    "Local": ("Other", "$Other.$B$2"),
    "Expr": (None, "1+2"),
    "Consts": (None, "{1|2|3}"),
    "Excel_BuiltIn_Print_Area": ("Data", "$Data.$A$1:.$C$4"),
}
# (row, column, xlrd type, address or path, text shown, location, tip)
LINKS = [
    (10, 0, "url", "http://example.com/page", "Example", None, "Go there"),
    (11, 0, "url", "mailto:team@example.com", "mailto:team@example.com", None, None),
    (12, 0, "workbook", None, "Other!B2", "Other!B2", None),
    (13, 0, "local file", "report.xls", "report.xls", None, None),
    (14, 0, "unc", "\\\\server\\share\\doc.txt", "\\\\server\\share\\doc.txt", None, None),
]
LO_LINKS = {
    "Example": "http://example.com/page",
    "mailto:team@example.com": "mailto:team@example.com",
    "Other!B2": "#Other.B2",
    "report.xls": "report.xls",  # made relative to the document: ends with this
    "\\\\server\\share\\doc.txt": "file://server/share/doc.txt",
}
MERGED = [(5, 7, 1, 3), (8, 9, 0, 3)]  # rows lo..hi+1, columns lo..hi+1 on Data
# gnumeric: name -> (sheet that holds it or None, value); it adds Sheet_Title and empty print areas.
GNM_NAMES = {
    "Total": (None, "Data!$A$1:$C$4"),
    "OneCell": (None, "Data!$B$2"),
    "Hidden": (None, "Other!$A$1:$A$3"),
    "Local": ("Other", "Other!$B$2"),
    "Expr": (None, "1+2"),
    "Consts": (None, "{1;2;3}"),
    "Print_Area": ("Data", "Data!$A$1:$C$4"),
}
# (row, type, target, tip). gnumeric takes the character count of a network path (which
# counts characters, the terminator included) for bytes and keeps its first count/2 - 1.
GNM_LINKS = [
    (10, "GnmHLinkURL", "http://example.com/page", "Go there"),
    (11, "GnmHLinkEMail", "mailto:team@example.com", None),
    (12, "GnmHLinkCurWB", "Other!B2", None),
    (13, "GnmHLinkExternal", "report.xls", None),
    (14, "GnmHLinkExternal", "\\\\server\\sh", None),
]
GNM_MERGED = ["A9:C9", "B6:C7"]


def check_xlrd(workdir, problems):
    import xlrd
    for name, biff8 in FILES.items():
        label = name + ": "
        book = xlrd.open_workbook(os.path.join(workdir, name), formatting_info=True)
        for text, (scope, hidden, want) in NAMES.items():
            found = [n for n in book.name_map.get(text.lower(), []) if n.scope == scope]
            if len(found) != 1:
                problems.append(label + "name %s in scope %d: %r" % (text, scope, book.name_map.get(text.lower())))
                continue
            n = found[0]
            if n.hidden != hidden:
                problems.append(label + "name %s hidden %r" % (text, n.hidden))
            if isinstance(want, tuple):
                coords = [r.coords for r in n.result.value] if n.result and isinstance(n.result.value, list) else None
                if coords != [want]:
                    problems.append(label + "name %s refers to %r" % (text, coords))
            elif want is not None and (not n.result or n.result.value != want):
                problems.append(label + "name %s value %r" % (text, n.result and n.result.value))
        builtin = [n for n in book.name_obj_list if n.builtin and n.name == "Print_Area"]
        if len(builtin) != 1 or builtin[0].result.value[0].coords != (0, 1, 0, 4, 0, 3):
            problems.append(label + "print area %r" % builtin)
        data = book.sheet_by_name("Data")
        if sorted(data.merged_cells) != MERGED:
            problems.append(label + "merged %r" % data.merged_cells)
        if book.sheet_by_name("Other").merged_cells:
            problems.append(label + "merged on Other")
        got = [(h.frowx, h.fcolx, h.type, h.url_or_path, h.desc, h.textmark, h.quicktip)
               for h in data.hyperlink_list]
        want = LINKS if biff8 else []  # BIFF5 has no hyperlink records
        if got != want:
            problems.append(label + "hyperlinks %r" % got)
        for h in data.hyperlink_list:
            if h.lrowx != h.frowx or h.lcolx != h.fcolx:
                problems.append(label + "hyperlink area %r" % ((h.frowx, h.lrowx, h.fcolx, h.lcolx),))


def check_libreoffice(workdir, problems):
    out = os.path.join(workdir, "lo-fods")
    code, _, err = soffice(workdir, ["--convert-to", "fods", "--outdir", out] + [os.path.join(workdir, f) for f in FILES])
    if code != 0:
        problems.append("soffice: exit %d %s" % (code, err))
    ns = {"table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
          "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
          "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
          "xlink": "http://www.w3.org/1999/xlink"}
    t = "{%s}" % ns["table"]
    for name, biff8 in FILES.items():
        label = name + " (LibreOffice): "
        path = os.path.join(out, os.path.splitext(name)[0] + ".fods")
        if not os.path.exists(path):
            problems.append(label + "no .fods written")
            continue
        root = ET.parse(path).getroot()
        spreadsheet = root.find("office:body/office:spreadsheet", ns)
        names = {}
        for holder, element in [(None, spreadsheet)] + [(s.get(t + "name"), s) for s in spreadsheet.findall("table:table", ns)]:
            for group in element.findall("table:named-expressions", ns):
                for n in group:
                    value = n.get(t + "cell-range-address") or n.get(t + "expression")
                    names[n.get(t + "name")] = (holder, value)
        if names != LO_NAMES:
            problems.append(label + "names %r" % names)
        data = [s for s in spreadsheet.findall("table:table", ns) if s.get(t + "name") == "Data"][0]
        spans = []
        links = {}
        for r, row in enumerate(data.findall("table:table-row", ns)):
            if int(row.get(t + "number-rows-repeated", "1")) > 1:
                break  # the trailing empty rows
            c = 0
            for cell in row:
                rows = int(cell.get(t + "number-rows-spanned", "1"))
                cols = int(cell.get(t + "number-columns-spanned", "1"))
                if cell.tag == t + "table-cell" and (rows > 1 or cols > 1):
                    spans.append((r, r + rows, c, c + cols))
                for a in cell.iter("{%s}a" % ns["text"]):
                    links[a.text] = a.get("{%s}href" % ns["xlink"])
                c += int(cell.get(t + "number-columns-repeated", "1"))
        if sorted(spans) != MERGED:
            problems.append(label + "merged %r" % spans)
        if not biff8:
            if links:
                problems.append(label + "links in a BIFF5 file %r" % links)
            continue
        if set(links) != set(LO_LINKS) or any(not links[k].endswith(v) for k, v in LO_LINKS.items()):
            problems.append(label + "links %r" % links)


def check_gnumeric(workdir, problems):
    import gzip
    g = "{http://www.gnumeric.org/v10.dtd}"
    for name, biff8 in FILES.items():
        label = name + " (gnumeric): "
        target = os.path.join(workdir, name + ".gnumeric")
        done = subprocess.run(["ssconvert", os.path.join(workdir, name), target], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300)
        if done.returncode != 0 or not os.path.exists(target):
            problems.append(label + "ssconvert exit %d %s" % (done.returncode, done.stderr.decode("utf-8", "replace")))
            continue
        root = ET.fromstring(gzip.open(target).read())
        names = {}
        holders = [(None, root)] + [(s.findtext(g + "Name"), s) for s in root.iter(g + "Sheet")]
        for holder, element in holders:
            for n in element.findall(g + "Names/" + g + "Name"):
                text, value = n.findtext(g + "name"), n.findtext(g + "value")
                if text == "Sheet_Title" or (text == "Print_Area" and value == "#REF!"):
                    continue
                names[text] = (holder, value)
        if names != GNM_NAMES:
            problems.append(label + "names %r" % names)
        data = [s for s in root.iter(g + "Sheet") if s.findtext(g + "Name") == "Data"][0]
        merged = sorted(m.text for m in data.iter(g + "Merge"))
        if merged != GNM_MERGED:
            problems.append(label + "merged %r" % merged)
        links = []
        for region in data.iter(g + "StyleRegion"):
            for h in region.iter(g + "HyperLink"):
                links.append((int(region.get("startRow")), h.get("type"), h.get("target"), h.get("tip")))
        if sorted(links) != (GNM_LINKS if biff8 else []):
            problems.append(label + "links %r" % sorted(links))


def main():
    mode, workdir = sys.argv[1], sys.argv[2]
    problems = []
    {"xlrd": check_xlrd, "libreoffice": check_libreoffice, "gnumeric": check_gnumeric}[mode](workdir, problems)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
