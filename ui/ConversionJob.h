#pragma once

#include "ConversionObserver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class ExcelWrite;
class QFile;
class QThread;

// One conversion of the window, run by the writer on a thread of its own so that the window
// keeps painting and answering. The writer is configured before start() and must not be
// touched until finished() has been delivered. Progress arrives as signals on the window's
// thread.
class ConversionJob : public QObject, private ConversionObserver {
    Q_OBJECT
public:
    // source: the open PVX file, kept open until the conversion has ended.
    ConversionJob(ExcelWrite& writer, std::unique_ptr<QFile> source, QObject* parent = nullptr);
    // Stops the conversion and waits for it.
    ~ConversionJob() override;

    void start();
    // Asks the conversion to end before its next worksheet; the workbook stays as it was.
    void requestStop();
    bool stopRequested() const { return _stop.load(); }
    bool isRunning() const;
    // Blocks until the conversion thread has ended.
    void wait();
    // The writer's answer, once wait() has returned: empty on success.
    const QString& status() const { return _status; }
    // Time since start() in seconds.
    double seconds() const { return _clock.elapsed() / 1000.0; }

Q_SIGNALS:
    void packageWasRead(int runs, int seriesSlots, int timesteps);
    void worksheetStarted(const QString& name, qint64 valuesWritten, qint64 valuesInAll);
    void savingStarted(int worksheets, qint64 valuesInAll);
    void finished(const QString& status);

private:
    void packageRead(int runs, int seriesSlots, int timesteps) override;
    void writingWorksheet(const QString& name, qint64 valuesWritten, qint64 valuesInAll) override;
    void saving(int worksheets, qint64 valuesInAll) override;

    ExcelWrite& _writer;
    std::unique_ptr<QFile> _source;
    std::atomic<bool> _stop{false};
    QThread* _thread = nullptr;
    bool _attached = false;
    QElapsedTimer _clock;
    QString _status; // written by the conversion thread before it ends
};
