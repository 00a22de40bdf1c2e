// The parts of the package: those written or changed are held in memory, the others read from the
// source archive when needed; removing one hides it from both. Their content types follow them.

#include "Utf.h"
#include "WorkbookState.h"

#include "XmlDom.h"

#include <set>
#include <unordered_map>

namespace workbookfile {

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

std::vector<ZipItem>
Workbook::Impl::packageItems(int deflateLevel,
                             const std::function<void(ZipItem&, const Worksheet::Impl&)>& changedSheet) {
    std::unordered_map<std::string, const Worksheet::Impl*> changedSheets;
    for (const auto& s : sheets)
        if (s->impl().loaded && s->impl().changed)
            changedSheets.emplace(lowerAscii(s->impl().part), &s->impl());
    std::vector<ZipItem> items;
    std::set<std::string> placed;
    auto add = [&](const std::string& name, long sourceIndex) {
        ZipItem item;
        item.name = name;
        const std::string key = lowerAscii(name);
        if (auto sheet = changedSheets.find(key); sheet != changedSheets.end()) {
            const Worksheet::Impl& s = *sheet->second;
            if (s.packed)
                item.write = [this, &s, name](ZipWriter& zip) { addPacked(zip, s, name); };
            else
                changedSheet(item, s);
        } else if (const std::string* content = memoryPart(name)) {
            item.make = [name, content, deflateLevel] { return packEntry(name, *content, deflateLevel); };
        } else {
            item.sourceIndex = sourceIndex;
        }
        items.push_back(std::move(item));
    };
    if (source)
        for (std::size_t i = 0; i < source->count(); ++i) {
            const std::string& name = source->name(i);
            const std::string key = lowerAscii(name);
            if (removedParts.count(key) || name.empty() || name.back() == '/' || !placed.insert(key).second)
                continue;
            add(name, long(i));
        }
    for (const auto& p : memoryParts)
        if (placed.insert(lowerAscii(p.first)).second)
            add(p.first, -1);
    for (const SheetEntry& tab : tabs)
        if (tab.worksheet && changedSheets.count(lowerAscii(tab.part)) &&
            placed.insert(lowerAscii(tab.part)).second)
            add(tab.part, -1);
    return items;
}

} // namespace workbookfile
