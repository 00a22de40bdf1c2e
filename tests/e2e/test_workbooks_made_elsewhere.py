"""Workbooks made elsewhere (here by openpyxl, at test time), converted into by the built
executable and read back by two independent readers: openpyxl, and openpyxl on LibreOffice Calc's
re-export (skipped without soffice). In every case the entries a conversion has no business with
stay byte for byte, and a refused conversion leaves the whole file as it was."""
import datetime
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

import openpyxl
from openpyxl.chart import LineChart, Reference
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from openpyxl.workbook.protection import WorkbookProtection
from openpyxl.worksheet.table import Table

GRIDWELL = sys.argv[1]
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "workbookfile")]
from pvxgen import Package, Run, Slot, steps  # noqa: E402
import reopen  # noqa: E402
from readers import libreoffice_xlsx  # noqa: E402
from workbookcheck import SHORT, Checker, date_format, expected_sheets  # noqa: E402
from zipparts import raw_entries, rewrite  # noqa: E402

HAVE_LIBREOFFICE = shutil.which("soffice") is not None
SLOTS = ["Lk0Otflw", "Lk1Otflw"]
HEADER, NOTES = "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"
# What any conversion may rewrite; every other entry it finds stays as it was.
REWRITTEN = {"[Content_Types].xml", "xl/_rels/workbook.xml.rels", "xl/workbook.xml", "xl/styles.xml",
             "xl/sharedStrings.xml", HEADER}
KEPT_DATE = datetime.datetime(2001, 2, 3, 4, 5, 6)
SST_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"
SST_REL = ('<Relationship Id="rIdSst" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
           'sharedStrings" Target="sharedStrings.xml"/>')
SST = (b'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="1" uniqueCount="1">'
       b"<si><t>user's note</t></si></sst>")


def study(offset):
    stamps = steps(datetime.datetime(2021, 1, 2), 4)
    return Package([Run(stamps, [Slot(f"Lake {k}", "Outflow", values=[offset + r * 100 + k * 10 + t / 4
                                                                      for t in range(4)]) for k in range(2)])
                    for r in range(2)])


def base(epoch1904=False, data_sheets=False):
    """Header holding old bold text, Notes holding the user's numbers, text and a date."""
    wb = openpyxl.Workbook()
    if epoch1904:
        wb.epoch = CALENDAR_MAC_1904
    header = wb.active
    header.title = "Header"
    header["A1"], header["K40"] = "old", "old too"
    header["A1"].font = openpyxl.styles.Font(b=True)
    notes = wb.create_sheet("Notes")
    notes.append([1.5, 2.5])
    notes.append(["user's note", KEPT_DATE])
    notes["B2"].number_format = "yyyy-mm-dd hh:mm:ss"
    for name in SLOTS if data_sheets else []:
        wb.create_sheet(name)["A1"] = "old " + name
    return wb


def laid_out(wb):
    """Header and the first data worksheet with widths and views of the user's own."""
    wb["Header"].column_dimensions["A"].width = 5.0
    wb["Header"].freeze_panes = "C3"
    wb.create_sheet(SLOTS[0]).column_dimensions["B"].width = 3.0
    return wb


def chart_sheet(wb, name):
    chart = LineChart()
    chart.add_data(Reference(wb["Notes"], min_col=1, min_row=1, max_row=2))
    wb.create_chartsheet(name).add_chart(chart)
    return wb


def protected(wb, structure):
    if structure:
        wb.security = WorkbookProtection(lockStructure=True)
    else:
        wb["Header"].protection.sheet = True
    return wb


