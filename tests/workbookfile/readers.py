"""The independent workbook readers of the engine's tests: SheetJS (node, tests/readers), LibreOffice
Calc (soffice), Gnumeric (ssconvert), orcus (orcus-xlsx) and FreeXL (libfreexl, through ctypes),
installed by scripts/install-test-readers.sh."""
import ctypes
import ctypes.util
import datetime
import json
import os
import shutil
import subprocess


def have_sheetjs(readers):
    return shutil.which("node") and os.path.isfile(os.path.join(readers, "node_modules", "xlsx", "package.json"))


def sheetjs(readers, paths):
    """What SheetJS reads from each workbook (tests/readers/dump.js), by path."""
    res = subprocess.run(["node", os.path.join(readers, "dump.js"), *paths], capture_output=True, text=True,
                         cwd=readers, timeout=600)
    if res.returncode != 0:
        raise AssertionError("SheetJS failed: " + res.stderr)
    return json.loads(res.stdout)


def libreoffice_xlsx(paths, outdir, profile, to="xlsx"):
    """LibreOffice's .xlsx (or `to`) export of each workbook, by input path."""
    os.makedirs(outdir, exist_ok=True)
    res = subprocess.run(["soffice", "--headless", "--norestore", "-env:UserInstallation=file://" + profile,
                          "--convert-to", to, "--outdir", outdir, *paths],
                         capture_output=True, text=True, timeout=900)
    out = {}
    for p in paths:
        converted = os.path.join(outdir, os.path.splitext(os.path.basename(p))[0] + "." + to)
        if not os.path.isfile(converted):
            raise AssertionError(f"LibreOffice did not convert {p}: {res.stdout}{res.stderr}")
        out[p] = converted
    return out


def gnumeric_xlsx(path, out):
    """Gnumeric's reading of a workbook, exported by ssconvert as .xlsx to `out` (read back with
    openpyxl), and the warnings ssconvert printed while doing so. None when Gnumeric cannot read the
    format at all."""
    res = subprocess.run(["ssconvert", "--export-type=Gnumeric_Excel:xlsx2", path, out], capture_output=True,
                         text=True, timeout=600)
    said = [line for line in (res.stdout + res.stderr).splitlines() if line.strip()]
    if any("Unsupported file format" in line for line in said):
        return None, said
    if res.returncode != 0 or not os.path.isfile(out):
        raise AssertionError(f"Gnumeric did not read {path}: {said}")
    return out, said


def orcus_cells(path):
    """What orcus (orcus-xlsx) reads from an .xlsx: {sheet: {(row, column): (kind, value)}} with
    0-based positions, kinds "string", "numeric", "boolean", in its sheet order."""
    res = subprocess.run(["orcus-xlsx", "-f", "check", "-o", "/dev/stdout", path], capture_output=True,
                         text=True, timeout=600)
    # orcus-xlsx ends with status 1 even when it read the file; what it printed tells.
    sheets = {}
    for line in res.stdout.splitlines():
        head, _, value = line.partition(":")
        kind, _, value = value.partition(":")
        sheet, row, column = head.rsplit("/", 2)
        if kind == "string":
            value = value[1:-1].replace('\\"', '"')
        elif kind == "numeric":
            value = float(value)
        elif kind == "boolean":
            value = value == "true"
        sheets.setdefault(sheet, {})[(int(row), int(column))] = (kind, value)
    if not sheets:
        raise AssertionError(f"orcus read nothing from {path}: {res.stderr}")
    return sheets


def have_freexl():
    return ctypes.util.find_library("freexl") is not None


class _FreeXLValue(ctypes.Structure):
    class _Union(ctypes.Union):
        _fields_ = [("int_value", ctypes.c_int), ("double_value", ctypes.c_double),
                    ("text_value", ctypes.c_char_p)]
    _fields_ = [("type", ctypes.c_ubyte), ("value", _Union)]


FREEXL_CELL_NULL, FREEXL_CELL_INT, FREEXL_CELL_DOUBLE = 101, 102, 103
FREEXL_DATE_TYPES = {106: "%Y-%m-%d", 107: "%Y-%m-%d %H:%M:%S", 108: "%H:%M:%S"}


def freexl_cells(path):
    """What FreeXL (libfreexl) reads from an .xls: sheet names and {sheet: {(row, column): value}} with
    0-based positions; numbers as numbers, texts as texts, dates as FreeXL gives them: a date alone
    (datetime.date) or a datetime to the second."""
    lib = ctypes.CDLL(ctypes.util.find_library("freexl"))
    handle = ctypes.c_void_p()
    status = lib.freexl_open(path.encode(), ctypes.byref(handle))
    if status != 0:
        raise AssertionError(f"FreeXL refused {path} (status {status})")
    try:
        count = ctypes.c_uint()
        lib.freexl_get_info(handle, ctypes.c_ushort(32010), ctypes.byref(count))  # FREEXL_BIFF_SHEET_COUNT
        names, sheets = [], {}
        for index in range(count.value):
            name = ctypes.c_char_p()
            lib.freexl_get_worksheet_name(handle, ctypes.c_ushort(index), ctypes.byref(name))
            names.append(name.value.decode())
            lib.freexl_select_active_worksheet(handle, ctypes.c_ushort(index))
            rows, columns = ctypes.c_uint(), ctypes.c_ushort()
            lib.freexl_worksheet_dimensions(handle, ctypes.byref(rows), ctypes.byref(columns))
            cells = sheets[names[-1]] = {}
            for r in range(rows.value):
                for c in range(columns.value):
                    v = _FreeXLValue()
                    status = lib.freexl_get_cell_value(handle, ctypes.c_uint(r), ctypes.c_ushort(c), ctypes.byref(v))
                    if status != 0:
                        raise AssertionError(f"FreeXL could not read {names[-1]} row {r} column {c} of {path}")
                    if v.type == FREEXL_CELL_NULL:
                        continue
                    if v.type == FREEXL_CELL_INT:
                        cells[(r, c)] = v.value.int_value
                    elif v.type == FREEXL_CELL_DOUBLE:
                        cells[(r, c)] = v.value.double_value
                    elif v.type in FREEXL_DATE_TYPES:
                        when = datetime.datetime.strptime(v.value.text_value.decode(), FREEXL_DATE_TYPES[v.type])
                        cells[(r, c)] = when.date() if v.type == 106 else when
                    else:
                        cells[(r, c)] = v.value.text_value.decode()
        return names, sheets
    finally:
        lib.freexl_close(handle)
