#!/usr/bin/python3
"""Writes a flat OpenDocument spreadsheet for the reader tests, which LibreOffice then saves as
BIFF8: numbers, texts (long ones and many distinct ones), booleans, dates, percentages, fonts,
alignment, wrapping, column widths, row heights, merged cells, a comment and defined names
(workbook and sheet scope).

usage: make_fods.py FILE
"""
import base64
import struct
import sys
import zlib
from xml.sax.saxutils import escape

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:percentage-style style:name="N10"><number:number number:decimal-places="1" number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>
 <number:date-style style:name="N20"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
 <number:number-style style:name="N30"><number:number number:decimal-places="3" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
 <style:style style:name="co1" style:family="table-column"><style:table-column-properties style:column-width="3cm"/></style:style>
 <style:style style:name="co2" style:family="table-column"><style:table-column-properties style:column-width="7.5cm"/></style:style>
 <style:style style:name="ro1" style:family="table-row"><style:table-row-properties style:row-height="0.452cm" style:use-optimal-row-height="true"/></style:style>
 <style:style style:name="ro2" style:family="table-row"><style:table-row-properties style:row-height="1.2cm" style:use-optimal-row-height="false"/></style:style>
 <style:style style:name="ce1" style:family="table-cell"><style:text-properties fo:font-weight="bold" fo:font-size="14pt" fo:font-family="Courier New"/></style:style>
 <style:style style:name="ce2" style:family="table-cell"><style:table-cell-properties fo:wrap-option="wrap" style:vertical-align="top"/><style:paragraph-properties fo:text-align="center"/><style:text-properties fo:font-style="italic" style:text-underline-style="solid" style:text-underline-width="auto" style:text-underline-color="font-color"/></style:style>
 <style:style style:name="ce3" style:family="table-cell" style:data-style-name="N10"/>
 <style:style style:name="ce4" style:family="table-cell" style:data-style-name="N20"/>
 <style:style style:name="ce5" style:family="table-cell" style:data-style-name="N30"><style:paragraph-properties fo:text-align="end"/></style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
"""


def cell(kind, value, style=None, extra=""):
    attrs = ' table:style-name="%s"' % style if style else ""
    if kind == "s":
        return '<table:table-cell%s office:value-type="string"%s><text:p>%s</text:p></table:table-cell>' % (
            attrs, extra, escape(value))
    if kind == "f":
        return '<table:table-cell%s office:value-type="float" office:value="%r"%s><text:p>%r</text:p></table:table-cell>' % (
            attrs, value, extra, value)
    if kind == "p":
        return '<table:table-cell%s office:value-type="percentage" office:value="%r"><text:p>x</text:p></table:table-cell>' % (
            attrs, value)
    if kind == "d":
        return '<table:table-cell%s office:value-type="date" office:date-value="%s"><text:p>%s</text:p></table:table-cell>' % (
            attrs, value, value)
    if kind == "b":
        return '<table:table-cell%s office:value-type="boolean" office:boolean-value="%s"><text:p>x</text:p></table:table-cell>' % (
            attrs, "true" if value else "false")
    return "<table:table-cell/>"


def formula(text, extra=""):
    return '<table:table-cell table:formula="of:=%s"%s/>' % (escape(text, {'"': "&quot;"}), extra)


def png():
    """A 4 x 3 red and blue picture."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + (b"\xff\0\0" * 2 + b"\0\0\xff" * 2) for _ in range(3))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 3, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def row(cells, style="ro1"):
    return '<table:table-row table:style-name="%s">%s</table:table-row>\n' % (style, "".join(cells))


def main():
    out = [HEAD]
    out.append('<table:table table:name="Values">\n')
    out.append('<table:table-column table:style-name="co1"/><table:table-column table:style-name="co2" table:number-columns-repeated="2"/>\n')
    out.append(row([cell("s", "Code", "ce1"), cell("s", "Value", "ce1"), cell("s", "Text", "ce1")], "ro2"))
    for i in range(1, 60):
        text = "\u00dcbertemperatur \u20ac %d" % i if i % 4 else "\u65e5\u672c\u8a9e \u0416 %d" % i
        out.append(row([cell("s", "P%d.%02d" % (i // 10, i % 10)),
                        cell("f", i * 1.25 - 7 if i % 3 else i * 1000.0, "ce5" if i % 2 else None),
                        cell("s", text, "ce2")]))
    out.append(row([cell("b", True), cell("b", False), cell("p", 0.125, "ce3")]))
    out.append(row([cell("d", "2020-02-29", "ce4"), cell("d", "1999-12-31", "ce4"), cell("f", -123456789.125)]))
    out.append(row([cell("s", "L" + "x" * 9000 + "end"), cell("s", "y" * 300), cell("f", 2.0 ** 40)]))
    merged = ('<table:table-cell table:style-name="ce1" office:value-type="string" table:number-columns-spanned="2" '
              'table:number-rows-spanned="2"><text:p>merged</text:p></table:table-cell><table:covered-table-cell/>')
    out.append('<table:table-row table:style-name="ro1">%s%s</table:table-row>\n' % (
        merged, cell("s", "noted", None, "") .replace("<text:p>noted", "<office:annotation><text:p>a comment</text:p></office:annotation><text:p>noted")))
    out.append('<table:table-row table:style-name="ro1"><table:covered-table-cell table:number-columns-repeated="2"/>%s</table:table-row>\n' % cell("f", 0.5))
    # Formulas: one repeated down five rows (a shared formula), an array formula, errors,
    # text and boolean results, another sheet and a defined name.
    for i in range(5):
        out.append(row([cell("f", float(10 + i)), formula("[.A%d]*2+[.$A$%d]" % (66 + i, 66))]))
    out.append(row([formula("[.A66:.A68]*10", ' table:number-matrix-columns-spanned="1" table:number-matrix-rows-spanned="3"'),
                    formula("1/0"), formula('"ab"&"cd"')]))
    out.append(row([cell("f", 0.0), formula("1<2"), formula("SUM([$Many.$C$1:.$C$10])")]))
    out.append(row([cell("f", 0.0), formula("SUM(Total)"), formula("ROUND(PI();4)")]))
    picture = base64.b64encode(png()).decode("ascii")
    out.append(row([cell("s", "picture"), '<table:table-cell><draw:frame draw:z-index="0" draw:name="P1" '
                    'svg:width="1cm" svg:height="0.75cm" svg:x="0.1cm" svg:y="0.1cm"><draw:image>'
                    '<office:binary-data>%s</office:binary-data></draw:image></draw:frame></table:table-cell>' % picture]))
    out.append('<table:named-expressions><table:named-range table:name="Local" table:base-cell-address="$Values.$A$1" '
               'table:cell-range-address="$Values.$C$2:.$C$9"/></table:named-expressions>\n')
    out.append("</table:table>\n")
    out.append('<table:table table:name="Many">\n<table:table-column table:number-columns-repeated="3"/>\n')
    for r in range(400):
        out.append(row([cell("s", "distinct text number %d" % r), cell("f", r / 7.0), cell("f", float(r))]))
    out.append("</table:table>\n")
    out.append('<table:named-expressions><table:named-range table:name="Total" table:base-cell-address="$Values.$A$1" '
               'table:cell-range-address="$Values.$B$2:.$B$20"/><table:named-range table:name="Block" '
               'table:base-cell-address="$Many.$A$1" table:cell-range-address="$Many.$A$1:.$C$10"/></table:named-expressions>\n')
    out.append("</office:spreadsheet></office:body></office:document>\n")
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write("".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
