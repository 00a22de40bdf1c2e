#include "ListingOutput.h"

#include "StudyListing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {
QString createDateText(const StudyListing& listing) {
    return listing.createDate.isValid() ? listing.createDate.toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                                        : QString();
}

// Rows of cells as lines, each column as wide as its widest cell, two blanks apart; the
// last column is not padded, so no line ends in blanks.
QStringList alignedLines(const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.append(0);
            widths[c] = std::max(widths[c], row.at(c).size());
        }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row.at(c).leftJustified(widths.at(c) + 2) : row.at(c);
        lines.append(line);
    }
    return lines;
}
} // namespace

QStringList listingText(const StudyListing& listing) {
    const QString unit =
        QStringLiteral("%1 %2").arg(QString::number(listing.unitQuantity), listing.timestepUnit).trimmed();
    QStringList lines = alignedLines({
        {QStringLiteral("Name:"), listing.name},
        {QStringLiteral("Owner:"), listing.owner},
        {QStringLiteral("Description:"), listing.description},
        {QStringLiteral("Creation date:"), createDateText(listing)},
        {QStringLiteral("Runs:"), QString::number(listing.runs)},
        {QStringLiteral("Series slots:"), QString::number(listing.slots.size())},
        {QStringLiteral("Timesteps:"), QString::number(listing.timesteps)},
        {QStringLiteral("First timestep:"), listing.firstTimestep},
        {QStringLiteral("Last timestep:"), listing.lastTimestep},
        {QStringLiteral("Timestep unit:"), unit},
    });
    for (QString& line : lines)
        line = line.trimmed();
    lines.append(QString());

    QList<QStringList> rows = {{QStringLiteral("Index"), QStringLiteral("Object"), QStringLiteral("Slot"),
                                QStringLiteral("Units"), QStringLiteral("Scale"),
                                QStringLiteral("Worksheet")}};
    for (const StudyListing::Slot& slot : listing.slots)
        rows.append({QString::number(slot.index), slot.objectName, slot.slotName, slot.units,
                     QString::number(slot.scale, 'g', 15), slot.worksheetName});
    for (const QString& line : alignedLines(rows))
        lines.append(line.trimmed());
    if (!listing.warnings.isEmpty())
        lines.append(QString());
    for (const QString& warning : listing.warnings)
        lines.append(QStringLiteral("Gridwell Warning: ") + warning);
    return lines;
}

QByteArray listingJson(const StudyListing& listing) {
    QJsonArray slots;
    for (const StudyListing::Slot& slot : listing.slots)
        slots.append(QJsonObject{
            {QStringLiteral("index"), slot.index},
            {QStringLiteral("objectType"), slot.objectType},
            {QStringLiteral("objectName"), slot.objectName},
            {QStringLiteral("slotName"), slot.slotName},
            {QStringLiteral("units"), slot.units},
            {QStringLiteral("scale"), slot.scale},
            {QStringLiteral("worksheetName"), slot.worksheetName},
        });
    const QJsonObject document{
        {QStringLiteral("package"), QJsonObject{{QStringLiteral("name"), listing.name},
                                                {QStringLiteral("owner"), listing.owner},
                                                {QStringLiteral("description"), listing.description},
                                                {QStringLiteral("createDate"), createDateText(listing)}}},
        {QStringLiteral("runs"), listing.runs},
        {QStringLiteral("seriesSlots"), int(listing.slots.size())},
        {QStringLiteral("timesteps"), listing.timesteps},
        {QStringLiteral("firstTimestep"), listing.firstTimestep},
        {QStringLiteral("lastTimestep"), listing.lastTimestep},
        {QStringLiteral("timestepUnit"), listing.timestepUnit},
        {QStringLiteral("unitQuantity"), listing.unitQuantity},
        {QStringLiteral("slots"), slots},
        {QStringLiteral("warnings"), QJsonArray::fromStringList(listing.warnings)},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
