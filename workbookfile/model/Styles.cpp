#include "Styles.h"

#include "SheetFormats.h"
#include "Utf.h"
#include "Workbook.h"
#include "XmlDom.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace workbookfile {

namespace {

const char* builtinFormat(std::uint32_t id) {
    switch (id) {
    case 0:
        return "General";
    case 1:
        return "0";
    case 2:
        return "0.00";
    case 3:
        return "#,##0";
    case 4:
        return "#,##0.00";
    case 9:
        return "0%";
    case 10:
        return "0.00%";
    case 11:
        return "0.00E+00";
    case 12:
        return "# ?/?";
    case 13:
        return "# ?\?/??";
    case 14:
        return "mm-dd-yy";
    case 15:
        return "d-mmm-yy";
    case 16:
        return "d-mmm";
    case 17:
        return "mmm-yy";
    case 18:
        return "h:mm AM/PM";
    case 19:
        return "h:mm:ss AM/PM";
    case 20:
        return "h:mm";
    case 21:
        return "h:mm:ss";
    case 22:
        return "m/d/yy h:mm";
    case 37:
        return "#,##0 ;(#,##0)";
    case 38:
        return "#,##0 ;[Red](#,##0)";
    case 39:
        return "#,##0.00;(#,##0.00)";
    case 40:
        return "#,##0.00;[Red](#,##0.00)";
    case 45:
        return "mm:ss";
    case 46:
        return "[h]:mm:ss";
    case 47:
        return "mmss.0";
    case 48:
        return "##0.0E+0";
    case 49:
        return "@";
    default:
        return nullptr;
    }
}

// Codes that are safe to store as built-in ids (they do not depend on the reader's locale).
bool builtinIdFor(std::string_view code, std::uint32_t& id) {
    static const std::pair<const char*, std::uint32_t> table[] = {
        {"General", 0}, {"0", 1},      {"0.00", 2},      {"#,##0", 3}, {"#,##0.00", 4},
        {"0%", 9},      {"0.00%", 10}, {"0.00E+00", 11}, {"@", 49}};
    for (const auto& [text, value] : table)
        if (code == text) {
            id = value;
            return true;
        }
    return false;
}

std::uint32_t attrU32(const pugi::xml_node& node, const char* name) {
    return std::uint32_t(node.attribute(name).as_uint(0));
}

bool truthy(const pugi::xml_node& node) {
    pugi::xml_attribute val = node.attribute("val");
    if (!val)
        return true;
    std::string_view v = val.value();
    return !(v == "0" || v == "false");
}

// Font properties that are on when present without a value.
bool isFlag(std::string_view name) {
    for (std::string_view flag : {"b", "i", "strike", "condense", "extend", "outline", "shadow"})
        if (name == flag)
            return true;
    return false;
}

// A text of every property of a format element: attributes and children in any order compare equal,
// and so do the ways of writing a font flag ("<b/>", "<b val=\"1\"/>", an absent one and "0").
void appendKey(std::string& out, const pugi::xml_node& node) {
    const std::string_view name = localName(node);
    if (isFlag(name)) {
        if (truthy(node))
            out.append("<").append(name).append("/>");
        return;
    }
    out.append("<").append(name);
    std::vector<std::pair<std::string_view, std::string_view>> attributes;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        attributes.emplace_back(a.name(), a.value());
    std::sort(attributes.begin(), attributes.end());
    for (const auto& [key, value] : attributes)
        out.append(" ").append(key).append("=\"").append(value).append("\"");
    out += '>';
    std::vector<std::string> children;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) {
            std::string child;
            appendKey(child, c);
            if (!child.empty())
                children.push_back(std::move(child));
        } else if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
            children.emplace_back(c.value());
        }
    }
    std::sort(children.begin(), children.end());
    for (const std::string& child : children)
        out += child;
    out += "</>";
}

std::string keyOf(const pugi::xml_node& node) {
    std::string key;
    appendKey(key, node);
    return key;
}

} // namespace

