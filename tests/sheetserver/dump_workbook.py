"""Prints a workbook as openpyxl reads it, as JSON: the worksheet names in order and, for every
cell that holds a value, bold or a number format, its value (dates as ISO texts), openpyxl's
data type, bold and number format, by worksheet name."""
import datetime
import json
import sys

import openpyxl


def entry(cell):
    value = cell.value
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        value = value.isoformat()
    bold = bool(cell.font and cell.font.b)
    return {"value": value, "type": cell.data_type, "bold": bold, "format": cell.number_format}


names, sheets = [], {}
for sheet in openpyxl.load_workbook(sys.argv[1]).worksheets:
    cells = {c.coordinate: entry(c) for row in sheet.iter_rows() for c in row}
    cells = {k: e for k, e in cells.items() if e["value"] is not None or e["bold"] or e["format"] != "General"}
    names.append(sheet.title)
    sheets[sheet.title] = cells
json.dump({"names": names, "sheets": sheets}, sys.stdout)
