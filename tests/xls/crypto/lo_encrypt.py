#!/usr/bin/python3
"""Makes encrypted workbooks with LibreOffice (headless, private profile) and their plain twins
with msoffcrypto-tool, for the decryption tests.

usage: lo_encrypt.py OUTDIR
Writes into OUTDIR:
  rc4_<n>.xls      a workbook stored with the "MS Excel 97" filter and the password in
                   OUTDIR/rc4_<n>.password; its records cross many 1024-byte blocks
  rc4_<n>_plain.xls  the same file decrypted by msoffcrypto-tool
  protected.xls    a workbook whose structure is protected with no password (LibreOffice
                   encrypts it with the default password), and protected_plain.xls
Exits 0 when every file was made; prints what failed otherwise.
"""
import os
import subprocess
import sys
import tempfile
import time

import msoffcrypto
import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

PASSWORDS = ["kestravel", "Pa55-Wörd!", "x", "123456789012345"]


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


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


def stop_leftovers(pipe):
    # soffice may hand the work to a child that outlives it: stop the processes that carry our
    # own pipe name, by their ids.
    deadline = time.time() + 20
    while True:
        left = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    if ("name=%s;" % pipe).encode() in f.read() and int(pid) != os.getpid():
                        left.append(int(pid))
            except OSError:
                pass
        if not left:
            return
        if time.time() > deadline:
            for pid in left:
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass
            return
        time.sleep(0.5)


def fill(sheet, rows, seed):
    # Texts, numbers and a formula, enough for the workbook stream to span many RC4 blocks.
    for r in range(rows):
        sheet.getCellByPosition(0, r).setString("row %d text %s" % (r, "ab" * ((r * 7 + seed) % 40)))
        sheet.getCellByPosition(1, r).setValue(r * 1.25 + seed)
        sheet.getCellByPosition(2, r).setFormula("=B%d*2" % (r + 1))


def main():
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    profile = tempfile.mkdtemp(prefix="kv-lo-profile-")
    pipe = "kvcrypto%d" % os.getpid()
    proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "--nologo",
                             "-env:UserInstallation=file://" + profile,
                             "--accept=pipe,name=%s;urp;" % pipe],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    problems = []
    try:
        ctx = connect(pipe, proc)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        jobs = [("rc4_%d" % i, pw) for i, pw in enumerate(PASSWORDS)] + [("protected", None)]
        for i, (name, password) in enumerate(jobs):
            doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
            sheets = doc.getSheets()
            fill(sheets.getByIndex(0), 150 + 40 * i, i)
            sheets.insertNewByName("Second", 1)
            fill(sheets.getByIndex(1), 20, i + 3)
            args = [prop("FilterName", "MS Excel 97"), prop("Overwrite", True)]
            if password is None:
                doc.protect("")
            else:
                args.append(prop("Password", password))
                with open(os.path.join(out, name + ".password"), "w", encoding="utf-8") as f:
                    f.write(password)
            path = os.path.join(out, name + ".xls")
            doc.storeToURL(uno.systemPathToFileUrl(path), tuple(args))
            doc.close(True)
            with open(path, "rb") as src, open(os.path.join(out, name + "_plain.xls"), "wb") as dst:
                office = msoffcrypto.OfficeFile(src)
                if not office.is_encrypted():
                    problems.append("%s: not encrypted" % name)
                    continue
                office.load_key(password=password if password is not None else "VelvetSweatshop")
                office.decrypt(dst)
        try:
            desktop.terminate()
        except Exception:
            pass
    except Exception as e:  # noqa: BLE001 - every failure is reported to the test
        problems.append("LibreOffice/msoffcrypto: %r" % e)
    finally:
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        stop_leftovers(pipe)
        subprocess.run(["rm", "-rf", profile])
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
