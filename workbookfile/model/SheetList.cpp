// The workbook's list of sheets: adding worksheets, positions among worksheets and among all tabs,
// and names, unique without regard to case.

#include "WorkbookState.h"

#include "PartNames.h"
#include "Switchboard.h"

#include "SheetNames.h"
#include "XmlDom.h"

namespace workbookfile {

Worksheet& Workbook::Impl::addSheet(std::size_t after, std::string name) {
    std::string part;
    const Codec& codec = addNewSheetPart(*this, part);
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

    // Sheet-local defined names and the active tab refer to sheets by position: a sheet inserted
    // before others moves theirs.
    pugi::xml_node root = rootElement(workbookXml);
    if (pugi::xml_node names =
            after < tabs.size() ? childByLocalName(root, "definedNames") : pugi::xml_node())
        for (pugi::xml_node n = names.first_child(); n; n = n.next_sibling())
            if (pugi::xml_attribute local = n.attribute("localSheetId");
                local && local.as_uint() >= nodeIndex)
                local.set_value(local.as_uint() + 1);
    if (pugi::xml_node views = after < tabs.size() ? childByLocalName(root, "bookViews") : pugi::xml_node())
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
    impl->codec = &codec;
    impl->madeHere = true;
    codec.startNewSheet(*impl);
    std::unique_ptr<Worksheet> sheet(new Worksheet(std::move(impl)));
    Worksheet& ref = *sheet;
    const auto index = std::count_if(tabs.begin(), tabs.begin() + std::ptrdiff_t(after),
                                     [](const SheetEntry& tab) { return tab.worksheet != nullptr; });
    sheets.insert(sheets.begin() + index, std::move(sheet));
    // A sheet added last moves none: the index takes it in; one inserted before others moves them.
    if (!nameIndexStale && after == tabs.size() && std::size_t(index) + 1 == sheets.size()) {
        tabByName.emplace(ref.impl().foldedName, tabs.size());
        worksheetByName.emplace(ref.impl().foldedName, sheets.size() - 1);
    } else {
        nameIndexStale = true;
    }
    tabs.insert(tabs.begin() + std::ptrdiff_t(after), {node, SheetType::Worksheet, &ref, part});
    return ref;
}

int Workbook::Impl::positionOf(const Worksheet* sheet) const {
    // The name index knows where a sheet stands; a damaged file's second sheet of a name is looked for.
    indexNames();
    if (auto it = worksheetByName.find(sheet->impl().foldedName);
        it != worksheetByName.end() && sheets[it->second].get() == sheet)
        return int(it->second + 1);
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i].get() == sheet)
            return int(i + 1);
    return 0;
}

int Workbook::Impl::tabPositionOf(const Worksheet* sheet) const {
    indexNames();
    if (auto it = tabByName.find(sheet->impl().foldedName);
        it != tabByName.end() && tabs[it->second].worksheet == sheet)
        return int(it->second + 1);
    for (std::size_t i = 0; i < tabs.size(); ++i)
        if (tabs[i].worksheet == sheet)
            return int(i + 1);
    return 0;
}

void Workbook::Impl::indexSheetNode(pugi::xml_node node) {
    maxSheetId = std::max(maxSheetId, node.attribute("sheetId").as_uint(0));
    foldedSheetNames.insert(foldSheetName(node.attribute("name").value()));
}

void Workbook::Impl::indexNames() const {
    if (!nameIndexStale)
        return;
    tabByName.clear();
    worksheetByName.clear();
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        const SheetEntry& tab = tabs[i];
        tabByName.emplace(tab.worksheet ? tab.worksheet->impl().foldedName
                                        : foldSheetName(tab.node.attribute("name").value()),
                          i);
    }
    for (std::size_t i = 0; i < sheets.size(); ++i)
        worksheetByName.emplace(sheets[i]->impl().foldedName, i);
    nameIndexStale = false;
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
    // The index follows the name; another sheet of the old name (a damaged file may hold two) is
    // found from now on, which a rebuilt index sees.
    std::size_t tab = 0, worksheet = 0;
    if (!nameIndexStale) {
        const auto t = tabByName.find(d.foldedName), w = worksheetByName.find(d.foldedName);
        if (foldedSheetNames.count(d.foldedName) || t == tabByName.end() || w == worksheetByName.end()) {
            nameIndexStale = true;
        } else {
            tab = t->second;
            worksheet = w->second;
            tabByName.erase(t);
            worksheetByName.erase(w);
        }
    }
    d.name = std::string(newName);
    d.foldedName = foldSheetName(d.name);
    foldedSheetNames.insert(d.foldedName);
    if (!nameIndexStale) {
        tabByName.emplace(d.foldedName, tab);
        worksheetByName.emplace(d.foldedName, worksheet);
    }
    d.node.attribute("name").set_value(d.name.c_str());
    workbookChanged = true;
}

} // namespace workbookfile
