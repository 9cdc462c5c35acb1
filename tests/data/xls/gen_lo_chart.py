#!/usr/bin/python3
"""Makes lo_chart_encrypted.xls: LibreOffice (headless, private profile) stores a sheet with an
embedded chart, a merged area, a comment after the chart and protection without a password as
"MS Excel 97" with the password "kestravel" (LibreOffice encrypts the chart's BOF record too), and
a second sheet. lo_chart_bad_bof.xls is the same file decrypted by msoffcrypto-tool, which leaves
the chart's BOF encrypted: a chart substream whose BOF cannot be read.

usage: /usr/bin/python3 gen_lo_chart.py   (writes beside this script)
"""
import os
import sys

import msoffcrypto
import uno
from com.sun.star.awt import Rectangle
from com.sun.star.table import CellAddress, CellRangeAddress

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from lo_headless import office, prop  # noqa: E402


def main():
    encrypted = os.path.join(HERE, "lo_chart_encrypted.xls")
    with office("chartdata") as (_, desktop):
        doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
        sheet = doc.Sheets.getByIndex(0)
        sheet.getCellByPosition(0, 0).setString("Speed")
        sheet.getCellByPosition(1, 0).setString("Torque")
        for r in range(1, 6):
            sheet.getCellByPosition(0, r).setValue(r * 100)
            sheet.getCellByPosition(1, r).setValue(r * r)
        area = CellRangeAddress()
        area.Sheet, area.StartColumn, area.StartRow, area.EndColumn, area.EndRow = 0, 0, 0, 1, 5
        box = Rectangle()
        box.X, box.Y, box.Width, box.Height = 4000, 500, 8000, 5000
        sheet.Charts.addNewByName("Curve", box, (area,), True, True)
        sheet.getCellRangeByName("D10:E11").merge(True)
        cell = CellAddress()
        cell.Sheet, cell.Column, cell.Row = 0, 0, 7
        sheet.Annotations.insertNew(cell, "after the chart")
        sheet.protect("")
        doc.Sheets.insertNewByName("Second", 1)
        doc.Sheets.getByIndex(1).getCellByPosition(0, 0).setString("next sheet")
        doc.storeToURL(uno.systemPathToFileUrl(encrypted),
                       (prop("FilterName", "MS Excel 97"), prop("Password", "kestravel")))
        doc.close(True)
    with open(encrypted, "rb") as src, open(os.path.join(HERE, "lo_chart_bad_bof.xls"), "wb") as dst:
        office_file = msoffcrypto.OfficeFile(src)
        office_file.load_key(password="kestravel")
        office_file.decrypt(dst)


if __name__ == "__main__":
    main()
