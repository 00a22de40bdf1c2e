// Writing blocks of values and clearing worksheets: the calls per block, the block passed
// unchanged, formatting that may fail, and every message.

#include "ExcelCom.h"
#include "ExcelComText.h"
#include "FakeExcel.h"
#include "OleDiagnostics.h"

#include <QtTest>

namespace {
const QString book = QStringLiteral("C:\\out\\book.xlsx");
// Follows a sentence that ends in a blank, so two blanks stand before "in".
const QString where = QStringLiteral(" in worksheet \"Data\" of workbook \"C:\\out\\book.xlsx\"");

// A rows x columns block of numbers, both dimensions from 1, as the composition builds it.
VARIANT numberBlock(LONG rows, LONG columns) {
    SAFEARRAYBOUND bounds[2];
    bounds[0].lLbound = 1;
    bounds[0].cElements = ULONG(rows);
    bounds[1].lLbound = 1;
    bounds[1].cElements = ULONG(columns);
    VARIANT block;
    VariantInit(&block);
    block.vt = VT_ARRAY | VT_VARIANT;
    block.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (LONG r = 1; r <= rows; ++r) {
        for (LONG c = 1; c <= columns; ++c) {
            VARIANT v;
            v.vt = VT_R8;
            v.dblVal = r * 100 + c;
            LONG index[2] = {r, c};
            SafeArrayPutElement(block.parray, index, &v);
        }
    }
    return block;
}
} // namespace

class ExcelRangesTest : public QObject {
    Q_OBJECT
    FakeExcel* excel = nullptr;
    ExcelCom* com = nullptr;
    long stringsBefore = 0;
    long arraysBefore = 0;

