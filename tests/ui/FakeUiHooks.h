#pragma once

#include "UiHooks.h"

#include <QList>
#include <QStringList>

// Replaces the windows' dialogs and URL opener while alive: file dialogs answer from a
// queue, warning boxes and opened addresses are recorded.
class FakeUiHooks {
public:
    struct FileRequest {
        QString caption;
        QString folder;
        QString filter;
        QString selectedFilter;
        QFileDialog::Options options;
    };
    struct Warning {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        bool parentless;
    };

    QStringList fileAnswers;
    QList<FileRequest> fileRequests;
    QList<Warning> warnings;
    QList<QUrl> openedUrls;

    FakeUiHooks() : saved(UtilsNS::uiHooks()) {
        UtilsNS::UiHooks& hooks = UtilsNS::uiHooks();
        hooks.getSaveFileName = [this](QWidget*, const QString& caption, const QString& folder,
                                       const QString& filter, QString* selectedFilter,
                                       QFileDialog::Options options) {
            fileRequests.append(
                {caption, folder, filter, selectedFilter ? *selectedFilter : QString(), options});
            return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        };
        hooks.warning = [this](QWidget* parent, const QString& title, const QString& text,
                               QMessageBox::StandardButtons buttons,
                               QMessageBox::StandardButton defaultButton) {
            warnings.append({title, text, buttons, defaultButton, parent == nullptr});
            return QMessageBox::Ok;
        };
        hooks.openUrl = [this](const QUrl& url) {
            openedUrls.append(url);
            return true;
        };
    }
    ~FakeUiHooks() { UtilsNS::uiHooks() = saved; }

private:
    UtilsNS::UiHooks saved;
};
