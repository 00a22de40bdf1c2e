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
} // namespace

CommandLineRequest parseCommandLine(const QStringList& arguments, CommandLineOptions& options) {
    QChar pending;
    for (const QString& argument : arguments) {
        if (argument.startsWith(u'-')) {
            const QChar letter = argument.size() > 1 ? argument.at(1) : QChar();
            switch (letter.unicode()) {
            case u'a':
            case u'i':
            case u'l':
            case u'n':
            case u'o':
                pending = letter;
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
        QString(),
    };
}
