"""Converts the example study into a binary format (.xlsb or .xls, the first argument) and .xlsx with
every arrangement and slot label style, and checks that independent readers see the same workbook
in both: SheetJS (values, types, number formats, sheet names), LibreOffice Calc (values, bold,
number formats, sheet names, read back from its own .xlsx export with openpyxl) and, for .xls,
xlrd (values, dates, bold, number formats), anchored on what openpyxl reads from the .xlsx itself.
Each reader's checks are skipped when it is not installed (scripts/install-test-readers.sh)."""
import datetime
import math
import os
import shutil
import sys
import unittest

import openpyxl
from readers import have_sheetjs, libreoffice_xlsx, sheetjs
from tooltest import ToolTest, convert

FORMAT = sys.argv.pop(1)  # xlsb or xls
GRIDWELL = sys.argv.pop(1)
STUDY = sys.argv.pop(1)
READERS = sys.argv.pop(1)  # tests/readers, with SheetJS in its node_modules

ARRANGEMENTS = range(6)
LABELS = ("Index", "Short", "Full")
EPOCH = datetime.datetime(1899, 12, 30)


def serial(value):
    if isinstance(value, datetime.datetime):
        return (value - EPOCH).total_seconds() / 86400
    return value


def cells(path):
    """Sheet names and, per sheet, every cell holding something: value, bold, number format."""
    wb = openpyxl.load_workbook(path)
    out = {}
    for ws in wb.worksheets:
        sheet = {}
        for row in ws.iter_rows():
            for c in row:
                if c.value is not None or c.font.b:
                    sheet[c.coordinate] = (c.value, bool(c.font.b), c.number_format)
        out[ws.title] = sheet
    return wb.sheetnames, out


def close(a, b):
    a, b = serial(a), serial(b)
    if isinstance(a, float) or isinstance(b, float):
        if isinstance(a, (int, float)) and isinstance(b, (int, float)) and not isinstance(a, bool):
            return math.isclose(a, b, rel_tol=1e-14, abs_tol=1e-9)
    return a == b


def lo_value(value):
    # LibreOffice writes booleans into .xlsx as formulas.
    return {"=TRUE()": True, "=FALSE()": False}.get(value, value) if isinstance(value, str) else value


class BinaryReaders(ToolTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.pairs = []
        for a in ARRANGEMENTS:
            for n in LABELS:
                cls.pairs.append(tuple(cls.path(f"study-{a}-{n}.{ext}") for ext in ("xlsx", FORMAT)))
                for out in cls.pairs[-1]:
                    convert(GRIDWELL, STUDY, out, a, n)
        cls.reference = {x: cells(x) for x, _ in cls.pairs}

    def test_sheetjs_reads_the_same_cells(self):
        if not have_sheetjs(READERS):
            self.skipTest("SheetJS is not installed (scripts/install-test-readers.sh)")
        seen = sheetjs(READERS, [p for pair in self.pairs for p in pair])
        for xlsx, xlsb in self.pairs:
            with self.subTest(workbook=os.path.basename(xlsb)):
                self.assertNotIn("error", seen[xlsb])
                self.assertEqual(seen[xlsb]["sheets"], seen[xlsx]["sheets"])
                self.assertEqual(seen[xlsb]["cells"], seen[xlsx]["cells"])
                names, reference = self.reference[xlsx]
                self.assertEqual(seen[xlsb]["sheets"], names)
                for sheet, expected in reference.items():
                    got = seen[xlsb]["cells"][sheet]
                    values = {k: v[0] for k, v in expected.items() if v[0] is not None}
                    self.assertEqual(set(values), set(got))
                    for ref, value in values.items():
                        self.assertTrue(close(got[ref][1], value), f"{sheet}!{ref}: {got[ref][1]!r} != {value!r}")

    def test_libreoffice_reads_the_same_cells(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed (scripts/install-test-readers.sh)")
        profile = self.path("profile")
        from_xlsb = libreoffice_xlsx([b for _, b in self.pairs], self.path("lo-xlsb"), profile)
        from_xlsx = libreoffice_xlsx([x for x, _ in self.pairs], self.path("lo-xlsx"), profile)
        for xlsx, xlsb in self.pairs:
            with self.subTest(workbook=os.path.basename(xlsb)):
                names_b, got = cells(from_xlsb[xlsb])
                names_x, via_xlsx = cells(from_xlsx[xlsx])
                names, reference = self.reference[xlsx]
                self.assertEqual(names_b, names)
                self.assertEqual(names_b, names_x)
                self.assertEqual(got, via_xlsx)  # number formats as LibreOffice names them
                for sheet, expected in reference.items():
                    # LibreOffice keeps no cell for an empty text.
                    expected = {k: v for k, v in expected.items() if v[0] != "" or v[1]}
                    self.assertEqual(set(got[sheet]), set(expected), sheet)
                    for ref, (value, bold, _) in expected.items():
                        self.assertEqual(got[sheet][ref][1], bold, f"{sheet}!{ref} bold")
                        self.assertTrue(close(lo_value(got[sheet][ref][0]), value),
                                        f"{sheet}!{ref}: {got[sheet][ref][0]!r} != {value!r}")

    def test_xlrd_reads_the_same_cells(self):
        if FORMAT != "xls":
            self.skipTest("xlrd reads .xls only")
        try:
            import xlrd
        except ImportError:
            self.skipTest("xlrd is not installed (python3-xlrd)")
        builtin = set(openpyxl.styles.numbers.BUILTIN_FORMATS.values())
        for xlsx, xls in self.pairs:
            with self.subTest(workbook=os.path.basename(xls)):
                book = xlrd.open_workbook(xls, formatting_info=True)
                names, reference = self.reference[xlsx]
                self.assertEqual(book.sheet_names(), names)
                for sheet, expected in reference.items():
                    ws = book.sheet_by_name(sheet)
                    for ref, (value, bold, number_format) in expected.items():
                        row, col = openpyxl.utils.cell.coordinate_to_tuple(ref)
                        cell = ws.cell(row - 1, col - 1)
                        xf = book.xf_list[cell.xf_index]
                        self.assertEqual(bool(book.font_list[xf.font_index].bold), bold, f"{sheet}!{ref} bold")
                        if number_format not in builtin:
                            self.assertEqual(book.format_map[xf.format_key].format_str, number_format, ref)
                        self.assertEqual(cell.ctype == xlrd.XL_CELL_DATE, isinstance(value, datetime.datetime), ref)
                        got = {xlrd.XL_CELL_BOOLEAN: bool, xlrd.XL_CELL_EMPTY: lambda v: None,
                               xlrd.XL_CELL_BLANK: lambda v: None}.get(cell.ctype, lambda v: v)(cell.value)
                        self.assertTrue(close(got, value), f"{sheet}!{ref}: {got!r} != {value!r}")


if __name__ == "__main__":
    unittest.main()
