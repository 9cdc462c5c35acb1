#!/usr/bin/python3
"""Prints every non-empty cell of every sheet of a workbook as python3-xlrd reads it:
"<sheet name>!<row>,<col>: <type> <value>" a line. usage: cells_peer.py FILE"""
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=False)
for sheet in book.sheets():
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype != xlrd.XL_CELL_EMPTY:
                print("%s!%d,%d: %d %r" % (sheet.name, r, c, cell.ctype, cell.value))
