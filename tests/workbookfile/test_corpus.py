"""Real workbooks (tests/corpus, most saved by the spreadsheet application itself): a study is
converted into each twice. What the user had stays: every stream and part the conversion does not
own keeps its bytes, the records of the binary workbook and style parts are all still there, the
sheets read back with xlrd (.xls), SheetJS and Gnumeric hold what they held, and the second update
changes nothing more. Files of formats older than 97-2003, and one pre-release binary workbook no
reader reads, are refused with a message that says what they are, and stay as they were. Reader
checks are skipped when a reader is not installed (scripts/install-test-readers.sh)."""
import collections
import os
import shutil
import subprocess
import sys
import unittest
import zipfile

import openpyxl
from readers import have_sheetjs, libreoffice_xlsx, sheetjs
from tooltest import ToolTest, content, convert, run
from xlsbparts import records

GRIDWELL = sys.argv.pop(1)
STUDY = sys.argv.pop(1)
CORPUS = sys.argv.pop(1)
READERS = sys.argv.pop(1)

try:
    import olefile
    import xlrd
except ImportError:
    olefile = xlrd = None

# Refused files and the words their refusal holds.
REFUSED = {
    "xls-biff2-worksheet.xls": "a 2.x worksheet file",
    "xls-biff3-worksheet.xls": "a 3.0 worksheet file",
    "xls-biff4-worksheet.xls": "a 4.0 worksheet file",
    "xls-biff5-cp1251.xls": "a 5.0/95 workbook",
    "xls-biff5-excel95.xls": "a 5.0/95 workbook",
    # An early binary workbook whose sheet records lack fields the format has; SheetJS shows garbage,
    # LibreOffice nothing, Gnumeric refuses it.
    "excel-xlsb-simple-3sheets.xlsb": "are malformed",
}
# xlrd cannot read these originals (an empty CONTINUE record, no fonts); the conversion's results it
# reads. A name formula with a token xlrd does not know it reads in neither.
XLRD_FAILS_ON_ORIGINAL = {"xls-sst-empty-continue.xls", "xls-no-font-records.xls"}
XLRD_CANNOT_READ = {"excel-xls-name-arean.xls"}
# A string whose record leaves a byte over before the next: SheetJS reads the byte and the next
# record's flags as a character, the engine (as other readers) skips it.
READERS_DISAGREE = {"xls-sst-empty-continue.xls"}
# Parts an update of a binary workbook writes anew (the calculation chain goes).
XLSB_OWNED = {"xl/workbook.bin", "xl/styles.bin", "xl/sharedStrings.bin", "[Content_Types].xml",
              "xl/_rels/workbook.bin.rels", "docProps/app.xml", "xl/calcChain.bin"}


def corpus_files():
    return sorted(f for f in os.listdir(CORPUS) if f.endswith((".xls", ".xlsb")))


def streams(path):
    ole = olefile.OleFileIO(path)
    return {"/".join(e): ole.openstream(e).read() for e in ole.listdir()}


def workbook_stream_name(names):
    lower = {n.lower(): n for n in names}
    return lower.get("workbook") or lower.get("book")


def parts(path):
    with zipfile.ZipFile(path) as z:
        return {n: z.read(n) for n in z.namelist() if not n.endswith("/")}


def record_types(data):
    return collections.Counter(t for t, _ in records(data))


def xlrd_cells(path):
    book = xlrd.open_workbook(path)
    return {s.name: [s.row_values(r) for r in range(s.nrows)] for s in book.sheets()}


