#pragma once

#include "WriteStatus.h"

#include <QDateTime>
#include <QList>
#include <QString>

class QIODevice;

// What a study holds, read without its values: the package's keys, its size, the first run's
// time axis and one entry per series slot with the worksheet name it gets under a label
// preference.
struct StudyListing {
    struct Slot {
        int index = 0;
        QString objectType;
        QString objectName;
        QString slotName;
        QString units;
        double scale = 0.0;
        QString worksheetName;
    };

    QString name;
    QString owner;
    QString description;
    QDateTime createDate;
    int runs = 0;
    int timesteps = 0;
    QString firstTimestep;
    QString lastTimestep;
    QString timestepUnit;
    int unitQuantity = 0;
    QList<Slot> slots;
    // What a conversion of the file would warn of.
    QStringList warnings;
};

// Reads the whole file as a conversion would, failing with the same messages, but keeps no
// values: memory follows the slot table, not the study.
WriteStatus readStudyListing(QIODevice& device, int slotLabelPreference, StudyListing& listing);
