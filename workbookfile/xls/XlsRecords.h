#pragma once

// The record layer of the 97-2003 binary format (.xls): the workbook stream is a sequence of
// records, each a 2-byte type, a 2-byte size (at most 8,224) and that many bytes; longer contents
// go on in CONTINUE records. Reading never trusts a size beyond the bytes that are there. Fields
// are read and written with the helpers both record codecs share (BinaryFields.h).

#include "BinaryFields.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace workbookfile {

// Record types the engine reads or writes.
namespace biff {
constexpr std::uint16_t Formula = 0x0006, Eof = 0x000A, CalcCount = 0x000C, CalcMode = 0x000D,
                        Precision = 0x000E, RefMode = 0x000F, Delta = 0x0010, Iteration = 0x0011,
                        Protect = 0x0012, Password = 0x0013, ExternSheet = 0x0017, Name = 0x0018,
                        WindowProtect = 0x0019, Note = 0x001C, DateMode = 0x0022, FilterMode = 0x009B,
                        FilePass = 0x002F, Font = 0x0031, Continue = 0x003C, Window1 = 0x003D,
                        Backup = 0x0040, CodePage = 0x0042, DefColWidth = 0x0055, ColInfo = 0x007D,
                        WsBool = 0x0081, BoundSheet = 0x0085, HideObj = 0x008D, AutoFilterInfo = 0x009D,
                        AutoFilter = 0x009E, MulRk = 0x00BD, MulBlank = 0x00BE, RString = 0x00D6,
                        DbCell = 0x00D7, BookBool = 0x00DA, Xf = 0x00E0, MergeCells = 0x00E5, Sst = 0x00FC,
                        TabId = 0x013D, LabelSst = 0x00FD, ExtSst = 0x00FF, SupBook = 0x01AE,
                        CondFmt = 0x01B0, Cf = 0x01B1, DVal = 0x01B2, RecalcId = 0x01C1, HLink = 0x01B8,
                        Dv = 0x01BE, Dimensions = 0x0200, Blank = 0x0201, Number = 0x0203, Label = 0x0204,
                        BoolErr = 0x0205, String = 0x0207, Row = 0x0208, Index = 0x020B, Array = 0x0221,
                        DefRowHeight = 0x0225, Table = 0x0236, Window2 = 0x023E, Pane = 0x0041, Rk = 0x027E,
                        Style = 0x0293, Format = 0x041E, ShrFmla = 0x04BC, HLinkTooltip = 0x0800,
                        AutoFilter12 = 0x087E, CondFmt12 = 0x0879, Cf12 = 0x087A, CfEx = 0x087B, Bof = 0x0809;
// Substream types of BOF.
constexpr std::uint16_t Globals = 0x0005, Sheet = 0x0010, Chart = 0x0020, Macro = 0x0040;
constexpr std::uint16_t Biff8 = 0x0600;
constexpr std::size_t MaxBody = 8224;
} // namespace biff

// One record of the workbook stream: its type, its body, and where the whole record lies.
using BiffRecord = Record;

// Walks the records of a stream from an offset. Throws Error on a header cut off or a size that
// runs past the stream's end.
class BiffReader {
public:
    BiffReader(std::string_view data, std::size_t from = 0) : _data(data), _at(from) {}
    bool next(BiffRecord& record);
    std::size_t offset() const { return _at; }

private:
    std::string_view _data;
    std::size_t _at = 0;
};

// The name the workbook stream goes by in messages about its records.
inline constexpr const char* kWorkbookStream = "Workbook";

// Appends one record; the body must fit one record (biff::MaxBody bytes).
void appendBiff(std::string& out, std::uint16_t type, std::string_view body);

// A ShortXLUnicodeString (count in one byte) or XLUnicodeString (count in two), written 8-bit
// when every unit fits, else as UTF-16.
void putShortXlString(std::string& out, std::u16string_view text);
void putXlString(std::string& out, std::u16string_view text);
// Reads one from a record body; lone surrogates are refused as the text cannot be kept.
std::string readShortXlString(BodyReader& body);
std::string readXlString(BodyReader& body);
// The same, but a text that claims more characters than its record holds is the characters there
// (some writers count one too many).
std::string readXlStringWithin(BodyReader& body);

} // namespace workbookfile