void Styles::load(const std::string& xml, std::string_view partName) {
    parsePart(_doc, xml, partName);
    _root = rootElement(_doc);
    if (localName(_root) != "styleSheet")
        throw Error(ErrorKind::Damaged, "The part \"" + std::string(partName) + "\" is not a style sheet.");
    _prefix = prefixOf(_root.name());
    _fonts = childByLocalName(_root, "fonts");
    _cellXfs = childByLocalName(_root, "cellXfs");
    if (!_fonts || !_cellXfs)
        throw Error(ErrorKind::Damaged,
                    "The style sheet \"" + std::string(partName) + "\" lacks its fonts or cell formats.");
    for (pugi::xml_node f = _fonts.first_child(); f; f = f.next_sibling())
        if (f.type() == pugi::node_element && localName(f) == "font")
            _fontNodes.push_back(f);
    for (pugi::xml_node x = _cellXfs.first_child(); x; x = x.next_sibling())
        if (x.type() == pugi::node_element && localName(x) == "xf")
            _xfs.push_back(x);
    if (_fontNodes.empty() || _xfs.empty())
        throw Error(ErrorKind::Damaged,
                    "The style sheet \"" + std::string(partName) + "\" has no font or no cell format.");
    if (pugi::xml_node numFmts = childByLocalName(_root, "numFmts")) {
        for (pugi::xml_node n = numFmts.first_child(); n; n = n.next_sibling()) {
            if (n.type() != pugi::node_element || localName(n) != "numFmt")
                continue;
            std::uint32_t id = attrU32(n, "numFmtId");
            std::string code = n.attribute("formatCode").value();
            _customFormats[id] = code;
            _formatIds.emplace(code, id);
            if (id >= _nextFormatId)
                _nextFormatId = id + 1;
        }
    }
    _changed = false;
}

std::string Styles::serialize() const {
    return serializePart(_doc);
}

pugi::xml_node Styles::xfAt(std::uint32_t xf) const {
    return _xfs[xf < _xfs.size() ? xf : 0];
}

std::uint32_t Styles::numFmtIdOf(pugi::xml_node xf) const {
    return attrU32(xf, "numFmtId");
}

std::uint32_t Styles::fontIdOf(pugi::xml_node xf) const {
    std::uint32_t id = attrU32(xf, "fontId");
    return id < _fontNodes.size() ? id : 0;
}

bool Styles::isBold(std::uint32_t xf) const {
    pugi::xml_node font = _fontNodes[fontIdOf(xfAt(xf))];
    pugi::xml_node b = childByLocalName(font, "b");
    return b && truthy(b);
}

bool Styles::isGeneral(std::uint32_t xf) const {
    // Some programs (xlwt) define "General" again as a number format of their own.
    const std::uint32_t id = numFmtIdOf(xfAt(xf));
    if (id == 0)
        return true;
    const auto it = _customFormats.find(id);
    return it != _customFormats.end() && lowerAscii(it->second) == "general";
}

bool Styles::isLocked(std::uint32_t xf) const {
    pugi::xml_node protection = childByLocalName(xfAt(xf), "protection");
    return !protection || booleanAttribute(protection, "locked", true);
}

std::string Styles::numberFormat(std::uint32_t xf) const {
    std::uint32_t id = numFmtIdOf(xfAt(xf));
    auto it = _customFormats.find(id);
    if (it != _customFormats.end())
        return it->second;
    const char* builtin = builtinFormat(id);
    return builtin ? builtin : "General";
}

void Styles::updateCount(pugi::xml_node list, std::size_t count) {
    pugi::xml_attribute a = list.attribute("count");
    if (!a)
        a = list.append_attribute("count");
    a.set_value(std::to_string(count).c_str());
}

std::uint32_t Styles::reuseOrKeep(pugi::xml_node list, std::vector<pugi::xml_node>& nodes,
                                  std::unordered_map<std::string, std::uint32_t>& keys,
                                  pugi::xml_node candidate) {
    if (keys.empty())
        for (std::size_t i = 0; i < nodes.size(); ++i)
            keys.emplace(keyOf(nodes[i]), std::uint32_t(i));
    auto [it, added] = keys.emplace(keyOf(candidate), std::uint32_t(nodes.size()));
    if (!added) {
        list.remove_child(candidate);
        return it->second;
    }
    nodes.push_back(candidate);
    updateCount(list, nodes.size());
    _changed = true;
    return it->second;
}

