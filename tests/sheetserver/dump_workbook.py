"""Prints a workbook as openpyxl reads it (xlrd for .xls), as JSON: the worksheet names in order
and, for every cell that holds a value, bold or a number format, its value (dates as ISO texts),
openpyxl's data type, bold and number format, by worksheet name."""
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


def xls_sheets(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    types = {xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_DATE: "d", xlrd.XL_CELL_BOOLEAN: "b"}
    out = {}
    for sheet in book.sheets():
        cells = {}
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                xf = book.xf_list[cell.xf_index]
                value = cell.value if cell.ctype in types else None
                if cell.ctype == xlrd.XL_CELL_DATE:
                    value = xlrd.xldate_as_datetime(value, book.datemode).isoformat()
                e = {"value": value, "type": types.get(cell.ctype, "n"),
                     "bold": bool(book.font_list[xf.font_index].bold),
                     "format": book.format_map[xf.format_key].format_str}
                if e["value"] is not None or e["bold"] or e["format"] != "General":
                    cells[openpyxl.utils.get_column_letter(c + 1) + str(r + 1)] = e
        out[sheet.name] = cells
    return list(out), out


names, sheets = [], {}
if sys.argv[1].lower().endswith(".xls"):
    names, sheets = xls_sheets(sys.argv[1])
for sheet in [] if names else openpyxl.load_workbook(sys.argv[1]).worksheets:
    cells = {c.coordinate: entry(c) for row in sheet.iter_rows() for c in row}
    cells = {k: e for k, e in cells.items() if e["value"] is not None or e["bold"] or e["format"] != "General"}
    names.append(sheet.title)
    sheets[sheet.title] = cells
json.dump({"names": names, "sheets": sheets}, sys.stdout)
