#!/usr/bin/python3
"""Prints what an outside reader finds in our workbooks, one fact a line, for the writer tests
to look for:
    sheet <i> <name>
    cell <i> <row> <col> <kind> <value>      kind: text, number, error, boolean
    row <i> <row> <height in twips> <custom 0|1>
    border <i> <row> <col> <left> <right> <top> <bottom>   (xlrd: BIFF line style numbers;
                                                       xlsx: style names, "-" for none)
    font <i> <row> <col> <font name>
    format <i> <row> <col> <number format>    (formats other than General)
    header <i> <text>                         (xlsx only: xlrd does not read headers)
    name <sheet index or -> <name> <formula>  (xlsx only: defined names)
xlrd only:
    style <i> <row> <col> <bold 0|1> <centred 0|1>   (every cell with a value)
    width <i> <col> <width in 1/256 characters>
    merged <i> <first row> <last row + 1> <first col> <last col + 1>
    frozen <i> <rows> <columns>
    breaks <i> <rows before which a page starts> | <columns>
    area <scope> <name> <sheet> <first row> <last row + 1> <first col> <last col + 1>   (names of
                                              one area; "area <scope> <name> other" for the rest)
    warning <text>                            (xlrd's log)
    on-demand <i> differs                     (the sheet loaded alone from its BOUNDSHEET offset)
Rows and columns count from 0; texts are UTF-8 with line feeds and carriage returns written
as \n and \r.

usage: readback_dump.py xlrd FILE
       readback_dump.py libreoffice|gnumeric WORKDIR FILE...   (through their xlsx export;
                                                                 one "file <path>" line each)
Exits 1 when the reader fails or reports an error.
"""
import os
import re
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402

TIMEOUT = 300


def text(value):
    return value.replace("\n", "\\n").replace("\r", "\\r")


def values(sheet):
    import xlrd
    return [(r, c, sheet.cell(r, c).ctype, sheet.cell(r, c).value) for r in range(sheet.nrows)
            for c in range(sheet.ncols) if sheet.cell(r, c).ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK)]


def dump_xlrd(path):
    import io
    import xlrd
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log)
    lazy = xlrd.open_workbook(path, on_demand=True)
    for i in range(book.nsheets):
        sheet = book.sheet_by_index(i)
        print("sheet %d %s" % (i, sheet.name))
        if values(lazy.sheet_by_index(i)) != values(sheet):
            print("on-demand %d differs" % i)
        lazy.unload_sheet(i)
        for r, c, _, _ in values(sheet):
            xf = book.xf_list[sheet.cell_xf_index(r, c)]
            print("style %d %d %d %d %d" % (i, r, c, book.font_list[xf.font_index].weight == 700,
                                             xf.alignment.hor_align == 2))
        for c, info in sorted(sheet.colinfo_map.items()):
            print("width %d %d %d" % (i, c, info.width))
        for m in sorted(sheet.merged_cells):
            print("merged %d %d %d %d %d" % ((i,) + tuple(m)))
        if sheet.panes_are_frozen:
            print("frozen %d %d %d" % (i, sheet.horz_split_pos, sheet.vert_split_pos))
        if sheet.horizontal_page_breaks or sheet.vertical_page_breaks:
            print("breaks %d %s | %s" % (i, " ".join(str(b[0]) for b in sheet.horizontal_page_breaks),
                                         " ".join(str(b[0]) for b in sheet.vertical_page_breaks)))
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_TEXT:
                    print("cell %d %d %d text %s" % (i, r, c, text(cell.value)))
                elif cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    print("cell %d %d %d number %r" % (i, r, c, cell.value))
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    print("cell %d %d %d error %s" % (i, r, c, xlrd.error_text_from_code.get(cell.value, cell.value)))
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    print("cell %d %d %d boolean %d" % (i, r, c, cell.value))
                if cell.ctype != xlrd.XL_CELL_EMPTY or cell.xf_index:
                    xf = book.xf_list[cell.xf_index]
                    fmt = book.format_map[xf.format_key].format_str
                    if cell.ctype != xlrd.XL_CELL_EMPTY:
                        print("font %d %d %d %s" % (i, r, c, book.font_list[xf.font_index].name))
                        if fmt != "General":
                            print("format %d %d %d %s" % (i, r, c, fmt))
                    b = xf.border
                    if b.left_line_style or b.right_line_style or b.top_line_style or b.bottom_line_style:
                        print("border %d %d %d %d %d %d %d" % (i, r, c, b.left_line_style, b.right_line_style,
                                                               b.top_line_style, b.bottom_line_style))
        for r, info in sorted(sheet.rowinfo_map.items()):
            print("row %d %d %d %d" % (i, r, info.height, 1 if info.height_mismatch else 0))
    lazy.release_resources()
    for name in book.name_obj_list:
        if name.result is None or name.result.kind != xlrd.oREF or len(name.result.value) != 1:
            print("area %d %s other" % (name.scope, name.name))
        else:
            first_sheet, _, rlo, rhi, clo, chi = name.result.value[0].coords
            print("area %d %s %d %d %d %d %d" % (name.scope, name.name, first_sheet, rlo, rhi, clo, chi))
    for line in log.getvalue().splitlines():
        if "WARNING" in line or "ERROR" in line:
            print("warning %s" % line)
    return 0


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    return done.returncode, done.stderr.decode("utf-8", "replace")


