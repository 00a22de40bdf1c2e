#include "PvxDateTime.h"
#include "PvxLineReader.h"
#include "PvxModel.h"
#include "PvxNumbers.h"
#include "PvxReading.h"
#include "PvxSelection.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {
const char* const packagePreambleFailure = "Cannot read package preamble";
const char* const runPreambleFailure = "Cannot read run preamble";
const char* const slotPreambleFailure = "Cannot read slot preamble";
const char* const fileFailureTemplate = "Cannot read PVX file: %1";
// What a read that is no longer wanted ends with; nobody sees it.
const char* const abandonedRead = "Read no longer wanted";

template <std::size_t N> bool hasKey(const PvxLine& line, const char (&key)[N]) {
    return line.startsWith(key, N - 1);
}

template <std::size_t N> bool isKeyword(const PvxLine& line, const char (&keyword)[N]) {
    return line.equals(keyword, N - 1);
}

template <std::size_t N> QString textValue(const PvxLine& line, const char (&)[N]) {
    return line.textAfter(N - 1);
}

template <std::size_t N> qint32 intValue(const PvxLine& line, const char (&)[N]) {
    return line.textAfter(N - 1).toInt();
}

template <std::size_t N> QDateTime dateValue(const PvxLine& line, const char (&)[N]) {
    return parsePvxDateTime(line.textAfter(N - 1));
}

WriteStatus fileFailure(const QString& what) {
    return QString::fromLatin1(fileFailureTemplate).arg(what);
}

WriteStatus fileFailure(const char* what) {
    return fileFailure(QString::fromLatin1(what));
}

// A count that the rest of the file depends on: a text that is not a whole number in the
// 32-bit range is kept so that the reader can refuse it instead of taking it as 0.
template <std::size_t N>
void readCount(const PvxLine& line, const char (&)[N], qint32& count, std::optional<QString>& invalidText) {
    const QString text = line.textAfter(N - 1);
    bool ok = false;
    count = text.toInt(&ok);
    if (ok)
        invalidText.reset();
    else
        invalidText = text;
}

// Runs one read, turning a line too long to read into the reader's message.
template <typename Read> WriteStatus guardedRead(Read read) {
    try {
        return read();
    } catch (const PvxLineTooLong& tooLong) {
        return fileFailure(QStringLiteral("line %1 is longer than 16 MiB").arg(tooLong.lineNumber));
    }
}

// A run as messages name it: its place in the file, counted from 0, and the file's own "trace:"
// key, which counts from 1, when the run gives one.
QString runName(int run, qint32 trace) {
    if (trace < 0)
        return QStringLiteral("run %1").arg(run);
    return QStringLiteral("run %1 (trace %2)").arg(run).arg(trace);
}

QString capitalized(QString text) {
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

QString valueCountFailure(const PvxSlot& slot, const QString& run, qint32 count) {
    return QStringLiteral("Slot %1.%2 of %3 does not have %4 %5")
        .arg(slot.objectName, slot.slotName, run)
        .arg(count)
        .arg(count == 1 ? QStringLiteral("value") : QStringLiteral("values"));
}

// Where a run's slot blocks end: "END_RUN" at the start of the next line, followed by
// white space or the end of the input.
bool atEndOfRun(PvxLineReader& reader) {
    static const QByteArray endRun("END_RUN");
    return reader.peek(endRun.size() + 1).trimmed() == endRun;
}

// Reads one column's values into column, or only passes over them when column is null. The
// end of the input inside a column can only lead to a missing slot preamble, so it stops the
// read at once instead of reading blank lines for as many values as the file claims.
bool readColumnValues(PvxLineReader& reader, qint32 count, PvxPackage::Column* column,
                      UnreadableValues& unreadable) {
    if (column) {
        qint64 expected = count;
        const qint64 left = reader.bytesLeft();
        expected = std::min<qint64>(expected, left >= 0 ? left + 1 : 1 << 16);
        column->reserve(static_cast<qsizetype>(std::max<qint64>(expected, 0)));
    }
    for (qint32 i = 0; i < count; ++i) {
        const PvxLine line = reader.readLine();
        if (line.isBlank() && reader.atEnd())
            return false;
        if (!column)
            continue;
        bool ok = false;
        double value = line.isBlank() ? 0.0 : pvxTextToDouble(line.begin, line.size, &ok);
        if (!ok) {
            unreadable.note(line, reader.lineNumber());
            value = 0.0; // a number too large for a double reads as infinite, but is not one
        }
        column->append(value);
    }
    return true;
}

// Where in the file a read failed, after the failure's own text; an empty run is not named.
QString located(const WriteStatus& status, const PvxLineReader& reader, const QString& run,
                const PvxSlot* slot) {
    QString where = QStringLiteral(" (line %1").arg(reader.lineNumber());
    if (!run.isEmpty())
        where += QStringLiteral(", ") + run;
    if (slot && !(slot->objectName.isEmpty() && slot->slotName.isEmpty()))
        where += QStringLiteral(", slot ") + slot->objectName + u'.' + slot->slotName;
    return status + where + u')';
}

// What a Windows editor saves as "Unicode": a UTF-16 byte-order mark, or a letter of the first key
// with a zero byte beside it. Read as UTF-8 it would fail only at the end of the file, with a
// message about the package preamble.
bool isUtf16(const QByteArray& start) {
    if (start.size() < 2)
        return false;
    const auto first = static_cast<unsigned char>(start.at(0)),
               second = static_cast<unsigned char>(start.at(1));
    const auto letter = [](unsigned char c) { return c >= 0x20 && c < 0x7F; };
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF) ||
           (letter(first) && second == 0) || (first == 0 && letter(second));
}

