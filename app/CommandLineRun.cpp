#include "CommandLineRun.h"

#include "CommandLineOptions.h"
#include "ConsoleBuf.h"
#include "ExcelWrite.h"
#include "InterruptStop.h"
#include "ListingOutput.h"
#include "LogFileGuard.h"
#include "PathDefaults.h"
#include "PathSubstitution.h"
#include "PvxSelection.h"
#include "StudyListing.h"
#include "SystemPaths.h"
#include "Verbosity.h"
#include "Version.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

namespace {
// The command line's log file, also the target of Qt's own messages during a run.
QTextStream logStream;

void logQtMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (logStream.device())
        logStream << message << Qt::endl;
}

// Puts the console buffer under the standard streams for the life of this object, and
// gives them their own buffers back once it is gone.
class ConsoleStreams {
public:
    ConsoleStreams()
        : _console(std::make_unique<UtilsNS::consolebuf>()), _cout(std::cout.rdbuf(_console.get())),
          _cerr(std::cerr.rdbuf(_console.get())), _clog(std::clog.rdbuf(_console.get())) {}
    ~ConsoleStreams() {
        std::cout.flush();
        // Destroyed while still under std::cout, so an end-of-run prompt reaches the console.
        _console.reset();
        std::cout.rdbuf(_cout);
        std::cerr.rdbuf(_cerr);
        std::clog.rdbuf(_clog);
    }

private:
    std::unique_ptr<UtilsNS::consolebuf> _console;
    std::streambuf* _cout;
    std::streambuf* _cerr;
    std::streambuf* _clog;
};

// File names in messages come out as the bytes they were given as.
std::ostream& operator<<(std::ostream& stream, const QString& text) {
    return stream << encodeFileName(text).constData();
}

int fail(const QString& message) {
    std::cout << message << std::endl << std::endl;
    return 1;
}

int failWithDetail(const QString& message, const QString& detail) {
    std::cout << message << std::endl << detail << std::endl << std::endl;
    return 1;
}

// The -n option's value; false for one not known.
bool slotLabelPreferenceFrom(const QString& name, SlotLabelPreference& preference) {
    if (name.isEmpty() || name == QLatin1String("short") || name == QLatin1String("Short"))
        preference = Short;
    else if (name == QLatin1String("index") || name == QLatin1String("Index"))
        preference = Index;
    else if (name == QLatin1String("full") || name == QLatin1String("Full"))
        preference = Full;
    else
        return false;
    return true;
}

QString invalidNamePreference(const QString& name) {
    return QStringLiteral("Gridwell Error: Invalid name preference specified with -n option: ") + name;
}

// --list: what the study holds, on standard output; nothing is written.
int listStudy(QIODevice& input, const CommandLineOptions& options) {
    SlotLabelPreference preference;
    if (!slotLabelPreferenceFrom(options.namePreference, preference))
        return fail(invalidNamePreference(options.namePreference));
    StudyListing listing;
    const WriteStatus status = readStudyListing(input, preference, listing);
    if (!status.isEmpty())
        return failWithDetail(QStringLiteral("Gridwell Error: "), status);
    if (options.listFormat == QLatin1String("json")) {
        std::cout << listingJson(listing).constData();
    } else {
        for (const QString& line : listingText(listing))
            std::cout << line << '\n';
    }
    std::cout << std::flush;
    // A listing that did not arrive (a full disk, a closed pipe) is a failure a script must see;
    // standard output cannot carry the message, so it goes to standard error.
    if (!std::cout) {
        std::fputs("Gridwell Error: The listing could not be written to standard output\n", stderr);
        return 1;
    }
    return 0;
}

// The --slots and --runs texts as one selection; the first that does not parse fails.
WriteStatus selectionFrom(const CommandLineOptions& options, PvxSelection& selection) {
    for (const QString& text : options.slotSelections) {
        const WriteStatus status = selection.addSlots(text);
        if (!status.isEmpty())
            return status;
    }
    for (const QString& text : options.runSelections) {
        const WriteStatus status = selection.addRuns(text);
        if (!status.isEmpty())
            return status;
    }
    return WriteStatus();
}

// The log part of a run, once the log file is open: the head, the settings and the
// conversion itself. Every message goes to the log file alone.
int convert(ExcelWrite& writer, const CommandLineOptions& options, const QString& inputPath,
            const QString& workbookPath) {
    setVerboseLogging(true);
    logStream << Qt::endl
              << QDateTime::currentDateTime().toString(Qt::TextDate) << Qt::endl
              << "Input pvx file: " << Qt::endl
              << inputPath << Qt::endl
              << "Output Excel Workbook file: " << Qt::endl
              << workbookPath << Qt::endl;

    const int arrangement = options.arrangement == -1 ? TimestepsRunsSlots : options.arrangement;
    if (!writer.setOrientation(arrangement).isEmpty()) {
        logStream << QStringLiteral(
                         "Gridwell Error: Invalid workbook arrangement specified with -a option: %1")
                         .arg(arrangement)
                  << Qt::endl;
        return 1;
    }

    SlotLabelPreference preference;
    if (!slotLabelPreferenceFrom(options.namePreference, preference)) {
        logStream << invalidNamePreference(options.namePreference) << Qt::endl;
        return 1;
    }
    writer.setSlotLabelPreference(preference);

    const InterruptStop interruptStop;
    writer.setStopRequest(InterruptStop::request());
    const WriteStatus status = writer.write();
    writer.setStopRequest(nullptr);
    if (!writer.selectionSummary().isEmpty())
        logStream << "Gridwell: " << writer.selectionSummary() << Qt::endl;
    for (const QString& warning : writer.warnings())
        logStream << "Gridwell Warning: " << warning << Qt::endl;
    for (const QString& note : writer.saveNotes())
        logStream << "Gridwell: " << note << Qt::endl;
    if (status.isEmpty()) {
        logStream << "Gridwell: Workbook write successfully completed" << Qt::endl << Qt::endl;
        return 0;
    }
    logStream << "Gridwell Error: \n" << status << Qt::endl << Qt::endl;
    return 1;
}

