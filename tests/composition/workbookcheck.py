"""Expected workbook contents of a conversion, and comparison with a workbook read back
by openpyxl."""

import datetime
import math
import re

ONE_MINUTE = datetime.timedelta(minutes=1)
INDEX, SHORT, FULL = "Index", "Short", "Full"


def shorten_all(full_names):
    given = []
    for full in full_names:
        name = re.sub(r"And(?![a-z])", "&", full)
        name = re.sub(r"[aeiou:\t\n\v\f\r ]", "", name)
        if len(name) >= 32:
            candidate = name[:30] + "~"
            k = 1
            while candidate in given:
                candidate = (str(k) + name)[:30] + "~"
                k += 1
            name = candidate
        given.append(name)
    return given


def slot_labels(package, preference):
    series = package.series_slots
    if preference == INDEX:
        return [f"Slot{k}" for k in range(len(series))]
    if preference == SHORT:
        return shorten_all([s.full_name for s in series])
    return [s.full_name for s in series]


def shown_date(moment):
    """What a date cell shows: the serial stands one minute early on purpose."""
    return moment - ONE_MINUTE


def date_format(package):
    stamps = package.runs[0].timestamps
    if len(stamps) < 2:
        return "m/d/yyyy h:mm"
    days = (stamps[1] - stamps[0]).total_seconds() / 86400.0
    if days < 1.0:
        return "m/d/yyyy h:mm"
    if days < 20.0:
        return "m/d/yyyy"
    return "m/yyyy"


def cell_value(value):
    if value is None:
        return None
    return float(value) if math.isfinite(value) else "NaN"


def held_value(package, run, series_index, t):
    """The value of the series_index-th series slot of the first run, as run holds it."""
    first_slots = package.runs[0].slots
    slot_index = [i for i, s in enumerate(first_slots) if s.is_series][series_index]
    slots = package.runs[run].slots
    if slot_index >= len(slots):
        return None
    values = slots[slot_index].values
    return cell_value(values[t]) if t < len(values) else None


class SheetExpectation:
    def __init__(self, name, corner, row_headings, column_headings, data):
        self.name = name
        self.corner = corner
        self.row_headings = row_headings
        self.column_headings = column_headings
        self.data = data  # data[i][j]


def expected_sheets(package, arrangement, preference, worksheet_names=None):
    runs = [f"Run{r}" for r in range(len(package.runs))]
    labels = slot_labels(package, preference)
    stamps = [shown_date(t) for t in package.runs[0].timestamps]
    series = package.series_slots
    R, S, T = len(runs), len(series), len(stamps)
    sheets = []
    if arrangement in (0, 2):
        for r in range(R):
            grid = [[held_value(package, r, k, t) for k in range(S)] for t in range(T)]
            if arrangement == 0:
                sheets.append(SheetExpectation(runs[r], runs[r], stamps, labels, grid))
            else:
                sheets.append(SheetExpectation(runs[r], runs[r], labels, stamps, transpose(grid, T, S)))
    elif arrangement in (1, 4):
        names = worksheet_names if worksheet_names is not None else [l.replace(":", "") for l in labels]
        for k in range(S):
            grid = [[held_value(package, r, k, t) for r in range(R)] for t in range(T)]
            if arrangement == 1:
                sheets.append(SheetExpectation(names[k], series[k].full_name, stamps, runs, grid))
            else:
                sheets.append(SheetExpectation(names[k], series[k].full_name, runs, stamps, transpose(grid, T, R)))
    else:
        for t in range(T):
            grid = [[held_value(package, r, k, t) for r in range(R)] for k in range(S)]
            if arrangement == 3:
                sheets.append(SheetExpectation(f"Time{t}", stamps[t], labels, runs, grid))
            else:
                sheets.append(SheetExpectation(f"Time{t}", stamps[t], runs, labels, transpose(grid, S, R)))
    return sheets


def transpose(grid, rows, columns):
    return [[grid[i][j] for i in range(rows)] for j in range(columns)]


