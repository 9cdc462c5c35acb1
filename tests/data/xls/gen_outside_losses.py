#!/usr/bin/python3
"""Makes the workbooks of other programs whose names, outline flags, tab colours, sheet names,
unreadable formulas and macro sheets our reader once lost without a word:

- gnumeric_names.xls (ssconvert, BIFF8) and gnumeric_names_biff5.xls (BIFF5): sheet "Names" with
  A1 =NOSUCHNAME (a name reference plus a NAME record without a formula), A2 =midb("Lévy",2,1)
  (MIDB, a function our catalogue lacks; cached text ""), A3 ='[Br]'!A1+1 and A4 ='日本語表'!A1+2;
  sheet "[Br]" (a name the format refuses) with A1 5, sheet "日本語表" with A1 7, which gnumeric's
  BIFF5 writer cannot encode and writes as "????".
- xlwt_outline.xls (python3-xlwt): rows 3-4 (0-based) at outline level 1, expanded; column D at
  level 1; column E with the collapsed flag only; rows 8-9 at level 1 and row 10 with the collapsed
  flag (a collapsed group, its rows hidden).
- lo_tab_colours.xls (LibreOffice, "MS Excel 97"): sheets "Red", "Plain" and "Blue", two of them
  with a tab colour (one SHEETEXT record each).
- lo_macro_sheet.xls (LibreOffice, then patched) and gnumeric_biff5_macro_sheet.xls (that file
  through ssconvert to BIFF5, then patched): sheets "Macro", "Data" and "Other"; "Data" has the
  print area A1:C5, the print titles rows 1:1 and an autofilter over A1:C5 (BIFF5: the hidden name
  "_FilterDatabase"), "Other" has A1 =Data!B2*2. Neither program writes Excel 4 macro sheets, so
  the first sheet becomes one by patching two records: the type byte of its BOUNDSHEET (offset 5:
  0 worksheet -> 1 macro sheet) and the substream type of its BOF (offset 2: 0x0010 -> 0x0040).
  The built-in names of "Data" keep their sheet number 2, which counts the macro sheet.

usage: /usr/bin/python3 gen_outside_losses.py   (writes beside this script)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from lo_headless import office, prop, soffice  # noqa: E402

NAMES = """<?xml version="1.0" encoding="UTF-8"?>
<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">
 <gnm:SheetNameIndex><gnm:SheetName>Names</gnm:SheetName><gnm:SheetName>[Br]</gnm:SheetName><gnm:SheetName>日本語表</gnm:SheetName></gnm:SheetNameIndex>
 <gnm:Sheets>
  <gnm:Sheet><gnm:Name>Names</gnm:Name><gnm:MaxCol>1</gnm:MaxCol><gnm:MaxRow>4</gnm:MaxRow>
   <gnm:Cells>
    <gnm:Cell Row="0" Col="0">=NOSUCHNAME</gnm:Cell>
    <gnm:Cell Row="1" Col="0">=midb("Lévy",2,1)</gnm:Cell>
    <gnm:Cell Row="2" Col="0">='[Br]'!A1+1</gnm:Cell>
    <gnm:Cell Row="3" Col="0">='日本語表'!A1+2</gnm:Cell>
   </gnm:Cells>
  </gnm:Sheet>
  <gnm:Sheet><gnm:Name>[Br]</gnm:Name><gnm:MaxCol>1</gnm:MaxCol><gnm:MaxRow>1</gnm:MaxRow>
   <gnm:Cells><gnm:Cell Row="0" Col="0" ValueType="40">5</gnm:Cell></gnm:Cells></gnm:Sheet>
  <gnm:Sheet><gnm:Name>日本語表</gnm:Name><gnm:MaxCol>1</gnm:MaxCol><gnm:MaxRow>1</gnm:MaxRow>
   <gnm:Cells><gnm:Cell Row="0" Col="0" ValueType="40">7</gnm:Cell></gnm:Cells></gnm:Sheet>
 </gnm:Sheets>
