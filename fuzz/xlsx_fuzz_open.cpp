// libFuzzer entry: opens arbitrary bytes as a workbook and reads every worksheet and some cells.
// Errors are expected; crashes, hangs and leaks are not.

#include "FuzzWorkbook.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/xlsx_fuzz_open_" + std::to_string(getpid()) + ".xlsx";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        fuzz::exercise(path, "");
    } catch (const workbookfile::Error&) {
    }
    return 0;
}
