#pragma once

#include "WriteStatus.h"

#include <QString>

// The help page: "Help-Gridwell/GridwellHelp.html" beside the executable, else in the
// installed data folder ("../share/gridwell" from the executable's folder); empty when
// neither exists.
QString helpPagePath(const QString& executableFolder);

// The page's address by the platform's file-URL rules ("file:///path" on Linux,
// "file:///C:/path" on Windows), in double quotes when it holds white space.
QString helpPageAddress(const QString& pagePath);

// Opens the address in the desktop's browser; the message says why it could not.
WriteStatus openInBrowser(const QString& url);
