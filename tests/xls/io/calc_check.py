#!/usr/bin/python3
"""Compares the formula results of our workbook with what another program reads or calculates.

usage: calc_check.py xlrd|xlrd5|libreoffice|libreoffice5|gnumeric FILE.xls EXPECTED.json
       calc_check.py libreoffice-delete BEFORE.xls AFTER.xls EXPECTED.json
(xlrd5, libreoffice5: a BIFF5 file, whose empty text results are empty STRING records)
EXPECTED.json: {"cells": [{"row", "col", "formula", "kind", "value"}], "known": [{"formula",
"programs", "reason"}]}; kind is n (number), s (text), b (boolean), e (BIFF error code) or none
(no cached result). xlrd reads the results cached in the file; LibreOffice (headless, private
profile, calculateAll) and gnumeric (ssconvert --recalc) calculate every formula again.
Differences of formulas listed as known for the program are allowed; a known entry with
"theirs": [kind, value] must give that value there. Prints every other difference and exits 1
when there is one.
libreoffice-delete: LibreOffice deletes row "deleted_row" of the first sheet in BEFORE.xls and
recalculates; its results and those of AFTER.xls (our file after the same deletion) must equal
the expected cells ({"sheet", "row", "col", "formula", "kind", "value"}, kinds n and e).
"""
import csv
import json
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import office, prop  # noqa: E402

ERROR_TEXT = {0: "#NULL!", 7: "#DIV/0!", 15: "#VALUE!", 23: "#REF!", 29: "#NAME?", 36: "#NUM!", 42: "#N/A"}
# LibreOffice's own error numbers of the spreadsheet errors.
LO_ERRORS = {532: 7, 519: 15, 524: 23, 503: 36, 32767: 42, 525: 29, 521: 0}


def close(a, b, tolerance):
    return a == b or abs(a - b) <= tolerance * max(1.0, abs(a), abs(b))


def same(cell, kind, value, tolerance=1e-12):
    """cell: (kind, value) as the program gave it."""
    k, v = cell
    if cell == ("n", None):
        return False
    if kind == "b":
        return k in ("b", "n") and float(v) == (1.0 if value else 0.0)
    if kind == "n":
        return k == "n" and close(float(v), value, tolerance)
    if kind == "s":
        return k == "s" and v == value
    if kind == "e":
        return k == "e" and v == value
    return False


def xlrd_cells(path, cells):
    import xlrd
    book = xlrd.open_workbook(path)
    got = {}
    for c in cells:
        cell = book.sheet_by_index(c.get("sheet", 0)).cell(c["row"], c["col"])
        if cell.ctype == xlrd.XL_CELL_NUMBER:
            got[c["row"]] = ("n", cell.value)
        elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
            got[c["row"]] = ("b", cell.value)
        elif cell.ctype == xlrd.XL_CELL_ERROR:
            got[c["row"]] = ("e", cell.value)
        elif cell.ctype == xlrd.XL_CELL_TEXT:
            got[c["row"]] = ("s", cell.value)
        elif cell.ctype == xlrd.XL_CELL_EMPTY:
            got[c["row"]] = ("s", "")
        else:
            got[c["row"]] = ("?", cell.value)
    return got


def libreoffice_cells(path, cells):
    import uno
    got = {}
    with office("calc") as (_, desktop):
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0, (prop("Hidden", True),))
        doc.calculateAll()
        sheet = doc.getSheets().getByIndex(0)
        for c in cells:
            cell = sheet.getCellByPosition(c["col"], c["row"])
            error = cell.getError()
            if error:
                got[c["row"]] = ("e", LO_ERRORS.get(error, "Err:%d" % error))
            elif cell.FormulaResultType2 == 2:  # text
                got[c["row"]] = ("s", cell.getString())
            else:
                got[c["row"]] = ("n", cell.getValue())
        doc.close(True)
    return got


