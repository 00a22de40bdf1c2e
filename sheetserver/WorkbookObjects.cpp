#include "DispatchArguments.h"
#include "ServerObjects.h"
#include "SpreadsheetNumbers.h"

namespace {
enum WorkbookMember { Saved = 1, Close, Sheets, SaveAs, Save };
const MemberInfo workbookMembers[] = {
    {Saved, u"Saved", MemberGet | MemberPut}, {Close, u"Close", MemberCall}, {Sheets, u"Sheets", MemberGet},
    {SaveAs, u"SaveAs", MemberCall},          {Save, u"Save", MemberCall},
};

enum SheetsMember { Item = 1, Count, Add };
const MemberInfo sheetsMembers[] = {
    {Item, u"Item", MemberGet},
    {Count, u"Count", MemberGet},
    {Add, u"Add", MemberCall},
};

using namespace SpreadsheetNumbers;

// The engine's format for a SaveAs format number; the default format of an old version is the
// 97-2003 workbook.
workbookfile::FileFormat formatFor(LONG number) {
    switch (number) {
    case xlOpenXMLWorkbook:
        return workbookfile::FileFormat::Xlsx;
    case xlOpenXMLWorkbookMacroEnabled:
        return workbookfile::FileFormat::Xlsm;
    case xlExcel12:
        return workbookfile::FileFormat::Xlsb;
    case xlExcel8:
        return workbookfile::FileFormat::Xls;
    case xlWorkbookNormal:
        return workbookfile::FileFormat::Xls;
    default:
        throw ServerError{DISP_E_EXCEPTION, "File format " + std::to_string(number) + " is not supported."};
    }
}
} // namespace

WorkbookObject::WorkbookObject(std::shared_ptr<WorkbookState> workbook)
    : DispatchObject(workbookMembers, int(std::size(workbookMembers))), workbook(std::move(workbook)) {}

void WorkbookObject::invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                                  VARIANT* result) {
    workbookfile::Workbook& book = workbook->open();
    switch (member) {
    case Saved:
        arguments.expectCount(kind == MemberPut ? 1 : 0, kind == MemberPut ? 1 : 0);
        if (kind == MemberPut)
            workbook->saved = arguments.boolean(0);
        else
            returnBoolean(result, workbook->saved);
        return;
    case Close:
        // Close(SaveChanges, Filename, RouteWorkbook): saves first only when asked to.
        arguments.expectCount(0, 3);
        if (arguments.given(0) && arguments.boolean(0))
            saveAndNote(book, [&] { book.save(); });
        workbook->close();
        return;
    case Sheets:
        arguments.expectCount(0, 0);
        returnObject(result, new SheetsObject(workbook));
        return;
    case SaveAs: {
        // SaveAs(Filename, FileFormat, ...): the engine never replaces a file other than the
        // workbook's own.
        arguments.expectCount(1, 12);
        const std::string path = filePathFrom(arguments.text(0));
        const LONG number = arguments.given(1) ? arguments.integer(1) : xlOpenXMLWorkbook;
        // A new workbook reaches its file with its first Save: before that, a process that ends
        // leaves nothing of it behind. What would keep the file from being made is refused now.
        saveAndNote(book, [&] { book.saveAsLater(path, formatFor(number)); });
        workbook->saved = true;
        returnBoolean(result, true);
        return;
    }
    case Save:
        arguments.expectCount(0, 0);
        saveAndNote(book, [&] { book.save(); });
        workbook->saved = true;
        return;
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
}

SheetsObject::SheetsObject(std::shared_ptr<WorkbookState> workbook)
    : DispatchObject(sheetsMembers, int(std::size(sheetsMembers))), workbook(std::move(workbook)) {}

void SheetsObject::invokeMember(DISPID member, MemberKind, const DispatchArguments& arguments,
                                VARIANT* result) {
    workbookfile::Workbook& book = workbook->open();
    switch (member) {
    case Item: {
        arguments.expectCount(1, 1);
        // By position among all sheets, or by name without regard to case; chart sheets and the
        // other sheets the workbook lists count as the spreadsheet counts them.
        const int position = arguments.value(0).vt == VT_BSTR
                                 ? book.findSheet(workbookfile::toUtf8(arguments.text(0)))
                                 : int(arguments.integer(0));
        if (position < 1 || position > book.sheetCount())
            throw ServerError{DISP_E_EXCEPTION, "There is no such sheet."};
        returnObject(result, sheetObjectFor(workbook, position));
        return;
    }
    case Count:
        arguments.expectCount(0, 0);
        returnInteger(result, book.sheetCount());
        return;
    case Add: {
        // Add(Before, After, Count, Type): one worksheet, before or after a given sheet of any type.
        arguments.expectCount(0, 4);
        int after = 0;
        if (arguments.given(0))
            after = WorksheetObject::sheetPositionOf(arguments.object(0), *workbook) - 1;
        else if (arguments.given(1))
            after = WorksheetObject::sheetPositionOf(arguments.object(1), *workbook);
        if (arguments.given(2) && arguments.integer(2) != 1)
            throw ServerError{DISP_E_EXCEPTION, "Only one worksheet can be added at a time."};
        if (arguments.given(3) && arguments.integer(3) != xlWorksheet)
            throw ServerError{DISP_E_EXCEPTION, "Only worksheets can be added."};
        workbookfile::Worksheet& added = book.addWorksheet(after);
        workbook->saved = false;
        returnObject(result, new WorksheetObject(workbook, &added));
        return;
    }
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
}
