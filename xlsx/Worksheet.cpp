#include "Internal.h"

namespace xlsx {

Worksheet::Worksheet(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
Worksheet::~Worksheet() = default;

const std::string& Worksheet::name() const {
    return d->name;
}

void Worksheet::rename(std::string_view newName) {
    d->workbook->impl().renameSheet(*this, newName);
}

int Worksheet::position() const {
    return d->workbook->impl().positionOf(this);
}

Workbook& Worksheet::workbook() const {
    return *d->workbook;
}

void Worksheet::putBlock(int, int, const ValueBlock&) {
    throw Error("Writing values is not implemented yet.");
}

void Worksheet::setBold(int, int, int, int, bool) {
    throw Error("Bold is not implemented yet.");
}

void Worksheet::setNumberFormat(int, int, int, int, std::string_view) {
    throw Error("Number formats are not implemented yet.");
}

void Worksheet::clear() {}

CellInfo Worksheet::cell(int, int) const {
    return CellInfo{};
}

int Worksheet::lastRow() const {
    return 0;
}
int Worksheet::lastColumn() const {
    return 0;
}

} // namespace xlsx
