"""The command-line face end to end: texts, exit statuses, paths and the log file."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import openpyxl

import reopen

GRIDWELL = sys.argv[1]
EXAMPLE = sys.argv[2]

USAGE = (
    "The Gridwell tool will take an PVX file and convert its data\n"
    "into an Excel workbook using user-specified congiguration options.\n"
    "\n"
    "Usage: \n"
    "Gridwell <-i file> <-o file> <-l file> <-a number> <-n name> <-h> <-v>\n"
    "-i: This specifies the input pvx file (required).\n"
    "-o: This specifies the output Excel workbook (required).\n"
    "-l: This specifies the log file for messages.\n"
    "    (will default to the workbook file name plus a .log file extension)\n"
    "-a: This number specifies the arrangement of the result workbook as follows:\n"
    "    0 - Rows = Timesteps Columns = Slots     Sheets = Runs\n"
    "    1 - Rows = Timesteps Columns = Runs      Sheets = Slots (default)\n"
    "    2 - Rows = Slots     Columns = Timesteps Sheets = Runs\n"
    "    3 - Rows = Slots     Columns = Runs      Sheets = Timesteps\n"
    "    4 - Rows = Runs      Columns = Timesteps Sheets = Slots\n"
    "    5 - Rows = Runs      Columns = Slots     Sheets = Timesteps\n"
    "-n: This specifies the slot naming option:\n"
    "    Full  - Full Object.Slot name\n"
    "    Short - Automatically shortened Object.Slot name (default)\n"
    "    Index - Index name of Slot0, Slot1, Slot2, etc. \n"
    "-h: This will print help information.\n"
    "-v: This will print the version number.\n"
    "--list[=json]: Prints the study's runs and series slots (as JSON) and converts nothing.\n"
    "--slots SELECTION: Converts only these slots: indices, ranges 0-9, Object.Slot patterns with * ?.\n"
    "--runs SELECTION: Converts only these runs: indices and ranges such as 0-9.\n"
    "\n"
)
INVALID = "Gridwell: Invalid Usage. Use '-h' for help.\n\n"
UNREGISTERED = "CLSIDFromProgID() failed when trying to start Excel Application"


def headless_environment(**extra):
    """The environment of a batch job: no display of any kind."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM")}
    env.update(extra)
    return env


def run(*args, env=None, cwd=None):
    result = subprocess.run([GRIDWELL, *args], capture_output=True, env=env or headless_environment(),
                            cwd=cwd, timeout=300)
    reopen.check_run(args, result.returncode, cwd)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


class WindowWithoutDisplay(unittest.TestCase):
    def test_one_line_and_status_1(self):
        expected = ("Gridwell: the window needs a display, and none is available; to convert without a window use "
                    "the command line, for example: gridwell -i study.pvx -o study.xlsx (gridwell -h lists the "
                    "options)\n")
        for env in (headless_environment(), headless_environment(DISPLAY=":97")):
            with self.subTest(display=env.get("DISPLAY")):
                result = subprocess.run([GRIDWELL], capture_output=True, env=env, timeout=60)
                self.assertEqual((result.returncode, result.stdout.decode(), result.stderr.decode()),
                                 (1, "", expected))


