#include "DispatchArguments.h"
#include "ServerObjects.h"

namespace {
enum WorksheetMember { Name = 1, Cells, Activate };
const MemberInfo worksheetMembers[] = {
    {Name, u"Name", MemberGet | MemberPut},
    {Cells, u"Cells", MemberGet},
    {Activate, u"Activate", MemberCall},
};

enum RangeMember { Resize = 1, Value, Value2, Font, NumberFormat, Clear, Columns, AutoFit };
const MemberInfo rangeMembers[] = {
    {Resize, u"Resize", MemberGet},
    {Value, u"Value", MemberPut},
    {Value2, u"Value2", MemberGet},
    {Font, u"Font", MemberGet},
    {NumberFormat, u"NumberFormat", MemberPut},
    {Clear, u"Clear", MemberCall},
    {Columns, u"Columns", MemberGet},
    {AutoFit, u"AutoFit", MemberCall},
};

enum WindowMember { SplitRow = 1, SplitColumn, FreezePanes };
const MemberInfo windowMembers[] = {
    {SplitRow, u"SplitRow", MemberGet | MemberPut},
    {SplitColumn, u"SplitColumn", MemberGet | MemberPut},
    {FreezePanes, u"FreezePanes", MemberGet | MemberPut},
};

enum FontMember { Bold = 1 };
const MemberInfo fontMembers[] = {
    {Bold, u"Bold", MemberPut},
};

[[noreturn]] void outsideSheet() {
    throw ServerError{DISP_E_EXCEPTION, "The range lies outside the worksheet."};
}
} // namespace

WorksheetObject::WorksheetObject(std::shared_ptr<WorkbookState> workbook, workbookfile::Worksheet* sheet)
    : DispatchObject(worksheetMembers, int(std::size(worksheetMembers))), workbook(std::move(workbook)),
      sheet(sheet) {}

WorksheetObject::WorksheetObject(std::shared_ptr<WorkbookState> workbook, std::string name,
                                 workbookfile::SheetType type)
    : DispatchObject(worksheetMembers, int(std::size(worksheetMembers))), workbook(std::move(workbook)),
      sheet(nullptr), otherName(std::move(name)), otherType(type) {}

IDispatch* sheetObjectFor(const std::shared_ptr<WorkbookState>& workbook, int position) {
    const workbookfile::Workbook::SheetInfo info = workbook->open().sheet(position);
    if (info.worksheet)
        return new WorksheetObject(workbook, info.worksheet);
    return new WorksheetObject(workbook, info.name, info.type);
}

int WorksheetObject::sheetPositionOf(IDispatch* object, const WorkbookState& workbook) {
    auto* given = dynamic_cast<WorksheetObject*>(object);
    if (!given || given->workbook.get() != &workbook)
        throw ServerError{DISP_E_EXCEPTION, "The sheet given is no sheet of this workbook."};
    workbookfile::Workbook& book = workbook.open();
    const int position = given->sheet ? given->sheet->sheetPosition() : book.findSheet(given->otherName);
    if (position < 1)
        throw ServerError{DISP_E_EXCEPTION, "The sheet given is no sheet of this workbook."};
    return position;
}

workbookfile::Worksheet& WorksheetObject::worksheet() const {
    if (sheet)
        return *sheet;
    const char* kind = "a sheet that holds no cells";
    switch (otherType) {
    case workbookfile::SheetType::Chartsheet:
        kind = "a chart sheet";
        break;
    case workbookfile::SheetType::Dialogsheet:
        kind = "a dialog sheet";
        break;
    case workbookfile::SheetType::Macrosheet:
        kind = "a macro sheet";
        break;
    default:
        break;
    }
    throw ServerError{DISP_E_EXCEPTION, "The sheet \"" + otherName + "\" cannot be used as a worksheet: " +
                                            kind + " is named \"" + otherName + "\"."};
}

