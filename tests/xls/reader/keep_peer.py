#!/usr/bin/python3
"""The outside side of the open-edit-save round trips: LibreOffice writes a workbook with
comments, validations, conditional formats, an autofilter and formulas of every kind, protects
it with a password, saves it as BIFF8 and makes the same edit our test makes; LibreOffice,
gnumeric and xlrd then say what they find in a workbook, one fact a line, sorted:
    cell <row> <col> <type> <value> [<formula>]     (the first sheet; rows and columns from 0)
    note <row> <col> <text>
    dv / cf / filter ...                             (rules_peer.py's lines)
    protected <0|1>                                  (LibreOffice: the workbook's structure)

usage: keep_peer.py make DIR              DIR/lo.xls, DIR/lo-edited.xls (column B deleted, then a
                                          row inserted above row 3) and DIR/lo-edited2.xls (then a
                                          column inserted before C and row 3 deleted)
       keep_peer.py lo DIR FILE...        "file FILE" and its lines, for each
       keep_peer.py xlrd FILE               (an encrypted file through msoffcrypto-tool)
       keep_peer.py gnumeric DIR FILE
"""
import gzip
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(HERE, "..", "rules"))
from lo_headless import office, prop, soffice  # noqa: E402
import rules_peer  # noqa: E402

NS = dict(rules_peer.NS)
NS["office"] = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"


def q(prefix, name):
    return "{%s}%s" % (NS[prefix], name)


HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:styles>
 <style:style style:name="Hit" style:family="table-cell"><style:table-cell-properties fo:background-color="#00ff00"/></style:style>
</office:styles>
<office:automatic-styles>
 <style:style style:name="cfc" style:family="table-cell">
  <style:map style:condition="is-true-formula($A2&gt;3)" style:apply-style-name="Hit" style:base-cell-address="Data.C2"/>
 </style:style>
 <style:style style:name="cfa" style:family="table-cell">
  <style:map style:condition="cell-content-is-between(2,4)" style:apply-style-name="Hit" style:base-cell-address="Data.A2"/>
 </style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
<table:content-validations>
 <table:content-validation table:name="even" table:condition="of:is-true-formula(MOD([.A2];2)=0)" table:allow-empty-cell="true" table:base-cell-address="Data.C2">
  <table:error-message table:message-type="stop" table:title="Odd" table:display="true"><text:p>Even numbers only</text:p></table:error-message>
 </table:content-validation>
 <table:content-validation table:name="pick" table:condition="of:cell-content-is-in-list([.$A$2:.$A$6])" table:allow-empty-cell="true" table:display-list="unsorted" table:base-cell-address="Data.G2"/>
