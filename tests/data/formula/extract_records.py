#!/usr/bin/python3
"""Lists the formula-related BIFF records of an .xls file, one per line:
    <record id, 4 hex digits> <sheet substream number, 0 = globals> <record body in hex>
Records: FORMULA, SHRFMLA, ARRAY, NAME, SUPBOOK, EXTERNNAME, EXTERNSHEET, EXTERNCOUNT, BOUNDSHEET, BOF.
Usage: extract_records.py file.xls > file.records"""
import struct
import sys

import olefile

KEEP = {0x0006, 0x0406, 0x04BC, 0x0221, 0x0018, 0x01AE, 0x0023, 0x0017, 0x0016, 0x0085, 0x0809}


def main(path):
    ole = olefile.OleFileIO(path)
    name = 'Workbook' if ole.exists('Workbook') else 'Book'
    data = ole.openstream(name).read()
    pos, sheet = 0, -1
    while pos + 4 <= len(data):
        rid, size = struct.unpack_from('<HH', data, pos)
        body = data[pos + 4:pos + 4 + size]
        pos += 4 + size
        if rid == 0x0809:
            sheet += 1
        if rid in KEEP:
            print('%04X %d %s' % (rid, sheet, body.hex()))


if __name__ == '__main__':
    main(sys.argv[1])