std::uint32_t Styles::addXf(pugi::xml_node base, const char* idAttr, std::uint32_t id,
                            const char* applyAttr) {
    pugi::xml_node copy = _cellXfs.append_copy(base);
    // A cell style's own format (a binary codec describes those too) is never a cell's: the copy,
    // which is one, differs from it.
    copy.remove_attribute(kCellStyleAttribute);
    pugi::xml_attribute a = copy.attribute(idAttr);
    if (!a)
        a = copy.append_attribute(idAttr);
    a.set_value(std::to_string(id).c_str());
    pugi::xml_attribute apply = copy.attribute(applyAttr);
    if (!apply)
        apply = copy.append_attribute(applyAttr);
    apply.set_value("1");
    return reuseOrKeep(_cellXfs, _xfs, _xfKeys, copy);
}

std::uint32_t Styles::boldFont(std::uint32_t fontId, bool bold) {
    auto memo = _boldFontMemo[bold].find(fontId);
    if (memo != _boldFontMemo[bold].end())
        return memo->second;
    pugi::xml_node font = _fonts.append_copy(_fontNodes[fontId]);
    for (pugi::xml_node b = childByLocalName(font, "b"); b; b = childByLocalName(font, "b"))
        font.remove_child(b);
    if (bold)
        font.prepend_child((_prefix + "b").c_str());
    const std::uint32_t result = reuseOrKeep(_fonts, _fontNodes, _fontKeys, font);
    _boldFontMemo[bold][fontId] = result;
    return result;
}

std::uint32_t Styles::withBold(std::uint32_t xf, bool bold) {
    if (xf >= _xfs.size())
        xf = 0;
    if (isBold(xf) == bold)
        return xf;
    auto key = std::make_pair(xf, std::uint32_t(bold));
    auto memo = _boldMemo.find(key);
    if (memo != _boldMemo.end())
        return memo->second;
    pugi::xml_node base = xfAt(xf);
    std::uint32_t result = addXf(base, "fontId", boldFont(fontIdOf(base), bold), "applyFont");
    _boldMemo[key] = result;
    return result;
}

pugi::xml_node Styles::ensureNumFmts() {
    pugi::xml_node numFmts = childByLocalName(_root, "numFmts");
    if (!numFmts)
        numFmts = _root.prepend_child((_prefix + "numFmts").c_str());
    return numFmts;
}

std::uint32_t Styles::formatIdFor(std::string_view code) {
    std::uint32_t id;
    if (builtinIdFor(code, id))
        return id;
    auto it = _formatIds.find(std::string(code));
    if (it != _formatIds.end())
        return it->second;
    id = _nextFormatId++;
    pugi::xml_node numFmts = ensureNumFmts();
    pugi::xml_node n = numFmts.append_child((_prefix + "numFmt").c_str());
    n.append_attribute("numFmtId").set_value(std::to_string(id).c_str());
    n.append_attribute("formatCode").set_value(std::string(code).c_str());
    _customFormats[id] = std::string(code);
    _formatIds.emplace(std::string(code), id);
    updateCount(numFmts, _customFormats.size());
    _changed = true;
    return id;
}

std::uint32_t Styles::withNumberFormat(std::uint32_t xf, std::string_view code) {
    if (xf >= _xfs.size())
        xf = 0;
    if (code.find('\0') != std::string_view::npos)
        throw Error(ErrorKind::InvalidArgument, "A number format cannot contain a null character.");
    return withFormatId(xf, formatIdFor(code));
}

std::uint32_t Styles::withFormatId(std::uint32_t xf, std::uint32_t id) {
    if (xf >= _xfs.size())
        xf = 0;
    if (numFmtIdOf(xfAt(xf)) == id)
        return xf;
    auto key = std::make_pair(xf, id);
    auto memo = _formatMemo.find(key);
    if (memo != _formatMemo.end())
        return memo->second;
    std::uint32_t result = addXf(xfAt(xf), "numFmtId", id, "applyNumberFormat");
    _formatMemo[key] = result;
    return result;
}

std::uint32_t Styles::withDateFormat(std::uint32_t xf, bool withTime) {
    // The built-in short date (and date-time) formats follow the reader's locale.
    return withFormatId(xf, withTime ? 22 : 14);
}

} // namespace workbookfile
