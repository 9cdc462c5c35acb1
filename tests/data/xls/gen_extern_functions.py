#!/usr/bin/python3
"""Makes the workbooks of other programs whose formulas call functions through external names
and read the cached cells of another workbook:

- gnumeric_addin_functions.xls (ssconvert, BIFF8) and gnumeric_addin_functions_biff5.xls (the
  same as BIFF5): on sheet "S" A1 8, B1 =LOG2(A1), B2 =IFNA(NA(),5), B3 =BITAND(12,10),
  B4 =XOR(TRUE(),FALSE()), C1 =B1*2. gnumeric writes the functions the format does not list as
  external names of the add-in book (SUPBOOK with the add-in mark, EXTERNNAME, ptgNameX and
  ptgFuncVar 255); BIFF5 as the EXTERNSHEET ":" with its EXTERNNAMEs.
- lo_external_cache.xls (LibreOffice through UNO, "MS Excel 97"): on sheet "Main" A1
  ='file:///tmp/kv-extern-gone/other.xls'#$Src.A1*2 (22), A2 =SUM(...#$Src.A2:B2) (33), A3 =...#$Src.B1
  ("ext text"), A4 2 and B4 =IMSINH(A4) (an add-in name). The other workbook is gone once the
  file is made: what it held stays in the SUPBOOK of that book, its XCT and two CRN records.
- lo_external_names.xls (the same way): on sheet "Main" A1 ='file:///tmp/kv-extern-names-gone/other.xls'#MyName*2
  (22), A2 =SUM(...#Pair) (33), A3 =...#TxtName ("ext text"; the file caches 0), names of the other
  book ($Src.$A$1, $Src.$A$2:$B$2, $Src.$B$1): its SUPBOOK, an EXTERNNAME per name with its formula,
  and ptgNameX tokens that name them.

usage: /usr/bin/python3 gen_extern_functions.py   (writes beside this script)
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from lo_headless import office, prop, soffice  # noqa: E402

GNUMERIC = """<?xml version="1.0" encoding="UTF-8"?>
<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">
 <gnm:SheetNameIndex><gnm:SheetName>S</gnm:SheetName></gnm:SheetNameIndex>
 <gnm:Sheets>
  <gnm:Sheet><gnm:Name>S</gnm:Name><gnm:MaxCol>3</gnm:MaxCol><gnm:MaxRow>4</gnm:MaxRow>
   <gnm:Cells>
    <gnm:Cell Row="0" Col="0" ValueType="40">8</gnm:Cell>
    <gnm:Cell Row="0" Col="1">=LOG2(A1)</gnm:Cell>
    <gnm:Cell Row="1" Col="1">=IFNA(NA(),5)</gnm:Cell>
    <gnm:Cell Row="2" Col="1">=BITAND(12,10)</gnm:Cell>
    <gnm:Cell Row="3" Col="1">=XOR(TRUE(),FALSE())</gnm:Cell>
    <gnm:Cell Row="0" Col="2">=B1*2</gnm:Cell>
   </gnm:Cells>
  </gnm:Sheet>
 </gnm:Sheets>
</gnm:Workbook>
"""

SOURCE = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Src">
<table:table-row><table:table-cell office:value-type="float" office:value="11"/>
 <table:table-cell office:value-type="string"><text:p>ext text</text:p></table:table-cell></table:table-row>
<table:table-row><table:table-cell office:value-type="float" office:value="15"/>
 <table:table-cell office:value-type="float" office:value="18"/></table:table-row>
</table:table><table:named-expressions>
<table:named-range table:name="MyName" table:base-cell-address="$Src.$A$1" table:cell-range-address="$Src.$A$1"/>
<table:named-range table:name="Pair" table:base-cell-address="$Src.$A$1" table:cell-range-address="$Src.$A$2:.$B$2"/>
<table:named-range table:name="TxtName" table:base-cell-address="$Src.$A$1" table:cell-range-address="$Src.$B$1"/>
</table:named-expressions></office:spreadsheet></office:body></office:document>
"""


def gnumeric(work):
    source = os.path.join(work, "book.gnumeric")
    with open(source, "w") as f:
        f.write(GNUMERIC)
    for kind, name in (("excel_biff8", "gnumeric_addin_functions.xls"), ("excel_biff7", "gnumeric_addin_functions_biff5.xls")):
        subprocess.run(["ssconvert", "-T", "Gnumeric_Excel:" + kind, source, os.path.join(HERE, name)], check=True,
                       capture_output=True)


def libreoffice(work, books):
    with open(os.path.join(work, "other.fods"), "w") as f:
        f.write(SOURCE)
    code, out, err = soffice(work, ["--convert-to", "xls:MS Excel 97", "--outdir", work, os.path.join(work, "other.fods")])
    if code != 0:
        sys.exit(out + err)
    other = "file://" + os.path.join(work, "other.xls")
    made = os.path.join(work, "main.xls")
    with office("extern") as (_, desktop):
        for name, formulas in books.items():
            doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
            sheet = doc.Sheets.getByIndex(0)
            sheet.Name = "Main"
            for row, formula in enumerate(formulas):
                sheet.getCellByPosition(0, row).Formula = formula % other
            if name == "lo_external_cache.xls":
                sheet.getCellByPosition(0, 3).Value = 2
                sheet.getCellByPosition(1, 3).Formula = "=IMSINH(A4)"
            doc.calculateAll()
            doc.storeToURL("file://" + made, (prop("FilterName", "MS Excel 97"),))
            doc.close(True)
            shutil.copy(made, os.path.join(HERE, name))


# The other workbook's folder of each file, which the file names and the tests look for (and
# which must not exist once the file is made); one each, so that their tests may run together.
GONE = {
    "/tmp/kv-extern-gone": {
        "lo_external_cache.xls": ["='%s'#$Src.A1*2", "=SUM('%s'#$Src.A2:B2)", "='%s'#$Src.B1"]},
    "/tmp/kv-extern-names-gone": {
        "lo_external_names.xls": ["='%s'#MyName*2", "=SUM('%s'#Pair)", "='%s'#TxtName"]},
}


def main():
    with tempfile.TemporaryDirectory(prefix="kv-extern-") as work:
        gnumeric(work)
    for gone, books in GONE.items():
        shutil.rmtree(gone, ignore_errors=True)
        os.makedirs(gone)
        try:
            libreoffice(gone, books)
        finally:
            shutil.rmtree(gone)


if __name__ == "__main__":
    main()
