#include "FileNameCodec.h"
#include "OleAutomation.h"

#include <sys/stat.h>

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    if (!lpFileName)
        return INVALID_FILE_ATTRIBUTES;
    const std::string name = fileNameBytes(std::u16string_view(lpFileName));
    struct stat info;
    if (::stat(name.c_str(), &info) != 0)
        return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}
