"""End-to-end conversions through the built executable, read back with openpyxl.

Usage: e2e_composition.py <gridwell executable> <group>"""

import datetime
import os
import resource
import subprocess
import sys
import tempfile

import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pvxgen import Package, Run, Slot, daily, steps  # noqa: E402
from workbookcheck import FULL, INDEX, SHORT, Checker, date_format, expected_sheets, shown_date  # noqa: E402

NAN = float("nan")
INF = float("inf")
EXECUTABLE = sys.argv[1]
failures = []


def convert(workdir, package, arrangement, preference, output="out.xlsx"):
    source = os.path.join(workdir, "study.pvx")
    package.write(source)
    target = os.path.join(workdir, output)
    log = os.path.join(workdir, "run.log")
    done = subprocess.run([EXECUTABLE, "-i", source, "-o", target, "-l", log, "-a", str(arrangement),
                           "-n", preference], capture_output=True, text=True, timeout=300)
    with open(log, encoding="utf-8", errors="replace") as f:
        log_text = f.read()
    return done.returncode, target, log_text


def converted(context, workdir, package, arrangement, preference):
    status, target, log_text = convert(workdir, package, arrangement, preference)
    if status != 0:
        failures.append(f"{context}: exit status {status}; log:\n{log_text}")
        return None
    return openpyxl.load_workbook(target)


def study():
    """Three runs; series slots (typed and untyped) with a table slot and a scalar slot
    between them; NaN and infinite values; the last run lacks the last slot and holds a
    shortened series, so some values are not in the package."""
    stamps = daily(datetime.datetime(2021, 1, 2), 6)
    runs = []
    for r in range(3):
        def values(k):
            return [r * 1000 + k * 100 + t + 0.5 for t in range(6)]
        slots = [
            Slot("Lake Powell", "Outflow", values=values(0), method="avg"),
            Slot("Lake Powell", "Elevation Table", kind="table"),
            Slot("Lake Mead", "Pool Elevation", kind="untyped", values=values(1), units="ft", scale=0.5),
            Slot("Lake Mead", "Capacity", kind="scalar", values=[12.0]),
            Slot("Glen: Canyon", "Storage", values=[NAN, 1.0, INF, -INF, 2.0, 3.0] if r == 1 else values(2)),
        ]
        if r == 2:
            slots = slots[:4]
        runs.append(Run(stamps, slots))
    return Package(runs)


def check_arrangements():
    package = study()
    for arrangement in range(6):
        for preference in (INDEX, SHORT, FULL):
            context = f"arrangement {arrangement}, {preference}"
            with tempfile.TemporaryDirectory() as workdir:
                wb = converted(context, workdir, package, arrangement, preference)
                if wb is None:
                    continue
                check = Checker(context)
                sheets = expected_sheets(package, arrangement, preference)
                expected_names = ["Header"] + [s.name for s in sheets]
                if wb.sheetnames != expected_names:
                    check.fail(f"worksheets {wb.sheetnames}, expected {expected_names}")
                else:
                    check.header(wb["Header"], package, preference)
                    for sheet in sheets:
                        check.data_sheet(wb[sheet.name], sheet, date_format(package))
                failures.extend(check.failures)


def check_header_edge_case():
    # Two runs, three series slots, a table slot, twelve timesteps, short names.
    stamps = daily(datetime.datetime(2020, 1, 1, 12), 12)

    def slots():
        return [Slot("Lake", "Pool", values=list(range(12))),
                Slot("Lake", "Table", kind="table"),
                Slot("Lake Powell", "Outflow", values=list(range(12)), method="m"),
                Slot("Sand", "AndGravel", kind="untyped", values=list(range(12)))]
    package = Package([Run(stamps, slots()), Run(stamps, slots(), rule_set="Other", slot_set="Set2")],
                      create_date=datetime.datetime(2021, 3, 5, 7, 30))
    with tempfile.TemporaryDirectory() as workdir:
        wb = converted("header layout", workdir, package, 1, SHORT)
        if wb is None:
            return
        ws = wb["Header"]
        check = Checker("header layout")
        check.header(ws, package, SHORT)
        check.cell(ws, 2, 4, "2021-03-5 7:30")
        check.cell(ws, 2, 6, 3)
        check.cell(ws, 2, 7, 12)
        check.cell(ws, 6, 8, "Short Slot Name", bold=True)
        check.cell(ws, 7, 1, "Slot0")
        check.cell(ws, 7, 3, "Lake")
        check.cell(ws, 8, 1, "Slot1")
        check.cell(ws, 8, 8, "LkPwllOtflw")
        check.cell(ws, 9, 8, "Snd&Grvl")
        check.cell(ws, 10, 1, "Time #", bold=True)
        check.cell(ws, 22, 1, "Time11")
        check.cell(ws, 22, 2, datetime.datetime(2020, 1, 12, 11, 59), number_format="m/d/yyyy")
        check.cell(ws, 4, 2, datetime.datetime(2020, 1, 1, 11, 59), number_format="m/d/yyyy")
        failures.extend(check.failures)


