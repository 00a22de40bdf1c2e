#pragma once

// The workbook's style sheet. Cell formats are never changed: a cell whose bold or number format
// changes gets the cell format that copies its old one with that property changed, so every other
// property is kept. Such a format, and its font, is only added when the style sheet does not hold
// one equal in every property already, so that updating a workbook again and again does not grow
// its style sheet.
//
// Fonts, number formats and cell formats are only ever appended: never inserted, reordered or
// removed. The binary codecs rely on it: they write back the style records they read and append
// what the style sheet gained past the counts they read (extendXlsbStyles, xlsStyleAdditions), so
// a format inserted or moved would shift every cell's format after it.

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace workbookfile {

// Marks a cell format in the style DOM that belongs to a cell style and is never given to cells.
inline constexpr const char* kCellStyleAttribute = "x-cell-style";

class Styles {
public:
    void load(const std::string& xml, std::string_view partName);
    bool changed() const { return _changed; }
    std::string serialize() const;

    bool isBold(std::uint32_t xf) const;
    bool isGeneral(std::uint32_t xf) const;
    // Locked unless the cell format's protection says locked="0".
    bool isLocked(std::uint32_t xf) const;
    std::string numberFormat(std::uint32_t xf) const;

    std::uint32_t withBold(std::uint32_t xf, bool bold);
    std::uint32_t withNumberFormat(std::uint32_t xf, std::string_view code);
    // The cell format for a date written into a General cell.
    std::uint32_t withDateFormat(std::uint32_t xf, bool withTime);

private:
    pugi::xml_node ensureNumFmts();
    std::uint32_t numFmtIdOf(pugi::xml_node xf) const;
    std::uint32_t fontIdOf(pugi::xml_node xf) const;
    std::uint32_t formatIdFor(std::string_view code);
    std::uint32_t withFormatId(std::uint32_t xf, std::uint32_t id);
    std::uint32_t addXf(pugi::xml_node base, const char* idAttr, std::uint32_t id, const char* applyAttr);
    std::uint32_t boldFont(std::uint32_t fontId, bool bold);
    // The index of an equal node in nodes (the first), or of candidate, which was just appended to
    // nodes' list and is removed again when an equal one exists.
    std::uint32_t reuseOrKeep(pugi::xml_node list, std::vector<pugi::xml_node>& nodes,
                              std::unordered_map<std::string, std::uint32_t>& keys, pugi::xml_node candidate);
    pugi::xml_node xfAt(std::uint32_t xf) const;
    void updateCount(pugi::xml_node list, std::size_t count);

    pugi::xml_document _doc;
    pugi::xml_node _root, _fonts, _cellXfs;
    std::vector<pugi::xml_node> _xfs, _fontNodes;
    std::string _prefix;
    std::map<std::uint32_t, std::string> _customFormats;
    std::unordered_map<std::string, std::uint32_t> _formatIds;
    std::uint32_t _nextFormatId = 164;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> _boldMemo, _formatMemo;
    std::map<std::uint32_t, std::uint32_t> _boldFontMemo[2];
    // Formats and fonts by a text of all their properties; built when first needed.
    std::unordered_map<std::string, std::uint32_t> _xfKeys, _fontKeys;
    bool _changed = false;
};

} // namespace workbookfile
