#!/usr/bin/python3
"""Opens our workbooks with LibreOffice, gnumeric or catdoc and compares what they read.

usage: peers_check.py libreoffice|gnumeric|catdoc WORKDIR EXPECTED.json
EXPECTED.json lists the files ({"files": [{"path", "display", "xlsx"}]}): "display" holds the
[row, column, kind, [texts]] of every non-empty cell of the first sheet, with the texts that a
spreadsheet may show for it;
"xlsx" (LibreOffice only) asks for a conversion to xlsx whose XML must carry the bold header,
the centring, the column width, the row height and the merged area.
Prints every difference and exits 1 when there is one.
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402

TIMEOUT = 300


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def csv_cells(text):
    cells = {}
    for r, row in enumerate(csv.reader(io.StringIO(text, newline=""))):
        for c, value in enumerate(row):
            if value != "":
                cells[(r, c)] = value
    return cells


def compare(label, got, display, problems):
    want = {(r, c): texts for r, c, _, texts in display}
    for key in sorted(set(got) | set(want)):
        g, w = got.get(key), want.get(key)
        if g is None or w is None or g not in w:
            problems.append("%s %r: got %r, expected one of %r" % (label, key, g and g[:80], w and [t[:80] for t in w]))


def check_xlsx(path, problems):
    with zipfile.ZipFile(path) as z:
        sheet = z.read("xl/worksheets/sheet1.xml").decode("utf-8")
        styles = z.read("xl/styles.xml").decode("utf-8")
    if '<mergeCell ref="D1:E2"' not in sheet:
        problems.append("xlsx: no merged area D1:E2")
    col = re.search(r'<col [^>]*min="1"[^>]*/>', sheet)
    width = col and re.search(r'width="([0-9.]+)"', col.group(0))
    if not width or not 19.0 <= float(width.group(1)) <= 22.0 or "customWidth" not in col.group(0):
        problems.append("xlsx: column A width %r" % (col and col.group(0)))
    row5 = re.search(r'<row [^>]*r="5"[^>]*>', sheet)
    if not row5 or 'ht="30"' not in row5.group(0):
        problems.append("xlsx: row 5 height %r" % (row5 and row5.group(0)))
    fonts = re.findall(r"<font>.*?</font>|<font/>", re.search(r"<fonts[^>]*>(.*?)</fonts>", styles, re.S).group(1), re.S)
    xfs = re.findall(r"<xf [^>]*?(?:/>|>.*?</xf>)", re.search(r"<cellXfs[^>]*>(.*?)</cellXfs>", styles, re.S).group(1), re.S)

    def style(ref):
        m = re.search(r'<c r="%s"( s="(\d+)")?' % ref, sheet)
        xf = xfs[int(m.group(2))] if m and m.group(2) else xfs[0]
        font = fonts[int(re.search(r'fontId="(\d+)"', xf).group(1))]
        bold = re.search(r"<b( val=\"(true|1)\")?/>", font) is not None
        centred = 'horizontal="center"' in xf
        return bold, centred

    if not re.search(r'<c r="A5"[^>]* t="b"', sheet):
        problems.append("xlsx: A5 is not a boolean")
    for ref, want in (("A1", (True, True)), ("B1", (True, True)), ("A2", (False, True)),
                      ("B4", (False, True)), ("A6", (False, False))):
        if style(ref) != want:
            problems.append("xlsx: %s bold/centred %r, expected %r" % (ref, style(ref), want))


def libreoffice(workdir, files, problems):
    out = os.path.join(workdir, "lo-out")
    code, _, err = soffice(workdir, ["--convert-to", 'csv:Text - txt - csv (StarCalc):44,34,76,1', "--outdir", out]
                           + [f["path"] for f in files], timeout=TIMEOUT)
    if code != 0:
        problems.append("soffice csv: exit %d %s" % (code, err))
    for f in files:
        name = os.path.splitext(os.path.basename(f["path"]))[0]
        target = os.path.join(out, name + ".csv")
        if not os.path.exists(target):
            problems.append("soffice wrote no %s: %s" % (target, err))
            continue
        with open(target, encoding="utf-8", newline="") as h:
            compare("soffice " + name, csv_cells(h.read()), f["display"], problems)
    xlsx = [f["path"] for f in files if f.get("xlsx")]
    if xlsx:
        code, _, err = soffice(workdir, ["--convert-to", "xlsx", "--outdir", out] + xlsx, timeout=TIMEOUT)
        for path in xlsx:
            target = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".xlsx")
            if code != 0 or not os.path.exists(target):
                problems.append("soffice xlsx: exit %d %s" % (code, err))
            else:
                check_xlsx(target, problems)


def gnumeric(workdir, files, problems):
    for f in files:
        target = os.path.join(workdir, os.path.basename(f["path"]) + ".gnumeric.csv")
        code, out, err = run(["ssconvert", "--export-type=Gnumeric_stf:stf_csv",
                              "--export-options=sheet=" + f["sheet"], f["path"], target])
        if code != 0 or err.strip():
            problems.append("ssconvert %s: exit %d, error output %r" % (f["path"], code, err[:2000]))
            continue
        with open(target, encoding="utf-8", newline="") as h:
            compare("gnumeric " + os.path.basename(f["path"]), csv_cells(h.read()), f["display"], problems)


def catdoc(workdir, files, problems):
    for f in files:
        code, out, err = run(["xls2csv", "-d", "utf-8", f["path"]])
        if code != 0 or err.strip():
            problems.append("xls2csv %s: exit %d, error output %r" % (f["path"], code, err[:2000]))
            continue
        # xls2csv writes every sheet, separated by form feeds; the first is compared for the
        # texts it holds (it renders numbers in its own way).
        first = out.split("\f")[0]
        got = csv_cells(first)
        texts = [d for d in f["display"] if d[2] == "text"]
        compare("xls2csv " + os.path.basename(f["path"]),
                {k: v for k, v in got.items() if k in {(r, c) for r, c, _, _ in texts}}, texts, problems)


def main():
    mode, workdir, expected_path = sys.argv[1:4]
    with open(expected_path, encoding="utf-8") as h:
        files = json.load(h)["files"]
    problems = []
    {"libreoffice": libreoffice, "gnumeric": gnumeric, "catdoc": catdoc}[mode](workdir, files, problems)
    for p in problems:
        print(p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
