#include "PvxReading.h"

#include <QFileDevice>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace {
std::atomic<qint64> splitReadMinimum{qint64(32) << 20};
std::atomic<qint64> splitReadsTaken{0};

// How far past the middle a run end is looked for: a file whose runs are longer is read on one
// core.
constexpr qint64 runEndSearchLimit = qint64(64) << 20;

// Up to size bytes of the file at a position, read again after a signal; -1 for a failure.
qint64 readAt(int fd, char* data, qint64 size, qint64 at) {
    for (;;) {
        const ssize_t got = ::pread(fd, data, std::size_t(size), off_t(at));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// A stretch of a file read with pread, which leaves the descriptor's own position, that the
// first half's reader goes on using, as it is. For a file opened in text mode it drops every
// carriage return, as Qt's text mode does for the first half.
class FileRange : public QIODevice {
public:
    FileRange(int fd, qint64 start, qint64 end, bool textMode)
        : _fd(fd), _next(start), _end(end), _size(end - start), _textMode(textMode) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return _size; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        for (;;) {
            const qint64 got = readRaw(data, maxSize);
            if (got <= 0 || !_textMode)
                return got;
            char* kept = std::remove(data, data + got, '\r');
            if (kept != data)
                return kept - data;
        }
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 readRaw(char* data, qint64 maxSize) {
        const qint64 wanted = std::min(maxSize, _end - _next);
        if (wanted <= 0)
            return 0;
        const qint64 got = readAt(_fd, data, wanted, _next);
        if (got > 0)
            _next += got;
        return got;
    }

    int _fd;
    qint64 _next;
    qint64 _end;
    qint64 _size;
    bool _textMode;
};

// The number of line feeds before end: the lines a reader has read when it stands there.
qint64 lineFeedsBefore(int fd, qint64 end) {
    constexpr std::size_t chunk = std::size_t(1) << 20;
    std::vector<char> buffer(chunk);
    qint64 lines = 0;
    for (qint64 at = 0; at < end;) {
        const qint64 got = readAt(fd, buffer.data(), std::min<qint64>(chunk, end - at), at);
        if (got <= 0)
            return -1;
        lines += std::count(buffer.data(), buffer.data() + got, '\n');
        at += got;
    }
    return lines;
}

bool isBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The position just behind the first line at or after from whose text, trimmed, is "END_RUN";
// -1 when there is none before end or within the search limit.
qint64 runEndFrom(int fd, qint64 from, qint64 end) {
    static const char keyword[] = "END_RUN";
    constexpr std::size_t keywordLength = sizeof keyword - 1;
    constexpr std::size_t chunk = std::size_t(1) << 20;
    // Chunks overlap so that a line cut by a chunk's end is whole in the next one.
    constexpr std::size_t overlap = 256;
    std::vector<char> buffer(chunk);
    const qint64 stop = std::min(end, from + runEndSearchLimit);
    for (qint64 at = from; at < stop;) {
        const qint64 got = readAt(fd, buffer.data(), std::min<qint64>(chunk, end - at), at);
        if (got <= 0)
            return -1;
        const char* base = buffer.data();
        const char* limit = base + got;
        for (const char* hit = base;
             (hit = static_cast<const char*>(memmem(hit, std::size_t(limit - hit), keyword, keywordLength)));
             ++hit) {
            const char* before = hit;
            while (before > base && isBlankByte(before[-1]))
                --before;
            if (before == base || before[-1] != '\n')
                continue;
            const char* after = hit + keywordLength;
            while (after < limit && isBlankByte(*after))
                ++after;
            if (after < limit && *after == '\n')
                return at + (after + 1 - base);
        }
        if (at + got >= end)
            return -1;
        at += std::max<qint64>(got - qint64(overlap), 1);
    }
    return -1;
}
} // namespace

qint64 pvxSplitReadMinimum() {
    return splitReadMinimum.load();
}

void setPvxSplitReadMinimum(qint64 bytes) {
    splitReadMinimum.store(bytes);
}

qint64 pvxSplitReadsTaken() {
    return splitReadsTaken.load();
}

std::unique_ptr<PvxPackage::TailReader> PvxPackage::TailReader::startBehind(const PvxLineReader& reader,
                                                                            const PvxPackage& head,
                                                                            const ReadPlan& plan,
                                                                            const RunContext& context) {
    auto* file = qobject_cast<QFileDevice*>(&reader.device());
    if (!file || file->isSequential() || file->handle() < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(file->handle(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < pvxSplitReadMinimum())
        return nullptr;
    const qint64 from = reader.position();
    const qint64 end = info.st_size;
    if (from < 0 || from >= end)
        return nullptr;
    const qint64 start = runEndFrom(file->handle(), from + (end - from) / 2, end);
    if (start < 0 || start >= end)
        return nullptr;
    try {
        return std::make_unique<TailReader>(file->handle(), start, end, file->isTextModeEnabled(), head, plan,
                                            context);
    } catch (const std::system_error&) {
        // No thread to be had: the file is read on one core.
        return nullptr;
    }
}

PvxPackage::TailReader::TailReader(int fd, qint64 start, qint64 end, bool textMode, const PvxPackage& head,
                                   const ReadPlan& plan, const RunContext& context)
    : _fd(fd), _start(start), _end(end), _textMode(textMode), _plan(plan), _context(context) {
    _tail.slots = head.slots;
    _context.unreadable = UnreadableValues();
    _context.unreadableScales = UnreadableValues();
    _context.cancelled = &_cancelled;
    _startLineFuture = _startLine.get_future();
    _thread = std::thread([this] { read(); });
}

PvxPackage::TailReader::Arrival PvxPackage::TailReader::arrival(const PvxLineReader& reader) {
    // The reader's position never falls short of where it stands in the file (in text mode it
    // may run ahead by the carriage returns it has not handed out yet), so before the tail's
    // start it has not arrived; from there on, its line count tells.
    if (reader.position() < _start)
        return Arrival::NotYet;
    if (!_startLineKnown) {
        _startLineNumber = _startLineFuture.get();
        _startLineKnown = true;
    }
    if (_startLineNumber < 0 || reader.lineNumber() > _startLineNumber)
        return Arrival::Passed;
    return reader.lineNumber() == _startLineNumber ? Arrival::There : Arrival::NotYet;
}

PvxPackage::TailReader::~TailReader() {
    _cancelled.store(true);
    if (_thread.joinable())
        _thread.join();
}

void PvxPackage::TailReader::read() {
    // Run numbers only name runs in messages, and any message sends the read back to the first
    // half's reader: every run here stands for a later run.
    constexpr qint32 laterRun = 1;
    qint64 startLine = -1;
    try {
        startLine = lineFeedsBefore(_fd, _start);
    } catch (...) {
        // Without the count the first half's reader cannot know it has arrived; it reads on.
    }
    _startLine.set_value(startLine);
    if (startLine < 0)
        return;
    try {
        FileRange range(_fd, _start, _end, _textMode);
        PvxLineReader reader(range, PvxLineReader::Block);
        while (!_cancelled.load(std::memory_order_relaxed) && !reader.atEnd()) {
            const qint64 linesBefore = reader.lineNumber();
            const WriteStatus status = _tail.readRun(reader, laterRun, _plan, _context);
            if (!status.isEmpty()) {
                // Blank lines behind the last run end the file as well.
                if (reader.lineNumber() != linesBefore + 1 || contentFollows(reader))
                    return;
                break;
            }
            ++_runsRead;
        }
        _clean = !_cancelled.load() && _tail.warnings.isEmpty() && _context.unreadable.count == 0 &&
                 _context.unreadableScales.count == 0 && reader.firstForeignLine() == 0;
    } catch (...) {
        // Too long a line or too little memory: the first half's reader meets it and says so.
        _clean = false;
    }
}

bool PvxPackage::TailReader::finish(PvxPackage& package, qint32 runsRead) {
    if (_thread.joinable())
        _thread.join();
    if (!_clean || qint64(runsRead) + _runsRead != package.numberOfRuns)
        return false;
    // A failed read of blank lines after the last run left an empty run behind.
    if (_tail.runs.size() > _runsRead)
        _tail.runs.resize(_runsRead);
    if (_tail.values.size() > _runsRead)
        _tail.values.resize(_runsRead);
    package.runs.append(std::move(_tail.runs));
    package.values.append(std::move(_tail.values));
    ++splitReadsTaken;
    return true;
}