// Scales as the file writes them: "nan" in two runs is the same scale.
bool sameScale(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

// A closing line that cannot stand inside a slot preamble.
bool closesAnotherPart(const PvxLine& line) {
    return isKeyword(line, "END_COLUMN") || isKeyword(line, "END_SLOT") || isKeyword(line, "END_RUN") ||
           isKeyword(line, "END_RUN_PREAMBLE") || isKeyword(line, "END_PACKAGE_PREAMBLE");
}

// Drops the lines of a table slot's body up to and including "END_SLOT".
void skipTableBody(PvxLineReader& reader) {
    while (!reader.atEnd()) {
        if (isKeyword(reader.readLine(), "END_SLOT"))
            return;
    }
}
} // namespace

bool contentFollows(PvxLineReader& reader) {
    while (!reader.atEnd()) {
        if (!reader.readLine().isBlank())
            return true;
    }
    return false;
}

void UnreadableValues::note(const PvxLine& line, qint64 lineNumber) {
    if (++count <= 3)
        firstLines.append(QStringLiteral("line %1 \"%2\"").arg(lineNumber).arg(line.textAfter(0).left(40)));
}

QString UnreadableValues::warning(const QString& what) const {
    const QString lines =
        count == 1 ? QStringLiteral("1 %1 did not read as a number and was").arg(what)
                   : QStringLiteral("%1 %2s did not read as numbers and were").arg(count).arg(what);
    return lines + QStringLiteral(" converted as 0: ") + firstLines.join(QStringLiteral(", ")) +
           (count > 3 ? QStringLiteral(", …") : QString());
}

WriteStatus readColumnHeader(PvxLineReader& reader, QString& units, double& scale, QString& method,
                             UnreadableValues* unreadableScales) {
    const PvxLine unitsLine = reader.readLine();
    const bool unitsRead = hasKey(unitsLine, "units: ");
    const QString unitsText = unitsRead ? textValue(unitsLine, "units: ") : QString();
    const PvxLine scaleLine = reader.readLine();
    if (!unitsRead || !hasKey(scaleLine, "scale: "))
        return fileFailure("Missing units or scale");
    units = unitsText;
    const PvxLine scaleText{scaleLine.begin + 7, scaleLine.size - 7};
    bool scaleRead = false;
    scale = scaleText.isBlank() ? 0.0 : pvxTextToDouble(scaleText.begin, scaleText.size, &scaleRead);
    if (!scaleRead) {
        scale = 0.0;
        if (unreadableScales)
            unreadableScales->note(scaleLine, reader.lineNumber());
    }

    // A method line is recognised by its first byte alone.
    const QByteArray next = reader.peek(1);
    if (!next.isEmpty() && next.at(0) == 'm') {
        const QString line = reader.readLine().textAfter(0);
        const int keyLength = 8;
        method = line.size() < keyLength ? line : line.mid(keyLength);
    }
    return WriteStatus();
}

WriteStatus readColumnHeader(QIODevice& device, QString& units, double& scale, QString& method) {
    PvxLineReader reader(device, PvxLineReader::Line);
    return guardedRead([&] { return readColumnHeader(reader, units, scale, method); });
}

