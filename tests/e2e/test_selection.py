"""Listing a study (--list, --list=json) and converting a selection of it (--slots, --runs),
end to end through the executable, read back with openpyxl and compared with a conversion of
the whole study."""
import datetime
import json
import os
import subprocess
import sys
import tempfile
import unittest

import openpyxl

import pvxgen
import reopen

GRIDWELL = sys.argv[1]
EXAMPLE = sys.argv[2]

LONG = "Reservoir With A Very Long Name Indeed"


def run(*args, cwd=None):
    result = subprocess.run([GRIDWELL, *args], capture_output=True, cwd=cwd, timeout=300)
    reopen.check_run(args, result.returncode, cwd)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def study(path):
    """Series slots whose short names are cut and counted apart, a table slot among them (it
    has no series number), and three runs with values that tell run, slot and step apart."""
    times = pvxgen.steps(datetime.datetime(2020, 1, 2), 5)
    names = [(LONG, "Outflow Total A"), (LONG, "Outflow Total B"), ("Lake Powell", "Outflow"),
             ("Lake Powell", "Pool Elevation"), (LONG, "Outflow Total C"), ("Gauge", "Flow")]
    runs = []
    for r in range(3):
        slots = []
        for k, (obj, slot) in enumerate(names):
            slots.append(pvxgen.Slot(obj, slot, values=[r * 1000 + k * 10 + t + 0.5 for t in range(5)]))
            if k == 1:
                slots.append(pvxgen.Slot("Table", "Curve", kind="table"))
        runs.append(pvxgen.Run(times, slots))
    pvxgen.Package(runs).write(path)


def labelled_cells(sheet):
    """Each data cell by its row heading and column heading."""
    rows = list(sheet.iter_rows(values_only=True))
    cells = {}
    for row in rows[1:]:
        for c, value in enumerate(row[1:], start=1):
            if value is not None:
                cells[(row[0], rows[0][c])] = value
    return cells


