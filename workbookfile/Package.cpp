#include "Internal.h"
#include "NewParts.h"
#include "PackageNames.h"
#include "Utf.h"
#include "Xlsb.h"

#include "SheetNames.h"
#include "SheetXml.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>

namespace workbookfile {

SheetType sheetTypeOf(std::string_view relationshipType) {
    if (endsWith(relationshipType, "/worksheet"))
        return SheetType::Worksheet;
    if (endsWith(relationshipType, "/chartsheet"))
        return SheetType::Chartsheet;
    if (endsWith(relationshipType, "/dialogsheet"))
        return SheetType::Dialogsheet;
    if (endsWith(relationshipType, "/xlMacrosheet") || endsWith(relationshipType, "/xlIntlMacrosheet"))
        return SheetType::Macrosheet;
    return SheetType::Other;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Resolves a relationship target against the folder of its source part ("" or "xl/").
std::string resolveTarget(const std::string& baseDir, std::string_view target) {
    std::string joined = (!target.empty() && target.front() == '/') ? std::string(target.substr(1))
                                                                    : baseDir + std::string(target);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        std::string seg = joined.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string partFolder(const std::string& part) {
    std::size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::string relationshipType(std::string_view suffix) {
    return std::string(kRelNamespace) + "/" + std::string(suffix);
}

std::string* Workbook::Impl::memoryPart(std::string_view name) {
    auto it = memoryIndex.find(lowerAscii(name));
    return it == memoryIndex.end() ? nullptr : &memoryParts[it->second].second;
}

bool Workbook::Impl::hasPart(std::string_view name) const {
    std::string key = lowerAscii(name);
    if (removedParts.count(key))
        return false;
    return memoryIndex.count(key) || (source && source->find(name) >= 0);
}

std::string Workbook::Impl::readPart(std::string_view name) {
    std::string key = lowerAscii(name);
    if (!removedParts.count(key)) {
        if (std::string* part = memoryPart(name))
            return *part;
        if (source) {
            long index = source->find(name);
            if (index >= 0)
                return source->read(std::size_t(index));
        }
    }
    throw Error(ErrorKind::Damaged, "The workbook lacks its part \"" + std::string(name) + "\".");
}

void Workbook::Impl::setPart(const std::string& name, std::string content) {
    std::string key = lowerAscii(name);
    removedParts.erase(key);
    auto [it, inserted] = memoryIndex.try_emplace(key, memoryParts.size());
    if (inserted)
        memoryParts.emplace_back(name, std::move(content));
    else
        memoryParts[it->second].second = std::move(content);
}

void Workbook::Impl::removePart(const std::string& name) {
    std::string key = lowerAscii(name);
    auto it = memoryIndex.find(key);
    if (it != memoryIndex.end()) {
        memoryParts.erase(memoryParts.begin() + std::ptrdiff_t(it->second));
        memoryIndex.clear();
        for (std::size_t i = 0; i < memoryParts.size(); ++i)
            memoryIndex.emplace(lowerAscii(memoryParts[i].first), i);
    }
    removedParts.insert(key);
}

std::string Workbook::Impl::newPartName(const std::string& stem, const std::string& extension,
                                        bool numbered) const {
    auto taken = [&](const std::string& name) {
        return memoryIndex.count(lowerAscii(name)) || (source && source->find(name) >= 0);
    };
    if (!numbered && !taken(stem + extension))
        return stem + extension;
    auto hint = nextPartNumber.find(stem);
    for (int n = hint == nextPartNumber.end() ? 1 : hint->second;; ++n) {
        std::string name = stem + std::to_string(n) + extension;
        if (!taken(name)) {
            const_cast<Impl*>(this)->nextPartNumber[stem] = n + 1;
            return name;
        }
    }
}

std::string Workbook::Impl::relativeTarget(const std::string& part) const {
    if (part.compare(0, workbookDir.size(), workbookDir) == 0)
        return part.substr(workbookDir.size());
    return "/" + part;
}

std::string Workbook::Impl::addRelationship(const std::string& type, const std::string& target) {
    pugi::xml_node root = rootElement(workbookRels);
    std::string id;
    for (std::size_t n = relIds.size() + 1;; ++n) {
        id = "rId" + std::to_string(n);
        if (!relIds.count(id))
            break;
    }
    relIds.insert(id);
    pugi::xml_node rel = root.append_child((prefixOf(root.name()) + "Relationship").c_str());
    rel.append_attribute("Id").set_value(id.c_str());
    rel.append_attribute("Type").set_value(type.c_str());
    rel.append_attribute("Target").set_value(target.c_str());
    workbookRelsChanged = true;
    return id;
}

void Workbook::Impl::appendOverride(const std::string& part, const std::string& contentType) {
    pugi::xml_node root = rootElement(contentTypes);
    pugi::xml_node o = root.append_child((prefixOf(root.name()) + "Override").c_str());
    o.append_attribute("PartName").set_value(("/" + part).c_str());
    o.append_attribute("ContentType").set_value(contentType.c_str());
    contentTypesChanged = true;
}

void Workbook::Impl::setOverride(const std::string& part, const std::string& contentType) {
    pugi::xml_node root = rootElement(contentTypes);
    std::string partName = "/" + part;
    std::string key = lowerAscii(partName);
    for (pugi::xml_node o = root.first_child(); o; o = o.next_sibling())
        if (o.type() == pugi::node_element && localName(o) == "Override" &&
            lowerAscii(o.attribute("PartName").value()) == key) {
            if (contentType != o.attribute("ContentType").value()) {
                o.attribute("ContentType").set_value(contentType.c_str());
                contentTypesChanged = true;
            }
            return;
        }
    appendOverride(part, contentType);
}

void Workbook::Impl::removeOverride(const std::string& part) {
    pugi::xml_node root = rootElement(contentTypes);
    std::string key = lowerAscii("/" + part);
    for (pugi::xml_node o = root.first_child(); o;) {
        pugi::xml_node next = o.next_sibling();
        if (o.type() == pugi::node_element && localName(o) == "Override" &&
            lowerAscii(o.attribute("PartName").value()) == key) {
            root.remove_child(o);
            contentTypesChanged = true;
        }
        o = next;
    }
}

std::string Workbook::Impl::relationshipTarget(std::string_view typeSuffix, std::string* id) const {
    pugi::xml_node root = rootElement(workbookRels);
    std::string suffix = "/" + std::string(typeSuffix);
    for (pugi::xml_node r = root.first_child(); r; r = r.next_sibling()) {
        if (r.type() != pugi::node_element || !endsWith(r.attribute("Type").value(), suffix))
            continue;
        if (std::string_view(r.attribute("TargetMode").value()) == "External")
            continue;
        if (id)
            *id = r.attribute("Id").value();
        return resolveTarget(workbookDir, r.attribute("Target").value());
    }
    return {};
}

void Workbook::Impl::loadPackage() {
    if (!hasPart("[Content_Types].xml"))
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it has no content types part.");
    parsePart(contentTypes, readPart("[Content_Types].xml"), "[Content_Types].xml");
    if (!hasPart("_rels/.rels"))
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it has no package relationships.");
    pugi::xml_document rootRels;
    parsePart(rootRels, readPart("_rels/.rels"), "_rels/.rels");
    for (pugi::xml_node r = rootElement(rootRels).first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element && endsWith(r.attribute("Type").value(), "/officeDocument"))
            workbookPart = resolveTarget("", r.attribute("Target").value());
    if (workbookPart.empty() || !hasPart(workbookPart))
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it has no workbook part.");

    std::string mainType;
    std::string partKey = lowerAscii("/" + workbookPart);
    for (pugi::xml_node o = rootElement(contentTypes).first_child(); o; o = o.next_sibling())
        if (localName(o) == "Override" && lowerAscii(o.attribute("PartName").value()) == partKey)
            mainType = o.attribute("ContentType").value();
    if (mainType.find("ms-excel.sheet.binary") != std::string::npos) {
        loadXlsbPackage();
        return;
    }
    if (mainType.find("spreadsheetml.sheet.main") == std::string::npos &&
        mainType.find("spreadsheetml.template.main") == std::string::npos &&
        mainType.find("ms-excel.sheet.macroEnabled.main") == std::string::npos &&
        mainType.find("ms-excel.template.macroEnabled.main") == std::string::npos)
        throw Error(ErrorKind::NotAWorkbook, "The file \"" + path + "\" is not a spreadsheet workbook.");
    format = mainType.find("macroEnabled") != std::string::npos ? FileFormat::Xlsm : FileFormat::Xlsx;

    workbookDir = partFolder(workbookPart);
    workbookRelsPart = relationshipsPartOf(workbookPart);
    parsePart(workbookXml, readPart(workbookPart), workbookPart);
    if (hasPart(workbookRelsPart))
        parsePart(workbookRels, readPart(workbookRelsPart), workbookRelsPart);
    else
        parsePart(workbookRels, emptyRelationships(), workbookRelsPart);

    pugi::xml_node root = rootElement(workbookXml);
    if (localName(root) != "workbook")
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: its main part is not a workbook.");
    if (!namespacePrefix(root, kRelNamespace, relPrefix) &&
        !namespacePrefix(root, kStrictRelNamespace, relPrefix)) {
        root.append_attribute("xmlns:r").set_value(kRelNamespace);
        relPrefix = "r:";
    }
    date1904 = booleanAttribute(childByLocalName(root, "workbookPr"), "date1904", false);
    structureLocked = booleanAttribute(childByLocalName(root, "workbookProtection"), "lockStructure", false);
    sheetsNode = childByLocalName(root, "sheets");
    if (!sheetsNode)
        throw Error(ErrorKind::Damaged, "The workbook part of \"" + path + "\" has no list of sheets.");

    // Relationship ids of the workbook part.
    struct Rel {
        std::string type, target;
    };
    std::vector<std::pair<std::string, Rel>> rels;
    for (pugi::xml_node r = rootElement(workbookRels).first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element)
            rels.push_back(
                {r.attribute("Id").value(),
                 {r.attribute("Type").value(), resolveTarget(workbookDir, r.attribute("Target").value())}});

    for (const auto& r : rels)
        relIds.insert(r.first);
    std::string idAttr = relPrefix + "id";
    for (pugi::xml_node s = sheetsNode.first_child(); s; s = s.next_sibling()) {
        if (s.type() != pugi::node_element || localName(s) != "sheet")
            continue;
        indexSheetNode(s);
        std::string id = s.attribute(idAttr.c_str()).value();
        auto rel = std::find_if(rels.begin(), rels.end(), [&](const auto& r) { return r.first == id; });
        if (rel == rels.end())
            throw Error(ErrorKind::Damaged, "The sheet \"" + std::string(s.attribute("name").value()) +
                                                "\" of \"" + path + "\" has no relationship to its part.");
        const SheetType type = sheetTypeOf(rel->second.type);
        if (type != SheetType::Worksheet) {
            tabs.push_back({s, type, nullptr, rel->second.target}); // kept untouched
            continue;
        }
        if (!hasPart(rel->second.target))
            throw Error(ErrorKind::Damaged, "The file \"" + path + "\" lacks the part \"" +
                                                rel->second.target + "\" of the worksheet \"" +
                                                s.attribute("name").value() + "\".");
        auto impl = std::make_unique<Worksheet::Impl>();
        impl->workbook = self;
        impl->name = s.attribute("name").value();
        impl->foldedName = foldSheetName(impl->name);
        impl->node = s;
        impl->part = rel->second.target;
        sheets.push_back(std::unique_ptr<Worksheet>(new Worksheet(std::move(impl))));
        tabs.push_back({s, type, sheets.back().get(), rel->second.target});
    }

    stylesPart = relationshipTarget("styles");
    if (!stylesPart.empty() && hasPart(stylesPart)) {
        styles.load(readPart(stylesPart), stylesPart);
    } else {
        stylesPart = newPartName(workbookDir + "styles", ".xml", false);
        std::string xml = Styles::emptyStyleSheet();
        styles.load(xml, stylesPart);
        setPart(stylesPart, xml);
        addRelationship(relationshipType("styles"), relativeTarget(stylesPart));
        setOverride(stylesPart, kStylesContentType);
    }
    stringsPart = relationshipTarget("sharedStrings");
    if (!stringsPart.empty() && hasPart(stringsPart)) {
        strings.load(readPart(stringsPart), stringsPart);
    } else {
        stringsPart.clear();
        refuseStringCellsWithoutTable();
    }
}

// A table made now would give such cells the texts written next: the file is damaged and is not
// to be reinterpreted. Only workbooks without a table pay for reading their sheets here.
void Workbook::Impl::refuseStringCellsWithoutTable() {
    for (const SheetEntry& tab : tabs) {
        if (tab.type == SheetType::Chartsheet || !hasPart(tab.part) ||
            countSharedStringCells(readPart(tab.part)) == 0)
            continue;
        throw Error(ErrorKind::Damaged, "The workbook \"" + path + "\" is damaged: its " +
                                            (tab.type == SheetType::Worksheet ? "worksheet" : "sheet") +
                                            " \"" + tab.node.attribute("name").value() +
                                            "\" has shared-string cells but no shared string table.");
    }
}

void Workbook::Impl::ensureLoaded(Worksheet::Impl& sheet) {
    if (sheet.loaded)
        return;
    if (sheet.binary) {
        loadXlsbSheet(*this, sheet);
        return;
    }
    std::string xml = readPart(sheet.part);
    refuseDoctype(xml, sheet.part);
    RootSpan span;
    if (!findRootSpan(xml, span))
        throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" is not XML.");
    std::size_t nameEnd = xml.find_first_of(" \t\r\n/>", span.startTagBegin + 1);
    std::string qname = xml.substr(span.startTagBegin + 1, nameEnd - span.startTagBegin - 1);
    std::string prefix = prefixOf(qname.c_str());
    if (localName(qname.c_str()) != "worksheet")
        throw Error(ErrorKind::Damaged, "The part \"" + sheet.part + "\" is not a worksheet.");
    std::string open = "<" + prefix + "sheetData";
    std::size_t start = span.contentBegin;
    for (;;) {
        start = xml.find(open, start);
        if (start == std::string::npos)
            throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" has no cell data.");
        char next = start + open.size() < xml.size() ? xml[start + open.size()] : '\0';
        if (next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\r' || next == '\n')
            break;
        start += open.size();
    }
    std::size_t tagEnd = xml.find('>', start);
    if (tagEnd == std::string::npos)
        throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" is truncated.");
    std::size_t end;
    SheetModel model;
    if (xml[tagEnd - 1] == '/') {
        end = tagEnd + 1;
    } else {
        std::string close = "</" + prefix + "sheetData>";
        std::size_t closeAt = xml.find(close, tagEnd);
        if (closeAt == std::string::npos)
            throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" is truncated.");
        end = closeAt + close.size();
        parseSheetData(std::string_view(xml).substr(start, end - start), model, sheet.part);
    }
    // Check that the rest of the part is well-formed too before keeping it verbatim.
    pugi::xml_document check;
    {
        std::string outer = xml.substr(0, start) + xml.substr(end);
        parsePart(check, outer, sheet.part);
        // The cell data found must be the worksheet's own, not text inside a comment.
        if (childByLocalName(rootElement(check), "sheetData"))
            throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part +
                                                "\" is malformed: its cell data cannot be located.");
    }
    sheet.head = xml.substr(0, start);
    sheet.tail = xml.substr(end);
    sheet.prefix = prefix;
    sheet.model = std::move(model);
    sheet.columnFormats = readColumnFormats(rootElement(check));
    sheet.protection = readSheetProtection(rootElement(check));
    sheet.stringCellsAtLoad = sheet.model.sharedStringCells();
    sheet.loaded = true;
}

