#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// Names that must fit a worksheet name: a name of 32 UTF-16 units or more is cut to its
// first 30 and marked with "~"; a cut name that is already given gets a counter k in front
// (k, then the name, cut to 30, then "~"), k counting from 1 until the name is free. A cut
// never splits a surrogate pair.
//
// Remembers every name given, so that thousands of names sharing their first 30 units
// cost a lookup each instead of a walk over all counters and names before them.
class CutNames {
public:
    enum Comparison { CaseSensitive, IgnoringCase };

    explicit CutNames(Comparison comparison);

    void add(const QString& name);
    bool contains(const QString& name) const;
    int size() const { return _count; }
    // The cut form of a long name, different from every name given so far; recorded.
    QString cutDistinct(const QString& longName);
    // The counted form of a name that is taken as it stands; recorded.
    QString countedDistinct(const QString& name);

private:
    QString distinct(const QString& longName, QString candidate);
    QString key(const QString& name) const;

    Comparison _comparison;
    QSet<QString> _given;
    // By the key of a name's first 30 units: every counter below the stored one gives a
    // name already taken, for every long name with that beginning.
    QHash<QString, int> _nextCounter;
    int _count = 0;
};

// What worksheet names are compared by, ignoring case as every reader does.
QString sheetNameKey(const QString& name);

// The first count UTF-16 units of text, one fewer when the cut would split a surrogate pair.
QString leftWhole(const QString& text, int count);
