#!/usr/bin/python3
"""Reads a compound file with python3-olefile in its strictest mode and dumps what it sees.

usage: cfb_peer.py FILE OUTDIR
Prints one line per stream, "<n>\t<size>\t<path>", where <path> joins the storage names with
"/", and writes the stream's bytes to OUTDIR/<n>.bin. Then "root_size <n>" (the mini stream's
size) and "difat_sectors <n>". Exits with 2 when olefile reports any parsing issue.
"""
import os
import struct
import sys

import olefile


def main():
    path, outdir = sys.argv[1], sys.argv[2]
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_UNSURE)
    if ole.parsing_issues:
        print("parsing issues:", ole.parsing_issues)
        return 2
    out = sys.stdout.buffer
    for n, parts in enumerate(sorted(ole.listdir(streams=True, storages=False))):
        name = "/".join(parts)
        data = ole.openstream(parts).read()
        if len(data) != ole.get_size(name):
            print("short read of", name)
            return 2
        with open(os.path.join(outdir, "%d.bin" % n), "wb") as f:
            f.write(data)
        out.write(b"%d\t%d\t" % (n, len(data)) + name.encode("utf-8") + b"\n")
    out.write(b"root_size %d\n" % ole.root.size)
    with open(path, "rb") as f:
        header = f.read(512)
    out.write(b"difat_sectors %d\n" % struct.unpack_from("<I", header, 72)[0])
    ole.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