void WorksheetObject::invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                                   VARIANT* result) {
    workbook->open();
    switch (member) {
    case Name:
        arguments.expectCount(kind == MemberPut ? 1 : 0, kind == MemberPut ? 1 : 0);
        if (kind == MemberPut) {
            // The engine enforces the sheet-name rules.
            worksheet().rename(workbookfile::toUtf8(arguments.text(0)));
            workbook->saved = false;
        } else {
            returnText(result, workbookfile::toUtf16(sheet ? sheet->name() : otherName));
        }
        return;
    case Cells: {
        arguments.expectCount(0, 2);
        CellArea area;
        if (arguments.count() == 0) {
            area.rows = worksheet().workbook().maxRows();
            area.columns = worksheet().workbook().maxColumns();
            area.wholeSheet = true;
        } else {
            arguments.expectCount(2, 2);
            area.firstRow = int(arguments.integer(0));
            area.firstColumn = int(arguments.integer(1));
            if (area.firstRow < 1 || area.firstRow > worksheet().workbook().maxRows() ||
                area.firstColumn < 1 || area.firstColumn > worksheet().workbook().maxColumns())
                outsideSheet();
        }
        returnObject(result, new RangeObject(workbook, &worksheet(), area));
        return;
    }
    case Activate:
        arguments.expectCount(0, 0);
        workbook->activeSheet = &worksheet();
        workbook->splitRow = workbook->splitColumn = 0;
        workbook->frozen = false;
        return;
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
}

RangeObject::RangeObject(std::shared_ptr<WorkbookState> workbook, workbookfile::Worksheet* sheet,
                         CellArea area)
    : DispatchObject(rangeMembers, int(std::size(rangeMembers))), workbook(std::move(workbook)), sheet(sheet),
      area(area) {}

void RangeObject::invokeMember(DISPID member, MemberKind, const DispatchArguments& arguments,
                               VARIANT* result) {
    workbook->open();
    switch (member) {
    case Resize: {
        // Resize(RowSize, ColumnSize): an omitted size keeps the range's own.
        arguments.expectCount(0, 2);
        CellArea resized = area;
        resized.wholeSheet = false;
        if (arguments.given(0))
            resized.rows = int(arguments.integer(0));
        if (arguments.given(1))
            resized.columns = int(arguments.integer(1));
        if (resized.rows < 1 || resized.columns < 1)
            throw ServerError{DISP_E_EXCEPTION, "A range needs at least one row and one column."};
        const int maxRows = sheet->workbook().maxRows(), maxColumns = sheet->workbook().maxColumns();
        if (resized.rows > maxRows - resized.firstRow + 1 ||
            resized.columns > maxColumns - resized.firstColumn + 1)
            outsideSheet();
        resized.wholeSheet = resized.firstRow == 1 && resized.firstColumn == 1 && resized.rows == maxRows &&
                             resized.columns == maxColumns;
        returnObject(result, new RangeObject(workbook, sheet, resized));
        return;
    }
    case Value:
        arguments.expectCount(1, 1);
        sheet->putBlock(area.firstRow, area.firstColumn, valueBlockFor(arguments.value(0), area));
        workbook->saved = false;
        return;
    case Value2:
        arguments.expectCount(0, 0);
        returnCellValues(result, *sheet, area);
        return;
    case Font:
        arguments.expectCount(0, 0);
        returnObject(result, new FontObject(workbook, sheet, area));
        return;
    case NumberFormat:
        arguments.expectCount(1, 1);
        sheet->setNumberFormat(area.firstRow, area.firstColumn, area.lastRow(), area.lastColumn(),
                               workbookfile::toUtf8(arguments.text(0)));
        workbook->saved = false;
        return;
    case Columns: {
        // The whole columns of the range.
        arguments.expectCount(0, 0);
        CellArea columns = area;
        columns.firstRow = 1;
        columns.rows = sheet->workbook().maxRows();
        columns.wholeSheet = columns.firstColumn == 1 && columns.columns == sheet->workbook().maxColumns();
        returnObject(result, new RangeObject(workbook, sheet, columns));
        return;
    }
    case AutoFit:
        arguments.expectCount(0, 0);
        if (area.firstRow != 1 || area.rows != sheet->workbook().maxRows())
            throw ServerError{DISP_E_EXCEPTION, "AutoFit needs whole columns: use the range's Columns."};
        sheet->fitColumns(area.firstColumn, area.lastColumn());
        workbook->saved = false;
        return;
    case Clear:
        arguments.expectCount(0, 0);
        if (area.wholeSheet) {
            sheet->clear();
        } else {
            // Values and formats go; the engine keeps formats of emptied cells, so they are reset.
            sheet->putBlock(area.firstRow, area.firstColumn, emptyBlockFor(area));
            sheet->setBold(area.firstRow, area.firstColumn, area.lastRow(), area.lastColumn(), false);
            sheet->setNumberFormat(area.firstRow, area.firstColumn, area.lastRow(), area.lastColumn(),
                                   "General");
        }
        workbook->saved = false;
        return;
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
}

FontObject::FontObject(std::shared_ptr<WorkbookState> workbook, workbookfile::Worksheet* sheet, CellArea area)
    : DispatchObject(fontMembers, int(std::size(fontMembers))), workbook(std::move(workbook)), sheet(sheet),
      area(area) {}

void FontObject::invokeMember(DISPID member, MemberKind, const DispatchArguments& arguments, VARIANT*) {
    workbook->open();
    if (member != Bold)
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    arguments.expectCount(1, 1);
    sheet->setBold(area.firstRow, area.firstColumn, area.lastRow(), area.lastColumn(), arguments.boolean(0));
    workbook->saved = false;
}

WindowObject::WindowObject(std::shared_ptr<WorkbookState> workbook)
    : DispatchObject(windowMembers, int(std::size(windowMembers))), workbook(std::move(workbook)) {}

void WindowObject::invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                                VARIANT* result) {
    workbookfile::Workbook& book = workbook->open();
    arguments.expectCount(kind == MemberPut ? 1 : 0, kind == MemberPut ? 1 : 0);
    workbookfile::Worksheet* sheet = workbook->activeSheet ? workbook->activeSheet : book.worksheet(1);
    switch (member) {
    case SplitRow:
    case SplitColumn: {
        int& split = member == SplitRow ? workbook->splitRow : workbook->splitColumn;
        if (kind != MemberPut) {
            returnInteger(result, split);
            return;
        }
        const LONG value = arguments.integer(0);
        if (value < 0 || value >= (member == SplitRow ? book.maxRows() : book.maxColumns()))
            throw ServerError{DISP_E_EXCEPTION, "The split lies outside the worksheet."};
        split = int(value);
        return;
    }
    case FreezePanes:
        if (kind != MemberPut) {
            returnBoolean(result, workbook->frozen);
            return;
        }
        if (!sheet)
            throw ServerError{DISP_E_EXCEPTION, "The workbook has no worksheet to freeze."};
        workbook->frozen = arguments.boolean(0);
        if (workbook->frozen)
            sheet->freezePanes(workbook->splitRow, workbook->splitColumn);
        else
            sheet->freezePanes(0, 0);
        workbook->saved = false;
        return;
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
}
