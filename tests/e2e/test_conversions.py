"""End-to-end conversions through the built executable, read back with openpyxl.

Usage: test_conversions.py <gridwell executable> <group>"""

import datetime
import math
import os
import resource
import subprocess
import sys
import tempfile

import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reopen  # noqa: E402
from pvxgen import Package, Run, Slot, steps  # noqa: E402
from workbookcheck import FULL, INDEX, SHORT, Checker, date_format, expected_sheets  # noqa: E402

NAN, INF = float("nan"), float("inf")
EXECUTABLE = sys.argv[1]
failures = []


def convert(workdir, package, arrangement, preference=SHORT, limit_files=None):
    """Exit status, workbook path and log text of one conversion."""
    source, target, log = (os.path.join(workdir, name) for name in ("study.pvx", "out.xlsx", "run.log"))
    if package is not None:
        package.write(source)
    args = [EXECUTABLE, "-i", source, "-o", target, "-l", log, "-a", str(arrangement), "-n", preference]
    limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit_files,) * 2)) if limit_files else None
    done = subprocess.run(args, capture_output=True, text=True, timeout=600, preexec_fn=limit)
    reopen.check_run(args, done.returncode)
    with open(log, encoding="utf-8", errors="replace") as f:
        return done.returncode, target, f.read()


def check_conversion(context, package, arrangement, preference, names=None, fmt=None, existing=None,
                     before=()):
    """Converts and compares the whole workbook with what is expected; returns the checker and
    the workbook, or None when the conversion failed or made other worksheets. existing(path)
    makes a workbook beforehand, whose worksheets before come ahead of "Header"."""
    with tempfile.TemporaryDirectory() as workdir:
        if existing:
            existing(os.path.join(workdir, "out.xlsx"))
        status, target, log_text = convert(workdir, package, arrangement, preference)
        if status != 0:
            failures.append(f"{context}: exit status {status}; log:\n{log_text}")
            return None
        wb = openpyxl.load_workbook(target)
    check = Checker(context, fmt or date_format(package), failures)
    sheets = expected_sheets(package, arrangement, preference, names)
    expected_names = list(before) + ["Header"] + [s.name for s in sheets]
    if wb.sheetnames != expected_names:
        check.fail(f"worksheets {wb.sheetnames}, expected {expected_names}")
        return None
    check.header(wb["Header"], package, preference)
    for sheet in sheets:
        check.data_sheet(wb[sheet.name], sheet, fresh=existing is None)
    return check, wb


def series_study(pairs, stamps, runs=1):
    """Runs of series slots named by (object, slot) pairs; each value tells run, slot and step."""
    return Package([Run(stamps, [Slot(o, s, values=[r * 1000 + k * 10 + t for t in range(len(stamps))])
                                 for k, (o, s) in enumerate(pairs)]) for r in range(runs)])


def check_refusal(context, package, message, sheets_left):
    """The conversion fails with message in the log, leaving the workbook with sheets_left
    (None: no workbook at all)."""
    with tempfile.TemporaryDirectory() as workdir:
        status, target, log_text = convert(workdir, package, 1, FULL)
        left = openpyxl.load_workbook(target).sheetnames if os.path.exists(target) else None
        if status != 1 or message not in log_text or left != sheets_left:
            failures.append(f"{context}: status {status}, worksheets left {left}, log:\n{log_text}")


def study():
    """Three runs; series slots (typed and untyped) with a table slot and a scalar slot
    between them; NaN and infinite values; the last run lacks the last slot, so some values
    are not in the package."""
    runs = []
    for r in range(3):
        def values(k):
            return [r * 1000 + k * 100 + t + 0.5 for t in range(6)]
        slots = [Slot("Lake Powell", "Outflow", values=values(0), method="avg"),
                 Slot("Lake Powell", "Elevation Table", kind="table"),
                 Slot("Lake Mead", "Pool Elevation", kind="untyped", values=values(1), units="ft", scale=0.5),
                 Slot("Lake Mead", "Capacity", kind="scalar", values=[12.0]),
                 Slot("Glen: Canyon", "Storage", values=[NAN, 1.0, INF, -INF, 2.0, 3.0] if r == 1 else values(2))]
        runs.append(Run(steps(datetime.datetime(2021, 1, 2), 6), slots[:4] if r == 2 else slots))
    return Package(runs)


