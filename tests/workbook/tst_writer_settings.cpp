#include "ExcelWrite.h"

#include <QBuffer>
#include <QTest>

class TestWriterSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusedSettingsChangeNothing() {
        ExcelWrite writer;
        const QString arrangementMessage =
            QStringLiteral("Invalid workbook arrangement/orientation setting.");
        QCOMPARE(writer.setOrientation(6), arrangementMessage);
        QCOMPARE(writer.setOrientation(-1), arrangementMessage);
        QCOMPARE(writer.slotRoleValue(), int(Unset));
        QCOMPARE(writer.setOrientation(3), QString());
        QCOMPARE(writer.setOrientation(7), arrangementMessage);
        QCOMPARE(writer.timestepRoleValue(), int(Sheets));

        QBuffer buffer;
        QCOMPARE(writer.setDevice(&buffer), QString());
        QCOMPARE(writer.setDevice(nullptr), QStringLiteral("Input PVX device pointer cannot be NULL"));
        QCOMPARE(writer.deviceValue(), &buffer);

        QCOMPARE(writer.setWorkbookName(QStringLiteral("/data/out.xlsx")), QString());
        QCOMPARE(writer.setWorkbookName(QString()), QStringLiteral("Output Workbook name cannot be blank"));
        QCOMPARE(writer.workbookPathValue(), QStringLiteral("/data/out.xlsx"));

        QCOMPARE(writer.setSlotLabelPreference(static_cast<SlotLabelPreference>(7)), QString());
        QCOMPARE(writer.slotLabelPreferenceValue(), 7);
    }

    void writeNeedsEverySetting() {
        const QString notSet = QStringLiteral("PVX file device, workbook, or workbook orientation not set");
        QBuffer buffer;
        buffer.setData("name:X\n");
        buffer.open(QIODevice::ReadOnly);

        ExcelWrite fresh;
        QCOMPARE(fresh.write(), notSet);

        ExcelWrite noArrangement;
        noArrangement.setDevice(&buffer);
        noArrangement.setWorkbookName(QStringLiteral("/tmp/out.xlsx"));
        noArrangement.setOrientation(9);
        QCOMPARE(noArrangement.write(), notSet);
        QCOMPARE(buffer.pos(), 0); // nothing was read

        ExcelWrite noPath;
        noPath.setDevice(&buffer);
        noPath.setOrientation(1);
        QCOMPARE(noPath.write(), notSet);
    }
};

QTEST_APPLESS_MAIN(TestWriterSettings)
#include "tst_writer_settings.moc"
