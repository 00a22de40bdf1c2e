#pragma once
// Reads a saved workbook back through an independent reader (openpyxl under Debian's
// python3) and gives it as JSON: {"sheets": [{"name": ..., "cells": {"A1": {"value",
// "type", "bold", "format"}}}]}.

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QtTest>

inline QJsonObject readWorkbookIndependently(const QString& path) {
    QProcess python;
    python.start(QStringLiteral(GRIDWELL_PYTHON_PATH), {QStringLiteral(GRIDWELL_DUMP_SCRIPT), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("openpyxl could not read %s: %s", qPrintable(path),
                 python.readAllStandardError().constData());
        return QJsonObject();
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

inline QStringList sheetNames(const QJsonObject& workbook) {
    QStringList names;
    for (const QJsonValue& sheet : workbook.value(QStringLiteral("sheets")).toArray())
        names << sheet.toObject().value(QStringLiteral("name")).toString();
    return names;
}

inline QJsonObject sheetCells(const QJsonObject& workbook, const QString& name) {
    for (const QJsonValue& sheet : workbook.value(QStringLiteral("sheets")).toArray()) {
        if (sheet.toObject().value(QStringLiteral("name")).toString() == name)
            return sheet.toObject().value(QStringLiteral("cells")).toObject();
    }
    return QJsonObject();
}
