#include "FormulaShift.h"

#include "Workbook.h"

#include <cctype>

namespace workbookfile {

namespace {

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
// Characters of names, functions, references and numbers; bytes of UTF-8 sequences count as
// letters of a name.
bool isWordChar(char c) {
    return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '$' || c == '\\' || c == '?' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// One part of a reference: a column ("$A"), a row ("$1") or both ("A$1"); -1 where absent.
struct RefPart {
    long column = -1, row = -1;
    bool absoluteColumn = false, absoluteRow = false;
};

bool parseRefPart(std::string_view word, RefPart& part) {
    std::size_t i = 0;
    bool dollar = i < word.size() && word[i] == '$';
    i += dollar;
    std::size_t letters = 0;
    long column = 0;
    while (i < word.size() && isLetter(word[i]) && letters < 4) {
        column = column * 26 + (std::toupper(static_cast<unsigned char>(word[i])) - 'A' + 1);
        ++i;
        ++letters;
    }
    if (letters > 3)
        return false;
    if (letters) {
        part.column = column;
        part.absoluteColumn = dollar;
        dollar = i < word.size() && word[i] == '$';
        i += dollar;
    } else if (!dollar && i < word.size() && !isDigit(word[i])) {
        return false;
    }
    std::size_t digits = 0;
    long row = 0;
    while (i < word.size() && isDigit(word[i]) && digits < 8) {
        row = row * 10 + (word[i] - '0');
        ++i;
        ++digits;
    }
    if (i != word.size() || digits > 7 || (!letters && !digits) || (letters && dollar && !digits))
        return false;
    if (digits) {
        part.row = row;
        part.absoluteRow = letters ? dollar : (word[0] == '$');
    }
    if (part.column > kMaxColumns || part.row == 0 || part.row > kMaxRows)
        return false;
    return true;
}

bool appendShifted(const RefPart& part, long rowDelta, long columnDelta, std::string& out) {
    if (part.column >= 0) {
        const long column = part.absoluteColumn ? part.column : part.column + columnDelta;
        if (column < 1 || column > kMaxColumns)
            return false;
        if (part.absoluteColumn)
            out += '$';
        out += columnName(int(column));
    }
    if (part.row >= 0) {
        const long row = part.absoluteRow ? part.row : part.row + rowDelta;
        if (row < 1 || row > kMaxRows)
            return false;
        if (part.absoluteRow)
            out += '$';
        out += std::to_string(row);
    }
    return true;
}

// The end of a quoted text starting at begin (its quote doubled inside), or npos.
std::size_t quotedEnd(std::string_view text, std::size_t begin) {
    const char quote = text[begin];
    for (std::size_t i = begin + 1; i < text.size(); ++i)
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    return std::string_view::npos;
}

// The end of a bracketed part (a table's columns, an external workbook's number), or npos.
std::size_t bracketEnd(std::string_view text, std::size_t begin) {
    int depth = 0;
    for (std::size_t i = begin; i < text.size(); ++i) {
        if (text[i] == '\'') {
            ++i; // an escaped character of a column name
        } else if (text[i] == '[') {
            ++depth;
        } else if (text[i] == ']' && --depth == 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

std::size_t wordEnd(std::string_view text, std::size_t begin) {
    std::size_t i = begin;
    while (i < text.size() && isWordChar(text[i]))
        ++i;
    // The exponent of a number: "1E+10".
    if (i < text.size() && (text[i] == '+' || text[i] == '-') && i > begin &&
        (text[i - 1] == 'E' || text[i - 1] == 'e') && (isDigit(text[begin]) || text[begin] == '.')) {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
    }
    return i;
}

} // namespace

bool shiftFormula(std::string_view formula, long rowDelta, long columnDelta, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < formula.size()) {
        const char c = formula[i];
        if (c == '"' || c == '\'') {
            const std::size_t end = quotedEnd(formula, i);
            if (end == std::string_view::npos)
                return false;
            out.append(formula.substr(i, end - i));
            i = end;
        } else if (c == '[') {
            const std::size_t end = bracketEnd(formula, i);
            if (end == std::string_view::npos)
                return false;
            out.append(formula.substr(i, end - i));
            i = end;
        } else if (c == '#') {
            // An error value such as #REF! or #N/A.
            std::size_t end = i + 1;
            while (end < formula.size() &&
                   (isLetter(formula[end]) || isDigit(formula[end]) || formula[end] == '/' ||
                    formula[end] == '!' || formula[end] == '?'))
                ++end;
            out.append(formula.substr(i, end - i));
            i = end;
        } else if (isWordChar(c)) {
            const std::size_t end = wordEnd(formula, i);
            const std::string_view word = formula.substr(i, end - i);
            const char next = end < formula.size() ? formula[end] : '\0';
            RefPart part;
            // A function, a sheet or a table: not a reference.
            if (next == '(' || next == '!' || next == '[' || !parseRefPart(word, part)) {
                out.append(word);
                i = end;
                continue;
            }
            const bool cell = part.column >= 0 && part.row >= 0;
            // A range of whole columns or rows ("A:C", "$1:$3"), or of sheets ("Q1:Q4!A1").
            if (next == ':') {
                const std::size_t secondEnd = wordEnd(formula, end + 1);
                const std::string_view second = formula.substr(end + 1, secondEnd - end - 1);
                const char after = secondEnd < formula.size() ? formula[secondEnd] : '\0';
                RefPart secondPart;
                if (after == '!' || after == '(' || !parseRefPart(second, secondPart)) {
                    if (!cell)
                        return false;
                } else if (!cell) {
                    const bool sameKind = (part.column >= 0) == (secondPart.column >= 0) &&
                                          (part.row >= 0) == (secondPart.row >= 0);
                    if (!sameKind || !appendShifted(part, rowDelta, columnDelta, out))
                        return false;
                    out += ':';
                    if (!appendShifted(secondPart, rowDelta, columnDelta, out))
                        return false;
                    i = secondEnd;
                    continue;
                }
                if (after == '!') {
                    out.append(formula.substr(i, secondEnd - i));
                    i = secondEnd;
                    continue;
                }
            }
            if (!cell) {
                // A name or a number that merely looks like half a reference.
                out.append(word);
            } else if (!appendShifted(part, rowDelta, columnDelta, out)) {
                return false;
            }
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return true;
}

} // namespace workbookfile