def check_date_formats():
    first = datetime.datetime(2021, 1, 1, 6)
    cases = [
        ("six-hourly", steps(first, 4, datetime.timedelta(hours=6)), "m/d/yyyy h:mm"),
        ("daily", steps(first, 4, datetime.timedelta(days=1)), "m/d/yyyy"),
        ("weekly", steps(first, 4, datetime.timedelta(days=7)), "m/d/yyyy"),
        ("monthly", [datetime.datetime(2021, m, 1) for m in range(2, 6)], "m/yyyy"),
        ("single timestep", [first], "m/d/yyyy h:mm"),
    ]
    for name, stamps, fmt in cases:
        package = Package([Run(stamps, [Slot("A", "B", values=[1.0] * len(stamps))])])
        for arrangement in (0, 3):
            with tempfile.TemporaryDirectory() as workdir:
                context = f"{name} dates, arrangement {arrangement}"
                wb = converted(context, workdir, package, arrangement, INDEX)
                if wb is None:
                    continue
                check = Checker(context)
                if date_format(package) != fmt:
                    check.fail(f"test oracle chose {date_format(package)}")
                header = wb["Header"]
                check.cell(header, 4, 2, shown_date(stamps[0]), number_format=fmt)
                check.cell(header, 4, 3, shown_date(stamps[-1]), number_format=fmt)
                check.cell(header, 8, 2, shown_date(stamps[0]), number_format=fmt)
                for sheet in expected_sheets(package, arrangement, INDEX):
                    check.data_sheet(wb[sheet.name], sheet, fmt)
                failures.extend(check.failures)


def check_name_collisions():
    stamps = daily(datetime.datetime(2021, 1, 2), 3)
    long_object = "Flaming Gorge Reservoir Below Dam"

    def slots(r):
        def v(k):
            return [r * 100 + k * 10 + t for t in range(3)]
        return [Slot("LakeA", "Storage", values=v(0)),            # LkAStrg
                Slot("LikeA", "Storage", values=v(1)),            # LkAStrg again
                Slot("LKA", "strg", values=v(2)),                 # LKAstrg: equal but for case
                Slot("", "Header", values=v(3)),                  # Hdr with short names
                Slot(long_object, "Pool Elevation", values=v(4)),
                Slot(long_object, "Pool Elevation Max", values=v(5))]
    package = Package([Run(stamps, slots(0)), Run(stamps, slots(1))])
    cases = [
        (SHORT, ["LkAStrg", "1LkAStrg~", "2LKAstrg~", "Hdr",
                 "FlmngGrgRsrvrBlwDmPlElvtn", "FlmngGrgRsrvrBlwDmPlElvtnMx"]),
        (FULL, ["LakeAStorage", "LikeAStorage", "LKAstrg", "1Header~",
                (long_object + "Pool Elevation")[:30] + "~",
                ("1" + long_object + "Pool Elevation Max")[:30] + "~"]),
    ]
    for preference, names in cases:
        for arrangement in (1, 4):
            context = f"colliding names, {preference}, arrangement {arrangement}"
            with tempfile.TemporaryDirectory() as workdir:
                wb = converted(context, workdir, package, arrangement, preference)
                if wb is None:
                    continue
                check = Checker(context)
                if wb.sheetnames != ["Header"] + names:
                    check.fail(f"worksheets {wb.sheetnames}, expected {['Header'] + names}")
                else:
                    check.header(wb["Header"], package, preference)
                    for sheet in expected_sheets(package, arrangement, preference, names):
                        check.data_sheet(wb[sheet.name], sheet, date_format(package))
                failures.extend(check.failures)


