#!/usr/bin/python3
"""Prints what python3-xlrd (formatting_info on) reads from a workbook, in the line format that
the reader tests print for our model, so that the two can be compared line by line.

usage: xlrd_dump.py FILE
Lines: "sheet <i> <name>", then per non-empty cell "cell <r> <c> <value> | <font> | <alignment> |
<format text>", "note <r> <c> <text>", "merge <r1> <r2> <c1> <c2>" (inclusive), "col <c> <width> <hidden>", "row <r> <height>
<hidden>", and "name <scope> <name> <hidden>" for the user-defined names.
"""
import sys

import xlrd


def value_text(book, cell):
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return "t " + cell.value.encode("utf-8").hex()
    if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
        return "n %.17g" % cell.value  # the model keeps the serials of the book's date system
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return "b %d" % int(cell.value)
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return "e %d" % cell.value
    return None


def main():
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
    for i, sheet in enumerate(book.sheets()):
        print("sheet", i, sheet.name.encode("utf-8").hex())
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                text = value_text(book, cell)
                if text is None:
                    continue
                xf = book.xf_list[cell.xf_index]
                font = book.font_list[xf.font_index]
                fmt = book.format_map[xf.format_key]
                fmt_text = fmt.format_str.encode("utf-8").hex()
                al = xf.alignment
                print("cell %d %d %s | %s %d %d %d %d %d | %d %d %d | %s" % (
                    r, c, text, font.name.encode("utf-8").hex(), font.height, int(font.weight > 400),
                    int(font.italic), font.underline_type, font.colour_index, al.hor_align, al.vert_align,
                    al.text_wrapped, fmt_text))
        for (r, c) in sorted(sheet.cell_note_map):
            print("note", r, c, sheet.cell_note_map[(r, c)].text.encode("utf-8").hex())
        for (r1, r2, c1, c2) in sorted(sheet.merged_cells):
            print("merge", r1, r2 - 1, c1, c2 - 1)
        for c in sorted(sheet.colinfo_map):
            info = sheet.colinfo_map[c]
            print("col", c, info.width, int(info.hidden))
        for r in sorted(sheet.rowinfo_map):
            info = sheet.rowinfo_map[r]
            print("row", r, info.height, int(info.hidden))
    for name in book.name_obj_list:
        if name.builtin:
            continue
        print("name", name.scope, name.name.encode("utf-8").hex(), int(name.hidden))
    return 0


if __name__ == "__main__":
    sys.exit(main())
