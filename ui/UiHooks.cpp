#include "UiHooks.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QPushButton>

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
        [](QWidget* parent, const QString& caption, const QString& folder, const QString& filter,
           QString* selectedFilter) {
            return QFileDialog::getOpenFileName(parent, caption, folder, filter, selectedFilter);
        },
        [](QWidget* parent, const QString& title, const QString& text, const QStringList& extraButtons) {
            QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
            QList<QAbstractButton*> extras;
            for (const QString& label : extraButtons)
                extras.append(static_cast<QAbstractButton*>(box.addButton(label, QMessageBox::ActionRole)));
            box.exec();
            return int(extras.indexOf(box.clickedButton()));
        },
    };
    return hooks;
}

} // namespace UtilsNS