def check_arrangements():
    for arrangement in range(6):
        for preference in (INDEX, SHORT, FULL):
            check_conversion(f"arrangement {arrangement}, {preference}", study(), arrangement, preference)


def check_header_edge_case():
    # Two runs, three series slots and a table slot, twelve timesteps, short names; the
    # literal cells below check the expectations themselves.
    stamps = steps(datetime.datetime(2020, 1, 1, 12), 12)

    def slots():
        return [Slot("Lake", "Pool", values=list(range(12))), Slot("Lake", "Table", kind="table"),
                Slot("Lake Powell", "Outflow", values=list(range(12)), method="m", scale=math.nan),
                Slot("Sand", "AndGravel", kind="untyped", values=list(range(12)))]
    package = Package([Run(stamps, slots()), Run(stamps, slots(), rule_set="Other", slot_set="Set2")])
    done = check_conversion("header layout", package, 1, SHORT, fmt="m/d/yyyy")
    if done:
        check, wb = done
        for row, column, value in [(2, 4, "2021-03-5 7:30"), (2, 6, 3), (2, 7, 12), (4, 2, datetime.datetime(
                2020, 1, 1, 11, 59)), (5, 9, "Other"), (6, 8, "Short Slot Name"), (7, 1, "Slot0"), (7, 3, "Lake"),
                (8, 8, "LkPwllOtflw"), (9, 8, "Snd&Grvl"), (10, 1, "Time #"), (22, 1, "Time11"),
                (22, 2, datetime.datetime(2020, 1, 12, 11, 59)),
                # A scale that is no finite number is written as the values are, as "NaN".
                (7, 6, 1), (8, 6, "NaN")]:
            check.cell(wb["Header"], row, column, value)


def check_date_formats():
    first = datetime.datetime(2021, 1, 1, 6)
    for name, stamps, fmt in [
            ("six-hourly", steps(first, 4, datetime.timedelta(hours=6)), "m/d/yyyy h:mm"),
            ("daily", steps(first, 4), "m/d/yyyy"),
            ("weekly", steps(first, 4, datetime.timedelta(days=7)), "m/d/yyyy"),
            ("monthly", [datetime.datetime(2021, m, 1) for m in range(2, 6)], "m/yyyy"),
            ("single timestep", [first], "m/d/yyyy h:mm")]:
        package = series_study([("A", "B")], stamps)
        for arrangement in (0, 3):
            check_conversion(f"{name} dates, arrangement {arrangement}", package, arrangement, INDEX, fmt=fmt)


def check_name_collisions():
    long_object = "Flaming Gorge Reservoir Below Dam"

    package = series_study([("LakeA", "Storage"), ("LikeA", "Storage"),  # both LkAStrg when shortened
                            ("LKA", "strg"),  # LKAstrg: equal to those but for case
                            ("", "Header"),  # Hdr when shortened
                            (long_object, "Pool Elevation"), (long_object, "Pool Elevation Max")],
                           steps(datetime.datetime(2021, 1, 2), 3), runs=2)
    for preference, names in [
            (SHORT, ["LkAStrg", "1LkAStrg~", "2LKAstrg~", "Hdr", "FlmngGrgRsrvrBlwDmPlElvtn",
                     "FlmngGrgRsrvrBlwDmPlElvtnMx"]),
            (FULL, ["LakeAStorage", "LikeAStorage", "LKAstrg", "1Header~", (long_object + "Pool Elevation")[:30]
                    + "~", ("1" + long_object + "Pool Elevation Max")[:30] + "~"])]:
        for arrangement in (1, 4):
            check_conversion(f"colliding names, {preference}, arrangement {arrangement}", package, arrangement,
                             preference, names)


def check_existing_workbook():
    def older(target):
        # A sheet of the user's own, a longer "Header" and a "Run0" larger than the new data.
        wb = openpyxl.Workbook()
        wb.active.title = "Mine"
        wb.active["A1"], wb.active["C7"] = "kept", 42
        header, run0 = wb.create_sheet("Header"), wb.create_sheet("Run0")
        for row in range(1, 61):
            for column in range(1, 16):
                header.cell(row=row, column=column, value=f"old {row},{column}")
                if row <= 30 and column <= 8:
                    run0.cell(row=row, column=column, value=row * 100 + column)
        wb.save(target)
    done = check_conversion("existing workbook", study(), 0, INDEX, existing=older, before=["Mine"])
    if done:
        check, wb = done
        check.cell(wb["Mine"], 1, 1, "kept")
        check.cell(wb["Mine"], 7, 3, 42)
        for name in ("Run1", "Run2"):
            check.extent(wb[name], 7, 4)
        for row in range(1, 31):
            for column in range(1, 9):
                if row > 7 or column > 4:  # outside the 7 x 4 written
                    check.cell(wb["Run0"], row, column, row * 100 + column)


