"""Clears a worksheet that openpyxl filled with everything a sheet can carry, writes a new header
through the engine and reads the result back with openpyxl: values, formats, merged ranges,
conditional formats (also the newer ones kept in extensions), validations, hyperlinks, comments,
threaded comments and the autofilter are gone with the parts only they used; column widths,
views, the chart and every other part stay."""
import re
import sys
import unittest
import warnings
import zipfile

import openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import Font
from openpyxl.worksheet.datavalidation import DataValidation
from tooltest import ToolTest
from zipparts import raw_entries, rewrite

TOOL = sys.argv.pop(1)

SHEET, SHEET_RELS = "xl/worksheets/sheet1.xml", "xl/worksheets/_rels/sheet1.xml.rels"
COMMENTS, VML = "xl/comments/comment1.xml", "xl/drawings/commentsDrawing1.vml"
THREADS, KEPT_THREADS, PERSONS = ("xl/threadedComments/threadedComment1.xml",
                                  "xl/threadedComments/threadedComment2.xml", "xl/persons/person.xml")
# Parts the clear and the new header rewrite; every other part must come through byte for byte.
REWRITTEN = {SHEET, SHEET_RELS, "[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
             "xl/sharedStrings.xml"}

X14 = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main"
XM = "http://schemas.microsoft.com/office/excel/2006/main"
EXTENSIONS = (
    f'<extLst><ext uri="{{78C0D931-6437-407d-A8EE-F0AAD7539E65}}" xmlns:x14="{X14}"><x14:conditionalFormattings>'
    f'<x14:conditionalFormatting xmlns:xm="{XM}"><x14:cfRule type="dataBar" id="{{00000000-0000-0000-0000-000000000001}}">'
    '<x14:dataBar><x14:cfvo type="autoMin"/><x14:cfvo type="autoMax"/></x14:dataBar></x14:cfRule>'
    '<xm:sqref>C2:C10</xm:sqref></x14:conditionalFormatting></x14:conditionalFormattings></ext>'
    f'<ext uri="{{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}}" xmlns:x14="{X14}"><x14:dataValidations count="1" '
    f'xmlns:xm="{XM}"><x14:dataValidation type="list" allowBlank="1"><x14:formula1><xm:f>Keep!$A$1:$A$2</xm:f>'
    '</x14:formula1><xm:sqref>A5:A9</xm:sqref></x14:dataValidation></x14:dataValidations></ext>'
    f'<ext uri="{{05C60535-1F16-4fd2-B633-F4F36F0B64E0}}" xmlns:x14="{X14}"><x14:sparklineGroups xmlns:xm="{XM}">'
    '<x14:sparklineGroup><x14:sparklines><x14:sparkline><xm:f>Old!B2:C2</xm:f><xm:sqref>D2</xm:sqref>'
    '</x14:sparkline></x14:sparklines></x14:sparklineGroup></x14:sparklineGroups></ext></extLst>')

THREADED_TYPE = "http://schemas.microsoft.com/office/2017/10/relationships/threadedComment"
PERSON_TYPE = "http://schemas.microsoft.com/office/2017/10/relationships/person"
TC_NS = "http://schemas.microsoft.com/office/spreadsheetml/2018/threadedcomments"
PERSON_ID = "{11111111-1111-1111-1111-111111111111}"


def thread(ref, text):
    return (f'<ThreadedComments xmlns="{TC_NS}"><threadedComment ref="{ref}" dT="2024-01-01T00:00:00.00" '
            f'personId="{PERSON_ID}" id="{{22222222-2222-2222-2222-22222222222{len(text) % 10}}}"><text>{text}</text>'
            '</threadedComment></ThreadedComments>').encode()


