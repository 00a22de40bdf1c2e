#pragma once

#include <QString>

// The result of every fallible step of a conversion: empty on success, otherwise the
// message shown to the user or written to the log.
using WriteStatus = QString;
