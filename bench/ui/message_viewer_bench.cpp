// Appends 4,000 log rows to the diagnostics list, as a long conversion does, and prints how long
// the 250th, 1,000th and 4,000th rows took to append and to be shown (offscreen, no display
// needed).
#include "MessageViewer.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    UtilsNS::MessageViewer viewer(QStringList{QStringLiteral("Message")});
    viewer.show();
    QElapsedTimer total;
    total.start();
    for (int row = 1; row <= 4000; ++row) {
        QElapsedTimer timer;
        timer.start();
        viewer.messageHandler(QsLogging::Info,
                              QStringLiteral("2026-12-07 03:00:00.000 Wrote worksheet %1 of 4000: %2 values")
                                  .arg(row)
                                  .arg(row * 731));
        const double appended = double(timer.nsecsElapsed()) / 1e6;
        app.processEvents();
        if (row == 250 || row == 1000 || row == 4000)
            std::printf("row %5d appended in %.3f ms, shown in %.3f ms\n", row, appended,
                        double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("4000 rows in %.1f ms\n", double(total.nsecsElapsed()) / 1e6);
    return 0;
}
