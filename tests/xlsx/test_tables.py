"""Writes into worksheets with tables made by openpyxl and reads the result back: where cells of a
table's header row are written, the table's column names follow the new texts (unique within the
table, "Column<n>" where the header is no text), and tables whose header row was not written stay
byte for byte."""
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from openpyxl.worksheet.table import Table
from zipparts import raw_entries

TOOL = sys.argv.pop(1)

HEADERS = {"T1": ["Item", "Amount", "Price"], "T2": ["Column2", "x", "y"], "T3": ["Key", "Value"]}


def build(path):
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    data.append(HEADERS["T1"] + [None] + HEADERS["T2"])
    for r in range(2, 6):
        data.append([f"item {r}", r, r * 1.5, None, r, r * 2, r * 3])
    data.add_table(Table(displayName="T1", ref="A1:C5"))
    data.add_table(Table(displayName="T2", ref="E1:G3"))
    other = wb.create_sheet("Other")
    other.append(HEADERS["T3"])
    other.append(["k", 1])
    other.add_table(Table(displayName="T3", ref="A1:B2"))
    wb.save(path)


def table_parts(path):
    """Table name -> part name."""
    with zipfile.ZipFile(path) as z:
        return {re.search(r'displayName="([^"]+)"', z.read(n).decode()).group(1): n
                for n in z.namelist() if n.startswith("xl/tables/")}


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

    def test_written_headers_rename_columns(self):
        cases = [
            # (name, row, column, values written, expected names of the tables that change)
            ("texts replace names", 1, 1, ["Alpha", "Beta"], {"T1": ["Alpha", "Beta", "Price"]}),
            ("equal texts are numbered", 1, 1, ["Same", "same", "Same"], {"T1": ["Same", "same2", "Same3"]}),
            ("a number or an empty header", 1, 1, ["n:2020", "e:", "Name"], {"T1": ["Column1", "Column2", "Name"]}),
            ("a kept name is not taken", 1, 6, ["n:5"], {"T2": ["Column2", "Column3", "y"]}),
            ("a kept name wins", 1, 2, ["Item"], {"T1": ["Item", "Item2", "Price"]}),
            ("across two tables", 1, 1, list("abcdefg"), {"T1": ["a", "b", "c"], "T2": ["e", "f", "g"]}),
            ("below the header row", 2, 1, ["zz", "n:1", "n:2"], {}),
            ("unchanged texts", 1, 1, ["Item", "Amount"], {}),
        ]
        for name, row, column, values, expected in cases:
            with self.subTest(name):
                out = os.path.join(self.tmp.name, re.sub(r"\W", "_", name) + ".xlsx")
                res = subprocess.run([TOOL, "put-row", self.source, out, "Data", str(row), str(column), *values],
                                     capture_output=True, text=True)
                self.assertEqual(res.returncode, 0, res.stdout + res.stderr)
                wb = openpyxl.load_workbook(out)
                tables = {**wb["Data"].tables, **wb["Other"].tables}
                before, after = raw_entries(self.source), raw_entries(out)
                for table, part in self.parts.items():
                    names = [c.name for c in tables[table].tableColumns]
                    self.assertEqual(names, expected.get(table, HEADERS[table]), table)
                    if table not in expected:
                        self.assertEqual(before[part], after[part], table)

    def test_clearing_keeps_tables_and_empties_their_names(self):
        out = os.path.join(self.tmp.name, "cleared.xlsx")
        res = subprocess.run([TOOL, "clear", self.source, out, "Data", "X", "Y"], capture_output=True, text=True)
        self.assertEqual(res.returncode, 0, res.stdout + res.stderr)
        tables = openpyxl.load_workbook(out)["Data"].tables
        self.assertEqual([c.name for c in tables["T1"].tableColumns], ["X", "Y", "Column3"])
        self.assertEqual([c.name for c in tables["T2"].tableColumns], ["Column1", "Column2", "Column3"])
        self.assertEqual(raw_entries(self.source)[self.parts["T3"]], raw_entries(out)[self.parts["T3"]])

    def test_control_characters_in_a_header(self):
        out = os.path.join(self.tmp.name, "linefeed.xlsx")
        res = subprocess.run([TOOL, "put-row", self.source, out, "Data", "1", "3", "Unit\nprice"],
                             capture_output=True, text=True)
        self.assertEqual(res.returncode, 0, res.stdout + res.stderr)
        with zipfile.ZipFile(out) as z:
            self.assertRegex(z.read(self.parts["T1"]).decode(), 'name="Unit_x000[aA]_price"')
        self.assertEqual(openpyxl.load_workbook(out)["Data"]["C1"].value, "Unit\nprice")


if __name__ == "__main__":
    unittest.main()
