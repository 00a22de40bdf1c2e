"""97-2003 workbooks (.xls): what the engine writes reads back exactly with xlrd; converting into
workbooks made by other programs (LibreOffice; xlwt, with a macro project and summary information
added) keeps every other stream and storage and every untouched sheet's records, and LibreOffice still reads their charts and formulas; damaged or hostile files
are refused with the kind of failure and stay as they were. Checks that need a reader which is not
installed are skipped (scripts/install-test-readers.sh)."""
import datetime
import os
import shutil
import struct
import sys
import unittest
import zipfile

import compoundfile
import openpyxl
from compoundfile import record
from readers import libreoffice_xlsx
from tooltest import ToolTest, content, convert

TOOL = sys.argv.pop(1)
GRIDWELL = sys.argv.pop(1)
STUDY = sys.argv.pop(1)

try:
    import olefile
    import xlrd
    import xlwt
except ImportError:
    olefile = xlrd = xlwt = None

BOF_GLOBALS = struct.pack("<HHHHII", 0x0600, 0x0005, 0x0DBB, 0x07CC, 0, 6)
BOF_SHEET = struct.pack("<HHHHII", 0x0600, 0x0010, 0x0DBB, 0x07CC, 0, 6)


BIFF5 = record(0x0809, struct.pack("<HH", 0x0500, 5) + bytes(4)) + record(0x000A)
FONT = record(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + b"\x05\x00Arial")
CELL_XF = record(0x00E0, struct.pack("<HHH", 0, 0, 1) + bytes(14))


def workbook_stream(globals_records, sheet_records, offset=None):
    """A workbook stream with a font, a cell format and one worksheet, its BOUNDSHEET pointing at it
    (or at offset)."""
    name = b"S"
    head = record(0x0809, BOF_GLOBALS) + FONT + CELL_XF + b"".join(globals_records)
    bound_size = 4 + 8 + len(name)
    offset = len(head) + bound_size + 4 if offset is None else offset
    return (head + record(0x0085, struct.pack("<IBBBB", offset, 0, 0, len(name), 0) + name) + record(0x000A) +
            record(0x0809, BOF_SHEET) + b"".join(sheet_records) + record(0x000A))


def two_sheets_one_substream():
    """Two BOUNDSHEET records pointing at one worksheet substream."""
    head = record(0x0809, BOF_GLOBALS) + FONT + CELL_XF
    bounds = lambda offset: b"".join(record(0x0085, struct.pack("<IBBBB", offset, 0, 0, 1, 0) + name)
                                     for name in (b"S", b"T"))
    offset = len(head) + len(bounds(0)) + 4
    return head + bounds(offset) + record(0x000A) + record(0x0809, BOF_SHEET) + record(0x000A)


