#pragma once

// Text helpers for writing and reading SpreadsheetML: escaping, cell text encoding, numbers.

#include <cstddef>
#include <string>
#include <string_view>

namespace workbookfile {

// Appends text escaped for an XML attribute value or element content.
void appendXmlEscaped(std::string& out, std::string_view text);

// Appends cell text for a <t> element: XML-escaped, control characters other than tab, line feed
// and carriage return in the _xHHHH_ form, and a literal _xHHHH_ protected by escaping its
// underscore, so that any reader gets back exactly the given text.
void appendCellText(std::string& out, std::string_view text);

// Text for an attribute value that the spreadsheet reads in the _xHHHH_ form (table column
// names): control characters, also tab and line feed, escaped, and a literal _xHHHH_ protected.
// Not XML-escaped.
std::string encodeAttributeText(std::string_view text);

// True when a <t> element needs xml:space="preserve" to keep the text's outer white space.
bool needsSpacePreserve(std::string_view text);

// Undoes the _xHHHH_ encoding of text read from a <t> element.
std::string decodeCellText(std::string_view text);

// Throws Error when the XML text declares a document type (no workbook part needs one, and
// entity declarations are a classic way to blow up parsers).
void refuseDoctype(std::string_view xml, std::string_view partName);

// Byte range of the root element's content: [contentBegin, contentEnd) lies between the end of
// the root start tag and the beginning of its end tag. selfClosing is true for <root .../>, in which
// case contentBegin == contentEnd == position of "/>". Returns false when no root element is found.
struct RootSpan {
    std::size_t startTagBegin = 0;
    std::size_t contentBegin = 0;
    std::size_t contentEnd = 0;
    bool selfClosing = false;
};
bool findRootSpan(std::string_view xml, RootSpan& span);

} // namespace workbookfile
