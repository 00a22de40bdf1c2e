// Cells of XML worksheets kept as read: what they hold, and their shared formulas.

#include "Xml.h"

#include "FormulaShift.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <map>

namespace workbookfile {

std::string xmlFormulaGroupOf(const RawCell& raw) {
    if (raw.inner.find("shared") == std::string::npos)
        return {};
    pugi::xml_document doc;
    doc.load_buffer(raw.inner.data(), raw.inner.size());
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
        if (localName(n) == "f" && std::string_view(n.attribute("t").value()) == "shared" &&
            n.attribute("ref"))
            return n.attribute("si").value();
    return {};
}

// A cell of a shared formula whose leading cell was overwritten gets the leading cell's formula,
// moved to its place as the spreadsheet moves a copied formula; where that cannot be done it
// keeps the value it showed.
void dropOrphanedXmlFormulas(SheetModel& model, const FormulaGroupLeads& groups) {
    std::map<std::string, std::string> leadFormulas;
    for (const auto& group : groups) {
        CellInfo info;
        describeXmlCell(group.second.cell, info);
        leadFormulas[group.first] = info.text;
    }
    for (std::size_t r = 0; r < model.rows.size(); ++r)
        for (Cell& cell : model.rows[r].cells) {
            if (cell.kind != CellKind::Raw)
                continue;
            RawCell& raw = model.raws[cell.index];
            if (raw.inner.find("shared") == std::string::npos)
                continue;
            pugi::xml_document doc;
            doc.load_buffer(raw.inner.data(), raw.inner.size());
            bool changed = false;
            for (pugi::xml_node n = doc.first_child(); n;) {
                pugi::xml_node next = n.next_sibling();
                if (localName(n) == "f" && std::string_view(n.attribute("t").value()) == "shared") {
                    const auto lead = groups.find(n.attribute("si").value());
                    if (lead != groups.end()) {
                        std::string moved;
                        const std::string& formula = leadFormulas[lead->first];
                        if (!formula.empty() &&
                            shiftFormula(formula, long(r) - long(lead->second.row),
                                         long(cell.column) - long(lead->second.column), moved)) {
                            for (const char* name : {"t", "si", "ref"})
                                n.remove_attribute(name);
                            n.text().set(moved.c_str());
                        } else {
                            doc.remove_child(n);
                        }
                        changed = true;
                    }
                }
                n = next;
            }
            if (changed)
                raw.inner = serializeChildren(doc);
        }
}

void describeXmlCell(const RawCell& raw, CellInfo& info) {
    pugi::xml_document doc;
    std::string xml = "<c" + raw.attrs + ">" + raw.inner + "</c>";
    doc.load_buffer(xml.data(), xml.size());
    pugi::xml_node c = doc.first_child();
    std::string_view type = c.attribute("t").value();
    if (pugi::xml_node f = childByLocalName(c, "f")) {
        info.type = CellType::Formula;
        info.text = f.text().get();
    } else if (type == "e") {
        info.type = CellType::Error;
        info.text = childByLocalName(c, "v").text().get();
    } else if (type == "inlineStr" || type == "str") {
        info.type = CellType::Text;
        pugi::xml_node is = childByLocalName(c, "is");
        if (is) {
            for (pugi::xml_node k = is.first_child(); k; k = k.next_sibling()) {
                if (localName(k) == "t")
                    info.text += k.text().get();
                else if (localName(k) == "r")
                    info.text += childByLocalName(k, "t").text().get();
            }
            info.text = decodeCellText(info.text);
        } else {
            info.text = childByLocalName(c, "v").text().get();
        }
    }
}

} // namespace workbookfile