class Listing(unittest.TestCase):
    def test_text_lists_keys_and_every_series_slot(self):
        status, out, _ = run("-i", EXAMPLE, "--list")
        self.assertEqual(status, 0)
        lines = out.splitlines()
        self.assertIn("Name:            Upper Basin 24-Month Study", lines)
        self.assertIn("Runs:            3", lines)
        self.assertIn("Series slots:    7", lines)
        self.assertIn("Timesteps:       36", lines)
        self.assertIn("Timestep unit:   1 month", lines)
        table = lines[lines.index("") + 1:]
        self.assertTrue(table[0].startswith("Index  Object"))
        self.assertEqual(len(table), 8)
        self.assertEqual(table[7].split()[0], "6")
        self.assertTrue(all(line == line.rstrip() for line in lines))

    def test_worksheet_names_are_those_a_conversion_gives(self):
        with tempfile.TemporaryDirectory() as tmp:
            source = os.path.join(tmp, "s.pvx")
            study(source)
            for preference in ("Short", "Full", "Index"):
                with self.subTest(preference=preference):
                    status, out, _ = run("-i", source, "--list=json", "-n", preference)
                    self.assertEqual(status, 0)
                    listing = json.loads(out)
                    workbook = os.path.join(tmp, f"w{preference}.xlsx")
                    self.assertEqual(run("-i", source, "-o", workbook, "-a", "1", "-n", preference)[0], 0)
                    names = openpyxl.load_workbook(workbook, read_only=True).sheetnames[1:]
                    self.assertEqual([s["worksheetName"] for s in listing["slots"]], names)
            self.assertEqual(listing["runs"], 3)
            self.assertEqual(listing["seriesSlots"], 6)
            self.assertEqual(listing["timesteps"], 5)
            self.assertEqual(listing["slots"][2], {
                "index": 2, "objectType": "Reservoir", "objectName": "Lake Powell", "slotName": "Outflow",
                "units": "acre-ft", "scale": 1, "worksheetName": "Slot2"})
            self.assertEqual(sorted(listing["package"]), ["createDate", "description", "name", "owner"])
            self.assertEqual(os.listdir(tmp).count("s.log"), 0)

    def test_a_file_that_does_not_read_fails_as_a_conversion_does(self):
        broken = {
            "preamble": "name:x\nnumber_of_runs:1\n",
            "run": "name:x\nnumber_of_runs:1\nEND_PACKAGE_PREAMBLE\ntrace:1\n",
            "units": ("name:x\nnumber_of_runs:1\nEND_PACKAGE_PREAMBLE\ntime_steps:1\nEND_RUN_PREAMBLE\n"
                      "2020-1-1 24:00\nobject_name: A\nslot_name: B\nEND_SLOT_PREAMBLE\n1\n"),
        }
        with tempfile.TemporaryDirectory() as tmp:
            for name, text in broken.items():
                with self.subTest(name):
                    source = os.path.join(tmp, name + ".pvx")
                    with open(source, "w") as f:
                        f.write(text)
                    status, out, _ = run("-i", source, "--list")
                    self.assertEqual(status, 1)
                    workbook = os.path.join(tmp, name + ".xlsx")
                    self.assertEqual(run("-i", source, "-o", workbook)[0], 1)
                    with open(os.path.join(tmp, name + ".log")) as f:
                        log = f.read()
                    message = out.split("\n")[1]
                    self.assertTrue(message and message in log, (out, log))
                    self.assertFalse(os.path.exists(workbook))

    def test_warnings_are_listed_and_a_listing_that_is_not_written_fails(self):
        with tempfile.TemporaryDirectory() as tmp:
            source = os.path.join(tmp, "fewer.pvx")
            with open(EXAMPLE) as f:
                text = f.read()
            with open(source, "w") as f:
                f.write(text.replace("number_of_runs:3", "number_of_runs:2", 1))
            self.assertEqual(run("-i", source, "-o", os.path.join(tmp, "fewer.xlsx"))[0], 0)
            with open(os.path.join(tmp, "fewer.log")) as f:
                warnings = [line for line in f.read().splitlines() if line.startswith("Gridwell Warning: ")]
            self.assertTrue(warnings)
            status, out, _ = run("-i", source, "--list")
            self.assertEqual(status, 0)
            self.assertIn("Runs:            2", out.splitlines())
            self.assertEqual(out.splitlines()[-len(warnings):], warnings)
            status, out, _ = run("-i", source, "--list=json")
            self.assertEqual(["Gridwell Warning: " + w for w in json.loads(out)["warnings"]], warnings)
            self.assertEqual(json.loads(run("-i", EXAMPLE, "--list=json")[1])["warnings"], [])
            # A full disk: nothing arrived, and the status says so.
            for listing in ("--list", "--list=json"):
                with open("/dev/full", "w") as full:
                    result = subprocess.run([GRIDWELL, "-i", source, listing], stdout=full,
                                            stderr=subprocess.PIPE, timeout=60)
                self.assertEqual(result.returncode, 1)
                self.assertIn(b"Gridwell Error: The listing could not be written to standard output",
                              result.stderr)


