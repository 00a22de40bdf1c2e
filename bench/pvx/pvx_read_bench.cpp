// Reads a large generated PVX file and prints the reading speed and the peak memory.
// pvx_read_bench [file]: without a file, generates one of about 150 MB first.
#include "PvxGenerator.h"
#include "PvxModel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/resource.h>

namespace {
double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
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

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    PvxPackage package;
    const QString status = package.readPvx(file);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!status.isEmpty()) {
        std::fprintf(stderr, "read failed: %s\n", qPrintable(status));
        return 1;
    }
    const double peak = peakResidentMegabytes();
    std::printf("file            %.1f MB\n", fileMegabytes);
    std::printf("read time       %.3f s\n", seconds);
    std::printf("speed           %.0f MB/s\n", fileMegabytes / seconds);
    std::printf("peak memory     %.1f MB (%.1f MB before reading; %.2f x file size for the read)\n", peak,
                baseline, (peak - baseline) / fileMegabytes);
    return 0;
}
