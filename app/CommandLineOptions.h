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
};

enum class CommandLineRequest { Convert, Help, Version, InvalidUsage };

// Walks the arguments after the program name. An option letter takes the next argument
// that does not begin with "-" as its value; -h and -v end the walk at once.
CommandLineRequest parseCommandLine(const QStringList& arguments, CommandLineOptions& options);

// The usage text that -h prints, one entry per line.
QStringList usageLines();