class Checker:
    def __init__(self, context):
        self.context = context
        self.failures = []

    def fail(self, text):
        self.failures.append(f"{self.context}: {text}")

    def same(self, where, actual, expected):
        if isinstance(expected, datetime.datetime):
            if not isinstance(actual, datetime.datetime) or abs((actual - expected).total_seconds()) > 1.0:
                self.fail(f"{where}: {actual!r} is not the date {expected}")
        elif isinstance(expected, float):
            if isinstance(actual, bool) or not isinstance(actual, (int, float)) or actual != expected:
                self.fail(f"{where}: {actual!r} is not the number {expected!r}")
        elif actual != expected:
            self.fail(f"{where}: {actual!r} is not {expected!r}")

    def cell(self, ws, row, column, expected, bold=None, number_format=None):
        cell = ws.cell(row=row, column=column)
        where = f"{ws.title}!{cell.coordinate}"
        self.same(where, cell.value, expected)
        if bold is not None and bool(cell.font.b) != bold:
            self.fail(f"{where}: bold is {cell.font.b}, expected {bold}")
        if number_format is not None and cell.number_format != number_format:
            self.fail(f"{where}: number format {cell.number_format!r}, expected {number_format!r}")

    def data_sheet(self, ws, sheet, date_fmt, fresh=True):
        is_date = isinstance(sheet.corner, datetime.datetime)
        self.cell(ws, 1, 1, sheet.corner, bold=True, number_format=date_fmt if is_date else None)
        for i, heading in enumerate(sheet.row_headings):
            fmt = date_fmt if isinstance(heading, datetime.datetime) else None
            self.cell(ws, i + 2, 1, heading, bold=True, number_format=fmt)
        for j, heading in enumerate(sheet.column_headings):
            fmt = date_fmt if isinstance(heading, datetime.datetime) else None
            self.cell(ws, 1, j + 2, heading, bold=True, number_format=fmt)
        for i, row in enumerate(sheet.data):
            for j, value in enumerate(row):
                self.cell(ws, i + 2, j + 2, value)
        if fresh:
            rows = len(sheet.row_headings) + 1
            columns = len(sheet.column_headings) + 1
            if ws.max_row > rows or ws.max_column > columns:
                self.fail(f"{ws.title}: extends to {ws.max_row} x {ws.max_column}, expected {rows} x {columns}")

    def header(self, ws, package, preference):
        runs = package.runs
        first = runs[0]
        series = package.series_slots
        R, S, T = len(runs), len(series), len(first.timestamps)
        fmt = date_format(package)
        headings = ["Name", "Owner", "Description", "Creation Date", "Number Of Runs", "Number Of Slots",
                    "Number Of Timesteps"]
        for j, text in enumerate(headings):
            self.cell(ws, 1, j + 1, text, bold=True)
        created = package.create_date
        values = [package.name, package.owner, package.description,
                  f"{created.year}-{created.month:02d}-{created.day} {created.hour}:{created.minute:02d}",
                  R, S, first.time_steps]
        for j, value in enumerate(values):
            self.cell(ws, 2, j + 1, value, bold=False)
        run_headings = ["Run #", "Start", "End", "Timestep Unit", "Unit Quantity", "Timesteps", "Consecutive",
                        "Index Sequential", "Rule Set", "Slot Set"]
        for j, text in enumerate(run_headings):
            self.cell(ws, 3, j + 1, text, bold=True)
        for r, run in enumerate(runs):
            row = 4 + r
            self.cell(ws, row, 1, f"Run{r}")
            self.cell(ws, row, 2, shown_date(first.start), number_format=fmt)
            self.cell(ws, row, 3, shown_date(first.end), number_format=fmt)
            for j, value in enumerate([run.unit, run.quantity, run.time_steps, run.consecutive,
                                       run.idx_sequential, run.rule_set, run.slot_set]):
                self.cell(ws, row, 4 + j, value)
        slot_headings = ["Slot #", "Object Type", "Object Name", "Slot Name", "Units", "Scale", "Method"]
        if preference == SHORT:
            slot_headings.append("Short Slot Name")
        for j, text in enumerate(slot_headings):
            self.cell(ws, R + 4, j + 1, text, bold=True)
        if preference != SHORT:
            self.cell(ws, R + 4, 8, None)
        shorts = shorten_all([s.full_name for s in series])
        for k, slot in enumerate(series):
            row = R + 5 + k
            expected = [f"Slot{k}", slot.object_type, slot.object_name, slot.slot_name, slot.units,
                        float(slot.scale), slot.method if slot.method is not None else ""]
            expected.append(shorts[k] if preference == SHORT else None)
            for j, value in enumerate(expected):
                # An empty text and an empty cell read back alike.
                if value == "":
                    value = None if ws.cell(row=row, column=j + 1).value is None else ""
                self.cell(ws, row, j + 1, value, bold=False)
        self.cell(ws, R + 5 + S, 1, "Time #", bold=True)
        self.cell(ws, R + 5 + S, 2, "Time", bold=True)
        for t, stamp in enumerate(first.timestamps):
            row = R + 6 + S + t
            self.cell(ws, row, 1, f"Time{t}", bold=False)
            self.cell(ws, row, 2, shown_date(stamp), bold=False, number_format=fmt)
        last_row = R + 5 + S + T
        if ws.max_row > last_row:
            self.fail(f"Header: extends to row {ws.max_row}, expected {last_row}")
        if ws.max_column > 10:
            self.fail(f"Header: extends to column {ws.max_column}, expected at most 10")
