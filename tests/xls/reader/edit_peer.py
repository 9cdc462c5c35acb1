#!/usr/bin/python3
"""What xlrd reads of edited workbooks, "file <name>" before the lines of each.

usage: edit_peer.py FILE...
  "cell <sheet> <row> <column> <n|b|e> <value>"  every number, date, boolean and error cell
      (formula cells with the results the file cached); 1-based sheets, 0-based rows and
      columns, numbers as %.17g
  "name <name> <sheet>:<r1>,<c1>:<r2>,<c2>"  the area a name stands for (last row and column
      included), "#REF!" for deleted cells; built-in names as builtin<code>@<sheet of their scope>
"""
import os
import sys

import xlrd

BUILT_IN = ["Consolidate_Area", "Auto_Open", "Auto_Close", "Extract", "Database", "Criteria", "Print_Area",
            "Print_Titles", "Recorder", "Data_Form", "Auto_Activate", "Auto_Deactivate", "Sheet_Title",
            "_FilterDatabase"]
FORMATS = {xlrd.XL_CELL_NUMBER: "n %.17g", xlrd.XL_CELL_DATE: "n %.17g", xlrd.XL_CELL_BOOLEAN: "b %d",
           xlrd.XL_CELL_ERROR: "e %d"}


def main():
    for path in sys.argv[1:]:
        print("file " + path.rsplit("/", 1)[-1])
        # A name of deleted cells makes xlrd dump the name to its log.
        book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
        for index, sheet in enumerate(book.sheets()):
            for r in range(sheet.nrows):
                for c in range(sheet.ncols):
                    cell = sheet.cell(r, c)
                    if cell.ctype in FORMATS:
                        print("cell %d %d %d " % (index + 1, r, c) + FORMATS[cell.ctype] % cell.value)
        for name in book.name_obj_list:
            key = "builtin%d@%d" % (BUILT_IN.index(name.name), name.scope + 1) if name.builtin else name.name
            try:
                s, rlo, rhi, clo, chi = name.area2d(clipped=False)
                where = "%d:%d,%d:%d,%d" % (s.number + 1, rlo, clo, rhi - 1, chi - 1)
            except Exception:  # a name of deleted cells has no area
                where = "#REF!"
            print("name %s %s" % (key, where))


if __name__ == "__main__":
    main()
