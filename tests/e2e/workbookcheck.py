"""Expected workbook contents of a conversion, and comparison with a workbook read back
by openpyxl."""

import datetime
import math
import re
from collections import namedtuple

INDEX, SHORT, FULL = "Index", "Short", "Full"
# Per arrangement, what the worksheets, the rows and the columns stand for:
# R = runs, S = series slots, T = timesteps.
LAYOUTS = {0: "RTS", 1: "STR", 2: "RST", 3: "TSR", 4: "SRT", 5: "TRS"}
Sheet = namedtuple("Sheet", "name corner row_headings column_headings data")  # data[i][j]


def shorten_all(full_names):
    given = []
    for full in full_names:
        name = re.sub(r"[aeiou:\t\n\v\f\r ]", "", re.sub(r"And(?![a-z])", "&", full))
        if len(name) >= 32:
            candidate, k = name[:30] + "~", 1
            while candidate in given:
                candidate, k = (str(k) + name)[:30] + "~", k + 1
            name = candidate
        given.append(name)
    return given


def slot_labels(package, preference):
    series = package.series_slots
    if preference == INDEX:
        return [f"Slot{k}" for k in range(len(series))]
    full = [s.full_name for s in series]
    return shorten_all(full) if preference == SHORT else full


def shown_date(moment):
    """What a date cell shows: the serial stands one minute early on purpose."""
    return moment - datetime.timedelta(minutes=1)


def date_format(package):
    stamps = package.runs[0].timestamps
    days = (stamps[1] - stamps[0]).total_seconds() / 86400.0 if len(stamps) > 1 else 0.0
    return "m/d/yyyy h:mm" if days < 1.0 else "m/d/yyyy" if days < 20.0 else "m/yyyy"


def held_value(package, run, series_index, t):
    """The value of the series_index-th series slot of the first run, as run holds it;
    None where the run does not hold it."""
    slot_index = [i for i, s in enumerate(package.runs[0].slots) if s.is_series][series_index]
    slots = package.runs[run].slots
    values = slots[slot_index].values if slot_index < len(slots) else []
    if t >= len(values):
        return None
    return float(values[t]) if math.isfinite(values[t]) else "NaN"


def expected_sheets(package, arrangement, preference, worksheet_names=None):
    runs = [f"Run{r}" for r in range(len(package.runs))]
    labels = slot_labels(package, preference)
    stamps = [shown_date(t) for t in package.runs[0].timestamps]
    headings = {"R": runs, "S": labels, "T": stamps}
    names = {"R": runs, "S": worksheet_names or [label.replace(":", "") for label in labels],
             "T": [f"Time{t}" for t in range(len(stamps))]}
    corners = {"R": runs, "S": [s.full_name for s in package.series_slots], "T": stamps}
    across, down, right = LAYOUTS[arrangement]
    sheets = []
    for a in range(len(headings[across])):
        def value(i, j):
            at = {across: a, down: i, right: j}
            return held_value(package, at["R"], at["S"], at["T"])
        data = [[value(i, j) for j in range(len(headings[right]))] for i in range(len(headings[down]))]
        sheets.append(Sheet(names[across][a], corners[across][a], headings[down], headings[right], data))
    return sheets


class Checker:
    """Adds the differences to failures; every expected date must show in date_fmt."""

    def __init__(self, context, date_fmt, failures):
        self.context, self.date_fmt, self.failures = context, date_fmt, failures

    def fail(self, text):
        self.failures.append(f"{self.context}: {text}")

    def cell(self, ws, row, column, expected, bold=None):
        cell = ws.cell(row=row, column=column)
        where, actual = f"{ws.title}!{cell.coordinate}", cell.value
        if isinstance(expected, datetime.datetime):
            if not isinstance(actual, datetime.datetime) or abs((actual - expected).total_seconds()) > 1.0:
                self.fail(f"{where}: {actual!r} is not the date {expected}")
            if cell.number_format != self.date_fmt:
                self.fail(f"{where}: number format {cell.number_format!r}, expected {self.date_fmt!r}")
        elif isinstance(expected, float):
            if isinstance(actual, bool) or not isinstance(actual, (int, float)) or actual != expected:
                self.fail(f"{where}: {actual!r} is not the number {expected!r}")
        elif actual != expected and not (expected == "" and actual is None):  # "" reads back as empty
            self.fail(f"{where}: {actual!r} is not {expected!r}")
        if bold is not None and expected is not None and bool(cell.font.b) != bold:
            self.fail(f"{where}: bold is {cell.font.b}, expected {bold}")

    def extent(self, ws, rows, columns):
        if ws.max_row > rows or ws.max_column > columns:
            self.fail(f"{ws.title}: extends to {ws.max_row} x {ws.max_column}, expected {rows} x {columns}")

    def data_sheet(self, ws, sheet, fresh=True):
        self.cell(ws, 1, 1, sheet.corner, bold=True)
        for i, heading in enumerate(sheet.row_headings):
            self.cell(ws, i + 2, 1, heading, bold=True)
        for j, heading in enumerate(sheet.column_headings):
            self.cell(ws, 1, j + 2, heading, bold=True)
        for i, row in enumerate(sheet.data):
            for j, value in enumerate(row):
                self.cell(ws, i + 2, j + 2, value)
        if fresh:
            self.extent(ws, len(sheet.row_headings) + 1, len(sheet.column_headings) + 1)

    def header(self, ws, package, preference):
        """The four tables, each a bold heading row over plain rows, ten columns at most."""
        runs, first, series = package.runs, package.runs[0], package.series_slots
        c = package.create_date
        rows = [(["Name", "Owner", "Description", "Creation Date", "Number Of Runs", "Number Of Slots",
                  "Number Of Timesteps"],
                 [[package.name, package.owner, package.description,
                   f"{c.year}-{c.month:02d}-{c.day} {c.hour}:{c.minute:02d}", len(runs), len(series),
                   first.time_steps]]),
                (["Run #", "Start", "End", "Timestep Unit", "Unit Quantity", "Timesteps", "Consecutive",
                  "Index Sequential", "Rule Set", "Slot Set"],
                 [[f"Run{r}", shown_date(first.start), shown_date(first.end), run.unit, run.quantity,
                   run.time_steps, run.consecutive, run.idx_sequential, run.rule_set, run.slot_set]
                  for r, run in enumerate(runs)]),
                (["Slot #", "Object Type", "Object Name", "Slot Name", "Units", "Scale", "Method"]
                 + (["Short Slot Name"] if preference == SHORT else []),
                 [[f"Slot{k}", s.object_type, s.object_name, s.slot_name, s.units,
                   float(s.scale) if math.isfinite(s.scale) else "NaN", s.method or ""]
                  + ([short] if preference == SHORT else [])
                  for k, (s, short) in enumerate(zip(series, shorten_all([s.full_name for s in series])))]),
                (["Time #", "Time"], [[f"Time{t}", shown_date(stamp)] for t, stamp in enumerate(first.timestamps)])]
        row = 0
        for headings, lines in rows:
            for values, bold in [(headings, True)] + [(line, False) for line in lines]:
                row += 1
                for column, value in enumerate(values + [None] * (10 - len(values))):
                    self.cell(ws, row, column + 1, value, bold=bold)
        self.extent(ws, row, 10)
