#pragma once

// The shared string table. Strings read from a file keep their original bytes; new strings are
// appended after them, so indices held by untouched cells stay valid.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xlsx {

class SharedStrings {
public:
    void load(std::string xml, std::string_view partName);
    std::uint32_t intern(std::string_view text);

    std::size_t size() const { return _texts.size(); }
    const std::string& text(std::uint32_t index) const { return _texts[index]; }
    bool changed() const { return _texts.size() > _originalCount; }
    std::string serialize() const;

private:
    std::string _original; // the part as read; empty for a new table
    std::size_t _originalCount = 0;
    std::vector<std::string> _texts;
    std::unordered_map<std::string, std::uint32_t> _index; // plain strings only
};

} // namespace xlsx
