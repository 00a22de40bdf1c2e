"""Writes PVX test files: a package preamble, then per run its preamble, its date lines
and its slot blocks."""

import datetime
import math
from dataclasses import dataclass, field


def date_text(moment):
    """A PVX date text; midnight is written as 24:00 of the day before."""
    if moment.hour == 0 and moment.minute == 0:
        day = moment - datetime.timedelta(days=1)
        return f"{day.year}-{day.month}-{day.day} 24:00"
    return f"{moment.year}-{moment.month}-{moment.day} {moment.hour}:{moment.minute:02d}"


def number_text(value):
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return "nan" if math.isnan(value) else repr(float(value))


@dataclass
class Slot:
    """kind is 'series' (slot_type SeriesSlot), 'untyped' (no slot_type line, read as a
    series), 'table' or 'scalar'. values: one per timestep for series, one for a scalar."""
    object_name: str
    slot_name: str
    kind: str = "series"
    values: list = field(default_factory=list)
    object_type: str = "Reservoir"
    units: str = "acre-ft"
    scale: float = 1.0
    method: str = None

    @property
    def full_name(self):
        return self.object_name + self.slot_name

    @property
    def is_series(self):
        return self.kind in ("series", "untyped")

    def lines(self):
        out = [f"object_type: {self.object_type}", f"object_name: {self.object_name}"]
        if self.kind != "untyped":
            out.append(f"slot_type: {self.kind.capitalize()}Slot")
        out.append(f"slot_name: {self.slot_name}")
        if self.kind == "table":
            return out + ["rows: 2", "cols: 2", "END_SLOT_PREAMBLE", "row 0", "row 1",
                          "units: cfs", "scale: 1", "1", "2", "END_COLUMN", "END_SLOT"]
        out += ["END_SLOT_PREAMBLE", f"units: {self.units}", f"scale: {number_text(self.scale)}"]
        if self.method is not None:
            out.append(f"method: {self.method}")
        return out + [number_text(v) for v in self.values] + ["END_COLUMN", "END_SLOT"]


@dataclass
class Run:
    timestamps: list
    slots: list
    start: datetime.datetime = None  # the first timestamp unless given
    end: datetime.datetime = None  # the last timestamp unless given
    unit: str = "day"
    quantity: int = 1
    rule_set: str = "Rules"
    slot_set: str = "Slots"
    consecutive: int = 1
    idx_sequential: int = 1

    def __post_init__(self):
        self.start = self.start or self.timestamps[0]
        self.end = self.end or self.timestamps[-1]
        self.time_steps = len(self.timestamps)

    def lines(self, trace):
        out = [f"trace:{trace}", f"start:{date_text(self.start)}", f"end:{date_text(self.end)}",
               f"time_step_unit:{self.unit}", f"unit_quantity:{self.quantity}", f"time_steps:{self.time_steps}",
               f"consecutive:{self.consecutive}", f"slot_set:{self.slot_set}", f"rule_set:{self.rule_set}",
               f"idx_sequential:{self.idx_sequential}", "END_RUN_PREAMBLE"]
        out += [date_text(t) for t in self.timestamps]
        for slot in self.slots:
            out += slot.lines()
        return out + ["END_RUN"]


@dataclass
class Package:
    runs: list
    name: str = "Test study"
    owner: str = "tester"
    description: str = "made by a test"
    create_date: datetime.datetime = datetime.datetime(2021, 3, 5, 7, 30)

    def write(self, path):
        out = [f"name:{self.name}", f"owner:{self.owner}", f"description:{self.description}",
               f"create_date:{date_text(self.create_date)}", f"number_of_runs:{len(self.runs)}",
               "END_PACKAGE_PREAMBLE"]
        for trace, run in enumerate(self.runs):
            out += run.lines(trace + 1)
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(out) + "\n")

    @property
    def series_slots(self):
        return [s for s in self.runs[0].slots if s.is_series]


def steps(first, count, spacing=datetime.timedelta(days=1)):
    return [first + i * spacing for i in range(count)]
