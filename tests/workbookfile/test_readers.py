"""Converts the example study into a format (.xlsx, .xlsb or .xls, the first argument) with every
arrangement and slot label style, and checks that the independent readers people open workbooks with
see what openpyxl reads from the .xlsx conversion of the same study: SheetJS (values, types, number
formats, sheet names), LibreOffice Calc and Gnumeric (values, bold, sheet names, read back from their
own .xlsx exports with openpyxl), xlrd and FreeXL for .xls, orcus for .xlsx. Gnumeric must read the
files without a warning. Each reader's checks are skipped when it is not installed
(scripts/install-test-readers.sh).
"""
import datetime
import math
import os
import shutil
import sys
import unittest

import openpyxl
from readers import freexl_cells, gnumeric_xlsx, have_freexl, have_sheetjs, libreoffice_xlsx, orcus_cells, sheetjs
from tooltest import ToolTest, convert
from zipparts import cells_without_their_place

FORMAT = sys.argv.pop(1)  # xlsx, xlsb or xls
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


class Readers(ToolTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # (the .xlsx of a study, the same study in FORMAT): one file twice for .xlsx.
        cls.pairs = []
        for a in ARRANGEMENTS:
            for n in LABELS:
                cls.pairs.append(tuple(cls.path(f"study-{a}-{n}.{ext}") for ext in ("xlsx", FORMAT)))
                for out in set(cls.pairs[-1]):
                    convert(GRIDWELL, STUDY, out, a, n)
        cls.reference = {x: cells(x) for x, _ in cls.pairs}

    def assertSameCells(self, reference, got, value_of=lambda v: v):
        """got ({sheet: {ref: (value, bold, …)}}, no empty cells) holds reference's values and bold."""
        for sheet, expected in reference.items():
            expected = {k: v for k, v in expected.items() if v[0] is not None or v[1]}
            self.assertEqual(set(got[sheet]), set(expected), sheet)
            for ref, (value, bold, _) in expected.items():
                self.assertEqual(got[sheet][ref][1], bold, f"{sheet}!{ref} bold")
                self.assertTrue(close(value_of(got[sheet][ref][0]), value),
                                f"{sheet}!{ref}: {got[sheet][ref][0]!r} != {value!r}")

    def test_every_cell_names_its_place(self):
        if FORMAT != "xlsx":
            self.skipTest("cell references are XML attributes")
        # Into a copy of a converted workbook: its worksheets are read, cleared and written again.
        updated = self.path("updated.xlsx")
        shutil.copyfile(self.pairs[0][0], updated)
        convert(GRIDWELL, STUDY, updated, 1, "Full")
        for path in [x for x, _ in self.pairs] + [updated]:
            with self.subTest(workbook=os.path.basename(path)):
                self.assertEqual(cells_without_their_place(path), [])

    def test_sheetjs_reads_the_same_cells(self):
        if not have_sheetjs(READERS):
            self.skipTest("SheetJS is not installed (scripts/install-test-readers.sh)")
        seen = sheetjs(READERS, sorted({p for pair in self.pairs for p in pair}))
        for xlsx, made in self.pairs:
            with self.subTest(workbook=os.path.basename(made)):
                self.assertNotIn("error", seen[made])
                self.assertEqual(seen[made]["sheets"], seen[xlsx]["sheets"])
                self.assertEqual(seen[made]["cells"], seen[xlsx]["cells"])
                names, reference = self.reference[xlsx]
                self.assertEqual(seen[made]["sheets"], names)
                for sheet, expected in reference.items():
                    got = seen[made]["cells"][sheet]
                    values = {k: v[0] for k, v in expected.items() if v[0] is not None}
                    self.assertEqual(set(values), set(got))
                    for ref, value in values.items():
                        self.assertTrue(close(got[ref][1], value), f"{sheet}!{ref}: {got[ref][1]!r} != {value!r}")

    def test_libreoffice_reads_the_same_cells(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed (scripts/install-test-readers.sh)")
        profile = self.path("profile")
        from_made = libreoffice_xlsx([m for _, m in self.pairs], self.path("lo-" + FORMAT), profile)
        from_xlsx = (from_made if FORMAT == "xlsx" else
                     libreoffice_xlsx([x for x, _ in self.pairs], self.path("lo-xlsx"), profile))
        for xlsx, made in self.pairs:
            with self.subTest(workbook=os.path.basename(made)):
                names_m, got = cells(from_made[made])
                names_x, via_xlsx = cells(from_xlsx[xlsx])
                names, reference = self.reference[xlsx]
                self.assertEqual(names_m, names)
                self.assertEqual(names_m, names_x)
                self.assertEqual(got, via_xlsx)  # number formats as LibreOffice names them
                self.assertSameCells(reference, got, lo_value)

    def test_gnumeric_reads_the_same_cells_without_a_warning(self):
        if not shutil.which("ssconvert"):
            self.skipTest("Gnumeric is not installed (scripts/install-test-readers.sh)")
        first = self.pairs[0][1]
        if gnumeric_xlsx(first, self.path("gnumeric-first.xlsx"))[0] is None:
            self.skipTest(f"Gnumeric does not read .{FORMAT}")
        # What Gnumeric says of a file LibreOffice made of the same cells is no fault of ours.
        baseline = []
        if shutil.which("soffice"):
            theirs = libreoffice_xlsx([first], self.path("lo-baseline"), self.path("profile"), FORMAT)
            baseline = gnumeric_xlsx(theirs[first], self.path("gnumeric-baseline.xlsx"))[1]
        for xlsx, made in self.pairs:
            with self.subTest(workbook=os.path.basename(made)):
                out, said = gnumeric_xlsx(made, self.path("gnumeric-" + os.path.basename(made) + ".xlsx"))
                self.assertEqual([line for line in said if line not in baseline], [])
                names_g, got = cells(out)
                names, reference = self.reference[xlsx]
                self.assertEqual(names_g, names)
                self.assertSameCells(reference, got)

    def test_orcus_reads_the_same_cells(self):
        if FORMAT != "xlsx":
            self.skipTest("orcus reads .xlsx here")
        if not shutil.which("orcus-xlsx"):
            self.skipTest("orcus is not installed (liborcus-bin, scripts/install-test-readers.sh)")
        for xlsx, _ in self.pairs:
            with self.subTest(workbook=os.path.basename(xlsx)):
                seen = orcus_cells(xlsx)
                names, reference = self.reference[xlsx]
                self.assertEqual(list(seen), names)
                for sheet, expected in reference.items():
                    values = {openpyxl.utils.cell.coordinate_to_tuple(k): v[0]
                              for k, v in expected.items() if v[0] is not None}
                    got = {(r + 1, c + 1): v for (r, c), v in seen.get(sheet, {}).items()}
                    self.assertEqual(set(got), set(values), sheet)
                    for at, value in values.items():
                        self.assertTrue(close(got[at][1], value), f"{sheet}!{at}: {got[at]!r} != {value!r}")

    def test_freexl_reads_the_same_cells(self):
        if FORMAT != "xls":
            self.skipTest("FreeXL reads .xls only")
        if not have_freexl():
            self.skipTest("FreeXL is not installed (libfreexl1, scripts/install-test-readers.sh)")
        for xlsx, xls in self.pairs:
            with self.subTest(workbook=os.path.basename(xls)):
                names_f, seen = freexl_cells(xls)
                names, reference = self.reference[xlsx]
                self.assertEqual(names_f, names)
                for sheet, expected in reference.items():
                    values = {openpyxl.utils.cell.coordinate_to_tuple(k): v[0]
                              for k, v in expected.items() if v[0] is not None}
                    got = {(r + 1, c + 1): v for (r, c), v in seen[sheet].items()}
                    self.assertEqual(set(got), set(values), sheet)
                    for at, value in values.items():
                        if isinstance(got[at], datetime.datetime):  # to the second
                            self.assertLess(abs((got[at] - value).total_seconds()), 1, f"{sheet}!{at}")
                        elif isinstance(got[at], datetime.date):  # the day alone, as it does for LibreOffice's files
                            self.assertEqual(got[at], value.date(), f"{sheet}!{at}")
                        else:
                            self.assertTrue(close(got[at], value), f"{sheet}!{at}: {got[at]!r} != {value!r}")

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
