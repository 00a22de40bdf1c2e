#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>

class QObject;
class QWidget;

namespace UtilsNS {

// The windows' ways out to modal dialogs and the desktop. They default to Qt's own
// dialogs and the desktop's opener; tests replace them so that nothing blocks or launches.
struct UiHooks {
    // Called once the opener has answered: empty when the address was opened, else the reason.
    using OpenDone = std::function<void(const QString& failure)>;

    std::function<QString(QWidget* parent, const QString& caption, const QString& proposed,
                          const QString& filter, QString* selectedFilter, QFileDialog::Options options)>
        getSaveFileName;
    std::function<QMessageBox::StandardButton(QWidget* parent, const QString& title, const QString& text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)>
        warning;
    // Hands the address to the desktop's opener without waiting for it; done runs on the
    // calling thread when it has answered, and never once context is gone.
    std::function<void(const QUrl& url, QObject* context, const OpenDone& done)> openUrl;
    std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                          const QString& filter, QString* selectedFilter)>
        getOpenFileName;
    // An information box with OK and the given extra buttons; returns the index of the extra
    // button pressed, or -1 for OK (Escape counts as OK).
    std::function<int(QWidget* parent, const QString& title, const QString& text,
                      const QStringList& extraButtons)>
        information;
    // A warning box with OK and the given extra buttons, answered like the information box.
    std::function<int(QWidget* parent, const QString& title, const QString& text,
                      const QStringList& extraButtons)>
        warningChoice;
};

// The process-wide hooks, filled with the real dialogs on first use.
UiHooks& uiHooks();

} // namespace UtilsNS
