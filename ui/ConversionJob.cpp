#include "ConversionJob.h"

#include "ExcelWrite.h"

#include <QFile>
#include <QThread>

ConversionJob::ConversionJob(ExcelWrite& writer, std::unique_ptr<QFile> source, QObject* parent)
    : QObject(parent), _writer(writer), _source(std::move(source)) {}

ConversionJob::~ConversionJob() {
    requestStop();
    wait();
}

void ConversionJob::start() {
    _writer.setStopRequest(&_stop);
    _writer.setObserver(this);
    _attached = true;
    _clock.start();
    // The automation connection is started, used and quit on this thread: write() makes it.
    _thread = QThread::create([this] {
        _status = _writer.write();
        Q_EMIT finished(_status);
    });
    connect(_thread, &QThread::finished, _thread, &QObject::deleteLater);
    connect(_thread, &QThread::destroyed, this, [this] { _thread = nullptr; });
    _thread->start();
}

void ConversionJob::requestStop() {
    _stop = true;
}

bool ConversionJob::isRunning() const {
    return _thread && _thread->isRunning();
}

void ConversionJob::wait() {
    if (_thread)
        _thread->wait();
    // The writer is let go once; it may be gone by the time a finished job is deleted.
    if (_attached) {
        _writer.setStopRequest(nullptr);
        _writer.setObserver(nullptr);
        _attached = false;
    }
}

void ConversionJob::packageRead(int runs, int seriesSlots, int timesteps) {
    Q_EMIT packageWasRead(runs, seriesSlots, timesteps);
}

void ConversionJob::writingWorksheet(const QString& name, qint64 valuesWritten, qint64 valuesInAll) {
    Q_EMIT worksheetStarted(name, valuesWritten, valuesInAll);
}

void ConversionJob::saving(int worksheets, qint64 valuesInAll) {
    Q_EMIT savingStarted(worksheets, valuesInAll);
}
