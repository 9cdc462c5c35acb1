#!/usr/bin/python3
"""Reads a workbook with python3-xlrd (formatting included) and prints every cell.

usage: xlrd_peer.py FILE
One line per cell: "<row> <col> <bold (weight 700)> <horizontal alignment> <font height> <hex of the UTF-8
text>", then "fonts <n>", "xfs <n>" and "formats <list of user format texts>".
"""
import sys

import xlrd


def main():
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
    for sheet in book.sheets():
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                xf = book.xf_list[cell.xf_index]
                font = book.font_list[xf.font_index]
                print(r, c, int(font.weight >= 700), xf.alignment.hor_align, font.height,
                      str(cell.value).encode("utf-8").hex())
    print("fonts", len(book.font_list))
    print("xfs", len(book.xf_list))
    print("formats", sorted(f.format_str for k, f in book.format_map.items() if k >= 164))
    return 0


if __name__ == "__main__":
    sys.exit(main())