def check_refused_packages():
    stamps = steps(datetime.datetime(2021, 1, 2), 3)
    for name, second, message in [
            ("end differs", Run(stamps, [Slot("A", "B", values=[1, 2, 3])], end=stamps[-1] + datetime.timedelta(1)),
             "Run date ranges don't all match"),
            ("timesteps differ", Run(stamps[:2], [Slot("A", "B", values=[1, 2])], end=stamps[-1]),
             "Number of timesteps in runs don't all match"),
            # Same first and last date, but a date between them that is not the first run's.
            ("a date differs", Run(stamps[:1] + [stamps[1] + datetime.timedelta(hours=12)] + stamps[2:],
                                   [Slot("A", "B", values=[1, 2, 3])], end=stamps[-1]),
             "Run date ranges don't all match: timestep 2 of Run1 is 2021-1-3 12:00 where Run0 has 2021-1-2 24:00"),
            # Values of a slot in another place would stand under another slot's name.
            ("slot in another place", Run(stamps, [Slot("Dam", "Spill", values=[1, 2, 3])]),
             "Cannot read PVX file: Run 1 (trace 2) has slot Dam.Spill where run 0 (trace 1) has A.B (line ")]:
        package = series_study([("A", "B")], stamps)
        package.runs.append(second)
        check_refusal(f"refused package ({name})", package, message, None)


def check_warnings():
    # Runs beyond number_of_runs and another run's units are converted as before, with a word in
    # the log; the exit status stays 0.
    stamps = steps(datetime.datetime(2021, 1, 2), 3)
    package = series_study([("A", "B")], stamps, runs=2)
    package.runs[1].slots[0].units = "m3/s"
    with tempfile.TemporaryDirectory() as workdir:
        package.write(os.path.join(workdir, "study.pvx"))
        with open(os.path.join(workdir, "study.pvx"), encoding="utf-8") as f:  # a value that is no number
            lines = f.read().split("\n")
        value_line = lines.index("END_SLOT_PREAMBLE") + 3
        lines[value_line] = "n/a"
        # A slot name as a Windows tool writes it.
        name_line = lines.index("slot_name: B")
        with open(os.path.join(workdir, "study.pvx"), "wb") as f:
            f.write("\n".join(lines).replace("slot_name: B", "slot_name: B \u00b5g/m\u00b3").encode("cp1252"))
        with open(os.path.join(workdir, "study.pvx"), "a", encoding="utf-8") as f:  # a run the count leaves out
            f.write("\n".join(package.runs[0].lines(3)) + "\n")
        status, _, log_text = convert(workdir, None, 1)
        for expected in ("Gridwell Warning: Run 1 (trace 2) gives slot A.B \u00b5g/m\u00b3 the units m3/s and scale 1 where run 0 (trace 1) has "
                         "acre-ft and 1; the first run's are used",
                         "Gridwell Warning: The file holds 3 runs; number_of_runs says 2; the last one was not "
                         "converted", "Gridwell Warning: 1 value line did not read as a number and was converted as "
                         f"0: line {value_line + 1} \"n/a\"", f"Gridwell Warning: Line {name_line + 1} (and perhaps later ones) is not "
                         "UTF-8 text; it was read as Windows-1252, as Windows tools write it",
                         "Gridwell: Workbook write successfully completed"):
            if status != 0 or expected not in log_text:
                failures.append(f"warnings: status {status}, missing {expected!r} in log:\n{log_text}")
        names = [row[3] for row in openpyxl.load_workbook(os.path.join(workdir, "out.xlsx"))["Header"].iter_rows(
            values_only=True) if row[0] == "Slot0"]
        if names != ["B \u00b5g/m\u00b3"]:
            failures.append(f"warnings: Windows-1252 slot name read as {names!r}")


