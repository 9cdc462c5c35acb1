#!/usr/bin/python3
"""Makes the workbooks of other programs that hold what our reader once dropped without a word:

- gnumeric_losses.xls (ssconvert, BIFF8): on sheet "Losses" B2 =LEN() of a string constant of
  9,000 characters (a FORMULA record continued in a CONTINUE record), B3 7, and a whole-number
  validation over D1:D4 whose error message has 9,000 characters (a DV record continued); on sheet
  "Objects" two filled shapes, a line, a push button, a scroll bar, an option button and a spin
  button, with the names gnumeric gives their macros (names without a formula).
- lo_merged_rich.xls (LibreOffice, "MS Excel 97"): on sheet "Merged" the area A1:C2 whose six
  cells all hold values (LibreOffice keeps what the covered cells hold), and A4 a text with a
  bold word (a shared string with formatting runs).
- gnumeric_biff5_filter.xls (LibreOffice "MS Excel 97", then ssconvert to BIFF5): an autofilter
  over A1:B5 of sheet "Filter" with column A equal to "drive" (rows 3 and 5 hidden); BIFF5 keeps
  the filter database as the hidden name "_FilterDatabase".

usage: /usr/bin/python3 gen_reader_losses.py   (writes beside this script)
"""
import os
import shutil
import subprocess
import sys
import tempfile
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from lo_headless import soffice  # noqa: E402

ANCHOR = 'ObjectOffset="0 0 0 0" ObjectAnchorType="16 16 16 16" Direction="17"'
OBJECTS = [
    '<gnm:SheetObjectFilled ObjectBound="F2:G4" %s Type="1" Width="1"/>',
    '<gnm:SheetObjectFilled ObjectBound="F6:G8" %s Type="2" Width="1"/>',
    '<gnm:SheetObjectGraphic ObjectBound="F10:G12" %s Width="1"/>',
    '<gnm:SheetWidgetButton ObjectBound="H2:I3" %s Label="Push"/>',
    '<gnm:SheetWidgetScrollbar ObjectBound="H5:I6" %s Min="0" Max="100" Inc="1" Page="10" Value="5" Input="Objects!$A$20"/>',
    '<gnm:SheetWidgetRadioButton ObjectBound="H8:I9" %s Label="Option" Value="1" Input="Objects!$A$21"/>',
    '<gnm:SheetWidgetSpinbutton ObjectBound="H11:I12" %s Min="0" Max="10" Inc="1" Page="1" Value="2" Input="Objects!$A$22"/>',
]


def gnumeric_losses(path):
    constant = "".join("%04d " % i for i in range(1800))
    prompt = "".join("m%04d " % i for i in range(1500))
    doc = """<?xml version="1.0" encoding="UTF-8"?>
<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">
 <gnm:SheetNameIndex><gnm:SheetName>Losses</gnm:SheetName><gnm:SheetName>Objects</gnm:SheetName></gnm:SheetNameIndex>
 <gnm:Sheets>
  <gnm:Sheet><gnm:Name>Losses</gnm:Name><gnm:MaxCol>3</gnm:MaxCol><gnm:MaxRow>3</gnm:MaxRow>
   <gnm:Styles><gnm:StyleRegion startCol="3" startRow="0" endCol="3" endRow="3"><gnm:Style Format="General">
    <gnm:Validation Style="1" Type="1" Operator="0" AllowBlank="true" UseDropdown="false" Title="Whole number" Message=%s>
     <gnm:Expression0>1</gnm:Expression0><gnm:Expression1>10</gnm:Expression1></gnm:Validation>
   </gnm:Style></gnm:StyleRegion></gnm:Styles>
   <gnm:Cells>
    <gnm:Cell Row="0" Col="0" ValueType="60">top</gnm:Cell>
    <gnm:Cell Row="1" Col="1">=LEN(&quot;%s&quot;)</gnm:Cell>
    <gnm:Cell Row="2" Col="1" ValueType="40">7</gnm:Cell>
   </gnm:Cells>
  </gnm:Sheet>
  <gnm:Sheet><gnm:Name>Objects</gnm:Name><gnm:MaxCol>9</gnm:MaxCol><gnm:MaxRow>22</gnm:MaxRow>
   <gnm:Objects>%s</gnm:Objects>
   <gnm:Cells><gnm:Cell Row="0" Col="0" ValueType="60">objects</gnm:Cell></gnm:Cells>
  </gnm:Sheet>
 </gnm:Sheets>
</gnm:Workbook>
""" % (quoteattr(prompt), constant, "".join(o % ANCHOR for o in OBJECTS))
    convert_gnumeric(doc, "Gnumeric_Excel:excel_biff8", path)


