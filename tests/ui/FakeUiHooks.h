#pragma once

#include "UiHooks.h"

#include <QList>
#include <QStringList>
#include <QTimer>

// Replaces the windows' dialogs and URL opener while alive: file dialogs answer from a
// queue (an empty queue cancels), boxes and opened addresses are recorded, the information
// box answers with informationAnswer and the warning box with extra buttons with
// warningAnswer (-1: OK). The opener answers openFailure (empty: opened) from the event
// loop, as the desktop's opener does once it has ended.
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
        QStringList extraButtons;
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
    int warningAnswer = -1;
    QList<QUrl> openedUrls;
    QString openFailure;
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
            warnings.append({title, text, buttons, byDefault, parent, {}});
            return QMessageBox::Ok;
        };
        hooks.warningChoice = [this](QWidget* parent, const QString& title, const QString& text,
                                     const QStringList& extraButtons) {
            warnings.append({title, text, QMessageBox::Ok, QMessageBox::NoButton, parent, extraButtons});
            return warningAnswer;
        };
        hooks.information = [this](QWidget* parent, const QString& title, const QString& text,
                                   const QStringList& extraButtons) {
            informations.append({title, text, extraButtons, parent});
            return informationAnswer;
        };
        hooks.openUrl = [this](const QUrl& url, QObject* context, const UtilsNS::UiHooks::OpenDone& done) {
            openedUrls.append(url);
            QTimer::singleShot(0, context, [done, failure = openFailure] { done(failure); });
        };
    }
    ~FakeUiHooks() { UtilsNS::uiHooks() = saved; }
};
