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

namespace {
// Each character in its simple lower case, as the spreadsheet compares names (İ is i, the Kelvin
// sign k, ẞ ß).
QString simpleLowerCase(const QString& text) {
    const QList<uint> points = text.toUcs4();
    QString lowered;
    lowered.reserve(points.size());
    for (const uint point : points) {
        char32_t lower = QChar::toLower(char32_t(point));
        // Qt leaves a capital whose full lower case is longer as it is; its simple lower case is
        // the first character of the full one (İ, i and a dot above).
        if (lower == point && QChar::isUpper(char32_t(point)))
            lower = QStringView(QChar::fromUcs4(lower)).toString().toLower().toUcs4().value(0, point);
        lowered.append(QChar::fromUcs4(lower));
    }
    return lowered;
}
} // namespace

// Worksheet names that some reader takes for one: the spreadsheet compares the simple lower case
// of each character, Gnumeric and LibreOffice compare full upper or folded case (ß is SS, ﬀ is
// FF, ı is I). The key is equal wherever the spreadsheet's comparison is, and wherever the full
// upper case of those lower cases is, so no two worksheets meet in any reader and the
// spreadsheet never finds one worksheet for another's name.
QString sheetNameKey(const QString& name) {
    return simpleLowerCase(simpleLowerCase(name).toUpper());
}

QString CutNames::key(const QString& name) const {
    return _comparison == IgnoringCase ? sheetNameKey(name) : name;
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
