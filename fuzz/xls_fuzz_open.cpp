// libFuzzer entry for 97-2003 workbooks (.xls): the input is a workbook stream put into a valid
// compound file, or (first byte odd) a whole file (FuzzWorkbook.h); the workbook is opened, read,
// edited and saved as .xls, and the saved file must open again.

#include "FuzzWorkbook.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = "/tmp/xls_fuzz_open_" + std::to_string(getpid()) + ".xls";
    static const std::string out = "/tmp/xls_fuzz_open_" + std::to_string(getpid()) + "_out.xls";
    try {
        fuzz::writeXlsInput(in, std::string_view(reinterpret_cast<const char*>(data), size));
        fuzz::exercise(in, out);
    } catch (const workbookfile::Error&) {
    }
    return 0;
}
