#!/usr/bin/python3
"""Cells (those under merged areas too), merged areas, validations, autofilters and formulas as
LibreOffice, gnumeric and xlrd find them, one fact a line, sorted:
"cell <i> <cell> <value>", "formula <i> <cell> <length of the formula text> <value>",
"merge <i> <range>", "validation <i> <cell> <error title> <length of the error message>",
"filter <i> <range> <column>:<value>" (a column's "equals" condition), "hidden <i> <row>".

usage: losses_peer.py lo FILE...        "file FILE" before the lines of each
       losses_peer.py gnumeric DIR FILE (through ssconvert's gnumeric XML in DIR)
       losses_peer.py xlrd FILE
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from outside_peer import GNM, cell, gnumeric_sheets  # noqa: E402  (same folder)

BOX_ROWS, BOX_COLUMNS = 25, 10  # the files' cells lie in A1:J25


def number(v):
    return "%g" % v


def lo(files):
    import uno
    from com.sun.star.table.CellContentType import EMPTY, FORMULA, VALUE
    from lo_headless import office, prop
    with office("losses") as (_, desktop):
        for path in files:
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                               (prop("Hidden", True),))
            lines = []
            for i, sheet in enumerate(doc.Sheets.getByIndex(k) for k in range(doc.Sheets.Count)):
                for r in range(BOX_ROWS):
                    if not sheet.Rows.getByIndex(r).IsVisible:
                        lines.append("hidden %d %d" % (i, r + 1))
                    for c in range(BOX_COLUMNS):
                        x = sheet.getCellByPosition(c, r)
                        t = x.getType()
                        if t == FORMULA:
                            lines.append("formula %d %s %d %s" % (i, cell(c, r), len(x.getFormula()),
                                                                  number(x.getValue()) if x.getError() == 0 else "error"))
                        elif t == VALUE:
                            lines.append("cell %d %s %s" % (i, cell(c, r), number(x.getValue())))
                        elif t != EMPTY:
                            lines.append("cell %d %s %s" % (i, cell(c, r), x.getString()))
                        v = x.Validation
                        if v.Type.value != "ANY":
                            lines.append("validation %d %s %s %d" % (i, cell(c, r), v.ErrorTitle, len(v.ErrorMessage)))
                        cursor = sheet.createCursorByRange(x)
                        cursor.collapseToMergedArea()
                        a = cursor.RangeAddress
                        if (a.StartRow, a.StartColumn) == (r, c) and (a.EndRow, a.EndColumn) != (r, c):
                            lines.append("merge %d %s:%s" % (i, cell(c, r), cell(a.EndColumn, a.EndRow)))
                ranges = [doc.DatabaseRanges.getByIndex(k) for k in range(doc.DatabaseRanges.Count)]
                unnamed = doc.getPropertyValue("UnnamedDatabaseRanges")
                if unnamed.hasByTable(i):
                    ranges.append(unnamed.getByTable(i))
                for db in ranges:
                    a = db.DataArea
                    if a.Sheet == i and db.AutoFilter:
                        lines.append(filter_line(i, a, db.getFilterDescriptor()))
            doc.close(True)
            print("\n".join(["file " + path] + sorted(set(lines))))


def filter_line(i, a, descriptor):
    fields = ["%d:%s" % (f.Field, f.StringValue if not f.IsNumeric else number(f.NumericValue))
              for f in descriptor.getFilterFields()]
    return "filter %d %s:%s %s" % (i, cell(a.StartColumn, a.StartRow), cell(a.EndColumn, a.EndRow), " ".join(fields))


def gnumeric(workdir, path):
    ns = GNM
    lines = []
    for i, sheet in enumerate(gnumeric_sheets(workdir, path)):
        for x in sheet.findall("gnm:Cells/gnm:Cell", ns):
            where = cell(int(x.get("Col")), int(x.get("Row")))
            text = x.text or ""
            if text.startswith("="):
                lines.append("formula %d %s %d" % (i, where, len(text)))
            else:
                lines.append("cell %d %s %s" % (i, where, number(float(text)) if x.get("ValueType") == "40" else text))
        lines += ["merge %d %s" % (i, m.text) for m in sheet.findall("gnm:MergedRegions/gnm:Merge", ns)]
        for region in sheet.findall("gnm:Styles/gnm:StyleRegion", ns):
            for v in region.findall("gnm:Style/gnm:Validation", ns):
                lines.append("validation %d %s:%s %s %d" % (i, cell(int(region.get("startCol")), int(region.get("startRow"))),
                                                           cell(int(region.get("endCol")), int(region.get("endRow"))),
                                                           v.get("Title"), len(v.get("Message", ""))))
        for f in sheet.findall("gnm:Filters/gnm:Filter", ns):
            # gnumeric 1.12 writes a condition's value and its type each under the other's name.
            fields = ["%s:%s" % (x.get("Index"), x.get("ValueType0")) for x in f.findall("gnm:Field", ns)]
            lines.append("filter %d %s %s" % (i, f.get("Area"), " ".join(fields)))
        for r in sheet.findall("gnm:Rows/gnm:RowInfo", ns):
            if r.get("Hidden") == "1":
                for k in range(int(r.get("Count", "1"))):
                    lines.append("hidden %d %d" % (i, int(r.get("No")) + k + 1))
    print("\n".join(sorted(lines)))


def xlrd_lines(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    lines = []
    for i, sheet in enumerate(book.sheets()):
        for r in range(sheet.nrows):
            if r in sheet.rowinfo_map and sheet.rowinfo_map[r].hidden:
                lines.append("hidden %d %d" % (i, r + 1))
            for c in range(sheet.ncols):
                x = sheet.cell(r, c)
                if x.ctype == xlrd.XL_CELL_NUMBER:
                    lines.append("cell %d %s %s" % (i, cell(c, r), number(x.value)))
                elif x.ctype == xlrd.XL_CELL_TEXT:
                    lines.append("cell %d %s %s" % (i, cell(c, r), x.value))
        lines += ["merge %d %s:%s" % (i, cell(c1, r1), cell(c2 - 1, r2 - 1)) for r1, r2, c1, c2 in sheet.merged_cells]
    for n in book.name_obj_list:
        if n.name == "_FilterDatabase" and n.result is not None:
            for ref in n.result.value:
                lines.append("filter %d %s:%s" % (ref.shtxlo, cell(ref.colxlo, ref.rowxlo), cell(ref.colxhi - 1, ref.rowxhi - 1)))
    print("\n".join(sorted(lines)))


if __name__ == "__main__":
    if sys.argv[1] == "lo":
        lo(sys.argv[2:])
    elif sys.argv[1] == "gnumeric":
        gnumeric(sys.argv[2], sys.argv[3])
    else:
        xlrd_lines(sys.argv[2])
