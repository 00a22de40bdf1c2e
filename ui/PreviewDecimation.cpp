#include "PreviewDecimation.h"

#include <cmath>

QList<QPointF> decimateMinMax(const QList<QPointF>& points, int columns) {
    QList<QPointF> finite;
    finite.reserve(points.size());
    for (const QPointF& point : points)
        if (std::isfinite(point.x()) && std::isfinite(point.y()))
            finite.append(point);
    if (columns <= 0 || finite.size() <= 2 * qsizetype(columns))
        return finite;

    const double first = finite.first().x();
    const double span = finite.last().x() - first;
    QList<QPointF> kept;
    kept.reserve(2 * columns);
    qsizetype start = 0;
    while (start < finite.size()) {
        // The points of one pixel column.
        const int column =
            span > 0 ? std::min(columns - 1, int((finite.at(start).x() - first) / span * columns)) : 0;
        qsizetype end = start;
        qsizetype low = start;
        qsizetype high = start;
        while (end < finite.size() &&
               (span > 0 ? std::min(columns - 1, int((finite.at(end).x() - first) / span * columns)) : 0) ==
                   column) {
            if (finite.at(end).y() < finite.at(low).y())
                low = end;
            if (finite.at(end).y() > finite.at(high).y())
                high = end;
            ++end;
        }
        kept.append(finite.at(std::min(low, high)));
        if (low != high)
            kept.append(finite.at(std::max(low, high)));
        start = end;
    }
    return kept;
}
