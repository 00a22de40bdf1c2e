"""Writes into worksheets with tables made by openpyxl, and into a binary workbook with a table
saved by the spreadsheet application, and reads the result back: where cells of a table's header
row are written, the table's column names follow the new texts; where they cannot (a header cell
that holds no text, a text another column of the table has), the table no longer claims a header
row (headerRowCount 0, same area and column names, no filter buttons). Tables whose header row
was not written stay byte for byte, and so does all else of a table part."""
import os
import re
import sys
import unittest
import zipfile

import openpyxl
import openpyxl.workbook.defined_name
from openpyxl.worksheet.table import Table
from tooltest import ToolTest
from xlsbparts import records
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

    def test_a_column_that_formulas_name_is_not_renamed(self):
        """The spreadsheet renames a column in every formula that names it; the engine cannot, so
        a save that would rename such a column fails and writes nothing. Kept names may change case."""
        for where, formula in (("cell", "=SUM(T1[Amount])"), ("name", None)):
            with self.subTest(where):
                source = self.path(f"named_{where}.xlsx")
                build(source)
                wb = openpyxl.load_workbook(source)
                if formula:
                    wb["Other"]["D1"] = formula
                else:
                    name = openpyxl.workbook.defined_name.DefinedName("Prices", attr_text="t1[Price]")
                    if hasattr(wb.defined_names, "append"):
                        wb.defined_names.append(name)
                    else:
                        wb.defined_names["Prices"] = name
                wb.save(source)
                out = self.path(f"named_{where}_out.xlsx")
                rc, text = self.run_tool("put-row", source, out, "Data", 1, 1, "Alpha")
                self.assertEqual(rc, 1, text)
                self.assertIn('Cannot rename the columns of the table "T1" on the worksheet "Data"', text)
                self.assertFalse(os.path.exists(out))
                self.assertTool("put-row", source, out, "Data", 1, 1, "ITEM", "amount")
                self.check_tables(out, {"T1": ["ITEM", "amount", "Price"]})

    def test_clearing_leaves_header_rows_without_text(self):
        self.assertTool("clear", self.source, self.path("cleared.xlsx"), "Data", "X", "Y", "Z")
        self.check_tables(self.path("cleared.xlsx"), {"T1": ["X", "Y", "Z"], "T2": HEADERLESS})

    def test_control_characters_in_a_header(self):
        out = self.path("linefeed.xlsx")
        self.assertTool("put-row", self.source, out, "Data", 1, 3, "Unit\nprice")
        with zipfile.ZipFile(out) as z:
            self.assertRegex(z.read(self.parts["T1"]).decode(), 'name="Unit_x000[aA]_price"')
        self.assertEqual(openpyxl.load_workbook(out)["Data"]["C1"].value, "Unit\nprice")


class BinaryTableHeaders(ToolTest):
    """fixtures/tables.xlsb: a table over A1:C3 of "Foglio1", columns "a", "b", "c", with filter
    buttons; saved by the spreadsheet application."""
    tool = TOOL
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures", "tables.xlsb")
    part = "xl/tables/table1.bin"
    BEGIN_LIST, BEGIN_FILTER, END_FILTER, BEGIN_COLUMN = 343, 161, 162, 347

    def table_records(self, path):
        with zipfile.ZipFile(path) as z:
            return records(z.read(self.part))

    @staticmethod
    def split_caption(body):
        """A column record as (its name, its bytes without the name): the name is the
        XLNullableWideString after six numbers and stName."""
        at = 24 + 4
        if body[24:28] != b"\xff" * 4:
            at += 2 * int.from_bytes(body[24:28], "little")
        end = at + 4 + 2 * int.from_bytes(body[at:at + 4], "little")
        return body[at + 4:end].decode("utf-16-le"), body[:at] + body[end:]

    def test_written_headers_rename_columns(self):
        out = self.path("renamed.xlsb")
        self.assertTool("put-row", self.source, out, "Foglio1", 1, 1, "Alpha", "B\u00e9ta \U0001F600")
        before, after = self.table_records(self.source), self.table_records(out)
        self.assertEqual([self.split_caption(b)[0] for t, b in after if t == self.BEGIN_COLUMN],
                         ["Alpha", "B\u00e9ta \U0001F600", "c"])
        # Only the names changed.
        def unnamed(recs):
            return [(t, self.split_caption(b)[1] if t == self.BEGIN_COLUMN else b) for t, b in recs]
        self.assertEqual(unnamed(before), unnamed(after))
        changed = {n for n, e in raw_entries(out).items() if raw_entries(self.source).get(n) != e}
        self.assertEqual(changed, {"xl/workbook.bin", "xl/worksheets/sheet1.bin", "xl/sharedStrings.bin", self.part})

    def test_a_header_that_cannot_name_its_column(self):
        out = self.path("headerless.xlsb")
        self.assertTool("put-row", self.source, out, "Foglio1", 1, 3, "n:5")
        before, after = self.table_records(self.source), self.table_records(out)
        list_before, list_after = before[0][1], after[0][1]
        self.assertEqual(int.from_bytes(list_before[24:28], "little"), 1)
        self.assertEqual(list_after, list_before[:24] + bytes(4) + list_before[28:])
        # The filter goes with the header row; columns and their names stay.
        self.assertEqual(after[1:], [r for r in before[1:] if r[0] not in (self.BEGIN_FILTER, self.END_FILTER)])
        # Written again, a table without a header row stays as it is.
        again = self.path("again.xlsb")
        self.assertTool("put-row", out, again, "Foglio1", 1, 1, "New")
        self.assertEqual(self.table_records(again), after)


if __name__ == "__main__":
    unittest.main()