def build(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Old"
    for r in range(1, 11):
        ws.append([f"t{r}", r, r * 2.5])
    ws["A1"].font = Font(bold=True)
    ws.merge_cells("A1:C1")
    ws.merge_cells("E5:F6")
    ws.conditional_formatting.add("B2:B10", CellIsRule(operator="greaterThan", formula=["4"], font=Font(bold=True)))
    validation = DataValidation(type="whole", operator="between", formula1="1", formula2="10")
    ws.add_data_validation(validation)
    validation.add("B2:B10")
    ws["A2"].hyperlink = "https://example.com/report"
    ws["A4"].comment = Comment("old note", "me")
    ws.auto_filter.ref = "A1:C10"
    ws.column_dimensions["A"].width = 31.5
    ws.freeze_panes = "B2"
    chart = BarChart()
    chart.add_data(Reference(ws, min_col=2, min_row=1, max_row=10))
    ws.add_chart(chart, "H2")
    keep = wb.create_sheet("Keep")
    keep["A1"] = "stays"
    keep["A1"].comment = Comment("kept note", "me")
    keep.merge_cells("A3:B4")
    wb.save(path)


def add_extras(src, dst, threads_on_keep, control_in_vml):
    """Adds what openpyxl does not write: extensions with newer conditional formats, validations
    and sparklines; threaded comments and the workbook's list of people; a form control in the
    comment drawing."""
    def relationship(rid, rtype, target):
        return f'<Relationship Id="{rid}" Type="{rtype}" Target="{target}"/>'.encode()

    def replace(name, body):
        if name == SHEET:
            body = body.replace(b"</worksheet>", EXTENSIONS.encode() + b"</worksheet>")
            body = body.replace(b"<sheetPr>", b'<sheetPr filterMode="1">')
        elif name == SHEET_RELS:
            body = body.replace(b"</Relationships>", relationship("rIdT", THREADED_TYPE, "../threadedComments/"
                                                                  "threadedComment1.xml") + b"</Relationships>")
        elif name == "xl/worksheets/_rels/sheet2.xml.rels" and threads_on_keep:
            body = body.replace(b"</Relationships>", relationship("rIdT", THREADED_TYPE, "../threadedComments/"
                                                                  "threadedComment2.xml") + b"</Relationships>")
        elif name == "xl/_rels/workbook.xml.rels":
            body = body.replace(b"</Relationships>", relationship("rIdP", PERSON_TYPE, "persons/person.xml") +
                                b"</Relationships>")
        elif name == "[Content_Types].xml":
            extra = "".join(f'<Override PartName="/{part}" ContentType="application/vnd.ms-excel.{kind}+xml"/>'
                            for part, kind in ((THREADS, "threadedcomments"), (KEPT_THREADS, "threadedcomments"),
                                               (PERSONS, "person")))
            body = body.replace(b"</Types>", extra.encode() + b"</Types>")
        elif name == VML and control_in_vml:
            button = (b'<v:shape xmlns:v="urn:schemas-microsoft-com:vml" id="_x0000_s2049"><x:ClientData '
                      b'xmlns:x="urn:schemas-microsoft-com:office:excel" ObjectType="Button"/></v:shape></xml>')
            body = body.replace(b"</xml>", button)
        return body

    people = (f'<personList xmlns="{TC_NS}"><person displayName="Me" id="{PERSON_ID}" userId="me" '
              'providerId="None"/></personList>').encode()
    rewrite(src, dst, replace, add=[(THREADS, thread("A4", "threaded")), (KEPT_THREADS, thread("A1", "kept")),
                                    (PERSONS, people)])


class ClearWorksheet(ToolTest):
    tool = TOOL

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.plain = cls.path("plain.xlsx")
        build(cls.plain)

    def cleared(self, name, threads_on_keep=False, control_in_vml=False):
        source, out = self.path(name + ".xlsx"), self.path(name + "-cleared.xlsx")
        add_extras(self.plain, source, threads_on_keep, control_in_vml)
        self.assertTool("clear", source, out, "Old", "First", "Second", "Third")
        return source, out

    def test_cleared_sheet_as_openpyxl_reads_it(self):
        _, out = self.cleared("read")
        with warnings.catch_warnings():
            # openpyxl announces the extensions it does not read; the raw parts are checked below.
            warnings.simplefilter("ignore", UserWarning)
            wb = openpyxl.load_workbook(out)
        ws = wb["Old"]
        # The new header is whole: no leftover merged range hides its second and third cell.
        self.assertEqual([c.value for c in ws[1]], ["First", "Second", "Third"])
        self.assertFalse(ws["A1"].font.b)
        self.assertEqual(ws.max_row, 1)
        self.assertEqual(list(ws.merged_cells.ranges), [])
        self.assertEqual(len(ws.conditional_formatting), 0)
        self.assertEqual(ws.data_validations.dataValidation, [])
        self.assertEqual(ws._hyperlinks, [])
        self.assertIsNone(ws["A2"].hyperlink)
        self.assertIsNone(ws["A4"].comment)
        self.assertIsNone(ws.auto_filter.ref)
        # What describes the sheet rather than its cells stays.
        self.assertEqual(ws.column_dimensions["A"].width, 31.5)
        self.assertEqual(ws.freeze_panes, "B2")
        self.assertEqual(len(ws._charts), 1)
        keep = wb["Keep"]
        self.assertEqual(keep["A1"].comment.text, "kept note")
        self.assertEqual([str(r) for r in keep.merged_cells.ranges], ["A3:B4"])

    def test_parts_and_relationships(self):
        cases = [
            # (name, threaded comments on the other sheet, form control in the comment drawing)
            ("people go with the last threads", False, False),
            ("people stay for another sheet's threads", True, False),
            ("a drawing with a form control stays", False, True),
        ]
        for name, threads_on_keep, control in cases:
            with self.subTest(name):
                source, out = self.cleared(re.sub(r"\W", "_", name), threads_on_keep, control)
                before, after = raw_entries(source), raw_entries(out)
                gone = {COMMENTS, THREADS} | ({PERSONS} if not threads_on_keep else set()) | \
                    ({VML} if not control else set())
                self.assertEqual(set(before) - set(after), gone)
                for part, raw in before.items():
                    if part not in REWRITTEN | gone:
                        self.assertEqual(raw, after[part], part)
                with zipfile.ZipFile(out) as z:
                    sheet = z.read(SHEET).decode()
                    rels = z.read(SHEET_RELS).decode()
                    types = z.read("[Content_Types].xml").decode()
                    book_rels = z.read("xl/_rels/workbook.xml.rels").decode()
                for element in ("mergeCell", "conditionalFormatting", "dataValidation", "hyperlink", "autoFilter",
                                "filterMode"):
                    self.assertNotIn(element, sheet)
                self.assertIn("sparklineGroups", sheet)
                self.assertRegex(sheet, r'<col [^>]*width="31.5"')
                self.assertEqual("legacyDrawing" in sheet, control)
                self.assertEqual("vmlDrawing" in rels, control)
                for gone_rel in ('relationships/hyperlink"', 'relationships/comments"', "threadedComment"):
                    self.assertNotIn(gone_rel, rels)
                self.assertIn("/drawing", rels)
                for part in gone:
                    self.assertNotIn("/" + part, types)
                self.assertEqual("person" in book_rels, threads_on_keep)


if __name__ == "__main__":
    unittest.main()