</table:content-validations>
<table:table table:name="Data">
"""

# Column B holds text nothing refers to: the edit deletes it.
FORMULAS = {
    (1, 3): "of:=[.A2]+[.C2]",
    (2, 3): "of:=SUM([.A2:.A7])",
    (3, 3): "of:=ROMAN([.A4])",             # a function the library's calculator does not compute
    (4, 3): "of:=[.A5]*Rate",               # a named constant
    (5, 3): "of:=SUM([.A2:.A3]~[.A6])",     # a union
    (6, 3): "of:=1/0",
    (1, 4): "of:=[.A2]>3",
    (2, 4): "of:=IF([.A3]>1;\"yes\";\"no\")",
    (3, 4): "of:=ISNA(NA())",
    (4, 4): "of:=IF(1;\"\";\"x\")",
    (5, 4): "of:=LEN(ROMAN([.A6]))",
    (6, 4): "of:=[.C7]/[.A7]",
}
NOTES = {(1, 0): "first", (3, 2): "two\nlines", (5, 3): "\u00dcn\u00efc\u00f6d\u00e9 note"}


def cell(row, col):
    notes = NOTES.get((row, col))
    annotation = ""
    if notes:
        annotation = "<office:annotation>%s</office:annotation>" % "".join(
            "<text:p>%s</text:p>" % p for p in notes.split("\n"))
    attrs = ""
    if col == 0 and row >= 1:
        attrs = ' table:style-name="cfa"'
    if col == 2 and row >= 1:
        attrs = ' table:style-name="cfc" table:content-validation-name="even"'
    if col == 6 and row >= 1:
        attrs = ' table:content-validation-name="pick"'
    if row == 0:
        return '<table:table-cell office:value-type="string"%s><text:p>%s</text:p>%s</table:table-cell>' % (
            attrs, ["Num", "Note", "Val", "Calc", "Kind", "Array", "Pick", "Twice"][col], annotation)
    if (row, col) in FORMULAS:
        return '<table:table-cell table:formula="%s"%s>%s</table:table-cell>' % (
            FORMULAS[(row, col)].replace('"', "&quot;").replace(">", "&gt;"), attrs, annotation)
    if col == 5 and row in (3, 4):
        # Below the inserted row: an array formula cannot be cut in two.
        span = ' table:number-matrix-columns-spanned="1" table:number-matrix-rows-spanned="2"' if row == 3 else ""
        formula = ' table:formula="of:=[.A4:.A5]*10"' if row == 3 else ""
        return '<table:table-cell%s%s>%s</table:table-cell>' % (span, formula, annotation)
    if col == 7:
        # The same formula down the column: LibreOffice writes it as a shared formula.
        return '<table:table-cell table:formula="of:=[.A%d]*2+[.C%d]"/>' % (row + 1, row + 1)
    if col == 0:
        return '<table:table-cell office:value-type="float" office:value="%d"%s>%s</table:table-cell>' % (
            row, attrs, annotation)
    if col == 1:
        return '<table:table-cell office:value-type="string"><text:p>b%d</text:p></table:table-cell>' % (row + 1)
    if col == 2:
        return '<table:table-cell office:value-type="float" office:value="%d"%s>%s</table:table-cell>' % (
            row * 10, attrs, annotation)
    return '<table:table-cell%s>%s</table:table-cell>' % (attrs, annotation)


def write_fods(path):
    rows = ["<table:table-column table:number-columns-repeated=\"8\"/>"]
    for r in range(7):
        rows.append("<table:table-row>%s</table:table-row>" % "".join(cell(r, c) for c in range(8)))
    tail = """</table:table>
<table:named-expressions><table:named-expression table:name="Rate" table:base-cell-address="$Data.$A$1" table:expression="of:=0.5"/></table:named-expressions>
<table:database-ranges>
 <table:database-range table:name="__Anonymous_Sheet_DB__0" table:target-range-address="Data.A1:Data.E7" table:display-filter-buttons="true">
  <table:filter><table:filter-condition table:field-number="0" table:value="zzz" table:operator="!="/></table:filter>
 </table:database-range>
