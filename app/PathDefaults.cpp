#include "PathDefaults.h"

#include <algorithm>

QString withExtension(const QString& path, const QString& extension) {
    const int lastSeparator = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const int lastStop = path.lastIndexOf(u'.');
    const int cut = lastStop > lastSeparator ? lastStop : path.size();
    return path.left(cut) + extension;
}