WriteStatus PvxPackage::readPackagePreamble(PvxLineReader& reader) {
    if (preambleRead)
        return WriteStatus();
    std::optional<QString> invalidRunCount;
    for (;;) {
        const PvxLine line = reader.readLine();
        if (line.isBlank())
            return QString::fromLatin1(packagePreambleFailure);
        if (isKeyword(line, "END_PACKAGE_PREAMBLE")) {
            preambleRead = true;
            if (invalidRunCount)
                return fileFailure(QStringLiteral("Invalid number of runs: ") + *invalidRunCount);
            return WriteStatus();
        }
        if (hasKey(line, "name:"))
            name = textValue(line, "name:");
        else if (hasKey(line, "owner:"))
            owner = textValue(line, "owner:");
        else if (hasKey(line, "description:"))
            description = textValue(line, "description:");
        else if (hasKey(line, "create_date:"))
            createDate = dateValue(line, "create_date:");
        else if (hasKey(line, "number_of_runs:")) {
            readCount(line, "number_of_runs:", numberOfRuns, invalidRunCount);
            runCountGiven = true;
        }
    }
}

WriteStatus PvxPackage::readPackagePreamble(QIODevice& device) {
    PvxLineReader reader(device, PvxLineReader::Line);
    return guardedRead([&] { return readPackagePreamble(reader); });
}

WriteStatus PvxRun::readRunPreamble(PvxLineReader& reader) {
    std::optional<QString> invalidTimestepCount;
    while (!preambleRead) {
        const PvxLine line = reader.readLine();
        if (line.isBlank())
            return QString::fromLatin1(runPreambleFailure);
        if (isKeyword(line, "END_RUN_PREAMBLE"))
            preambleRead = true;
        else if (hasKey(line, "trace:"))
            trace = intValue(line, "trace:");
        else if (hasKey(line, "start:"))
            start = dateValue(line, "start:");
        else if (hasKey(line, "end:"))
            end = dateValue(line, "end:");
        else if (hasKey(line, "time_step_unit:"))
            timeStepUnit = textValue(line, "time_step_unit:");
        else if (hasKey(line, "unit_quantity:"))
            unitQuantity = intValue(line, "unit_quantity:");
        else if (hasKey(line, "time_steps:"))
            readCount(line, "time_steps:", timeSteps, invalidTimestepCount);
        else if (hasKey(line, "timesteps:"))
            readCount(line, "timesteps:", timeSteps, invalidTimestepCount);
        else if (hasKey(line, "consecutive:"))
            consecutive = intValue(line, "consecutive:");
        else if (hasKey(line, "slot_set:"))
            slotSet = textValue(line, "slot_set:");
        else if (hasKey(line, "rule_set:"))
            ruleSet = textValue(line, "rule_set:");
        else if (hasKey(line, "idx_sequential:"))
            idxSequential = intValue(line, "idx_sequential:");
    }
    if (invalidTimestepCount)
        return fileFailure(QStringLiteral("Invalid number of timesteps: ") + *invalidTimestepCount);
    // One date line per timestep; the end of the input is a line that does not match.
    for (qint32 t = 0; t < timeSteps; ++t) {
        const QString text = reader.readLine().textAfter(0);
        if (!dateLinePattern.match(text).hasMatch())
            return QString::fromLatin1(runPreambleFailure);
        timestamps.append(text);
    }
    return WriteStatus();
}

WriteStatus PvxRun::readRunPreamble(QIODevice& device) {
    PvxLineReader reader(device, PvxLineReader::Line);
    return guardedRead([&] { return readRunPreamble(reader); });
}

WriteStatus PvxSlot::readSlotPreamble(PvxLineReader& reader) {
    while (!preambleRead) {
        const PvxLine line = reader.readLine();
        if (line.isBlank())
            return QString::fromLatin1(slotPreambleFailure);
        if (isKeyword(line, "END_SLOT_PREAMBLE"))
            preambleRead = true;
        else if (closesAnotherPart(line))
            // Its own closing line is missing: read on, the slot's column and the slots after it
            // would vanish into this preamble without a word.
            return QString::fromLatin1(slotPreambleFailure);
        else if (hasKey(line, "object_type: "))
            objectType = textValue(line, "object_type: ");
        else if (hasKey(line, "object_name: "))
            objectName = textValue(line, "object_name: ");
        else if (hasKey(line, "slot_type: "))
            slotType = textValue(line, "slot_type: ");
        else if (hasKey(line, "slot_name: "))
            slotName = textValue(line, "slot_name: ");
        else if (hasKey(line, "rows: ")) {
            rows = intValue(line, "rows: ");
            if (slotType.isEmpty())
                slotType = QStringLiteral("TableSlot");
        } else if (hasKey(line, "cols: "))
            cols = intValue(line, "cols: ");
    }
    if (isTable()) {
        // Rows past the end of the input would all be empty: stop there rather than
        // appending as many as the file claims.
        for (qint32 row = 0; row < rows && !reader.atEnd(); ++row)
            tableRows.append(reader.readLine().textAfter(0));
    }
    return WriteStatus();
}

