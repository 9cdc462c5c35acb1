import xlwt
wb = xlwt.Workbook(encoding="utf-8")
ws = wb.add_sheet("Parameters")
rows = [("Code", "Value", "Text"), ("P1.01", 12.5, "Motor speed"), ("P1.02", 3, "Ramp time"),
        ("P1.03", -7, "\u00dcbertemperatur \u20ac")]
bold = xlwt.easyxf("font: bold on")
for r, row in enumerate(rows):
    for c, v in enumerate(row):
        ws.write(r, c, v, bold if r == 0 else xlwt.Style.default_style)
ws2 = wb.add_sheet("Second")
for i in range(80):
    ws2.write(i, 0, "line %d with some text to make the stream larger" % i)
wb.save("xlwt.xls")
