#include "OleAutomation.h"
#include "OleDiagnostics.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<long> liveStrings{0};

// The length prefix sits in the four bytes before the first character.
uint32_t* prefixOf(BSTR s) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - sizeof(uint32_t));
}
} // namespace

long OleLiveStringCount() {
    return liveStrings.load();
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    const size_t bytes = size_t(ui) * sizeof(OLECHAR);
    if (bytes > 0x7FFFFFF0u)
        return nullptr;
    char* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    const uint32_t length = uint32_t(bytes);
    std::memcpy(block, &length, sizeof length);
    BSTR s = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
    if (strIn)
        std::memcpy(s, strIn, bytes);
    else
        std::memset(s, 0, bytes);
    s[ui] = 0;
    ++liveStrings;
    return s;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    UINT n = 0;
    while (psz[n])
        ++n;
    return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstrString) {
    if (!bstrString)
        return;
    --liveStrings;
    std::free(prefixOf(bstrString));
}

UINT SysStringLen(BSTR pbstr) {
    return pbstr ? *prefixOf(pbstr) / sizeof(OLECHAR) : 0;
}
