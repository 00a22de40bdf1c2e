// The study panel: its background read, the filter and check boxes that make the selection,
// the preview and its thinning.
#include "PreviewDecimation.h"
#include "SlotPreview.h"
#include "StudyPanel.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {
const QString example = QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx");
}

class StudyPanelTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    template <typename T> T* child(StudyPanel& panel, const char* name) {
        T* found = panel.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    static bool read(StudyPanel& panel, const QString& path) {
        QSignalSpy read(&panel, &StudyPanel::contentsRead);
        panel.setSourceFile(path);
        return read.wait(10000) && read.first().first().toBool();
    }

private Q_SLOTS:
    void readsInTheBackgroundAndChoosesEverything() {
        StudyPanel panel;
        QSignalSpy read(&panel, &StudyPanel::contentsRead);
        panel.setSourceFile(example);
        QVERIFY(panel.reading());
        QVERIFY(read.wait(10000));
        QCOMPARE(read.first().first().toBool(), true);
        QCOMPARE(child<QListWidget>(panel, "_slotList")->count(), 7);
        QCOMPARE(child<QListWidget>(panel, "_runList")->count(), 3);
        QCOMPARE(panel.countsText(), QStringLiteral("7 of 7 series slots and 3 of 3 runs chosen"));
        QVERIFY(panel.selection().choosesEverything());
    }

    void filterAndCheckBoxesMakeTheSelection() {
        StudyPanel panel;
        QVERIFY(read(panel, example));
        auto* slots = child<QListWidget>(panel, "_slotList");
        child<QLineEdit>(panel, "_slotFilterEdit")->setText(QStringLiteral("granite"));
        int shown = 0;
        for (int row = 0; row < slots->count(); ++row)
            shown += slots->isRowHidden(row) ? 0 : 1;
        QCOMPARE(shown, 2);
        // "None" acts on the slots shown.
        QSignalSpy changed(&panel, &StudyPanel::choiceChanged);
        child<QPushButton>(panel, "_noSlotsButton")->click();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(panel.chosenSlots(), 5);
        auto* runs = child<QListWidget>(panel, "_runList");
        runs->item(1)->setCheckState(Qt::Unchecked);
        const PvxSelection selection = panel.selection();
        QVERIFY(!selection.choosesSlot(3, QStringLiteral("Granite Reservoir"), QStringLiteral("Inflow")));
        QVERIFY(selection.choosesSlot(6, QString(), QString()));
        QVERIFY(!selection.choosesRun(1));
        QVERIFY(selection.choosesRun(2));
        QCOMPARE(panel.countsText(), QStringLiteral("5 of 7 series slots and 2 of 3 runs chosen"));

        // The choice of slots stays with the file for the session.
        const QString other = dir.filePath(QStringLiteral("copy.pvx"));
        QVERIFY(QFile::copy(example, other));
        QVERIFY(read(panel, other));
        QCOMPARE(panel.chosenSlots(), 7);
        QVERIFY(read(panel, example));
        QCOMPARE(panel.chosenSlots(), 5);
    }

    void aStudyThatDoesNotReadSaysWhy() {
        const QString broken = dir.filePath(QStringLiteral("broken.pvx"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("name:x\n\n");
        file.close();
        StudyPanel panel;
        QVERIFY(!read(panel, broken));
        QCOMPARE(panel.problem(), QStringLiteral("Cannot read package preamble (line 2)"));
        QVERIFY(!read(panel, dir.filePath(QStringLiteral("missing.pvx"))));
        QVERIFY(panel.problem().contains(QStringLiteral("cannot be read")));
    }

    void previewDrawsALinePerCheckedRun() {
        StudyPanel panel;
        panel.resize(600, 500);
        QVERIFY(read(panel, example));
        auto* runs = child<QListWidget>(panel, "_runList");
        runs->item(0)->setCheckState(Qt::Unchecked);
        QSignalSpy shown(&panel, &StudyPanel::previewShown);
        child<QListWidget>(panel, "_slotList")->setCurrentRow(1);
        QVERIFY(shown.wait(10000));
        QCOMPARE(panel.preview()->lineCount(), 2);
        QCOMPARE(panel.preview()->pointCount(0), 36);
    }

    void decimationKeepsTheExtremesOfEachColumn() {
        QList<QPointF> points;
        for (int i = 0; i < 1000000; ++i)
            points.append(QPointF(i, std::sin(i / 1000.0) + (i == 500000 ? 10.0 : 0.0)));
        points[10] = QPointF(10, std::nan(""));
        const QList<QPointF> kept = decimateMinMax(points, 100);
        QVERIFY(kept.size() <= 200 && kept.size() >= 100);
        QVERIFY(std::is_sorted(kept.begin(), kept.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
        QVERIFY(kept.contains(QPointF(500000, std::sin(500.0) + 10.0)));
        // Short lines pass as they are, without the points that are not numbers.
        const QList<QPointF> few = {{0, 1}, {1, std::nan("")}, {2, 3}};
        QCOMPARE(decimateMinMax(few, 100), (QList<QPointF>{{0, 1}, {2, 3}}));
    }
};

QTEST_MAIN(StudyPanelTest)
#include "tst_study_panel.moc"
