"""Updating a workbook again and again through the server, as conversions do, adds cell formats,
fonts and number formats only the first time: later updates find formats equal in every property
and use them. Workbooks are made by openpyxl and read back by it."""
import copy
import os
import re
import shutil
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from serverdriver import run

TOOL = sys.argv.pop(1)
STYLES = "xl/styles.xml"
UPDATE = [
    ["clear", "Header"],
    ["write", "Header", 1, 1, [["Package", "Study"]]],
    ["bold", "Header", 1, 1, 1, 2],
    ["write", "Header", 2, 1, [[1, {"date": 45000.25}], [2, {"date": 45001}]]],
    ["format", "Header", 2, 2, 2, 1, "yyyy-mm-dd hh:mm"],
    ["write", "Run 1", 2, 1, [[0.5, 1.25], [2.5, 3.75]]],
    ["format", "Run 1", 2, 1, 2, 2, "0.000"],
    ["save"],
]


def build(path):
    """Header with a bold cell whose font is the default font made bold, and Run 1 with a number
    in a format of its own."""
    wb = openpyxl.Workbook()
    header = wb.active
    header.title = "Header"
    header["A1"] = "old"
    header["A1"].font = copy.copy(header["A1"].font) + openpyxl.styles.Font(b=True)
    run1 = wb.create_sheet("Run 1")
    run1["A1"] = 3.0
    run1["A1"].number_format = "0.0000"
    wb.save(path)


def style_counts(path):
    """(cell formats, fonts, number formats) in the style sheet."""
    with zipfile.ZipFile(path) as z:
        xml = z.read(STYLES).decode()
    def count(list_name, item):
        found = re.search(r"<%s\b[^>]*?(?:/>|>(.*?)</%s>)" % (list_name, list_name), xml, re.S)
        return len(re.findall(r"<%s\b" % item, found.group(1) or "")) if found else 0
    return count("cellXfs", "xf"), count("fonts", "font"), count("numFmts", "numFmt")


class StyleGrowth(unittest.TestCase):
    def test_ten_updates(self):
        with tempfile.TemporaryDirectory() as tmp:
            source = os.path.join(tmp, "source.xlsx")
            build(source)
            path = os.path.join(tmp, "updated.xlsx")
            shutil.copyfile(source, path)
            counts = [style_counts(path)]
            for _ in range(10):
                results = run(TOOL, path, UPDATE)
                self.assertTrue(all(r["ok"] for r in results), results)
                counts.append(style_counts(path))
            self.assertEqual(counts[2:], [counts[1]] * 9)
            # The first update adds what it needs and no more: bold (with the file's own bold font),
            # a date and a date-time format for dates written into General cells, the date format
            # put on both (one cell format), and "0.000"; two number formats.
            xfs, fonts, formats = counts[0]
            self.assertEqual(counts[1], (xfs + 5, fonts, formats + 2))

            # The cell's own number format outlives the updates.
            run1 = openpyxl.load_workbook(path)["Run 1"]
            self.assertEqual((run1["A1"].value, run1["A1"].number_format), (3.0, "0.0000"))


if __name__ == "__main__":
    unittest.main()
