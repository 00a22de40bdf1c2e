#pragma once

// The shared string table. Strings read from a file keep their original bytes; new strings are
// appended after them, so indices held by untouched cells stay valid.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace workbookfile {

class SharedStrings {
public:
    void load(std::string xml, std::string_view partName);
    std::uint32_t intern(std::string_view text);

    std::size_t size() const { return _texts.size(); }
    const std::string& text(std::uint32_t index) const { return _texts[index]; }
    // The number of cell references to the table that the file states (its count); -1 when it
    // states none.
    long long fileReferenceCount() const { return _fileReferences; }
    // The number of cell references to the table in the whole workbook, written as its count.
    void setReferenceCount(std::uint64_t count) { _references = (long long)count; }
    // Strings were added after those read from the file.
    bool appended() const { return _texts.size() > _originalCount; }
    bool changed() const { return appended() || _references != _fileReferences; }
    // The table's part; the strings marked in unused (by position) are written empty.
    std::string serialize(const std::vector<bool>& unused = {}) const;

private:
    std::string _original; // the part as read; empty for a new table
    std::size_t _originalCount = 0;
    long long _fileReferences = 0; // -1: the file states no count
    long long _references = 0;     // -1: unknown, no count is written
    std::vector<std::string> _texts;
    std::unordered_map<std::string, std::uint32_t> _index; // plain strings only
};

// Appends the <si> element that describes a string of a binary table to the engine. Formatted
// strings are described as runs, so that they are not reused for plain texts written later.
void appendDescribedString(std::string& xml, std::string_view text, bool plain);

} // namespace workbookfile
