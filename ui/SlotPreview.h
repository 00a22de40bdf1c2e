#pragma once

#include <QWidget>

class QChart;
class QChartView;
class QLabel;
struct SlotSeries;

// The values of one series slot over the timesteps, one line per run, dates along the bottom
// and the slot's units up the side. Long lines are thinned to the lowest and highest value of
// each pixel column, so a study of many thousands of steps draws as fast as a small one.
class SlotPreview : public QWidget {
    Q_OBJECT
public:
    explicit SlotPreview(QWidget* parent = nullptr);

    // Draws the series under the title; an empty series (no slot, no run) clears the chart.
    void show(const SlotSeries& series, const QString& title);
    // A sentence instead of a chart: reading, or why there is nothing to draw.
    void showMessage(const QString& message);

    // What is drawn: the lines and their points after thinning (for tests).
    int lineCount() const;
    int pointCount(int line) const;

private:
    QChartView* _view;
    QLabel* _message;
};
