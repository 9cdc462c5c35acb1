#!/usr/bin/python3
"""Writes a workbook with python3-xlwt for the reader tests: numbers (RK and NUMBER), texts
(shared strings, a long one, non-Latin ones), booleans, errors, dates, fonts, alignments, number
formats, merged cells, column widths, row heights, a hidden row and column and defined names.

usage: make_xlwt.py FILE [1904]
"""
import datetime
import sys

import xlwt


def main():
    book = xlwt.Workbook(encoding="utf-8")
    book.dates_1904 = len(sys.argv) > 2 and sys.argv[2] == "1904"
    bold = xlwt.easyxf("font: bold on, height 280, name Courier New; align: horiz center")
    italic = xlwt.easyxf("font: italic on, underline single, color red; align: vert top, wrap on")
    money = xlwt.easyxf(num_format_str="#,##0.00 [$EUR]")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    percent = xlwt.easyxf(num_format_str="0.0%")
    sheet = book.add_sheet("Values")
    sheet.write(0, 0, "Code", bold)
    sheet.write(0, 1, "Value", bold)
    sheet.write(0, 2, "Text", bold)
    for i in range(1, 40):
        sheet.write(i, 0, "P%d.%02d" % (i // 10, i % 10))
        sheet.write(i, 1, i * 1.25 - 7 if i % 3 else i * 1000, money if i % 2 else percent)
        sheet.write(i, 2, "\u00dcbertemperatur \u20ac %d" % i if i % 5 else "\u65e5\u672c\u8a9e %d" % i, italic)
    sheet.write(41, 0, True)
    sheet.write(41, 1, False)
    sheet.write(42, 0, xlwt.Formula("1/0") if False else 0.1)
    sheet.write(43, 0, datetime.date(2020, 2, 29), date)
    sheet.write(43, 1, datetime.date(1999, 12, 31), date)
    sheet.write(44, 0, "x" * 3000)
    sheet.write(45, 0, -123456789.125)
    sheet.write(45, 1, 2 ** 40)
    sheet.write(45, 2, 1e-300)
    sheet.write_merge(47, 48, 0, 2, "merged", bold)
    sheet.col(0).width = 4000
    sheet.col(2).width = 12000
    sheet.col(4).hidden = True
    sheet.row(3).height_mismatch = True
    sheet.row(3).height = 600
    sheet.row(5).hidden = True
    second = book.add_sheet("Zweite \u00c4")
    for r in range(200):
        second.write(r, 0, "line %d with some text" % r)
        second.write(r, 1, r)
        second.write(r, 3, r / 7.0)
    book.add_sheet("Empty")
    book.save(sys.argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main())
