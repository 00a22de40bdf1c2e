"""Writes into worksheets with tables made by openpyxl and reads the result back: where cells of a
table's header row are written, the table's column names follow the new texts; where they cannot
(a header cell that holds no text, a text another column of the table has), the table no longer
claims a header row (headerRowCount 0, same area and column names, no filter buttons). Tables
whose header row was not written stay byte for byte."""
import re
import sys
import unittest
import zipfile

import openpyxl
from openpyxl.worksheet.table import Table
from tooltest import ToolTest
from zipparts import raw_entries, table_parts

TOOL = sys.argv.pop(1)

HEADERS = {"T1": ["Item", "Amount", "Price"], "T2": ["Column2", "x", "y"], "T3": ["Key", "Value"]}
REFS = {"T1": "A1:C5", "T2": "E1:G3", "T3": "A1:B2"}
HEADERLESS = object()


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


class TableHeaders(ToolTest):
    tool = TOOL

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.source = cls.path("tables.xlsx")
        build(cls.source)
        cls.parts = table_parts(cls.source)

    def check_tables(self, out, expected):
        """expected: table -> its column names, or HEADERLESS; the other tables stay byte for byte."""
        wb = openpyxl.load_workbook(out)
        tables = {**wb["Data"].tables, **wb["Other"].tables}
        before, after = raw_entries(self.source), raw_entries(out)
        for table, part in self.parts.items():
            names = [c.name for c in tables[table].tableColumns]
            want = expected.get(table, HEADERS[table])
            headerless = want is HEADERLESS
            self.assertEqual(names, HEADERS[table] if headerless else want, table)
            self.assertEqual(tables[table].headerRowCount == 0, headerless, table)
            self.assertEqual(tables[table].ref, REFS[table], table)
            if headerless:
                self.assertIsNone(tables[table].autoFilter, table)
            if table not in expected:
                self.assertEqual(before[part], after[part], table)

    def test_written_headers_rename_columns(self):
        cases = [
            # (name, row, column, values written, expected names of the tables that change)
            ("texts replace names", 1, 1, ["Alpha", "Beta"], {"T1": ["Alpha", "Beta", "Price"]}),
            ("equal texts", 1, 1, ["Same", "same", "Same"], {"T1": HEADERLESS}),
            ("a number header", 1, 1, ["n:2020", "Amount", "Name"], {"T1": HEADERLESS}),
            ("an empty header", 1, 1, ["Item", "e:", "Name"], {"T1": HEADERLESS}),
            ("a kept name taken by a text", 1, 2, ["Item"], {"T1": HEADERLESS}),
            ("a number beside a kept name", 1, 6, ["n:5"], {"T2": HEADERLESS}),
            ("across two tables", 1, 1, list("abcdefg"), {"T1": ["a", "b", "c"], "T2": ["e", "f", "g"]}),
            ("one of two tables without a header", 1, 1, ["a", "b", "c", "d", "n:1", "f", "g"],
             {"T1": ["a", "b", "c"], "T2": HEADERLESS}),
            ("below the header row", 2, 1, ["zz", "n:1", "n:2"], {}),
            ("unchanged texts", 1, 1, ["Item", "Amount"], {}),
        ]
        for name, row, column, values, expected in cases:
            with self.subTest(name):
                out = self.path(re.sub(r"\W", "_", name) + ".xlsx")
                self.assertTool("put-row", self.source, out, "Data", row, column, *values)
                self.check_tables(out, expected)

    def test_clearing_leaves_header_rows_without_text(self):
        self.assertTool("clear", self.source, self.path("cleared.xlsx"), "Data", "X", "Y", "Z")
        self.check_tables(self.path("cleared.xlsx"), {"T1": ["X", "Y", "Z"], "T2": HEADERLESS})

    def test_control_characters_in_a_header(self):
        out = self.path("linefeed.xlsx")
        self.assertTool("put-row", self.source, out, "Data", 1, 3, "Unit\nprice")
        with zipfile.ZipFile(out) as z:
            self.assertRegex(z.read(self.parts["T1"]).decode(), 'name="Unit_x000[aA]_price"')
        self.assertEqual(openpyxl.load_workbook(out)["Data"]["C1"].value, "Unit\nprice")


if __name__ == "__main__":
    unittest.main()
