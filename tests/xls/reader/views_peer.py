#!/usr/bin/python3
"""What the records themselves, xlrd and LibreOffice find of the print setup, views and built-in
names of workbooks, "file <name>" before the lines of each.

usage: views_peer.py records FILE...   per worksheet, read with olefile: "sheet <name>", "setup
                                       <paper> <scale> <first page> <fit wide> <fit tall> <options>
                                       <resolution> <vertical resolution> <copies>", "refmode <0|1>",
                                       "defaultrowheight <options> <twips>", "window2 <options>"
       views_peer.py xlrd FILE...      "sheet <name> formulas <0|1> headings <0|1> outline <0|1>
                                       rowheight <twips>", then "name <name> scope <sheet or -> hidden
                                       <0|1> builtin <0|1> <what it refers to>" sorted
       views_peer.py lo DIR FILE...    per sheet: "page <sheet> landscape <0|1> scale <percent>",
                                       "printareas <sheet> <ranges>", "titles <sheet> rows <range or
                                       -> columns <range or ->", "database <sheet> autofilter <0|1>
                                       <range>" for a sheet's own database range (one office for all
                                       the files; DIR for its own files)
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def records(path):
    import olefile
    ole = olefile.OleFileIO(path)
    data = ole.openstream("Workbook" if ole.exists("Workbook") else "Book").read()
    pos, lines, sheets, depth = 0, [], [], 0
    biff8 = struct.unpack_from("<H", data, 4)[0] == 0x0600
    while pos + 4 <= len(data):
        rid, size = struct.unpack_from("<HH", data, pos)
        body = data[pos + 4:pos + 4 + size]
        pos += 4 + size
        if rid == 0x0085 and body[5] == 0:
            wide = biff8 and body[7] & 1
            start = 8 if biff8 else 7
            sheets.append(body[start:start + body[6] * (2 if wide else 1)].decode("utf-16-le" if wide else "latin-1"))
        elif rid == 0x0809:
            depth += 1
            if struct.unpack_from("<H", body, 2)[0] == 0x0010 and depth == 1:
                lines.append("sheet " + (sheets.pop(0) if sheets else "?"))
        elif rid == 0x000A:
            depth = max(depth - 1, 0)
        elif depth != 1 or not lines:
            continue
        elif rid == 0x00A1:
            paper, scale, start, wide, tall, options, res, vres = struct.unpack_from("<8H", body, 0)
            copies = struct.unpack_from("<H", body, 32)[0]
            lines.append("setup %d %d %d %d %d 0x%04X %d %d %d" % (paper, scale, start, wide, tall, options, res, vres, copies))
        elif rid == 0x000F:
            lines.append("refmode %d" % struct.unpack_from("<H", body)[0])
        elif rid == 0x0225:
            lines.append("defaultrowheight %d %d" % struct.unpack_from("<HH", body))
        elif rid == 0x023E:
            lines.append("window2 0x%04X" % struct.unpack_from("<H", body)[0])
    return lines


def xlrd_lines(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    lines = ["sheet %s formulas %d headings %d outline %d rowheight %d" % (
        s.name, s.show_formulas, s.show_sheet_headers, s.show_outline_symbols, s.default_row_height) for s in book.sheets()]
    names = book.sheet_names()
    lines += sorted("name %s scope %s hidden %d builtin %d %s" % (
        n.name, names[n.scope] if 0 <= n.scope < len(names) else "-", n.hidden, n.builtin,
        n.result.text if n.result is not None else "?")
                    for n in book.name_obj_list)
    return lines


def lo(work, files):
    import uno
    from lo_headless import office, prop

    def text(r):
        return "%d:%d:%d:%d" % (r.StartRow, r.StartColumn, r.EndRow, r.EndColumn)

    with office("views") as (ctx, desktop):
        for path in files:
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                               (prop("Hidden", True),))
            print("file " + os.path.basename(path))
            styles = doc.getStyleFamilies().getByName("PageStyles")
            unnamed = doc.getPropertyValue("UnnamedDatabaseRanges")
            for index, sheet in enumerate(doc.getSheets()):
                name = sheet.getName()
                if unnamed.hasByTable(index):
                    db = unnamed.getByTable(index)
                    print("database %s autofilter %d %s" % (name, db.AutoFilter, text(db.DataArea)))
                style = styles.getByName(sheet.PageStyle)
                print("page %s landscape %d scale %d" % (name, style.IsLandscape, style.PageScale))
                print("printareas %s %s" % (name, ",".join(text(r) for r in sheet.getPrintAreas()) or "-"))
                print("titles %s rows %s columns %s" % (name, text(sheet.getTitleRows()) if sheet.getPrintTitleRows() else "-",
                                                        text(sheet.getTitleColumns()) if sheet.getPrintTitleColumns() else "-"))
            doc.close(True)


if __name__ == "__main__":
    tool, args = sys.argv[1], sys.argv[2:]
    if tool == "lo":
        lo(args[0], args[1:])
    for path in args if tool != "lo" else []:
        print("\n".join(["file " + os.path.basename(path)] + (records(path) if tool == "records" else xlrd_lines(path))))
