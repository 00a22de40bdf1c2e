// ExcelCom against the real spreadsheet server: a workbook made by ExcelCom alone and read
// back by openpyxl, and every message that a real file situation produces.

#include "ExcelCom.h"
#include "OleDiagnostics.h"
#include "SpreadsheetServer.h"
#include "ValueBlocks.h"
#include "WorkbookReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Paths reach the application with backslashes, as the writer passes them.
QString windowsStyle(const QString& path) {
    QString result = path;
    return result.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject cell(const QJsonObject& cells, const char* name) {
    return cells.value(QLatin1String(name)).toObject();
}
} // namespace

class SheetServerExcelComTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder;
    long stringsBefore = 0;
    long arraysBefore = 0;

    QString file(const QString& name) const { return folder.filePath(name); }

    // A one-cell block written to worksheet "Data" of path; returns errMsg.
    QString writeOneCell(ExcelCom& com, const QString& path, const QString& worksheet, int row = 1,
                         int column = 1, int rows = 1, int columns = 1) {
        QList<QVariantList> cells;
        for (int r = 0; r < rows; ++r)
            cells << QVariantList(columns, QVariant(1.0));
        VARIANT block = valueBlock(cells);
        QString errMsg = QStringLiteral("stale text");
        const bool written = com.writeRange(path, worksheet, row, column, &block, false, QString(), errMsg);
        VariantClear(&block);
        return written ? QStringLiteral("written") : errMsg;
    }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        registerSpreadsheetServer();
    }
    void init() {
        stringsBefore = OleLiveStringCount();
        arraysBefore = OleLiveArrayCount();
    }
    void cleanup() {
        QCOMPARE(spreadsheetServerLiveObjects(), 0);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleLiveArrayCount(), arraysBefore);
        QCOMPARE(OleComInitializeDepth(), 0);
    }

    void workbookMadeByExcelComReadsBack() {
        const QString path = windowsStyle(file(QStringLiteral("made.xlsx")));
        {
            ExcelCom com;
            QString errMsg;
            QVERIFY(com.startExcel(errMsg, false));
            QCOMPARE(com.excelVersion(), 16);

            VARIANT header = valueBlock({{"Package", "Study"}, {"Runs", 2.0}});
            QVERIFY(com.writeRange(path, "Header", 1, 1, &header, true, QString(), errMsg));
            VariantClear(&header);
            VARIANT texts = valueBlock({{"=SUM(A1:A2)", "0012", "3.5e2"}});
            QVERIFY(com.writeRange(path, "Header", 4, 1, &texts, false, QString(), errMsg));
            VariantClear(&texts);

            VARIANT numbers =
                valueBlock({{1.5, 2.0, 3.0, 4.0}, {5.0, 6.0, 7.0, 8.0}, {9.0, 10.0, 11.0, 12.25}});
            QVERIFY(com.writeRange(path, "Run 1", 2, 1, &numbers, false, "0.000", errMsg));
            VariantClear(&numbers);
            VARIANT dates = valueBlock(
                {{QVariant::fromValue(DateSerial{45000.25})}, {QVariant::fromValue(DateSerial{45000.5})}});
            QVERIFY(com.writeRange(path, "Run 2", 1, 1, &dates, false, "yyyy-mm-dd hh:mm", errMsg));
            VariantClear(&dates);
            VARIANT scratch = valueBlock({{"gone", 1.0}});
            QVERIFY(com.writeRange(path, "Scratch", 3, 3, &scratch, true, "0.0", errMsg));
            VariantClear(&scratch);
            QVERIFY(com.clearWorksheet(path, "Scratch", errMsg));
            QVERIFY(com.saveWorkbook(path, errMsg));
            QVERIFY(errMsg.isEmpty());
            com.closeExcel();
        }

        const QJsonObject workbook = readWorkbookIndependently(file(QStringLiteral("made.xlsx")));
        QCOMPARE(sheetNames(workbook), (QStringList{"Header", "Run 1", "Run 2", "Scratch"}));
        const QJsonObject header = sheetCells(workbook, "Header");
        QCOMPARE(cell(header, "A1").value("value").toString(), QStringLiteral("Package"));
        QVERIFY(cell(header, "A1").value("bold").toBool());
        QVERIFY(cell(header, "B2").value("bold").toBool());
        QCOMPARE(cell(header, "B2").value("value").toDouble(), 2.0);
        // Text stays text, whatever it looks like.
        QCOMPARE(cell(header, "A4").value("type").toString(), QStringLiteral("s"));
        QCOMPARE(cell(header, "A4").value("value").toString(), QStringLiteral("=SUM(A1:A2)"));
        QCOMPARE(cell(header, "B4").value("value").toString(), QStringLiteral("0012"));
        QCOMPARE(cell(header, "C4").value("value").toString(), QStringLiteral("3.5e2"));
        QVERIFY(!cell(header, "A4").value("bold").toBool());

        const QJsonObject run1 = sheetCells(workbook, "Run 1");
        QVERIFY(!run1.contains("A1"));
        QCOMPARE(cell(run1, "A2").value("value").toDouble(), 1.5);
        QCOMPARE(cell(run1, "D2").value("value").toDouble(), 4.0);
        QCOMPARE(cell(run1, "A4").value("value").toDouble(), 9.0);
        QCOMPARE(cell(run1, "D4").value("value").toDouble(), 12.25);
        QCOMPARE(cell(run1, "D4").value("format").toString(), QStringLiteral("0.000"));
        QVERIFY(!run1.contains("E2"));
        QVERIFY(!run1.contains("A5"));

        const QJsonObject run2 = sheetCells(workbook, "Run 2");
        QCOMPARE(cell(run2, "A1").value("value").toString(), QStringLiteral("2023-03-15T06:00:00"));
        QCOMPARE(cell(run2, "A2").value("value").toString(), QStringLiteral("2023-03-15T12:00:00"));
        QCOMPARE(cell(run2, "A2").value("format").toString(), QStringLiteral("yyyy-mm-dd hh:mm"));
        QVERIFY(sheetCells(workbook, "Scratch").isEmpty());
    }

    void existingWorkbookIsOpenedAndExtended() {
        const QString path = windowsStyle(file(QStringLiteral("extended.xlsx")));
        {
            ExcelCom com;
            QString errMsg;
            QVERIFY(com.startExcel(errMsg, false));
            QCOMPARE(writeOneCell(com, path, "Run 1"), QStringLiteral("written"));
            QVERIFY(com.saveWorkbook(path, errMsg));
            com.closeExcel();
        }
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QVERIFY(com.openWorksheet(path, "Run 1", errMsg, false));
        QVERIFY(!com.openWorksheet(path, "Missing", errMsg, false));
        QCOMPARE(errMsg, " Could not get the worksheet \"Missing\" in workbook \"" + path + "\"");
        // Worksheet names match without regard to case, as in the spreadsheet.
        QVERIFY(com.openWorksheet(path, "HEADER", errMsg, false));
        QCOMPARE(writeOneCell(com, path, "Run 2", 2, 2), QStringLiteral("written"));
        QVERIFY(com.clearWorksheet(path, "Run 1", errMsg));
        QVERIFY(com.saveWorkbook(path, errMsg));
        com.closeExcel();

        const QJsonObject workbook = readWorkbookIndependently(file(QStringLiteral("extended.xlsx")));
        QCOMPARE(sheetNames(workbook), (QStringList{"Header", "Run 1", "Run 2"}));
        QVERIFY(sheetCells(workbook, "Run 1").isEmpty());
        QCOMPARE(cell(sheetCells(workbook, "Run 2"), "B2").value("value").toDouble(), 1.0);
    }

    void startFailuresFromTheSeams() {
        qputenv("GRIDWELL_SPREADSHEET_UNREGISTERED", "1");
        registerSpreadsheetServer();
        qunsetenv("GRIDWELL_SPREADSHEET_UNREGISTERED");
        {
            ExcelCom com;
            QString errMsg;
            QVERIFY(!com.startExcel(errMsg, false));
            QCOMPARE(errMsg,
                     QStringLiteral("CLSIDFromProgID() failed when trying to start Excel Application"));
        }
        CoUninitialize(); // the failed start initialised COM and holds nothing to close
        registerSpreadsheetServer();

        qputenv("GRIDWELL_SPREADSHEET_CREATE_FAILS", "1");
        {
            ExcelCom com;
            QString errMsg;
            QVERIFY(!com.startExcel(errMsg, false));
            QCOMPARE(errMsg, QStringLiteral(
                                 "CoCreateInstance()failed - Excel not registered properly with the system"));
        }
        qunsetenv("GRIDWELL_SPREADSHEET_CREATE_FAILS");
        CoUninitialize();
    }

    void olderVersionOnlyTakesXls() {
        qputenv("GRIDWELL_SPREADSHEET_VERSION", "11.0");
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        qunsetenv("GRIDWELL_SPREADSHEET_VERSION");
        QCOMPARE(com.excelVersion(), 11);

        const QString modern = windowsStyle(file(QStringLiteral("old.xlsx")));
        QCOMPARE(writeOneCell(com, modern, "Header"), "The file extension of \".xlsx\" for workbook \"" +
                                                          modern +
                                                          "\" is not supported in your version of Excel");
        // ".xls" is the one format there; the engine cannot write it yet.
        const QString binary = windowsStyle(file(QStringLiteral("old.xls")));
        QCOMPARE(writeOneCell(com, binary, "Header"),
                 " Could not create and save workbook to path \"" + binary + "\"");
        com.closeExcel();
        QVERIFY(!QFile::exists(file(QStringLiteral("old.xlsx"))));
        QVERIFY(!QFile::exists(file(QStringLiteral("old.xls"))));
    }

    void newWorkbookExtensions_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message"); // %1: the path as given
        QTest::newRow("csv")
            << "table.csv"
            << "The file extension of \"\" for workbook \"%1\" is not supported in your version of Excel";
        QTest::newRow("capitals")
            << "BOOK.XLSX"
            << "The file extension of \"\" for workbook \"%1\" is not supported in your version "
               "of Excel";
        QTest::newRow("xls") << "book.xls"
                             << " Could not create and save workbook to path \"%1\"";
        QTest::newRow("xlsb") << "book.xlsb"
                              << " Could not create and save workbook to path \"%1\"";
        QTest::newRow("xlsm") << "book.xlsm"
                              << "written";
    }
    void newWorkbookExtensions() {
        QFETCH(QString, name);
        QFETCH(QString, message);
        const QString path = windowsStyle(file(name));
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(writeOneCell(com, path, "Header"),
                 message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        com.closeExcel();
        QCOMPARE(QFile::exists(file(name)), message == QLatin1String("written"));
        if (QFile::exists(file(name)))
            QCOMPARE(sheetNames(readWorkbookIndependently(file(name))), QStringList{"Header"});
    }

    void folderWithXlInItsName() {
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("results.xlfiles")));
        const QString path = windowsStyle(file(QStringLiteral("results.xlfiles/book.xlsx")));
        const QString extension = path.mid(path.indexOf(QLatin1String(".xl")));
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(writeOneCell(com, path, "Header"), "The file extension of \"" + extension +
                                                        "\" for workbook \"" + path +
                                                        "\" is not supported in your version of Excel");
        com.closeExcel();
        QVERIFY(!QFile::exists(file(QStringLiteral("results.xlfiles/book.xlsx"))));
    }

    void missingWorkbookWithoutCreate() {
        const QString path = windowsStyle(file(QStringLiteral("absent.xlsx")));
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QVERIFY(!com.openWorksheet(path, "Header", errMsg, false));
        QCOMPARE(errMsg, " Could not open workbook \"" + path + "\"");
        // Nothing to clear in a workbook that is not there.
        errMsg.clear();
        QVERIFY(com.clearWorksheet(path, "Header", errMsg));
        QCOMPARE(errMsg, " Could not open workbook \"" + path + "\"");
        com.closeExcel();
        QVERIFY(!QFile::exists(file(QStringLiteral("absent.xlsx"))));
    }

    void unreadableFileIsNeverReplaced() {
        const QString local = file(QStringLiteral("damaged.xlsx"));
        QFile damaged(local);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("PK\x03\x04 this is no longer a workbook");
        damaged.close();
        const QByteArray before = contentOf(local);

        const QString path = windowsStyle(local);
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(writeOneCell(com, path, "Header"),
                 " Could not create and save workbook to path \"" + path + "\"");
        com.closeExcel();
        QCOMPARE(contentOf(local), before);
    }

    void worksheetNamesTheRulesRefuse_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("slash") << "Flow/Day";
        QTest::newRow("bracket") << "Flow[cfs]";
        QTest::newRow("32 characters") << QString(32, QLatin1Char('s'));
        QTest::newRow("History") << "History";
        QTest::newRow("apostrophe") << "'quoted'";
    }
    void worksheetNamesTheRulesRefuse() {
        QFETCH(QString, name);
        const QString path = windowsStyle(file(QStringLiteral("names.xlsx")));
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(writeOneCell(com, path, name),
                 " Could not name new worksheet as \"" + name + "\" in workbook \"" + path + "\"");
        com.closeExcel();
        QFile::remove(file(QStringLiteral("names.xlsx")));
    }

    void blocksThatLeaveTheSheet() {
        const QString path = windowsStyle(file(QStringLiteral("bounds.xlsx")));
        const QString where = " in worksheet \"Data\" of workbook \"" + path + "\"";
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(writeOneCell(com, path, "Data", 1048576, 1, 2, 1),
                 " The write range could not be found " + where);
        QCOMPARE(writeOneCell(com, path, "Data", 1, 16384, 1, 2),
                 " The write range could not be found " + where);
        QCOMPARE(writeOneCell(com, path, "Data", 0, 1),
                 " First cell in write range could not be found " + where);
        QCOMPARE(writeOneCell(com, path, "Data", 1, 16385),
                 " First cell in write range could not be found " + where);
        QCOMPARE(writeOneCell(com, path, "Data", 1048576, 16384), QStringLiteral("written"));

        VARIANT empty = valueBlock({});
        errMsg.clear();
        QVERIFY(!com.writeRange(path, "Data", 1, 1, &empty, false, QString(), errMsg));
        QCOMPARE(errMsg, " The write range could not be found " + where);
        VariantClear(&empty);

        // Text beyond the cell limit is refused with the whole block.
        VARIANT tooLong = valueBlock({{QString(32768, QLatin1Char('x'))}});
        QVERIFY(!com.writeRange(path, "Data", 1, 1, &tooLong, false, QString(), errMsg));
        QCOMPARE(errMsg, " Could not write values to the write range " + where);
        VariantClear(&tooLong);
        com.closeExcel();
    }

    void saveFailsWhenTheFolderIsGone() {
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("vanishing")));
        const QString local = file(QStringLiteral("vanishing/book.xlsx"));
        const QString path = windowsStyle(local);
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(writeOneCell(com, path, "Header"), QStringLiteral("written"));
        QVERIFY(QDir(file(QStringLiteral("vanishing"))).removeRecursively());
        errMsg = QStringLiteral("stale");
        QVERIFY(!com.saveWorkbook(path, errMsg));
        QCOMPARE(errMsg, " Could not save workbook \"" + path + "\"");
        // Another path is not the current workbook: nothing is saved, nothing fails.
        QVERIFY(com.saveWorkbook(windowsStyle(file(QStringLiteral("other.xlsx"))), errMsg));
        com.closeExcel();
    }
};

QTEST_APPLESS_MAIN(SheetServerExcelComTest)
#include "tst_sheetserver_excelcom.moc"
