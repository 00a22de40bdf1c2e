#include "WorkbookFilters.h"

#include <QFileInfo>
#include <QStringList>

WorkbookFilters workbookFilters(const QString& proposedPath) {
    QStringList extensions{QStringLiteral("xlsx"), QStringLiteral("xlsm"), QStringLiteral("xlsb"),
                           QStringLiteral("xls")};
    const QString suffix = QFileInfo(proposedPath).suffix();
    const bool known = extensions.contains(suffix);
    if (known)
        extensions.move(extensions.indexOf(suffix), 0);
    QStringList patterns;
    for (const QString& extension : extensions)
        patterns.append(QStringLiteral("*.") + extension);
    const QString workbooks = QStringLiteral("Excel Workbooks (%1)").arg(patterns.join(QLatin1Char(' ')));
    const QString all = QStringLiteral("All Files (*)");
    return {workbooks + QStringLiteral(";;") + all, known || suffix.isEmpty() ? workbooks : all};
}
