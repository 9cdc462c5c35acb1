#!/usr/bin/python3
"""What LibreOffice, gnumeric and xlrd show in the first sheet of workbooks: the cells as
comma-separated lines (LibreOffice and gnumeric through their CSV export, xlrd through its
values), with "file <name>" before the lines of each file.

usage: extern_peer.py lo DIR FILE...
       extern_peer.py gnumeric DIR FILE...
       extern_peer.py xlrd FILE...
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402


def lo(work, files):
    out = os.path.join(work, "lo-csv")
    os.makedirs(out, exist_ok=True)
    for path in files:
        code, text, err = soffice(work, ["--convert-to", "csv", "--outdir", out, path])
        name = os.path.splitext(os.path.basename(path))[0] + ".csv"
        if code != 0 or not os.path.exists(os.path.join(out, name)):
            sys.exit("LibreOffice failed on %s: %s%s" % (path, text, err))
        print("file " + os.path.basename(path))
        with open(os.path.join(out, name), encoding="utf-8") as f:
            sys.stdout.write(f.read())
    shutil.rmtree(out)


def gnumeric(work, files):
    for path in files:
        target = os.path.join(work, "gnumeric.csv")
        subprocess.run(["ssconvert", "-T", "Gnumeric_stf:stf_csv", path, target], check=True, capture_output=True)
        print("file " + os.path.basename(path))
        with open(target, encoding="utf-8") as f:
            sys.stdout.write(f.read())
        os.remove(target)


def xlrd_values(files):
    import xlrd
    for path in files:
        sheet = xlrd.open_workbook(path).sheet_by_index(0)
        print("file " + os.path.basename(path))
        for r in range(sheet.nrows):
            cells = []
            for c in sheet.row(r):
                if c.ctype == xlrd.XL_CELL_NUMBER:
                    cells.append("%g" % c.value)
                elif c.ctype == xlrd.XL_CELL_BOOLEAN:
                    cells.append("TRUE" if c.value else "FALSE")
                elif c.ctype == xlrd.XL_CELL_ERROR:
                    cells.append(xlrd.error_text_from_code.get(c.value, "#?"))
                else:
                    cells.append(str(c.value))
            print(",".join(cells))


def main():
    if sys.argv[1] == "lo":
        lo(sys.argv[2], sys.argv[3:])
    elif sys.argv[1] == "gnumeric":
        gnumeric(sys.argv[2], sys.argv[3:])
    else:
        xlrd_values(sys.argv[2:])


if __name__ == "__main__":
    main()
