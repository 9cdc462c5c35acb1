#!/usr/bin/python3
"""The outside side of the open-edit-save round trips. LibreOffice writes a password-protected
workbook (comments, validations, conditional formats, an autofilter, formulas of every kind)
as BIFF8 and makes the test's edits on it; LibreOffice, gnumeric and xlrd say what they find in
a workbook's first sheet, one fact a line, sorted: "cell <row> <col> <type> <value> [<formula>]",
"note <place> <text>", rules_peer.py's "cf", "dv" and "filter" lines, and (LibreOffice)
"protected <0|1>".

usage: keep_peer.py make DIR          DIR/lo.xls; DIR/lo-edited.xls: column B deleted, then a row
                                      inserted above row 3; DIR/lo-edited2.xls: then a column
                                      inserted before C and row 3 deleted
       keep_peer.py newer DIR         DIR/lo-newer.xls: a 1904 workbook, NEWER's formulas in A1:A6
                                      (C1:D4 their data) and in A7 a date before 1904
       keep_peer.py lo DIR FILE...    "file FILE" and its lines, for each
       keep_peer.py xlrd FILE         (an encrypted file through msoffcrypto-tool)
       keep_peer.py gnumeric DIR FILE
"""
import gzip
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", ".."), os.path.join(HERE, "..", "rules")]
from lo_headless import office, prop, soffice  # noqa: E402
import rules_peer  # noqa: E402

NS = dict(rules_peer.NS, office="urn:oasis:names:tc:opendocument:xmlns:office:1.0")
HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="%(office)s" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="%(text)s" xmlns:table="%(table)s" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:styles><style:style style:name="Hit" style:family="table-cell">
 <style:table-cell-properties fo:background-color="#00ff00"/></style:style></office:styles>
<office:automatic-styles>
 <style:style style:name="cfc" style:family="table-cell"><style:map style:condition="is-true-formula($A2&gt;3)"
  style:apply-style-name="Hit" style:base-cell-address="Data.C2"/></style:style>
 <style:style style:name="cfa" style:family="table-cell"><style:map style:condition="cell-content-is-between(2,4)"
  style:apply-style-name="Hit" style:base-cell-address="Data.A2"/></style:style>
</office:automatic-styles>
<office:body><office:spreadsheet><table:content-validations>
 <table:content-validation table:name="even" table:condition="of:is-true-formula(MOD([.A2];2)=0)"
  table:base-cell-address="Data.C2"><table:error-message table:message-type="stop" table:title="Odd"
  table:display="true"><text:p>Even numbers only</text:p></table:error-message></table:content-validation>
 <table:content-validation table:name="pick" table:condition="of:cell-content-is-in-list([.$A$2:.$A$6])"
  table:display-list="unsorted" table:base-cell-address="Data.G2"/>
</table:content-validations><table:table table:name="Data">
""" % NS
TAIL = """</table:table><table:named-expressions><table:named-expression table:name="Rate"
 table:base-cell-address="$Data.$A$1" table:expression="of:=0.5"/></table:named-expressions>
<table:database-ranges><table:database-range table:name="__Anonymous_Sheet_DB__0"
 table:target-range-address="Data.A1:Data.E7" table:display-filter-buttons="true"><table:filter>
 <table:filter-condition table:field-number="0" table:value="zzz" table:operator="!="/></table:filter>
