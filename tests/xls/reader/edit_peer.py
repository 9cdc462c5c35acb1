#!/usr/bin/python3
"""What xlrd reads of edited workbooks, "file <name>" before the lines of each.

usage: edit_peer.py FILE...
  "cell <sheet> <row> <column> <n|b|e> <value>"  every number, date, boolean and error cell of
      every sheet (formula cells with the results the file cached), 1-based sheets, 0-based rows
      and columns, numbers as %.17g
  "name <name> <sheet>:<r1>,<c1>:<r2>,<c2>"  the area a name stands for (last row and column
      included), "#REF!" when it stands for deleted cells; built-in names as
      builtin<code>@<sheet of their scope>
"""
import os
import sys

import xlrd

BUILT_IN = {"Consolidate_Area": 0, "Auto_Open": 1, "Auto_Close": 2, "Extract": 3, "Database": 4,
            "Criteria": 5, "Print_Area": 6, "Print_Titles": 7, "Recorder": 8, "Data_Form": 9,
            "Auto_Activate": 10, "Auto_Deactivate": 11, "Sheet_Title": 12, "_FilterDatabase": 13}


def main():
    for path in sys.argv[1:]:
        print("file " + path.rsplit("/", 1)[-1])
        # A name of deleted cells makes xlrd dump the name to its log.
        book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
        for index, sheet in enumerate(book.sheets()):
            for r in range(sheet.nrows):
                for c in range(sheet.ncols):
                    cell = sheet.cell(r, c)
                    if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                        print("cell %d %d %d n %.17g" % (index + 1, r, c, cell.value))
                    elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                        print("cell %d %d %d b %d" % (index + 1, r, c, cell.value))
                    elif cell.ctype == xlrd.XL_CELL_ERROR:
                        print("cell %d %d %d e %d" % (index + 1, r, c, cell.value))
        for name in book.name_obj_list:
            key = name.name
            if name.builtin:
                key = "builtin%d@%d" % (BUILT_IN[name.name], name.scope + 1)
            try:
                s, rlo, rhi, clo, chi = name.area2d(clipped=False)
                where = "%d:%d,%d:%d,%d" % (s.number + 1, rlo, clo, rhi - 1, chi - 1)
            except Exception:  # a name of deleted cells has no area
                where = "#REF!"
            print("name %s %s" % (key, where))


if __name__ == "__main__":
    main()