class Selection(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.source = os.path.join(cls.tmp.name, "study.pvx")
        study(cls.source)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def convert(self, name, *args):
        workbook = os.path.join(self.tmp.name, name)
        status, out, _ = run("-i", self.source, "-o", workbook, *args)
        with open(os.path.splitext(workbook)[0] + ".log") as f:
            log = f.read()
        return status, workbook, log, out

    def test_every_arrangement_lines_up_with_the_whole_study(self):
        for arrangement in range(6):
            for preference in ("Short", "Full") if arrangement == 1 else ("Short",):
                with self.subTest(arrangement=arrangement, preference=preference):
                    common = ("-a", str(arrangement), "-n", preference)
                    _, whole, _, _ = self.convert(f"whole{arrangement}{preference}.xlsx", *common)
                    status, part, log, _ = self.convert(f"part{arrangement}{preference}.xlsx", *common,
                                                        "--slots", "reservoir with*c,gauge.*", "--slots", "1",
                                                        "--runs", "1-2")
                    self.assertEqual(status, 0, log)
                    self.assertIn("Gridwell: Converting 3 of 6 series slots and 2 of 3 runs\n", log)
                    whole_book = openpyxl.load_workbook(whole)
                    part_book = openpyxl.load_workbook(part)
                    for sheet in part_book.sheetnames[1:]:
                        self.assertIn(sheet, whole_book.sheetnames)
                        whole_cells = labelled_cells(whole_book[sheet])
                        part_cells = labelled_cells(part_book[sheet])
                        self.assertTrue(part_cells)
                        for key, value in part_cells.items():
                            self.assertEqual(whole_cells.get(key), value, (sheet, key))
                    # Runs 1 and 2, slots 1, 4 and 5 of six series slots, each once.
                    values = {v for s in part_book.sheetnames[1:] for v in labelled_cells(part_book[s]).values()}
                    self.assertEqual(len(values), 2 * 3 * 5)
                    self.assertEqual({int(v) // 1000 for v in values}, {1, 2})
                    header = [row for row in part_book["Header"].iter_rows(values_only=True)]
                    column_a = [row[0] for row in header]
                    self.assertEqual([c for c in column_a if str(c).startswith("Run")], ["Run #", "Run1", "Run2"])
                    self.assertEqual([c for c in column_a if str(c).startswith("Slot")],
                                     ["Slot #", "Slot1", "Slot4", "Slot5"])

    def test_a_selection_updates_a_workbook_only_where_its_labels_stand(self):
        """A selection puts its runs and slots next to each other. Into a workbook made from more
        of them, it may write only where its labels already stand (or nothing does): elsewhere its
        values would stand under other labels, so the update is refused and the file kept."""
        refused = [("3", ("--slots", "2", "--runs", "2"), "A2", "LkPwllOtflw"),
                   ("1", ("--runs", "2"), "B1", "Run2"),
                   ("0", ("--slots", "2-3"), "B1", "LkPwllOtflw")]
        for extension in ("xlsx", "xls", "xlsb"):
            for arrangement, args, cell, label in refused:
                with self.subTest(extension=extension, arrangement=arrangement, args=args):
                    _, workbook, _, _ = self.convert(f"upd{arrangement}.{extension}", "-a", arrangement)
                    with open(workbook, "rb") as f:
                        before = f.read()
                    status, _, log, _ = self.convert(f"upd{arrangement}.{extension}", "-a", arrangement, *args)
                    self.assertEqual(status, 1, log)
                    self.assertRegex(log, f'its cell {cell} holds "[^"]+" where the selection puts "{label}"')
                    with open(workbook, "rb") as f:
                        self.assertEqual(f.read(), before)
        # Where runs and slots share a worksheet, the one not chosen is written whole, and its
        # labels would move over lines of the other that this conversion does not write.
        for arrangement, made, args, cell in (("3", ("--slots", "2-3"), ("--runs", "0"), "A2"),
                                              ("5", ("--runs", "1-2"), ("--slots", "0"), "A2")):
            with self.subTest(arrangement=arrangement, made=made, args=args):
                self.convert(f"cross{arrangement}.xlsx", "-a", arrangement, *made)
                status, _, log, _ = self.convert(f"cross{arrangement}.xlsx", "-a", arrangement, *args)
                self.assertEqual(status, 1, log)
                self.assertIn(f"its cell {cell} holds", log)
        # Runs that stand where they stood are written; the log names the worksheets whose other
        # runs, beside the new table, were left as they were.
        self.convert("beside.xlsx", "-a", "3")
        status, _, log, _ = self.convert("beside.xlsx", "-a", "3", "--runs", "0-1")
        self.assertEqual(status, 0, log)
        self.assertIn('Gridwell Warning: 5 worksheets hold cells right beside the table this conversion wrote, '
                      'from an earlier conversion or added by hand; they were left as they were and are not '
                      'this study\'s: "Time0" (D1), "Time1" (D1), "Time2" (D1), "Time3" (D1), "Time4" (D1)\n',
                      log)
        status, _, log, _ = self.convert("beside.xlsx", "-a", "3")
        self.assertNotIn("Warning", log)
        # Slots of worksheets of their own, runs that stand where they stood, and a selection
        # into a workbook made from the same selection are written.
        _, whole, _, _ = self.convert("fits.xlsx", "-a", "1")
        for args in (("--slots", "2"), ("--runs", "0-1"), ("--runs", "0-1", "--slots", "0")):
            with self.subTest(args=args):
                status, _, log, _ = self.convert("fits.xlsx", "-a", "1", *args)
                self.assertEqual(status, 0, log)
        status, _, _, _ = self.convert("same.xlsx", "-a", "5", "--slots", "2,4", "--runs", "1-2")
        self.assertEqual(status, 0)
        for args in (("--slots", "2,4", "--runs", "1-2"), ("--slots", "2", "--runs", "1")):
            with self.subTest(args=args):
                status, workbook, log, _ = self.convert("same.xlsx", "-a", "5", *args)
                self.assertEqual(status, 0, log)
                book = openpyxl.load_workbook(workbook)
                self.assertEqual(labelled_cells(book[book.sheetnames[1]])[("Run1", "LkPwllOtflw")], 1020.5)

    def test_union_by_index_range_and_pattern(self):
        cases = [(("--slots", "0"), 1), (("--slots", "2-3"), 2), (("--slots", "LAKE POWELL.*"), 2),
                 (("--slots", "?auge.Flow", "--slots", "0-1,5"), 3), (("--slots=0-99",), 6)]
        for number, (args, count) in enumerate(cases):
            with self.subTest(args=args):
                status, workbook, log, _ = self.convert(f"union{number}.xlsx", "-a", "1", "-n", "Index", *args)
                self.assertEqual(status, 0, log)
                self.assertEqual(len(openpyxl.load_workbook(workbook, read_only=True).sheetnames), 1 + count)

    def test_a_selection_that_matches_nothing_writes_nothing(self):
        cases = [(("--slots", "nothing.*"), 'The slot selection "nothing.*" matches none of the study\'s 6 series slots; use --list to see them'),
                 (("--runs", "3-9"), 'The run selection "3-9" matches none of the study\'s 3 runs; use --list to see them')]
        for args, message in cases:
            with self.subTest(args=args):
                status, workbook, log, _ = self.convert("nothing.xlsx", *args)
                self.assertEqual(status, 1)
                self.assertIn(message, log)
                self.assertFalse(os.path.exists(workbook))

    def test_runs_of_a_study_without_series_slots_convert_as_the_whole_study_does(self):
        times = pvxgen.steps(datetime.datetime(2020, 1, 2), 3)
        source = os.path.join(self.tmp.name, "tables.pvx")
        pvxgen.Package([pvxgen.Run(times, [pvxgen.Slot("Table", "Curve", kind="table")])
                        for _ in range(2)]).write(source)
        workbook = os.path.join(self.tmp.name, "tables.xlsx")
        status, out, _ = run("-i", source, "-o", workbook)
        self.assertEqual(status, 0, out)
        os.remove(workbook)
        status, out, _ = run("-i", source, "-o", workbook, "--runs", "1")
        self.assertEqual(status, 0, out)
        with open(os.path.join(self.tmp.name, "tables.log")) as f:
            self.assertIn("Gridwell: Workbook write successfully completed", f.read())
        status, _ = run("-i", source, "-o", workbook, "--slots", "0")[:2]
        self.assertEqual(status, 1)
        with open(os.path.join(self.tmp.name, "tables.log")) as f:
            self.assertIn('The slot selection "0" matches none of the study\'s 0 series slots', f.read())

    def test_a_selection_that_does_not_parse_is_refused_before_the_log(self):
        for args, message in [(("--runs", "a*"), 'Invalid run selection: "a*" is not a number or a range'),
                              (("--slots", "9-2"), 'Invalid slot selection: "9-2" is a range that ends before'),
                              (("--slots", " , "), "Invalid slot selection")]:
            with self.subTest(args=args):
                workbook = os.path.join(self.tmp.name, "bad.xlsx")
                status, out, _ = run("-i", self.source, "-o", workbook, *args)
                self.assertEqual(status, 1)
                self.assertIn("Gridwell Error: " + message, out)
                self.assertFalse(os.path.exists(workbook))
                self.assertFalse(os.path.exists(os.path.join(self.tmp.name, "bad.log")))
        self.assertEqual(run("-i", self.source, "--slots")[1], "Gridwell: Invalid Usage. Use '-h' for help.\n\n")
        self.assertEqual(run("-i", self.source, "--list=xml")[0], 1)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
