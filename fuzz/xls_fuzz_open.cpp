// libFuzzer entry for 97-2003 workbooks (.xls): the input is a workbook stream put into a valid
// compound file, or (first byte odd) a whole file (FuzzWorkbook.h); the workbook is opened, read,
// edited and saved as .xls, and the saved file must open again. Whole files are mutated where the
// container's structures are (CompoundFileMutator.h).

#include "CompoundFileMutator.h"
#include "FuzzWorkbook.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::runInput("xls_fuzz_open", ".xls", data, size, fuzz::writeXlsInput);
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    return fuzz::cfb::mutate(data, size, maxSize, seed);
}
