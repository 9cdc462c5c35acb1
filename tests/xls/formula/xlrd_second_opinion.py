#!/usr/bin/python3
"""Decompiles formula tokens with python3-xlrd: ours (a listing of "row col cce hex" lines) and
LibreOffice's (the FORMULA records of the same cells), and prints per cell
    SAME <row> <text>        xlrd prints both alike
    DIFF <row> <theirs> | <ours>
    SKIP <row> <reason>      xlrd cannot read LibreOffice's tokens of that cell
Usage: xlrd_second_opinion.py workbook.xls workbook.records listing.txt"""
import struct
import sys

import xlrd
import xlrd.formula as formula


def decompile(book, tokens, cce, row, col):
    return formula.decompile_formula(book, tokens, cce, formula.FMLA_TYPE_CELL, row, col, 0, 0)


def main(xls, records, listing):
    book = xlrd.open_workbook(xls)
    theirs = {}
    for line in open(records):
        rid, sheet, body = line.split()
        if rid == '0006' and sheet == '1':
            b = bytes.fromhex(body)
            row, col = struct.unpack_from('<HH', b, 0)
            cce = struct.unpack_from('<H', b, 20)[0]
            theirs[(row, col)] = (cce, b[22:])
    for line in open(listing):
        row, col, cce, body = line.split()
        row, col, cce = int(row), int(col), int(cce)
        if (row, col) not in theirs:
            print('DIFF %d no LibreOffice formula' % row)
            continue
        try:
            expect = decompile(book, theirs[(row, col)][1], theirs[(row, col)][0], row, col)
        except Exception as e:  # xlrd's own limits, not ours
            print('SKIP %d %s' % (row, type(e).__name__))
            continue
        try:
            got = decompile(book, bytes.fromhex(body), cce, row, col)
        except Exception as e:
            got = 'xlrd failed: %s %s' % (type(e).__name__, e)
        print('%s %d %s' % ('SAME' if got == expect else 'DIFF', row,
                            expect if got == expect else expect + ' | ' + got))


if __name__ == '__main__':
    main(*sys.argv[1:])