</table:database-ranges>
</office:spreadsheet></office:body></office:document>
"""
    with open(path, "w", encoding="utf-8") as f:
        f.write(HEAD + "\n".join(rows) + "\n" + tail)


def url(path):
    import uno
    return uno.systemPathToFileUrl(os.path.abspath(path))


def make(workdir):
    source = os.path.join(workdir, "lo-source.fods")
    write_fods(source)
    xls = os.path.join(workdir, "lo.xls")
    with office("keep") as (_, desktop):
        doc = desktop.loadComponentFromURL(url(source), "_blank", 0, (prop("Hidden", True),))
        doc.calculateAll()
        doc.protect("secret")
        doc.storeToURL(url(xls), (prop("FilterName", "MS Excel 97"),))
        doc.close(True)
        # LibreOffice's own edit of its file: column B deleted, then a row inserted above row 3.
        doc = desktop.loadComponentFromURL(url(xls), "_blank", 0, (prop("Hidden", True),))
        sheet = doc.Sheets.getByIndex(0)
        sheet.Columns.removeByIndex(1, 1)
        sheet.Rows.insertByIndex(2, 1)
        # Without a recalculation LibreOffice saves the moved formulas' text and Boolean results as 0.
        doc.calculateAll()
        doc.storeToURL(url(os.path.join(workdir, "lo-edited.xls")), (prop("FilterName", "MS Excel 97"),))
        # Then a column inserted before column C (inside the autofilter) and row 3 deleted again.
        sheet.Columns.insertByIndex(2, 1)
        sheet.Rows.removeByIndex(2, 1)
        doc.calculateAll()
        doc.storeToURL(url(os.path.join(workdir, "lo-edited2.xls")), (prop("FilterName", "MS Excel 97"),))
        doc.close(True)
    return 0


def text(value):
    return value.replace("\n", "\\n").replace("\r", "\\r")


def lo_lines(fods):
    root = ET.parse(fods).getroot()
    out = []
    table = root.find(".//table:table", NS)
    row = 0
    for tr in table.iter(q("table", "table-row")):
        rrep = int(tr.get(q("table", "number-rows-repeated"), "1"))
        col = 0
        for tc in tr:
            if tc.tag not in (q("table", "table-cell"), q("table", "covered-table-cell")):
                continue
            crep = int(tc.get(q("table", "number-columns-repeated"), "1"))
            kind = tc.get(q("office", "value-type"))
            formula = tc.get(q("table", "formula"), "")
            words = "".join(p for p in ("".join(x.itertext()) for x in tc.findall("text:p", NS)))
            if kind or formula:
                value = tc.get(q("office", "value")) or tc.get(q("office", "boolean-value")) or words
                out.append("cell %d %d %s %s %s" % (row, col, kind or "-", text(value), formula))
            col += crep
        row += rrep
    return out + rules_peer.libreoffice(fods)


def lo(workdir, paths):
    out = os.path.join(workdir, "lo-dump")
    os.makedirs(out, exist_ok=True)
    status = 0
    with office("keepdump") as (_, desktop):
        for p in paths:
            print("file %s" % p)
            try:
                doc = desktop.loadComponentFromURL(url(p), "_blank", 0, (prop("Hidden", True),))
            except Exception as e:  # noqa: BLE001 - a file LibreOffice cannot open
                print("failed %s" % e)
                status = 1
                continue
            # Comments through the document (its flat XML export leaves them out).
            lines = ["protected %d" % doc.isProtected()]
            notes = doc.Sheets.getByIndex(0).Annotations
            for i in range(notes.Count):
                note = notes.getByIndex(i)
                lines.append("note %d %d %s" % (note.Position.Row, note.Position.Column, text(note.String)))
            fods = os.path.join(out, os.path.splitext(os.path.basename(p))[0] + ".fods")
            doc.storeToURL(url(fods), (prop("FilterName", "OpenDocument Spreadsheet Flat XML"),))
            doc.close(True)
            print("\n".join(sorted(lines + lo_lines(fods))))
    return status


def xlrd_lines(path):
    import tempfile
    import xlrd
    try:
        book = xlrd.open_workbook(path, formatting_info=True)
    except xlrd.XLRDError:
        # LibreOffice encrypts a workbook with a protected structure with the published default
        # password, which xlrd does not take: msoffcrypto-tool gives it the plain twin.
        plain = os.path.join(tempfile.mkdtemp(prefix="kv-keep-"), "plain.xls")
        subprocess.run(["msoffcrypto-tool", "-p", "VelvetSweatshop", path, plain], check=True, timeout=300)
        book = xlrd.open_workbook(plain, formatting_info=True)
    sheet = book.sheet_by_index(0)
    out = []
    kinds = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_BOOLEAN: "boolean",
             xlrd.XL_CELL_ERROR: "error", xlrd.XL_CELL_DATE: "number"}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in kinds:
                value = cell.value
                if cell.ctype == xlrd.XL_CELL_ERROR:
                    value = xlrd.error_text_from_code.get(value, value)
                out.append("cell %d %d %s %s" % (r, c, kinds[cell.ctype], text(str(value))))
    for (r, c), note in sheet.cell_note_map.items():
        out.append("note %d %d %s" % (r, c, text(note.text)))
    return out


def gnumeric_lines(workdir, path):
    target = os.path.join(workdir, os.path.splitext(os.path.basename(path))[0] + ".gnumeric")
    done = subprocess.run(["ssconvert", path, target], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if done.returncode != 0:
        return ["failed %s" % done.stderr.decode("utf-8", "replace").strip()[:500]]
    with gzip.open(target) as f:
        root = ET.parse(f).getroot()
    sheet = root.find(".//gnm:Sheet", NS)
    out = []
    for c in sheet.iter(q("gnm", "Cell")):
        value = c.text or ""
        out.append("cell %s %s %s %s" % (c.get("Row"), c.get("Col"), c.get("ValueType", "expr"), text(value)))
    for note in sheet.iter(q("gnm", "CellComment")):
        out.append("note %s %s" % (note.get("ObjectBound"), text(note.get("Text", ""))))
    return out + rules_peer.gnumeric(target)


def main():
    if sys.argv[1] == "make":
        return make(sys.argv[2])
    if sys.argv[1] == "lo":
        return lo(sys.argv[2], sys.argv[3:])
    if sys.argv[1] == "xlrd":
        print("\n".join(sorted(xlrd_lines(sys.argv[2]))))
        return 0
    print("\n".join(sorted(gnumeric_lines(sys.argv[2], sys.argv[3]))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
