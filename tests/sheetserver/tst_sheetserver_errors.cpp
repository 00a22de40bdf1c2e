// Failures of the workbook engine reach automation clients whole: the spreadsheet server hands
// the engine's own sentence (with the system's reason) to a caller that asks for the exception
// information, and fails the same way, leaking nothing, for one that does not.

#include "SheetServerTest.h"
#include "Workbook.h"

#include <cstring>
#include <functional>

namespace {

QString engineError(const std::function<void()>& action) {
    try {
        action();
    } catch (const workbookfile::Error& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class SheetServerErrorsTest : public QObject {
    Q_OBJECT
    ServerFixture fixture;
    QTemporaryDir& folder = fixture.folder;
    IDispatch* application = nullptr;
    IDispatch* workbooks = nullptr;
    IDispatch* workbook = nullptr; // from Workbooks.Add

private slots:
    void initTestCase() {
        fixture.initTestCase();
        QFile text(folder.filePath("notes.xlsx"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Name,Value\n") > 0);
        text.close();
        QFile damaged(folder.filePath("locked.xlsx"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(512, '\0'));
        damaged.close();
        QVERIFY(QDir(folder.path()).mkdir("sub.xlsx"));
    }

    void init() {
        fixture.init();
        application = startApplication();
        QVERIFY(application);
        workbooks = dispatchObject(application, u"Workbooks", DISPATCH_PROPERTYGET);
        QVERIFY(workbooks);
        workbook = dispatchObject(workbooks, u"Add", DISPATCH_METHOD);
        QVERIFY(workbook);
    }

    void cleanup() {
        releaseAndUninitialize({&workbook, &workbooks, &application});
        fixture.cleanup();
    }

    void engineSentenceInExceptionInformation_data() {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        const QString longName = folder.filePath(QString(256, 'n') + ".xlsx");
        QTest::newRow("open: not a workbook") << true << folder.filePath("notes.xlsx") << "not a workbook";
        QTest::newRow("open: damaged compound file") << true << folder.filePath("locked.xlsx") << "damaged";
        QTest::newRow("open: a folder") << true << folder.filePath("sub.xlsx") << "is a folder";
        QTest::newRow("open: missing") << true << folder.filePath("none.xlsx") << "No such file or directory";
        QTest::newRow("open: name too long") << true << longName << "File name too long";
        QTest::newRow("save: a folder") << false << folder.filePath("sub.xlsx") << "is a folder";
    }

    void engineSentenceInExceptionInformation() {
        QFETCH(bool, open);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        const std::string file = path.toStdString();
        const QString expected =
            open ? engineError([&] { workbookfile::Workbook::open(file); }) : engineError([&] {
                workbookfile::Workbook::create()->saveAs(file, workbookfile::FileFormat::Xlsx);
            });
        QVERIFY2(expected.contains(reason), qPrintable(expected));
        IDispatch* target = open ? workbooks : workbook;
        const char16_t* member = open ? u"Open" : u"SaveAs";

        EXCEPINFO info;
        std::memset(&info, 0, sizeof info);
        VARIANT result;
        QCOMPARE(withText(target, member, DISPATCH_METHOD, path, 0, &result, &info), DISP_E_EXCEPTION);
        QCOMPARE(result.vt, VARTYPE(VT_EMPTY));
        QVERIFY(info.bstrDescription);
        QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(info.bstrDescription),
                                    SysStringLen(info.bstrDescription)),
                 expected);
        QVERIFY(info.bstrSource);
        QVERIFY(FAILED(info.scode));
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);

        // Without exception information the call fails alike.
        QCOMPARE(withText(target, member, DISPATCH_METHOD, path), DISP_E_EXCEPTION);
    }
};

QTEST_APPLESS_MAIN(SheetServerErrorsTest)
#include "tst_sheetserver_errors.moc"
