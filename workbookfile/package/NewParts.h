#pragma once

// The parts of a new package, for both zip-based codecs: a new workbook is one list of templates,
// so that the .xlsx and the .xlsb writers cannot drift apart in what they declare. (A new
// worksheet is made by its codec.)

#include <ctime>
#include <string>

namespace workbookfile {

// [Content_Types].xml of a new XML workbook.
std::string newContentTypes();
// The beginning of [Content_Types].xml, up to and with its defaults; overrides and </Types> follow.
std::string contentTypesHead();
// <Override> of one part (part without its leading slash).
std::string contentTypeOverride(const std::string& part, const char* type);
// _rels/.rels pointing at the workbook part and the document properties.
std::string newRootRelationships(const std::string& workbookPart);
// One <Relationship> element.
std::string relationshipElement(const std::string& id, const std::string& type, const std::string& target);
// A relationships part without relationships.
std::string emptyRelationships();
std::string newAppProperties();
// docProps/core.xml created and modified at t.
std::string newCoreProperties(std::time_t t);
std::string newWorkbookXml();
// The style sheet of a new workbook, also given to an opened one that has none: one font, one
// cell format.
std::string newStyleSheet();

} // namespace workbookfile
