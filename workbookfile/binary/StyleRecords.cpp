#include "StyleRecords.h"

#include "XmlDom.h"

namespace workbookfile {

std::string hexOf(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string bytesOf(std::string_view hex) {
    auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>((value(hex[i]) << 4) | value(hex[i + 1]));
    return out;
}

bool isBoldFont(const pugi::xml_node& font) {
    pugi::xml_node b = childByLocalName(font, "b");
    if (!b)
        return false;
    std::string_view v = b.attribute("val").value();
    return !(v == "0" || v == "false");
}

bool isLockedFormat(const pugi::xml_node& xf) {
    pugi::xml_node protection = childByLocalName(xf, "protection");
    return !protection || std::string_view(protection.attribute("locked").value()) != "0";
}

std::uint32_t u32Attribute(const pugi::xml_node& node, const char* name) {
    return std::uint32_t(node.attribute(name).as_uint(0));
}

std::vector<pugi::xml_node> childElements(const pugi::xml_node& parent, std::string_view name) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && localName(n) == name)
            out.push_back(n);
    return out;
}

} // namespace workbookfile
