"""A VT_DATE written into a workbook that counts dates from 1904 lands on the same day and time as
in a workbook that counts from 1900, as the spreadsheet converts it; VT_R8 numbers are never
shifted, and a date before 1904 is refused in such a workbook. Workbooks are made by openpyxl and
read back by it."""
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
# 2023-03-15 12:00 as an automation date (days since 1899-12-30).
NOON = 45000.5
KEPT = datetime.datetime(2001, 2, 3, 4, 5, 6)


def build(path, epoch1904):
    wb = openpyxl.Workbook()
    if epoch1904:
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
        cls.sources = {}
        for name, epoch1904 in (("1900", False), ("1904", True)):
            cls.sources[name] = os.path.join(cls.tmp.name, name + ".xlsx")
            build(cls.sources[name], epoch1904)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_dates(self):
        noon = datetime.datetime(2023, 3, 15, 12, 0)
        cases = [
            # (name, date system, values written at B2, expected openpyxl values from B2 on, the
            #  serials stored from B2 on)
            ("a date in a 1904 workbook", "1904", [{"date": NOON}, NOON], [noon, NOON], ["43538.5", "45000.5"]),
            ("a date in a 1900 workbook", "1900", [{"date": NOON}, NOON], [noon, NOON], ["45000.5", "45000.5"]),
            ("the second day of 1904", "1904", [{"date": 1463}], [datetime.datetime(1904, 1, 2)], ["1"]),
        ]
        for name, system, values, expected, serials in cases:
            with self.subTest(name):
                source = self.sources[system]
                out, results = run_on_copy(TOOL, source, self.tmp.name, re.sub(r"\W", "_", name) + ".xlsx",
                                           [["write", "Run 1", 2, 2, [values]], ["save"]])
                self.assertTrue(all(r["ok"] for r in results), results)
                ws = openpyxl.load_workbook(out)["Run 1"]
                self.assertEqual([c.value for c in ws[2][1:1 + len(values)]], expected)
                self.assertEqual([stored(out, "%s2" % "BC"[i]) for i in range(len(values))], serials)
                # What was there keeps its day and time.
                self.assertEqual(ws["A1"].value, KEPT)
                self.assertEqual(stored(out, "A1"), stored(source, "A1"))
                self.assertEqual(changed_entries(source, out) - {SHEET, "xl/workbook.xml", "xl/styles.xml"}, set())

    def test_dates_before_1904_are_refused(self):
        out, results = run_on_copy(TOOL, self.sources["1904"], self.tmp.name, "refused.xlsx",
                                   [["write", "Run 1", 2, 2, [[7, {"date": 1461.5}]]], ["save"]])
        self.assertEqual(results[0]["ok"], False)
        self.assertIn("1903-12-31", results[0]["description"])
        self.assertIn("1904", results[0]["description"])
        self.assertEqual(changed_entries(self.sources["1904"], out), set())


if __name__ == "__main__":
    unittest.main()
