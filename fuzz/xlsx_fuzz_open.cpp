// libFuzzer entry: opens arbitrary bytes as a workbook and reads every worksheet and a few cells.
// Errors are expected; crashes, hangs and leaks are not.

#include "Workbook.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/xlsx_fuzz_" + std::to_string(getpid()) + ".xlsx";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        xlsx::OpenLimits limits;
        limits.maxEntryBytes = 8 << 20;
        limits.maxTotalBytes = 32 << 20;
        auto wb = xlsx::Workbook::open(path, limits);
        for (int i = 1; i <= wb->worksheetCount(); ++i) {
            xlsx::Worksheet* ws = wb->worksheet(i);
            int rows = ws->lastRow();
            int cols = ws->lastColumn();
            for (int r = 1; r <= rows && r <= 20; ++r)
                for (int c = 1; c <= cols && c <= 20; ++c)
                    ws->cell(r, c);
        }
    } catch (const xlsx::Error&) {
    }
    return 0;
}
