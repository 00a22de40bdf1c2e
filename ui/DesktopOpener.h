#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QObject;

namespace UtilsNS {

// What the exit status of xdg-open, the desktop's opener, means for the user; empty for 0.
QString openerFailure(int exitStatus);

// Opens the address with the desktop's opener and reports through done once the opener has
// ended (on Linux, xdg-open, whose exit status tells whether anything opened it). The opener
// belongs to context: done is never called after context is gone.
void openWithDesktop(const QUrl& url, QObject* context, const std::function<void(const QString&)>& done);

} // namespace UtilsNS
