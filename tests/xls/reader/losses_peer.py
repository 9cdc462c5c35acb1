#!/usr/bin/python3
"""What xlrd, gnumeric and LibreOffice find of outline flags, names, sheet names and cells, one
fact a line, for comparing other programs' files with our saves of them.

usage: losses_peer.py xlrd FILE...         "file FILE" before the lines of each:
         "sheet <i> <name>", "row <i> <r> level <l> collapsed <0|1> hidden <0|1>" (rows with
         anything of these), "col <i> <c> level <l> collapsed <0|1>", "name <name> sheet <name
         or -> [without formula]", "cell <i> <A1> <type> <value>" (first column, rows 1..4)
       losses_peer.py gnumeric DIR FILE    ssconvert's warnings while it reads FILE ("warning
         <text>"), then the first sheet's A1..A4 as gnumeric shows them ("cell <A1> <text>")
       losses_peer.py lo FILE...           "file FILE", then the first sheet's A1..A4 as
         LibreOffice shows them ("cell <A1> <text>")
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def xlrd_lines(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    lines = []
    names = book.sheet_names()
    for i, sheet in enumerate(book.sheets()):
        lines.append("sheet %d %s" % (i, sheet.name))
        for r, info in sorted(sheet.rowinfo_map.items()):
            if info.outline_level or info.outline_group_starts_ends or info.hidden:
                lines.append("row %d %d level %d collapsed %d hidden %d" % (
                    i, r, info.outline_level, info.outline_group_starts_ends, info.hidden))
        for c, info in sorted(sheet.colinfo_map.items()):
            if info.outline_level or info.collapsed:
                lines.append("col %d %d level %d collapsed %d" % (i, c, info.outline_level, info.collapsed))
        for r in range(min(4, sheet.nrows)):
            cell = sheet.cell(r, 0)
            lines.append("cell %d A%d %s %r" % (i, r + 1, xlrd.sheet.ctype_text[cell.ctype], cell.value))
    for n in book.name_obj_list:
        lines.append("name %s sheet %s%s" % (n.name, names[n.scope] if n.scope >= 0 else "-",
                                              "" if n.raw_formula else " without formula"))
    return lines


def gnumeric(workdir, path):
    target = os.path.join(workdir, os.path.basename(path) + ".csv")
    done = subprocess.run(["ssconvert", "-S", "-T", "Gnumeric_stf:stf_csv", path, target + ".%n"], capture_output=True, timeout=300)
    if done.returncode != 0:
        sys.exit(done.stderr.decode("utf-8", "replace"))
    lines = ["warning " + w for w in done.stderr.decode("utf-8", "replace").splitlines() if w.strip()]
    with open(target + ".0", encoding="utf-8") as f:
        rows = f.read().splitlines()
    lines += ["cell A%d %s" % (r + 1, rows[r].split(",")[0]) for r in range(min(4, len(rows)))]
    print("\n".join(lines))


def lo(files):
    import uno
    from lo_headless import office, prop
    with office("losses") as (_, desktop):
        for path in files:
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                               (prop("Hidden", True),))
            sheet = doc.Sheets.getByIndex(0)
            print("file " + path)
            for r in range(4):
                print("cell A%d %s" % (r + 1, sheet.getCellByPosition(0, r).getString()))
            doc.close(True)


if __name__ == "__main__":
    if sys.argv[1] == "xlrd":
        for path in sys.argv[2:]:
            print("\n".join(["file " + path] + xlrd_lines(path)))
    elif sys.argv[1] == "gnumeric":
        gnumeric(sys.argv[2], sys.argv[3])
    else:
        lo(sys.argv[2:])
