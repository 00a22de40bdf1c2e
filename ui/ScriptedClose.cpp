#include "ScriptedClose.h"

#include "GridwellDlg.h"

#include <QPushButton>
#include <QTimer>

#include <cstdio>

void scriptCloseWhileConverting(GridwellDlg* window) {
    if (qEnvironmentVariableIsEmpty("GRIDWELL_TEST_CLOSE_WHILE_CONVERTING"))
        return;
    QTimer::singleShot(0, window, [window] {
        if (auto* create = window->findChild<QPushButton*>(QStringLiteral("_okButton")))
            create->click();
    });
    QObject::connect(
        window, &GridwellDlg::worksheetStarted, window,
        [window] {
            std::fputs("closing\n", stderr);
            std::fflush(stderr);
            window->close();
        },
        Qt::SingleShotConnection);
}