WriteStatus PvxSlot::readSlotPreamble(QIODevice& device) {
    PvxLineReader reader(device, PvxLineReader::Line);
    return guardedRead([&] { return readSlotPreamble(reader); });
}

WriteStatus PvxPackage::readPvx(QIODevice& device) {
    return read(device, ReadPlan());
}

WriteStatus PvxPackage::readPvx(QIODevice& device, const PvxSelection& selection) {
    if (selection.choosesEverything())
        return readPvx(device);
    ReadPlan plan;
    plan.selection = &selection;
    const WriteStatus status = read(device, plan);
    return status.isEmpty() ? keepOnly(selection) : status;
}

WriteStatus PvxPackage::readContents(QIODevice& device) {
    ReadPlan plan;
    plan.keepValues = false;
    return read(device, plan);
}

WriteStatus PvxPackage::read(QIODevice& device, const ReadPlan& plan) {
    PvxLineReader reader(device, PvxLineReader::Block);
    return guardedRead([&] {
        reader.skipByteOrderMark();
        if (isUtf16(reader.peek(2)))
            return fileFailure("The file is UTF-16 text; save it as UTF-8 text");
        return readBody(reader, plan);
    });
}

WriteStatus PvxPackage::readBody(PvxLineReader& reader, const ReadPlan& plan) {
    WriteStatus status = readPackagePreamble(reader);
    if (!status.isEmpty())
        return located(status, reader, QString(), nullptr);
    if (numberOfRuns < 0)
        return fileFailure("Negative number of runs");
    // Without a count, runs that follow would be dropped without a word.
    if (!runCountGiven && contentFollows(reader))
        return fileFailure("Missing number of runs");

    RunContext context;
    // Runs and their values grow as the file delivers them, so a count that the file
    // does not back costs no memory.
    std::unique_ptr<TailReader> tail;
    bool tailTookTheRest = false;
    for (qint32 r = 0; r < numberOfRuns; ++r) {
        if (tail) {
            const TailReader::Arrival arrival = tail->arrival(reader);
            if (arrival == TailReader::Arrival::There)
                tailTookTheRest = tail->finish(*this, r);
            if (arrival != TailReader::Arrival::NotYet)
                tail.reset();
            if (tailTookTheRest)
                break;
        }
        status = readRun(reader, r, plan, context);
        if (!status.isEmpty())
            return status;
        if (r == 0 && numberOfRuns > 1 && !plan.selection)
            tail = TailReader::startBehind(reader, *this, plan, context);
    }
    tail.reset();
    if (context.unreadableScales.count > 0)
        warnings.append(context.unreadableScales.warning(QStringLiteral("scale line")));
    if (context.unreadable.count > 0)
        warnings.append(context.unreadable.warning(QStringLiteral("value line")));
    if (reader.firstForeignLine() > 0)
        warnings.append(QStringLiteral("Line %1 (and perhaps later ones) is not UTF-8 text; it was read as "
                                       "Windows-1252, as Windows tools write it")
                            .arg(reader.firstForeignLine()));
    // Runs the count leaves out are not converted; the log says how many there were.
    qint64 more = 0;
    while (!tailTookTheRest && !reader.atEnd())
        if (isKeyword(reader.readLine(), "END_RUN_PREAMBLE"))
            ++more;
    if (more > 0)
        warnings.append(QStringLiteral("The file holds %1 runs; number_of_runs says %2; %3 not converted")
                            .arg(QString::number(numberOfRuns + more), QString::number(numberOfRuns),
                                 more == 1 ? QStringLiteral("the last one was")
                                           : QStringLiteral("the last %1 were").arg(more)));
    return WriteStatus();
}

