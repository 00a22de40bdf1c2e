// The part of a worksheet the engine adds: its view with frozen panes and its column widths.

#include "Xml.h"

#include "NewParts.h"
#include "NumberText.h"
#include "PackageNames.h"

namespace workbookfile {

namespace {

std::string widthText(double width) {
    std::string text;
    appendNumber(text, width);
    return text;
}

// The <pane> of frozen rows and columns, the active pane being the one that scrolls both ways.
std::string frozenPane(const SheetLayout& layout) {
    const char* pane = layout.frozenRows && layout.frozenColumns ? "bottomRight"
                       : layout.frozenRows                       ? "bottomLeft"
                                                                 : "topRight";
    std::string out = "<pane";
    if (layout.frozenColumns)
        out += " xSplit=\"" + std::to_string(layout.frozenColumns) + "\"";
    if (layout.frozenRows)
        out += " ySplit=\"" + std::to_string(layout.frozenRows) + "\"";
    out += " topLeftCell=\"" + columnName(layout.frozenColumns + 1) + std::to_string(layout.frozenRows + 1) +
           "\" activePane=\"" + pane + "\" state=\"frozen\"/><selection pane=\"" + pane + "\"/>";
    return out;
}

} // namespace

std::string newWorksheetXml(const SheetLayout& layout) {
    std::string xml = std::string(kXmlDeclaration) + "<worksheet xmlns=\"" + kMainNamespace +
                      "\" xmlns:r=\"" + kRelNamespace +
                      "\"><dimension ref=\"A1\"/><sheetViews><sheetView workbookViewId=\"0\"";
    xml += layout.frozen() ? ">" + frozenPane(layout) + "</sheetView>" : "/>";
    xml += "</sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
    const std::vector<WidthRun> runs = widthRuns(layout);
    if (!runs.empty()) {
        xml += "<cols>";
        for (const WidthRun& run : runs)
            xml += "<col min=\"" + std::to_string(run.first) + "\" max=\"" + std::to_string(run.last) +
                   "\" width=\"" + widthText(run.width) + "\" customWidth=\"1\"/>";
        xml += "</cols>";
    }
    xml += "<sheetData/><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
           "footer=\"0.3\"/></worksheet>";
    return xml;
}

std::string addXmlSheetPart(Workbook::Impl& wb) {
    const std::string part = wb.newPartName(wb.workbookDir + "worksheets/sheet", ".xml");
    wb.setPart(part, newWorksheetXml());
    wb.appendOverride(part, kWorksheetContentType);
    return part;
}

} // namespace workbookfile
