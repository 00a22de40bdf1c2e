// Writing blocks of values and clearing worksheets: the calls per block, the block passed
// unchanged, formatting that may fail, and the messages only a misbehaving application
// produces, against a recording stand-in for the application.

#include "FakeExcel.h"

namespace {
// A rows x columns block of numbers, both dimensions from 1, as the composition builds it.
VARIANT numberBlock(LONG rows, LONG columns) {
    SAFEARRAYBOUND bounds[2] = {{ULONG(rows), 1}, {ULONG(columns), 1}};
    VARIANT block;
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

class ExcelRangesTest : public QObject, ExcelFixture {
    Q_OBJECT

    bool write(VARIANT* block, LONG row, LONG column, bool bold = false, const QString& format = QString()) {
        QString errMsg = QStringLiteral("kept");
        const bool written =
            com->writeRange(fakeBook, QStringLiteral("Data"), row, column, block, bold, format, errMsg);
        return written && errMsg == QLatin1String("kept");
    }

private slots:
    void init() {
        setUp();
        startOn(fakeBook, QStringLiteral("Data"));
    }
    void cleanup() { tearDown(); }

    void blockIsPassedUnchanged() {
        VARIANT block = numberBlock(3, 4);
        QVERIFY(write(&block, 2, 1));
        QCOMPARE(excel->callTexts(), (QStringList{"get Worksheet.Cells(2, 1)", "get Range.Resize(3, 4)",
                                                  "put Range.Value(array)"}));
        // The caller's array itself, not a copy; it stays the caller's.
        const RecordedCall& put = excel->calls[2];
        QCOMPARE(put.rawArguments[0].vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        QCOMPARE(put.rawArguments[0].array, block.parray);
        QCOMPARE(put.namedArguments, QList<DISPID>{DISPID_PROPERTYPUT});
        QCOMPARE(OleLiveArrayCount(), arraysBefore + 1);
        VariantClear(&block);
        QCOMPARE(excel->liveObjects(), 3); // application, workbook, worksheet
    }

    void resizeTakesTheBlockBounds() {
        VARIANT noRows = numberBlock(0, 2);
        VARIANT notAnArray;
        notAnArray.vt = VT_R8;
        notAnArray.dblVal = 1.5;
        for (VARIANT* block : {&noRows, &notAnArray}) {
            QString errMsg;
            com->writeRange(fakeBook, QStringLiteral("Data"), 5, 9, block, false, QString(), errMsg);
        }
        // Bounds that cannot be read count as one.
        QCOMPARE(excel->callTexts().filter(QStringLiteral("Resize")),
                 (QStringList{"get Range.Resize(0, 2)", "get Range.Resize(1, 1)"}));
        VariantClear(&noRows);
    }

    void boldAndFormatAddTheirCalls() {
        VARIANT block = numberBlock(2, 2);
        QVERIFY(write(&block, 1, 1, true, QStringLiteral("yyyy-mm-dd hh:mm")));
        QCOMPARE(excel->callTexts().mid(2),
                 (QStringList{"put Range.Value(array)", "get Range.Font()", "put Font.Bold(1)",
                              "put Range.NumberFormat(\"yyyy-mm-dd hh:mm\")"}));
        VariantClear(&block);
    }

    void failingFormattingKeepsValues() {
        excel->failing << QStringLiteral("Font.Bold") << QStringLiteral("Range.NumberFormat");
        VARIANT block = numberBlock(1, 2);
        QString errMsg;
        QVERIFY(com->writeRange(fakeBook, QStringLiteral("Data"), 1, 1, &block, true, QStringLiteral("0.00"),
                                errMsg));
        QVERIFY(excel->callTexts().contains(QStringLiteral("put Range.Value(array)")));
        excel->clearRecord();
        excel->failing = {QStringLiteral("Range.Font")};
        QVERIFY(com->writeRange(fakeBook, QStringLiteral("Data"), 1, 1, &block, true, QString(), errMsg));
        QVERIFY(!excel->callTexts().contains(QStringLiteral("put Font.Bold(1)")));
        VariantClear(&block);
    }

    void clearEmptiesTheWorksheet() {
        QString errMsg = QStringLiteral("kept");
        QVERIFY(com->clearWorksheet(fakeBook, QStringLiteral("Data"), errMsg));
        QCOMPARE(excel->callTexts(), (QStringList{"get Worksheet.Cells()", "call Range.Clear()"}));
        QVERIFY(!excel->calls[1].resultRequested);
        QCOMPARE(errMsg, QStringLiteral("kept"));
        QCOMPARE(excel->liveObjects(), 3);

        excel->failing.insert(QStringLiteral("Worksheet.Cells"));
        errMsg = QStringLiteral("stale");
        QVERIFY(!com->clearWorksheet(fakeBook, QStringLiteral("Data"), errMsg));
        QCOMPARE(errMsg, QStringLiteral(" Cells could not be found for worksheet \"Data\" of workbook "
                                        "\"C:\\out\\book.xlsx\""));
    }

    void clearOfMissingTargetsSucceeds() {
        const QString other = QStringLiteral("C:\\out\\other.xlsx");
        QString errMsg;
        QVERIFY(com->clearWorksheet(other, QStringLiteral("Header"), errMsg));
        // No current workbook is left: the next request opens again.
        QCOMPARE(excel->liveObjects(), 1);
        excel->existingPaths.insert(other);
        QVERIFY(com->clearWorksheet(other, QStringLiteral("Header"), errMsg));
        QCOMPARE(errMsg, QStringLiteral(
                             " Could not get the worksheet \"Header\" in workbook \"C:\\out\\other.xlsx\""));
        QCOMPARE(excel->liveObjects(), 2);
    }
};

QTEST_APPLESS_MAIN(ExcelRangesTest)
#include "tst_excel_ranges.moc"
