#pragma once

#include <QScrollArea>

// A scroll area that asks for its content's full size but can be made as small as a screen
// requires: the window opens showing everything where there is room, and scrolls where there
// is not (small screens, high scaling).
class FittingScrollArea : public QScrollArea {
public:
    explicit FittingScrollArea(QWidget* parent = nullptr);

    QSize sizeHint() const override;
};