def tabled(wb):
    """Tables whose header rows the conversion writes with texts (Header row 1, the first slot
    worksheet's row 1), with a run and dates (Header row 4), with a date and numbers (the second
    slot worksheet's row 2); and one on Notes that no conversion writes."""
    for sheet, name, ref in [("Header", "Package", "A1:C3"), ("Header", "Runs", "A4:C5"),
                             ("Notes", "Kept", "D1:E2"), (SLOTS[0], "Flows", "A1:C5"), (SLOTS[1], "Steps", "A2:C5")]:
        for k, cell in enumerate(wb[sheet][ref][0]):
            cell.value = f"Column{k + 1}"  # the names openpyxl gives the table's columns
        wb[sheet].add_table(Table(displayName=name, ref=ref))
    return wb


def shared_strings(path, table=True, relationship=True):
    """A workbook with Notes' text as a shared string; the table's entry, and its relationship with
    its content type override, each present or left out."""
    source = path + ".inline.xlsx"
    base().save(source)
    def replace(name, body):
        if name == NOTES:
            return re.sub(rb't="inlineStr"><is><t>[^<]*</t></is>', b't="s"><v>0</v>', body)
        if relationship and name == "xl/_rels/workbook.xml.rels":
            return body.replace(b"</Relationships>", SST_REL.encode() + b"</Relationships>")
        if relationship and name == "[Content_Types].xml":
            return body.replace(b"</Types>", b'<Override PartName="/xl/sharedStrings.xml" ContentType="'
                                + SST_TYPE.encode() + b'"/></Types>')
        return body
    rewrite(source, path, replace, add=[("xl/sharedStrings.xml", SST)] if table else [])


# name -> (how the workbook is made, exit status, the log's causes, entries written besides REWRITTEN)
CASES = {
    "fresh": (None, 0, None, set()),
    "dates1904": (lambda: base(epoch1904=True), 0, None, set()),
    "chart_last": (lambda: chart_sheet(base(), "Flow"), 0, None, set()),
    "chart_named": (lambda: chart_sheet(base(), SLOTS[1]), 1, [f'a chart sheet is named "{SLOTS[1]}"'], None),
    "header_protected": (lambda: protected(base(), False), 1,
                         ['worksheet "Header"', "protected", "locked"], None),
    "structure_locked": (lambda: protected(base(), True), 1, ["structure", "protected"], None),
    "structure_locked_full": (lambda: protected(base(data_sheets=True), True), 0, None,
                              {"xl/worksheets/sheet3.xml", "xl/worksheets/sheet4.xml"}),
    "tables": (lambda: tabled(base(data_sheets=True)), 0, None,
               {"xl/worksheets/sheet3.xml", "xl/worksheets/sheet4.xml", "xl/tables/table1.xml",
                "xl/tables/table2.xml", "xl/tables/table4.xml", "xl/tables/table5.xml"}),  # table3: Kept
    "strings": (lambda path: shared_strings(path), 0, None, set()),
    "strings_lost": (lambda path: shared_strings(path, table=False, relationship=False), 1,
                     ["damaged", 'worksheet "Notes"', "shared-string cells"], None),
    "strings_dangling": (lambda path: shared_strings(path, table=False), 1,
                         ["damaged", 'worksheet "Notes"', "shared-string cells"], None),
    "updates": (lambda: base(), 0, None, set()),
    "laid_out": (lambda: laid_out(base()), 0, None, {"xl/worksheets/sheet3.xml"}),
}
UPDATES = 10
TMP = tempfile.TemporaryDirectory()
RESULT = {}  # name -> (statuses, the original's entries, its digest, log text, style counts)
REEXPORT = {}  # name -> LibreOffice's re-export


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def style_counts(path):
    """(cellXfs count attribute, cell formats, fonts count attribute, fonts) of the style sheet."""
    xml = raw_text(path, "xl/styles.xml")
    out = []
    for group, item in (("cellXfs", "xf"), ("fonts", "font")):
        found = re.search(r'<%s\b[^>]*?count="(\d+)"[^>]*>(.*?)</%s>' % (group, group), xml, re.S)
        out += [int(found.group(1)), len(re.findall(r"<%s\b" % item, found.group(2)))]
    return tuple(out)


