#pragma once

// What the reader's parts share while one file is read; not for users of the model.

#include "PvxLineReader.h"
#include "PvxModel.h"
#include "PvxSelection.h"

#include <QStringList>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

// Value or scale lines that did not read as numbers: they are converted as 0, and the log says
// where.
struct UnreadableValues {
    qint64 count = 0;
    QStringList firstLines;

    void note(const PvxLine& line, qint64 lineNumber);
    // what names one such line: "value line", "scale line".
    QString warning(const QString& what) const;
};

// Reads one column header; a scale that does not read as a number is 0, and noted in
// unreadableScales when given.
WriteStatus readColumnHeader(PvxLineReader& reader, QString& units, double& scale, QString& method,
                             UnreadableValues* unreadableScales = nullptr);

// What one read keeps: every run and slot, a selection of them, or no values at all.
struct PvxPackage::ReadPlan {
    const PvxSelection* selection = nullptr;
    bool keepValues = true;

    bool keepsRun(int run) const {
        if (!keepValues)
            return run == 0;
        return !selection || selection->choosesRun(run);
    }
};

// What reading a later run takes from the runs before it.
struct PvxPackage::RunContext {
    // Which slot positions of the first run have their values kept.
    QList<bool> slotKept;
    qint32 seriesSeen = 0;
    qint32 firstTrace = -1;
    UnreadableValues unreadable;
    UnreadableValues unreadableScales;
    // Set when the read is no longer wanted; the run being read then fails at its next slot or
    // column.
    const std::atomic<bool>* cancelled = nullptr;

    bool abandoned() const { return cancelled && cancelled->load(std::memory_order_relaxed); }
};

// Whether anything but blank lines follows; used where the file ought to end.
bool contentFollows(PvxLineReader& reader);

// Reads the second half of a large file on another core while the first half is read: from a
// line that ends a run, to the end of the file. Its runs count only when the first half's reader
// arrives exactly there and the second half read cleanly (no failure, no warning, as many runs as
// the count leaves); otherwise the first half's reader simply reads on, so every message and
// warning is the one a single reader gives.
class PvxPackage::TailReader {
public:
    // Starts reading behind the first run, or returns null when the file is too small to split,
    // cannot be read at a position, or has no run end near its middle.
    static std::unique_ptr<TailReader> startBehind(const PvxLineReader& reader, const PvxPackage& head,
                                                   const ReadPlan& plan, const RunContext& context);
    TailReader(int fd, qint64 start, qint64 end, bool textMode, const PvxPackage& head, const ReadPlan& plan,
               const RunContext& context);
    ~TailReader();
    TailReader(const TailReader&) = delete;
    TailReader& operator=(const TailReader&) = delete;

    enum class Arrival { NotYet, There, Passed };
    // Whether the first half's reader, at the start of a run, stands where the tail begins, or
    // has gone past it (the tail began inside a run after all).
    Arrival arrival(const PvxLineReader& reader);
    // Waits for the tail; when it read cleanly and holds the runs from runsRead to the count,
    // moves them into package and returns true.
    bool finish(PvxPackage& package, qint32 runsRead);

private:
    void read();

    int _fd;
    qint64 _start;
    qint64 _end;
    bool _textMode;
    // The number of lines before the tail's start, counted by the tail's thread first.
    std::promise<qint64> _startLine;
    std::future<qint64> _startLineFuture;
    qint64 _startLineNumber = -1;
    bool _startLineKnown = false;
    PvxPackage _tail;
    ReadPlan _plan;
    RunContext _context;
    std::atomic<bool> _cancelled{false};
    qint32 _runsRead = 0;
    bool _clean = false;
    std::thread _thread;
};

// Files below this size are read on one core. Tests lower it to split small files.
qint64 pvxSplitReadMinimum();
void setPvxSplitReadMinimum(qint64 bytes);
// How many reads took their second half from another core.
qint64 pvxSplitReadsTaken();
