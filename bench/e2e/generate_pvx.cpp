// Writes a PVX study of R runs x S series slots x T daily timesteps, for the end-to-end
// benchmark. Usage: generate_pvx <runs> <slots> <timesteps> <output.pvx>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Civil date of a day count from 1970-01-01.
void civilFromDays(long z, int& year, unsigned& month, unsigned& day) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe) + static_cast<int>(era) * 400 + (month <= 2);
}

// The end of day d (counted from 2000-01-01) as a PVX date text.
std::string endOfDay(long d) {
    int year;
    unsigned month, day;
    civilFromDays(10957 + d, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%d-%u-%u 24:00", year, month, day);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <runs> <slots> <timesteps> <output.pvx>\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const int slots = std::atoi(argv[2]);
    const int steps = std::atoi(argv[3]);
    std::FILE* out = std::fopen(argv[4], "w");
    if (!out) {
        std::perror(argv[4]);
        return 1;
    }
    static char buffer[1 << 20];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

    std::fprintf(out,
                 "name:Benchmark study\nowner:bench\ndescription:generated for the benchmark\n"
                 "create_date:2024-1-1 12:00\nnumber_of_runs:%d\nEND_PACKAGE_PREAMBLE\n",
                 runs);
    unsigned long state = 12345;
    for (int r = 0; r < runs; ++r) {
        std::fprintf(out,
                     "trace:%d\nstart:%s\nend:%s\ntime_step_unit:day\nunit_quantity:1\ntime_steps:%d\n"
                     "consecutive:1\nslot_set:Slots\nrule_set:Rules\nidx_sequential:1\nEND_RUN_PREAMBLE\n",
                     r + 1, endOfDay(0).c_str(), endOfDay(steps - 1).c_str(), steps);
        for (int t = 0; t < steps; ++t)
            std::fprintf(out, "%s\n", endOfDay(t).c_str());
        for (int s = 0; s < slots; ++s) {
            std::fprintf(out,
                         "object_type: Reservoir\nobject_name: Reservoir%d\nslot_type: SeriesSlot\n"
                         "slot_name: Storage\nEND_SLOT_PREAMBLE\nunits: acre-ft\nscale: 1\n",
                         s);
            for (int t = 0; t < steps; ++t) {
                state = state * 6364136223846793005UL + 1442695040888963407UL;
                const double value = static_cast<double>(state >> 40) / 16.0;
                std::fprintf(out, "%.4f\n", value);
            }
            std::fputs("END_COLUMN\nEND_SLOT\n", out);
        }
        std::fputs("END_RUN\n", out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
