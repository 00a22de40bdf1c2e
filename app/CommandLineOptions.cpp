#include "CommandLineOptions.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {
// The leading decimal number of text, as atoi reads it; 0 when there is none.
int leadingInteger(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    const long value = std::strtol(bytes.constData(), nullptr, 10);
    return static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, value)));
}

// Takes one long option's value into options; false for an option or value not known.
bool takeLongOption(const QString& name, const QString& value, CommandLineOptions& options) {
    if (name == QLatin1String("slots"))
        options.slotSelections.append(value);
    else if (name == QLatin1String("runs"))
        options.runSelections.append(value);
    else
        return false;
    return true;
}

// "--list" and "--list=FORMAT"; false for an unknown format.
bool takeListOption(const QString& argument, CommandLineOptions& options) {
    const QString format = argument.section(u'=', 1);
    if (argument == QLatin1String("--list") || format == QLatin1String("text"))
        options.listFormat = QStringLiteral("text");
    else if (format == QLatin1String("json"))
        options.listFormat = QStringLiteral("json");
    else
        return false;
    return true;
}
} // namespace

CommandLineRequest parseCommandLine(const QStringList& arguments, CommandLineOptions& options) {
    QChar pending;
    QString pendingArgument;
    QString pendingLong;
    // An option letter whose value never came: a typo ("-list" for "--list", "-o" with the path
    // left out) would otherwise convert with a default in its place, into a workbook not asked for.
    const auto valueMissing = [&] {
        options.optionWithoutValue = pendingArgument;
        return CommandLineRequest::InvalidUsage;
    };
    for (const QString& argument : arguments) {
        if (!pendingLong.isEmpty()) {
            takeLongOption(pendingLong, argument, options);
            pendingLong.clear();
            continue;
        }
        if (argument.startsWith(QLatin1String("--"))) {
            if (!pending.isNull())
                return valueMissing();
            const QString name = argument.mid(2).section(u'=', 0, 0);
            bool known = true;
            if (name == QLatin1String("list"))
                known = takeListOption(argument, options);
            else if (argument.contains(u'='))
                known = takeLongOption(name, argument.section(u'=', 1), options);
            else if (name == QLatin1String("slots") || name == QLatin1String("runs"))
                pendingLong = name;
            else
                known = false;
            if (!known)
                return CommandLineRequest::InvalidUsage;
            continue;
        }
        if (argument.startsWith(u'-')) {
            const QChar letter = argument.size() > 1 ? argument.at(1) : QChar();
            switch (letter.unicode()) {
            case u'a':
            case u'i':
            case u'l':
            case u'n':
            case u'o':
                if (!pending.isNull())
                    return valueMissing();
                pending = letter;
                pendingArgument = argument;
                break;
            case u'h':
                return CommandLineRequest::Help;
            case u'v':
                return CommandLineRequest::Version;
            default:
                return CommandLineRequest::InvalidUsage;
            }
            continue;
        }
        switch (pending.unicode()) {
        case u'a':
            options.arrangement = leadingInteger(argument);
            break;
        case u'i':
            options.inputPath = argument;
            break;
        case u'l':
            options.logPath = argument;
            break;
        case u'n':
            options.namePreference = argument;
            break;
        case u'o':
            options.outputPath = argument;
            break;
        default:
            return CommandLineRequest::InvalidUsage;
        }
        pending = QChar();
    }
    // A long option at the end without its value.
    if (!pendingLong.isEmpty())
        return CommandLineRequest::InvalidUsage;
    if (!pending.isNull())
        return valueMissing();
    return CommandLineRequest::Convert;
}

QStringList usageLines() {
    return {
        QStringLiteral("The Gridwell tool will take an PVX file and convert its data"),
        QStringLiteral("into an Excel workbook using user-specified congiguration options."),
        QString(),
        QStringLiteral("Usage: "),
        QStringLiteral("Gridwell <-i file> <-o file> <-l file> <-a number> <-n name> <-h> <-v>"),
        QStringLiteral("-i: This specifies the input pvx file (required)."),
        QStringLiteral("-o: This specifies the output Excel workbook (required)."),
        QStringLiteral("-l: This specifies the log file for messages."),
        QStringLiteral("    (will default to the workbook file name plus a .log file extension)"),
        QStringLiteral("-a: This number specifies the arrangement of the result workbook as follows:"),
        QStringLiteral("    0 - Rows = Timesteps Columns = Slots     Sheets = Runs"),
        QStringLiteral("    1 - Rows = Timesteps Columns = Runs      Sheets = Slots (default)"),
        QStringLiteral("    2 - Rows = Slots     Columns = Timesteps Sheets = Runs"),
        QStringLiteral("    3 - Rows = Slots     Columns = Runs      Sheets = Timesteps"),
        QStringLiteral("    4 - Rows = Runs      Columns = Timesteps Sheets = Slots"),
        QStringLiteral("    5 - Rows = Runs      Columns = Slots     Sheets = Timesteps"),
        QStringLiteral("-n: This specifies the slot naming option:"),
        QStringLiteral("    Full  - Full Object.Slot name"),
        QStringLiteral("    Short - Automatically shortened Object.Slot name (default)"),
        QStringLiteral("    Index - Index name of Slot0, Slot1, Slot2, etc. "),
        QStringLiteral("-h: This will print help information."),
        QStringLiteral("-v: This will print the version number."),
        QStringLiteral(
            "--list[=json]: Prints the study's runs and series slots (as JSON) and converts nothing."),
        QStringLiteral("--slots SELECTION: Converts only these slots: indices, ranges 0-9, Object.Slot "
                       "patterns with * ?."),
        QStringLiteral("--runs SELECTION: Converts only these runs: indices and ranges such as 0-9."),
        QString(),
    };
}
