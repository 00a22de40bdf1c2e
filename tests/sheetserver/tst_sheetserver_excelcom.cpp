// ExcelCom against the real spreadsheet server: a workbook made by ExcelCom alone and read
// back by openpyxl, and every message that a real file situation produces.

#include "ExcelCom.h"
#include "SheetServerTest.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {
const QString unsupported = QStringLiteral(
    "The file extension of \"%1\" for workbook \"%2\" is not supported in your version of Excel");
} // namespace

class SheetServerExcelComTest : public QObject {
    Q_OBJECT
    ServerFixture fixture;
    std::unique_ptr<ExcelCom> com; // destroyed after each test, before the leak check
    QString errMsg;

    // Paths reach the application with backslashes, as the writer passes them.
    QString path(const QString& name) const { return fixture.file(name).replace('/', '\\'); }

    ExcelCom& started() {
        com = std::make_unique<ExcelCom>();
        if (!com->startExcel(errMsg, false))
            qWarning("the server did not start: %s", qPrintable(errMsg));
        return *com;
    }

    // A block of rows x columns values written at (row, column) of worksheet; "written" or errMsg.
    QString write(const QString& book, const QString& worksheet, int row = 1, int column = 1, int rows = 1,
                  int columns = 1, QList<QVariantList> cells = {}, bool bold = false,
                  const QString& format = {}) {
        if (cells.isEmpty())
            cells = QList<QVariantList>(rows, QVariantList(columns, QVariant(1.0)));
        VARIANT block = valueBlock(cells);
        errMsg = QStringLiteral("stale text");
        const bool written = com->writeRange(book, worksheet, row, column, &block, bold, format, errMsg);
        VariantClear(&block);
        return written ? QStringLiteral("written") : errMsg;
    }

private slots:
    void initTestCase() { fixture.initTestCase(); }
    void init() { fixture.init(); }
    void cleanup() {
        com.reset();
        fixture.cleanup();
    }

    void workbookMadeByExcelComReadsBack() {
        const QString book = path("made.xlsx");
        QCOMPARE(started().excelVersion(), 16);
        QCOMPARE(write(book, "Header", 1, 1, 2, 2, {{"Package", "Study"}, {"Runs", 2.0}}, true), "written");
        QCOMPARE(write(book, "Header", 4, 1, 1, 3, {{"=SUM(A1:A2)", "0012", "3.5e2"}}), "written");
        QCOMPARE(write(book, "Run 1", 2, 1, 2, 2, {{1.5, 2.0}, {3.0, 12.25}}, false, "0.000"), "written");
        const QVariant date = QVariant::fromValue(DateSerial{45000.25});
        QCOMPARE(write(book, "Run 2", 1, 1, 1, 1, {{date}}, false, "yyyy-mm-dd hh:mm"), "written");
        QCOMPARE(write(book, "Scratch", 3, 3, 1, 2, {{"gone", 1.0}}, true, "0.0"), "written");
        errMsg.clear();
        QVERIFY(com->clearWorksheet(book, "Scratch", errMsg));
        QVERIFY(com->saveWorkbook(book, errMsg));
        QVERIFY(errMsg.isEmpty());
        com->closeExcel();

        const QJsonObject workbook = readWorkbookIndependently(fixture.file("made.xlsx"));
        QCOMPARE(sheetNames(workbook), (QStringList{"Header", "Run 1", "Run 2", "Scratch"}));
        const QJsonObject header = sheetCells(workbook, "Header");
        QCOMPARE(cellOf(header, "A1").value("value").toString(), QStringLiteral("Package"));
        QCOMPARE(cellOf(header, "B2"),
                 QJsonObject({{"value", 2}, {"type", "n"}, {"bold", true}, {"format", "General"}}));
        // Text stays text, whatever it looks like.
        QCOMPARE(
            cellOf(header, "A4"),
            QJsonObject({{"value", "=SUM(A1:A2)"}, {"type", "s"}, {"bold", false}, {"format", "General"}}));
        QCOMPARE(cellOf(header, "B4").value("value").toString(), QStringLiteral("0012"));
        QCOMPARE(cellOf(header, "C4").value("value").toString(), QStringLiteral("3.5e2"));
        const QJsonObject run1 = sheetCells(workbook, "Run 1");
        QCOMPARE(run1.keys(), (QStringList{"A2", "A3", "B2", "B3"}));
        QCOMPARE(cellOf(run1, "B3"),
                 QJsonObject({{"value", 12.25}, {"type", "n"}, {"bold", false}, {"format", "0.000"}}));
        const QJsonObject run2 = sheetCells(workbook, "Run 2");
        QCOMPARE(cellOf(run2, "A1").value("value").toString(), QStringLiteral("2023-03-15T06:00:00"));
        QCOMPARE(cellOf(run2, "A1").value("format").toString(), QStringLiteral("yyyy-mm-dd hh:mm"));
        QVERIFY(sheetCells(workbook, "Scratch").isEmpty());
    }