@unittest.skipUnless(xlrd, "xlrd, xlwt or olefile is not installed (scripts/install-test-readers.sh)")
class XlsFiles(ToolTest):
    tool, sample_command = TOOL, "sample-xls"

    def test_sample_reads_back_exactly(self):
        book = xlrd.open_workbook(self.sample, formatting_info=True)
        self.assertEqual(book.sheet_names(), ["Sheet5", "Data", "Zweite Tabelle", "Sheet3", "Last"])
        data = book.sheet_by_name("Data")

        def fmt(row, col):
            xf = book.xf_list[data.cell_xf_index(row, col)]
            return book.format_map[xf.format_key].format_str, bool(book.font_list[xf.font_index].bold)

        self.assertEqual(data.row_values(0), ["Name", "Value", "When", "Flag"])
        self.assertEqual(fmt(0, 0), ("General", True))
        numbers = [0.1, 1.0 / 3.0, -2.5e-300, 1.7976931348623157e308, 123456789012345678.0]
        texts = ["plain", "  spaced  ", "=1+2", "tab\tline\nfeed\rcr", "ctl\x01_x0041_ end"]
        for r in range(5):
            self.assertEqual(data.cell_value(r + 1, 0), texts[r])  # a text, never a formula
            self.assertEqual(data.cell_type(r + 1, 0), xlrd.XL_CELL_TEXT)
            self.assertEqual(struct.pack("<d", data.cell_value(r + 1, 1)), struct.pack("<d", numbers[r]))
            self.assertEqual(data.cell_type(r + 1, 2), xlrd.XL_CELL_DATE)
            self.assertEqual(data.cell_value(r + 1, 2), 45001.0 + r + (0.5 if r == 4 else 0))
            self.assertEqual(data.cell(r + 1, 3).ctype, xlrd.XL_CELL_BOOLEAN)
            self.assertEqual(data.cell_value(r + 1, 3), r % 2 == 0)
        self.assertEqual(fmt(1, 1)[0], "0.000")
        self.assertEqual(fmt(3, 1)[0], '#,##0.00 "kg"')
        self.assertEqual(data.cell_value(7, 0), "\u00e9t\u00e9 \U0001F600 \u4e2d")
        self.assertEqual(data.cell_value(7, 1), "x" * 32767)
        second = book.sheet_by_name("Zweite Tabelle")
        self.assertEqual(second.cell_type(0, 0), xlrd.XL_CELL_BLANK)  # emptied, format kept
        xf = book.xf_list[second.cell_xf_index(0, 0)]
        self.assertTrue(book.font_list[xf.font_index].bold)
        self.assertEqual(book.format_map[xf.format_key].format_str, "0.0")
        self.assertEqual(book.sheet_by_name("Last").cell_value(65535, 255), 42)

    def assertKeptAndConverted(self, before, after, untouched):
        """Every stream but the workbook's keeps its bytes; untouched sheets keep their records;
        the conversion's worksheets hold what the .xlsx conversion of the study holds."""
        with olefile.OleFileIO(before) as old, olefile.OleFileIO(after) as new:
            streams = [s for s in old.listdir(storages=True) if s != ["Workbook"]]
            self.assertEqual(sorted(streams), sorted(s for s in new.listdir(storages=True) if s != ["Workbook"]))
            for s in streams:
                if old.get_type(s) == olefile.STGTY_STORAGE:
                    self.assertEqual(old.getclsid(s), new.getclsid(s), "/".join(s))
                else:
                    self.assertEqual(old.openstream(s).read(), new.openstream(s).read(), "/".join(s))
            old_sheets = compoundfile.sheets(old.openstream("Workbook").read())
            new_sheets = compoundfile.sheets(new.openstream("Workbook").read())
        for name in untouched:
            self.assertEqual(old_sheets[name], new_sheets[name], name)
        reference = self.path("reference.xlsx")
        if not os.path.exists(reference):
            convert(GRIDWELL, STUDY, reference)
        ref = openpyxl.load_workbook(reference)
        book = xlrd.open_workbook(after)
        for ws in ref.worksheets:
            got = book.sheet_by_name(ws.title)
            for row in ws.iter_rows():
                for c in row:
                    if c.value is not None:
                        value = got.cell_value(c.row - 1, c.column - 1)
                        if isinstance(c.value, datetime.datetime):
                            value = xlrd.xldate_as_datetime(value, book.datemode)
                        self.assertEqual(value, c.value, f"{ws.title}!{c.coordinate}")
        return new_sheets

    def test_converting_into_an_xlwt_workbook(self):
        source = self.path("xlwt.xls")
        wb = xlwt.Workbook()
        data = wb.add_sheet("Data")
        bold = xlwt.easyxf("font: bold on")
        data.write(0, 0, "Kept", bold)
        data.write(1, 0, 21.5)
        data.write(1, 1, xlwt.Formula("A2*2"))
        data.write(2, 0, datetime.datetime(2020, 1, 2), xlwt.easyxf(num_format_str="yyyy-mm-dd"))
        data.col(0).width = 6000
        wb.add_sheet("Header").write_merge(0, 0, 0, 3, "old header text")  # cleared with its merge
        wb.save(source)
        # With a macro project (a storage with its class id) and summary information beside it.
        with olefile.OleFileIO(source) as ole:
            stream = ole.openstream("Workbook").read()
        # (Streams of 4,096 bytes and more, which olefile reads outside the mini stream.)
        project = ("_VBA_PROJECT_CUR", [("PROJECT", b"ID=\"{00000000}\"\r\n".ljust(4096)),
                                        ("VBA", [("dir", bytes(range(256)) * 16)], bytes(16))], bytes(range(16)))
        with open(source, "wb") as f:
            f.write(compoundfile.build([("Workbook", stream), ("\x05SummaryInformation", bytes(4096)), project]))
        target = self.path("xlwt-converted.xls")
        shutil.copy(source, target)
        convert(GRIDWELL, STUDY, target)
        sheets = self.assertKeptAndConverted(source, target, ["Data"])
        self.assertEqual(list(sheets)[:2], ["Data", "Header"])
        book = xlrd.open_workbook(target, formatting_info=True)
        self.assertNotEqual(book.sheet_by_name("Header").cell_value(0, 0), "old header text")
        self.assertEqual(book.sheet_by_name("Header").merged_cells, [])
        # Converting again changes nothing.
        first = content(target)
        convert(GRIDWELL, STUDY, target)
        self.assertEqual(content(target), first)

    def test_converting_into_a_libreoffice_workbook_with_a_chart(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed (scripts/install-test-readers.sh)")
        made = self.path("made.xlsx")
        wb = openpyxl.Workbook()
        data = wb.active
        data.title = "Data"
        for r in range(1, 11):
            data.cell(r, 1, r * 10 if r != 4 else "=SUM(A1:A3)")
            data.cell(r, 3, f"=A{r}*2" if r > 1 else None)  # one shared formula, C2 down
        wb.defined_names.append(openpyxl.workbook.defined_name.DefinedName("Total", attr_text="Data!$A$4"))
        chart = openpyxl.chart.BarChart()
        chart.add_data(openpyxl.chart.Reference(data, min_col=1, min_row=1, max_row=3))
        # LibreOffice keeps charts in .xls as objects on a sheet.
        wb.create_sheet("Chart").add_chart(chart, "B2")
        wb.save(made)
        profile = self.path("profile")
        source = libreoffice_xlsx([made], self.tmp.name, profile, to="xls")[made]
        target = self.path("lo-converted.xls")
        shutil.copy(source, target)
        convert(GRIDWELL, STUDY, target)
        self.assertKeptAndConverted(source, target, ["Data", "Chart"])
        with olefile.OleFileIO(target) as ole:
            stream = ole.openstream("Workbook").read()
        tab_ids = next(b for _, k, b in compoundfile.records(stream) if k == 0x013D)
        self.assertEqual(len(tab_ids) // 2, len(compoundfile.sheets(stream)))  # one tab id a sheet
        exported = libreoffice_xlsx([target], self.path("lo"), profile)[target]
        back = openpyxl.load_workbook(exported, data_only=True)
        self.assertEqual(back["Data"]["A4"].value, 60)
        self.assertIn("Chart", back.sheetnames)
        self.assertIn("Total", back.defined_names)
        with zipfile.ZipFile(exported) as z:  # openpyxl does not read charts
            self.assertTrue(any(n.startswith("xl/charts/chart") for n in z.namelist()))
        # Writing over the shared formula's first cell leaves the cells after it the formula as their
        # own, moved to their place, showing what they showed.
        edited = self.path("lo-edited.xls")
        self.assertEqual(self.run_tool("edit", source, edited)[0], 0)
        self.assertEqual([xlrd.open_workbook(edited).sheet_by_name("Data").cell_value(r, 2) for r in range(1, 10)],
                         ["new 1", "new 2", "new 3"] + [r * 20.0 for r in range(5, 11)])
        with olefile.OleFileIO(edited) as ole:
            kinds = [k for k, _ in compoundfile.sheets(ole.openstream("Workbook").read())["Data"]]
        self.assertEqual((kinds.count(0x0006), kinds.count(0x04BC)), (7, 0))  # the SUM and C5:C10
        back = openpyxl.load_workbook(libreoffice_xlsx([edited], self.path("lo-edited"), profile)[edited])
        self.assertEqual([back["Data"].cell(r, 3).value for r in range(5, 11)], [f"=A{r}*2" for r in range(5, 11)])

    def test_hostile_and_damaged_files_are_refused(self):
        window = record(0x023E, bytes(18))
        good = workbook_stream([], [window])
        # Three sectors, for sector chains that loop back or lead out of the file.
        long = workbook_stream([record(0x00EB, bytes(1200))], [window])
        self.assertEqual(self.run_tool("open", self.write("good.xls", compoundfile.build([("Workbook", good)]))),
                         (0, "OK 1"))
        cases = [
            ("encrypted", [("Workbook", workbook_stream([record(0x002F, bytes(54))], [window]))],
             None, "Encrypted", "encrypted"),
            ("biff5", [("Book", BIFF5)], None, "Unsupported", "a 5.0/95 workbook"),
            ("biff5-bof", [("Workbook", BIFF5)], None, "Unsupported", "save it in a newer format first"),
            ("no-workbook", [("Other", b"x")], None, "NotAWorkbook", "no workbook stream"),
            ("empty-workbook-stream", [("Workbook", b"")], None, "Damaged", "its workbook stream is empty"),
            ("no-sheets", [("Workbook", record(0x0809, BOF_GLOBALS) + FONT + CELL_XF + record(0x000A))], None,
             "Damaged", "lists no sheets"),
            ("cut-record", [("Workbook", good[:-2] + struct.pack("<H", 500))], None, "Damaged", "claims"),
            # Named as the stream it is, not as a part of another format.
            ("short-bof", [("Workbook", record(0x0809, struct.pack("<H", 0x0600)) + record(0x000A))], None,
             "Damaged", 'The records of "Workbook" are malformed: a record is shorter than its fields'),
            ("no-eof", [("Workbook", good[:-4])], None, "Damaged", "does not end"),
            ("sheet-past-end", [("Workbook", workbook_stream([], [window], offset=10 ** 6))],
             None, "Damaged", "past the end"),
            ("string-without-table", [("Workbook", workbook_stream([], [record(0x00FD, bytes(10)), window]))],
             None, "Damaged", "no shared string table"),
            # A table declared empty that holds strings: the cells would show the conversion's texts.
            ("strings-declared-none",
             [("Workbook", workbook_stream([record(0x00FC, struct.pack("<II", 1, 0) + b"\x02\x00\x00ab")],
                                           [record(0x00FD, struct.pack("<HHHI", 0, 0, 0, 0)), window]))],
             None, "Damaged", "past the end of its shared string table"),
            ("sheets-sharing-records", [("Workbook", two_sheets_one_substream())], None, "Damaged", "name one part"),
            ("string-cut", [("Workbook", workbook_stream([record(0x00FC, struct.pack("<II", 1, 1) + b"\x05\x00\x00ab")],
                                                         [window]))], None, "Damaged", "runs past"),
            ("chain-loop", [("Workbook", long)], lambda fat: fat.__setitem__(2, 1), "Damaged", "damaged"),
            ("chain-past-file", [("Workbook", long)], lambda fat: fat.__setitem__(2, 5000), "Damaged", "damaged"),
        ]
        for name, streams, damage, kind, words in cases:
            with self.subTest(name):
                self.assertRefused(self.write(name + ".xls", compoundfile.build(streams, damage)), kind, words)
        # A workbook stream that claims more bytes than the file holds is damaged, not missing.
        built = compoundfile.build([("Workbook", good)])
        entry = built.find("Workbook\0".encode("utf-16-le"))
        claiming = built[:entry + 0x78] + struct.pack("<I", 0xFFFFFFF0) + built[entry + 0x7C:]
        self.assertRefused(self.write("claims.xls", claiming), "Damaged",
                           'its stream "Workbook" claims 4294967280 bytes, more than the whole file holds')
        # A file of an older format outside a compound file says what it is.
        biff4 = self.write("biff4.xls", record(0x0409, struct.pack("<HHH", 0, 0x0010, 0)) + record(0x000A))
        self.assertRefused(biff4, "Unsupported", "is a 4.0 worksheet file")

    def test_streams_keep_their_class_ids(self):
        """libgsf keeps the class ids of storages only; those of streams are written back too."""
        good = workbook_stream([], [record(0x023E, bytes(18))])
        stream_id, storage_id = bytes(range(1, 17)), bytes(range(17, 33))
        path = self.write("ids.xls", compoundfile.build([
            ("Workbook", good), ("\x05SummaryInformation", b"\xfe\xff" + bytes(46), stream_id),
            ("Storage", [("Inner", b"x" * 10, stream_id[::-1])], storage_id)]))
        convert(GRIDWELL, STUDY, path)
        ole = olefile.OleFileIO(path)
        ids = {"/".join(e): ole.getclsid(e) for e in ole.listdir(streams=True, storages=True)}
        self.assertEqual(ids["\x05SummaryInformation"], olefile.olefile._clsid(stream_id))
        self.assertEqual(ids["Storage"], olefile.olefile._clsid(storage_id))
        self.assertEqual(ids["Storage/Inner"], olefile.olefile._clsid(stream_id[::-1]))
        self.assertEqual(ids["Workbook"], "")

    def test_slips_of_other_writers_are_read_as_readers_read_them(self):
        window = record(0x023E, bytes(18))
        good = workbook_stream([], [window])
        at = good.index(record(0x0809, BOF_SHEET))
        # A sheet position a few bytes off its BOF record; a number format one character shorter
        # than it claims.
        for name, stream in (("bof-missed", workbook_stream([], [window], offset=at + 3)),
                             ("bof-missed-early", workbook_stream([], [window], offset=at - 2)),
                             ("format-short", workbook_stream(
                                 [record(0x041E, struct.pack("<HHB", 164, 6, 0) + b"0.000")], [window]))):
            with self.subTest(name):
                path = self.write(name + ".xls", compoundfile.build([("Workbook", stream)]))
                self.assertEqual(self.run_tool("open", path), (0, "OK 1"))
                convert(GRIDWELL, STUDY, path)
                self.assertEqual(xlrd.open_workbook(path).sheet_names()[0], "S")

    def test_a_sector_table_cut_short_at_the_end(self):
        """libgsf (and xlrd) refuse a file whose last sector, one of the sector table, lacks its
        trailing free entries; LibreOffice and SheetJS read it, and so does the engine."""
        good = workbook_stream([], [record(0x023E, bytes(18))])
        data = compoundfile.table_moved_to_the_end_and_cut(compoundfile.build([("Workbook", good)]))
        self.assertNotEqual(len(data) % 512, 0)
        path = self.write("cut-table.xls", data)
        self.assertEqual(self.run_tool("open", path), (0, "OK 1"))
        convert(GRIDWELL, STUDY, path)
        self.assertEqual(xlrd.open_workbook(path).sheet_names()[0], "S")

    @unittest.skipUnless(olefile, "olefile is not installed")
    def test_thousands_of_streams_read_back(self):
        """libgsf writes a storage's entries as one chain, which the directory check refuses beyond
        1,000 links: the saved directory is rebalanced, so the workbook converts into again."""
        good = workbook_stream([], [record(0x023E, bytes(18))])
        path = self.write("wide.xls", compoundfile.wide_directory(good, 1500))
        for _ in range(2):
            convert(GRIDWELL, STUDY, path)
            self.assertEqual(self.run_tool("open", path)[0], 0)
        ole = olefile.OleFileIO(path)
        self.assertEqual(len(ole.listdir()), 1501)
        entries = ole.direntries

        def depth(sid):
            if sid == olefile.NOSTREAM or entries[sid] is None:
                return 0
            e = entries[sid]
            return 1 + max(depth(e.sid_left), depth(e.sid_right))
        self.assertIn(depth(entries[0].sid_child), range(10, 13))  # 1,501 entries balanced
        ole.close()

    def test_book_streams(self):
        """97-2003 records in a stream named Book are read and written back there; a 5.0/95 Book
        stream beside the Workbook stream (a dual-format save) would show the old workbook after the
        update, so it goes."""
        good = workbook_stream([], [record(0x023E, bytes(18))])
        named_book = self.write("named-book.xls", compoundfile.build([("Book", good)]))
        dual = self.write("dual.xls", compoundfile.build([("Book", BIFF5), ("Workbook", good)]))
        for path in (named_book, dual):
            convert(GRIDWELL, STUDY, path)
            book = xlrd.open_workbook(path)
            self.assertEqual(book.sheet_names()[0], "S")
            self.assertGreater(book.nsheets, 1)
        streams = lambda path: sorted("/".join(e) for e in olefile.OleFileIO(path).listdir())
        self.assertIn("Book", streams(named_book))
        self.assertNotIn("Workbook", streams(named_book))
        self.assertIn("Workbook", streams(dual))
        self.assertNotIn("Book", streams(dual))


if __name__ == "__main__":
    unittest.main()