def raw_text(path, entry):
    with zipfile.ZipFile(path) as z:
        return z.read(entry).decode()


def convert(pvx, path):
    log = path[:-5] + ".log"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    status = subprocess.run([GRIDWELL, "-i", pvx, "-o", path, "-l", log], env=env, capture_output=True,
                            timeout=300).returncode
    reopen.check_run(["-o", path], status)
    with open(log, encoding="utf-8") as f:
        return status, f.read()


def setUpModule():
    pvx = os.path.join(TMP.name, "study.pvx")
    for name, (make, *_) in CASES.items():
        path = os.path.join(TMP.name, name + ".xlsx")
        if make and make.__code__.co_argcount:
            make(path)
        elif make:
            make().save(path)
        before = raw_entries(path) if make else {}
        old = digest(path) if make else None
        statuses, counts = [], [style_counts(path)] if make else []
        for k in range(UPDATES if name == "updates" else 1):
            study(k).write(pvx)
            status, log = convert(pvx, path)
            statuses.append(status)
            counts.append(style_counts(path) if os.path.exists(path) else None)
        RESULT[name] = (statuses, before, old, log, counts)
    if HAVE_LIBREOFFICE:
        done = [os.path.join(TMP.name, n + ".xlsx") for n, r in RESULT.items() if r[0][-1] == 0]
        exports = libreoffice_xlsx(done, os.path.join(TMP.name, "libreoffice"), os.path.join(TMP.name, "profile"))
        REEXPORT.update({os.path.basename(p)[:-5]: out for p, out in exports.items()})


def tearDownModule():
    TMP.cleanup()


class Files(unittest.TestCase):
    """Statuses, logs and bytes, whatever reads the workbooks."""

    def test_statuses_and_untouched_entries(self):
        for name, (_, status, causes, written) in CASES.items():
            statuses, before, old, log, _ = RESULT[name]
            path = os.path.join(TMP.name, name + ".xlsx")
            with self.subTest(name):
                self.assertEqual(set(statuses), {status}, log)
                if status:
                    # The causes, then the automation layer's message (indented by one space).
                    *lines, message = log.split("Gridwell Error: \n", 1)[1].rstrip("\n").split("\n")
                    self.assertTrue(message.startswith(" ") and name in message, log)
                    naming = [n for n, line in enumerate(lines) if all(word in line for word in causes)]
                    self.assertTrue(naming, log)
                    if name == "chart_named":
                        self.assertEqual(naming, [len(lines) - 1], log)
                    # A worksheet that is missing is the ordinary way to a new one, not a cause.
                    self.assertNotIn("There is no such sheet", log)
                    self.assertEqual(digest(path), old)
                    continue
                self.assertIn("Gridwell: Workbook write successfully completed\n", log)
                self.assertNotIn("Error", log)
                after = raw_entries(path)
                kept = set(before) - REWRITTEN - written
                self.assertEqual({n for n in kept if after.get(n) != before[n]}, set())
                self.assertTrue(not before or NOTES in kept)

    def test_workbook_settings_stay(self):
        wb = openpyxl.load_workbook(os.path.join(TMP.name, "structure_locked_full.xlsx"))
        self.assertTrue(wb.security.lockStructure)
        self.assertEqual(openpyxl.load_workbook(os.path.join(TMP.name, "dates1904.xlsx")).epoch, CALENDAR_MAC_1904)

    def test_formats_reused_by_later_updates(self):
        counts = RESULT["updates"][4]
        self.assertEqual(counts[2:], [counts[1]] * (UPDATES - 1))
        for xfs_count, xfs, fonts_count, fonts in counts:
            self.assertEqual((xfs_count, fonts_count), (xfs, fonts))


    def test_worksheets_that_existed_keep_their_widths_and_views(self):
        wb = openpyxl.load_workbook(os.path.join(TMP.name, "laid_out.xlsx"))
        header, kept, added = wb["Header"], wb[SLOTS[0]], wb[SLOTS[1]]
        self.assertEqual((header.column_dimensions["A"].width, header.freeze_panes), (5.0, "C3"))
        self.assertEqual((kept.column_dimensions["B"].width, kept.freeze_panes), (3.0, None))
        # The worksheet the conversion added shows its dates whole and keeps its headings in view.
        self.assertEqual(added.freeze_panes, "B2")
        self.assertGreater(added.column_dimensions["A"].width, 9.140625)


