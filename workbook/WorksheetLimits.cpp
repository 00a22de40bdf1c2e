#include "WorksheetLimits.h"

#include "CutNames.h"
#include "ExcelWrite.h"
#include "PvxModel.h"
#include "SlotWorksheetNames.h"
#include "WorkbookTypes.h"

#include <QLocale>

#include <array>

namespace {

enum Dimension { Timesteps, Slots, Runs };

const char* const dimensionNames[] = {"timesteps", "slots", "runs"};

struct Counts {
    std::array<qint64, 3> of{}; // by Dimension
};

// Where each dimension lies, by Dimension, for the arrangement of the given roles.
using Roles = std::array<int, 3>;

const Roles arrangementRoles[] = {
    {Rows, Columns, Sheets}, {Rows, Sheets, Columns}, {Columns, Rows, Sheets},
    {Sheets, Rows, Columns}, {Columns, Sheets, Rows}, {Sheets, Columns, Rows},
};

QString number(qint64 value) {
    return QLocale(QLocale::English).toString(value);
}

int dimensionWith(const Roles& roles, int role) {
    for (int d = 0; d < 3; ++d)
        if (roles[d] == role)
            return d;
    return -1;
}

struct Overflow {
    bool rows = false; // else columns
    qint64 needed = 0;
    int dimension = -1;
};

// The first overflow of a data worksheet in this arrangement, if any.
bool dataOverflow(const Roles& roles, const Counts& counts, const WorksheetLimits& limits,
                  Overflow& overflow) {
    const int onRows = dimensionWith(roles, Rows);
    const int onColumns = dimensionWith(roles, Columns);
    const int onSheets = dimensionWith(roles, Sheets);
    if (onRows < 0 || onColumns < 0 || onSheets < 0 || counts.of[onSheets] == 0)
        return false;
    const qint64 columns = 1 + counts.of[onColumns];
    const qint64 rows = 1 + counts.of[onRows];
    if (columns > limits.columns) {
        overflow = {false, columns, onColumns};
        return true;
    }
    if (rows > limits.rows) {
        overflow = {true, rows, onRows};
        return true;
    }
    return false;
}

QString placeOf(int role) {
    switch (role) {
    case Rows:
        return QStringLiteral("in rows");
    case Columns:
        return QStringLiteral("in columns");
    default:
        return QStringLiteral("on worksheets of their own");
    }
}

// An arrangement that fits, preferring one that puts the dimension that overflowed in rows
// (a worksheet holds far more rows than columns), then in columns, then on worksheets.
QString suggestion(const Counts& counts, const WorksheetLimits& limits, int dimension) {
    for (int role : {Rows, Columns, Sheets}) {
        for (int arrangement = 0; arrangement < 6; ++arrangement) {
            Overflow ignored;
            if (arrangementRoles[arrangement][dimension] == role &&
                !dataOverflow(arrangementRoles[arrangement], counts, limits, ignored))
                return QStringLiteral(" Arrangement %1 puts the %2 %3.")
                    .arg(arrangement)
                    .arg(QLatin1String(dimensionNames[dimension]))
                    .arg(placeOf(role));
        }
    }
    return QStringLiteral(" No arrangement fits the study into worksheets of this format.");
}

// The name of the first data worksheet of the arrangement, for the message.
QString firstWorksheetName(const PvxPackage& package, int onSheets, int slotLabelPreference) {
    if (onSheets == Runs)
        return QStringLiteral("Run%1").arg(package.runNumber(0));
    if (onSheets == Timesteps)
        return QStringLiteral("Time0");
    for (const PvxSlot& slot : package.slots) {
        if (!slot.isSeries())
            continue;
        const QString fullName = slot.objectName + slot.slotName;
        const QString indexLabel = QStringLiteral("Slot%1").arg(package.seriesNumber(0));
        QString label = indexLabel;
        if (slotLabelPreference == Full)
            label = fullName;
        else if (slotLabelPreference == Short)
            label = ExcelWrite().shortenSlotName(fullName);
        const QString name = worksheetNameFrom(label, indexLabel);
        return name.size() < 32 ? name : leftWhole(name, 30) + QLatin1Char('~');
    }
    return QString();
}

QString textOverflow(const QString& what, const QString& text, const QString& worksheet,
                     const WorksheetLimits& limits) {
    return QStringLiteral(
               "The study needs %1 characters in one cell on worksheet \"%2\" (%3); a cell holds at "
               "most %4.")
        .arg(number(text.size()), worksheet, what, number(limits.textLength));
}

} // namespace

