#pragma once

#include <QString>

// A cell's A1 reference, as messages name it ("B1", "AA10"); row and column count from 1.
inline QString cellReference(int row, int column) {
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}
