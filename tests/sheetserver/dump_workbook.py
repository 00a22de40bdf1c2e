"""Prints a workbook as JSON, read by openpyxl: the worksheets in order and, for every
cell that holds a value or a format, its value, openpyxl's data type, bold and number
format. Dates come as ISO texts."""
import datetime
import json
import sys

import openpyxl


def cell_entry(cell):
    value = cell.value
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        value = value.isoformat()
    return {
        "value": value,
        "type": cell.data_type,
        "bold": bool(cell.font and cell.font.b),
        "format": cell.number_format,
    }


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    sheets = []
    for sheet in book.worksheets:
        cells = {}
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None and not (cell.font and cell.font.b) and cell.number_format == "General":
                    continue
                cells[cell.coordinate] = cell_entry(cell)
        sheets.append({"name": sheet.title, "cells": cells})
    json.dump({"sheets": sheets}, sys.stdout)


main()