</gnm:Workbook>
"""


def cells(*values):
    out = ""
    for v in values:
        if isinstance(v, str) and v.startswith("of:"):
            out += '<table:table-cell table:formula="%s" office:value-type="float" office:value="0"/>' % v
        elif isinstance(v, str):
            out += '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % v
        else:
            out += '<table:table-cell office:value-type="float" office:value="%d"/>' % v
    return "<table:table-row>%s</table:table-row>" % out


MACRO = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
<table:table table:name="Macro">%s</table:table>
<table:table table:name="Data" table:print-ranges="Data.A1:Data.C5"><table:table-header-rows>%s</table:table-header-rows>%s</table:table>
<table:table table:name="Other">%s</table:table>
<table:database-ranges><table:database-range table:name="__Anonymous_Sheet_DB__1"
 table:target-range-address="Data.A1:Data.C5" table:display-filter-buttons="true"/></table:database-ranges>
</office:spreadsheet></office:body></office:document>
""" % (cells("macro"), cells("Kind", "Speed", "Load"),
       "".join(cells("drive" if r % 2 else "motor", 10 * r, r) for r in range(1, 5)), cells("of:=[$Data.B2]*2"))


def gnumeric(work, doc, export_type, path):
    source = os.path.join(work, "book.gnumeric")
    with open(source, "w", encoding="utf-8") as f:
        f.write(doc)
    subprocess.run(["ssconvert", "-T", export_type, source, path], check=True, capture_output=True)


def xlwt_outline(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Outline")
    for r in range(12):
        ws.write(r, 0, "row %d" % r)
        ws.write(r, 3, r)
    for r in (3, 4):
        ws.row(r).level = 1
    for r in (8, 9):
        ws.row(r).level = 1
        ws.row(r).hidden = True
    ws.row(10).collapse = True
    ws.col(3).level = 1
    ws.col(4).collapse = True
    wb.save(path)


def libreoffice_books(work):
    import uno
    tabs = os.path.join(work, "tabs.xls")
    with office("outsidelosses") as (_, desktop):
        doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
        sheets = doc.Sheets
        sheets.getByIndex(0).Name = "Red"
        sheets.insertNewByName("Plain", 1)
        sheets.insertNewByName("Blue", 2)
        sheets.getByName("Red").TabColor = 0xFF0000
        sheets.getByName("Blue").TabColor = 0x0000FF
        for i in range(3):
            sheets.getByIndex(i).getCellByPosition(0, 0).setValue(i + 1)
        doc.storeToURL(uno.systemPathToFileUrl(tabs), (prop("FilterName", "MS Excel 97"),))
        doc.close(True)

    source = os.path.join(work, "macro.fods")
    with open(source, "w") as f:
        f.write(MACRO)
    code, out, err = soffice(work, ["--convert-to", "xls:MS Excel 97", "--outdir", work, source])
    if code != 0:
        sys.exit(out + err)
    return tabs, os.path.join(work, "macro.xls")


def records(stream):
    p = 0
    while p + 4 <= len(stream):
        rid, size = struct.unpack_from("<HH", stream, p)
        yield rid, p, size
        p += 4 + size


def first_sheet_to_macro_sheet(source, target):
    """Copies SOURCE to TARGET with its first sheet made an Excel 4 macro sheet (see above)."""
    shutil.copy(source, target)
    with olefile.OleFileIO(target, write_mode=True) as ole:
        name = "Workbook" if ole.exists("Workbook") else "Book"
        stream = bytearray(ole.openstream(name).read())
        boundsheets = [p for rid, p, _ in records(stream) if rid == 0x0085]
        offset = struct.unpack_from("<I", stream, boundsheets[0] + 4)[0]
        assert stream[boundsheets[0] + 9] == 0 and struct.unpack_from("<HH", stream, offset)[0] == 0x0809
        stream[boundsheets[0] + 9] = 1
        assert struct.unpack_from("<H", stream, offset + 6)[0] == 0x0010
        struct.pack_into("<H", stream, offset + 6, 0x0040)
        ole.write_stream(name, bytes(stream))


def main():
    with tempfile.TemporaryDirectory() as work:
        gnumeric(work, NAMES, "Gnumeric_Excel:excel_biff8", os.path.join(HERE, "gnumeric_names.xls"))
        gnumeric(work, NAMES, "Gnumeric_Excel:excel_biff7", os.path.join(HERE, "gnumeric_names_biff5.xls"))
        xlwt_outline(os.path.join(HERE, "xlwt_outline.xls"))
        tabs, macro = libreoffice_books(work)
        shutil.copy(tabs, os.path.join(HERE, "lo_tab_colours.xls"))
        first_sheet_to_macro_sheet(macro, os.path.join(HERE, "lo_macro_sheet.xls"))
        biff5 = os.path.join(work, "macro5.xls")
        subprocess.run(["ssconvert", "-T", "Gnumeric_Excel:excel_biff7", macro, biff5], check=True,
                       capture_output=True)
        first_sheet_to_macro_sheet(biff5, os.path.join(HERE, "gnumeric_biff5_macro_sheet.xls"))


if __name__ == "__main__":
    main()
