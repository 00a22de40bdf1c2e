#include "PvxLineReader.h"

#include <QStringDecoder>

#include <QIODevice>
#include <QString>

#include <cstring>

namespace {
constexpr std::size_t chunkSize = 1 << 20;

bool isBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

PvxLine trimmed(const char* begin, const char* end) {
    while (begin < end && isBlankByte(*begin))
        ++begin;
    while (end > begin && isBlankByte(end[-1]))
        --end;
    return PvxLine{begin, static_cast<std::size_t>(end - begin)};
}
} // namespace

bool PvxLine::equals(const char* text, std::size_t length) const {
    return size == length && std::memcmp(begin, text, length) == 0;
}

bool PvxLine::startsWith(const char* text, std::size_t length) const {
    return size >= length && std::memcmp(begin, text, length) == 0;
}

namespace {
// Windows-1252 at 0x80 to 0x9F; the rest of its upper half is Latin-1. Bytes it leaves
// undefined keep their Latin-1 code points.
const char16_t windows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const char* text, std::size_t size) {
    QString result(static_cast<qsizetype>(size), Qt::Uninitialized);
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        result[qsizetype(i)] =
            byte >= 0x80 && byte < 0xA0 ? QChar(windows1252High[byte - 0x80]) : QChar(byte);
    }
    return result;
}
} // namespace

QString PvxLine::textAfter(std::size_t skip) const {
    if (skip >= size)
        return QString();
    const char* text = begin + skip;
    const auto length = static_cast<qsizetype>(size - skip);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(text, length));
    if (!utf8.hasError())
        return decoded;
    if (firstForeignLine && *firstForeignLine == 0)
        *firstForeignLine = number;
    return fromWindows1252(text, std::size_t(length));
}

PvxLineReader::PvxLineReader(QIODevice& device, Mode mode) : _device(device), _mode(mode) {
    if (_mode == Block)
        _buffer.resize(chunkSize);
}

bool PvxLineReader::fill() {
    if (_deviceDone)
        return false;
    // Keep the unread tail, then read behind it, growing the buffer for very long lines.
    const std::size_t tail = _end - _start;
    if (_start > 0) {
        if (tail > 0)
            std::memmove(_buffer.data(), _buffer.constData() + _start, tail);
        _start = 0;
        _end = tail;
    }
    if (_end == static_cast<std::size_t>(_buffer.size()))
        _buffer.resize(_buffer.size() * 2);
    const qint64 got = _device.read(_buffer.data() + _end, static_cast<qint64>(_buffer.size()) - _end);
    if (got <= 0) {
        _deviceDone = true;
        return false;
    }
    _end += static_cast<std::size_t>(got);
    return true;
}

void PvxLineReader::skipByteOrderMark() {
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    if (peek(byteOrderMark.size()) != byteOrderMark)
        return;
    if (_mode == Line)
        _device.read(byteOrderMark.size());
    else
        _start += byteOrderMark.size();
}

PvxLineReader::Span PvxLineReader::readRawLine() {
    if (_mode == Line) {
        // One byte more than a line may hold, and its line end.
        _lineBuffer = _device.readLine(static_cast<qint64>(maxLineLength) + 2);
        const bool ended = _lineBuffer.endsWith('\n');
        if (static_cast<std::size_t>(_lineBuffer.size()) - (ended ? 1 : 0) > maxLineLength)
            throw PvxLineTooLong(_lineNumber);
        const PvxLine line = trimmed(_lineBuffer.constData(), _lineBuffer.constData() + _lineBuffer.size());
        return {line.begin, line.size};
    }
    std::size_t searchFrom = _start;
    for (;;) {
        const char* base = _buffer.constData();
        const void* newline = std::memchr(base + searchFrom, '\n', _end - searchFrom);
        if (newline) {
            const char* lineEnd = static_cast<const char*>(newline);
            if (static_cast<std::size_t>(lineEnd - (base + _start)) > maxLineLength)
                throw PvxLineTooLong(_lineNumber);
            const PvxLine line = trimmed(base + _start, lineEnd);
            _start = static_cast<std::size_t>(lineEnd - base) + 1;
            return {line.begin, line.size};
        }
        const std::size_t scanned = _end - _start;
        if (scanned > maxLineLength)
            throw PvxLineTooLong(_lineNumber);
        if (!fill()) {
            // The last line may end without a line feed.
            const PvxLine line = trimmed(_buffer.constData() + _start, _buffer.constData() + _end);
            _start = _end;
            return {line.begin, line.size};
        }
        searchFrom = _start + scanned;
    }
}

QByteArray PvxLineReader::peek(std::size_t count) {
    if (_mode == Line)
        return _device.peek(static_cast<qint64>(count));
    while (_end - _start < count && fill()) {
    }
    const std::size_t available = std::min(count, _end - _start);
    return QByteArray(_buffer.constData() + _start, static_cast<qsizetype>(available));
}

bool PvxLineReader::atEnd() {
    if (_mode == Line)
        return _device.atEnd();
    return _start == _end && !fill();
}

qint64 PvxLineReader::bytesLeft() const {
    if (_device.isSequential())
        return -1;
    const qint64 unread = _device.bytesAvailable();
    return unread + static_cast<qint64>(_end - _start);
}

qint64 PvxLineReader::position() const {
    return _device.pos() - static_cast<qint64>(_end - _start);
}
