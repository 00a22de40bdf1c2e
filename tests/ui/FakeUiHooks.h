#pragma once

#include "UiHooks.h"

#include <QList>
#include <QStringList>

// Replaces the windows' dialogs and URL opener while alive: file dialogs answer from a
// queue (an empty queue cancels), warning boxes and opened addresses are recorded.
struct FakeUiHooks {
    struct FileRequest {
        QString caption, folder, filter, selectedFilter;
        QFileDialog::Options options;
    };
    struct Warning {
        QString title, text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        bool parentless;
    };

    QStringList fileAnswers;
    QList<FileRequest> fileRequests;
    QList<Warning> warnings;
    QList<QUrl> openedUrls;
    UtilsNS::UiHooks saved = UtilsNS::uiHooks();

    FakeUiHooks() {
        UtilsNS::UiHooks& hooks = UtilsNS::uiHooks();
        hooks.getSaveFileName = [this](QWidget*, const QString& caption, const QString& folder,
                                       const QString& filter, QString* selected,
                                       QFileDialog::Options options) {
            fileRequests.append({caption, folder, filter, selected ? *selected : QString(), options});
            return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        };
        hooks.warning = [this](QWidget* parent, const QString& title, const QString& text,
                               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton byDefault) {
            warnings.append({title, text, buttons, byDefault, parent == nullptr});
            return QMessageBox::Ok;
        };
        hooks.openUrl = [this](const QUrl& url) {
            openedUrls.append(url);
            return true;
        };
    }
    ~FakeUiHooks() { UtilsNS::uiHooks() = saved; }
};
