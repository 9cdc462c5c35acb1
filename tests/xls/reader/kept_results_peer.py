#!/usr/bin/python3
"""What other programs read of a saved workbook's first sheet, for the kept-results tests.

usage: kept_results_peer.py FILE.xls...
For each file: "file NAME", then the lines
  xlrd CELL KIND VALUE        the results cached in the file, as xlrd reads them
  gnumeric CELL VALUE         gnumeric's reading (ssconvert without recalculation: the cached
                              results) as text
  libreoffice CELL VALUE      LibreOffice's reading (its own choice whether to calculate again)
  record ID HEX               the FORMULA records' tokens and the ARRAY records' bodies after their
                              cell range, from the workbook stream as olefile reads it
Cells are A1 references; numbers are printed with repr.
"""
import csv
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402


def name(row, col):
    letters = ""
    col += 1
    while col:
        col, r = divmod(col - 1, 26)
        letters = chr(65 + r) + letters
    return "%s%d" % (letters, row + 1)


def xlrd_lines(path):
    import xlrd
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    kinds = {xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_BOOLEAN: "b", xlrd.XL_CELL_ERROR: "e",
             xlrd.XL_CELL_DATE: "n"}
    out = []
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in kinds:
                out.append("xlrd %s %s %r" % (name(r, c), kinds[cell.ctype], cell.value))
    return out


def csv_lines(program, target):
    out = []
    with open(target, newline="", encoding="utf-8") as f:
        for r, row in enumerate(csv.reader(f)):
            for c, text in enumerate(row):
                if text != "":
                    out.append("%s %s %s" % (program, name(r, c), text))
    return out


def gnumeric_lines(path, work):
    target = os.path.join(work, "gnumeric.csv")
    done = subprocess.run(["ssconvert", "-T", "Gnumeric_stf:stf_csv", path, target], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise RuntimeError("ssconvert failed: %s" % done.stdout.decode("utf-8", "replace"))
    return csv_lines("gnumeric", target)


def libreoffice_lines(path, work):
    code, out, err = soffice(work, ["--convert-to", "csv", "--outdir", work, path])
    target = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".csv")
    if code != 0 or not os.path.exists(target):
        raise RuntimeError("soffice failed: %s %s" % (out, err))
    return csv_lines("libreoffice", target)


def record_lines(path):
    import olefile
    ole = olefile.OleFileIO(path)
    stream = ole.openstream("Workbook" if ole.exists("Workbook") else "Book").read()
    out = []
    at = 0
    while at + 4 <= len(stream):
        rid, size = struct.unpack_from("<HH", stream, at)
        body = stream[at + 4:at + 4 + size]
        if rid == 0x0006:
            out.append("record FORMULA %s %s" % (name(*struct.unpack_from("<HH", body, 0)), body[22:].hex()))
        elif rid == 0x0221:
            out.append("record ARRAY %s" % body[6:].hex())
        at += 4 + size
    return out


def main():
    with tempfile.TemporaryDirectory() as work:
        for path in sys.argv[1:]:
            print("file " + path)
            for line in xlrd_lines(path) + gnumeric_lines(path, work) + libreoffice_lines(path, work) + \
                    record_lines(path):
                print(line)


if __name__ == "__main__":
    main()
