"""Chart sheets and the other sheets a workbook lists count as sheets in Sheets (Count, Item by
position and by name, Add after the last), and a sheet of another type that holds a name used as a
worksheet makes the call fail with the reason and changes nothing. Workbooks are made by openpyxl
and read back by it."""
import os
import re
import sys
import tempfile
import unittest

import openpyxl
from openpyxl.chart import LineChart, Reference
from serverdriver import changed_entries, run_on_copy
from zipparts import rewrite

TOOL = sys.argv.pop(1)
# What adding a worksheet changes besides the new worksheet part.
ADDING = {"xl/workbook.xml", "xl/_rels/workbook.xml.rels", "[Content_Types].xml"}
CHART_NAMED = 'a chart sheet is named "Run 2"'


def build(path):
    """Header and Run 1 (worksheets), Run 2 (a chart sheet named like a slot), Flow (a chart sheet
    at the end)."""
    wb = openpyxl.Workbook()
    header = wb.active
    header.title = "Header"
    header.append(["Package", "Study"])
    run1 = wb.create_sheet("Run 1")
    for i in range(1, 6):
        run1.append([i, i * i])
    for name, column in (("Run 2", 2), ("Flow", 1)):
        chart = LineChart()
        chart.add_data(Reference(run1, min_col=column, min_row=1, max_row=5))
        wb.create_chartsheet(name).add_chart(chart)
    wb.save(path)


def add_dialog_sheet(source, path):
    """source with a dialog sheet "Dialog1" at the end."""
    def replace(name, body):
        text = body.decode()
        if name == "xl/workbook.xml":
            text = text.replace("</sheets>", '<sheet xmlns:r="http://schemas.openxmlformats.org/officeDocument/'
                                '2006/relationships" name="Dialog1" sheetId="9" r:id="rIdDialog"/></sheets>')
        elif name == "xl/_rels/workbook.xml.rels":
            text = text.replace("</Relationships>", '<Relationship Id="rIdDialog" Type="http://schemas.'
                                'openxmlformats.org/officeDocument/2006/relationships/dialogsheet" '
                                'Target="dialogsheets/sheet1.xml"/></Relationships>')
        elif name == "[Content_Types].xml":
            text = text.replace("</Types>", '<Override PartName="/xl/dialogsheets/sheet1.xml" ContentType='
                                '"application/vnd.openxmlformats-officedocument.spreadsheetml.dialogsheet+xml"/>'
                                "</Types>")
        return text.encode()
    dialog = b'<dialogsheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"/>'
    rewrite(source, path, replace, add=[("xl/dialogsheets/sheet1.xml", dialog)])


class SheetTypes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.charts = os.path.join(cls.tmp.name, "charts.xlsx")
        build(cls.charts)
        cls.dialog = os.path.join(cls.tmp.name, "dialog.xlsx")
        add_dialog_sheet(cls.charts, cls.dialog)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_sheets(self):
        fails = lambda cause: {"ok": False, "code": "0x80020009", "cause": cause}  # noqa: E731
        cases = [
            # (name, source, steps, expected results (a value, or fails(cause)), the sheet names
            #  openpyxl reads from the result, whether a worksheet part is added)
            ("counted and found by position and name", "charts",
             [["count"], ["name", 3], ["name", 4], ["name", "FLOW"], ["save"]],
             [4, "Run 2", "Flow", "Flow", None], ["Header", "Run 1", "Run 2", "Flow"], False),
            ("added before a chart sheet", "charts", [["add-before", "Flow", "Run 3"], ["save"]],
             [None, None], ["Header", "Run 1", "Run 2", "Run 3", "Flow"], True),
            ("a chart sheet named like a slot is no worksheet", "charts",
             [["write", "Run 2", 1, 1, [["x", 1]]], ["clear", "Run 2"], ["clear", "run 2", 1, 1, 2, 2],
              ["bold", "Run 2", 1, 1, 1, 1], ["format", 3, 1, 1, 1, 1, "0.0"], ["rename", "Run 2", "Other"],
              ["name", "Run 2"], ["save"]],
             [fails(CHART_NAMED)] * 6 + ["Run 2", None], ["Header", "Run 1", "Run 2", "Flow"], False),
            ("a dialog sheet counts and holds no cells", "dialog",
             [["count"], ["write", "Dialog1", 1, 1, [[1]]], ["add", "Run 3"], ["name", 6], ["save"]],
             [5, fails('a dialog sheet is named "Dialog1"'), None, "Run 3", None],
             ["Header", "Run 1", "Run 2", "Flow", "Dialog1", "Run 3"], True),
        ]
        for name, source, steps, expected, names, adds in cases:
            with self.subTest(name):
                source = getattr(self, source)
                out, results = run_on_copy(TOOL, source, self.tmp.name, re.sub(r"\W", "_", name) + ".xlsx", steps)
                for step, result, want in zip(steps, results, expected):
                    if isinstance(want, dict):
                        self.assertEqual((result["ok"], result["code"]), (False, want["code"]), step)
                        self.assertIn(want["cause"], result["description"], step)
                    else:
                        self.assertEqual(result, {"ok": True, "value": want}, step)
                self.assertEqual(openpyxl.load_workbook(out).sheetnames, names)
                changed = changed_entries(source, out)
                if adds:
                    added = {n for n in changed - ADDING if n.startswith("xl/worksheets/sheet")}
                    self.assertEqual(len(added), 1, changed)
                    self.assertEqual(changed, ADDING | added)
                else:
                    self.assertEqual(changed, set())


if __name__ == "__main__":
    unittest.main()
