// The benchmark's reference conversion: reads a PVX study with a plain parser and writes
// the same worksheets as the product (a header table and the data worksheets of
// arrangement 0 or 1) with libxlsxwriter. Usage: reference_xlsxwriter <in.pvx> <out.xlsx> <0|1>

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Slot {
    std::string objectName;
    std::string slotName;
    std::string slotType;
    std::vector<double> values;
};

struct Run {
    std::vector<std::string> timestamps;
    std::vector<Slot> slots;
    int timeSteps = 0;
};

bool startsWith(const std::string& line, const char* key) {
    return line.compare(0, std::strlen(key), key) == 0;
}

std::string trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const auto last = line.find_last_not_of(" \t\r\n");
    return line.substr(first, last - first + 1);
}

// Serial of a "Y-M-D H:MM" text, 24:00 meaning the end of the day, one minute early as
// the product writes it.
double serialOf(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    std::sscanf(text.c_str(), "%d-%d-%d %d:%d", &year, &month, &day, &hour, &minute);
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = era * 146097L + static_cast<long>(doe) - 719468L; // from 1970-01-01
    return static_cast<double>(days) + 25569.0 + (hour * 60 + minute - 1) / 1440.0;
}

std::vector<Run> readPvx(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::vector<Run> runs;
    Run* run = nullptr;
    Slot slot;
    enum { Package, RunPreamble, Stamps, SlotPreamble, Column } state = Package;
    int remaining = 0;
    while (std::getline(in, line)) {
        const std::string text = trimmed(line);
        switch (state) {
        case Package:
            if (text == "END_PACKAGE_PREAMBLE") {
                state = RunPreamble;
                runs.emplace_back();
                run = &runs.back();
            }
            break;
        case RunPreamble:
            if (startsWith(text, "time_steps:"))
                run->timeSteps = std::atoi(text.c_str() + 11);
            else if (text == "END_RUN_PREAMBLE") {
                state = Stamps;
                remaining = run->timeSteps;
                if (remaining == 0)
                    state = SlotPreamble;
            }
            break;
        case Stamps:
            run->timestamps.push_back(text);
            if (--remaining == 0)
                state = SlotPreamble;
            break;
        case SlotPreamble:
            if (text == "END_RUN") {
                runs.emplace_back();
                run = &runs.back();
                state = RunPreamble;
            } else if (startsWith(text, "object_name: "))
                slot.objectName = text.substr(13);
            else if (startsWith(text, "slot_name: "))
                slot.slotName = text.substr(11);
            else if (startsWith(text, "slot_type: "))
                slot.slotType = text.substr(11);
            else if (text == "END_SLOT_PREAMBLE") {
                state = Column;
                slot.values.reserve(run->timeSteps);
            }
            break;
        case Column:
            if (text == "END_SLOT") {
                run->slots.push_back(std::move(slot));
                slot = Slot();
                state = SlotPreamble;
            } else if (!startsWith(text, "units: ") && !startsWith(text, "scale: ") &&
                       !startsWith(text, "method: ") && text != "END_COLUMN") {
                slot.values.push_back(std::strtod(text.c_str(), nullptr));
            }
            break;
        }
    }
    if (!runs.empty() && runs.back().timestamps.empty())
        runs.pop_back();
    return runs;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <in.pvx> <out.xlsx> <0|1>\n", argv[0]);
        return 2;
    }
    const std::vector<Run> runs = readPvx(argv[1]);
    if (runs.empty())
        return 1;
    const int arrangement = std::atoi(argv[3]);
    const Run& first = runs.front();
    const size_t steps = first.timestamps.size();
    std::vector<double> serials;
    for (const std::string& stamp : first.timestamps)
        serials.push_back(serialOf(stamp));
    std::vector<std::string> runLabels, slotLabels;
    for (size_t r = 0; r < runs.size(); ++r)
        runLabels.push_back("Run" + std::to_string(r));
    for (const Slot& s : first.slots)
        slotLabels.push_back(s.objectName + s.slotName);

    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(argv[2], &options);
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format* date = workbook_add_format(workbook);
    format_set_num_format(date, "m/d/yyyy");
    lxw_format* boldDate = workbook_add_format(workbook);
    format_set_bold(boldDate);
    format_set_num_format(boldDate, "m/d/yyyy");

    // The header: runs, slots and timesteps.
    lxw_worksheet* header = workbook_add_worksheet(workbook, "Header");
    lxw_row_t row = 0;
    worksheet_write_string(header, row++, 0, "Run #", bold);
    for (const std::string& label : runLabels)
        worksheet_write_string(header, row++, 0, label.c_str(), nullptr);
    worksheet_write_string(header, row++, 0, "Slot #", bold);
    for (const std::string& label : slotLabels)
        worksheet_write_string(header, row++, 0, label.c_str(), nullptr);
    worksheet_write_string(header, row++, 0, "Time #", bold);
    for (size_t t = 0; t < steps; ++t) {
        worksheet_write_string(header, row, 0, ("Time" + std::to_string(t)).c_str(), nullptr);
        worksheet_write_number(header, row++, 1, serials[t], date);
    }

    // Timesteps down the rows; runs (arrangement 1) or slots (arrangement 0) across.
    const size_t sheets = arrangement == 1 ? first.slots.size() : runs.size();
    const size_t columns = arrangement == 1 ? runs.size() : first.slots.size();
    for (size_t sheet = 0; sheet < sheets; ++sheet) {
        const std::string name = arrangement == 1 ? "S" + std::to_string(sheet) : runLabels[sheet];
        lxw_worksheet* ws = workbook_add_worksheet(workbook, name.c_str());
        const std::string& corner = arrangement == 1 ? slotLabels[sheet] : runLabels[sheet];
        worksheet_write_string(ws, 0, 0, corner.c_str(), bold);
        for (size_t c = 0; c < columns; ++c)
            worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c + 1),
                                   (arrangement == 1 ? runLabels[c] : slotLabels[c]).c_str(), bold);
        for (size_t t = 0; t < steps; ++t) {
            const lxw_row_t r = static_cast<lxw_row_t>(t + 1);
            worksheet_write_number(ws, r, 0, serials[t], boldDate);
            for (size_t c = 0; c < columns; ++c) {
                const Slot& slot = arrangement == 1 ? runs[c].slots[sheet] : runs[sheet].slots[c];
                if (t < slot.values.size())
                    worksheet_write_number(ws, r, static_cast<lxw_col_t>(c + 1), slot.values[t], nullptr);
            }
        }
    }
    return workbook_close(workbook) == LXW_NO_ERROR ? 0 : 1;
}
