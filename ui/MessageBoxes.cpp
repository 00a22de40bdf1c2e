#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>
#include <QStyle>

namespace UtilsNS {

void makeRoomForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    // The title bar's own buttons and icon take about as much again as a few letters.
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    const int titleBar = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    const int needed = metrics.horizontalAdvance(box.windowTitle()) + 4 * qMax(titleBar, 24) + 40;
    grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                  1, grid->columnCount());
}

std::unique_ptr<QMessageBox> choiceBox(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                                       const QString& text, const QStringList& extraButtons) {
    auto box = std::make_unique<QMessageBox>(icon, title, text, QMessageBox::Ok, parent);
    for (const QString& label : extraButtons)
        box->addButton(label, QMessageBox::ActionRole);
    // With more than one button Qt picks no escape button; Escape should close the box.
    box->setEscapeButton(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    makeRoomForTitle(*box);
    return box;
}

int execChoiceBox(QMessageBox::Icon icon, QWidget* parent, const QString& title, const QString& text,
                  const QStringList& extraButtons) {
    const std::unique_ptr<QMessageBox> box = choiceBox(icon, parent, title, text, extraButtons);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    // Every extra button carries its label as given, which tells which one it was.
    return clicked && clicked != box->button(QMessageBox::Ok) ? int(extraButtons.indexOf(clicked->text()))
                                                              : -1;
}

} // namespace UtilsNS
