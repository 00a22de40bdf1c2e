#include "SlotPreview.h"

#include "PreviewDecimation.h"
#include "StudyReading.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

SlotPreview::SlotPreview(QWidget* parent)
    : QWidget(parent), _view(new QChartView(this)), _message(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_message);
    layout->addWidget(_view);
    _view->setRenderHint(QPainter::Antialiasing);
    _view->setMinimumSize(220, 110);
    _view->chart()->legend()->setAlignment(Qt::AlignBottom);
    _view->chart()->setMargins(QMargins(2, 2, 2, 2));
    _view->setAccessibleName(tr("Preview of the selected slot"));
    _message->setWordWrap(true);
    showMessage(tr("Select a slot to see its values."));
}

void SlotPreview::showMessage(const QString& message) {
    _view->chart()->removeAllSeries();
    for (QAbstractAxis* axis : _view->chart()->axes())
        _view->chart()->removeAxis(axis);
    _view->chart()->setTitle(QString());
    _message->setText(message);
    _message->setVisible(!message.isEmpty());
}

void SlotPreview::show(const SlotSeries& series, const QString& title) {
    showMessage(QString());
    QChart* chart = _view->chart();
    chart->setTitle(title);
    auto* time = new QDateTimeAxis;
    time->setFormat(QStringLiteral("MMM yyyy"));
    time->setTickCount(4);
    auto* value = new QValueAxis;
    value->setTitleText(series.units);
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(value, Qt::AlignLeft);

    // Two points per pixel column of the plot are as many as a screen can tell apart.
    const int columns = std::max(100, _view->width());
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    for (qsizetype r = 0; r < series.values.size(); ++r) {
        QList<QPointF> points;
        const QList<double>& values = series.values.at(r);
        const qsizetype count = std::min(values.size(), series.times.size());
        points.reserve(count);
        for (qsizetype t = 0; t < count; ++t)
            points.append(QPointF(double(series.times.at(t).toMSecsSinceEpoch()), values.at(t)));
        auto* line = new QLineSeries;
        line->setName(QStringLiteral("Run%1").arg(series.runs.value(r)));
        const QList<QPointF> drawn = decimateMinMax(points, columns);
        line->replace(drawn);
        for (const QPointF& point : drawn) {
            low = any ? std::min(low, point.y()) : point.y();
            high = any ? std::max(high, point.y()) : point.y();
            any = true;
        }
        chart->addSeries(line);
        line->attachAxis(time);
        line->attachAxis(value);
    }
    if (!series.times.isEmpty())
        time->setRange(series.times.first(), series.times.last());
    if (any)
        value->setRange(low, high > low ? high : low + 1.0);
}

int SlotPreview::lineCount() const {
    return int(_view->chart()->series().size());
}

int SlotPreview::pointCount(int line) const {
    const QList<QAbstractSeries*> all = _view->chart()->series();
    if (line < 0 || line >= all.size())
        return 0;
    const auto* series = qobject_cast<const QLineSeries*>(all.at(line));
    return series ? int(series->count()) : 0;
}