def check_existing_workbook():
    package = study()
    with tempfile.TemporaryDirectory() as workdir:
        target = os.path.join(workdir, "out.xlsx")
        wb = openpyxl.Workbook()
        mine = wb.active
        mine.title = "Mine"
        mine["A1"] = "kept"
        mine["C7"] = 42
        header = wb.create_sheet("Header")
        for row in range(1, 61):
            for column in range(1, 16):
                header.cell(row=row, column=column, value=f"old {row},{column}")
        run0 = wb.create_sheet("Run0")
        for row in range(1, 31):
            for column in range(1, 9):
                run0.cell(row=row, column=column, value=row * 100 + column)
        wb.save(target)

        status, _, log_text = convert(workdir, package, 0, INDEX)
        if status != 0:
            failures.append(f"existing workbook: exit status {status}; log:\n{log_text}")
            return
        wb = openpyxl.load_workbook(target)
        check = Checker("existing workbook")
        expected_names = ["Mine", "Header", "Run0", "Run1", "Run2"]
        if wb.sheetnames != expected_names:
            check.fail(f"worksheets {wb.sheetnames}, expected {expected_names}")
        else:
            check.cell(wb["Mine"], 1, 1, "kept")
            check.cell(wb["Mine"], 7, 3, 42)
            check.header(wb["Header"], package, INDEX)
            sheets = expected_sheets(package, 0, INDEX)
            for sheet in sheets:
                check.data_sheet(wb[sheet.name], sheet, date_format(package), fresh=sheet.name != "Run0")
            run0 = wb["Run0"]
            data_rows = len(sheets[0].row_headings) + 1
            data_columns = len(sheets[0].column_headings) + 1
            for row in range(data_rows + 1, 31):
                for column in range(1, 9):
                    check.cell(run0, row, column, row * 100 + column)
            for row in range(1, data_rows + 1):
                for column in range(data_columns + 1, 9):
                    check.cell(run0, row, column, row * 100 + column)
        failures.extend(check.failures)


def check_refused_packages():
    stamps = daily(datetime.datetime(2021, 1, 2), 3)
    other = daily(datetime.datetime(2021, 1, 3), 3)
    cases = [
        ("end differs", Package([Run(stamps, [Slot("A", "B", values=[1, 2, 3])]),
                                 Run(stamps, [Slot("A", "B", values=[1, 2, 3])], end=other[-1])]),
         "Run date ranges don't all match"),
        ("timesteps differ", Package([Run(stamps, [Slot("A", "B", values=[1, 2, 3])]),
                                      Run(stamps[:2], [Slot("A", "B", values=[1, 2])], end=stamps[-1])]),
         "Number of timesteps in runs don't all match"),
    ]
    for name, package, message in cases:
        with tempfile.TemporaryDirectory() as workdir:
            status, target, log_text = convert(workdir, package, 1, SHORT)
            if status != 1 or message not in log_text:
                failures.append(f"refused package ({name}): status {status}, log:\n{log_text}")
            if os.path.exists(target):
                failures.append(f"refused package ({name}): a workbook was written")


def check_empty_tables():
    # No series slots: the slot tables and slot axes are empty, and the rest is written.
    stamps = daily(datetime.datetime(2021, 1, 2), 3)
    package = Package([Run(stamps, [Slot("A", "T", kind="table"), Slot("A", "S", kind="scalar", values=[1.0])])
                       for _ in range(2)])
    for arrangement in range(6):
        context = f"no series slots, arrangement {arrangement}"
        with tempfile.TemporaryDirectory() as workdir:
            wb = converted(context, workdir, package, arrangement, SHORT)
            if wb is None:
                continue
            check = Checker(context)
            sheets = expected_sheets(package, arrangement, SHORT)
            if wb.sheetnames != ["Header"] + [s.name for s in sheets]:
                check.fail(f"worksheets {wb.sheetnames}")
            else:
                check.header(wb["Header"], package, SHORT)
                for sheet in sheets:
                    check.data_sheet(wb[sheet.name], sheet, date_format(package))
            failures.extend(check.failures)

    # No runs: the package table and the headings of the empty tables.
    with tempfile.TemporaryDirectory() as workdir:
        source = os.path.join(workdir, "empty.pvx")
        with open(source, "w") as f:
            f.write("name:Empty\nowner:me\nnumber_of_runs:0\nEND_PACKAGE_PREAMBLE\n")
        target = os.path.join(workdir, "out.xlsx")
        log = os.path.join(workdir, "run.log")
        status = subprocess.run([EXECUTABLE, "-i", source, "-o", target, "-l", log, "-a", "0"]).returncode
        if status != 0:
            failures.append(f"no runs: exit status {status}")
            return
        wb = openpyxl.load_workbook(target)
        check = Checker("no runs")
        if wb.sheetnames != ["Header"]:
            check.fail(f"worksheets {wb.sheetnames}")
        ws = wb["Header"]
        for column, value in enumerate(["Empty", "me", None, None, 0, 0, 0]):
            if value is not None:
                check.cell(ws, 2, column + 1, value)
        check.cell(ws, 3, 1, "Run #", bold=True)
        check.cell(ws, 4, 1, "Slot #", bold=True)
        check.cell(ws, 5, 1, "Time #", bold=True)
        check.cell(ws, 5, 2, "Time", bold=True)
        if ws.max_row != 5:
            check.fail(f"Header extends to row {ws.max_row}")
        failures.extend(check.failures)


