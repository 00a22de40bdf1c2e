"""Builds compound files (OLE structured storage, version 3) for tests: a root with streams, laid out
plainly (every stream in whole 512-byte sectors: the header puts the mini stream's cutoff at 0),
with hooks to damage the sector table. Enough for the refusal tests; real workbooks come from
LibreOffice and xlwt. Also reads the records and sheets of a workbook stream."""
import struct

FREE, END, FATSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD
NONE = 0xFFFFFFFF


def _entry(name, kind, start=END, size=0, child=NONE, right=NONE, clsid=bytes(16), left=NONE):
    encoded = (name + "\0").encode("utf-16-le")
    return (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1) +
            struct.pack("<III", left, right, child) + clsid + bytes(4) + bytes(16) + struct.pack("<IQ", start, size))


def build(streams, damage=None):
    """streams: [(name, bytes)] or [(name, bytes, clsid)] or, for a storage, [(name, [children], clsid)],
    in one table sector
    (up to 64 KB in all); damage(fat) may change the sector table (a list of ints) before it is
    written."""
    sectors, fat, entries = [], [], [None]

    def place(data):
        start = len(fat)
        count = (len(data) + 511) // 512
        for i in range(count):
            sectors.append(data[i * 512:(i + 1) * 512].ljust(512, b"\0"))
            fat.append(start + i + 1 if i + 1 < count else END)
        return start if count else END

    def add(children):
        """The directory entries of children as a chain of right siblings; the first one's index."""
        # In the order the directory compares names: by length, then by upper case.
        children = sorted(children, key=lambda c: (len(c[0]), c[0].upper()))
        first = len(entries) if children else NONE
        slots = list(range(len(entries), len(entries) + len(children)))
        entries.extend([None] * len(children))
        for i, (slot, child) in enumerate(zip(slots, children)):
            right = slots[i + 1] if i + 1 < len(slots) else NONE
            if isinstance(child[1], list):
                entries[slot] = _entry(child[0], 1, child=add(child[1]), right=right, clsid=child[2])
            else:
                entries[slot] = _entry(child[0], 2, place(child[1]), len(child[1]), right=right,
                                       clsid=child[2] if len(child) > 2 else bytes(16))
        return first

    fat.append(FATSECT)  # sector 0 holds the table
    sectors.append(b"")
    entries[0] = _entry("Root Entry", 5, child=add(streams))
    directory = b"".join(entries)
    directory += bytes(-len(directory) % 512)
    dir_start = place(directory)
    if damage:
        damage(fat)
    fat += [FREE] * (128 - len(fat))
    sectors[0] = struct.pack("<128I", *fat[:128])
    header = (bytes.fromhex("D0CF11E0A1B11AE1") + bytes(16) + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) +
              bytes(6) + struct.pack("<IIIIIIIII", 0, 1, dir_start, 0, 0, END, 0, END, 0) +
              struct.pack("<I", 0) + struct.pack("<108I", *([FREE] * 108)))
    return header + b"".join(sectors)


def table_moved_to_the_end_and_cut(data):
    """A file of build(): its sector table moved from sector 0 to a new last sector, whose trailing
    free entries are then left out, as some writers do."""
    data = bytearray(data)
    table = bytearray(data[512:1024])
    last = len(data) // 512 - 1
    struct.pack_into("<I", table, 0, FREE)
    struct.pack_into("<I", table, 4 * last, FATSECT)
    data[512:1024] = b"\xff" * 512
    struct.pack_into("<I", data, 0x4C, last)
    return bytes(data) + table.rstrip(b"\xff")


def record(kind, body=b""):
    """One record of a 97-2003 workbook stream."""
    return struct.pack("<HH", kind, len(body)) + body


def records(stream, at=0):
    """The records from `at` to the end of the substream that begins there: [(offset, type, body)]."""
    out, depth = [], 0
    while at + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, at)
        out.append((at, kind, stream[at + 4:at + 4 + size]))
        at += 4 + size
        depth += kind == 0x0809
        if kind == 0x000A:
            depth -= 1
            if depth <= 0:
                break
    return out


