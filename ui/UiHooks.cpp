#include "UiHooks.h"

#include "DesktopOpener.h"
#include "MessageBoxes.h"

namespace UtilsNS {

UiHooks& uiHooks() {
    static UiHooks hooks{
        [](QWidget* parent, const QString& caption, const QString& proposed, const QString& filter,
           QString* selectedFilter, QFileDialog::Options options) {
            return QFileDialog::getSaveFileName(parent, caption, proposed, filter, selectedFilter, options);
        },
        [](QWidget* parent, const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
            QMessageBox box(QMessageBox::Warning, title, text, buttons, parent);
            box.setDefaultButton(defaultButton);
            makeRoomForTitle(box);
            return static_cast<QMessageBox::StandardButton>(box.exec());
        },
        &openWithDesktop,
        [](QWidget* parent, const QString& caption, const QString& folder, const QString& filter,
           QString* selectedFilter) {
            return QFileDialog::getOpenFileName(parent, caption, folder, filter, selectedFilter);
        },
        [](QWidget* parent, const QString& title, const QString& text, const QStringList& extraButtons) {
            return execChoiceBox(QMessageBox::Information, parent, title, text, extraButtons);
        },
        [](QWidget* parent, const QString& title, const QString& text, const QStringList& extraButtons) {
            return execChoiceBox(QMessageBox::Warning, parent, title, text, extraButtons);
        },
    };
    return hooks;
}

} // namespace UtilsNS
