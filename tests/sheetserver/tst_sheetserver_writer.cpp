// Whole conversions of the example study through the writer, in-process against the real
// server: every path that starts the application closes it again, and no string, array,
// server object or COM initialisation is left behind.

#include "ExcelWrite.h"
#include "SheetServerTest.h"

#include <QFile>

class SheetServerWriterTest : public QObject {
    Q_OBJECT
    ServerFixture fixture;

    // The writer's message; storedPath gets the path as the writer passes it on.
    QString convert(const QString& workbookPath, int arrangement, QString* storedPath = nullptr) {
        QFile input(QStringLiteral(GRIDWELL_EXAMPLE_PVX));
        if (!input.open(QIODevice::ReadOnly))
            return QStringLiteral("example missing");
        ExcelWrite writer;
        writer.setDevice(&input);
        writer.setWorkbookName(workbookPath);
        writer.setOrientation(arrangement);
        writer.setSlotLabelPreference(Short);
        if (storedPath)
            *storedPath = writer.workbookPathValue();
        return writer.write();
    }

private Q_SLOTS:
    void initTestCase() { fixture.initTestCase(); }
    void init() { fixture.init(); }
    void cleanup() { fixture.cleanup(); }

    void everyArrangementClosesTheApplication_data() {
        QTest::addColumn<int>("arrangement");
        for (int a = 0; a <= 5; ++a)
            QTest::newRow(qPrintable(QString::number(a))) << a;
    }
    void everyArrangementClosesTheApplication() {
        QFETCH(int, arrangement);
        const QString path = fixture.file(QStringLiteral("study%1.xlsx").arg(arrangement));
        QCOMPARE(convert(path, arrangement), QString());
    }

    void failedHeaderStillClosesTheApplication() {
        const QString path = fixture.file(QStringLiteral("study.csv"));
        QString expected;
        const QString message = convert(path, 1, &expected);
        QCOMPARE(message, "The file extension of \"\" for workbook \"" + expected +
                              "\" is not supported in your version of Excel");
    }

    void failedStartHoldsNothing() {
        qputenv("GRIDWELL_SPREADSHEET_UNREGISTERED", "1");
        registerSpreadsheetServer();
        qunsetenv("GRIDWELL_SPREADSHEET_UNREGISTERED");
        const QString message = convert(fixture.file(QStringLiteral("never.xlsx")), 0);
        registerSpreadsheetServer();
        QCOMPARE(message, QStringLiteral("CLSIDFromProgID() failed when trying to start Excel Application"));
        QVERIFY(!QFile::exists(fixture.file(QStringLiteral("never.xlsx"))));
        // The failed start initialised COM on this thread and left it so.
        QCOMPARE(OleComInitializeDepth(), 1);
        CoUninitialize();
    }
};

QTEST_APPLESS_MAIN(SheetServerWriterTest)
#include "tst_sheetserver_writer.moc"
