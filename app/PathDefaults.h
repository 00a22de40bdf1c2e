#pragma once

#include <QString>

// path with the extension of its file name replaced by extension (which includes its
// full stop). Only a full stop in the file name counts, never one in a folder name; a
// file name without one gets the extension appended.
QString withExtension(const QString& path, const QString& extension);