</table:database-range></table:database-ranges></office:spreadsheet></office:body></office:document>
"""
# Columns: A numbers, B text nothing refers to (the edit deletes it), C numbers, D and E
# formulas, F an array formula below the inserted row, G a list, H one formula down the column
# (a shared formula in LibreOffice's file).
FORMULAS = {
    (1, 3): "=[.A2]+[.C2]", (2, 3): "=SUM([.A2:.A7])",
    (3, 3): "=ROMAN([.A4])",  # a function our calculator does not compute
    (4, 3): "=[.A5]*Rate", (5, 3): "=SUM([.A2:.A3]~[.A6])", (6, 3): "=1/0",  # named constant, union
    (1, 4): "=[.A2]>3", (2, 4): '=IF([.A3]>1;"yes";"no")', (3, 4): "=ISNA(NA())",
    (4, 4): '=IF(1;"";"x")', (5, 4): "=LEN(ROMAN([.A6]))", (6, 4): "=[.C7]/[.A7]",
}
NOTES = {(1, 0): "first", (3, 2): "two\nlines", (5, 3): "\u00dcn\u00efc\u00f6d\u00e9 note"}


def cell(r, c):
    attrs = {0: ' table:style-name="cfa"', 2: ' table:style-name="cfc" table:content-validation-name="even"',
             6: ' table:content-validation-name="pick"'}.get(c, "") if r else ""
    note = ("<office:annotation>%s</office:annotation>" % "".join("<text:p>%s</text:p>" % p for p in
            NOTES[(r, c)].split("\n"))) if (r, c) in NOTES else ""
    if r == 0:
        attrs += ' office:value-type="string"'
        note = "<text:p>%s</text:p>" % "Num Note Val Calc Kind Array Pick Twice".split()[c] + note
    elif (r, c) in FORMULAS:
        attrs += ' table:formula="of:%s"' % FORMULAS[(r, c)].replace('"', "&quot;").replace(">", "&gt;")
    elif c == 5 and r == 3:
        attrs += ' table:number-matrix-columns-spanned="1" table:number-matrix-rows-spanned="2" ' \
                 'table:formula="of:=[.A4:.A5]*10"'
    elif c == 7:
        attrs += ' table:formula="of:=[.A%d]*2+[.C%d]"' % (r + 1, r + 1)
    elif c in (0, 2):
        attrs += ' office:value-type="float" office:value="%d"' % (r * (1 if c == 0 else 10))
    elif c == 1:
        attrs += ' office:value-type="string"'
        note = "<text:p>b%d</text:p>" % (r + 1)
    return "<table:table-cell%s>%s</table:table-cell>" % (attrs, note)


NEWER = HEAD[:HEAD.index("<office:styles>")].replace(" office:version", """
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version""") + """<office:automatic-styles>
<number:date-style style:name="N1"><number:year number:style="long"/><number:text>-</number:text><number:month
 number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
<style:style style:name="date" style:family="table-cell" style:data-style-name="N1"/>
</office:automatic-styles><office:body><office:spreadsheet><table:calculation-settings><table:null-date
 table:date-value="1904-01-01"/></table:calculation-settings><table:table table:name="Newer">
