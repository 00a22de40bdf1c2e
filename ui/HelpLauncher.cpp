#include "HelpLauncher.h"

#include "UiHooks.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

QString helpPagePath(const QString& executableFolder) {
    const QString page = QStringLiteral("Help-Gridwell/GridwellHelp.html");
    const QDir folder(executableFolder);
    for (const QString& candidate :
         {folder.filePath(page), folder.filePath(QStringLiteral("../share/gridwell/") + page)})
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    return QString();
}

QString helpPageAddress(const QString& pagePath) {
    QString address = QUrl::fromLocalFile(pagePath).toString();
    if (address.contains(QRegularExpression(QStringLiteral("\\s"))))
        address = QLatin1Char('"') + address + QLatin1Char('"');
    return address;
}

void openInBrowser(const QString& url, QObject* context, const std::function<void(const QString&)>& done) {
    QString address = url;
    if (address.size() >= 2 && address.startsWith(QLatin1Char('"')) && address.endsWith(QLatin1Char('"')))
        address = address.mid(1, address.size() - 2);
    UtilsNS::uiHooks().openUrl(QUrl(address), context, done);
}
