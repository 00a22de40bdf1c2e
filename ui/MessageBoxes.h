#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>

namespace UtilsNS {

// Widens the box so that its title fits the title bar whole: a message box is only as wide
// as its text, and window managers cut a longer title short.
void makeRoomForTitle(QMessageBox& box);

// A box with OK and the given extra buttons; Escape answers OK.
std::unique_ptr<QMessageBox> choiceBox(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                                       const QString& text, const QStringList& extraButtons);

// Runs choiceBox modally: the index of the extra button pressed, or -1 for OK.
int execChoiceBox(QMessageBox::Icon icon, QWidget* parent, const QString& title, const QString& text,
                  const QStringList& extraButtons);

} // namespace UtilsNS
