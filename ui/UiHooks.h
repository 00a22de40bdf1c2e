#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace UtilsNS {

// The windows' ways out to modal dialogs and the desktop. They default to Qt's own
// dialogs and QDesktopServices; tests replace them so that nothing blocks or launches.
struct UiHooks {
    std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                          const QString& filter, QString* selectedFilter, QFileDialog::Options options)>
        getSaveFileName;
    std::function<QMessageBox::StandardButton(QWidget* parent, const QString& title, const QString& text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)>
        warning;
    std::function<bool(const QUrl& url)> openUrl;
    std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                          const QString& filter, QString* selectedFilter)>
        getOpenFileName;
    // An information box with OK and the given extra buttons; returns the index of the extra
    // button pressed, or -1 for OK.
    std::function<int(QWidget* parent, const QString& title, const QString& text,
                      const QStringList& extraButtons)>
        information;
};

// The process-wide hooks, filled with the real dialogs on first use.
UiHooks& uiHooks();

} // namespace UtilsNS
