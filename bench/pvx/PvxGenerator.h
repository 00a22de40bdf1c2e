#pragma once

#include <string>

// Parameters of a generated PVX study.
struct PvxStudyShape {
    int runs = 1;
    int slots = 10;
    int timesteps = 365;
    // Hours between timesteps: 24 for daily steps, 6 for six-hourly ones.
    int stepHours = 24;
    // Add a table slot and a scalar slot among the series slots.
    bool otherSlotKinds = true;
    // Object names that agree in their first 40 characters, so that worksheet names made from
    // them collide and are told apart by numbers.
    bool collidingNames = false;
    // Above 0: object names carry this model version ("Cedar Lake 3 v2"), as successive studies
    // of one model do.
    int nameVersion = 0;
};

// Writes a realistic made-up PVX study of that shape to path; returns false on failure.
bool writePvxStudy(const std::string& path, const PvxStudyShape& shape);
