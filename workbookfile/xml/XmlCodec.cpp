// The XML codec's operations for the model.

#include "Xml.h"

#include "SheetXml.h"

namespace workbookfile {

namespace {

class XmlCodec final : public Codec {
public:
    void loadSheet(Workbook::Impl& wb, Worksheet::Impl& sheet) const override {
        loadXmlSheet(sheet, wb.readPart(sheet.part));
    }
    void unpackSheet(Workbook::Impl&, Worksheet::Impl& sheet, const std::string& data) const override {
        loadXmlSheet(sheet, data);
    }
    void describeCell(const RawCell& raw, CellInfo& info) const override { describeXmlCell(raw, info); }
    std::string formulaGroupOf(const RawCell& raw) const override { return xmlFormulaGroupOf(raw); }
    void dropOrphanedFormulas(SheetModel& model, const FormulaGroupLeads& groups) const override {
        dropOrphanedXmlFormulas(model, groups);
    }
    void clearSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet) const override {
        clearXmlSheetExtras(wb, sheet);
    }
    void applyLayout(Worksheet::Impl& sheet) const override {
        const std::string xml = newWorksheetXml(sheet.layout);
        sheet.head = xml.substr(0, xml.find("<sheetData"));
    }
    std::size_t unreadStringCells(Workbook::Impl& wb, const Worksheet::Impl& sheet) const override {
        return countSharedStringCells(wb.readPart(sheet.part));
    }
    bool unreadSheetStrings(Workbook::Impl& wb, const Worksheet::Impl& sheet,
                            std::vector<std::uint32_t>& indices) const override {
        return sharedStringIndices(wb.readPart(sheet.part), indices);
    }
    bool keptCellStrings(const RawCell& raw, std::vector<std::uint32_t>& indices) const override {
        return keptXmlCellStrings(raw, indices);
    }
    bool listsTables(const Worksheet::Impl& sheet) const override { return xmlSheetListsTables(sheet); }
    bool readTable(const std::string& data, const std::string& part, TableInfo& table) const override {
        return readXmlTable(data, part, table);
    }
    bool rewriteTable(std::string& data, const std::string& part, const TableInfo& table) const override {
        return rewriteXmlTable(data, part, table);
    }
    bool namesTableColumns(Workbook::Impl& wb, const std::string& tableName,
                           std::string& where) const override {
        return xmlFormulasNameTable(wb, tableName, where);
    }

    bool packable(const Workbook::Impl& wb, const Worksheet::Impl& sheet) const override {
        // A worksheet too large to hold as one text is deflated piece by piece while it is saved.
        return sheet.codec == this && (!wb.readAs || wb.readAs == this) &&
               estimatedXmlSize(sheet) <= wb.streamThreshold;
    }
    PackedEntry packSheet(Workbook::Impl& wb, const Worksheet::Impl& sheet, bool) const override {
        std::string xml = wb.takeBuffer();
        writeSheetXml(xml, sheet);
        PackedEntry entry = packEntry(sheet.part, xml, sheetDeflateLevel(xml));
        wb.keepBuffer(std::move(xml));
        return entry;
    }
    void checkSave(const Workbook::Impl&, const std::string&) const override {}
    bool dropsByFormat() const override { return true; }
    void prepareSave(Workbook::Impl& wb, FileFormat target) const override { prepareXmlSave(wb, target); }
    void write(Workbook::Impl& wb, int fd, const std::string& path) const override {
        writeXmlPackage(wb, fd, path);
    }
};

} // namespace

const Codec& xmlCodec() {
    static const XmlCodec codec;
    return codec;
}

} // namespace workbookfile
