"""Workbooks built record by record, as the format's own program lays them out, for the cases
that no program here writes (the Windows and Macintosh versions of the format's program):
BIFF8 records, Escher records of drawings, and a compound file to hold the workbook stream
beside further storages (embedded objects).

The compound file is version 3 (512-byte sectors): streams under 4096 bytes go to the mini
stream, the others to regular sectors; each storage's children form a balanced tree in the
order of the format (by name length, then by upper-case name).
"""
import struct
import zlib

# ---- BIFF8 records


def record(rid, data=b""):
    """One record; data past 8224 bytes goes on in CONTINUE records."""
    out = b""
    first = True
    while first or data:
        piece, data = data[:8224], data[8224:]
        out += struct.pack("<HH", rid if first else 0x003C, len(piece)) + piece
        first = False
    return out


def bof(kind):
    return record(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0x0DBB, 0x07CC, 0x000080C9, 0x00000206))


def eof():
    return record(0x000A)


def short_string(text):
    """1-byte length, option byte, 8-bit characters."""
    raw = text.encode("latin-1")
    return struct.pack("<BB", len(raw), 0) + raw


def unicode_string(text):
    """2-byte length, option byte, 8-bit characters."""
    raw = text.encode("latin-1")
    return struct.pack("<HB", len(raw), 0) + raw


def font():
    return record(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + short_string("Arial"))


def xf(style):
    # Font 0, format 0; a style XF (parent 0xFFF) or a cell XF of style 0; left-aligned bottom.
    protection = 0xFFF5 if style else 0x0001
    used = 0xF4 if style else 0x00
    return record(0x00E0, struct.pack("<HHHBBBBIIH", 0, 0, protection, 0x20, 0, 0, used, 0, 0, 0x20C0))


def globals_records(sheet_names, strings, drawing_group=b""):
    """The workbook globals with BOUNDSHEET placeholders; returns (bytes, offsets of the
    BOUNDSHEET position fields)."""
    out = bof(0x0005)
    out += record(0x0042, struct.pack("<H", 1200))
    out += record(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0x4000, 0x2000, 0x38, 0, 0, 1, 0x258))
    for _ in range(5):
        out += font()
    for i in range(16):
        out += xf(i < 15)
    out += record(0x0293, struct.pack("<HBB", 0x8000, 0, 0xFF))
    positions = []
    for name in sheet_names:
        positions.append(len(out) + 4)
        out += record(0x0085, struct.pack("<IBB", 0, 0, 0) + short_string(name))
    out += sst(strings)
    out += drawing_group
    out += eof()
    return out, positions


def sst(strings):
    """SST with CONTINUE records as the format's program splits it: a string's characters go on
    in the next record behind an option byte of their own; a string's header never splits."""
    records = []
    current = struct.pack("<II", len(strings), len(strings))
    limit = 8224
    for text in strings:
        raw = text.encode("latin-1")
        if len(current) + 3 > limit:
            records.append(current)
            current = b""
        current += struct.pack("<HB", len(raw), 0)
        while raw:
            room = limit - len(current)
            if room <= 0:
                records.append(current)
                current = b"\x00"
                continue
            current += raw[:room]
            raw = raw[room:]
    records.append(current)
    out = struct.pack("<HH", 0x00FC, len(records[0])) + records[0]
    for r in records[1:]:
        out += struct.pack("<HH", 0x003C, len(r)) + r
    return out


def sheet_records(cells, drawing=b""):
    """A worksheet substream: cells is a list of (row, column, value), numbers as NUMBER and
    strings as LABELSST (value is then the SST index as ("sst", index))."""
    rows = [c[0] for c in cells] or [0]
    cols = [c[1] for c in cells] or [0]
    out = bof(0x0010)
    out += record(0x0200, struct.pack("<IIHHH", min(rows), max(rows) + 1, min(cols), max(cols) + 1, 0))
    out += record(0x023E, struct.pack("<HHHHHHHI", 0x06B6, 0, 0, 64, 0, 0, 0, 0))
    for row, col, value in cells:
        if isinstance(value, tuple):
            out += record(0x00FD, struct.pack("<HHHI", row, col, 15, value[1]))
        else:
            out += record(0x0203, struct.pack("<HHHd", row, col, 15, value))
    out += drawing
    out += eof()
    return out


def workbook_stream(sheets, strings, drawing_group=b""):
    """sheets: list of (name, substream bytes)."""
    head, positions = globals_records([n for n, _ in sheets], strings, drawing_group)
    stream = bytearray(head)
    for (name, body), at in zip(sheets, positions):
        struct.pack_into("<I", stream, at, len(stream))
        stream += body
    return bytes(stream)


