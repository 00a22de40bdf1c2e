#pragma once

#include "PvxSelection.h"
#include "WorkbookTypes.h"
#include "WriteStatus.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QDateTime;
class QIODevice;
class ConversionObserver;
class CutNames;
struct DataWorksheetPlan;
class ExcelCom;
class PvxPackage;

// The workbook writer: the settings of one conversion and the conversion itself (read
// the PVX file, start the spreadsheet application, write "Header" and the data
// worksheets, close the application).
class ExcelWrite {
public:
    ExcelWrite();
    virtual ~ExcelWrite();

    WriteStatus setSlotLabelPreference(SlotLabelPreference preference);
    WriteStatus setOrientation(int arrangement);
    WriteStatus setDevice(QIODevice* device);
    WriteStatus setWorkbookName(const QString& path);

    // The runs and series slots to convert; everything unless set.
    void setSelection(const PvxSelection& chosen) { selection = chosen; }
    const PvxSelection& selectionValue() const { return selection; }

    WriteStatus write();
    // What the last write converted of a selection ("Converting 12 of 2,000 series slots and
    // 100 of 100 runs"); empty when everything was converted or the study did not read.
    const QString& selectionSummary() const { return convertedSummary; }
    // What the last write read or found as it stood but the log should mention, one sentence each.
    const QStringList& warnings() const { return readWarnings; }
    // What the spreadsheet application said the last write's save did to the workbook besides
    // what was asked (a stale older copy inside the file left out), one sentence each. The program
    // passes them on with noteFromSpreadsheet, on the thread that writes.
    const QStringList& saveNotes() const { return spreadsheetNotes; }
    void noteFromSpreadsheet(const QString& note) { spreadsheetNotes << note; }

    // Lets another thread or a signal handler end a conversion early: once *request is true,
    // the conversion stops before its next worksheet or its save and leaves the workbook as
    // it was. The flag must outlive the writer's conversions; null (the default) never stops.
    void setStopRequest(const std::atomic<bool>* request) { stopRequest = request; }
    bool stopRequested() const { return stopRequest && stopRequest->load(); }
    // What a stopped conversion returns.
    static QString stoppedMessage();

    // Who is told how the conversion goes; null (the default) for nobody. Not owned.
    void setObserver(ConversionObserver* observer) { conversionObserver = observer; }

    // Asks the spreadsheet application for its version: ".xlsx" from version 12 on, else ".xls".
    static WriteStatus defaultWorkbookExtension(QString& extension);

    // Composition steps, called by write in this order.
    WriteStatus writeHeaderWorksheet(ExcelCom& connection, const PvxPackage& package);
    WriteStatus writeRunWorksheets(ExcelCom& connection, const PvxPackage& package);
    WriteStatus writeSlotWorksheets(ExcelCom& connection, const PvxPackage& package);
    WriteStatus writeTimestepWorksheets(ExcelCom& connection, const PvxPackage& package);

    // Shortens a full slot name to fit a worksheet name and remembers it in shortSlotNames.
    QString shortenSlotName(const QString& fullName);

    // The workbook's 1900-system date serial of dateTime, one minute early on purpose.
    static double excelDateSerial(const QDateTime& dateTime);
    // The number format for every date cell, chosen from the first two timestep serials.
    static QString dateNumberFormatFor(const QList<double>& serials);

    int timestepRoleValue() const { return timestepRole; }
    int slotRoleValue() const { return slotRole; }
    int runRoleValue() const { return runRole; }
    int slotLabelPreferenceValue() const { return slotLabelPreference; }
    QIODevice* deviceValue() const { return device; }
    const QString& workbookPathValue() const { return workbookPath; }

private:
    // Starts the application, writes "Header" and the data worksheets, closes it.
    WriteStatus writeWorkbook(const PvxPackage& package);

    int timestepRole = Unset;
    int slotRole = Unset;
    int runRole = Unset;
    int slotLabelPreference = Index;
    QIODevice* device = nullptr;
    QString workbookPath;
    // What every data worksheet writer's plan shares: the stop request and the observer.
    DataWorksheetPlan newPlan();

    const std::atomic<bool>* stopRequest = nullptr;
    // What must still hold right before the workbook is replaced; set during write.
    std::function<WriteStatus()> beforeSave;

    QStringList readWarnings;
    // Worksheets of the last write that hold cells right beside their new table.
    QStringList leftoverCells;
    QStringList spreadsheetNotes;
    PvxSelection selection;
    QString convertedSummary;
    ConversionObserver* conversionObserver = nullptr;
    // The short names given, for fast distinct cuts.
    std::shared_ptr<CutNames> shortNameCuts;

public:
    // Composition lists: filled by writeHeaderWorksheet, read by the data worksheet steps.
    QStringList runLabels;
    QStringList slotIndexLabels;
    QStringList slotLabels;
    QStringList shortSlotNames;
    QStringList fullSlotNames;
    QStringList timestepLabels;
    QList<double> timestepSerials;
    QString dateNumberFormat;
};
