// libFuzzer entry: reads arbitrary bytes as a PVX file and names its slots as a conversion
// would. Messages are expected; crashes, hangs, leaks and runaway memory are not.

#include "PvxFuzzInput.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::readPvxInput(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
