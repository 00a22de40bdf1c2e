#pragma once
// The server's automation objects. They are thin: the workbook file engine holds the
// workbooks and does the work; these objects only check arguments and keep the state
// that the application's own properties describe.

#include "DispatchObject.h"
#include "Workbook.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One workbook held by the application. Objects that reach into it share it, so it lives
// as long as any of them; once closed, it refuses every call.
struct WorkbookState {
    std::unique_ptr<workbookfile::Workbook> book;
    bool saved = true;
    bool closed = false;
    // Its window: the active worksheet (the first when none was activated) and the split that
    // FreezePanes freezes.
    workbookfile::Worksheet* activeSheet = nullptr;
    int splitRow = 0;
    int splitColumn = 0;
    bool frozen = false;

    // The engine's workbook; throws ServerError once the workbook is closed.
    workbookfile::Workbook& open() const;
    void close();
};

// Runs a save of book and passes what the engine notes about it to the program's log.
void saveAndNote(workbookfile::Workbook& book, const std::function<void()>& save);

// What one application instance remembers.
struct ApplicationState {
    std::u16string version;
    LONG sheetsInNewWorkbook = 1;
    bool visible = false;
    bool displayAlerts = true;
    bool quit = false;
    std::vector<std::shared_ptr<WorkbookState>> workbooks;
};

// A rectangle of cells; the whole sheet for Worksheet.Cells without arguments.
struct CellArea {
    int firstRow = 1;
    int firstColumn = 1;
    int rows = 1;
    int columns = 1;
    bool wholeSheet = false;

    int lastRow() const { return firstRow + rows - 1; }
    int lastColumn() const { return firstColumn + columns - 1; }
};

class ApplicationObject : public DispatchObject {
public:
    explicit ApplicationObject(std::u16string version);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<ApplicationState> state;
};

class WorkbooksObject : public DispatchObject {
public:
    explicit WorkbooksObject(std::shared_ptr<ApplicationState> application);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<ApplicationState> application;
};

class WorkbookObject : public DispatchObject {
public:
    explicit WorkbookObject(std::shared_ptr<WorkbookState> workbook);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<WorkbookState> workbook;
};

class SheetsObject : public DispatchObject {
public:
    explicit SheetsObject(std::shared_ptr<WorkbookState> workbook);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<WorkbookState> workbook;
};

// A sheet of Sheets: a worksheet, or a sheet of another type (a chart sheet, ...) whose worksheet
// members fail with the reason, as the spreadsheet's do when a name is taken by such a sheet.
class WorksheetObject : public DispatchObject {
public:
    WorksheetObject(std::shared_ptr<WorkbookState> workbook, workbookfile::Worksheet* sheet);
    // A sheet of another type; its name never changes, so it is found again by name.
    WorksheetObject(std::shared_ptr<WorkbookState> workbook, std::string name, workbookfile::SheetType type);

    // The 1-based position among all sheets when object is a sheet of workbook; else throws
    // ServerError.
    static int sheetPositionOf(IDispatch* object, const WorkbookState& workbook);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    // The worksheet; throws ServerError naming the other type of sheet that has its name.
    workbookfile::Worksheet& worksheet() const;

    std::shared_ptr<WorkbookState> workbook;
    workbookfile::Worksheet* sheet;
    std::string otherName;
    workbookfile::SheetType otherType = workbookfile::SheetType::Worksheet;
};

// The object Sheets.Item gives for the sheet at a 1-based position among all sheets.
IDispatch* sheetObjectFor(const std::shared_ptr<WorkbookState>& workbook, int position);

// The window of a workbook (Application.ActiveWindow): the split of its active worksheet, and
// whether the rows above and columns left of the split are frozen in view.
class WindowObject : public DispatchObject {
public:
    explicit WindowObject(std::shared_ptr<WorkbookState> workbook);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<WorkbookState> workbook;
};

class RangeObject : public DispatchObject {
public:
    RangeObject(std::shared_ptr<WorkbookState> workbook, workbookfile::Worksheet* sheet, CellArea area);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<WorkbookState> workbook;
    workbookfile::Worksheet* sheet;
    CellArea area;
};

class FontObject : public DispatchObject {
public:
    FontObject(std::shared_ptr<WorkbookState> workbook, workbookfile::Worksheet* sheet, CellArea area);

protected:
    void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                      VARIANT* result) override;

private:
    std::shared_ptr<WorkbookState> workbook;
    workbookfile::Worksheet* sheet;
    CellArea area;
};

// A file system path from a path given to the application; backslashes separate folders.
std::string filePathFrom(const std::u16string& path);

// The cells that a Value put writes into area: value is a two-dimensional array (rows
// first), a one-dimensional array (one row) or a single value for every cell. Text stays
// text; dates become date serials.
workbookfile::ValueBlock valueBlockFor(const VARIANT& value, const CellArea& area);
// A block of empty cells of the area's size.
workbookfile::ValueBlock emptyBlockFor(const CellArea& area);
// What a Value2 get returns: the cell's value for a single cell, else a two-dimensional array of
// VARIANTs (rows first, bounds from 1). Numbers and dates are VT_R8, texts VT_BSTR, empty cells
// VT_EMPTY, errors VT_ERROR with the spreadsheet's codes. There is no calculation: a formula
// kept from a file gives its text behind "=".
void returnCellValues(VARIANT* result, const workbookfile::Worksheet& sheet, const CellArea& area);
