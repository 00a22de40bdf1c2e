// Times the naming of N series slots whose short names share their first 30 characters,
// the worst case of the cut-and-count scheme: short names (Short labels) and the worksheet
// names made from them. Prints the figures; the goal is 16,000 slots in under 2 s.
#include "ExcelWrite.h"
#include "SlotWorksheetNames.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 16000;
    QStringList fullNames;
    fullNames.reserve(count);
    for (int i = 0; i < count; ++i)
        fullNames.append(QStringLiteral("BBBBBBBBBBCCCCCCCCCCDDDDDDDDDDEEEE%1").arg(i));

    ExcelWrite writer;
    QElapsedTimer timer;
    timer.start();
    for (const QString& name : fullNames)
        writer.shortenSlotName(name);
    const qint64 shortMs = timer.restart();
    QStringList indexLabels;
    for (int i = 0; i < count; ++i)
        indexLabels.append(QStringLiteral("Slot%1").arg(i));
    const QStringList names = slotWorksheetNames(writer.shortSlotNames, indexLabels);
    const qint64 sheetMs = timer.elapsed();

    std::printf("slots %d: short names %.3f s, worksheet names %.3f s, total %.3f s (goal < 2 s)\n", count,
                shortMs / 1000.0, sheetMs / 1000.0, (shortMs + sheetMs) / 1000.0);
    std::printf("last short name %s, last worksheet name %s\n", qPrintable(writer.shortSlotNames.last()),
                qPrintable(names.last()));
    return 0;
}