int runWithConsole(int argc, char** argv, ExcelWrite& writer) {
    // Arguments are taken as file names are: a name that is not UTF-8 keeps its bytes.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(decodeFileName(argv[i]));

    CommandLineOptions options;
    switch (parseCommandLine(arguments, options)) {
    case CommandLineRequest::Help:
        for (const QString& line : usageLines())
            std::cout << line << std::endl;
        return 0;
    case CommandLineRequest::Version:
        std::cout << "Gridwell version " << versionText() << std::endl << std::endl;
        return 0;
    case CommandLineRequest::InvalidUsage:
        if (!options.optionWithoutValue.isEmpty())
            return fail(
                QStringLiteral("Gridwell: Invalid Usage: \"%1\" is not followed by its value. Use '-h' "
                               "for help.")
                    .arg(options.optionWithoutValue));
        return fail(QStringLiteral("Gridwell: Invalid Usage. Use '-h' for help."));
    case CommandLineRequest::Convert:
        break;
    }

    if (options.inputPath.isEmpty())
        return fail(QStringLiteral("Gridwell Error: Input PVX file must be specified with -i option"));
    QString inputPath;
    if (!substituteEnvironmentVariables(options.inputPath, inputPath).isEmpty())
        return failWithDetail(
            QStringLiteral("Gridwell Error: Input PVX path environment variables could not be substituted:"),
            options.inputPath);
    QFile input;
    if (QString error; !openFile(input, inputPath, QIODevice::ReadOnly | QIODevice::Text, error))
        return failWithDetail(
            QStringLiteral("Gridwell Error: Input pvx file could not be opened for reading:"), error);
    if (!options.listFormat.isEmpty())
        return listStudy(input, options);
    PvxSelection selection;
    if (const WriteStatus status = selectionFrom(options, selection); !status.isEmpty())
        return fail(QStringLiteral("Gridwell Error: ") + status);
    writer.setSelection(selection);
    writer.setDevice(&input);

    QString outputPath = options.outputPath;
    if (outputPath.isEmpty()) {
        QString extension;
        const WriteStatus status = ExcelWrite::defaultWorkbookExtension(extension);
        if (!status.isEmpty())
            return failWithDetail(QStringLiteral("Gridwell Error: Problem finding Excel version: "), status);
        outputPath = withExtension(inputPath, extension);
    }
    QString substitutedOutput;
    if (!substituteEnvironmentVariables(outputPath, substitutedOutput).isEmpty())
        return failWithDetail(
            QStringLiteral(
                "Gridwell Error: Output workbook path environment variables could not be substituted:"),
            outputPath);
    // A backslash separates folders, as it does for the workbook itself, so the default log
    // lands beside the workbook.
    const QString workbookPath = QDir::toNativeSeparators(substitutedOutput.replace(u'\\', u'/'));
    writer.setWorkbookName(workbookPath);

    QString logPath;
    if (options.logPath.isEmpty())
        logPath = withExtension(workbookPath, QStringLiteral(".log"));
    else if (!substituteEnvironmentVariables(options.logPath, logPath).isEmpty())
        return failWithDetail(
            QStringLiteral(
                "Gridwell Error: Output Log file path environment variables could not be substituted:"),
            options.logPath);
    QFile log;
    // Opening the log empties its file: never the input, the workbook or another workbook.
    QString refusal = logFileRefusal(logPath, inputPath, workbookPath);
    if (refusal.isEmpty())
        openFile(log, logPath, QIODevice::WriteOnly | QIODevice::Text, refusal);
    if (!refusal.isEmpty()) {
        std::cout << "Gridwell Error: Problem opening log file named " << logPath << ": " << std::endl
                  << refusal << std::endl
                  << std::endl;
        return 1;
    }

    logStream.setDevice(&log);
    const QtMessageHandler previousHandler = qInstallMessageHandler(logQtMessage);
    const int status = convert(writer, options, inputPath, workbookPath);
    logStream.flush();
    qInstallMessageHandler(previousHandler);
    logStream.setDevice(nullptr);
    return status;
}
} // namespace

int runCommandLine(int argc, char** argv, ExcelWrite& writer) {
#ifndef _WIN32
    // A closed pipe on standard output makes console writes fail quietly instead of
    // ending the process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    ConsoleStreams console;
    return runWithConsole(argc, argv, writer);
}