    void openingWithoutCreate() {
        const QString book = path("extended.xlsx");
        started();
        QCOMPARE(write(book, "Run 1"), QStringLiteral("written"));
        QVERIFY(com->saveWorkbook(book, errMsg));
        com->closeExcel();

        started();
        const QString absent = path("absent.xlsx");
        QVERIFY(!com->openWorksheet(absent, "Header", errMsg, false));
        QCOMPARE(errMsg, " Could not open workbook \"" + absent + "\"");
        // Nothing to clear in a workbook that is not there.
        errMsg.clear();
        QVERIFY(com->clearWorksheet(absent, "Header", errMsg));
        QCOMPARE(errMsg, " Could not open workbook \"" + absent + "\"");
        QVERIFY(!QFile::exists(fixture.file("absent.xlsx")));

        QVERIFY(com->openWorksheet(book, "Run 1", errMsg, false));
        QVERIFY(!com->openWorksheet(book, "Missing", errMsg, false));
        QCOMPARE(errMsg, " Could not get the worksheet \"Missing\" in workbook \"" + book + "\"");
        QCOMPARE(write(book, "Run 2", 2, 2), QStringLiteral("written"));
        QVERIFY(com->clearWorksheet(book, "Run 1", errMsg));
        QVERIFY(com->saveWorkbook(book, errMsg));
        com->closeExcel();
        const QJsonObject workbook = readWorkbookIndependently(fixture.file("extended.xlsx"));
        QCOMPARE(sheetNames(workbook), (QStringList{"Header", "Run 1", "Run 2"}));
        QVERIFY(sheetCells(workbook, "Run 1").isEmpty());
        QCOMPARE(cellOf(sheetCells(workbook, "Run 2"), "B2").value("value").toDouble(), 1.0);
    }

