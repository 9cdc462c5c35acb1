#!/usr/bin/python3
"""Makes the golden files of the formula tests from corpus.txt:
  corpus.fods        the workbook LibreOffice reads (Sheet1 holds the formulas in column H and a
                     block of equal relative formulas in H60:H64, which LibreOffice writes as a
                     shared formula; Sheet2, 'My Sheet' and the names MyName and MyRange exist)
  corpus-biff8.xls   LibreOffice's "MS Excel 97" export, corpus-biff8.records its records
  corpus-biff5.xls   gnumeric's ssconvert of corpus-biff8.xls to BIFF5 (LibreOffice no longer
                     writes BIFF5), corpus-biff5.records its records
Run with LibreOffice (libreoffice-calc-nogui) and gnumeric installed: ./make_golden.py"""
import os
import shutil
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def esc(s):
    return s.replace('&', '&amp;').replace('"', '&quot;').replace('<', '&lt;').replace('>', '&gt;')


def cell_value(v):
    return '<table:table-cell office:value-type="float" office:value="%d"/>' % v


def main():
    corpus = []
    for line in open(os.path.join(HERE, 'corpus.txt'), encoding='utf-8'):
        line = line.rstrip('\n')
        if not line or line.startswith('# '):
            continue
        ours, odf = line.split(' => ', 1)
        corpus.append((ours, odf))
    rows = []
    for i in range(70):
        cells = [cell_value(i + 1), cell_value(2 * i + 1), cell_value(3), cell_value(4)]
        cells.append('<table:table-cell table:number-columns-repeated="3"/>')
        if i < len(corpus):
            cells.append('<table:table-cell table:formula="%s"/>' % esc('of:=' + corpus[i][1]))
        elif 59 <= i <= 63:
            # Equal relative formulas: LibreOffice writes them as one shared formula.
            cells.append('<table:table-cell table:formula="%s"/>' %
                         esc('of:=[.A%d]*2+[.$B$1]' % (i + 1)))
        rows.append('<table:table-row>%s</table:table-row>' % ''.join(cells))
    other = '<table:table-row>%s</table:table-row>' % ''.join(cell_value(v) for v in (5, 6))
    fods = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
<table:table table:name="Sheet1">
%s
</table:table>
<table:table table:name="Sheet2">%s</table:table>
<table:table table:name="My Sheet">%s%s</table:table>
<table:named-expressions>
<table:named-range table:name="MyName" table:base-cell-address="$Sheet1.$A$1" table:cell-range-address="$Sheet1.$A$1"/>
<table:named-range table:name="MyRange" table:base-cell-address="$Sheet1.$A$1" table:cell-range-address="$Sheet1.$A$1:.$B$3"/>
</table:named-expressions>
</office:spreadsheet></office:body></office:document>
''' % ('\n'.join(rows), other, other, other)
    with open(os.path.join(HERE, 'corpus.fods'), 'w', encoding='utf-8') as f:
        f.write(fods)
    work = tempfile.mkdtemp()
    profile = 'file://' + os.path.join(work, 'profile')
    subprocess.run(['soffice', '-env:UserInstallation=' + profile, '--headless',
                    '--convert-to', 'xls:MS Excel 97', '--outdir', work,
                    os.path.join(HERE, 'corpus.fods')], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.move(os.path.join(work, 'corpus.xls'), os.path.join(HERE, 'corpus-biff8.xls'))
    subprocess.run(['ssconvert', '-T', 'Gnumeric_Excel:excel_biff7',
                    os.path.join(HERE, 'corpus-biff8.xls'), os.path.join(HERE, 'corpus-biff5.xls')],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for biff in ('biff8', 'biff5'):
        xls = os.path.join(HERE, 'corpus-%s.xls' % biff)
        with open(os.path.join(HERE, 'corpus-%s.records' % biff), 'w') as out:
            subprocess.run(['/usr/bin/python3', os.path.join(HERE, 'extract_records.py'), xls],
                           check=True, stdout=out)
    shutil.rmtree(work)


if __name__ == '__main__':
    main()