WriteStatus PvxPackage::readRun(PvxLineReader& reader, qint32 r, const ReadPlan& plan, RunContext& context) {
    const bool runKept = plan.keepsRun(r);
    PvxRun passedRun;
    PvxRun& run = runKept ? runs.emplaceBack() : passedRun;
    RunValues* runValues = runKept && plan.keepValues ? &values.emplaceBack() : nullptr;
    WriteStatus status = run.readRunPreamble(reader);
    const QString thisRun = runName(r, run.trace);
    if (r == 0)
        context.firstTrace = run.trace;
    if (!status.isEmpty())
        return located(status, reader, thisRun, nullptr);
    if (run.timeSteps < 0)
        return located(fileFailure("Negative number of timesteps"), reader, thisRun, nullptr);
    // The first run's dates become the workbook's; a date line that names no date (29 February of
    // a common year, hour 25) would show as no date at all. Later runs are held to the first's.
    if (r == 0) {
        for (qsizetype t = 0; t < run.timestamps.size(); ++t) {
            if (!parsePvxDateTime(run.timestamps.at(t)).isValid()) {
                const qint64 line = reader.lineNumber() - (run.timestamps.size() - 1 - t);
                return fileFailure(QStringLiteral("The date line %1 does not read as a date (line %2, %3)")
                                       .arg(run.timestamps.at(t), QString::number(line), thisRun));
            }
        }
    }

    qsizetype position = 0;
    qint64 firstExtraLine = 0;
    QString firstExtra;
    for (; !atEndOfRun(reader); ++position) {
        if (context.abandoned())
            return QString::fromLatin1(abandonedRead);
        PvxSlot slot;
        const qint64 slotLine = reader.lineNumber() + 1;
        status = slot.readSlotPreamble(reader);
        if (!status.isEmpty())
            return located(status, reader, thisRun, &slot);
        // A later run's values go under the first run's slots, position by position: a slot
        // in another place would put its values under another slot's name.
        if (r > 0 && position < slots.size()) {
            const PvxSlot& first = slots.at(position);
            if (slot.objectName != first.objectName || slot.slotName != first.slotName)
                return fileFailure(QStringLiteral("%1 has slot %2 where %3 has %4 (line %5)")
                                       .arg(capitalized(thisRun), slot.objectName + '.' + slot.slotName,
                                            runName(0, context.firstTrace),
                                            first.objectName + '.' + first.slotName,
                                            QString::number(slotLine)));
        }
        if (r > 0 && position >= slots.size() && firstExtra.isEmpty()) {
            firstExtra = slot.objectName + '.' + slot.slotName;
            firstExtraLine = slotLine;
        }
        if (r == 0) {
            const bool chosen = slot.isSeries() &&
                                (!plan.selection || plan.selection->choosesSlot(
                                                        context.seriesSeen, slot.objectName, slot.slotName));
            // Without a selection every slot keeps its values, scalars too; a selection keeps
            // series slots only.
            context.slotKept.append(plan.keepValues && (!plan.selection || chosen));
            if (slot.isSeries())
                ++context.seriesSeen;
        }
        const bool valuesKept = runValues && context.slotKept.value(position, false);
        if (slot.isTable()) {
            if (r == 0)
                slots.append(slot);
            if (runValues)
                runValues->emplaceBack();
            skipTableBody(reader);
            continue;
        }
        const qint32 valueCount = slot.isSeries() ? run.timeSteps : slot.rowCount();
        SlotValues* slotValues = runValues ? &runValues->emplaceBack() : nullptr;
        for (int c = 0; c < slot.columnCount(); ++c) {
            if (context.abandoned())
                return QString::fromLatin1(abandonedRead);
            QString units;
            QString method;
            double scale = 0.0;
            status = readColumnHeader(reader, units, scale, method, &context.unreadableScales);
            if (!status.isEmpty())
                return located(status, reader, thisRun, &slot);
            if (r == 0) {
                slot.units.append(units);
                slot.scales.append(scale);
                slot.methods.append(method);
            } else if (position < slots.size()) {
                // The first run's units and scale are the slot's; another run's are noted.
                const PvxSlot& first = slots.at(position);
                if (c < first.units.size() &&
                    (units != first.units.at(c) || !sameScale(scale, first.scales.at(c))))
                    warnings.append(QStringLiteral("%1 gives slot %2 the units %3 and scale %4 where %5 "
                                                   "has %6 and %7; the first run's are used")
                                        .arg(capitalized(thisRun), slot.objectName + '.' + slot.slotName,
                                             units, QString::number(scale), runName(0, context.firstTrace),
                                             first.units.at(c), QString::number(first.scales.at(c))));
            }
            Column* column = nullptr;
            if (valuesKept)
                column = &slotValues->emplaceBack();
            else if (slotValues)
                slotValues->emplaceBack();
            if (!readColumnValues(reader, valueCount, column, context.unreadable))
                return located(QString::fromLatin1(slotPreambleFailure), reader, thisRun, &slot);
            // A value line too few or too many would shift every later value and line
            // of the file: the closing lines must stand where the count says.
            if (!isKeyword(reader.readLine(), "END_COLUMN"))
                return located(fileFailure(valueCountFailure(slot, thisRun, valueCount)), reader, QString(),
                               nullptr);
        }
        if (!isKeyword(reader.readLine(), "END_SLOT"))
            return located(fileFailure(valueCountFailure(slot, thisRun, valueCount)), reader, QString(),
                           nullptr);
        if (r == 0)
            slots.append(slot);
    }
    reader.readLine(); // "END_RUN"
    // Only the first run's slots are converted: a later run's other slots are noted.
    if (r > 0 && position > slots.size())
        warnings.append(
            QStringLiteral("%1 has %2 than %3, from slot %4 (line %5) on; %6 not converted")
                .arg(capitalized(thisRun),
                     position - slots.size() == 1
                         ? QStringLiteral("1 slot more")
                         : QStringLiteral("%1 slots more").arg(position - slots.size()),
                     runName(0, context.firstTrace), firstExtra, QString::number(firstExtraLine),
                     position - slots.size() == 1 ? QStringLiteral("it is") : QStringLiteral("they are")));
    if (r > 0 && position < slots.size()) {
        const PvxSlot& missing = slots.at(position);
        warnings.append(QStringLiteral("%1 ends before slot %2 of %3 (line %4)%5; %6 left empty")
                            .arg(capitalized(thisRun), missing.objectName + '.' + missing.slotName,
                                 runName(0, context.firstTrace), QString::number(reader.lineNumber()),
                                 position + 1 < slots.size()
                                     ? QStringLiteral(" and %1 more").arg(slots.size() - position - 1)
                                     : QString(),
                                 position + 1 < slots.size() ? QStringLiteral("their cells are")
                                                             : QStringLiteral("its cells are")));
    }
    return WriteStatus();
}