def sheets(stream):
    """Each sheet's substream of a workbook stream by name, as [(type, body)] without the INDEX
    record (whose stream positions move with the sheet)."""
    out = {}
    for _, kind, body in records(stream):
        if kind == 0x0085:
            offset, count, wide = struct.unpack_from("<IxxBB", body)
            raw = body[8:8 + count * (2 if wide else 1)]
            name = raw.decode("utf-16-le" if wide else "latin-1")
            out[name] = [(k, b) for _, k, b in records(stream, offset) if k != 0x020B]
    return out


def long_directory(count):
    """A compound file (4 KB sectors) whose root holds count - 1 empty streams, each the right
    sibling of the one before: a directory chain count - 1 links long."""
    per_sector = 4096 // 128
    dir_sectors = (count + per_sector - 1) // per_sector
    fat_sectors = (dir_sectors + 1023 + 8) // 1024 + 1
    fat = [FATSECT] * fat_sectors + [fat_sectors + i + 1 for i in range(dir_sectors - 1)] + [END]
    fat += [FREE] * (fat_sectors * 1024 - len(fat))
    entries = [_entry("Root Entry", 5, child=1 if count > 1 else NONE)]
    entries += [_entry(f"s{i}", 2, right=i + 1 if i + 1 < count else NONE) for i in range(1, count)]
    directory = b"".join(entries)
    directory += bytes(-len(directory) % 4096)
    header = (bytes.fromhex("D0CF11E0A1B11AE1") + bytes(16) + struct.pack("<HHHHH", 0x3E, 4, 0xFFFE, 12, 6) +
              bytes(6) + struct.pack("<IIIIIIIII", dir_sectors, fat_sectors, fat_sectors, 0, 4096, END, 0, END, 0) +
              struct.pack("<109I", *(list(range(fat_sectors)) + [FREE] * (109 - fat_sectors))))
    return header.ljust(4096, b"\0") + struct.pack(f"<{len(fat)}I", *fat) + directory


def wide_directory(workbook, count):
    """A compound file (4 KB sectors) whose root holds the stream Workbook and count empty streams,
    the siblings in a balanced tree, as the spreadsheet application files many streams."""
    names = sorted(["Workbook"] + [f"s{i:05d}" for i in range(count)], key=lambda n: (len(n), n.upper()))
    index = {name: i + 1 for i, name in enumerate(names)}
    links = {}

    def tree(lo, hi):
        if lo >= hi:
            return NONE
        mid = (lo + hi) // 2
        links[names[mid]] = (tree(lo, mid), tree(mid + 1, hi))
        return index[names[mid]]

    top = tree(0, len(names))
    workbook = workbook.ljust(max(len(workbook), 4096), b"\0")  # in sectors of its own, not the mini stream
    per_sector = 4096 // 128
    dir_sectors = (len(names) + 1 + per_sector - 1) // per_sector
    data_sectors = (len(workbook) + 4095) // 4096
    fat_sectors = (dir_sectors + data_sectors + 1023 + 8) // 1024 + 1
    first_dir, first_data = fat_sectors, fat_sectors + dir_sectors
    fat = [FATSECT] * fat_sectors
    fat += [first_dir + i + 1 for i in range(dir_sectors - 1)] + [END]
    fat += [first_data + i + 1 for i in range(data_sectors - 1)] + [END]
    fat += [FREE] * (fat_sectors * 1024 - len(fat))
    entries = [_entry("Root Entry", 5, child=top)]
    for name in names:
        left, right = links[name]
        if name == "Workbook":
            entries.append(_entry(name, 2, first_data, len(workbook), left=left, right=right))
        else:
            entries.append(_entry(name, 2, left=left, right=right))
    directory = b"".join(entries)
    directory += bytes(-len(directory) % 4096)
    header = (bytes.fromhex("D0CF11E0A1B11AE1") + bytes(16) + struct.pack("<HHHHH", 0x3E, 4, 0xFFFE, 12, 6) +
              bytes(6) + struct.pack("<IIIIIIIII", dir_sectors, fat_sectors, first_dir, 0, 4096, END, 0, END, 0) +
              struct.pack("<109I", *(list(range(fat_sectors)) + [FREE] * (109 - fat_sectors))))
    return header.ljust(4096, b"\0") + struct.pack(f"<{len(fat)}I", *fat) + directory + workbook
