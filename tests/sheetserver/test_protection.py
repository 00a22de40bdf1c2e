"""Locked cells of a protected worksheet are not written (values, bold, number formats, clearing)
and a workbook whose structure is protected gets no new worksheet and no renames: the call fails
with the reason and nothing changes. Unlocked cells (by their own format, their row's or their
column's) are written and stay unlocked. Workbooks are made by openpyxl and read back by it."""
import os
import re
import sys
import tempfile
import unittest

import openpyxl
from openpyxl.styles import Protection
from openpyxl.workbook.protection import WorkbookProtection
from serverdriver import changed_entries, run_on_copy

TOOL = sys.argv.pop(1)
HEADER = "xl/worksheets/sheet1.xml"
FORMATS = "xl/worksheets/sheet2.xml"
FREE = "xl/worksheets/sheet3.xml"
WRITING = {"xl/workbook.xml", "xl/styles.xml", "xl/sharedStrings.xml", "xl/_rels/workbook.xml.rels",
           "[Content_Types].xml"}


def build(path, lock_structure):
    """Header: protected; B1 unlocked by its own format, column D by the column's, row 5 by the row's.
    Formats: protected, but formatting cells allowed. Free: not protected."""
    wb = openpyxl.Workbook()
    header = wb.active
    header.title = "Header"
    header["A1"] = "Package"
    header["B1"] = "open"
    header["B1"].protection = Protection(locked=False)
    header.column_dimensions["D"].protection = Protection(locked=False)
    header.row_dimensions[5].protection = Protection(locked=False)
    header.protection.sheet = True
    formats = wb.create_sheet("Formats")
    formats["A1"] = 1.5
    formats.protection.sheet = True
    formats.protection.formatCells = False
    wb.create_sheet("Free")["A1"] = "free"
    if lock_structure:
        wb.security = WorkbookProtection(lockStructure=True)
    wb.save(path)


class Protected(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.sources = {}
        for name, lock in (("sheets", False), ("structure", True)):
            cls.sources[name] = os.path.join(cls.tmp.name, name + ".xlsx")
            build(cls.sources[name], lock)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_protection(self):
        header_locked = ('worksheet "Header"', "protected")
        cases = [
            # (name, source, step, the reason's words when it fails, cells openpyxl reads afterwards
            #  {(sheet, cell): (value, locked)}, entries allowed to change)
            ("an empty locked cell", "sheets", ["write", "Header", 3, 3, [[1]]], header_locked, {}, set()),
            ("a block reaching a locked cell", "sheets", ["write", "Header", 1, 2, [["x", "y"]]], header_locked,
             {}, set()),
            ("bold on a locked cell", "sheets", ["bold", "Header", 1, 1, 1, 1], header_locked, {}, set()),
            ("a number format on a locked cell", "sheets", ["format", "Header", 1, 1, 1, 1, "0.0"], header_locked,
             {}, set()),
            ("clearing locked cells", "sheets", ["clear", "Header", 1, 1, 1, 2], header_locked, {}, set()),
            ("an unlocked cell", "sheets", ["write", "Header", 1, 2, [["Study"]]], None,
             {("Header", "B1"): ("Study", False), ("Header", "A1"): ("Package", True)}, {HEADER} | WRITING),
            ("an unlocked column", "sheets", ["write", "Header", 2, 4, [[1.5], ["two"]]], None,
             {("Header", "D2"): (1.5, False), ("Header", "D3"): ("two", False)}, {HEADER} | WRITING),
            ("an unlocked row", "sheets", ["write", "Header", 5, 1, [[1, 2, 3]]], None,
             {("Header", "A5"): (1, False), ("Header", "C5"): (3, False)}, {HEADER} | WRITING),
            ("bold on an unlocked cell", "sheets", ["bold", "Header", 1, 2, 1, 1], None,
             {("Header", "B1"): ("open", False)}, {HEADER} | WRITING),
            ("formatting allowed by the protection", "sheets", ["bold", "Formats", 1, 1, 1, 1], None,
             {("Formats", "A1"): (1.5, True)}, {FORMATS} | WRITING),
            ("values still refused there", "sheets", ["write", "Formats", 1, 1, [[2]]], ('worksheet "Formats"',),
             {}, set()),
            ("an unprotected worksheet", "sheets", ["write", "Free", 1, 1, [["x"]]], None,
             {("Free", "A1"): ("x", True)}, {FREE} | WRITING),
            ("no rename in a locked structure", "structure", ["rename", "Free", "Run 1"],
             ("structure", "protected"), {}, set()),
        ]
        for name, source, step, reason, cells, allowed in cases:
            with self.subTest(name):
                source = self.sources[source]
                out, results = run_on_copy(TOOL, source, self.tmp.name, re.sub(r"\W", "_", name) + ".xlsx",
                                           [step, ["save"]])
                self.assertTrue(results[1]["ok"], results)
                if reason:
                    self.assertEqual((results[0]["ok"], results[0]["code"]), (False, "0x80020009"))
                    for word in reason:
                        self.assertIn(word, results[0]["description"])
                else:
                    self.assertTrue(results[0]["ok"], results[0])
                wb = openpyxl.load_workbook(out)
                for (sheet, cell), (value, locked) in cells.items():
                    self.assertEqual(wb[sheet][cell].value, value, cell)
                    self.assertEqual(wb[sheet][cell].protection.locked, locked, cell)
                changed = changed_entries(source, out)
                self.assertEqual(changed - allowed, set())
                if not reason:
                    self.assertTrue(changed & {HEADER, FORMATS, FREE})
                if reason:
                    self.assertEqual(changed, set())


if __name__ == "__main__":
    unittest.main()
