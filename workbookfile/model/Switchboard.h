#pragma once

// The switchboard: the one place that knows every codec (switchboard/Switchboard.cpp). The model
// asks it which codec opens a file, holds a worksheet the engine adds, saves a format, and what
// may be saved as what.

#include "Codec.h"

#include <string>

namespace workbookfile {

// Opens the file at wb.path by what its first bytes say it is: a zip package or a compound file.
void openFile(Workbook::Impl& wb, const OpenLimits& limits);
// Reads the package the workbook's parts make (an opened zip, or the parts of a new workbook):
// the type of its main part picks the codec.
void openPackage(Workbook::Impl& wb);
// The codec a save in that format writes.
const Codec& codecFor(FileFormat format);
// Adds the part of a worksheet the engine makes, named into part, and returns the codec it is
// held in until a save encodes it.
const Codec& addNewSheetPart(Workbook::Impl& wb, std::string& part);
// Throws Error when the workbook cannot be saved in that format: a workbook read from a file is
// saved in its own family of formats only. A new workbook may be saved in any.
void checkSaveFormat(const Workbook::Impl& wb, FileFormat target, const std::string& path);

} // namespace workbookfile
