#include "PvxGenerator.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
struct Date {
    int year, month, day, hour;
};

// The date of step t after 2000-01-01 00:00, written as the end of the previous day when
// it falls on midnight, as simulation tools do.
std::string dateLine(int t, int stepHours) {
    std::tm tm{};
    tm.tm_year = 100;
    tm.tm_mday = 1;
    tm.tm_hour = (t + 1) * stepHours;
    std::time_t seconds = timegm(&tm);
    int hour = static_cast<int>((seconds / 3600) % 24);
    if (hour == 0)
        seconds -= 24 * 3600;
    std::tm out{};
    gmtime_r(&seconds, &out);
    char text[40];
    std::snprintf(text, sizeof text, "%d-%d-%d %d:00", out.tm_year + 1900, out.tm_mon + 1, out.tm_mday,
                  hour == 0 ? 24 : hour);
    return text;
}

const char* const objects[] = {"Cedar Lake",         "Granite Reservoir",    "Reach: Upper Canyon",
                               "Lower Canyon Reach", "Pine Creek Diversion", "Bluewater Lake"};
const char* const slotNames[] = {"Pool Elevation", "Outflow",     "Storage",
                                 "Inflow",         "Evaporation", "Gain Loss"};
} // namespace

bool writePvxStudy(const std::string& path, const PvxStudyShape& shape) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    std::vector<std::string> dates;
    for (int t = 0; t < shape.timesteps; ++t)
        dates.push_back(dateLine(t, shape.stepHours));

    std::fprintf(file, "name:Generated study %dx%dx%d\nowner:Benchmarks\ndescription:Made-up values\n",
                 shape.runs, shape.slots, shape.timesteps);
    std::fprintf(file, "create_date:2023-3-5 7:30\nnumber_of_runs:%d\nEND_PACKAGE_PREAMBLE\n", shape.runs);
    for (int r = 0; r < shape.runs; ++r) {
        std::fprintf(file, "trace:%d\nstart:%s\nend:%s\ntime_step_unit:%s\nunit_quantity:1\ntime_steps:%d\n",
                     r + 1, dates.empty() ? "2000-1-1 24:00" : dates.front().c_str(),
                     dates.empty() ? "2000-1-1 24:00" : dates.back().c_str(),
                     shape.stepHours == 24 ? "day" : "hour", shape.timesteps);
        std::fputs("consecutive:1\nslot_set:Output\nrule_set:Rules\nidx_sequential:1\nEND_RUN_PREAMBLE\n",
                   file);
        for (const std::string& date : dates) {
            std::fputs(date.c_str(), file);
            std::fputc('\n', file);
        }
        for (int s = 0; s < shape.slots; ++s) {
            if (shape.otherSlotKinds && s == 1)
                std::fputs(
                    "object_name: Cedar Lake\nslot_type: TableSlot\nslot_name: Elevation Volume\nrows: 2\n"
                    "cols: 2\nEND_SLOT_PREAMBLE\n6000 0\n6100 1850000\nEND_SLOT\n",
                    file);
            if (shape.otherSlotKinds && s == 2)
                std::fputs("object_name: Cedar Lake\nslot_type: ScalarSlot\nslot_name: Minimum Pool\n"
                           "END_SLOT_PREAMBLE\nunits: ft\nscale: 1\n3490\nEND_COLUMN\nEND_SLOT\n",
                           file);
            if (shape.collidingNames)
                std::fprintf(file,
                             "object_type: Reservoir\nobject_name: Reservoir of the upper basin, gauged at "
                             "station %d\nslot_type: SeriesSlot\nslot_name: Outflow\n",
                             s);
            else
                std::fprintf(
                    file,
                    "object_type: Reservoir\nobject_name: %s %d%s\nslot_type: SeriesSlot\nslot_name: %s\n",
                    objects[s % 6], s / 6,
                    shape.nameVersion > 0 ? (" v" + std::to_string(shape.nameVersion)).c_str() : "",
                    slotNames[(s / 6 + s) % 6]);
            std::fputs("END_SLOT_PREAMBLE\nunits: acre-ft\nscale: 1000\n", file);
            const double base = 500.0 + 97.0 * s;
            for (int t = 0; t < shape.timesteps; ++t) {
                const double value =
                    base + 120.0 * std::sin(t / 30.0 + s) + 3.7 * r + 0.0137 * ((t * 7919 + s) % 1000);
                std::fprintf(file, "%.4f\n", value);
            }
            std::fputs("END_COLUMN\nEND_SLOT\n", file);
        }
        std::fputs("END_RUN\n", file);
    }
    return std::fclose(file) == 0;
}