class Corpus(ToolTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.once, cls.twice, cls.failed = {}, {}, {}
        for name in corpus_files():
            if name in REFUSED:
                continue
            once, twice = cls.path("once-" + name), cls.path("twice-" + name)
            shutil.copy(os.path.join(CORPUS, name), once)
            try:
                convert(GRIDWELL, STUDY, once)
                shutil.copy(once, twice)
                convert(GRIDWELL, STUDY, twice)
            except AssertionError as e:
                cls.failed[name] = str(e)
                continue
            cls.once[name], cls.twice[name] = once, twice

    def test_every_file_converts(self):
        self.assertEqual(self.failed, {})
        self.assertEqual(len(self.once) + len(REFUSED), len(corpus_files()))

    def test_older_formats_and_unreadable_files_are_refused(self):
        for name, words in REFUSED.items():
            with self.subTest(name):
                path = self.path("refused-" + name)
                shutil.copy(os.path.join(CORPUS, name), path)
                before = content(path)
                rc, out = run(GRIDWELL, "-i", STUDY, "-o", path, "-a", 1, "-n", "Short", timeout=300)
                self.assertNotEqual(rc, 0)
                log = (content(os.path.splitext(path)[0] + ".log") or b"").decode()
                self.assertIn(words, log)
                self.assertEqual(content(path), before)

    @unittest.skipUnless(olefile, "olefile is not installed")
    def test_xls_keeps_every_other_stream_and_the_second_update_changes_nothing(self):
        for name, once in self.once.items():
            if not name.endswith(".xls"):
                continue
            with self.subTest(name):
                before, after, again = streams(os.path.join(CORPUS, name)), streams(once), streams(self.twice[name])
                kept = workbook_stream_name(after)
                self.assertIsNotNone(kept)
                for stream, data in before.items():
                    if stream.lower() == kept.lower():
                        continue
                    if stream.lower() == "book" and kept.lower() == "workbook":
                        # The stale 5.0/95 copy of a dual-format save goes, and the log says so once.
                        self.assertNotIn(stream, after)
                        logs = [(content(os.path.splitext(p)[0] + ".log") or b"").decode() for p in (once, self.twice[name])]
                        self.assertIn(f'"{once}" also held a 5.0/95 copy of the workbook (its "{stream}" stream); '
                                      "it was left out", logs[0])
                        self.assertNotIn("5.0/95 copy", logs[1])
                        continue
                    self.assertEqual(after.get(stream), data, stream)
                self.assertEqual(again, after)

    @unittest.skipUnless(xlrd, "xlrd is not installed")
    def test_xlrd_reads_what_the_sheets_held(self):
        for name, once in self.once.items():
            if not name.endswith(".xls") or name in XLRD_CANNOT_READ:
                continue
            with self.subTest(name):
                after = xlrd_cells(once)
                if name in XLRD_FAILS_ON_ORIGINAL:
                    continue
                before = xlrd_cells(os.path.join(CORPUS, name))
                for sheet, rows in before.items():
                    self.assertEqual(after[sheet], rows, sheet)

    def test_xlsb_keeps_every_other_part_and_record(self):
        for name, once in self.once.items():
            if not name.endswith(".xlsb"):
                continue
            with self.subTest(name):
                before, after, again = parts(os.path.join(CORPUS, name)), parts(once), parts(self.twice[name])
                for part, data in before.items():
                    if part in XLSB_OWNED or part.startswith("xl/worksheets/"):
                        continue
                    self.assertEqual(after.get(part), data, part)
                for part in ("xl/workbook.bin", "xl/styles.bin"):
                    if part in before:
                        had, has = record_types(before[part]), record_types(after[part])
                        self.assertEqual({t: n for t, n in had.items() if has[t] < n}, {}, part)
                again.pop("docProps/core.xml", None)
                after.pop("docProps/core.xml", None)
                self.assertEqual(again, after)

    @unittest.skipUnless(have_sheetjs(READERS), "SheetJS is not installed (scripts/install-test-readers.sh)")
    def test_sheetjs_reads_what_the_sheets_held(self):
        originals = [os.path.join(CORPUS, n) for n in self.once]
        seen = sheetjs(READERS, originals + list(self.once.values()))
        for name, once in self.once.items():
            with self.subTest(name):
                before, after = seen[os.path.join(CORPUS, name)], seen[once]
                self.assertNotIn("error", after)
                self.assertEqual(after["sheets"][:len(before["sheets"])], before["sheets"])
                if name in READERS_DISAGREE:
                    continue
                for sheet in before["sheets"]:
                    self.assertEqual(after["cells"].get(sheet), before["cells"].get(sheet), sheet)

    @unittest.skipUnless(shutil.which("soffice"), "LibreOffice is not installed")
    def test_libreoffice_reads_the_results(self):
        converted = libreoffice_xlsx(list(self.once.values()), self.path("lo"), self.path("profile"))
        for name, once in self.once.items():
            with self.subTest(name):
                book = openpyxl.load_workbook(converted[once])
                self.assertIn("Header", book.sheetnames)

    @unittest.skipUnless(shutil.which("ssconvert"), "Gnumeric is not installed")
    def test_gnumeric_reads_the_xls_results(self):
        for name, once in self.once.items():
            if not name.endswith(".xls"):
                continue
            with self.subTest(name):
                res = subprocess.run(["ssconvert", "-T", "Gnumeric_stf:stf_csv", once, self.path(name + ".csv")],
                                     capture_output=True, text=True, timeout=120)
                self.assertEqual(res.returncode, 0, res.stderr)


if __name__ == "__main__":
    unittest.main()
