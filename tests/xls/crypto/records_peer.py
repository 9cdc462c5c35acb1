#!/usr/bin/python3
"""Prints the records of a workbook's "Workbook" or "Book" stream as olefile reads it: one line
per record, "<id> <body as hex>" ("-" for an empty body), up to the zero padding.
usage: records_peer.py FILE"""
import struct
import sys

import olefile

ole = olefile.OleFileIO(sys.argv[1])
name = next(n for n in ("Workbook", "Book") if ole.exists(n))
data = ole.openstream(name).read()
at = 0
while at + 4 <= len(data):
    rid, length = struct.unpack_from("<HH", data, at)
    if rid == 0 and length == 0:
        break
    body = data[at + 4:at + 4 + length]
    print(rid, body.hex() or "-")
    at += 4 + length
