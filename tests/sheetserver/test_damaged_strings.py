"""A workbook whose worksheets hold shared-string cells but that has no shared string table is
damaged: the server refuses to open it, with the reason, instead of making a table whose texts
those cells would then show. A workbook without the table and without such cells is written as
usual. Workbooks are made by openpyxl (which writes inline strings) and read back by it."""
import os
import re
import shutil
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from serverdriver import changed_entries, run, run_on_copy
from zipparts import rewrite

TOOL = sys.argv.pop(1)
NOTES = "xl/worksheets/sheet2.xml"
SST_REL = ('<Relationship Id="rIdStrings" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
           'relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>')


def build(path):
    """Header with an inline text, Notes with an inline text and a number."""
    wb = openpyxl.Workbook()
    wb.active.title = "Header"
    wb.active["A1"] = "Package"
    notes = wb.create_sheet("Notes")
    notes["A1"] = "user's note"
    notes["B1"] = 7
    wb.save(path)


def shared_string_cells(name, body):
    """Notes' inline text turned into a reference to shared string 0."""
    if name != NOTES:
        return body
    return re.sub(rb't="inlineStr"><is><t>[^<]*</t></is>', b't="s"><v>0</v>', body)


class DamagedStrings(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.plain = os.path.join(cls.tmp.name, "plain.xlsx")
        build(cls.plain)
        cls.damaged = os.path.join(cls.tmp.name, "damaged.xlsx")
        rewrite(cls.plain, cls.damaged, shared_string_cells)
        # The table's relationship is there, its part is not.
        cls.dangling = os.path.join(cls.tmp.name, "dangling.xlsx")
        rewrite(cls.damaged, cls.dangling,
                lambda n, b: b.replace(b"</Relationships>", SST_REL.encode()) if n == "xl/_rels/workbook.xml.rels"
                else b)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_refused_when_opened(self):
        for name in ("damaged", "dangling"):
            with self.subTest(name):
                source = getattr(self, name)
                path = os.path.join(self.tmp.name, name + "-copy.xlsx")
                shutil.copyfile(source, path)
                results = run(TOOL, path, [["write", "Header", 2, 1, [["Study"]]], ["save"]])
                self.assertEqual((results[0]["ok"], results[0]["code"]), (False, "0x80020009"))
                self.assertIn('is damaged: its worksheet "Notes" has shared-string cells but no shared string table',
                              results[0]["description"])
                self.assertIn(path, results[0]["description"])
                self.assertEqual(changed_entries(source, path), set())

    def test_without_string_cells_a_table_is_made(self):
        # Without a table, and with a relationship to a table that is missing: one table, one
        # relationship to it.
        with_relationship = os.path.join(self.tmp.name, "plain-dangling.xlsx")
        rewrite(self.plain, with_relationship,
                lambda n, b: b.replace(b"</Relationships>", SST_REL.encode()) if n == "xl/_rels/workbook.xml.rels"
                else b)
        for source in (self.plain, with_relationship):
            with self.subTest(os.path.basename(source)):
                out, results = run_on_copy(TOOL, source, self.tmp.name, "written.xlsx",
                                           [["write", "Header", 2, 1, [["Study", "user's note"]]], ["save"]])
                self.assertTrue(all(r["ok"] for r in results), results)
                wb = openpyxl.load_workbook(out)
                self.assertEqual([c.value for c in wb["Header"][2]], ["Study", "user's note"])
                self.assertEqual(wb["Header"]["A1"].value, "Package")
                self.assertEqual([c.value for c in wb["Notes"][1]], ["user's note", 7])
                with zipfile.ZipFile(out) as z:
                    self.assertEqual(z.read("xl/_rels/workbook.xml.rels").count(b"/sharedStrings\""), 1)
                    self.assertIn("xl/sharedStrings.xml", z.namelist())
                self.assertEqual(changed_entries(source, out),
                                 {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/workbook.xml",
                                  "xl/_rels/workbook.xml.rels", "[Content_Types].xml"}
                                 - ({"xl/_rels/workbook.xml.rels"} if source == with_relationship else set()))


if __name__ == "__main__":
    unittest.main()