class Reads:
    """What a reader reads from the converted workbooks; read(name) gives an openpyxl Workbook."""

    def values(self, ws):
        return [[c.value for c in row] for row in ws.iter_rows()]

    def test_dates_of_a_1904_workbook(self):
        fresh, book = self.read("fresh"), self.read("dates1904")
        for sheet in ["Header"] + SLOTS:
            with self.subTest(sheet):
                self.assertEqual(self.values(book[sheet]), self.values(fresh[sheet]))
        self.assertEqual(book["Header"]["B4"].value, datetime.datetime(2021, 1, 1, 23, 59))
        self.assertEqual(book[SLOTS[1]]["A5"].value, datetime.datetime(2021, 1, 4, 23, 59))
        self.assertEqual(book["Notes"]["B2"].value, KEPT_DATE)

    def test_new_worksheets_after_a_chart_sheet(self):
        self.assertEqual(self.read("chart_last").sheetnames, ["Header", "Notes", "Flow"] + SLOTS)
        self.assertEqual(self.read("chart_last")[SLOTS[0]]["B2"].value, 0)

    def test_locked_structure_with_every_worksheet(self):
        wb = self.read("structure_locked_full")
        self.assertEqual(wb.sheetnames, ["Header", "Notes"] + SLOTS)
        self.assertEqual(wb[SLOTS[1]]["C3"].value, 110.25)

    def test_table_columns_follow_their_header_row(self):
        wb = self.read("tables")
        tables = {table.displayName: (ws, table) for ws in wb.worksheets for table in ws.tables.values()}
        self.assertEqual(sorted(tables), ["Flows", "Kept", "Package", "Runs", "Steps"])
        headerless = {name for name, (_, t) in tables.items() if t.headerRowCount == 0}
        self.assertEqual(headerless, {"Runs", "Steps"})
        for name, (ws, table) in tables.items():
            with self.subTest(name):
                if name in headerless:
                    continue
                first = ws[table.ref][0]
                self.assertEqual([c.name for c in table.tableColumns], [c.value for c in first])
        self.assertEqual([c.name for c in tables["Flows"][1].tableColumns], ["Lake 0Outflow", "Run0", "Run1"])
        self.assertEqual([c.name for c in tables["Package"][1].tableColumns], ["Name", "Owner", "Description"])

    def test_shared_strings_of_the_user(self):
        self.assertEqual([c.value for c in self.read("strings")["Notes"][2]], ["user's note", KEPT_DATE])

    def test_last_of_ten_updates(self):
        wb, package = self.read("updates"), study(UPDATES - 1)
        failures = []
        checker = Checker("updates", date_format(package), failures)
        checker.header(wb["Header"], package, SHORT)
        for sheet in expected_sheets(package, 1, SHORT):
            checker.data_sheet(wb[sheet.name], sheet)
        self.assertEqual(failures, [])
        self.assertEqual(self.values(wb["Notes"])[0], [1.5, 2.5])


class OpenpyxlReads(Reads, unittest.TestCase):
    def read(self, name):
        return openpyxl.load_workbook(os.path.join(TMP.name, name + ".xlsx"))


@unittest.skipUnless(HAVE_LIBREOFFICE, "LibreOffice (soffice) is not installed")
class LibreOfficeReads(Reads, unittest.TestCase):
    def read(self, name):
        return openpyxl.load_workbook(REEXPORT[name])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
