#pragma once

#include <QList>
#include <QPointF>

// At most two points per pixel column (the lowest and the highest, in the order they come) for
// a line of points in ascending x: what a line of millions of points looks like at columns
// pixels wide, for the cost of drawing a few thousand. Lines with at most 2 * columns points and
// points that are not finite pass as they are (the latter are dropped).
QList<QPointF> decimateMinMax(const QList<QPointF>& points, int columns);
