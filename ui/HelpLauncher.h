#pragma once

#include <QString>

#include <functional>

class QObject;

// The help page: "Help-Gridwell/GridwellHelp.html" beside the executable, else in the
// installed data folder ("../share/gridwell" from the executable's folder); empty when
// neither exists.
QString helpPagePath(const QString& executableFolder);

// The page's address by the platform's file-URL rules ("file:///path" on Linux,
// "file:///C:/path" on Windows), in double quotes when it holds white space.
QString helpPageAddress(const QString& pagePath);

// Hands the address to the desktop's browser; done receives an empty text once it opened,
// else the reason it did not (never after context is gone).
void openInBrowser(const QString& url, QObject* context, const std::function<void(const QString&)>& done);
