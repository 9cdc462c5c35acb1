#!/usr/bin/python3
"""What xlrd, gnumeric and LibreOffice find in workbooks, "file <name>" before the lines of each.

usage: losses_peer.py TOOL DIR FILE...   (DIR: a folder for the tools' own files)
  xlrd      "sheet <i> <name>", "row <i> <r> level <l> collapsed <0|1> hidden <0|1>" (rows with any
            of these), "col <i> <c> level <l> collapsed <0|1>", "<i>: <cells of a row>" (texts
            quoted, errors by their text), "font <i> <r> <c> weight <w> colour <index>" (a
            font of another weight than 400 or 700 or another colour than automatic),
            "name <name> sheet <name or -> [without formula]"
  gnumeric  ssconvert's warnings ("warning <text>"), then the first sheet's rows as CSV
  lo        the first sheet's rows as CSV (one soffice run for all the files)
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def xlrd_lines(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    lines, names = [], book.sheet_names()
    for i, sheet in enumerate(book.sheets()):
        lines.append("sheet %d %s" % (i, sheet.name))
        lines += ["row %d %d level %d collapsed %d hidden %d" % (i, r, o.outline_level, o.outline_group_starts_ends, o.hidden)
                  for r, o in sorted(sheet.rowinfo_map.items()) if o.outline_level or o.outline_group_starts_ends or o.hidden]
        lines += ["col %d %d level %d collapsed %d" % (i, c, o.outline_level, o.collapsed)
                  for c, o in sorted(sheet.colinfo_map.items()) if o.outline_level or o.collapsed]
        for r in range(sheet.nrows):
            text = {xlrd.XL_CELL_NUMBER: lambda v: "%g" % v, xlrd.XL_CELL_BOOLEAN: lambda v: "TRUE" if v else "FALSE",
                    xlrd.XL_CELL_ERROR: lambda v: xlrd.error_text_from_code.get(v, "#?"), xlrd.XL_CELL_TEXT: repr}
            lines.append("%d: %s" % (i, ",".join(text.get(c.ctype, lambda v: "")(c.value) for c in sheet.row(r))))
            for c, cell in enumerate(sheet.row(r)):
                font = book.font_list[book.xf_list[cell.xf_index].font_index]
                if font.weight not in (400, 700) or font.colour_index != 0x7FFF:
                    lines.append("font %d %d %d weight %d colour %d" % (i, r, c, font.weight, font.colour_index))
    lines += ["name %s sheet %s%s" % (n.name, names[n.scope] if n.scope >= 0 else "-", "" if n.raw_formula else " without formula")
              for n in book.name_obj_list]
    return lines


def gnumeric(work, path):
    target = os.path.join(work, os.path.basename(path) + ".csv")
    done = subprocess.run(["ssconvert", "-S", "-T", "Gnumeric_stf:stf_csv", path, target + ".%n"], capture_output=True, timeout=300)
    if done.returncode != 0:
        sys.exit(done.stderr.decode("utf-8", "replace"))
    lines = ["warning " + w for w in done.stderr.decode("utf-8", "replace").splitlines() if w.strip()]
    with open(target + ".0", encoding="utf-8") as f:
        return lines + f.read().splitlines()


def lo(work, files):
    from lo_headless import soffice
    out = os.path.join(work, "lo-csv")
    code, text, err = soffice(work, ["--convert-to", "csv", "--outdir", out] + files)
    for path in files:
        name = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".csv")
        if code != 0 or not os.path.exists(name):
            sys.exit("LibreOffice failed on %s: %s%s" % (path, text, err))
        with open(name, encoding="utf-8") as f:
            print("\n".join(["file " + os.path.basename(path)] + f.read().splitlines()))


if __name__ == "__main__":
    tool, work, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    if tool == "lo":
        lo(work, files)
    for path in files if tool != "lo" else []:
        print("\n".join(["file " + os.path.basename(path)] + (xlrd_lines(path) if tool == "xlrd" else gnumeric(work, path))))