# ---- Escher records


def escher(version, instance, rtype, data=b""):
    return struct.pack("<HHI", version | instance << 4, rtype, len(data)) + data


def opt(properties):
    """properties: list of (id word, value), in the order given."""
    body = b"".join(struct.pack("<HI", pid, value) for pid, value in properties)
    return escher(3, len(properties), 0xF00B, body)


def client_anchor(col1, row1, col2, row2, flag=2):
    return escher(0, 0, 0xF010, struct.pack("<9H", flag, col1, 0, row1, 0, col2, 0, row2, 0))


def shape(shape_type, shape_id, properties, anchor, flags=0x0A00):
    sp = escher(2, shape_type, 0xF00A, struct.pack("<II", shape_id, flags))
    return escher(15, 0, 0xF004, sp + opt(properties) + anchor + escher(0, 0, 0xF011))


def sheet_drawing(drawing_id, shapes_and_objs):
    """The sheet's MSODRAWING and OBJ records as the format's program writes them: the first
    MSODRAWING holds the DgContainer and SpgrContainer headers, the group shape and the first
    shape; every further shape has an MSODRAWING of its own; each shape's OBJ follows it.
    shapes_and_objs: list of (SpContainer bytes, OBJ body)."""
    group = escher(15, 0, 0xF004, escher(1, 0, 0xF009, b"\0" * 16) +
                   escher(2, 0, 0xF00A, struct.pack("<II", drawing_id * 1024, 5)))
    spgr_length = len(group) + sum(len(s) for s, _ in shapes_and_objs)
    last_id = drawing_id * 1024 + len(shapes_and_objs)
    dg = escher(0, drawing_id, 0xF008, struct.pack("<II", len(shapes_and_objs) + 1, last_id))
    dg_length = len(dg) + 8 + spgr_length
    head = struct.pack("<HHI", 15, 0xF002, dg_length) + dg + struct.pack("<HHI", 15, 0xF003, spgr_length) + group
    out = b""
    for i, (sp, obj) in enumerate(shapes_and_objs):
        out += record(0x00EC, (head if i == 0 else b"") + sp)
        out += record(0x005D, obj)
    return out


def bse(win_type, mac_type, uid, blip, references=1, delay=0, size=None):
    body = struct.pack("<BB", win_type, mac_type) + uid + struct.pack(
        "<HIIIBBBB", 0xFF, len(blip) if size is None else size, references, delay, 0, 0, 0, 0)
    return escher(2, win_type, 0xF007, body + blip)


def metafile_blip(rtype, signature, uid, data, bounds=(0, 0, 100, 50)):
    """A metafile (EMF, WMF, PICT) blip, compressed with deflate as the format's program stores it."""
    packed = zlib.compress(data)
    header = struct.pack("<I4iIIIBB", len(data), *bounds, 952500, 476250, len(packed), 0x00, 0xFE)
    return escher(0, signature, rtype, uid + header + packed)


def bitmap_blip(rtype, signature, uid, data):
    return escher(0, signature, rtype, uid + b"\xff" + data)


def drawing_group(entries, clusters):
    """MSODRAWINGGROUP with its CONTINUE records: Dgg with (drawing id, shapes used) clusters,
    the picture store and the default properties."""
    shapes = sum(c[1] for c in clusters)
    dgg = escher(0, 0, 0xF006, struct.pack("<IIII", max(c[0] for c in clusters) * 1024 + 1024, len(clusters) + 1,
                                           shapes, len(clusters)) +
                 b"".join(struct.pack("<II", d, n + 1) for d, n in clusters))
    store = escher(15, len(entries), 0xF001, b"".join(entries)) if entries else b""
    defaults = opt([(0x00BF, 0x00080008), (0x0181, 0x08000041), (0x01C0, 0x08000040)])
    split = escher(0, 4, 0xF11E, struct.pack("<4I", 0x0800000D, 0x0800000C, 0x08000017, 0x100000F7))
    return record(0x00EB, escher(15, 0, 0xF000, dgg + store + defaults + split))


def ftcmo(object_type, object_id, flags):
    return struct.pack("<HHHHH", 0x15, 0x12, object_type, object_id, flags) + b"\0" * 12


def ftend():
    return b"\0\0\0\0"


# ---- compound file


class Storage:
    def __init__(self, name, clsid=b"\0" * 16):
        self.name, self.clsid, self.children = name, clsid, []

    def add(self, item):
        self.children.append(item)
        return item


class Stream:
    def __init__(self, name, data):
        self.name, self.data = name, data