def check_unicode_and_failing_names():
    stamps = daily(datetime.datetime(2021, 1, 2), 3)

    def slots(r):
        return [Slot("Lac Léman", "Niveau", values=[r + 0.5, r + 1.5, r + 2.5]),
                Slot("Étang", "Débit", values=[r + 10.0, r + 11.0, r + 12.0]),
                Slot("étang", "débit", values=[r + 20.0, r + 21.0, r + 22.0])]
    package = Package([Run(stamps, slots(r)) for r in range(2)])
    names = ["Lac LémanNiveau", "ÉtangDébit", "1étangdébit~"]
    context = "non-ASCII names"
    with tempfile.TemporaryDirectory() as workdir:
        wb = converted(context, workdir, package, 1, FULL)
        if wb is not None:
            check = Checker(context)
            if wb.sheetnames != ["Header"] + names:
                check.fail(f"worksheets {wb.sheetnames}, expected {['Header'] + names}")
            else:
                check.header(wb["Header"], package, FULL)
                for sheet in expected_sheets(package, 1, FULL, names):
                    check.data_sheet(wb[sheet.name], sheet, date_format(package))
            failures.extend(check.failures)

    # A name the spreadsheet refuses stops the conversion at that worksheet; the workbook
    # stays as the header step saved it.
    package = Package([Run(stamps, [Slot("A", "One", values=[1, 2, 3]), Slot("B", "Two", values=[1, 2, 3]),
                                    Slot("C/D", "Three", values=[1, 2, 3])])])
    with tempfile.TemporaryDirectory() as workdir:
        status, target, log_text = convert(workdir, package, 1, FULL)
        if status != 1 or '"C/DThree"' not in log_text:
            failures.append(f"refused worksheet name: status {status}, log:\n{log_text}")
        elif openpyxl.load_workbook(target).sheetnames != ["Header"]:
            failures.append("refused worksheet name: the data worksheets before it were saved")


def check_many_worksheets():
    # 5,000 timestep worksheets under a limit of 256 open files.
    count = 5000
    stamps = steps(datetime.datetime(2000, 1, 1, 6), count, datetime.timedelta(hours=6))
    package = Package([Run(stamps, [Slot("A", "B", values=[float(t) for t in range(count)])]) for _ in range(2)])
    with tempfile.TemporaryDirectory() as workdir:
        source = os.path.join(workdir, "study.pvx")
        package.write(source)
        target = os.path.join(workdir, "out.xlsx")

        def limit_open_files():
            resource.setrlimit(resource.RLIMIT_NOFILE, (256, 256))
        done = subprocess.run([EXECUTABLE, "-i", source, "-o", target, "-l", os.path.join(workdir, "run.log"),
                               "-a", "3"], preexec_fn=limit_open_files, timeout=600)
        if done.returncode != 0:
            failures.append(f"many worksheets: exit status {done.returncode}")
            return
        wb = openpyxl.load_workbook(target, read_only=True)
        if len(wb.sheetnames) != count + 1 or wb.sheetnames[-1] != f"Time{count - 1}":
            failures.append(f"many worksheets: {len(wb.sheetnames)} worksheets, last {wb.sheetnames[-1]}")
            return
        rows = [[c.value for c in row] for row in wb[f"Time{count - 1}"].iter_rows()]
        if rows[0][1:] != ["Run0", "Run1"] or rows[1] != ["AB", count - 1.0, count - 1.0]:
            failures.append(f"many worksheets: last worksheet holds {rows}")


GROUPS = {
    "arrangements": check_arrangements,
    "header": check_header_edge_case,
    "dates": check_date_formats,
    "names": check_name_collisions,
    "existing": check_existing_workbook,
    "refused": check_refused_packages,
    "empty": check_empty_tables,
    "unicode": check_unicode_and_failing_names,
    "manysheets": check_many_worksheets,
}

if __name__ == "__main__":
    GROUPS[sys.argv[2]]()
    for failure in failures[:60]:
        print(failure)
    if len(failures) > 60:
        print(f"... and {len(failures) - 60} more")
    sys.exit(1 if failures else 0)
