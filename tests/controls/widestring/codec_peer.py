"""Python's own codecs as the independent side of the wide-string tests.

utf7-encode / utf7-decode: each line of stdin is hex (UTF-16LE text, or UTF-7 bytes); each
output line is the hex of the other side, or ERR when Python's strict codec refuses it.
table CP: Python's mapping of code page CP: lines "B <hex bytes> <hex UTF-16LE or ERR>" for
every byte (one-byte pages) or every lead/trail byte pair (two-byte pages), and
"C <hex UTF-16LE> <hex bytes or ERR>" for every character of the Basic Multilingual Plane.
"""
import sys


def units(text):
    return text.encode("utf-16-le", "surrogatepass").hex()


def main():
    mode = sys.argv[1]
    out = []
    if mode == "utf7-encode":
        for line in sys.stdin:
            text = bytes.fromhex(line.strip()).decode("utf-16-le", "surrogatepass")
            try:
                out.append(text.encode("utf-7").hex())
            except UnicodeError:
                out.append("ERR")
    elif mode == "utf7-decode":
        for line in sys.stdin:
            try:
                out.append(units(bytes.fromhex(line.strip()).decode("utf-7")))
            except UnicodeError:
                out.append("ERR")
    elif mode == "table":
        cp = int(sys.argv[2])
        name = "latin-1" if cp == 28591 else "cp%d" % cp
        two_byte = cp in (932, 936, 949, 950)
        inputs = [bytes([b]) for b in range(256)]
        if two_byte:
            inputs += [bytes([a, b]) for a in range(0x81, 0xFF) for b in range(0x40, 0xFF)]
        for raw in inputs:
            try:
                text = raw.decode(name)
                out.append("B %s %s" % (raw.hex(), units(text) if text else "ERR"))
            except UnicodeError:
                out.append("B %s ERR" % raw.hex())
        for c in range(0x80, 0x10000):
            if 0xD800 <= c < 0xE000:
                continue
            try:
                out.append("C %s %s" % (units(chr(c)), chr(c).encode(name).hex()))
            except UnicodeError:
                out.append("C %s ERR" % units(chr(c)))
    sys.stdout.write("\n".join(out) + "\n")


main()