Worksheet& Workbook::Impl::addSheet(std::size_t after, std::string name) {
    std::string part = newPartName(workbookDir + "worksheets/sheet", ".xml");
    setPart(part, newWorksheetXml());
    appendOverride(part, kWorksheetContentType);
    std::string relId = addRelationship(relationshipType("worksheet"), relativeTarget(part));

    std::string sheetName = prefixOf(sheetsNode.name()) + "sheet";
    pugi::xml_node node;
    if (after > 0)
        node = sheetsNode.insert_child_after(sheetName.c_str(), tabs[after - 1].node);
    else if (!tabs.empty())
        node = sheetsNode.insert_child_before(sheetName.c_str(), tabs.front().node);
    else
        node = sheetsNode.append_child(sheetName.c_str());
    const auto nodeIndex = unsigned(after); // position among all sheet elements
    node.append_attribute("name").set_value(name.c_str());
    node.append_attribute("sheetId").set_value(std::to_string(maxSheetId + 1).c_str());
    indexSheetNode(node);
    node.append_attribute((relPrefix + "id").c_str()).set_value(relId.c_str());
    workbookChanged = true;

    // Sheet-local defined names and the active tab refer to sheets by position.
    pugi::xml_node root = rootElement(workbookXml);
    if (pugi::xml_node names = childByLocalName(root, "definedNames"))
        for (pugi::xml_node n = names.first_child(); n; n = n.next_sibling())
            if (pugi::xml_attribute local = n.attribute("localSheetId");
                local && local.as_uint() >= nodeIndex)
                local.set_value(local.as_uint() + 1);
    if (pugi::xml_node views = childByLocalName(root, "bookViews"))
        for (pugi::xml_node v = views.first_child(); v; v = v.next_sibling())
            for (const char* attr : {"activeTab", "firstSheet"})
                if (pugi::xml_attribute a = v.attribute(attr); a && a.as_uint() >= nodeIndex)
                    a.set_value(a.as_uint() + 1);

    auto impl = std::make_unique<Worksheet::Impl>();
    impl->workbook = self;
    impl->foldedName = foldSheetName(name);
    impl->name = std::move(name);
    impl->node = node;
    impl->part = part;
    std::unique_ptr<Worksheet> sheet(new Worksheet(std::move(impl)));
    Worksheet& ref = *sheet;
    const auto index = std::count_if(tabs.begin(), tabs.begin() + std::ptrdiff_t(after),
                                     [](const SheetEntry& tab) { return tab.worksheet != nullptr; });
    sheets.insert(sheets.begin() + index, std::move(sheet));
    tabs.insert(tabs.begin() + std::ptrdiff_t(after), {node, SheetType::Worksheet, &ref, part});
    return ref;
}

