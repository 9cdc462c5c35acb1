#!/usr/bin/python3
"""Prints the conditional formats, validations and autofilters that LibreOffice (a .fods file)
or gnumeric (a .gnumeric file) read from a workbook, one line each, sorted.

usage: rules_peer.py lo FILE.fods | rules_peer.py gnumeric FILE.gnumeric
"""
import gzip
import sys
import xml.etree.ElementTree as ET

NS = {
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "calcext": "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0",
    "gnm": "http://www.gnumeric.org/v10.dtd",
}


def q(prefix, name):
    return "{%s}%s" % (NS[prefix], name)


def col_name(c):
    s = ""
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


def paragraphs(el):
    return "/".join("".join(p.itertext()) for p in el.findall("text:p", NS)) if el is not None else ""


def libreoffice(path):
    root = ET.parse(path).getroot()
    out = []
    for fmt in root.iter(q("calcext", "conditional-format")):
        target = fmt.get(q("calcext", "target-range-address"))
        for cond in fmt.findall("calcext:condition", NS):
            out.append("cf %s %s" % (target, cond.get(q("calcext", "value"))))
    cells = {}
    for table in root.iter(q("table", "table")):
        row = 0
        for tr in table.iter(q("table", "table-row")):
            rrep = int(tr.get(q("table", "number-rows-repeated"), "1"))
            col = 0
            for tc in tr:
                if tc.tag not in (q("table", "table-cell"), q("table", "covered-table-cell")):
                    continue
                crep = int(tc.get(q("table", "number-columns-repeated"), "1"))
                name = tc.get(q("table", "content-validation-name"))
                if name and rrep * crep < 100000:
                    for r in range(row, row + rrep):
                        for c in range(col, col + crep):
                            cells.setdefault(name, []).append((r, c))
                col += crep
            row += rrep
    for v in root.iter(q("table", "content-validation")):
        name = v.get(q("table", "name"))
        where = cells.get(name, [])
        area = "-"
        if where:
            rows = [r for r, _ in where]
            cols = [c for _, c in where]
            area = "%s%d:%s%d(%d)" % (col_name(min(cols)), min(rows) + 1, col_name(max(cols)), max(rows) + 1, len(where))
        help_ = v.find("table:help-message", NS)
        err = v.find("table:error-message", NS)
        out.append("dv %s %s list=%s help=%s:%s error=%s:%s:%s" % (
            area, v.get(q("table", "condition"), "-"), v.get(q("table", "display-list"), "-"),
            help_.get(q("table", "title"), "") if help_ is not None else "", paragraphs(help_),
            err.get(q("table", "message-type"), "") if err is not None else "",
            err.get(q("table", "title"), "") if err is not None else "", paragraphs(err)))
    for db in root.iter(q("table", "database-range")):
        conds = []
        for c in db.iter(q("table", "filter-condition")):
            conds.append("%s:%s:%s:%s" % (c.get(q("table", "field-number")), c.get(q("table", "operator")),
                                          c.get(q("table", "value")), c.get(q("table", "data-type"), "text")))
        out.append("filter %s buttons=%s %s" % (db.get(q("table", "target-range-address")),
                                                db.get(q("table", "display-filter-buttons"), "false"),
                                                " ".join(conds)))
    return out


def gnumeric(path):
    with gzip.open(path) as f:
        root = ET.parse(f).getroot()
    out = []
    for region in root.iter(q("gnm", "StyleRegion")):
        area = "%s%s:%s%s" % (col_name(int(region.get("startCol"))), int(region.get("startRow")) + 1,
                              col_name(int(region.get("endCol"))), int(region.get("endRow")) + 1)
        style = region.find("gnm:Style", NS)
        for cond in style.findall("gnm:Condition", NS):
            exprs = [e.text for e in (cond.find("gnm:Expression0", NS), cond.find("gnm:Expression1", NS)) if e is not None]
            out.append("cf %s op=%s %s" % (area, cond.get("Operator"), " ; ".join(exprs)))
        for v in style.findall("gnm:Validation", NS):
            exprs = [e.text for e in (v.find("gnm:Expression0", NS), v.find("gnm:Expression1", NS)) if e is not None]
            out.append("dv %s %s %s op=%s title=%s message=%s %s" % (
                area, v.get("Type"), v.get("Style"), v.get("Operator", "-"), v.get("Title", ""), v.get("Message", ""),
                " ; ".join(exprs)))
    for flt in root.iter(q("gnm", "Filter")):
        fields = []
        for fld in flt.findall("gnm:Field", NS):
            fields.append(" ".join("%s=%s" % (k, fld.get(k)) for k in sorted(fld.keys())))
        out.append("filter %s %s" % (flt.get("Area"), " | ".join(fields)))
    return out


if __name__ == "__main__":
    lines = libreoffice(sys.argv[2]) if sys.argv[1] == "lo" else gnumeric(sys.argv[2])
    print("\n".join(sorted(lines)))
