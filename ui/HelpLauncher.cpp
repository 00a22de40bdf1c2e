#include "HelpLauncher.h"

#include "UiHooks.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>

QString helpPageAddress(const QString& executableFolder) {
    QString address = QStringLiteral("file:///%1/Help-Gridwell/GridwellHelp.html").arg(executableFolder);
    if (address.contains(QRegularExpression(QStringLiteral("\\s"))))
        address = QLatin1Char('"') + address + QLatin1Char('"');
    return address;
}

WriteStatus openInBrowser(const QString& url) {
    QString address = url;
    if (address.size() >= 2 && address.startsWith(QLatin1Char('"')) && address.endsWith(QLatin1Char('"')))
        address = address.mid(1, address.size() - 2);
    QUrl target(address);
    // An absolute folder after "file:///" leaves a doubled slash; give the browser a clean
    // local path.
    if (target.isLocalFile())
        target = QUrl::fromLocalFile(QDir::cleanPath(target.toLocalFile()));
    UtilsNS::uiHooks().openUrl(target);
    return WriteStatus();
}
