// The switchboard: every codec is named here and nowhere else in the model. Which codec opens a
// file (by its container, then by its main part's content type), which one holds a worksheet the
// engine adds, which one a format is saved with, and what may be saved as what.

#include "Switchboard.h"

#include "CompoundFile.h"
#include "WorkbookState.h"
#include "Xls.h"
#include "Xlsb.h"
#include "Xml.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace workbookfile {

namespace {

// What the file's first bytes say it is: a zip package, a compound file (97-2003 workbooks), or
// neither, which is refused before any reader sees it.
enum class Container { Zip, Compound };

Container sniff(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw Error(ErrorKind::FileSystem, "Cannot open \"" + path + "\": it is a folder, not a workbook.");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw Error(ErrorKind::FileSystem,
                    "Cannot open the file \"" + path + "\": " + std::strerror(errno) + ".");
    char head[8] = {};
    std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (isCompoundFile(std::string_view(head, got)))
        return Container::Compound;
    if (!olderFormatOf(std::string_view(head, got)).empty())
        throw olderFormatRefusal(path, std::string_view(head, got));
    if (got < 4 || head[0] != 'P' || head[1] != 'K')
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path +
                        "\" is not a workbook: it is not a zip package or a compound file.");
    return Container::Zip;
}

std::string readWholeFile(const std::string& path, const OpenLimits& limits) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f)
        throw Error(ErrorKind::FileSystem,
                    "Cannot open the file \"" + path + "\": " + std::strerror(errno) + ".");
    std::string bytes;
    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        bytes.append(buffer, got);
        if (bytes.size() > limits.maxTotalBytes)
            throw Error(ErrorKind::TooLarge, "The file \"" + path +
                                                 "\" is too large to open: it is larger than " +
                                                 std::to_string(limits.maxTotalBytes) + " bytes.");
    }
    if (std::ferror(f.get()))
        throw Error(ErrorKind::FileSystem,
                    "Cannot read the file \"" + path + "\": " + std::strerror(errno) + ".");
    return bytes;
}

} // namespace

void openFile(Workbook::Impl& wb, const OpenLimits& limits) {
    if (sniff(wb.path) == Container::Compound) {
        openXlsFile(wb, readWholeFile(wb.path, limits), limits);
        return;
    }
    wb.source = std::make_unique<ZipReader>(wb.path, limits);
    openPackage(wb);
}

void openPackage(Workbook::Impl& wb) {
    const std::string mainType = wb.readPackageRoot();
    if (mainType.find("ms-excel.sheet.binary") != std::string::npos) {
        openXlsbPackage(wb);
        wb.refuseSharedSheetParts();
        return;
    }
    if (mainType.find("spreadsheetml.sheet.main") == std::string::npos &&
        mainType.find("spreadsheetml.template.main") == std::string::npos &&
        mainType.find("ms-excel.sheet.macroEnabled.main") == std::string::npos &&
        mainType.find("ms-excel.template.macroEnabled.main") == std::string::npos)
        throw Error(ErrorKind::NotAWorkbook, "The file \"" + wb.path + "\" is not a spreadsheet workbook.");
    openXmlPackage(wb, mainType);
    wb.refuseSharedSheetParts();
}

const Codec& codecFor(FileFormat format) {
    switch (format) {
    case FileFormat::Xlsb:
        return xlsbCodec();
    case FileFormat::Xls:
        return xlsCodec();
    case FileFormat::Xlsx:
    case FileFormat::Xlsm:
        break;
    }
    return xmlCodec();
}

// A worksheet the engine adds to an opened binary workbook is a binary part from the start; any
// other is an XML part until a save in another format encodes it.
const Codec& addNewSheetPart(Workbook::Impl& wb, std::string& part) {
    if (wb.readAs == &xlsbCodec()) {
        part = addXlsbSheetPart(wb);
        return xlsbCodec();
    }
    part = addXmlSheetPart(wb);
    return xmlCodec();
}

void checkSaveFormat(const Workbook::Impl& wb, FileFormat target, const std::string& path) {
    const Codec& to = codecFor(target);
    if (!wb.readAs || wb.readAs == &to)
        return;
    if (&to == &xlsCodec())
        throw Error(ErrorKind::Unsupported,
                    "Cannot save \"" + path +
                        "\" as a 97-2003 workbook (.xls): the workbook was read from a workbook of another "
                        "format, which is saved in that format only.");
    if (wb.readAs == &xlsCodec())
        throw Error(ErrorKind::Unsupported,
                    "Cannot save \"" + path +
                        "\" as .xlsx, .xlsm or .xlsb: the workbook was read from a 97-2003 workbook (.xls), "
                        "which is saved as .xls only.");
    if (&to == &xlsbCodec())
        throw Error(
            ErrorKind::Unsupported,
            "Cannot save \"" + path +
                "\" as a binary workbook (.xlsb): the workbook was read from an XML workbook (.xlsx or "
                ".xlsm), which is saved in that format only.");
    throw Error(ErrorKind::Unsupported,
                "Cannot save \"" + path +
                    "\" as .xlsx or .xlsm: the workbook was read from a binary workbook (.xlsb), which is "
                    "saved as .xlsb only.");
}

} // namespace workbookfile
