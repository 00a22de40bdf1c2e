"""A VT_DATE written into a workbook that counts dates from 1904 is stored counted from there, down
to its first days, and a date before 1904 is refused in such a workbook. Workbooks are made by
openpyxl and read back by it."""
import datetime
import os
import re
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from serverdriver import changed_entries, run_on_copy

TOOL = sys.argv.pop(1)
SHEET = "xl/worksheets/sheet1.xml"
KEPT = datetime.datetime(2001, 2, 3, 4, 5, 6)


def build(path):
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws.title = "Run 1"
    ws["A1"] = KEPT
    wb.save(path)


def stored(path, cell):
    """The text of the cell's <v> in the worksheet part."""
    with zipfile.ZipFile(path) as z:
        xml = z.read(SHEET).decode()
    return re.search(r'<c r="%s"[^>]*><v>([^<]*)</v>' % cell, xml).group(1)


class Dates1904(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.source = os.path.join(cls.tmp.name, "1904.xlsx")
        build(cls.source)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_second_day_of_1904(self):
        out, results = run_on_copy(TOOL, self.source, self.tmp.name, "second_day.xlsx",
                                   [["write", "Run 1", 2, 2, [[{"date": 1463}]]], ["save"]])
        self.assertTrue(all(r["ok"] for r in results), results)
        ws = openpyxl.load_workbook(out)["Run 1"]
        self.assertEqual(ws["B2"].value, datetime.datetime(1904, 1, 2))
        self.assertEqual(stored(out, "B2"), "1")
        # What was there keeps its day and time.
        self.assertEqual(ws["A1"].value, KEPT)
        self.assertEqual(stored(out, "A1"), stored(self.source, "A1"))
        self.assertEqual(changed_entries(self.source, out) - {SHEET, "xl/workbook.xml", "xl/styles.xml"}, set())

    def test_dates_before_1904_are_refused(self):
        out, results = run_on_copy(TOOL, self.source, self.tmp.name, "refused.xlsx",
                                   [["write", "Run 1", 2, 2, [[7, {"date": 1461.5}]]], ["save"]])
        self.assertEqual(results[0]["ok"], False)
        self.assertIn("1903-12-31", results[0]["description"])
        self.assertIn("1904", results[0]["description"])
        self.assertEqual(changed_entries(self.source, out), set())


if __name__ == "__main__":
    unittest.main()