def gnumeric_cells(path, cells):
    out = tempfile.mkdtemp(prefix="kv-gnumeric-calc-")
    target = os.path.join(out, "sheet.csv")
    try:
        done = subprocess.run(["ssconvert", "--recalc", "-O", "sheet=Sheet1", path, target],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        if done.returncode != 0:
            raise RuntimeError("ssconvert failed: %s" % done.stdout.decode("utf-8", "replace"))
        with open(target, encoding="utf-8", newline="") as f:
            rows = list(csv.reader(f))
    finally:
        subprocess.run(["rm", "-rf", out])
    errors = {t: c for c, t in ERROR_TEXT.items()}
    got = {}
    for c in cells:
        row = rows[c["row"]] if c["row"] < len(rows) else []
        text = row[c["col"]] if c["col"] < len(row) else ""
        if text in errors:
            got[c["row"]] = ("e", errors[text])
        elif text in ("TRUE", "FALSE"):
            got[c["row"]] = ("b", text == "TRUE")
        else:
            try:
                got[c["row"]] = ("n", float(text))
            except ValueError:
                got[c["row"]] = ("s", text)
    return got


def libreoffice_after_delete(before, after, expected):
    """LibreOffice deletes the row in the file saved before our deletion; its results there and
    in our file saved after it must equal ours."""
    import uno
    problems = []
    with office("calc") as (_, desktop):
        for path, delete in ((before, True), (after, False)):
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0, (prop("Hidden", True),))
            if delete:
                doc.getSheets().getByIndex(0).getRows().removeByIndex(expected["deleted_row"], 1)
            doc.calculateAll()
            for c in expected["cells"]:
                cell = doc.getSheets().getByIndex(c["sheet"]).getCellByPosition(c["col"], c["row"])
                error = cell.getError()
                g = ("e", LO_ERRORS.get(error, "Err:%d" % error)) if error else ("n", cell.getValue())
                if not same(g, c["kind"], c["value"], 1e-12):
                    problems.append("%s (%s): LibreOffice gives %r %s, ours %s %r" % (
                        c["formula"], os.path.basename(path), g, cell.getFormula(), c["kind"], c["value"]))
            doc.close(True)
    return problems


def main():
    if sys.argv[1] == "libreoffice-delete":
        with open(sys.argv[4], encoding="utf-8") as f:
            problems = libreoffice_after_delete(sys.argv[2], sys.argv[3], json.load(f))
        for p in problems:
            print(p)
        return 1 if problems else 0
    program, path, expected_path = sys.argv[1:4]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    cells = expected["cells"]
    names = {"libreoffice": ["lo"], "libreoffice5": ["lo", "lo5"]}.get(program, [program])
    known = {k["formula"]: k for k in expected["known"] if set(names) & set(k["programs"].split())}
    if program.startswith("xlrd"):
        got, tolerance = xlrd_cells(path, cells), 0.0
    elif program.startswith("libreoffice"):
        got, tolerance = libreoffice_cells(path, cells), 1e-12
    else:
        got, tolerance = gnumeric_cells(path, cells), 1e-9
    problems = []
    for c in cells:
        g = got.get(c["row"])
        if program.startswith("xlrd"):
            # The cached result as written: no result at all is a 0 there.
            if c["kind"] == "none":
                ok = g == ("n", 0.0)
            else:
                ok = same(g, c["kind"], c["value"], 0.0)
            if not ok:
                problems.append("%s: cached %r, ours %s %r" % (c["formula"], g, c["kind"], c["value"]))
            continue
        if c["formula"] in known:
            theirs = known[c["formula"]].get("theirs")
            if theirs is not None and not same(g, theirs[0], theirs[1], tolerance):
                problems.append("%s: %s gives %r, listed as giving %r" % (c["formula"], program, g, theirs))
            continue
        if not same(g, c["kind"], c["value"], tolerance):
            problems.append("%s: %s gives %r, ours %s %r" % (c["formula"], program, g, c["kind"], c["value"]))
    for p in problems:
        print(p)
    print("%s: %d formulas, %d differences, %d known" % (program, len(cells), len(problems), len(known)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
