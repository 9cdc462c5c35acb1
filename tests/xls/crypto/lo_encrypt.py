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
import sys

import msoffcrypto
import uno

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import office, prop  # noqa: E402

PASSWORDS = ["kestravel", "Pa55-Wörd!", "x", "123456789012345"]


def fill(sheet, rows, seed):
    # Texts, numbers and a formula, enough for the workbook stream to span many RC4 blocks.
    for r in range(rows):
        sheet.getCellByPosition(0, r).setString("row %d text %s" % (r, "ab" * ((r * 7 + seed) % 40)))
        sheet.getCellByPosition(1, r).setValue(r * 1.25 + seed)
        sheet.getCellByPosition(2, r).setFormula("=B%d*2" % (r + 1))


def main():
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    problems = []
    try:
        with office("crypto") as (_, desktop):
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
                    encrypted = msoffcrypto.OfficeFile(src)
                    if not encrypted.is_encrypted():
                        problems.append("%s: not encrypted" % name)
                        continue
                    encrypted.load_key(password=password if password is not None else "VelvetSweatshop")
                    encrypted.decrypt(dst)
    except Exception as e:  # noqa: BLE001 - every failure is reported to the test
        problems.append("LibreOffice/msoffcrypto: %r" % e)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
