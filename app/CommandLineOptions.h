#pragma once

#include <QString>
#include <QStringList>

// What the options of one command-line run say.
struct CommandLineOptions {
    QString inputPath;
    QString outputPath;
    QString logPath;
    QString namePreference;
    int arrangement = -1; // -1: not given
    // "--list" gives "text", "--list=json" "json"; empty converts.
    QString listFormat;
    // Every --slots and --runs text, in order.
    QStringList slotSelections;
    QStringList runSelections;
    // For an invalid usage: the option (as given) that was not followed by its value.
    QString optionWithoutValue;
};

enum class CommandLineRequest { Convert, Help, Version, InvalidUsage };

// Walks the arguments after the program name. An option letter takes the next argument
// that does not begin with "-" as its value, and one that is followed by another option or
// by nothing is an invalid usage; -h and -v end the walk at once. A long option
// ("--slots", "--runs") takes its value after "=" or from the next argument, whatever it is.
CommandLineRequest parseCommandLine(const QStringList& arguments, CommandLineOptions& options);

// The usage text that -h prints, one entry per line.
QStringList usageLines();
