"""The benchmark's reference for .xls: reads a PVX study with a plain parser and writes the same
worksheets as the product (a header table and the data worksheets of arrangement 0 or 1) with
Debian's python3-xlwt, as reference_xlsxwriter.cpp does for .xlsx.
Usage: reference_xlwt.py <in.pvx> <out.xls> <0|1>"""
import datetime
import sys

import xlwt


def serial(text):
    """Serial of a "Y-M-D H:MM" text, 24:00 meaning the end of the day, one minute early."""
    day, clock = text.split()
    year, month, dom = (int(x) for x in day.split("-"))
    hour, minute = (int(x) for x in clock.split(":"))
    days = (datetime.date(year, month, dom) - datetime.date(1899, 12, 30)).days
    return days + (hour * 60 + minute - 1) / 1440.0


def read_pvx(path):
    runs, run, slot, state, remaining = [], None, None, "package", 0
    with open(path) as f:
        for line in f:
            text = line.strip()
            if state == "package":
                if text == "END_PACKAGE_PREAMBLE":
                    run = {"steps": 0, "stamps": [], "slots": []}
                    runs.append(run)
                    state = "run"
            elif state == "run":
                if text.startswith("time_steps:"):
                    run["steps"] = int(text[11:])
                elif text == "END_RUN_PREAMBLE":
                    remaining = run["steps"]
                    state = "stamps" if remaining else "slot"
            elif state == "stamps":
                run["stamps"].append(text)
                remaining -= 1
                if remaining == 0:
                    state = "slot"
            elif state == "slot":
                if text == "END_RUN":
                    run = {"steps": 0, "stamps": [], "slots": []}
                    runs.append(run)
                    state = "run"
                elif text.startswith("object_name: "):
                    slot = {"object": text[13:], "name": "", "values": []}
                elif text.startswith("slot_name: "):
                    slot["name"] = text[11:]
                elif text == "END_SLOT_PREAMBLE":
                    state = "column"
            elif state == "column":
                if text == "END_SLOT":
                    run["slots"].append(slot)
                    state = "slot"
                elif not text.startswith(("units: ", "scale: ", "method: ")) and text != "END_COLUMN":
                    slot["values"].append(float(text))
    if runs and not runs[-1]["stamps"]:
        runs.pop()
    return runs


def main():
    source, target, arrangement = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = read_pvx(source)
    first = runs[0]
    serials = [serial(s) for s in first["stamps"]]
    run_labels = [f"Run{r}" for r in range(len(runs))]
    slot_labels = [s["object"] + s["name"] for s in first["slots"]]
    book = xlwt.Workbook()
    bold = xlwt.easyxf("font: bold on")
    date = xlwt.easyxf(num_format_str="m/d/yyyy")
    bold_date = xlwt.easyxf("font: bold on", num_format_str="m/d/yyyy")
    header = book.add_sheet("Header")
    row = 0
    for title, labels in (("Run #", run_labels), ("Slot #", slot_labels)):
        header.write(row, 0, title, bold)
        row += 1
        for label in labels:
            header.write(row, 0, label)
            row += 1
    header.write(row, 0, "Time #", bold)
    row += 1
    for t, value in enumerate(serials):
        header.write(row, 0, f"Time{t}")
        header.write(row, 1, value, date)
        row += 1
    sheets = len(first["slots"]) if arrangement == 1 else len(runs)
    columns = len(runs) if arrangement == 1 else len(first["slots"])
    for sheet in range(sheets):
        ws = book.add_sheet(f"S{sheet}" if arrangement == 1 else run_labels[sheet])
        ws.write(0, 0, slot_labels[sheet] if arrangement == 1 else run_labels[sheet], bold)
        for c in range(columns):
            ws.write(0, c + 1, run_labels[c] if arrangement == 1 else slot_labels[c], bold)
        series = [(runs[c]["slots"][sheet] if arrangement == 1 else runs[sheet]["slots"][c])["values"]
                  for c in range(columns)]
        for t, value in enumerate(serials):
            r = ws.row(t + 1)
            r.write(0, value, bold_date)
            for c, values in enumerate(series):
                if t < len(values):
                    r.write(c + 1, values[t])
            if t % 100 == 0:
                ws.flush_row_data()
    book.save(target)


if __name__ == "__main__":
    main()
