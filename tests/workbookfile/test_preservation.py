"""Builds a workbook with charts, a table, formulas and a defined name with openpyxl, edits it
through the engine, and checks that everything the engine did not touch survives."""
import re
import shutil
import sys
import unittest
import zipfile

import openpyxl
from openpyxl.chart import BarChart, LineChart, Reference
from openpyxl.comments import Comment
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import Font, PatternFill
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.table import Table
from tooltest import ToolTest
from zipparts import raw_entries, rewrite

TOOL = sys.argv.pop(1)

# Parts the edit is expected to rewrite; everything else must come through byte for byte.
CHANGED = {"[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/sharedStrings.xml",
           "xl/styles.xml", "xl/worksheets/sheet1.xml", "xl/calcChain.xml"}


# A 1x1 PNG.
PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
                    "0000000d49444154789c6360f8ffff3f0005fe02fea7d6a4f50000000049454e44ae426082")


def build_source(path):
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    data.append(["Item", "Amount", "Price"])
    for i in range(1, 8):
        data.append([f"item {i}", i * 10, i * 1.5])
    data["E1"] = "kept text"
    data["E2"] = "=SUM(B2:B8)"
    data["E3"] = 3.25
    data["E3"].font = Font(italic=True, color="FF0000")
    data["E3"].fill = PatternFill("solid", fgColor="FFFF00")
    data.column_dimensions["A"].width = 27.5
    data.row_dimensions[5].height = 30
    data.merge_cells("G1:H2")
    data.freeze_panes = "A2"
    data.conditional_formatting.add("B2:B8", CellIsRule(operator="greaterThan", formula=["40"], font=Font(bold=True)))
    data["A1"].comment = Comment("header comment", "tester")
    data.add_table(Table(displayName="Goods", ref="A1:C8"))

    chart = BarChart()
    chart.title = "Amounts"
    chart.add_data(Reference(data, min_col=2, min_row=1, max_row=8), titles_from_data=True)
    chart.set_categories(Reference(data, min_col=1, min_row=2, max_row=8))
    data.add_chart(chart, "J2")

    calc = wb.create_sheet("Calc")
    calc["A1"] = "=SUM(Data!B2:B8)"
    calc["A2"] = "=Data!C3*2"
    calc["B1"] = "=AVERAGE(Data!C2:C8)"
    line = LineChart()
    line.add_data(Reference(data, min_col=3, min_row=1, max_row=8), titles_from_data=True)
    calc.add_chart(line, "D2")

    wb.defined_names.append(DefinedName("Prices", attr_text="Data!$C$2:$C$8"))
    wb.save(path)


def add_calc_chain_and_macros(src, dst, macro):
    """Adds what openpyxl does not write: a calculation chain, an image, custom XML, and for .xlsm
    a VBA project."""
    def types(body):
        text = body.decode()
        extra = ('<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-'
                 'officedocument.spreadsheetml.calcChain+xml"/><Default Extension="png" ContentType="image/png"/>')
        if macro:
            text = text.replace("spreadsheetml.sheet.main+xml", "PLACEHOLDER")
            text = text.replace("application/vnd.openxmlformats-officedocument.PLACEHOLDER",
                                "application/vnd.ms-excel.sheet.macroEnabled.main+xml")
            extra += '<Default Extension="bin" ContentType="application/vnd.ms-office.vbaProject"/>'
        return text.replace("</Types>", extra + "</Types>").encode()

    def relationships(*extra):
        return lambda body: body.replace(b"</Relationships>", "".join(
            f'<Relationship Id="{rid}" Type="{kind}" Target="{target}"/>' for rid, kind, target in extra).encode()
            + b"</Relationships>")

    office = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    book = [("rId90", office + "calcChain", "calcChain.xml"), ("rId92", office + "customXml", "../customXml/item1.xml")]
    if macro:
        book.append(("rId91", "http://schemas.microsoft.com/office/2006/relationships/vbaProject", "vbaProject.bin"))
    rewrite(src, dst, {"[Content_Types].xml": types, "xl/_rels/workbook.xml.rels": relationships(*book),
                       "xl/drawings/_rels/drawing1.xml.rels": relationships(("rIdImg", office + "image",
                                                                              "../media/image1.png"))},
            add=[("xl/media/image1.png", PNG),
                 ("customXml/item1.xml", '<?xml version="1.0"?><data xmlns="urn:gridwell:test">kept</data>'),
                 ("xl/calcChain.xml", '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                  '<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                  '<c r="E2" i="1"/><c r="A1" i="2"/></calcChain>')]
            + ([("xl/vbaProject.bin", bytes(range(256)) * 40)] if macro else []))


