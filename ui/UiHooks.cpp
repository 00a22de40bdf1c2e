#include "UiHooks.h"

#include <QDesktopServices>

namespace UtilsNS {

UiHooks& uiHooks() {
    static UiHooks hooks{
        [](QWidget* parent, const QString& caption, const QString& folder, const QString& filter,
           QString* selectedFilter, QFileDialog::Options options) {
            return QFileDialog::getSaveFileName(parent, caption, folder, filter, selectedFilter, options);
        },
        [](QWidget* parent, const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
            return QMessageBox::warning(parent, title, text, buttons, defaultButton);
        },
        [](const QUrl& url) { return QDesktopServices::openUrl(url); },
    };
    return hooks;
}

} // namespace UtilsNS