def cell_position(ref):
    m = re.match(r"([A-Z]+)(\d+)$", ref)
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - 64
    return int(m.group(2)) - 1, col - 1


def unescape(value):
    value = re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), value)
    return value.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"').replace("&apos;", "'").replace("&amp;", "&")


def dump_xlsx(path):
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        book = z.read("xl/workbook.xml").decode("utf-8")
        rels = z.read("xl/_rels/workbook.xml.rels").decode("utf-8")
        shared = []
        if "xl/sharedStrings.xml" in names:
            for si in re.findall(r"<si>(.*?)</si>", z.read("xl/sharedStrings.xml").decode("utf-8"), re.S):
                shared.append(unescape("".join(re.findall(r"<t[^>]*>(.*?)</t>", si, re.S))))
        styles = z.read("xl/styles.xml").decode("utf-8")
        borders = re.findall(r"<border\b[^>]*?(?:/>|>.*?</border>)", re.search(r"<borders[^>]*>(.*?)</borders>", styles, re.S).group(1), re.S)
        fonts = re.findall(r"<font\b[^>]*?(?:/>|>.*?</font>)", re.search(r"<fonts[^>]*>(.*?)</fonts>", styles, re.S).group(1), re.S)
        formats = {}
        for attrs in re.findall(r"<numFmt\b([^>]*)", styles):
            formats[int(re.search(r'numFmtId="(\d+)"', attrs).group(1))] = unescape(re.search(r'formatCode="([^"]*)"', attrs).group(1))
        xfs = re.findall(r"<xf\b[^>]*?(?:/>|>.*?</xf>)", re.search(r"<cellXfs[^>]*>(.*?)</cellXfs>", styles, re.S).group(1), re.S)

        def edge(border, name):
            m = re.search(r"<%s\b([^>]*)" % name, border)
            s = m and re.search(r'style="(\w+)"', m.group(1))
            return s.group(1) if s else "-"

        for attrs, formula in re.findall(r"<definedName\b([^>]*)>(.*?)</definedName>", book, re.S):
            local = re.search(r'localSheetId="(\d+)"', attrs)
            print("name %s %s %s" % (local.group(1) if local else "-", unescape(re.search(r'name="([^"]*)"', attrs).group(1)),
                                     unescape(formula)))
        targets = dict(re.findall(r'<Relationship [^>]*?Id="(\w+)"[^>]*?Target="([^"]+)"', rels))
        targets.update({k: v for v, k in re.findall(r'<Relationship [^>]*?Target="([^"]+)"[^>]*?Id="(\w+)"', rels)})
        for i, (name, rid) in enumerate(re.findall(r'<sheet [^>]*?name="([^"]*)"[^>]*?r:id="(\w+)"', book)):
            print("sheet %d %s" % (i, unescape(name)))
            target = targets[rid].lstrip("/")
            sheet = z.read(target if target.startswith("xl/") else "xl/" + target).decode("utf-8")
            header = re.search(r"<oddHeader>(.*?)</oddHeader>", sheet, re.S)
            if header:
                print("header %d %s" % (i, text(unescape(header.group(1)))))
            for row in re.findall(r"<row\b[^>]*>", sheet):
                r = int(re.search(r'\br="(\d+)"', row).group(1)) - 1
                ht = re.search(r'\bht="([0-9.]+)"', row)
                custom = re.search(r'customHeight="(true|1)"', row) is not None
                if ht:
                    print("row %d %d %d %d" % (i, r, round(float(ht.group(1)) * 20), 1 if custom else 0))
            for attrs, body in re.findall(r"<c\b([^>]*?)(?:/>|>(.*?)</c>)", sheet, re.S):
                r, c = cell_position(re.search(r'\br="([A-Z]+\d+)"', attrs).group(1))
                kind = re.search(r'\bt="(\w+)"', attrs)
                kind = kind.group(1) if kind else "n"
                value = re.search(r"<v>(.*?)</v>", body or "", re.S)
                inline = re.findall(r"<t[^>]*>(.*?)</t>", body or "", re.S)
                if kind == "s" and value:
                    print("cell %d %d %d text %s" % (i, r, c, text(shared[int(value.group(1))])))
                elif kind in ("str", "inlineStr"):
                    print("cell %d %d %d text %s" % (i, r, c, text(unescape("".join(inline) if inline else value.group(1)))))
                elif kind == "e" and value:
                    print("cell %d %d %d error %s" % (i, r, c, value.group(1)))
                elif kind == "b" and value:
                    print("cell %d %d %d boolean %s" % (i, r, c, value.group(1)))
                elif value:
                    print("cell %d %d %d number %r" % (i, r, c, float(value.group(1))))
                s = re.search(r'\bs="(\d+)"', attrs)
                xf = xfs[int(s.group(1))] if s else xfs[0]
                font = re.search(r'fontId="(\d+)"', xf)
                name = font and re.search(r'<name val="([^"]*)"', fonts[int(font.group(1))])
                if name:
                    print("font %d %d %d %s" % (i, r, c, unescape(name.group(1))))
                fmt = re.search(r'numFmtId="(\d+)"', xf)
                if fmt and int(fmt.group(1)) in formats:
                    print("format %d %d %d %s" % (i, r, c, formats[int(fmt.group(1))]))
                if s:
                    m = re.search(r'borderId="(\d+)"', xfs[int(s.group(1))])
                    b = borders[int(m.group(1))] if m else ""
                    # ISO 29500 names the left and right edges start and end.
                    sides = [edge(b, e) if edge(b, e) != "-" else edge(b, alt)
                             for e, alt in (("left", "start"), ("right", "end"), ("top", "top"), ("bottom", "bottom"))]
                    sides = ["-" if side == "none" else side for side in sides]
                    if sides != ["-"] * 4:
                        print("border %d %d %d %s" % (i, r, c, " ".join(sides)))
    return 0