class Preservation(ToolTest):
    tool = TOOL

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        build_source(cls.path("plain.xlsx"))
        cls.source, cls.edited = cls.path("source.xlsx"), cls.path("edited.xlsx")
        add_calc_chain_and_macros(cls.path("plain.xlsx"), cls.source, macro=False)
        cls.assertTool("edit", cls.source, cls.edited)
        cls.wb = openpyxl.load_workbook(cls.edited)

    def test_untouched_parts_are_byte_identical(self):
        before, after = raw_entries(self.source), raw_entries(self.edited)
        for name, raw in before.items():
            if name in CHANGED:
                continue
            self.assertIn(name, after)
            self.assertEqual(raw, after[name], name)

    def test_image_and_custom_xml_survive(self):
        with zipfile.ZipFile(self.edited) as z:
            self.assertEqual(z.read("xl/media/image1.png"), PNG)
            self.assertIn(b"kept", z.read("customXml/item1.xml"))
            rels = z.read("xl/_rels/workbook.xml.rels").decode()
            self.assertIn('Target="../customXml/item1.xml"', rels)
            self.assertIn('Extension="png"', z.read("[Content_Types].xml").decode())
            self.assertIn("rIdImg", z.read("xl/drawings/_rels/drawing1.xml.rels").decode())

    def test_calc_chain_dropped_and_recalculation_requested(self):
        with zipfile.ZipFile(self.edited) as z:
            self.assertNotIn("xl/calcChain.xml", z.namelist())
            self.assertNotIn("calcChain", z.read("xl/_rels/workbook.xml.rels").decode())
            self.assertNotIn("calcChain", z.read("[Content_Types].xml").decode())
            self.assertRegex(z.read("xl/workbook.xml").decode(), r'<calcPr[^>]*fullCalcOnLoad="1"')

    def test_new_values_and_formatting(self):
        ws = self.wb["Data"]
        self.assertEqual([ws.cell(r, 2).value for r in range(2, 5)], [1001, 1002, 1003])
        self.assertEqual([ws.cell(r, 3).value for r in range(2, 5)], ["new 1", "new 2", "new 3"])
        self.assertEqual(ws["B2"].number_format, "0.00")
        self.assertTrue(ws["A1"].font.b and ws["C1"].font.b)
        self.assertEqual(self.wb.sheetnames, ["Data", "Calc", "Added"])
        self.assertEqual(self.wb["Added"]["A1"].value, "hello")

    def test_cells_outside_the_written_range_survive(self):
        ws = self.wb["Data"]
        self.assertEqual(ws["A1"].value, "Item")
        self.assertEqual(ws["B5"].value, 40)
        self.assertEqual(ws["A8"].value, "item 7")
        self.assertEqual(ws["E1"].value, "kept text")
        self.assertEqual(ws["E2"].value, "=SUM(B2:B8)")
        self.assertEqual(ws["E3"].value, 3.25)
        self.assertTrue(ws["E3"].font.i)
        self.assertEqual(ws["E3"].fill.fgColor.rgb, "00FFFF00")

    def test_sheet_elements_survive(self):
        ws = self.wb["Data"]
        self.assertEqual(ws.column_dimensions["A"].width, 27.5)
        self.assertEqual(ws.row_dimensions[5].height, 30)
        self.assertIn("G1:H2", [str(r) for r in ws.merged_cells.ranges])
        self.assertEqual(ws.freeze_panes, "A2")
        self.assertEqual(len(ws.conditional_formatting), 1)
        self.assertEqual(ws["A1"].comment.text, "header comment")
        self.assertIn("Goods", ws.tables)
        self.assertEqual(ws.tables["Goods"].ref, "A1:C8")
        self.assertEqual(len(ws._charts), 1)

    def test_formula_sheet_chart_and_defined_name_survive(self):
        calc = self.wb["Calc"]
        self.assertEqual(calc["A1"].value, "=SUM(Data!B2:B8)")
        self.assertEqual(calc["A2"].value, "=Data!C3*2")
        self.assertEqual(len(calc._charts), 1)
        self.assertEqual(self.wb.defined_names["Prices"].attr_text, "Data!$C$2:$C$8")

    def test_overwritten_shared_formula_master_leaves_formulas_of_their_own(self):
        """Cells of a shared formula whose master is overwritten keep the formula, moved to their
        place as the spreadsheet moves a copied one, not a dangling reference the spreadsheet would
        have to repair; a formula that cannot be moved leaves the value it showed."""
        shared, out = self.path("shared.xlsx"), self.path("shared-out.xlsx")
        lead = "B2*2+$A$1+SUM(B$2:B2)+Data!C2+'Data'!$D2+LOG10(E2)+&quot;B2&quot;+COUNT(F:F)"

        def add_group(body):
            text = body.decode()
            cells = {2: f'<c r="Z2"><f t="shared" ref="Z2:AA4" si="0">{lead}</f><v>20</v></c>'
                        '<c r="AA2"><f t="shared" ref="AA2:AA3" si="1">"open</f><v>5</v></c>',
                     3: '<c r="Z3"><f t="shared" si="0"/><v>40</v></c>'
                        '<c r="AA3"><f t="shared" si="1"/><v>6</v></c>',
                     4: '<c r="Z4"><f t="shared" si="0"/><v>60</v></c><c r="AA4"><f t="shared" si="0"/><v>80</v></c>'}
            for row, cell in cells.items():
                text = re.sub(r'(<row r="%d"[^>]*>.*?)</row>' % row, lambda m: m.group(1) + cell + "</row>", text,
                              count=1, flags=re.S)
            return text.encode()

        rewrite(self.path("plain.xlsx"), shared, {"xl/worksheets/sheet1.xml": add_group})
        middle = self.path("shared-middle.xlsx")
        self.assertTool("put-number", shared, middle, "Data", 2, 26, 7)
        self.assertTool("put-number", middle, out, "Data", 2, 27, 8)
        with zipfile.ZipFile(out) as z:
            self.assertNotIn('t="shared"', z.read("xl/worksheets/sheet1.xml").decode())
        ws = openpyxl.load_workbook(out)["Data"]
        self.assertEqual([ws["Z2"].value, ws["AA2"].value], [7, 8])
        self.assertEqual(ws["Z3"].value, '=B3*2+$A$1+SUM(B$2:B3)+Data!C3+\'Data\'!$D3+LOG10(E3)+"B2"+COUNT(F:F)')
        self.assertEqual(ws["Z4"].value, '=B4*2+$A$1+SUM(B$2:B4)+Data!C4+\'Data\'!$D4+LOG10(E4)+"B2"+COUNT(F:F)')
        self.assertEqual(ws["AA4"].value, '=C4*2+$A$1+SUM(C$2:C4)+Data!D4+\'Data\'!$D4+LOG10(F4)+"B2"+COUNT(G:G)')
        # An unclosed quote is not moved: the cell keeps the value it showed.
        self.assertEqual(ws["AA3"].value, 6)

    def test_parts_with_a_namespace_prefix(self):
        """Some writers put the spreadsheet elements under a prefix (<x:worksheet>); edits keep it."""
        sample, prefixed, out = self.path("sample.xlsx"), self.path("prefixed.xlsx"), self.path("prefixed-out.xlsx")
        self.assertTool("sample", sample)
        main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"

        def prefix(name, body):
            if not name.startswith("xl/") or name.endswith(".rels"):
                return body
            text = body.decode().replace(f'xmlns="{main}"', f'xmlns:x="{main}"')
            return re.sub(r"<(/?)([A-Za-z])", r"<\1x:\2", text).encode()

        rewrite(sample, prefixed, prefix)
        self.assertTool("edit", prefixed, out)
        with zipfile.ZipFile(out) as z:
            sheet = z.read("xl/worksheets/sheet1.xml").decode()
            self.assertIn("<x:sheetData>", sheet)
            self.assertNotIn("<c ", sheet)
        wb = openpyxl.load_workbook(out)
        ws = wb["Data"]
        self.assertEqual([ws.cell(r, 2).value for r in range(2, 5)], [1001, 1002, 1003])
        self.assertEqual(ws["C3"].value, "new 2")
        self.assertEqual(ws["A1"].value, "Name")
        self.assertTrue(ws["A1"].font.b)
        self.assertEqual(ws["B2"].number_format, "0.00")
        self.assertEqual(ws["A6"].value, "ctl_x0001__x0041_ end")  # openpyxl's reading of the escapes
        self.assertEqual(wb.sheetnames[-1], "Added")
        self.assertEqual(wb["Added"]["A1"].value, "hello")

    def test_macro_project_survives_an_xlsm_round_trip(self):
        source, edited = self.path("macro.xlsm"), self.path("macro-edited.xlsm")
        add_calc_chain_and_macros(self.path("plain.xlsx"), source, macro=True)
        self.assertTool("edit", source, edited)
        self.assertEqual(raw_entries(source)["xl/vbaProject.bin"], raw_entries(edited)["xl/vbaProject.bin"])
        with zipfile.ZipFile(edited) as z:
            self.assertIn("application/vnd.ms-excel.sheet.macroEnabled.main+xml",
                          z.read("[Content_Types].xml").decode())
        wb = openpyxl.load_workbook(edited, keep_vba=True)
        self.assertEqual(wb["Added"]["A1"].value, "hello")
        # Saved as .xlsx, the macros go, as the content type requires.
        plain_out = self.path("macro-dropped.xlsx")
        self.assertTool("edit", source, plain_out)
        with zipfile.ZipFile(plain_out) as z:
            self.assertNotIn("xl/vbaProject.bin", z.namelist())
            self.assertNotIn("vbaProject", z.read("xl/_rels/workbook.xml.rels").decode())
            types = z.read("[Content_Types].xml").decode()
            self.assertNotIn("macroEnabled", types)
            self.assertIn("spreadsheetml.sheet.main+xml", types)
        self.assertEqual(openpyxl.load_workbook(plain_out)["Added"]["A1"].value, "hello")
        # A save as .xlsx that fails leaves the workbook as it was: saved in place afterwards, it
        # keeps its macros.
        copy = shutil.copyfile(source, self.path("macro-copy.xlsm"))
        self.assertTool("failed-save-as", copy, self.path("missing", "x.xlsx"))
        self.assertEqual(raw_entries(source)["xl/vbaProject.bin"], raw_entries(copy)["xl/vbaProject.bin"])
        with zipfile.ZipFile(copy) as z:
            self.assertIn("vbaProject", z.read("xl/_rels/workbook.xml.rels").decode())
            self.assertIn("macroEnabled", z.read("[Content_Types].xml").decode())


if __name__ == "__main__":
    unittest.main()
