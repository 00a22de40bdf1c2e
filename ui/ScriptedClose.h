#pragma once

class GridwellDlg;

// For the end-to-end test of closing the window during a conversion, which has no user to
// press keys: with the environment variable GRIDWELL_TEST_CLOSE_WHILE_CONVERTING set, the
// window presses "Create Workbook" once its event loop runs, and, as soon as the first data
// worksheet is being written, writes "closing" to standard error and closes itself.
// Without the variable it does nothing.
void scriptCloseWhileConverting(GridwellDlg* window);
