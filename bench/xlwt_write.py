#!/usr/bin/python3
"""The yardstick of the workbook-save benchmark: python3-xlwt writing the same cells.

usage: xlwt_write.py numbers|texts ROWS COLUMNS FILE
Prints the seconds spent filling the sheet and saving the file.
"""
import sys
import time

import xlwt


def main():
    mode, rows, columns, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    start = time.perf_counter()
    book = xlwt.Workbook()
    sheet = book.add_sheet("Sheet1")
    for r in range(rows):
        row = sheet.row(r)
        for c in range(columns):
            if mode == "numbers":
                row.write(c, r * 0.25 + c)
            else:
                row.write(c, "text %d" % (r * columns + c))
        if r % 1000 == 999:
            sheet.flush_row_data()
    book.save(path)
    print(time.perf_counter() - start)
    return 0


if __name__ == "__main__":
    sys.exit(main())
