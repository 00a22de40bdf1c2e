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
import subprocess
import sys
import unittest
import zipfile

import openpyxl
from readers import freexl_cells, gnumeric_xlsx, have_freexl, have_sheetjs, libreoffice_xlsx, orcus_cells, sheetjs
from tooltest import ToolTest, convert
from zipparts import cells_without_their_place

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pvxgen import Package, Run, Slot, steps  # noqa: E402

FORMAT = sys.argv.pop(1)  # xlsx, xlsb or xls
GRIDWELL = sys.argv.pop(1)
STUDY = sys.argv.pop(1)
READERS = sys.argv.pop(1)  # tests/readers, with SheetJS in its node_modules

ARRANGEMENTS = range(6)
DEFAULT_WIDTH = 9.140625  # the spreadsheet's default column width as stored
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


def longest_text(ws, column):
    """Characters of the longest text or date a column of an openpyxl worksheet shows."""
    longest = 0
    for (cell,) in ws.iter_rows(min_col=column, max_col=column):
        if isinstance(cell.value, str):
            longest = max(longest, len(cell.value))
        elif isinstance(cell.value, datetime.datetime):
            longest = max(longest, len(cell.number_format))
    return longest


def column_widths(ws):
    """1-based column -> width of an openpyxl worksheet, for every column a <col> element covers."""
    return {c: d.width for d in ws.column_dimensions.values() if d.width and d.min
            for c in range(d.min, d.max + 1)}


def xlsb_panes(path):
    """Per worksheet part of an .xlsb, the frozen rows and columns its sheet view states."""
    from xlsbparts import records
    out = {}
    with zipfile.ZipFile(path) as z:
        for name in z.namelist():
            if name.startswith("xl/worksheets/") and name.endswith(".bin"):
                panes = [body for kind, body in records(z.read(name)) if kind == 151]
                frozen = panes and panes[0][28] & 1
                out[name] = (int.from_bytes(panes[0][16:20], "little"),
                             int.from_bytes(panes[0][20:24], "little")) if frozen else None
    return out


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

    def test_new_worksheets_show_their_texts_and_keep_their_headings_in_view(self):
        """Columns are wide enough for their texts and dates; data worksheets freeze row 1 and
        column A. Read by openpyxl (.xlsx), xlrd (.xls), the records (.xlsb) and SheetJS (widths)."""
        for xlsx, made in self.pairs:
            with self.subTest(workbook=os.path.basename(made)):
                wb = openpyxl.load_workbook(xlsx)
                for ws in wb.worksheets:
                    data = ws.title != "Header"
                    widths = column_widths(ws)
                    for column in range(1, ws.max_column + 1):
                        chars = longest_text(ws, column)
                        # Lower-case letters are narrower than digits: four fifths of the count.
                        if chars > 8:
                            self.assertGreaterEqual(widths.get(column, DEFAULT_WIDTH), 0.8 * chars,
                                                    f"{ws.title} column {column}")
                    self.assertEqual(ws.freeze_panes, "B2" if data else None, ws.title)
                if FORMAT == "xls":
                    import xlrd
                    book = xlrd.open_workbook(made, formatting_info=True)
                    for ws, sheet in zip(wb.worksheets, book.sheets()):
                        data = ws.title != "Header"
                        self.assertEqual((sheet.panes_are_frozen, sheet.horz_split_pos, sheet.vert_split_pos),
                                         (1, 1, 1) if data else (0, 0, 0), sheet.name)
                        widths = {c: info.width / 256 for c, info in sheet.colinfo_map.items()}
                        expected = {c - 1: w for c, w in column_widths(ws).items()}
                        for column, width in expected.items():
                            self.assertAlmostEqual(widths.get(column, 0), width, 2, f"{sheet.name} column {column}")
                elif FORMAT == "xlsb":
                    panes = xlsb_panes(made)
                    self.assertEqual(sorted(panes.values(), key=str),
                                     sorted([None] + [(1, 1)] * (len(wb.worksheets) - 1), key=str))
        if have_sheetjs(READERS) and FORMAT != "xlsx":
            # SheetJS reads the widths of every format alike.
            seen = sheetjs(READERS, [p for pair in self.pairs for p in pair])
            for xlsx, made in self.pairs:
                self.assertEqual(seen[made].get("widths"), seen[xlsx].get("widths"), os.path.basename(made))

    def test_nothing_shows_as_hashes(self):
        """A six-hourly study's dates (m/d/yyyy h:mm) and long labels print whole: LibreOffice's PDF
        holds no "###" and every date as the format shows it."""
        if not shutil.which("soffice") or not shutil.which("pdftotext"):
            self.skipTest("LibreOffice or pdftotext is not installed (scripts/install-test-readers.sh)")
        stamps = steps(datetime.datetime(2021, 11, 28, 18), 4, datetime.timedelta(hours=6))
        slots = [Slot("Lake Powell", "Pool Elevation", values=[3550.25, 3551.5, 3552.75, 3553.0]),
                 Slot("Glen Canyon Dam", "Outflow Regulated", values=[1, 2, 3, 4], units="cfs")]
        study = self.path("six-hourly.pvx")
        Package([Run(stamps, slots), Run(stamps, slots)]).write(study)
        books = []
        for arrangement in (1, 2):
            books.append(self.path(f"six-hourly-{arrangement}.{FORMAT}"))
            convert(GRIDWELL, study, books[-1], arrangement, "Full")
        pdfs = libreoffice_xlsx(books, self.path("pdf"), self.path("profile"), "pdf")
        for book, pdf in pdfs.items():
            with self.subTest(workbook=os.path.basename(book)):
                text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True,
                                      check=True).stdout
                self.assertNotIn("###", text)
                # Each serial stands a minute before its timestamp.
                for shown in ["11/28/2021 17:59", "11/29/2021 11:59", "Glen Canyon DamOutflow Regulated"]:
                    self.assertIn(shown, text)

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
                # Gnumeric keeps the frozen headings of the data worksheets.
                self.assertEqual([ws.freeze_panes for ws in openpyxl.load_workbook(out).worksheets],
                                 [None] + ["B2"] * (len(names) - 1))

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
