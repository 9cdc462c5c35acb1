#!/usr/bin/python3
"""Reads a workbook with python3-xlrd and compares it with the expectations in a JSON file.

usage: xlrd_check.py WORKBOOK EXPECTED.json
Prints every difference and exits 1 when there is one. The file is read twice: whole, with
formatting and xlrd's log captured (any warning is a difference), and on demand, where each sheet
is loaded from the offset that its BOUNDSHEET record gives. Built-in names are compared by
name, scope and the area they cover.
"""
import io
import json
import sys

import xlrd


def cell_value(book, cell):
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return ["text", cell.value]
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        return ["number", cell.value]
    if cell.ctype == xlrd.XL_CELL_DATE:
        return ["date", cell.value]
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return ["boolean", bool(cell.value)]
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return ["error", cell.value]
    return ["blank", None]


def cells_of(book, sheet):
    out = {}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            out[(r, c)] = cell_value(book, cell)
    return out


def main():
    path, expected_path = sys.argv[1], sys.argv[2]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    problems = []
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log)
    if book.sheet_names() != [s["name"] for s in expected["sheets"]]:
        problems.append("sheet names %r" % book.sheet_names())
    for sheet, want in zip(book.sheets(), expected["sheets"]):
        name = want["name"]
        got = cells_of(book, sheet)
        want_cells = {(c[0], c[1]): [c[2], c[3]] for c in want["cells"]}
        for key in sorted(set(got) | set(want_cells)):
            g, w = got.get(key), want_cells.get(key)
            if g is None or w is None or g[0] != w[0] or (g[1] != w[1] and not (
                    isinstance(w[1], float) and abs(g[1] - w[1]) < 1e-9)):
                problems.append("%s %r: got %r, expected %r" % (name, key, g, w))
        bold, centred, formats = set(), set(), {}
        for key in got:
            xf = book.xf_list[sheet.cell_xf_index(*key)]
            if book.font_list[xf.font_index].weight == 700:
                bold.add(key)
            if xf.alignment.hor_align == 2:
                centred.add(key)
            formats[key] = book.format_map[xf.format_key].format_str
        if bold != {tuple(k) for k in want["bold"]}:
            problems.append("%s bold cells %r" % (name, sorted(bold)))
        if centred != {tuple(k) for k in want["centred"]}:
            problems.append("%s centred cells %r" % (name, sorted(centred)))
        for r, c, text in want["formats"]:
            if formats.get((r, c)) != text:
                problems.append("%s format of %r: %r" % (name, (r, c), formats.get((r, c))))
        for c, width in want["widths"]:
            info = sheet.colinfo_map.get(c)
            if info is None or info.width != width:
                problems.append("%s width of column %d: %r" % (name, c, info and info.width))
        for r, height in want["heights"]:
            info = sheet.rowinfo_map.get(r)
            if info is None or info.height != height:
                problems.append("%s height of row %d: %r" % (name, r, info and info.height))
        merged = sorted(list(m) for m in sheet.merged_cells)
        if merged != sorted(want["merged"]):
            problems.append("%s merged %r" % (name, merged))
        frozen = [sheet.horz_split_pos, sheet.vert_split_pos] if sheet.panes_are_frozen else None
        if frozen != want["frozen"]:
            problems.append("%s frozen panes %r" % (name, frozen))
        hbreaks = [b[0] for b in sheet.horizontal_page_breaks]
        vbreaks = [b[0] for b in sheet.vertical_page_breaks]
        if hbreaks != want["hbreaks"] or vbreaks != want["vbreaks"]:
            problems.append("%s page breaks %r %r" % (name, hbreaks, vbreaks))
    names = []
    for name in book.name_obj_list:
        if name.result is None or name.result.kind != xlrd.oREF or len(name.result.value) != 1:
            names.append([name.name, name.scope, "not one area"])
            continue
        first_sheet, _, rlo, rhi, clo, chi = name.result.value[0].coords
        names.append([name.name, name.scope, first_sheet, rlo, rhi, clo, chi])
    if sorted(names) != sorted(expected["names"]):
        problems.append("names %r" % names)
    if "WARNING" in log.getvalue() or "ERROR" in log.getvalue():
        problems.append("xlrd log: " + log.getvalue()[:2000])

    lazy = xlrd.open_workbook(path, on_demand=True)
    for i, want in enumerate(expected["sheets"]):
        sheet = lazy.sheet_by_index(i)
        if sheet.name != want["name"] or cells_of(lazy, sheet) != cells_of(book, book.sheet_by_index(i)):
            problems.append("on demand: sheet %d reads differently" % i)
        lazy.unload_sheet(i)
    lazy.release_resources()

    for p in problems:
        print(p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
