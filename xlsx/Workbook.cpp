#include "Internal.h"

#include "SheetNames.h"

namespace xlsx {

Workbook::Workbook() : d(std::make_unique<Impl>()) {}
Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::create(int worksheetCount) {
    if (worksheetCount < 1)
        throw Error("A workbook needs at least one worksheet.");
    std::unique_ptr<Workbook> wb(new Workbook());
    for (int i = 1; i <= worksheetCount; ++i)
        wb->d->insertSheet(*wb, i - 1, "Sheet" + std::to_string(i));
    return wb;
}

std::unique_ptr<Workbook> Workbook::open(const std::string& path, const OpenLimits&) {
    throw Error("Cannot open \"" + path + "\": opening workbooks is not implemented yet.");
}

const std::string& Workbook::path() const {
    return d->path;
}
FileFormat Workbook::format() const {
    return d->format;
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
        if (foldSheetName(d->sheets[i]->name()) == key)
            return int(i + 1);
    return 0;
}

Worksheet& Workbook::addWorksheet(int after) {
    if (after < 0 || after > int(d->sheets.size()))
        throw Error("Cannot add a worksheet after position " + std::to_string(after) + ": the workbook has " +
                    std::to_string(d->sheets.size()) + " worksheets.");
    std::string name;
    for (std::size_t n = d->sheets.size() + 1;; ++n) {
        name = "Sheet" + std::to_string(n);
        if (!findWorksheetPosition(name))
            break;
    }
    return d->insertSheet(*this, std::size_t(after), name);
}

void Workbook::save() {
    if (d->path.empty())
        throw Error("The workbook has not been saved yet and has no file name.");
    throw Error("Saving is not implemented yet.");
}

void Workbook::saveAs(const std::string& path, FileFormat format) {
    if (format == FileFormat::Xls || format == FileFormat::Xlsb)
        throw Error("Saving as .xls or .xlsb is not supported yet.");
    throw Error("Cannot save \"" + path + "\": saving is not implemented yet.");
}

void Workbook::setFixedTimestamp(std::time_t utc) {
    d->fixedTime = utc;
}

void Workbook::setSaveProgressCallback(std::function<void(int)> callback) {
    d->progress = std::move(callback);
}

Worksheet& Workbook::Impl::insertSheet(Workbook& owner, std::size_t index, std::string name) {
    auto impl = std::make_unique<Worksheet::Impl>();
    impl->workbook = &owner;
    impl->name = std::move(name);
    std::unique_ptr<Worksheet> sheet(new Worksheet(std::move(impl)));
    Worksheet& ref = *sheet;
    sheets.insert(sheets.begin() + std::ptrdiff_t(index), std::move(sheet));
    return ref;
}

int Workbook::Impl::positionOf(const Worksheet* sheet) const {
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i].get() == sheet)
            return int(i + 1);
    return 0;
}

void Workbook::Impl::renameSheet(Worksheet& sheet, std::string_view newName) {
    checkSheetName(newName);
    std::string key = foldSheetName(newName);
    for (const auto& other : sheets)
        if (other.get() != &sheet && foldSheetName(other->name()) == key)
            throw Error("Cannot rename the worksheet \"" + sheet.name() + "\" to \"" + std::string(newName) +
                        "\": another sheet already has that name.");
    sheet.impl().name = std::string(newName);
}

} // namespace xlsx
