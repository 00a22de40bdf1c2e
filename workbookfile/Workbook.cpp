#include "Internal.h"

#include "AtomicFile.h"
#include "NewParts.h"
#include "SheetNames.h"
#include "Xlsb.h"
#include "XmlDom.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace workbookfile {

namespace {

// Refuses files that are obviously not zip packages before handing them to the zip reader.
void sniff(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw Error(ErrorKind::FileSystem, "Cannot open \"" + path + "\": it is a folder, not a workbook.");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw Error(ErrorKind::FileSystem,
                    "Cannot open the file \"" + path + "\": " + std::strerror(errno) + ".");
    unsigned char head[8] = {};
    std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    static const unsigned char ole[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (got == 8 && std::memcmp(head, ole, 8) == 0)
        throw Error(
            ErrorKind::Encrypted,
            "The file \"" + path +
                "\" is encrypted (password-protected) or is an old binary workbook; it cannot be opened.");
    if (got < 4 || head[0] != 'P' || head[1] != 'K')
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it is not a zip package.");
}

} // namespace

Workbook::Workbook() : d(std::make_unique<Impl>()) {
    d->self = this;
}
Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::create(int worksheetCount) {
    if (worksheetCount < 1)
        throw Error(ErrorKind::InvalidArgument, "A workbook needs at least one worksheet.");
    std::unique_ptr<Workbook> wb(new Workbook());
    Impl& d = *wb->d;
    d.isNew = true;
    d.setPart("[Content_Types].xml", newContentTypes());
    d.setPart("_rels/.rels", newRootRelationships("xl/workbook.xml"));
    d.setPart("docProps/app.xml", newAppProperties());
    d.setPart("docProps/core.xml", "");
    d.setPart("xl/workbook.xml", newWorkbookXml());
    d.setPart("xl/_rels/workbook.xml.rels", emptyRelationships());
    d.loadPackage();
    for (int i = 1; i <= worksheetCount; ++i)
        d.addSheet(std::size_t(i - 1), "Sheet" + std::to_string(i));
    return wb;
}

std::unique_ptr<Workbook> Workbook::open(const std::string& path, const OpenLimits& limits) {
    sniff(path);
    std::unique_ptr<Workbook> wb(new Workbook());
    wb->d->path = path;
    wb->d->source = std::make_unique<ZipReader>(path, limits);
    wb->d->loadPackage();
    return wb;
}

const std::string& Workbook::path() const {
    return d->path;
}
FileFormat Workbook::format() const {
    return d->format;
}

int Workbook::sheetCount() const {
    return int(d->tabs.size());
}

Workbook::SheetInfo Workbook::sheet(int position) const {
    if (position < 1 || position > int(d->tabs.size()))
        throw Error(ErrorKind::InvalidArgument, "There is no sheet at position " + std::to_string(position) +
                                                    ": the workbook has " + std::to_string(d->tabs.size()) +
                                                    " sheets.");
    const SheetEntry& tab = d->tabs[std::size_t(position - 1)];
    return {tab.node.attribute("name").value(), tab.type, tab.worksheet};
}

int Workbook::findSheet(std::string_view name) const {
    const std::string key = foldSheetName(name);
    for (std::size_t i = 0; i < d->tabs.size(); ++i)
        if (foldSheetName(d->tabs[i].node.attribute("name").value()) == key)
            return int(i + 1);
    return 0;
}

int Workbook::worksheetCount() const {
    return int(d->sheets.size());
}

Worksheet* Workbook::worksheet(int position) const {
    if (position < 1 || position > int(d->sheets.size()))
        return nullptr;
    return d->sheets[std::size_t(position - 1)].get();
}

Worksheet* Workbook::findWorksheet(std::string_view name) const {
    int pos = findWorksheetPosition(name);
    return pos ? worksheet(pos) : nullptr;
}

int Workbook::findWorksheetPosition(std::string_view name) const {
    std::string key = foldSheetName(name);
    for (std::size_t i = 0; i < d->sheets.size(); ++i)
        if (d->sheets[i]->impl().foldedName == key)
            return int(i + 1);
    return 0;
}

Worksheet& Workbook::addWorksheet(int after) {
    if (after < 0 || after > int(d->tabs.size()))
        throw Error(ErrorKind::InvalidArgument, "Cannot add a worksheet after position " +
                                                    std::to_string(after) + ": the workbook has " +
                                                    std::to_string(d->tabs.size()) + " sheets.");
    d->checkStructureUnlocked("add a worksheet");
    std::string name;
    for (std::size_t n = d->sheets.size() + 1;; ++n) {
        name = "Sheet" + std::to_string(n);
        if (!d->nameTaken(name, nullptr))
            break;
    }
    return d->addSheet(std::size_t(after), name);
}

void Workbook::save() {
    if (d->path.empty())
        throw Error(ErrorKind::InvalidArgument, "The workbook has not been saved yet and has no file name.");
    saveAs(d->path, d->format);
}

void Workbook::saveAs(const std::string& path, FileFormat format) {
    d->saveAs(path, format);
}

void Workbook::setStreamingThreshold(std::size_t bytes) {
    d->streamThreshold = bytes;
}

void Workbook::setFixedTimestamp(std::time_t utc) {
    d->fixedTime = utc;
}

void Workbook::setSaveProgressCallback(std::function<void(int)> callback) {
    d->progress = std::move(callback);
}

} // namespace workbookfile