    // Started, with book open and "Data" current.
    void startOnData() {
        excel->existingPaths.insert(book);
        excel->existingSheets.insert(QStringLiteral("Data"));
        QString errMsg;
        QVERIFY(com->startExcel(errMsg, false));
        QVERIFY(com->openWorksheet(book, QStringLiteral("Data"), errMsg, false));
        excel->clearRecord();
    }

private slots:
    void init() {
        stringsBefore = OleLiveStringCount();
        arraysBefore = OleLiveArrayCount();
        excel = new FakeExcel;
        com = new ExcelCom;
    }
    void cleanup() {
        delete com;
        QCOMPARE(excel->liveObjects(), 0);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleLiveArrayCount(), arraysBefore);
        QCOMPARE(OleComInitializeDepth(), 0);
        delete excel;
    }

    void plainBlockTakesThreeCalls() {
        startOnData();
        VARIANT block = numberBlock(3, 4);
        QString errMsg = QStringLiteral("kept");
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 2, 1, &block, false, QString(), errMsg));
        QCOMPARE(errMsg, QStringLiteral("kept"));
        QCOMPARE(excel->callTexts(), (QStringList{"get Worksheet.Cells(2, 1)", "get Range.Resize(3, 4)",
                                                  "put Range.Value(array)"}));
        // The caller's array itself, not a copy; it stays the caller's.
        const RecordedCall& put = excel->calls[2];
        QCOMPARE(put.rawArguments[0].vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        QCOMPARE(put.rawArguments[0].array, block.parray);
        QCOMPARE(put.namedArguments, QList<DISPID>{DISPID_PROPERTYPUT});
        QCOMPARE(block.vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        QCOMPARE(OleLiveArrayCount(), arraysBefore + 1);
        VariantClear(&block);
        // Only the held application, workbook and worksheet are left.
        QCOMPARE(excel->liveObjects(), 3);
    }

    void singleCellStillResizes() {
        startOnData();
        VARIANT block = numberBlock(1, 1);
        QString errMsg;
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 5, 9, &block, false, QString(), errMsg));
        QCOMPARE(excel->callTexts().mid(0, 2),
                 (QStringList{"get Worksheet.Cells(5, 9)", "get Range.Resize(1, 1)"}));
        VariantClear(&block);
    }

    void emptyDimensionIsPassedAsZero() {
        startOnData();
        VARIANT block = numberBlock(0, 2);
        QString errMsg;
        com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, false, QString(), errMsg);
        QCOMPARE(excel->callTexts().at(1), QStringLiteral("get Range.Resize(0, 2)"));
        VariantClear(&block);
    }

    void unreadableBoundsCountAsOne() {
        startOnData();
        VARIANT notAnArray;
        notAnArray.vt = VT_R8;
        notAnArray.dblVal = 1.5;
        QString errMsg;
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 1, 1, &notAnArray, false, QString(), errMsg));
        QCOMPARE(excel->callTexts().at(1), QStringLiteral("get Range.Resize(1, 1)"));
    }

    void boldAndFormatAddTheirCalls() {
        startOnData();
        VARIANT block = numberBlock(2, 2);
        QString errMsg;
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, true,
                                QStringLiteral("yyyy-mm-dd hh:mm"), errMsg));
        QCOMPARE(excel->callTexts(),
                 (QStringList{"get Worksheet.Cells(1, 1)", "get Range.Resize(2, 2)", "put Range.Value(array)",
                              "get Range.Font()", "put Font.Bold(1)",
                              "put Range.NumberFormat(\"yyyy-mm-dd hh:mm\")"}));
        VariantClear(&block);
    }

    void failingFormattingKeepsValues() {
        startOnData();
        excel->failing << QStringLiteral("Font.Bold") << QStringLiteral("Range.NumberFormat");
        VARIANT block = numberBlock(1, 2);
        QString errMsg;
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, true, QStringLiteral("0.00"),
                                errMsg));
        QVERIFY(excel->callTexts().contains(QStringLiteral("put Range.Value(array)")));
        excel->clearRecord();
        excel->failing = {QStringLiteral("Range.Font")};
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, true, QString(), errMsg));
        QVERIFY(!excel->callTexts().contains(QStringLiteral("put Font.Bold(1)")));
        VariantClear(&block);
    }

    void writeFailures_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("message");
        QTest::newRow("Cells") << "Worksheet.Cells"
                               << " First cell in write range could not be found " + where;
        QTest::newRow("Resize") << "Range.Resize"
                                << " The write range could not be found " + where;
        QTest::newRow("Value") << "Range.Value"
                               << " Could not write values to the write range " + where;
    }
    void writeFailures() {
        QFETCH(QString, failing);
        QFETCH(QString, message);
        startOnData();
        excel->failing.insert(failing);
        VARIANT block = numberBlock(2, 3);
        QString errMsg = QStringLiteral("stale text from an earlier step");
        QVERIFY(
            !com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, true, QStringLiteral("0"), errMsg));
        QCOMPARE(errMsg, message);
        QCOMPARE(excel->liveObjects(), 3);
        VariantClear(&block);
    }

    void writeIntoMissingWorksheetAddsIt() {
        excel->existingPaths.insert(book);
        excel->sheetCount = 2;
        QString errMsg;
        QVERIFY(com->startExcel(errMsg, false));
        excel->clearRecord();
        VARIANT block = numberBlock(1, 1);
        QVERIFY(com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, false, QString(), errMsg));
        const QStringList calls = excel->callTexts();
        const int added = int(calls.indexOf(QStringLiteral("call Sheets.Add(null, Worksheet, 1, -4167)")));
        QVERIFY(added > 0);
        QCOMPARE(calls.at(added - 1), QStringLiteral("get Sheets.Item(2)"));
        QCOMPARE(calls.at(added + 1), QStringLiteral("put Worksheet.Name(\"Data\")"));
        QCOMPARE(calls.at(added + 2), QStringLiteral("get Worksheet.Cells(1, 1)"));
        VariantClear(&block);
    }

    void writeReportsOpeningFailure() {
        QString errMsg;
        QVERIFY(com->startExcel(errMsg, false));
        excel->failing.insert(QStringLiteral("Workbooks.Add"));
        VARIANT block = numberBlock(1, 1);
        QVERIFY(!com->writeRange(book, QStringLiteral("Data"), 1, 1, &block, false, QString(), errMsg));
        QCOMPARE(errMsg, QStringLiteral(" Could not open or create workbook \"C:\\out\\book.xlsx\""));
        VariantClear(&block);
    }

    void clearEmptiesExistingWorksheet() {
        startOnData();
        QString errMsg = QStringLiteral("kept");
        QVERIFY(com->clearWorksheet(book, QStringLiteral("Data"), errMsg));
        QCOMPARE(excel->callTexts(), (QStringList{"get Worksheet.Cells()", "call Range.Clear()"}));
        QVERIFY(!excel->calls[1].resultRequested);
        QCOMPARE(errMsg, QStringLiteral("kept"));
        QCOMPARE(excel->liveObjects(), 3);
    }

    void clearOfMissingTargetsSucceeds() {
        QString errMsg;
        QVERIFY(com->startExcel(errMsg, false));
        QVERIFY(com->clearWorksheet(book, QStringLiteral("Header"), errMsg));
        QCOMPARE(errMsg, QStringLiteral(" Could not open workbook \"C:\\out\\book.xlsx\""));
        // No current workbook is left: the next request opens again.
        QCOMPARE(excel->liveObjects(), 1);
        excel->existingPaths.insert(book);
        QVERIFY(com->clearWorksheet(book, QStringLiteral("Header"), errMsg));
        QCOMPARE(errMsg, QStringLiteral(
                             " Could not get the worksheet \"Header\" in workbook \"C:\\out\\book.xlsx\""));
        QCOMPARE(excel->liveObjects(), 2);
    }

    void clearReportsUnreachableCells() {
        startOnData();
        excel->failing.insert(QStringLiteral("Worksheet.Cells"));
        QString errMsg = QStringLiteral("stale");
        QVERIFY(!com->clearWorksheet(book, QStringLiteral("Data"), errMsg));
        QCOMPARE(errMsg,
                 QStringLiteral(
                     " Cells could not be found for worksheet \"Data\" of workbook \"C:\\out\\book.xlsx\""));
    }
};

QTEST_APPLESS_MAIN(ExcelRangesTest)
#include "tst_excel_ranges.moc"
