"""A workbook whose worksheets hold shared-string cells but that has no shared string table is
damaged: the server refuses to open it, naming the file and the reason. A workbook without the
table and without such cells, but with a relationship to the missing table, is written with one
table and one relationship to it. Workbooks are made by openpyxl (which writes inline strings)
and read back by it."""
import os
import re
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from serverdriver import changed_entries, run, run_on_copy
from zipparts import rewrite

TOOL = sys.argv.pop(1)
RELS = "xl/_rels/workbook.xml.rels"
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


class DamagedStrings(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.plain = os.path.join(self.tmp.name, "plain.xlsx")
        build(self.plain)

    def test_refusal_names_the_file(self):
        damaged = os.path.join(self.tmp.name, "damaged.xlsx")
        rewrite(self.plain, damaged, lambda n, b: re.sub(rb't="inlineStr"><is><t>[^<]*</t></is>', b't="s"><v>0</v>', b)
                if n == "xl/worksheets/sheet2.xml" else b)
        self.assertIn(f'The workbook "{damaged}" is damaged: its worksheet "Notes" has shared-string cells but no '
                      "shared string table", run(TOOL, damaged, [])[0]["description"])

    def test_relationship_to_a_missing_table(self):
        source = os.path.join(self.tmp.name, "plain-dangling.xlsx")
        rewrite(self.plain, source, lambda n, b: b.replace(b"</Relationships>", SST_REL.encode()) if n == RELS else b)
        out, results = run_on_copy(TOOL, source, self.tmp.name, "written.xlsx",
                                   [["write", "Header", 2, 1, [["Study", "user's note"]]], ["save"]])
        self.assertTrue(all(r["ok"] for r in results), results)
        wb = openpyxl.load_workbook(out)
        self.assertEqual([c.value for c in wb["Header"][2]], ["Study", "user's note"])
        self.assertEqual(wb["Header"]["A1"].value, "Package")
        self.assertEqual([c.value for c in wb["Notes"][1]], ["user's note", 7])
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.read(RELS).count(b"/sharedStrings\""), 1)
            self.assertIn("xl/sharedStrings.xml", z.namelist())
        self.assertEqual(changed_entries(source, out),
                         {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/workbook.xml", "[Content_Types].xml"})


if __name__ == "__main__":
    unittest.main()