def convert(program, workdir, paths):
    out = os.path.join(workdir, program + "-out")
    os.makedirs(out, exist_ok=True)
    results = []
    if program == "libreoffice":
        code, _, err = soffice(workdir, ["--convert-to", "xlsx", "--outdir", out] + paths, timeout=TIMEOUT)
        for p in paths:
            target = os.path.join(out, os.path.splitext(os.path.basename(p))[0] + ".xlsx")
            results.append((p, target, code == 0 and os.path.exists(target), err))
    else:
        for p in paths:
            target = os.path.join(out, os.path.splitext(os.path.basename(p))[0] + ".xlsx")
            code, err = run(["ssconvert", "--export-type=Gnumeric_Excel:xlsx2", p, target])
            results.append((p, target, code == 0 and not err.strip() and os.path.exists(target), err))
    status = 0
    for p, target, ok, err in results:
        print("file %s" % p)
        if not ok:
            print("failed %s" % err.strip().replace("\n", " | ")[:2000])
            status = 1
            continue
        dump_xlsx(target)
    return status


def main():
    if sys.argv[1] == "xlrd":
        return dump_xlrd(sys.argv[2])
    return convert(sys.argv[1], sys.argv[2], sys.argv[3:])


if __name__ == "__main__":
    sys.exit(main())
