#pragma once

class ExcelWrite;

// One command-line conversion: options, paths, the log file and the writer. Returns the
// exit status, 0 or 1.
int runCommandLine(int argc, char** argv, ExcelWrite& writer);
