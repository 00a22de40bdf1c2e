#pragma once

#include "OleAutomation.h"

#include <QSet>
#include <QString>
#include <QStringList>

// One automation connection with the spreadsheet application: one application instance,
// at most one current workbook and at most one current worksheet. Every request goes
// through comCallWrap; failures are reported as sentences in the caller's errMsg.
class ExcelCom {
public:
    ExcelCom();
    virtual ~ExcelCom();

    ExcelCom(const ExcelCom&) = delete;
    ExcelCom& operator=(const ExcelCom&) = delete;

    bool startExcel(QString& errMsg, bool visible);
    int excelVersion();
    void closeExcel();

    // Looks member up on object and invokes it; the trailing VARIANT arguments come in the
    // order of the member's declared parameters.
    bool comCallWrap(QString& errMsg, int dispatchFlags, VARIANT* result, IDispatch* object, LPCOLESTR member,
                     int argumentCount, ...);

    bool openWorksheet(const QString& workbookPath, const QString& worksheetName, QString& errMsg,
                       bool create);
    bool saveWorkbook(const QString& workbookPath, QString& errMsg);

    bool writeRange(const QString& workbookPath, const QString& worksheetName, int row, int column,
                    VARIANT* values, bool bold, const QString& numberFormat, QString& errMsg);
    bool clearWorksheet(const QString& workbookPath, const QString& worksheetName, QString& errMsg);
    // The values of rows x columns cells from (row, column) as the application's Value2 gives
    // them; VT_EMPTY when the worksheet does not exist. The caller clears values.
    bool readRange(const QString& workbookPath, const QString& worksheetName, int row, int column, int rows,
                   int columns, VARIANT* values, QString& errMsg);
    // Lays out a worksheet this connection added (or the first one of a workbook it created):
    // columns widened to show their texts and dates, and the first headingRows rows and
    // headingColumns columns frozen in view. Worksheets that existed keep their widths and views.
    // Like bold and number formats a nicety: false only when the worksheet cannot be reached.
    bool layOutNewWorksheet(const QString& workbookPath, const QString& worksheetName, int headingRows,
                            int headingColumns, QString& errMsg);

    // What the application said about the calls that failed in the last workbook, worksheet,
    // range or save operation (its exception descriptions, in order): the cause behind the
    // operation's own sentence. Empty when it said nothing.
    const QStringList& failureCauses() const { return _failureCauses; }

private:
    // Each operation that can fail starts with a clean record of causes.
    void forgetFailureCauses() { _failureCauses.clear(); }
    // The range of rows x columns cells from (row, column) of the current worksheet; null, with
    // cellMissing or rangeMissing added to errMsg, when the application does not give it.
    IDispatch* rangeAt(int row, int column, LONG rows, LONG columns, const QString& cellMissing,
                       const QString& rangeMissing, QString& errMsg);

    // The steps of openWorksheet, on the connection's current workbook and worksheet.

    // Closes the current workbook without saving it, and lets go of its worksheet.
    void dropCurrentWorkbook();
    // Opens the workbook at workbookPath or, when create is set and it does not open, makes
    // it: first worksheet "Header", saved at once in the format its extension asks for.
    bool openOrCreateWorkbook(const QString& workbookPath, QString& errMsg, bool create);
    // Finds the worksheet in the current workbook or, when create is set, adds it after the last.
    bool findOrAddWorksheet(const QString& worksheetName, QString& errMsg, bool create);

    QString _workbookPath;
    IDispatch* _workbook = nullptr;
    QString _worksheetName;
    IDispatch* _worksheet = nullptr;
    // The worksheets of the current workbook that this connection added.
    QSet<QString> _addedWorksheets;
    IDispatch* _application = nullptr;
    QStringList _failureCauses;
};
