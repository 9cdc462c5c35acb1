#!/usr/bin/python3
"""Seconds LibreOffice (headless, private profile) takes to recalculate each given workbook.

usage: lo_recalc.py FILE.xls...
Starts one LibreOffice, loads each file hidden and times doc.calculateAll() alone, so that
neither the start-up nor the loading is counted. Prints one line per file: seconds, or -1
when the file could not be loaded.
"""
import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException


def connect(pipe, proc):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.time() + 120
    while True:
        try:
            return resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        except NoConnectException:
            if proc.poll() is not None or time.time() > deadline:
                raise
            time.sleep(0.3)


def main():
    profile = tempfile.mkdtemp(prefix="kv-lo-bench-")
    pipe = "kvbench%d" % os.getpid()
    proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "--nologo",
                             "-env:UserInstallation=file://" + profile, "--accept=pipe,name=%s;urp;" % pipe],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        ctx = connect(pipe, proc)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        hidden = PropertyValue()
        hidden.Name, hidden.Value = "Hidden", True
        for path in sys.argv[1:]:
            try:
                doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                                   (hidden,))
                start = time.perf_counter()
                doc.calculateAll()
                print("%.6f" % (time.perf_counter() - start), flush=True)
                doc.close(True)
            except Exception:  # noqa: BLE001 - reported as -1
                print("-1", flush=True)
        try:
            desktop.terminate()
        except Exception:  # noqa: BLE001 - the bridge goes down with the office
            pass
    finally:
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        subprocess.run(["rm", "-rf", profile])


if __name__ == "__main__":
    main()
