"""Writes PVX test files: a package preamble, then per run its preamble, its date lines
and its slot blocks."""

import datetime
import math


def date_text(moment):
    """A PVX date text; midnight is written as 24:00 of the day before."""
    if moment.hour == 0 and moment.minute == 0:
        day = moment - datetime.timedelta(days=1)
        return f"{day.year}-{day.month}-{day.day} 24:00"
    return f"{moment.year}-{moment.month}-{moment.day} {moment.hour}:{moment.minute:02d}"


def number_text(value):
    if math.isnan(value):
        return "nan"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return repr(float(value))


class Slot:
    """kind is 'series' (slot_type SeriesSlot), 'untyped' (no slot_type line, read as a
    series), 'table' or 'scalar'. values: one per timestep for series, one for a scalar."""

    def __init__(self, object_name, slot_name, kind="series", values=None, object_type="Reservoir",
                 units="acre-ft", scale=1.0, method=None):
        self.object_name = object_name
        self.slot_name = slot_name
        self.kind = kind
        self.values = values if values is not None else []
        self.object_type = object_type
        self.units = units
        self.scale = scale
        self.method = method

    @property
    def full_name(self):
        return self.object_name + self.slot_name

    @property
    def is_series(self):
        return self.kind in ("series", "untyped")

    def lines(self):
        out = [f"object_type: {self.object_type}", f"object_name: {self.object_name}"]
        if self.kind == "series":
            out.append("slot_type: SeriesSlot")
        elif self.kind == "scalar":
            out.append("slot_type: ScalarSlot")
        elif self.kind == "table":
            out.append("slot_type: TableSlot")
        out.append(f"slot_name: {self.slot_name}")
        if self.kind == "table":
            out += ["rows: 2", "cols: 2", "END_SLOT_PREAMBLE", "row 0", "row 1",
                    "units: cfs", "scale: 1", "1", "2", "END_COLUMN", "END_SLOT"]
            return out
        out += ["END_SLOT_PREAMBLE", f"units: {self.units}", f"scale: {number_text(self.scale)}"]
        if self.method is not None:
            out.append(f"method: {self.method}")
        out += [number_text(v) for v in self.values]
        out += ["END_COLUMN", "END_SLOT"]
        return out


class Run:
    def __init__(self, timestamps, slots, start=None, end=None, unit="day", quantity=1, rule_set="Rules",
                 slot_set="Slots", consecutive=1, idx_sequential=1):
        self.timestamps = timestamps
        self.slots = slots
        self.start = start if start is not None else timestamps[0]
        self.end = end if end is not None else timestamps[-1]
        self.unit = unit
        self.quantity = quantity
        self.rule_set = rule_set
        self.slot_set = slot_set
        self.consecutive = consecutive
        self.idx_sequential = idx_sequential
        self.time_steps = len(timestamps)

    def lines(self, trace):
        out = [f"trace:{trace}", f"start:{date_text(self.start)}", f"end:{date_text(self.end)}",
               f"time_step_unit:{self.unit}", f"unit_quantity:{self.quantity}", f"time_steps:{self.time_steps}",
               f"consecutive:{self.consecutive}", f"slot_set:{self.slot_set}", f"rule_set:{self.rule_set}",
               f"idx_sequential:{self.idx_sequential}", "END_RUN_PREAMBLE"]
        out += [date_text(t) for t in self.timestamps]
        for slot in self.slots:
            out += slot.lines()
        out.append("END_RUN")
        return out


class Package:
    def __init__(self, runs, name="Test study", owner="tester", description="made by a test",
                 create_date=datetime.datetime(2021, 3, 5, 7, 30)):
        self.runs = runs
        self.name = name
        self.owner = owner
        self.description = description
        self.create_date = create_date

    def text(self):
        out = [f"name:{self.name}", f"owner:{self.owner}", f"description:{self.description}",
               f"create_date:{date_text(self.create_date)}", f"number_of_runs:{len(self.runs)}",
               "END_PACKAGE_PREAMBLE"]
        for trace, run in enumerate(self.runs):
            out += run.lines(trace + 1)
        return "\n".join(out) + "\n"

    def write(self, path):
        with open(path, "w", encoding="utf-8") as f:
            f.write(self.text())

    @property
    def series_slots(self):
        return [s for s in self.runs[0].slots if s.is_series]


def steps(first, count, spacing):
    return [first + i * spacing for i in range(count)]


def daily(first, count):
    return steps(first, count, datetime.timedelta(days=1))
