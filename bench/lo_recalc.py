#!/usr/bin/python3
"""Seconds LibreOffice (headless, private profile) takes to recalculate each given workbook.

usage: lo_recalc.py FILE.xls...
Starts one LibreOffice, loads each file hidden and times doc.calculateAll() alone, so that
neither the start-up nor the loading is counted. Prints one line per file: seconds, or -1
when the file could not be loaded.
"""
import os
import sys
import time

import uno

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from lo_headless import office, prop  # noqa: E402


def main():
    with office("bench") as (_, desktop):
        for path in sys.argv[1:]:
            try:
                doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                                   (prop("Hidden", True),))
                start = time.perf_counter()
                doc.calculateAll()
                print("%.6f" % (time.perf_counter() - start), flush=True)
                doc.close(True)
            except Exception:  # noqa: BLE001 - reported as -1
                print("-1", flush=True)


if __name__ == "__main__":
    main()
