#pragma once
// The in-process spreadsheet server: registers the class "Excel.Application" with the OLE
// class registry, so that CoCreateInstance gives an automation object on the workbook file
// engine. Test seams, read from the environment:
//   GRIDWELL_SPREADSHEET_VERSION      Version text reported instead of "16.0" (read at creation)
//   GRIDWELL_SPREADSHEET_UNREGISTERED=1  registration leaves the class unregistered
//   GRIDWELL_SPREADSHEET_CREATE_FAILS=1  the class is registered but creation fails

#include <functional>
#include <string>

// Registers the server (or, under the unregistered seam, removes any registration). Called once
// at start-up; calling it again re-reads the seams.
void registerSpreadsheetServer();
// Removes the registration.
void unregisterSpreadsheetServer();
// Server objects (application, workbooks, worksheets, ranges, ...) still referenced.
long spreadsheetServerLiveObjects();
// Where the server's notes for the program's log go: what a save did to the user's file besides
// what was asked (a stale older copy inside it left out). Without a handler they are dropped.
void setSpreadsheetServerNotes(std::function<void(const std::string&)> handler);
