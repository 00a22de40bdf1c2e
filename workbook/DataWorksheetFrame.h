#pragma once

#include "VariantBlock.h"
#include "WriteStatus.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ConversionObserver;
class ExcelCom;
class PvxPackage;

// Headings along one edge of a data worksheet, built once for all worksheets.
struct HeadingLine {
    std::unique_ptr<VariantBlock> block;
    QString format;
    // Labels that, in a worksheet that exists already, must stand where they are written or
    // find their cells empty (see SelectionPlaces.h); empty when they may go anywhere.
    QStringList labelsThatMustStand;
};

// The labels of one dimension as a heading line: down the rows (one column) or across
// the columns (one row). Timestep headings are serials shown through the date format.
HeadingLine timestepHeadings(const QList<double>& serials, const QString& dateFormat, bool down);
// mustStand for the labels of a selection that leaves runs or slots out.
HeadingLine labelHeadings(const QStringList& labels, bool down, bool mustStand);

// What the data worksheets of one arrangement look like: one worksheet per name, each
// with a corner cell, row headings from A2, column headings from B1 and data from B2.
struct DataWorksheetPlan {
    QStringList worksheetNames;
    QString cornerFormat;
    const HeadingLine* rowHeadings = nullptr;
    const HeadingLine* columnHeadings = nullptr;
    // The headings of the dimension that decides the arrangement go first.
    bool rowHeadingsFirst = false;
    std::function<void(int worksheet, VariantBlock& corner)> fillCorner;
    // Fills the rows of the data that start at data row firstRow (counting from 1): a big
    // worksheet is written in bands of rows, so that progress and a stop come between them.
    std::function<void(int worksheet, VariantBlock& data, int firstRow)> fillData;
    // Asked before every worksheet and before the save; true ends the writing there.
    std::function<bool()> stopRequested;
    // Asked right before the save; a message ends the writing there. May be null.
    std::function<WriteStatus()> beforeSave;
    // Told of every worksheet and of the save; may be null.
    ConversionObserver* observer = nullptr;
    // Where the worksheets that hold cells right beside their new table are named; may be null.
    QStringList* leftovers = nullptr;
};

// Writes every worksheet of the plan with four range writes each, then saves once.
// Returns the first failure's message.
WriteStatus writeDataWorksheets(ExcelCom& connection, const QString& workbookPath,
                                const DataWorksheetPlan& plan);

// Package indices of the series slots, in order, at most limit of them.
QList<int> seriesSlotIndices(const PvxPackage& package, qsizetype limit);

// Puts one series into a data block that holds the data rows from firstRow on: down the given
// column when timestepsDown, else across the given row. Values beyond count are not placed;
// missing ones stay empty.
void placeSeries(VariantBlock& data, bool timestepsDown, int line, const QList<double>& values, int count,
                 int firstRow);

// Whether data row row (counting from 1) lies in the block that holds the rows from firstRow on.
inline bool rowInBand(const VariantBlock& data, int row, int firstRow) {
    return row >= firstRow && row < firstRow + data.rows();
}
