#pragma once

namespace Ui {
class GridwellDlg;
}

// Accessible names and descriptions of the main window's controls, for screen readers.
void describeControls(Ui::GridwellDlg& form);
