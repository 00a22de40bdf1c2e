#include "ControlDescriptions.h"

#include "ui_GridwellDlg.h"

#include <utility>

void describeControls(Ui::GridwellDlg& form) {
    // Names as a screen reader says them, without mnemonics; descriptions say what the control does.
    const std::pair<QWidget*, std::pair<const char*, const char*>> controls[] = {
        {form._sourcePvxFrame, {"Source PVX file", "The PVX file of simulation results to convert"}},
        {form._sourcePvxLineEdit,
         {"Source PVX file path", "Path of the PVX file to convert; a dropped file puts its path here"}},
        {form._sourcePvxButton, {"Select source PVX file", "Opens a dialog to choose the PVX file"}},
        {form._orientationFrame,
         {"Result workbook", "The workbook to write, and how to lay out the results"}},
        {form._resultWorkbookLineEdit,
         {"Result workbook path", "Path of the workbook to write; an existing workbook is updated"}},
        {form._resulWorkbookButton, {"Select result workbook", "Opens a dialog to choose the workbook"}},
        {form._configGroupBox, {"Workbook orientation", "What lies on rows, columns and worksheets"}},
        {form._configurationComboBox,
         {"Arrangement", "Rows / Columns / Worksheets: which of timesteps, slots and runs lies on each"}},
        {form._alternateNameCheckBox,
         {"Use automatically shortened slot names",
          "Labels slots in the data worksheets with short names instead of full ones"}},
        {form._slotLabelGroupBox,
         {"Slot labels for sheet tabs", "How worksheets named after slots are labelled"}},
        {form._indexNameRadioButton, {"Slot index labels", "Worksheets named Slot0, Slot1 and so on"}},
        {form._completeNameRadioButton,
         {"Slot names from the PVX file", "Worksheets named after object and slot, cut to 31 characters"}},
        {form._altNameRadioButton,
         {"Automatically shortened slot names", "Worksheets named after object and slot, shortened"}},
        {form._okButton,
         {"Create workbook", "Converts the source into the workbook; while converting, stops"}},
        {form._diagButton, {"Show diagnostics", "Opens the window of log messages"}},
        {form._helpButton, {"Help", "Opens the user guide in the browser"}},
        {form._cancelButton, {"Cancel", "Closes the program; a conversion still running is stopped"}},
    };
    for (const auto& [widget, texts] : controls) {
        widget->setAccessibleName(QString::fromUtf8(texts.first));
        widget->setAccessibleDescription(QString::fromUtf8(texts.second));
    }
}
