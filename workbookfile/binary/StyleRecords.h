#pragma once

// What the two binary codecs share in describing their style records to the engine's style DOM:
// each font and cell format carries its record (x-record, in hexadecimal, without the properties
// the engine changes) beside the properties the engine reads, so that formats equal in every
// property compare equal and a format the engine derives keeps every property of the one it copies.

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

inline constexpr const char* kRecordAttribute = "x-record";

std::string hexOf(std::string_view bytes);
std::string bytesOf(std::string_view hex);

// A font element's <b/> (not <b val="0"/>).
bool isBoldFont(const pugi::xml_node& font);
// A cell format's <protection locked="0"/> is absent.
bool isLockedFormat(const pugi::xml_node& xf);
std::uint32_t u32Attribute(const pugi::xml_node& node, const char* name);
// The element children of parent with that local name, in order.
std::vector<pugi::xml_node> childElements(const pugi::xml_node& parent, std::string_view name);

} // namespace workbookfile