def convert_gnumeric(doc, export_type, path):
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "book.gnumeric")
        with open(source, "w") as f:
            f.write(doc)
        subprocess.run(["ssconvert", "-T", export_type, source, path], check=True, capture_output=True)


FODS = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles><style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style></office:automatic-styles>
<office:body><office:spreadsheet>%s</office:spreadsheet></office:body></office:document>
"""


def s(text, extra=""):
    return '<table:table-cell%s office:value-type="string"><text:p>%s</text:p></table:table-cell>' % (extra, text)


def n(value, extra=""):
    return '<table:table-cell%s office:value-type="float" office:value="%d"><text:p>%d</text:p></table:table-cell>' % (
        extra, value, value)


def row(*cells, extra=""):
    return "<table:table-row%s>%s</table:table-row>" % (extra, "".join(cells))


def covered(cell):
    return cell.replace("<table:table-cell", "<table:covered-table-cell").replace("</table:table-cell>",
                                                                                "</table:covered-table-cell>")


MERGED = FODS % ('<table:table table:name="Merged">' +
                 row(s("top", ' table:number-columns-spanned="3" table:number-rows-spanned="2"'), covered(s("b1")),
                     covered(n(3))) +
                 row(covered(s("a2")), covered(n(5)), covered(s("c2"))) + row("<table:table-cell/>") +
                 row('<table:table-cell office:value-type="string"><text:p>plain <text:span text:style-name="T1">bold</text:span></text:p></table:table-cell>') +
                 "</table:table>")

FILTER = FODS % ('<table:table table:name="Filter">' + row(s("Kind"), s("Speed")) + row(s("drive"), n(10)) +
                 row(s("motor"), n(20), extra=' table:visibility="filter"') + row(s("drive"), n(30)) +
                 row(s("motor"), n(40), extra=' table:visibility="filter"') + "</table:table>" +
                 '<table:database-ranges><table:database-range table:name="__Anonymous_Sheet_DB__0" '
                 'table:target-range-address="Filter.A1:Filter.B5" table:display-filter-buttons="true"><table:filter>'
                 '<table:filter-condition table:field-number="0" table:value="drive" table:operator="="/>'
                 "</table:filter></table:database-range></table:database-ranges>")


def libreoffice(fods, work, name):
    source = os.path.join(work, name + ".fods")
    with open(source, "w") as f:
        f.write(fods)
    code, out, err = soffice(work, ["--convert-to", "xls:MS Excel 97", "--outdir", work, source])
    if code != 0:
        sys.exit(out + err)
    return os.path.join(work, name + ".xls")


def main():
    gnumeric_losses(os.path.join(HERE, "gnumeric_losses.xls"))
    with tempfile.TemporaryDirectory() as work:
        shutil.copy(libreoffice(MERGED, work, "merged"), os.path.join(HERE, "lo_merged_rich.xls"))
        subprocess.run(["ssconvert", "-T", "Gnumeric_Excel:excel_biff7", libreoffice(FILTER, work, "filter"),
                        os.path.join(HERE, "gnumeric_biff5_filter.xls")], check=True, capture_output=True)


if __name__ == "__main__":
    main()
