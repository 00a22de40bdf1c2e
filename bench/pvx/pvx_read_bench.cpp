// Reads a large generated PVX file and prints the reading speed and the peak memory, beside the
// time of a bare single-core loop over the same file that only splits lines and converts the
// numbers with std::from_chars: the floor a line reader on one core could reach.
// pvx_read_bench [file]: without a file, generates one of about 150 MB first.
#include "PvxGenerator.h"
#include "PvxModel.h"
#include "PvxReading.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}
// Splits the file into lines and converts every line that starts like a number; returns the
// seconds taken, and the sum of the numbers so the work is not left out.
double bareLoopSeconds(const QString& path, double& sum, long long& numbers) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return -1;
    QElapsedTimer timer;
    timer.start();
    std::vector<char> buffer(std::size_t(1) << 20);
    std::size_t kept = 0;
    sum = 0;
    numbers = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data() + kept, 1, buffer.size() - kept, file);
        const std::size_t end = kept + got;
        const char* at = buffer.data();
        const char* stop = buffer.data() + end;
        for (;;) {
            const char* newline = static_cast<const char*>(std::memchr(at, '\n', std::size_t(stop - at)));
            if (!newline && got > 0)
                break;
            const char* lineEnd = newline ? newline : stop;
            const char* begin = at;
            while (begin < lineEnd && (*begin == ' ' || *begin == '\t'))
                ++begin;
            if (begin < lineEnd && (*begin == '-' || (*begin >= '0' && *begin <= '9'))) {
                double value = 0;
                if (std::from_chars(begin, lineEnd, value).ec == std::errc()) {
                    sum += value;
                    ++numbers;
                }
            }
            if (!newline) {
                at = stop;
                break;
            }
            at = newline + 1;
        }
        kept = std::size_t(stop - at);
        std::memmove(buffer.data(), at, kept);
        if (got == 0)
            break;
        if (kept == buffer.size())
            buffer.resize(buffer.size() * 2);
    }
    std::fclose(file);
    return timer.nsecsElapsed() / 1e9;
}
// Reads the whole file as a conversion does, in a child process of its own so that each read
// starts from a fresh heap; returns the seconds and the child's peak resident megabytes, or a
// negative time when it does not read.
struct ReadFigures {
    double seconds = -1;
    double peakMegabytes = 0;
    bool split = false;
};

ReadFigures readInChild(const QString& path, bool twoCores) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (!twoCores)
            setPvxSplitReadMinimum(std::numeric_limits<qint64>::max());
        ReadFigures figures;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QElapsedTimer timer;
            timer.start();
            PvxPackage package;
            const QString status = package.readPvx(file);
            if (status.isEmpty())
                figures.seconds = timer.nsecsElapsed() / 1e9;
            else
                std::fprintf(stderr, "read failed: %s\n", qPrintable(status));
        }
        figures.peakMegabytes = peakResidentMegabytes();
        figures.split = pvxSplitReadsTaken() > 0;
        const bool written = ::write(channel[1], &figures, sizeof figures) == ssize_t(sizeof figures);
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    ReadFigures figures;
    if (child < 0 || ::read(channel[0], &figures, sizeof figures) != ssize_t(sizeof figures))
        figures = ReadFigures();
    ::close(channel[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return figures;
}
} // namespace

int main(int argc, char** argv) {
    QString path =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/gridwell-bench-150mb.pvx");
    if (argc < 2 && !QFileInfo::exists(path)) {
        PvxStudyShape shape;
        shape.runs = 20;
        shape.slots = 100;
        shape.timesteps = 7300;
        std::printf("generating %s (20 runs x 100 slots x 7300 steps)...\n", qPrintable(path));
        if (!writePvxStudy(path.toStdString(), shape))
            return 1;
    }
    const double fileMegabytes = QFileInfo(path).size() / (1024.0 * 1024.0);
    const double baseline = peakResidentMegabytes();

    // Once to have the file in the page cache for every read.
    double sum = 0;
    long long numbers = 0;
    bareLoopSeconds(path, sum, numbers);
    const double bare = bareLoopSeconds(path, sum, numbers);

    const ReadFigures oneCore = readInChild(path, false);
    const ReadFigures read = readInChild(path, true);
    if (read.seconds < 0 || oneCore.seconds < 0)
        return 1;
    std::printf("file            %.1f MB\n", fileMegabytes);
    std::printf("read time       %.3f s (%s)\n", read.seconds,
                read.split ? "split across two cores" : "one core");
    std::printf("one core        %.3f s\n", oneCore.seconds);
    std::printf("speed           %.0f MB/s\n", fileMegabytes / read.seconds);
    std::printf("bare loop       %.3f s (lines split, %lld numbers by std::from_chars, one core; sum %g)\n",
                bare, numbers, sum);
    std::printf("reader / bare   %.2f (one core: %.2f)\n", read.seconds / bare, oneCore.seconds / bare);
    std::printf("peak memory     %.1f MB (%.1f MB before reading; %.2f x file size for the read; one core "
                "%.1f MB)\n",
                read.peakMegabytes, baseline, (read.peakMegabytes - baseline) / fileMegabytes,
                oneCore.peakMegabytes);
    return 0;
}