def check_empty_tables():
    # No series slots: the slot tables and slot axes are empty, and the rest is written.
    stamps = steps(datetime.datetime(2021, 1, 2), 3)
    package = Package([Run(stamps, [Slot("A", "T", kind="table"), Slot("A", "S", kind="scalar", values=[1.0])])
                       for _ in range(2)])
    for arrangement in range(6):
        check_conversion(f"no series slots, arrangement {arrangement}", package, arrangement, SHORT)

    # No runs: the package table and the headings of the empty tables.
    with tempfile.TemporaryDirectory() as workdir:
        with open(os.path.join(workdir, "study.pvx"), "w") as f:
            f.write("name:Empty\nowner:me\nnumber_of_runs:0\nEND_PACKAGE_PREAMBLE\n")
        status, target, log_text = convert(workdir, None, 0)
        wb = openpyxl.load_workbook(target) if status == 0 else None
    if wb is None or wb.sheetnames != ["Header"]:
        failures.append(f"no runs: exit status {status}, worksheets {wb and wb.sheetnames}; log:\n{log_text}")
        return
    check = Checker("no runs", None, failures)
    ws = wb["Header"]
    for row, column, value, bold in [(2, 1, "Empty", False), (2, 2, "me", False), (2, 5, 0, False),
                                     (2, 6, 0, False), (2, 7, 0, False), (3, 1, "Run #", True),
                                     (4, 1, "Slot #", True), (5, 1, "Time #", True), (5, 2, "Time", True)]:
        check.cell(ws, row, column, value, bold=bold)
    check.extent(ws, 5, 10)


def check_unicode_and_failing_names():
    stamps = steps(datetime.datetime(2021, 1, 2), 3)
    package = series_study([("Lac Léman", "Niveau"), ("Étang", "Débit"), ("étang", "débit")], stamps, runs=2)
    check_conversion("non-ASCII names", package, 1, FULL, ["Lac LémanNiveau", "ÉtangDébit", "1étangdébit~"])
    # Characters a worksheet name cannot hold are replaced; the corner keeps the full name.
    package = series_study([("A", "One"), ("B", "Two"), ("C/D", "Three")], stamps)
    check_conversion("refused characters", package, 1, FULL, ["AOne", "BTwo", "C_DThree"])


def check_many_worksheets():
    # 5,000 timestep worksheets under a limit of 256 open files.
    count = 5000
    stamps = steps(datetime.datetime(2000, 1, 1, 6), count, datetime.timedelta(hours=6))
    package = series_study([("A", "B")], stamps, runs=2)
    with tempfile.TemporaryDirectory() as workdir:
        status, target, log_text = convert(workdir, package, 3, limit_files=256)
        if status != 0:
            failures.append(f"many worksheets: exit status {status}; log:\n{log_text}")
            return
        wb = openpyxl.load_workbook(target, read_only=True)
        if len(wb.sheetnames) != count + 1 or wb.sheetnames[-1] != f"Time{count - 1}":
            failures.append(f"many worksheets: {len(wb.sheetnames)} worksheets, last {wb.sheetnames[-1]}")
            return
        rows = [[c.value for c in row] for row in wb[f"Time{count - 1}"].iter_rows()]
        if rows[0][1:] != ["Run0", "Run1"] or rows[1] != ["AB", count - 1.0, count + 999.0]:
            failures.append(f"many worksheets: last worksheet holds {rows}")


def check_too_many_worksheets():
    # 65,000 slots on worksheets (and "Header") are more than a workbook holds: refused before
    # anything is written, with a way out.
    stamps = steps(datetime.datetime(2000, 1, 1), 1)
    pairs = [(f"R{i}", "B") for i in range(65000)]
    check_refusal("too many worksheets", series_study(pairs, stamps), "The study needs 65,001 worksheets; "
                  "a workbook holds at most 65,000. Choose an arrangement that puts fewer of them on worksheets.",
                  None)


GROUPS = {"arrangements": check_arrangements, "header": check_header_edge_case, "dates": check_date_formats,
          "names": check_name_collisions, "existing": check_existing_workbook, "refused": check_refused_packages, "warnings": check_warnings,
          "empty": check_empty_tables, "unicode": check_unicode_and_failing_names,
          "manysheets": check_many_worksheets, "toomanysheets": check_too_many_worksheets}

if __name__ == "__main__":
    GROUPS[sys.argv[2]]()
    for failure in failures[:60]:
        print(failure)
    if len(failures) > 60:
        print(f"... and {len(failures) - 60} more")
    sys.exit(1 if failures else 0)
