#include "CutNames.h"

#include <algorithm>

namespace {
const int cutLength = 30;
const QChar cutMark = QLatin1Char('~');
} // namespace

QString leftWhole(const QString& text, int count) {
    if (count < text.size() && count > 0 && text.at(count - 1).isHighSurrogate())
        --count;
    return text.left(count);
}

CutNames::CutNames(Comparison comparison) : _comparison(comparison) {}

QString CutNames::key(const QString& name) const {
    return _comparison == IgnoringCase ? name.toCaseFolded() : name;
}

void CutNames::add(const QString& name) {
    _given.insert(key(name));
    ++_count;
}

bool CutNames::contains(const QString& name) const {
    return _given.contains(key(name));
}

QString CutNames::cutDistinct(const QString& longName) {
    return distinct(longName, leftWhole(longName, cutLength) + cutMark);
}

QString CutNames::countedDistinct(const QString& name) {
    return distinct(name, QString());
}

QString CutNames::distinct(const QString& longName, QString candidate) {
    if (candidate.isEmpty() || contains(candidate)) {
        // Candidates depend on the name only through its first 30 units, so names with the
        // same beginning share where the search goes on.
        int& counter = _nextCounter[key(leftWhole(longName, cutLength))];
        counter = std::max(counter, 1);
        do {
            candidate = leftWhole(QString::number(counter) + longName, cutLength) + cutMark;
            ++counter;
        } while (contains(candidate));
    }
    add(candidate);
    return candidate;
}
