#include "WorkbookState.h"

#include "NewParts.h"
#include "SheetNames.h"
#include "Switchboard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace workbookfile {

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
    openPackage(d);
    for (int i = 1; i <= worksheetCount; ++i)
        d.addSheet(std::size_t(i - 1), "Sheet" + std::to_string(i));
    return wb;
}

std::unique_ptr<Workbook> Workbook::open(const std::string& path, const OpenLimits& limits) {
    std::unique_ptr<Workbook> wb(new Workbook());
    wb->d->path = path;
    openFile(*wb->d, limits);
    return wb;
}

const std::string& Workbook::path() const {
    return d->path;
}
FileFormat Workbook::format() const {
    return d->format;
}
int Workbook::maxRows() const {
    return codecFor(d->format).maxRows();
}
int Workbook::maxColumns() const {
    return codecFor(d->format).maxColumns();
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
    d->indexNames();
    const auto it = d->tabByName.find(foldSheetName(name));
    return it == d->tabByName.end() ? 0 : int(it->second + 1);
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
    d->indexNames();
    const auto it = d->worksheetByName.find(foldSheetName(name));
    return it == d->worksheetByName.end() ? 0 : int(it->second + 1);
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

const std::vector<std::string>& Workbook::saveNotes() const {
    return d->saveNotes;
}

void Workbook::saveAsLater(const std::string& path, FileFormat format) {
    if (!d->path.empty() || d->source || path.empty()) {
        saveAs(path, format);
        return;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        // A file, folder or link of that name: the save says what it makes of it, now.
        saveAs(path, format);
        return;
    }
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto refuse = [&](int error) {
        throw Error(ErrorKind::FileSystem, "Cannot save \"" + path + "\": " + std::strerror(error) + ".");
    };
    if (errno != ENOENT)
        refuse(errno);
    if (::stat(folder.c_str(), &st) != 0)
        refuse(errno);
    if (!S_ISDIR(st.st_mode))
        refuse(ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        refuse(errno);
    const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (name.size() > std::size_t(nameMax > 0 ? nameMax : 255))
        refuse(ENAMETOOLONG);
    d->path = path;
    d->format = format;
    d->fileAwaited = true;
}

void Workbook::setWriteBehind(bool on) {
    d->writeBehind = on;
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
