"""Through the server, as a conversion writes: on every worksheet, "Header" (cleared first)
included, a table's column names follow the texts written into its header row, or the table no
longer claims a header row where that row is not all text. Workbooks are made by openpyxl and read
back by it; tables and parts not written stay byte for byte."""
import os
import re
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from openpyxl.worksheet.table import Table
from serverdriver import changed_entries, run_on_copy
from zipparts import table_parts

TOOL = sys.argv.pop(1)
HEADERS = {"Runs": ["Run", "Start", "Length"], "Values": ["Time", "Flow", "Level"], "Kept": ["Key", "Value"]}
REFS = {"Runs": "A1:C3", "Values": "B2:D4", "Kept": "F1:G2"}
HEADERLESS = object()
SHEET_PARTS = {"Header": "xl/worksheets/sheet1.xml", "Data": "xl/worksheets/sheet2.xml"}
# What any write may change besides the worksheet and the tables written.
WRITING = {"xl/workbook.xml", "xl/styles.xml", "xl/sharedStrings.xml", "xl/_rels/workbook.xml.rels",
           "[Content_Types].xml"}


def build(path):
    """A table on "Header" (row 1) and two on "Data": one with its header in row 2, one never written."""
    wb = openpyxl.Workbook()
    header = wb.active
    header.title = "Header"
    header.append(HEADERS["Runs"])
    header.append([1, "2020-01-01", 10])
    header.append([2, "2021-01-01", 12])
    header.add_table(Table(displayName="Runs", ref=REFS["Runs"]))
    data = wb.create_sheet("Data")
    data.append([None] * 5 + HEADERS["Kept"])
    data.append([None] + HEADERS["Values"] + [None, "k", 1])
    data.append([None, 0, 1.5, 2.5])
    data.append([None, 1, 1.6, 2.4])
    data.add_table(Table(displayName="Values", ref=REFS["Values"]))
    data.add_table(Table(displayName="Kept", ref=REFS["Kept"]))
    wb.save(path)




class TableHeaders(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.source = os.path.join(cls.tmp.name, "tables.xlsx")
        build(cls.source)
        cls.parts = table_parts(cls.source)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_header_rows(self):
        header = [["clear", "Header"]]
        cases = [
            # (name, steps, expected: table -> its column names or HEADERLESS; the rest stay)
            ("Header rewritten with texts", header + [["write", "Header", 1, 1, [["Run", "Date", "Steps"]]]],
             {"Runs": ["Run", "Date", "Steps"]}),
            ("Header rewritten with a number", header + [["write", "Header", 1, 1, [["Run", 2020, "Steps"]]]],
             {"Runs": HEADERLESS}),
            ("Header rewritten narrower", header + [["write", "Header", 1, 1, [["Run", "Date"]]]],
             {"Runs": HEADERLESS}),
            ("Header cleared only", header, {"Runs": HEADERLESS}),
            ("Header without its table's row", header + [["write", "Header", 4, 1, [["Run"]]]],
             {"Runs": HEADERLESS}),
            ("Data with texts", [["write", "Data", 2, 2, [["t", "q", "h"]]]], {"Values": ["t", "q", "h"]}),
            ("Data with a text twice", [["write", "Data", 2, 2, [["t", "T", "h"]]]], {"Values": HEADERLESS}),
            ("Data with a date", [["write", "Data", 2, 3, [[{"date": 45000}]]]], {"Values": HEADERLESS}),
            ("Data below the header", [["write", "Data", 3, 2, [[5, 6, 7]]]], {}),
            ("Data header made bold", [["bold", "Data", 2, 2, 1, 3]], {}),
        ]
        for name, steps, expected in cases:
            with self.subTest(name):
                out, results = run_on_copy(TOOL, self.source, self.tmp.name, re.sub(r"\W", "_", name) + ".xlsx",
                                           steps + [["save"]])
                self.assertTrue(all(r["ok"] for r in results), results)
                wb = openpyxl.load_workbook(out)
                tables = {**wb["Header"].tables, **wb["Data"].tables}
                for table in HEADERS:
                    want = expected.get(table, HEADERS[table])
                    headerless = want is HEADERLESS
                    self.assertEqual([c.name for c in tables[table].tableColumns],
                                     HEADERS[table] if headerless else want, table)
                    self.assertEqual(tables[table].headerRowCount == 0, headerless, table)
                    self.assertEqual(tables[table].ref, REFS[table], table)
                    if headerless:
                        self.assertIsNone(tables[table].autoFilter, table)
                touched = {SHEET_PARTS[step[1]] for step in steps}
                written = {self.parts[t] for t in expected}
                self.assertEqual(changed_entries(self.source, out) - WRITING - touched, written)


if __name__ == "__main__":
    unittest.main()