class CommandLineTexts(unittest.TestCase):
    def test_help_prints_the_usage_text_only(self):
        self.assertEqual(run("-h"), (0, USAGE, ""))
        self.assertEqual(run("-i", "missing.pvx", "-h", "-x"), (0, USAGE, ""))

    def test_version_ends_the_run_at_once(self):
        self.assertEqual(run("-i", "missing.pvx", "-v"), (0, "Gridwell version v1.4\n\n", ""))
        self.assertEqual(run("-version"), (0, "Gridwell version v1.4\n\n", ""))

    def test_invalid_usage(self):
        # A lone file argument ("gridwell in.pvx", as a desktop launcher passes it) opens the window.
        for args in (["-x"], ["-"], ["-i", "a.pvx", "b.pvx"], ["-a", "-1"]):
            with self.subTest(args=args):
                self.assertEqual(run(*args), (1, INVALID, ""))

    def test_missing_input(self):
        self.assertEqual(run("-o", "out.xlsx"),
                         (1, "Gridwell Error: Input PVX file must be specified with -i option\n\n", ""))

    def test_undefined_variables_name_the_path_as_given(self):
        env = headless_environment()
        env.pop("GRIDWELL_NOPE", None)
        for args, what, path in [(["-i", "$GRIDWELL_NOPE/in.pvx"], "Input PVX", "$GRIDWELL_NOPE/in.pvx"),
                                 (["-i", EXAMPLE, "-o", "${GRIDWELL_NOPE}/out.xlsx"], "Output workbook",
                                  "${GRIDWELL_NOPE}/out.xlsx"),
                                 (["-i", EXAMPLE, "-o", "/tmp/x.xlsx", "-l", "$(GRIDWELL_NOPE)/x.log"],
                                  "Output Log file", "$(GRIDWELL_NOPE)/x.log")]:
            self.assertEqual(run(*args, env=env), (
                1, f"Gridwell Error: {what} path environment variables could not be substituted:\n{path}\n\n", ""))

    def test_unopenable_files(self):
        with tempfile.TemporaryDirectory() as folder:
            status, out, err = run("-i", os.path.join(folder, "none.pvx"))
            self.assertEqual(status, 1)
            self.assertTrue(out.startswith("Gridwell Error: Input pvx file could not be opened for reading:\n"), out)
            self.assertTrue(out.endswith("\n\n"))
            log = os.path.join(folder, "no-such-dir", "x.log")
            status, out, err = run("-i", EXAMPLE, "-o", os.path.join(folder, "x.xlsx"), "-l", log)
            self.assertEqual(status, 1)
            self.assertTrue(out.startswith("Gridwell Error: Problem opening log file named " + log + ": \n"), out)

    def test_names_that_are_not_utf8_keep_their_bytes(self):
        """File names are the system's bytes: a Latin-1 "caf\xe9.pvx" in a folder named in Latin-1
        is found, and the workbook and log it gets, by default or by -o and -l, are named with the
        very bytes given, also when an existing workbook is updated."""
        with tempfile.TemporaryDirectory() as folder:
            inner = os.path.join(os.fsencode(folder), b"d\xe9p")
            os.mkdir(inner)
            source = os.path.join(inner, b"caf\xe9.pvx")
            shutil.copyfile(EXAMPLE, source)

            def convert(*args):
                # An environment variable's value that is not UTF-8 keeps its bytes too.
                env = headless_environment(GRIDWELL_INNER=os.fsdecode(inner))
                result = subprocess.run([GRIDWELL, "-i", source, *args], capture_output=True,
                                        env=env, cwd=folder, timeout=300)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))

            convert()
            self.assertEqual(sorted(os.listdir(inner)), [b"caf\xe9.log", b"caf\xe9.pvx", b"caf\xe9.xlsx"])
            relative = b"d\xe9p/b\xfcch.xlsx"
            convert("-o", relative, "-l", b"d\xe9p/\xe0.log")
            convert("-o", relative.replace(b"/", b"\\"), "-a", "0")  # an update, under the other spelling
            convert("-o", "${GRIDWELL_INNER}/env.xlsx")
            self.assertEqual(sorted(os.listdir(inner)),
                             [b"b\xfcch.log", b"b\xfcch.xlsx", b"caf\xe9.log", b"caf\xe9.pvx", b"caf\xe9.xlsx",
                              b"env.log", b"env.xlsx", b"\xe0.log"])
            workbook = openpyxl.load_workbook(os.fsdecode(os.path.join(inner, b"b\xfcch.xlsx")), read_only=True)
            self.assertIn("Header", workbook.sheetnames)
            self.assertGreater(len(workbook.sheetnames), 2)
            workbook.close()
            with open(os.path.join(inner, b"b\xfcch.log"), "rb") as log:
                text = log.read().decode("utf-8")
            self.assertIn("Workbook write successfully completed", text)
            # The log is text: a byte that is not UTF-8 shows as U+FFFD there.
            self.assertIn("b\ufffdch.xlsx", text)

            # A message on the console names the file with the bytes it was given.
            missing = os.path.join(inner, b"n\xe9ant.pvx")
            result = subprocess.run([GRIDWELL, "-i", source, "-o", relative, "-l", missing.replace(b".pvx", b"/x.log")],
                                    capture_output=True, env=headless_environment(), cwd=folder, timeout=300)
            self.assertEqual(result.returncode, 1)
            self.assertIn(b"Problem opening log file named " + missing.replace(b".pvx", b"/x.log"), result.stdout)


