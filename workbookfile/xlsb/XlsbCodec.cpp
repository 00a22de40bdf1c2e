// The binary workbook codec's operations for the model.

#include "Xlsb.h"

namespace workbookfile {

namespace {

class XlsbCodec final : public Codec {
public:
    void loadSheet(Workbook::Impl& wb, Worksheet::Impl& sheet) const override { loadXlsbSheet(wb, sheet); }
    void unpackSheet(Workbook::Impl&, Worksheet::Impl& sheet, const std::string& data) const override {
        if (sheet.codec == this) {
            loadXlsbSheetRecords(sheet, data);
            return;
        }
        // A new workbook's worksheet packed as records: only its cells come back.
        SheetModel model;
        std::string head, tail;
        parseXlsbSheet(data, sheet.part, model, head, tail);
        sheet.model = std::move(model);
    }
    void describeCell(const RawCell& raw, CellInfo& info) const override { describeXlsbCell(raw, info); }
    // Shared formulas of binary worksheets keep their groups as they are.
    std::string formulaGroupOf(const RawCell&) const override { return {}; }
    void dropOrphanedFormulas(SheetModel&, const FormulaGroupLeads&) const override {}
    void clearSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet) const override {
        clearXlsbSheetExtras(wb, sheet);
    }
    void applyLayout(Worksheet::Impl& sheet) const override { sheet.head = newXlsbSheetHead(sheet.layout); }
    // Added to an opened binary workbook, a worksheet is a binary part from the start: its records
    // are the model's, written behind and saved like the worksheets read.
    void startNewSheet(Worksheet::Impl& sheet) const override {
        sheet.head = newXlsbSheetHead(sheet.layout);
        sheet.tail = newXlsbSheetTail();
        sheet.prefix.clear();
        sheet.loaded = true;
        sheet.changed = true;
    }
    std::size_t unreadStringCells(Workbook::Impl&, const Worksheet::Impl&) const override { return 0; }
    bool listsTables(const Worksheet::Impl& sheet) const override { return xlsbSheetListsTables(sheet); }
    bool readTable(const std::string& data, const std::string& part, TableInfo& table) const override {
        return readXlsbTable(data, part, table);
    }
    bool rewriteTable(std::string& data, const std::string& part, const TableInfo& table) const override {
        return rewriteXlsbTable(data, part, table);
    }
    bool unreadSheetStrings(Workbook::Impl& wb, const Worksheet::Impl& sheet,
                            std::vector<std::uint32_t>& indices) const override {
        return xlsbStringIndices(wb.readPart(sheet.part), indices);
    }
    bool keptCellStrings(const RawCell& raw, std::vector<std::uint32_t>& indices) const override {
        return xlsbStringIndices(raw.inner, indices);
    }

    bool packable(const Workbook::Impl& wb, const Worksheet::Impl& sheet) const override {
        // An opened binary workbook packs its own worksheets; a new one, every worksheet.
        return wb.readAs == this ? sheet.codec == this : !wb.readAs;
    }
    PackedEntry packSheet(Workbook::Impl& wb, const Worksheet::Impl& sheet, bool) const override {
        static const std::string newTail = newXlsbSheetTail();
        const bool made = wb.readAs != this;
        // A spare buffer is taken and one given back: large buffers kept alive spare the page
        // faults of fresh memory (without the exchange, a 100-worksheet save takes a third longer).
        std::string records = wb.takeBuffer();
        records = xlsbSheetRecords(sheet.model, made ? newXlsbSheetHead(sheet.layout) : sheet.head,
                                   made ? newTail : sheet.tail, sheet.part);
        PackedEntry entry = packEntry(sheet.part, records, kBinaryDeflateLevel);
        wb.keepBuffer(std::move(records));
        return entry;
    }
    void checkSave(const Workbook::Impl&, const std::string&) const override {}
    void prepareSave(Workbook::Impl& wb, FileFormat) const override { prepareXlsbSave(wb); }
    void write(Workbook::Impl& wb, int fd, const std::string& path) const override {
        writeXlsbPackage(wb, fd, path);
    }
};

} // namespace

const Codec& xlsbCodec() {
    static const XlsbCodec codec;
    return codec;
}

} // namespace workbookfile
