#pragma once

#include "UiHooks.h"

#include <QList>
#include <QStringList>

// Replaces the windows' dialogs and URL opener while alive: file dialogs answer from a
// queue (an empty queue cancels), boxes and opened addresses are recorded, and the
// information box answers with informationAnswer (-1: OK).
struct FakeUiHooks {
    struct FileRequest {
        QString caption, folder, filter, selectedFilter;
        QFileDialog::Options options;
        bool open; // the open-style dialog, which accepts existing files only
    };
    struct Warning {
        QString title, text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QWidget* parent;
    };
    struct Information {
        QString title, text;
        QStringList extraButtons;
        QWidget* parent;
    };

    QStringList fileAnswers;
    QList<FileRequest> fileRequests;
    QList<Warning> warnings;
    QList<Information> informations;
    int informationAnswer = -1;
    QList<QUrl> openedUrls;
    bool urlsOpen = true;
    UtilsNS::UiHooks saved = UtilsNS::uiHooks();

    FakeUiHooks() {
        UtilsNS::UiHooks& hooks = UtilsNS::uiHooks();
        hooks.getSaveFileName = [this](QWidget*, const QString& caption, const QString& folder,
                                       const QString& filter, QString* selected,
                                       QFileDialog::Options options) {
            fileRequests.append({caption, folder, filter, selected ? *selected : QString(), options, false});
            return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        };
        hooks.getOpenFileName = [this](QWidget*, const QString& caption, const QString& folder,
                                       const QString& filter, QString* selected) {
            fileRequests.append({caption, folder, filter, selected ? *selected : QString(), {}, true});
            return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        };
        hooks.warning = [this](QWidget* parent, const QString& title, const QString& text,
                               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton byDefault) {
            warnings.append({title, text, buttons, byDefault, parent});
            return QMessageBox::Ok;
        };
        hooks.information = [this](QWidget* parent, const QString& title, const QString& text,
                                   const QStringList& extraButtons) {
            informations.append({title, text, extraButtons, parent});
            return informationAnswer;
        };
        hooks.openUrl = [this](const QUrl& url) {
            openedUrls.append(url);
            return urlsOpen;
        };
    }
    ~FakeUiHooks() { UtilsNS::uiHooks() = saved; }
};
