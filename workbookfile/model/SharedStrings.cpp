#include "SharedStrings.h"

#include "PackageNames.h"
#include "Workbook.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>
#include <charconv>

namespace workbookfile {

namespace {

// Text of a string item: its <t>, or the <t> of each rich-text run; phonetic runs are not text.
std::string itemText(const pugi::xml_node& si, bool& plain) {
    std::string out;
    plain = true;
    for (pugi::xml_node c = si.first_child(); c; c = c.next_sibling()) {
        std::string_view name = localName(c);
        if (name == "t") {
            out += c.text().get();
        } else if (name == "r") {
            plain = false;
            if (pugi::xml_node t = childByLocalName(c, "t"))
                out += t.text().get();
        } else if (name == "rPh") {
            plain = false;
        }
    }
    return decodeCellText(out);
}

// Where each string item of a table's body begins and ends; nothing when the body holds anything
// but items and the blanks between them, which is then kept as it is.
std::vector<std::pair<std::size_t, std::size_t>> itemSpans(std::string_view body, const std::string& prefix) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    const std::string open = "<" + prefix + "si", close = "</" + prefix + "si>";
    std::size_t at = 0;
    for (;;) {
        at = body.find_first_not_of(" \t\r\n", at);
        if (at == std::string_view::npos)
            return spans;
        if (body.compare(at, open.size(), open) != 0 || at + open.size() >= body.size() ||
            std::string_view(" \t\r\n/>").find(body[at + open.size()]) == std::string_view::npos)
            return {};
        const std::size_t tagEnd = body.find('>', at);
        if (tagEnd == std::string_view::npos)
            return {};
        std::size_t end = tagEnd + 1;
        if (body[tagEnd - 1] != '/') {
            const std::size_t closeAt = body.find(close, tagEnd);
            // An item holds no item: one more opening before the close is not a table read right.
            const std::size_t nested = body.find(open, tagEnd);
            if (closeAt == std::string_view::npos || (nested != std::string_view::npos && nested < closeAt))
                return {};
            end = closeAt + close.size();
        }
        spans.emplace_back(at, end);
        at = end;
    }
}

} // namespace

void SharedStrings::load(std::string xml, std::string_view partName) {
    pugi::xml_document doc;
    parsePart(doc, xml, partName);
    pugi::xml_node root = rootElement(doc);
    if (localName(root) != "sst")
        throw Error(ErrorKind::Damaged,
                    "The part \"" + std::string(partName) + "\" is not a shared string table.");
    RootSpan span;
    if (!findRootSpan(xml, span))
        throw Error(ErrorKind::Damaged,
                    "The part \"" + std::string(partName) + "\" is not a shared string table.");
    for (pugi::xml_node si = root.first_child(); si; si = si.next_sibling()) {
        if (si.type() != pugi::node_element || localName(si) != "si")
            continue;
        bool plain;
        std::string text = itemText(si, plain);
        if (plain)
            _index.emplace(text, std::uint32_t(_texts.size()));
        _texts.push_back(std::move(text));
    }
    _originalCount = _texts.size();
    _fileReferences = -1;
    if (pugi::xml_attribute count = root.attribute("count")) {
        std::string_view text = count.value();
        unsigned long long value = 0;
        auto res = std::from_chars(text.data(), text.data() + text.size(), value);
        if (res.ec == std::errc() && res.ptr == text.data() + text.size() && value <= (1ull << 62))
            _fileReferences = (long long)value;
    }
    _references = _fileReferences;
    _original = std::move(xml);
}

std::uint32_t SharedStrings::intern(std::string_view text) {
    auto [it, inserted] = _index.try_emplace(std::string(text), std::uint32_t(_texts.size()));
    if (inserted)
        _texts.emplace_back(text);
    return it->second;
}

std::string SharedStrings::serialize(const std::vector<bool>& unused) const {
    auto isUnused = [&](std::size_t i) { return i < unused.size() && unused[i]; };
    std::string out;
    std::string prefix;
    std::string_view body;
    if (_original.empty()) {
        out = std::string(kXmlDeclaration) + "<sst xmlns=\"" + kMainNamespace + "\"";
    } else {
        RootSpan span;
        findRootSpan(_original, span);
        std::string_view orig(_original);
        std::size_t tagEnd = span.selfClosing ? span.contentBegin : span.contentBegin - 1; // at '/' or '>'
        std::string_view tag = orig.substr(span.startTagBegin, tagEnd - span.startTagBegin);
        std::size_t nameEnd = tag.find_first_of(" \t\r\n");
        std::string_view qname =
            tag.substr(1, nameEnd == std::string_view::npos ? tag.size() - 1 : nameEnd - 1);
        std::size_t colon = qname.find(':');
        if (colon != std::string_view::npos)
            prefix = std::string(qname.substr(0, colon + 1));
        out.append(orig.substr(0, span.startTagBegin));
        // Copy the start tag without its counts, which are rewritten.
        std::string tagText(tag);
        for (const char* attr : {" count=\"", " uniqueCount=\""}) {
            std::size_t at = tagText.find(attr);
            if (at == std::string::npos)
                continue;
            std::size_t end = tagText.find('"', at + std::char_traits<char>::length(attr));
            if (end != std::string::npos)
                tagText.erase(at, end + 1 - at);
        }
        out += tagText;
        body = span.selfClosing ? std::string_view()
                                : orig.substr(span.contentBegin, span.contentEnd - span.contentBegin);
    }
    if (_references >= 0)
        out += " count=\"" + std::to_string(_references) + "\"";
    out += " uniqueCount=\"" + std::to_string(_texts.size()) + "\">";
    const std::string blank = "<" + prefix + "si><" + prefix + "t/></" + prefix + "si>";
    const auto spans =
        std::any_of(unused.begin(), unused.begin() + std::ptrdiff_t(std::min(unused.size(), _originalCount)),
                    [](bool u) { return u; })
            ? itemSpans(body, prefix)
            : std::vector<std::pair<std::size_t, std::size_t>>();
    if (spans.size() == _originalCount && !spans.empty()) {
        std::size_t copied = 0;
        for (std::size_t i = 0; i < spans.size(); ++i) {
            out.append(body.substr(copied, spans[i].first - copied));
            if (isUnused(i))
                out += blank;
            else
                out.append(body.substr(spans[i].first, spans[i].second - spans[i].first));
            copied = spans[i].second;
        }
        out.append(body.substr(copied));
    } else {
        out.append(body);
    }
    for (std::size_t i = _originalCount; i < _texts.size(); ++i) {
        const std::string& t = _texts[i];
        if (isUnused(i)) {
            out += blank;
            continue;
        }
        out += "<" + prefix + "si><" + prefix + "t";
        if (needsSpacePreserve(t))
            out += " xml:space=\"preserve\"";
        out += '>';
        appendCellText(out, t);
        out += "</" + prefix + "t></" + prefix + "si>";
    }
    out += "</" + prefix + "sst>";
    return out;
}

void appendDescribedString(std::string& xml, std::string_view text, bool plain) {
    xml += plain ? "<si><t xml:space=\"preserve\">" : "<si><r><t xml:space=\"preserve\">";
    appendCellText(xml, text);
    xml += plain ? "</t></si>" : "</t></r></si>";
}

} // namespace workbookfile