WorksheetLimits worksheetLimitsFor(const QString& workbookPath) {
    if (workbookPath.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive))
        return {65536, 256, 32767};
    return {1048576, 16384, 32767};
}

StudyShape studyShapeOf(const PvxPackage& package) {
    StudyShape shape;
    shape.runs = qMax<qint64>(package.numberOfRuns, 0);
    for (const PvxSlot& slot : package.slots)
        shape.seriesSlots += slot.isSeries() ? 1 : 0;
    shape.timesteps = package.runs.isEmpty() ? 0 : package.runs.first().timestamps.size();
    return shape;
}

WriteStatus checkWorksheetLimits(const PvxPackage& package, int timestepRole, int slotRole, int runRole,
                                 int slotLabelPreference, const WorksheetLimits& limits) {
    const StudyShape shape = studyShapeOf(package);
    Counts counts;
    counts.of[Runs] = shape.runs;
    counts.of[Slots] = shape.seriesSlots;
    counts.of[Timesteps] = shape.timesteps;

    const QString header = QStringLiteral("Header");
    // "Header": three heading rows and one per run, a heading row and one per slot, a
    // heading row and one per timestep.
    const qint64 headerRows = 5 + counts.of[Runs] + counts.of[Slots] + counts.of[Timesteps];
    if (headerRows > limits.rows)
        return QStringLiteral("The study needs %1 rows on worksheet \"%2\"; a worksheet holds at most %3.")
            .arg(number(headerRows), header, number(limits.rows));

    const Roles roles = {timestepRole, slotRole, runRole};
    // "Header" and a worksheet for each entry of the dimension on worksheets.
    const int onSheets = dimensionWith(roles, Sheets);
    const qint64 worksheets = onSheets < 0 ? 1 : 1 + counts.of[onSheets];
    if (worksheets > limits.worksheets)
        return QStringLiteral(
                   "The study needs %1 worksheets; a workbook holds at most %2. Choose an arrangement "
                   "that puts fewer of them on worksheets.")
            .arg(number(worksheets), number(limits.worksheets));
    Overflow overflow;
    if (dataOverflow(roles, counts, limits, overflow)) {
        const QString worksheet =
            firstWorksheetName(package, dimensionWith(roles, Sheets), slotLabelPreference);
        return QStringLiteral("The study needs %1 %2 on worksheet \"%3\"; a worksheet holds at most %4.")
                   .arg(number(overflow.needed),
                        overflow.rows ? QStringLiteral("rows") : QStringLiteral("columns"), worksheet,
                        number(overflow.rows ? limits.rows : limits.columns)) +
               suggestion(counts, limits, overflow.dimension);
    }

    // Texts: the package's and the runs' on "Header", the slots' on "Header" and, as full
    // names, on the data worksheets.
    const auto tooLong = [&](const QString& text) { return text.size() > limits.textLength; };
    const std::pair<QString, const QString*> packageTexts[] = {
        {QStringLiteral("the package name"), &package.name},
        {QStringLiteral("the package owner"), &package.owner},
        {QStringLiteral("the package description"), &package.description},
    };
    for (const auto& [what, text] : packageTexts)
        if (tooLong(*text))
            return textOverflow(what, *text, header, limits);
    for (qsizetype r = 0; r < package.runs.size(); ++r) {
        const PvxRun& run = package.runs.at(r);
        for (const QString* text : {&run.timeStepUnit, &run.ruleSet, &run.slotSet})
            if (tooLong(*text))
                return textOverflow(QStringLiteral("a text of run %1").arg(r), *text, header, limits);
    }
    const bool fullNamesShown = slotLabelPreference == Full || slotRole == Sheets;
    for (const PvxSlot& slot : package.slots) {
        if (!slot.isSeries())
            continue;
        const QString what =
            QStringLiteral("slot %1%2").arg(slot.objectName.left(40), slot.slotName.left(40));
        for (const QString& text :
             {slot.objectType, slot.objectName, slot.slotName, slot.units.value(0), slot.methods.value(0)})
            if (tooLong(text))
                return textOverflow(what, text, header, limits);
        const QString fullName = slot.objectName + slot.slotName;
        if (fullNamesShown && tooLong(fullName)) {
            const QString worksheet =
                firstWorksheetName(package, dimensionWith(roles, Sheets), slotLabelPreference);
            return textOverflow(QStringLiteral("the full name of ") + what, fullName, worksheet, limits);
        }
    }
    return WriteStatus();
}
