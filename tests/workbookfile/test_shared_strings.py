"""The shared string table's counts after edits: count is the number of cells in the whole workbook
that refer to the table (also in worksheets the edit never read), uniqueCount the number of
strings in it. Counted here from the saved parts with Python's own XML parser."""
import re
import sys
import unittest
import xml.etree.ElementTree as ET
import zipfile

import openpyxl
from tooltest import ToolTest
from zipparts import raw_entries, rewrite

TOOL = sys.argv.pop(1)
MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
SST = "xl/sharedStrings.xml"


def counts(path):
    """(count, uniqueCount) as stated, (references in all worksheets, strings) as found."""
    with zipfile.ZipFile(path) as z:
        sst = ET.fromstring(z.read(SST))
        references = sum(1 for name in z.namelist() if name.startswith("xl/worksheets/sheet")
                         for c in ET.fromstring(z.read(name)).iter(MAIN + "c") if c.get("t") == "s")
    stated = (sst.get("count"), sst.get("uniqueCount"))
    return stated, (str(references), str(len(sst.findall(MAIN + "si"))))


def with_count(body, count):
    """The table's start tag with the given count attribute (None: without one)."""
    text = re.sub(r' count="\d+"', "", body.decode(), count=1)
    if count is not None:
        text = text.replace("<sst ", f'<sst count="{count}" ', 1)
    return text.encode()


class SharedStringCounts(ToolTest):
    tool, sample_command = TOOL, "sample"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Sources whose count is right, and one that states none.
        _, (references, _) = counts(cls.sample)
        cls.sources = {name: cls.path(name + ".xlsx") for name in ("counted", "uncounted")}
        for name, count in (("counted", references), ("uncounted", None)):
            rewrite(cls.sample, cls.sources[name], {SST: lambda b, c=count: with_count(b, c)})

    def test_counts_after_edits(self):
        cases = [
            # (name, tool command after "<in> <out>")
            ("strings replaced by numbers", ["put-row", "Data", "2", "1", "n:1", "n:2"]),
            ("new strings", ["put-row", "Data", "20", "1", "fresh", "newer", "newest"]),
            ("strings already in the table", ["put-row", "Data", "20", "1", "plain", "plain", "Name"]),
            ("numbers over strings and new strings", ["put-row", "Data", "2", "1", "n:5", "another"]),
            ("a worksheet cleared", ["clear", "Data"]),
            ("another worksheet written", ["put-row", "Zweite Tabelle", "30", "1", "x", "y"]),
        ]
        for source_name, source in self.sources.items():
            for name, command in cases:
                with self.subTest(source=source_name, case=name):
                    out = self.path(source_name + "-" + re.sub(r"\W", "_", name) + ".xlsx")
                    self.assertTool(command[0], source, out, *command[1:])
                    stated, found = counts(out)
                    self.assertEqual(stated, found)
                    openpyxl.load_workbook(out).close()

    def test_table_untouched_when_references_do_not_change(self):
        out, source = self.path("numbers-only.xlsx"), self.sources["counted"]
        self.assertTool("put-row", source, out, "Zweite Tabelle", 2, 1, "n:7", "n:8")
        self.assertEqual(raw_entries(source)[SST], raw_entries(out)[SST])


if __name__ == "__main__":
    unittest.main()
