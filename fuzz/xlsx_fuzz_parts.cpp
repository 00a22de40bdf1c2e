// libFuzzer entry for the XML side of the reader: the input holds the workbook part, a worksheet,
// the style sheet and the shared strings, wrapped into a valid package; the workbook is opened,
// read, edited and saved, and the saved file must open again.

#include "FuzzWorkbook.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::runInput("xlsx_fuzz_parts", ".xlsx", data, size, fuzz::writeSplitPackage);
}