def _key(item):
    return (len(item.name), item.name.upper())


def compound_file(root):
    """The bytes of a compound file whose root storage is root (its name is ignored)."""
    entries = []  # [item, left, right, child]

    def add(item):
        entries.append([item, -1, -1, -1])
        return len(entries) - 1

    def tree(children):
        if not children:
            return -1
        mid = len(children) // 2
        node = add(children[mid])
        entries[node][1] = tree(children[:mid])
        entries[node][2] = tree(children[mid + 1:])
        if isinstance(children[mid], Storage):
            entries[node][3] = tree(sorted(children[mid].children, key=_key))
        return node

    add(root)
    entries[0][3] = tree(sorted(root.children, key=_key))

    mini, big = bytearray(), []  # big: (entry index, data)
    starts = {}
    for i, (item, _, _, _) in enumerate(entries):
        if isinstance(item, Stream):
            if len(item.data) < 4096:
                starts[i] = len(mini) // 64
                mini += item.data + b"\0" * (-len(item.data) % 64)
            else:
                big.append((i, item.data))
    sectors = []  # lists of sector contents, as chains

    def chain(data):
        first = len(sectors)
        padded = data + b"\0" * (-len(data) % 512)
        for at in range(0, len(padded), 512):
            sectors.append(padded[at:at + 512])
        return first, len(padded) // 512

    fat_links = {}

    def link(first, count):
        for s in range(first, first + count):
            fat_links[s] = s + 1 if s + 1 < first + count else 0xFFFFFFFE

    for i, data in big:
        first, count = chain(data)
        link(first, count)
        starts[i] = first
    mini_start, mini_count = (chain(bytes(mini)) if mini else (0xFFFFFFFE, 0))
    if mini:
        link(mini_start, mini_count)
    minifat = []
    for i, (item, _, _, _) in enumerate(entries):
        if isinstance(item, Stream) and len(item.data) < 4096 and item.data:
            n = (len(item.data) + 63) // 64
            for k in range(n):
                minifat.append(starts[i] + k + 1 if k + 1 < n else 0xFFFFFFFE)
    minifat_start, minifat_count = 0xFFFFFFFE, 0
    if minifat:
        raw = b"".join(struct.pack("<I", v) for v in minifat)
        minifat_start, minifat_count = chain(raw + b"\xff" * (-len(raw) % 512))
        link(minifat_start, minifat_count)

    directory = bytearray()
    for i, (item, left, right, child) in enumerate(entries):
        name = item.name.encode("utf-16-le") + b"\0\0" if i else "Root Entry".encode("utf-16-le") + b"\0\0"
        kind = 5 if i == 0 else (1 if isinstance(item, Storage) else 2)
        if i == 0:
            start, size = (mini_start if mini else 0xFFFFFFFE), len(mini)
        elif isinstance(item, Stream):
            start, size = (starts[i] if item.data else 0xFFFFFFFE), len(item.data)
        else:
            start, size = 0, 0
        clsid = item.clsid if isinstance(item, Storage) else b"\0" * 16
        directory += name.ljust(64, b"\0") + struct.pack("<HBBiii", len(name), kind, 1, left, right, child)
        directory += clsid + struct.pack("<IQQIQ", 0, 0, 0, start, size)
    directory += (b"\0" * 64 + struct.pack("<HBBiii", 0, 0, 0, -1, -1, -1) + b"\0" * 48) * (-len(entries) % 4)
    dir_start, dir_count = chain(bytes(directory))
    link(dir_start, dir_count)

    data_sectors = len(sectors)
    fat_count = 1
    while (data_sectors + fat_count) > fat_count * 128:
        fat_count += 1
    assert fat_count <= 109
    fat = [0xFFFFFFFF] * (fat_count * 128)
    for s, v in fat_links.items():
        fat[s] = v
    for k in range(fat_count):
        fat[data_sectors + k] = 0xFFFFFFFD
    fat_bytes = b"".join(struct.pack("<I", v) for v in fat)
    difat = [data_sectors + k for k in range(fat_count)] + [0xFFFFFFFF] * (109 - fat_count)
    header = bytes.fromhex("D0CF11E0A1B11AE1") + b"\0" * 16 + struct.pack(
        "<HHHHH6sIIIIIIIII", 0x003E, 3, 0xFFFE, 9, 6, b"\0" * 6, 0, fat_count, dir_start, 0, 4096,
        minifat_start, minifat_count, 0xFFFFFFFE, 0) + b"".join(struct.pack("<I", v) for v in difat)
    assert len(header) == 512
    return header + b"".join(sectors) + fat_bytes
