#include "Workbook.h"

namespace workbookfile {

const char* errorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::NotAWorkbook:
        return "NotAWorkbook";
    case ErrorKind::Encrypted:
        return "Encrypted";
    case ErrorKind::Damaged:
        return "Damaged";
    case ErrorKind::TooLarge:
        return "TooLarge";
    case ErrorKind::LimitExceeded:
        return "LimitExceeded";
    case ErrorKind::Unsupported:
        return "Unsupported";
    case ErrorKind::FileSystem:
        return "FileSystem";
    case ErrorKind::Protected:
        return "Protected";
    case ErrorKind::InvalidArgument:
        return "InvalidArgument";
    case ErrorKind::Interrupted:
        return "Interrupted";
    }
    return "Unknown";
}

} // namespace workbookfile
