#pragma once

// Names in the package: the folder of a part with its slash ("xl/" for "xl/workbook.xml"), the
// part a relationship target names from a folder, the relationships part of a part, relationship
// types.

#include "Workbook.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace workbookfile {

bool endsWith(std::string_view s, std::string_view suffix);
std::string partFolder(const std::string& part);
// Resolves a relationship target against the folder of its source part ("" or "xl/").
std::string resolveTarget(const std::string& baseDir, std::string_view target);
std::string relationshipsPartOf(const std::string& part);
// Removes the relationship with that id from a relationships document; false when there is none.
bool removeRelationship(const pugi::xml_document& rels, std::string_view id);
// A relationship type of kRelNamespace ("worksheet", "styles", ...).
std::string relationshipType(std::string_view suffix);
// The content type of a part as the package's [Content_Types].xml gives it: its Override (part
// names compared without regard to ASCII case), else the Default of its extension (the same),
// else "".
std::string contentTypeOf(const pugi::xml_document& contentTypes, const std::string& part);
// What a relationship of that type from the workbook part points at.
SheetType sheetTypeOf(std::string_view relationshipType);

} // namespace workbookfile