int Workbook::Impl::positionOf(const Worksheet* sheet) const {
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i].get() == sheet)
            return int(i + 1);
    return 0;
}

int Workbook::Impl::tabPositionOf(const Worksheet* sheet) const {
    for (std::size_t i = 0; i < tabs.size(); ++i)
        if (tabs[i].worksheet == sheet)
            return int(i + 1);
    return 0;
}

void Workbook::Impl::indexSheetNode(pugi::xml_node node) {
    maxSheetId = std::max(maxSheetId, node.attribute("sheetId").as_uint(0));
    foldedSheetNames.insert(foldSheetName(node.attribute("name").value()));
}

bool Workbook::Impl::nameTaken(std::string_view name, const Worksheet* except) const {
    std::string key = foldSheetName(name);
    std::size_t count = foldedSheetNames.count(key);
    if (except && except->impl().foldedName == key)
        --count;
    return count > 0;
}

void Workbook::Impl::renameSheet(Worksheet& sheet, std::string_view newName) {
    checkSheetName(newName);
    if (newName != sheet.name())
        checkStructureUnlocked("rename the worksheet \"" + sheet.name() + "\"");
    if (nameTaken(newName, &sheet))
        throw Error(ErrorKind::LimitExceeded, "Cannot rename the worksheet \"" + sheet.name() + "\" to \"" +
                                                  std::string(newName) +
                                                  "\": another sheet already has that name.");
    Worksheet::Impl& d = sheet.impl();
    foldedSheetNames.erase(foldedSheetNames.find(d.foldedName));
    d.name = std::string(newName);
    d.foldedName = foldSheetName(d.name);
    foldedSheetNames.insert(d.foldedName);
    d.node.attribute("name").set_value(d.name.c_str());
    workbookChanged = true;
}

} // namespace workbookfile
