#pragma once

#include "WriteStatus.h"

#include <QString>

// The address of the help page in the folder holding the executable, put in double
// quotes when it holds white space so that it stays one argument on a command line.
QString helpPageAddress(const QString& executableFolder);

// Opens the address in the desktop's default browser. Surrounding double quotes are
// dropped first: they only serve a command line. Always returns an empty message; a
// failed launch shows nothing.
WriteStatus openInBrowser(const QString& url);