    // Value2 gives a single cell's value, a block of them as an array from (1, 1), and nothing
    // for a worksheet that is not there.
    void readRangeGivesTheCellsValues() {
        const QString book = path("read.xlsx");
        started();
        QCOMPARE(write(book, "Run 1", 2, 2, 2, 2, {{"Run0", 1.5}, {QVariant(), true}}),
                 QStringLiteral("written"));
        VARIANT values;
        QVERIFY(com->readRange(book, "Run 1", 2, 2, 1, 1, &values, errMsg));
        QCOMPARE(values.vt, VARTYPE(VT_BSTR));
        QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(values.bstrVal)),
                 QStringLiteral("Run0"));
        VariantClear(&values);

        QVERIFY(com->readRange(book, "Run 1", 2, 2, 2, 3, &values, errMsg));
        QCOMPARE(values.vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        LONG lower = 0, upper = 0;
        SafeArrayGetLBound(values.parray, 2, &lower);
        SafeArrayGetUBound(values.parray, 2, &upper);
        QCOMPARE(lower, 1);
        QCOMPARE(upper, 3);
        const auto element = [&](LONG row, LONG column) {
            VARIANT cell;
            VariantInit(&cell);
            LONG indices[2] = {row, column};
            SafeArrayGetElement(values.parray, indices, &cell);
            return cell;
        };
        VARIANT cell = element(1, 2);
        QCOMPARE(cell.vt, VARTYPE(VT_R8));
        QCOMPARE(cell.dblVal, 1.5);
        cell = element(2, 1);
        QCOMPARE(cell.vt, VARTYPE(VT_EMPTY));
        cell = element(2, 2);
        QCOMPARE(cell.vt, VARTYPE(VT_BOOL));
        QVERIFY(cell.boolVal != VARIANT_FALSE);
        cell = element(1, 3);
        QCOMPARE(cell.vt, VARTYPE(VT_EMPTY));
        VariantClear(&values);

        QVERIFY(com->readRange(book, "Missing", 1, 1, 2, 2, &values, errMsg));
        QCOMPARE(values.vt, VARTYPE(VT_EMPTY));
        com->closeExcel();
    }

    // The other start-up failure is the writer's to show; it leaves COM initialised, and nothing else.
    void startFailsWhenTheInstanceCannotBeCreated() {
        qputenv("GRIDWELL_SPREADSHEET_CREATE_FAILS", "1");
        com = std::make_unique<ExcelCom>();
        const bool started = com->startExcel(errMsg, false);
        qunsetenv("GRIDWELL_SPREADSHEET_CREATE_FAILS");
        QVERIFY(!started);
        QCOMPARE(errMsg,
                 QStringLiteral("CoCreateInstance()failed - Excel not registered properly with the system"));
        com.reset();
        CoUninitialize();
    }

    // A one-cell write to a new file: the message, and whether a workbook exists after.
    void writeToFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("version"); // the version the server reports, when not 16.0
        QTest::addColumn<QString>("message");    // with the path for its last %n
        QTest::newRow("capitals") << "BOOK.XLSX" << QByteArray() << unsupported.arg("");
        QTest::newRow(".xl in a folder")
            << "results.xlfiles/book.xlsx" << QByteArray() << unsupported.arg(".xlfiles\\book.xlsx");
        QTest::newRow("xls") << "book.xls" << QByteArray() << "written";
        QTest::newRow("xlsm") << "book.xlsm" << QByteArray() << "written";
        QTest::newRow("xlsx on 11.0") << "old.xlsx" << QByteArray("11.0") << unsupported.arg(".xlsx");
        // ".xls" is the one format there.
        QTest::newRow("xls on 11.0") << "old.xls" << QByteArray("11.0") << "written";
    }
    void writeToFile() {
        QFETCH(QString, name);
        QFETCH(QByteArray, version);
        QFETCH(QString, message);
        const QString local = fixture.file(name);
        QVERIFY(QDir().mkpath(QFileInfo(local).path()));
        if (!version.isEmpty())
            qputenv("GRIDWELL_SPREADSHEET_VERSION", version);
        started();
        qunsetenv("GRIDWELL_SPREADSHEET_VERSION");
        QCOMPARE(com->excelVersion(), version.isEmpty() ? 16 : 11);
        QCOMPARE(write(path(name), "Header"), message.contains('%') ? message.arg(path(name)) : message);
        // A new workbook reaches its file with its first save, not when it is made.
        QVERIFY(!QFile::exists(local));
        if (message == QLatin1String("written")) {
            QString error;
            QVERIFY(com->saveWorkbook(path(name), error));
        }
        com->closeExcel();
        if (message != QLatin1String("written"))
            QVERIFY(!QFile::exists(local));
        else if (!name.endsWith(QLatin1String(".xls"))) // .xls: read back by xls_readers' conversions
            QCOMPARE(sheetNames(readWorkbookIndependently(local)), QStringList{"Header"});
        else
            QVERIFY(QFile::exists(local));
    }

    void worksheetNamesTheRulesRefuse() {
        started();
        for (const QString& name : {QStringLiteral("Flow/Day"), QStringLiteral("Flow[cfs]"), QString(32, 's'),
                                    QStringLiteral("History"), QStringLiteral("'quoted'")}) {
            QCOMPARE(write(path("names.xlsx"), name), " Could not name new worksheet as \"" + name +
                                                          "\" in workbook \"" + path("names.xlsx") + "\"");
        }
    }

    void blocksThatLeaveTheSheet() {
        const QString book = path("bounds.xlsx");
        const QString where = " in worksheet \"Data\" of workbook \"" + book + "\"";
        const QString noRange = " The write range could not be found " + where;
        const QString noCell = " First cell in write range could not be found " + where;
        started();
        QCOMPARE(write(book, "Data", 1048576, 1, 2, 1), noRange);
        QCOMPARE(write(book, "Data", 1, 16384, 1, 2), noRange);
        QCOMPARE(write(book, "Data", 1, 1, 0, 0), noRange);
        QCOMPARE(write(book, "Data", 0, 1), noCell);
        QCOMPARE(write(book, "Data", 1, 16385), noCell);
        QCOMPARE(write(book, "Data", 1048576, 16384), QStringLiteral("written"));
        // Text beyond the cell limit is refused with the whole block.
        QCOMPARE(write(book, "Data", 1, 1, 1, 1, {{QString(32768, 'x')}}),
                 " Could not write values to the write range " + where);
        // A 97-2003 workbook's worksheets end at row 65,536 and column 256.
        const QString old = path("bounds.xls");
        const QString inOld = " in worksheet \"Data\" of workbook \"" + old + "\"";
        QCOMPARE(write(old, "Data", 65536, 1, 2, 1), " The write range could not be found " + inOld);
        QCOMPARE(write(old, "Data", 1, 257), " First cell in write range could not be found " + inOld);
        QCOMPARE(write(old, "Data", 65536, 256), QStringLiteral("written"));
    }
};

QTEST_APPLESS_MAIN(SheetServerExcelComTest)
#include "tst_sheetserver_excelcom.moc"
