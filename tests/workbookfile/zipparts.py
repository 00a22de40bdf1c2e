"""Zip-level helpers shared by the engine's test scripts: the stored bytes of every entry, and
copies of a package with entries changed, added or left out."""
import re
import zipfile


def raw_entries(path):
    """Name -> (compression, CRC, stored bytes) of every entry."""
    out = {}
    with open(path, "rb") as f:
        blob = f.read()
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            off = info.header_offset
            name_len = int.from_bytes(blob[off + 26:off + 28], "little")
            extra_len = int.from_bytes(blob[off + 28:off + 30], "little")
            start = off + 30 + name_len + extra_len
            out[info.filename] = (info.compress_type, info.CRC, blob[start:start + info.compress_size])
    return out


def rewrite(src, dst, replace=None, drop=(), add=()):
    """Copies a package, passing each entry's bytes through replace(name, bytes) (or, for a dict,
    those of the names it holds through replace[name](bytes)), leaving out the names in drop and
    adding the (name, bytes) pairs in add."""
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            if item.filename in drop:
                continue
            body = zin.read(item.filename)
            if callable(replace):
                body = replace(item.filename, body)
            elif replace and item.filename in replace:
                body = replace[item.filename](body)
            zout.writestr(item, body)
        for name, body in add:
            zout.writestr(name, body)


def headers(blob):
    """(offset, whether local) of every local and central directory header in a package's bytes."""
    for sig, local in ((b"PK\x03\x04", True), (b"PK\x01\x02", False)):
        i = blob.find(sig)
        while i >= 0:
            yield i, local
            i = blob.find(sig, i + 4)


def table_parts(path):
    """Table name -> the part that holds the table."""
    with zipfile.ZipFile(path) as z:
        return {re.search(r'displayName="([^"]+)"', z.read(n).decode()).group(1): n
                for n in z.namelist() if n.startswith("xl/tables/")}


def cells_without_their_place(path):
    """Every worksheet cell of an .xlsx that does not carry a reference equal to its place (its
    row's number, and a column after the cell before it), as (part, row, what it carries)."""
    wrong = []
    with zipfile.ZipFile(path) as z:
        for name in z.namelist():
            if not re.fullmatch(r"xl/worksheets/[^/]+\.xml", name):
                continue
            xml = z.read(name).decode()
            for row, body in re.findall(r'<(?:\w+:)?row r="(\d+)"[^>]*?(?:/>|>(.*?)</(?:\w+:)?row>)', xml, re.S):
                last = 0
                for ref in re.findall(r'<(?:\w+:)?c(?=[ />])([^>]*?)/?>', body):
                    m = re.search(r'\br="([A-Z]+)(\d+)"', ref)
                    column = 0
                    if m:
                        for ch in m.group(1):
                            column = column * 26 + ord(ch) - 64
                    if not m or m.group(2) != row or column <= last:
                        wrong.append((name, row, ref.strip()))
                    last = column
    return wrong
