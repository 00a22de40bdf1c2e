#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QPointer>
#include <QProcess>

namespace UtilsNS {

QString openerFailure(int exitStatus) {
    switch (exitStatus) {
    case 0:
        return QString();
    case 2:
        return QStringLiteral("it does not exist (xdg-open exit status 2)");
    case 3:
        return QStringLiteral("no application on this desktop opens it (xdg-open exit status 3)");
    case 4:
        return QStringLiteral("the application that should open it failed (xdg-open exit status 4)");
    default:
        return QStringLiteral("xdg-open, the desktop's opener, ended with exit status %1").arg(exitStatus);
    }
}

void openWithDesktop(const QUrl& url, QObject* context, const std::function<void(const QString&)>& done) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // QDesktopServices only says whether xdg-open started; its exit status says whether
    // anything opened the file, so the window waits for it, beside its event loop.
    auto* opener = new QProcess(context);
    // A process destroyed with its context still reports its end, by then to nobody.
    const QPointer<QObject> alive(context);
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, done, alive](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart || !alive)
                             return;
                         done(QStringLiteral("xdg-open, the desktop's opener, could not be started"));
                         opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, done, alive](int exitStatus, QProcess::ExitStatus how) {
                         if (!alive)
                             return;
                         done(how == QProcess::NormalExit
                                  ? openerFailure(exitStatus)
                                  : QStringLiteral("xdg-open, the desktop's opener, ended abnormally"));
                         opener->deleteLater();
                     });
    opener->start(QStringLiteral("xdg-open"), {url.isLocalFile() ? url.toLocalFile() : url.toString()});
#else
    Q_UNUSED(context);
    done(QDesktopServices::openUrl(url) ? QString()
                                        : QStringLiteral("the desktop has no application for it"));
#endif
}

} // namespace UtilsNS
