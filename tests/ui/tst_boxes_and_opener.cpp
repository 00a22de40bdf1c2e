// The real message boxes and the desktop's opener, without a user: boxes are answered from
// a timer, and xdg-open is a script on the search path.
#include "DesktopOpener.h"
#include "MessageBoxes.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace UtilsNS;

namespace {

// Presses the key in the first modal box that opens.
void answerNextBoxWith(Qt::Key key) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, key] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            QTest::keyClick(box, key);
            timer->deleteLater();
        }
    });
    timer->start(10);
}

} // namespace

class BoxesAndOpenerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray path = qgetenv("PATH");

    // An xdg-open that ends with the given status.
    void fakeOpener(int status) {
        QFile script(dir.filePath(QStringLiteral("xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexit " + QByteArray::number(status) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", dir.path().toUtf8() + ':' + path);
    }

private Q_SLOTS:
    void cleanup() { qputenv("PATH", path); }

    void theOpenersExitStatusIsWaitedFor_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("opened") << 0;
        QTest::newRow("no application") << 3;
        QTest::newRow("failed") << 4;
    }

    void theOpenersExitStatusIsWaitedFor() {
        QFETCH(int, status);
        fakeOpener(status);
        QObject context;
        QStringList answers;
        openWithDesktop(QUrl::fromLocalFile(dir.path()), &context,
                        [&](const QString& failure) { answers << failure; });
        QVERIFY(answers.isEmpty()); // the window goes on meanwhile
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers.first(), openerFailure(status));
    }

    void aMissingOpenerIsTold() {
        qputenv("PATH", dir.filePath(QStringLiteral("empty")).toUtf8());
        QObject context;
        QStringList answers;
        openWithDesktop(QUrl::fromLocalFile(dir.path()), &context,
                        [&](const QString& failure) { answers << failure; });
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers.first(), QStringLiteral("xdg-open, the desktop's opener, could not be started"));
    }

    void noAnswerAfterTheContextIsGone() {
        fakeOpener(3);
        bool answered = false;
        {
            QObject context;
            openWithDesktop(QUrl::fromLocalFile(dir.path()), &context,
                            [&](const QString&) { answered = true; });
        }
        QTest::qWait(300);
        QVERIFY(!answered);
    }

    // A long title is not cut short: the box is at least as wide as the title needs.
    void theTitleFits() {
        const QString title = QStringLiteral("Excel Write Configuration Error of a rather long kind");
        const auto box = choiceBox(QMessageBox::Warning, nullptr, title, QStringLiteral("x"), {});
        QVERIFY(box->sizeHint().width() >
                QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title));
    }

    void escapeClosesABoxWithExtraButtons() {
        const auto box = choiceBox(QMessageBox::Information, nullptr, QStringLiteral("Excel Write"),
                                   QStringLiteral("text"), {QStringLiteral("Open Workbook")});
        QCOMPARE(box->escapeButton(), box->button(QMessageBox::Ok));
        answerNextBoxWith(Qt::Key_Escape);
        QCOMPARE(execChoiceBox(QMessageBox::Information, nullptr, QStringLiteral("Excel Write"),
                               QStringLiteral("text"),
                               {QStringLiteral("Open Workbook"), QStringLiteral("Open Folder")}),
                 -1);
    }
};

QTEST_MAIN(BoxesAndOpenerTest)
#include "tst_boxes_and_opener.moc"