class LogFile(unittest.TestCase):
    def setUp(self):
        self.folder = self.enterContext(tempfile.TemporaryDirectory())

    def read_log(self, path):
        with open(path, encoding="utf-8") as log:
            return log.read()

    def test_head_and_arrangement_check(self):
        out = os.path.join(self.folder, "book.xlsx")
        status, stdout, stderr = run("-i", EXAMPLE, "-o", out, "-a", "6")
        self.assertEqual((status, stdout, stderr), (1, "", ""))
        lines = self.read_log(os.path.join(self.folder, "book.log")).split("\n")
        self.assertEqual(lines[0], "")
        self.assertEqual(lines[2:6], ["Input pvx file: ", EXAMPLE, "Output Excel Workbook file: ", out])
        self.assertEqual(lines[6], "Gridwell Error: Invalid workbook arrangement specified with -a option: 6")
        self.assertFalse(os.path.exists(out))

    def test_name_preferences(self):
        out = os.path.join(self.folder, "book.xlsx")
        status, stdout, _ = run("-i", EXAMPLE, "-o", out, "-n", "SHORT")
        self.assertEqual((status, stdout), (1, ""))
        log = self.read_log(os.path.join(self.folder, "book.log"))
        self.assertTrue(log.endswith("Gridwell Error: Invalid name preference specified with -n option: SHORT\n"), log)

    def test_unreadable_pvx_reports_the_readers_message(self):
        pvx = os.path.join(self.folder, "bad.pvx")
        with open(pvx, "w") as f:
            f.write("name:X\nnumber_of_runs:2\nEND_PACKAGE_PREAMBLE\n")
        status, stdout, _ = run("-i", pvx, "-o", os.path.join(self.folder, "bad.xlsx"))
        self.assertEqual((status, stdout), (1, ""))
        log = self.read_log(os.path.join(self.folder, "bad.log"))
        self.assertTrue(log.endswith("Gridwell Error: \nCannot read run preamble (line 4, run 0)\n\n"), log)

    def test_no_spreadsheet_server(self):
        env = headless_environment(GRIDWELL_SPREADSHEET_UNREGISTERED="1")
        out = os.path.join(self.folder, "book.xlsx")
        status, stdout, _ = run("-i", EXAMPLE, "-o", out, env=env)
        self.assertEqual((status, stdout), (1, ""))
        self.assertTrue(self.read_log(os.path.join(self.folder, "book.log")).endswith(
            "Gridwell Error: \n" + UNREGISTERED + "\n\n"))
        status, stdout, _ = run("-i", EXAMPLE, env=env)
        self.assertEqual((status, stdout),
                         (1, "Gridwell Error: Problem finding Excel version: \n" + UNREGISTERED + "\n\n"))

    def test_default_log_sits_beside_the_workbook(self):
        folder = os.path.join(self.folder, "my.dir")
        os.mkdir(folder)
        out = os.path.join(folder, "book")
        run("-i", EXAMPLE, "-o", out, "-a", "9")
        self.assertTrue(os.path.exists(os.path.join(folder, "book.log")))
        self.assertFalse(os.path.exists(os.path.join(self.folder, "my.log")))

    def test_successful_run_prints_nothing(self):
        out = os.path.join(self.folder, "study.xlsx")
        self.assertEqual(run("-i", EXAMPLE, "-o", out), (0, "", ""))
        self.assertTrue(self.read_log(os.path.join(self.folder, "study.log")).endswith(
            "Gridwell: Workbook write successfully completed\n\n"))
        self.assertTrue(os.path.getsize(out) > 0)

    def test_default_workbook_takes_the_servers_extension(self):
        pvx = os.path.join(self.folder, "study.v2.pvx")
        with open(EXAMPLE, "rb") as source, open(pvx, "wb") as copy:
            copy.write(source.read())
        self.assertEqual(run("-i", pvx), (0, "", ""))
        self.assertTrue(os.path.exists(os.path.join(self.folder, "study.v2.xlsx")))
        self.assertTrue(os.path.exists(os.path.join(self.folder, "study.v2.log")))
        # An older spreadsheet application offers only .xls.
        env = headless_environment(GRIDWELL_SPREADSHEET_VERSION="11.0")
        run("-i", pvx, "-a", "8", env=env)
        head = self.read_log(os.path.join(self.folder, "study.v2.log")).split("\n")
        self.assertEqual(head[5], os.path.join(self.folder, "study.v2.xls"))

    def test_option_without_value_is_refused_and_nothing_is_written(self):
        source = os.path.join(self.folder, "study.pvx")
        shutil.copy(EXAMPLE, source)
        for args, option in ((("-a", "7", "-o"), "-o"), (("-list",), "-list"), (("-o", "--slots", "1"), "-o")):
            with self.subTest(args=args):
                status, stdout, _ = run("-i", source, *args, cwd=self.folder)
                self.assertEqual(status, 1)
                self.assertEqual(stdout, f'Gridwell: Invalid Usage: "{option}" is not followed by its value. '
                                         "Use '-h' for help.\n\n")
                self.assertEqual(os.listdir(self.folder), ["study.pvx"])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
