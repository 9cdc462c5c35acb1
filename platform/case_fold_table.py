#!/usr/bin/python3
"""Prints the folding runs of platform/case_fold.cpp from python3's Unicode database.

usage: /usr/bin/python3 platform/case_fold_table.py > runs.inc
"""
import sys
# classes of simple case mappings over the BMP
parent = list(range(0x10000))
def find(x):
    while parent[x] != x:
        parent[x] = parent[parent[x]]; x = parent[x]
    return x
def union(a, b):
    a, b = find(a), find(b)
    if a != b: parent[max(a,b)] = min(a,b)
skip = {0x130, 0x131}
for c in range(0x10000):
    if 0xD800 <= c < 0xE000 or c in skip: continue
    ch = chr(c)
    for m in (ch.lower(), ch.upper()):
        if len(m) == 1 and ord(m) < 0x10000 and ord(m) not in skip and ord(m) != c:
            union(c, ord(m))
classes = {}
for c in range(0x10000):
    classes.setdefault(find(c), []).append(c)
rep = {}
for members in classes.values():
    if len(members) == 1: continue
    uppers = [m for m in members if not (len(chr(m).upper()) == 1 and chr(m).upper() != chr(m))]
    r = min(uppers) if uppers else min(members)
    for m in members:
        if m != r: rep[m] = r
# ranges: (first, last, stride, delta)
items = sorted(rep.items())
ranges = []
for c, r in items:
    d = r - c
    if ranges:
        f, l, s, dd = ranges[-1]
        if dd == d and ((s in (0, 1) and c == l + 1) or (s in (0, 2) and c == l + 2)):
            ranges[-1] = (f, c, c - l if s == 0 else s, d); continue
    ranges.append((c, c, 0, d))

out = []
for f, l, s, d in ranges:
    out.append("    {0x%04X, 0x%04X, %d, %d}," % (f, l, max(s, 1), d))
print("\n".join(out))
