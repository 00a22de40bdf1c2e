#pragma once

// Where one dimension of the data (timesteps, slots, runs) lies in the workbook.
enum DimensionRole { Rows = 0, Columns = 1, Sheets = 2, Unset = 3 };

// The six arrangements, numbered as the -a option lists them and ordered as the
// window's arrangement box shows them (rows / columns / worksheets).
enum Orientation {
    TimestepsSlotsRuns = 0,
    TimestepsRunsSlots = 1,
    SlotsTimestepsRuns = 2,
    SlotsRunsTimesteps = 3,
    RunsTimestepsSlots = 4,
    RunsSlotsTimesteps = 5
};

// How slots are labelled in the data worksheets.
enum SlotLabelPreference { Index = 0, Short = 1, Full = 2 };
