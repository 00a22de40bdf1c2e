// The 97-2003 workbook codec's operations for the model.

#include "Xls.h"

namespace workbookfile {

namespace {

class XlsCodec final : public Codec {
public:
    int maxRows() const override { return kXlsMaxRows; }
    int maxColumns() const override { return kXlsMaxColumns; }

    void loadSheet(Workbook::Impl& wb, Worksheet::Impl& sheet) const override { loadXlsSheet(wb, sheet); }
    void unpackSheet(Workbook::Impl& wb, Worksheet::Impl& sheet, const std::string& data) const override {
        loadXlsSheetRecords(wb, sheet, data);
    }
    void describeCell(const RawCell& raw, CellInfo& info) const override { describeXlsCell(raw, info); }
    std::string formulaGroupOf(const RawCell& raw) const override { return xlsFormulaGroupOf(raw); }
    void dropOrphanedFormulas(SheetModel& model, const FormulaGroupLeads& groups) const override {
        dropOrphanedXlsFormulas(model, groups);
    }
    void clearSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet) const override {
        clearXlsSheetExtras(sheet, xlsBookOf(wb)->xfMap);
    }
    // A worksheet's records are framed from its layout when it is written.
    void applyLayout(Worksheet::Impl&) const override {}
    std::size_t unreadStringCells(Workbook::Impl&, const Worksheet::Impl&) const override { return 0; }
    bool unreadSheetStrings(Workbook::Impl& wb, const Worksheet::Impl& sheet,
                            std::vector<std::uint32_t>& indices) const override {
        const XlsBook* book = xlsBookOf(wb);
        if (!book)
            return false;
        const auto it = book->sheetByPart.find(sheet.part);
        return it != book->sheetByPart.end() && xlsStringIndices(book->sheets[it->second].records, indices);
    }
    bool keptCellStrings(const RawCell& raw, std::vector<std::uint32_t>& indices) const override {
        return xlsStringIndices(raw.inner, indices);
    }

    bool packable(const Workbook::Impl& wb, const Worksheet::Impl& sheet) const override {
        // Cells beyond the format stay, for the save to refuse them.
        return (!wb.readAs || wb.readAs == this) && fitsXls(sheet.model);
    }
    PackedEntry packSheet(Workbook::Impl& wb, const Worksheet::Impl& sheet, bool first) const override {
        // Records go into the workbook stream as they are: stored, not deflated.
        PackedEntry entry;
        entry.name = sheet.part;
        entry.method = 0;
        entry.data = xlsSheetRecords(wb, sheet, first);
        entry.size = entry.data.size();
        return entry;
    }
    void checkSave(const Workbook::Impl& wb, const std::string& path) const override {
        checkXlsLimits(wb, path);
    }
    void prepareSave(Workbook::Impl& wb, FileFormat) const override { prepareXlsSave(wb); }
    void write(Workbook::Impl& wb, int fd, const std::string& path) const override {
        writeXlsFile(wb, fd, path);
    }
};

} // namespace

const Codec& xlsCodec() {
    static const XlsCodec codec;
    return codec;
}

} // namespace workbookfile
