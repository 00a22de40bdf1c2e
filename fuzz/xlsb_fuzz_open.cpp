// libFuzzer entry for binary workbooks (.xlsb): the input holds the workbook part, a worksheet, the
// style sheet and the shared strings as records, wrapped into a valid package (mutated zip bytes
// rarely get past the checksums); the workbook is opened, read, edited and saved as .xlsb, and the
// saved file must open again.

#include "FuzzWorkbook.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::runInput("xlsb_fuzz_open", ".xlsb", data, size, fuzz::writeSplitXlsbPackage);
}
