#pragma once

class ExcelWrite;

// The logging steps of start-up, in both faces: the level type known to Qt's meta-type
// system, the logger at Trace, and the destination that feeds the diagnostics window.
void startLogging();

// The main window around the writer, until it closes. Returns the exit status, 0.
int runWindowMode(ExcelWrite& writer);
