#pragma once

// The namespaces, relationship types and content types of the package, spelled once: the parts
// the engine writes and the parts it looks for must agree on every character.

#include "XmlDom.h" // kXmlDeclaration

namespace workbookfile {

// Namespaces.
inline constexpr const char* kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRelNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// Strict Open XML names the relationships of the workbook part so.
inline constexpr const char* kStrictRelNamespace = "http://purl.oclc.org/ooxml/officeDocument/relationships";
inline constexpr const char* kContentTypesNamespace =
    "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr const char* kPackageRelNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr const char* kCorePropertiesNamespace =
    "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
inline constexpr const char* kExtendedPropertiesNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";

// The one relationship type outside kRelNamespace (the others are relationshipType(suffix)).
inline constexpr const char* kCorePropertiesRelType =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";

// Content types of XML parts.
inline constexpr const char* kRelationshipsContentType =
    "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr const char* kWorkbookContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
inline constexpr const char* kMacroWorkbookContentType =
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
inline constexpr const char* kWorksheetContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr const char* kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr const char* kSharedStringsContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
inline constexpr const char* kCorePropertiesContentType =
    "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr const char* kExtendedPropertiesContentType =
    "application/vnd.openxmlformats-officedocument.extended-properties+xml";

// Content types of binary parts.
inline constexpr const char* kXlsbMainType = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";
inline constexpr const char* kXlsbWorksheetType = "application/vnd.ms-excel.worksheet";
inline constexpr const char* kXlsbStylesType = "application/vnd.ms-excel.styles";
inline constexpr const char* kXlsbStringsType = "application/vnd.ms-excel.sharedStrings";

} // namespace workbookfile