WriteStatus PvxPackage::keepOnly(const PvxSelection& selection) {
    QList<qsizetype> keptPositions;
    for (qsizetype position = 0; position < slots.size(); ++position) {
        const PvxSlot& slot = slots.at(position);
        if (!slot.isSeries())
            continue;
        const qint32 number = qint32(fileSeriesObjects.size());
        fileSeriesObjects.append(slot.objectName);
        fileSeriesSlots.append(slot.slotName);
        if (selection.choosesSlot(number, slot.objectName, slot.slotName)) {
            keptPositions.append(position);
            seriesNumbers.append(number);
        }
    }
    for (qint32 r = 0; r < numberOfRuns; ++r)
        if (selection.choosesRun(r))
            runNumbers.append(r);

    // A selection of one kind alone leaves the other whole, even where the study has none.
    if (seriesNumbers.isEmpty() && !selection.choosesAllSlots())
        return QStringLiteral("The slot selection \"%1\" matches none of the study's %2 series slots; "
                              "use --list to see them")
            .arg(selection.slotText())
            .arg(fileSeriesObjects.size());
    if (runNumbers.isEmpty() && !selection.choosesAllRuns())
        return QStringLiteral("The run selection \"%1\" matches none of the study's %2 runs; "
                              "use --list to see them")
            .arg(selection.runText())
            .arg(numberOfRuns);
    for (const QString& item : selection.slotItemsMatchingNothing(fileSeriesObjects, fileSeriesSlots))
        warnings.append(QStringLiteral("The slot selection's \"%1\" matches no series slot").arg(item));
    for (const QString& item : selection.runItemsMatchingNothing(numberOfRuns))
        warnings.append(QStringLiteral("The run selection's \"%1\" matches no run").arg(item));

    QList<PvxSlot> keptSlots;
    for (const qsizetype position : std::as_const(keptPositions))
        keptSlots.append(slots.at(position));
    slots = keptSlots;
    for (RunValues& runValues : values) {
        RunValues kept;
        for (const qsizetype position : std::as_const(keptPositions))
            kept.append(position < runValues.size() ? std::move(runValues[position]) : SlotValues());
        runValues = std::move(kept);
    }
    fileRunCount = numberOfRuns;
    numberOfRuns = qint32(runNumbers.size());
    return WriteStatus();
}
