#pragma once

#include <QByteArray>

#include <cstddef>
#include <exception>

class QIODevice;

// Thrown by the line reader for a line longer than the reader accepts; the read ends there.
struct PvxLineTooLong : std::exception {
    explicit PvxLineTooLong(qint64 number) : lineNumber(number) {}
    const char* what() const noexcept override { return "PVX line too long"; }
    qint64 lineNumber;
};

// One trimmed line of the input as a byte range; valid until the next read.
struct PvxLine {
    const char* begin = nullptr;
    std::size_t size = 0;
    // Where the reader notes the first line whose text is not UTF-8 (null: nowhere), and this
    // line's number.
    qint64* firstForeignLine = nullptr;
    qint64 number = 0;

    bool isBlank() const { return size == 0; }
    bool equals(const char* text, std::size_t length) const;
    bool startsWith(const char* text, std::size_t length) const;
    // The text of the line behind its first skip bytes: UTF-8, or Windows-1252 (what Windows
    // tools export) when the bytes are not UTF-8.
    QString textAfter(std::size_t skip) const;
};

// Reads a PVX file forward, line by line, trimming ASCII white space at both ends.
// In block mode it reads the device in large chunks and hands out lines without
// allocating; in line mode it reads no further than the lines it hands out, so the
// device's position stays exact for a caller that goes on reading it.
class PvxLineReader {
public:
    enum Mode { Block, Line };

    // The longest line accepted, without its line end: a line without an end must not be
    // able to take all memory.
    static constexpr std::size_t maxLineLength = std::size_t(16) << 20;

    PvxLineReader(QIODevice& device, Mode mode);

    // Drops a UTF-8 byte-order mark at the read position.
    void skipByteOrderMark();
    // The next line; at the end of the input a blank line, and atEnd() becomes true.
    // Throws PvxLineTooLong for a line longer than maxLineLength.
    PvxLine readLine() {
        ++_lineNumber;
        const Span span = readRawLine();
        return PvxLine{span.begin, span.size, &_firstForeignLine, _lineNumber};
    }
    // 1-based number of the line that readLine returned last.
    qint64 lineNumber() const { return _lineNumber; }
    // The first line whose text was read as Windows-1252 because it is not UTF-8; 0 for none.
    qint64 firstForeignLine() const { return _firstForeignLine; }
    // Up to count bytes ahead of the read position, without consuming them.
    QByteArray peek(std::size_t count);
    // Whether the end of the input has been reached.
    bool atEnd();
    // Bytes of input left to read, or -1 when the device cannot tell.
    qint64 bytesLeft() const;
    QIODevice& device() const { return _device; }
    // The device position of the next line to be read.
    qint64 position() const;

private:
    // A line's bytes: small enough to come back in registers from the reading loop.
    struct Span {
        const char* begin;
        std::size_t size;
    };
    bool fill();
    Span readRawLine();

    QIODevice& _device;
    Mode _mode;
    QByteArray _buffer;
    std::size_t _start = 0;
    std::size_t _end = 0;
    bool _deviceDone = false;
    QByteArray _lineBuffer;
    qint64 _lineNumber = 0;
    qint64 _firstForeignLine = 0;
};
