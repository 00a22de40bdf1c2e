// libFuzzer entry for the XML side of the reader: the input holds the workbook part, a worksheet,
// the style sheet and the shared strings, wrapped into a valid package; the workbook is opened,
// read, edited and saved, and the saved file must open again.

#include "FuzzWorkbook.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = "/tmp/xlsx_fuzz_parts_" + std::to_string(getpid()) + ".xlsx";
    static const std::string out = "/tmp/xlsx_fuzz_parts_" + std::to_string(getpid()) + "_out.xlsx";
    try {
        fuzz::writeSplitPackage(in, std::string_view(reinterpret_cast<const char*>(data), size));
        fuzz::exercise(in, out);
    } catch (const workbookfile::Error&) {
    }
    return 0;
}
