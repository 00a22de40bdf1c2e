"""Writes the sample workbook with the engine and reads it back with openpyxl."""
import datetime
import hashlib
import os
import re
import shutil
import sys
import unittest
import zipfile
from xml.etree import ElementTree

import openpyxl
from readers import have_sheetjs, libreoffice_xlsx, sheetjs
from tooltest import ToolTest, content
from zipparts import cells_without_their_place

TOOL = sys.argv.pop(1)
READERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "readers")


def shared_strings(path):
    """The shared strings, with the _xHHHH_ escapes undone as the format defines them."""
    ns = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
    with zipfile.ZipFile(path) as z:
        root = ElementTree.fromstring(z.read("xl/sharedStrings.xml"))
    return [re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)),
                   "".join(t.text or "" for t in si.iter(ns + "t"))) for si in root.iter(ns + "si")]


class RoundTrip(ToolTest):
    tool, sample_command = TOOL, "sample"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.wb = openpyxl.load_workbook(cls.sample)
        cls.addClassCleanup(cls.wb.close)

    def test_sheet_order_and_names(self):
        self.assertEqual(self.wb.sheetnames, ["Sheet5", "Data", "Zweite Tabelle", "Sheet3", "Last"])
        self.assertEqual(self.wb["Last"].cell(1048576, 16384).value, 42)  # the last cell of a worksheet

    def test_header_is_bold_text(self):
        ws = self.wb["Data"]
        self.assertEqual([c.value for c in ws[1]], ["Name", "Value", "When", "Flag"])
        self.assertTrue(all(c.font.b for c in ws[1]))
        self.assertFalse(ws["A2"].font.b)

    def test_numbers_dates_booleans_and_formats(self):
        ws = self.wb["Data"]
        expected = [0.1, 1.0 / 3.0, -2.5e-300, 1.7976931348623157e308, 123456789012345678.0]
        self.assertEqual([ws.cell(r, 2).value for r in range(2, 7)], expected)
        self.assertEqual(ws["C2"].value, datetime.datetime(2023, 3, 16))
        self.assertTrue(ws["C2"].is_date)
        self.assertEqual(ws["C6"].value, datetime.datetime(2023, 3, 20, 12, 0))
        self.assertEqual([ws.cell(r, 4).value for r in range(2, 7)], [True, False, True, False, True])
        self.assertEqual(ws["B2"].number_format, "0.000")
        self.assertEqual(ws["B3"].number_format, "0.000")
        self.assertEqual(ws["B4"].number_format, '#,##0.00 "kg"')
        self.assertEqual(ws["B5"].number_format, "General")

    def test_text_is_kept_exactly(self):
        ws = self.wb["Data"]
        expected = ["plain", "  spaced  ", "=1+2", "tab\tline\nfeed\rcr"]
        self.assertEqual([ws.cell(r, 1).value for r in range(2, 6)], expected)
        # openpyxl does not undo the _xHHHH_ form; read the shared strings as the format defines them.
        self.assertIn("ctl\x01_x0041_ end", shared_strings(self.sample))
        self.assertEqual(ws.cell(4, 1).data_type, "s")  # a formula-looking text stays text
        self.assertEqual(ws["A8"].value, "\u00e9t\u00e9 \U0001F600 \u4e2d")
        self.assertEqual(ws["B8"].value, "x" * 32767)

    def test_bold_and_format_combine_and_empty_keeps_format(self):
        ws = self.wb["Zweite Tabelle"]
        self.assertIsNone(ws["A1"].value)
        self.assertTrue(ws["A1"].font.b)
        self.assertEqual(ws["A1"].number_format, "0.0")
        self.assertEqual(ws["B1"].value, 102)
        self.assertTrue(ws["B1"].font.b)
        self.assertEqual(ws["B1"].number_format, "0.0")
        self.assertFalse(ws["B2"].font.b)
        self.assertEqual(ws["B2"].number_format, "0.0")
        self.assertEqual(ws["J20"].value, 2010)
        self.assertEqual([c.value for c in ws[1][9:13]], [110, None, 112, 113])

    def test_every_cell_names_its_place(self):
        # Row 1 of "Zweite Tabelle" has a gap between J1 and L1; the later worksheets were written
        # behind while others were written.
        self.assertEqual(cells_without_their_place(self.sample), [])

    def test_package_is_complete(self):
        with zipfile.ZipFile(self.sample) as z:
            self.assertIsNone(z.testzip())
            names = z.namelist()
            self.assertEqual(names[0], "[Content_Types].xml")
            for part in ["_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/styles.xml",
                         "xl/sharedStrings.xml", "docProps/core.xml", "docProps/app.xml"]:
                self.assertIn(part, names)
            types = z.read("[Content_Types].xml").decode()
            for name in names:
                if name.endswith(".xml") and not name.startswith("["):
                    self.assertIn("/" + name, types)

    def test_same_input_gives_same_bytes(self):
        self.assertTool("sample", self.path("again.xlsx"))
        self.assertEqual(hashlib.sha256(content(self.sample)).digest(),
                         hashlib.sha256(content(self.path("again.xlsx"))).digest())

    def test_worksheets_deflated_piece_by_piece_hold_the_same_xml(self):
        streamed = self.path("streamed.xlsx")
        self.assertTool("sample-streamed", streamed)
        with zipfile.ZipFile(self.sample) as whole, zipfile.ZipFile(streamed) as pieces:
            self.assertIsNone(pieces.testzip())
            self.assertEqual(whole.namelist(), pieces.namelist())
            for name in whole.namelist():
                self.assertEqual(whole.read(name), pieces.read(name), name)
        wb = openpyxl.load_workbook(streamed)
        self.assertEqual(wb["Data"]["B3"].value, 1.0 / 3.0)
        self.assertEqual(wb["Last"].cell(1048576, 16384).value, 42)

    def test_macro_enabled_content_type(self):
        xlsm = self.path("sample.xlsm")
        self.assertTool("sample-xlsm", xlsm)
        with zipfile.ZipFile(xlsm) as z:
            self.assertIn("application/vnd.ms-excel.sheet.macroEnabled.main+xml",
                          z.read("[Content_Types].xml").decode())
        wb = openpyxl.load_workbook(xlsm, keep_vba=True)
        self.assertEqual(wb["Data"]["A2"].value, "plain")

    def test_other_readers_place_cells_after_a_gap_where_openpyxl_does(self):
        """Row 1 of "Zweite Tabelle": A1 to J1, a gap, then L1 and M1. SheetJS and LibreOffice (read
        back from its .xlsx export) see the same cells."""
        expected = {"A1": None, "J1": 110, "K1": None, "L1": 112, "M1": 113}
        readers = 0
        if have_sheetjs(READERS):
            readers += 1
            got = sheetjs(READERS, [self.sample])[self.sample]["cells"]["Zweite Tabelle"]
            self.assertEqual({ref: got[ref][1] if ref in got else None for ref in expected}, expected)
        if shutil.which("soffice"):
            readers += 1
            lo = libreoffice_xlsx([self.sample], self.path("lo"), self.path("profile"))[self.sample]
            ws = openpyxl.load_workbook(lo)["Zweite Tabelle"]
            self.assertEqual({ref: ws[ref].value for ref in expected}, expected)
        if not readers:
            self.skipTest("neither SheetJS nor LibreOffice is installed (scripts/install-test-readers.sh)")


if __name__ == "__main__":
    unittest.main()
