#!/usr/bin/python3
"""Prints what python3-xlrd reads from an exported workbook, for the export window test.

usage: export_check.py FILE
Lines: "sheets <names>", "size <rows> <columns>", then per cell "<row> <col> <kind> <bold>
<centred> <value>" (kind: text, empty or other), and "log <xlrd's log>" when it said anything.
"""
import io
import sys

import xlrd


def main():
    log = io.StringIO()
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True, logfile=log)
    print("sheets", ",".join(book.sheet_names()))
    sheet = book.sheet_by_index(0)
    print("size", sheet.nrows, sheet.ncols)
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_BLANK: "empty"}.get(cell.ctype, "other")
            xf = book.xf_list[cell.xf_index]
            bold = int(book.font_list[xf.font_index].weight == 700)
            centred = int(xf.alignment.hor_align == 2)
            print(r, c, kind, bold, centred, cell.value)
    if log.getvalue().strip():
        print("log", log.getvalue().replace("\n", " | "))
    return 0


if __name__ == "__main__":
    sys.exit(main())
