#pragma once
// Writes a made-up study for the window tests: runs x slots x steps daily values.

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QString>

inline bool writeStudy(const QString& path, int runs, int slots, int steps, double offset = 0.0) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text =
        "name:Window study\nnumber_of_runs:" + QByteArray::number(runs) + "\nEND_PACKAGE_PREAMBLE\n";
    for (int r = 0; r < runs; ++r) {
        text += "start:2000-1-1 24:00\ntime_step_unit:day\ntime_steps:" + QByteArray::number(steps) +
                "\nEND_RUN_PREAMBLE\n";
        for (int t = 0; t < steps; ++t)
            text += QDate(2000, 1, 2).addDays(t).toString("yyyy-M-d").toLatin1() + " 00:00\n";
        for (int k = 0; k < slots; ++k) {
            text += "object_name: Lake " + QByteArray::number(k) +
                    "\nslot_name: Outflow\nEND_SLOT_PREAMBLE\nunits: cfs\nscale: 1\n";
            for (int t = 0; t < steps; ++t)
                text += QByteArray::number(offset + r * 1000 + k + t * 0.25) + "\n";
            text += "END_COLUMN\nEND_SLOT\n";
        }
        text += "END_RUN\n";
    }
    return file.write(text) == text.size();
}