%s<table:table-row><table:table-cell table:style-name="date" office:value-type="date" office:date-value="1900-03-01"/>
</table:table-row></table:table></office:spreadsheet></office:body></office:document>
"""
# The newer functions LibreOffice writes as names, 200 Japanese characters, the empty row 20000.
NEWER_FORMULAS = ["=IFERROR(1/0;2)", '=SUMIFS([.C1:.C4];[.D1:.D4];">1")', '=COUNTIFS([.D1:.D4];">1";[.C1:.C4];"<9")',
                  '=AVERAGEIF([.D1:.D4];">1")', '=LEN("%s")' % ("\u65e5" * 200), "=[.A20000]+1"]


def url(path):
    import uno
    return uno.systemPathToFileUrl(os.path.abspath(path))


def make(workdir):
    source = os.path.join(workdir, "lo-source.fods")
    with open(source, "w", encoding="utf-8") as f:
        f.write(HEAD + "".join("<table:table-row>%s</table:table-row>\n" % "".join(cell(r, c) for c in range(8))
                               for r in range(7)) + TAIL)
    xls = (prop("FilterName", "MS Excel 97"),)
    with office("keep") as (_, desktop):
        doc = desktop.loadComponentFromURL(url(source), "_blank", 0, (prop("Hidden", True),))
        doc.calculateAll()
        doc.protect("secret")
        doc.storeToURL(url(os.path.join(workdir, "lo.xls")), xls)
        doc.close(True)
        doc = desktop.loadComponentFromURL(url(os.path.join(workdir, "lo.xls")), "_blank", 0, (prop("Hidden", True),))
        sheet = doc.Sheets.getByIndex(0)
        # Without a recalculation LibreOffice saves the moved formulas' text and Boolean results as 0.
        for name, edit in (("lo-edited.xls", lambda: (sheet.Columns.removeByIndex(1, 1), sheet.Rows.insertByIndex(2, 1))),
                           ("lo-edited2.xls", lambda: (sheet.Columns.insertByIndex(2, 1), sheet.Rows.removeByIndex(2, 1)))):
            edit()
            doc.calculateAll()
            doc.storeToURL(url(os.path.join(workdir, name)), xls)
        doc.close(True)
    return 0


def make_newer(workdir):
    data = '<table:table-cell office:value-type="float" office:value="%d"/>'
    rows = ['<table:table-row><table:table-cell table:formula="of:%s"/><table:table-cell/>%s</table:table-row>\n'
            % (escape(f, {'"': "&quot;"}), data % (r + 1) + data % r if r < 4 else "") for r, f in enumerate(NEWER_FORMULAS)]
    with open(os.path.join(workdir, "lo-newer.fods"), "w", encoding="utf-8") as f:
        f.write(NEWER % "".join(rows))
    code, out, err = soffice(workdir, ["--convert-to", "xls:MS Excel 97", "--outdir", workdir, f.name])
    sys.stderr.write(out + err)
    return code


def text(value):
    return value.replace("\n", "\\n").replace("\r", "\\r")


def lo(workdir, paths):
    q = lambda prefix, name: "{%s}%s" % (NS[prefix], name)  # noqa: E731
    with office("keepdump") as (_, desktop):
        for p in paths:
            print("file %s" % p)
            doc = desktop.loadComponentFromURL(url(p), "_blank", 0, (prop("Hidden", True),))
            # Comments through the document: its flat XML export leaves them out.
            lines = ["protected %d" % doc.isProtected()]
            notes = doc.Sheets.getByIndex(0).Annotations
            for note in (notes.getByIndex(i) for i in range(notes.Count)):
                lines.append("note %d %d %s" % (note.Position.Row, note.Position.Column, text(note.String)))
            fods = os.path.join(workdir, os.path.basename(p) + ".fods")
            doc.storeToURL(url(fods), (prop("FilterName", "OpenDocument Spreadsheet Flat XML"),))
            doc.close(True)
            table = ET.parse(fods).getroot().find(".//table:table", NS)
            r = -1
            for tr in table.iter(q("table", "table-row")):
                r, c = r + int(tr.get(q("table", "number-rows-repeated"), "1")), 0
                for tc in tr:
                    kind, formula = tc.get(q("office", "value-type")), tc.get(q("table", "formula"), "")
                    if kind or formula:
                        value = tc.get(q("office", "value")) or tc.get(q("office", "boolean-value")) or \
                            "".join("".join(x.itertext()) for x in tc.findall("text:p", NS))
                        lines.append("cell %d %d %s %s %s" % (r, c, kind or "-", text(value), formula))
                    c += int(tc.get(q("table", "number-columns-repeated"), "1"))
            print("\n".join(sorted(lines + rules_peer.libreoffice(fods))))
    return 0


def xlrd_lines(path):
    import xlrd
    try:
        book = xlrd.open_workbook(path)
    except xlrd.XLRDError:
        # LibreOffice encrypts a workbook with a protected structure with the published default
        # password, which xlrd does not take: msoffcrypto-tool gives it the plain twin.
        plain = os.path.join(tempfile.mkdtemp(prefix="kv-keep-"), "plain.xls")
        subprocess.run(["msoffcrypto-tool", "-p", "VelvetSweatshop", path, plain], check=True, timeout=300)
        book = xlrd.open_workbook(plain)
    sheet = book.sheet_by_index(0)
    kinds = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_BOOLEAN: "boolean",
             xlrd.XL_CELL_ERROR: "error", xlrd.XL_CELL_DATE: "date"}
    out = ["note %d %d %s" % (r, c, text(n.text)) for (r, c), n in sheet.cell_note_map.items()]
    for r in range(sheet.nrows):
        for c, cell in enumerate(sheet.row(r)):
            if cell.ctype in kinds:
                value = xlrd.error_text_from_code[cell.value] if cell.ctype == xlrd.XL_CELL_ERROR else cell.value
                out.append("cell %d %d %s %s" % (r, c, kinds[cell.ctype], text(str(value))))
    return out + ["filter %d %s:%s" % (a.shtxlo, rules_peer.col_name(a.colxlo) + str(a.rowxlo + 1),
                                       rules_peer.col_name(a.colxhi - 1) + str(a.rowxhi))
                  for n in book.name_obj_list if n.name == "_FilterDatabase" and n.result for a in n.result.value]


def gnumeric_lines(workdir, path):
    target = os.path.join(workdir, os.path.basename(path) + ".gnumeric")
    subprocess.run(["ssconvert", path, target], check=True, capture_output=True, timeout=300)
    with gzip.open(target) as f:
        sheet = ET.parse(f).getroot().find(".//gnm:Sheet", NS)
    out = ["cell %s %s %s %s" % (c.get("Row"), c.get("Col"), c.get("ValueType", "expr"), text(c.text or ""))
           for c in sheet.iter("{%s}Cell" % NS["gnm"])]
    out += ["note %s %s" % (n.get("ObjectBound"), text(n.get("Text", ""))) for n in sheet.iter("{%s}CellComment" % NS["gnm"])]
    return out + rules_peer.gnumeric(target)


if __name__ == "__main__":
    if sys.argv[1] == "make":
        sys.exit(make(sys.argv[2]))
    if sys.argv[1] == "newer":
        sys.exit(make_newer(sys.argv[2]))
    if sys.argv[1] == "lo":
        sys.exit(lo(sys.argv[2], sys.argv[3:]))
    print("\n".join(sorted(xlrd_lines(sys.argv[2]) if sys.argv[1] == "xlrd" else gnumeric_lines(sys.argv[2], sys.argv[3]))))
