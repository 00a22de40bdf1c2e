// Unit tests of the workbook engine's model: sheet rules, value blocks, formatting, text and numbers.

#include "FormulaShift.h"
#include "NumberText.h"
#include "PartNames.h"
#include "SharedTokens.h"
#include "SheetLayout.h"
#include "Styles.h"
#include "Workbook.h"
#include "WorksheetState.h"
#include "XmlText.h"

#include <pugixml.hpp>

#include <algorithm>
#include <sstream>

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

using namespace workbookfile;

namespace {

// Runs fn and returns the error text it throws (empty when it does not throw).
template <typename Fn> QString errorOf(Fn&& fn) {
    try {
        fn();
    } catch (const Error& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// Runs fn and returns the kind of error it throws; fails the test when it throws none.
template <typename Fn> ErrorKind kindOf(Fn&& fn) {
    try {
        fn();
    } catch (const Error& e) {
        return e.kind();
    }
    QTest::qFail("no error was thrown", __FILE__, __LINE__);
    return ErrorKind::InvalidArgument;
}

// The bytes the workbook saves to, in a new file of dir each time: equal bytes before and after a
// call mean the call left the workbook as it was.
QByteArray savedBytes(Workbook& wb, const QTemporaryDir& dir) {
    static int count = 0;
    const QString path = dir.filePath(QString("snapshot%1.xlsx").arg(++count));
    wb.setFixedTimestamp(1700000000);
    wb.saveAs(path.toStdString(), FileFormat::Xlsx);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The text as a reader gets it back: written into an element, parsed as XML, decoded.
std::string roundTripText(const std::string& text) {
    std::string xml = "<t>";
    appendCellText(xml, text);
    QXmlStreamReader reader(QByteArray::fromStdString(xml + "</t>"));
    reader.readNextStartElement();
    const std::string parsed = reader.readElementText().toStdString();
    return reader.hasError() ? "not XML: " + reader.errorString().toStdString() : decodeCellText(parsed);
}

std::string nodeText(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw);
    return out.str();
}

} // namespace

class EngineModelTest : public QObject {
    Q_OBJECT

private slots:
    void newWorkbookHasNumberedSheets() {
        auto wb = Workbook::create(3);
        QCOMPARE(wb->worksheetCount(), 3);
        QCOMPARE(QString::fromStdString(wb->worksheet(1)->name()), QString("Sheet1"));
        QCOMPARE(QString::fromStdString(wb->worksheet(3)->name()), QString("Sheet3"));
        QVERIFY(wb->worksheet(0) == nullptr);
        QVERIFY(wb->worksheet(4) == nullptr);
        QVERIFY(wb->path().empty());
        QVERIFY(!errorOf([] { Workbook::create(0); }).isEmpty());
    }

    void findsSheetsWithoutRegardToCase() {
        auto wb = Workbook::create(2);
        wb->worksheet(2)->rename("Ärger Daten");
        QCOMPARE(wb->findWorksheetPosition("äRGER daten"), 2);
        QCOMPARE(wb->findWorksheetPosition("sHEET1"), 1);
        wb->worksheet(1)->rename("Ծրագիր Ωμέγα");
        QCOMPARE(wb->findWorksheetPosition("ԾՐԱԳԻՐ ΩΜΈΓΑ"), 1);
        QCOMPARE(wb->findWorksheetPosition("Sheet3"), 0);
        QVERIFY(wb->findWorksheet("nothing") == nullptr);
        QVERIFY(wb->findWorksheet("SHEET2") == nullptr);
        QVERIFY(wb->findWorksheet("ärger DATEN") == wb->worksheet(2));
    }

    void addsSheetsAfterAPositionWithUniqueNames() {
        auto wb = Workbook::create(2);
        Worksheet* first = wb->worksheet(1);
        Worksheet& added = wb->addWorksheet(1);
        QCOMPARE(added.position(), 2);
        QCOMPARE(QString::fromStdString(added.name()), QString("Sheet3"));
        Worksheet& front = wb->addWorksheet(0);
        QCOMPARE(front.position(), 1);
        QCOMPARE(QString::fromStdString(front.name()), QString("Sheet4"));
        QCOMPARE(first->position(), 2); // handles stay valid when sheets are inserted before them
        QVERIFY(!errorOf([&] { wb->addWorksheet(5); }).isEmpty());
        QVERIFY(!errorOf([&] { wb->addWorksheet(-1); }).isEmpty());
        wb->worksheet(4)->rename("Sheet5");
        QCOMPARE(QString::fromStdString(wb->addWorksheet(4).name()), QString("Sheet6"));
        // Without sheets of other types, the list of all sheets is the list of worksheets.
        QCOMPARE(wb->sheetCount(), 5);
        for (int i = 1; i <= 5; ++i) {
            QCOMPARE(wb->sheet(i).worksheet, wb->worksheet(i));
            QCOMPARE(wb->sheet(i).name, wb->worksheet(i)->name());
            QCOMPARE(int(wb->sheet(i).type), int(workbookfile::SheetType::Worksheet));
            QCOMPARE(wb->worksheet(i)->sheetPosition(), i);
            QCOMPARE(wb->findSheet(wb->worksheet(i)->name()), i);
        }
        QCOMPARE(wb->findSheet("sHEET6"), 5);
        QCOMPARE(wb->findSheet("Sheet7"), 0);
        QVERIFY(!errorOf([&] { wb->sheet(0); }).isEmpty());
        QVERIFY(!errorOf([&] { wb->sheet(6); }).isEmpty());
    }

    void renameFollowsTheSpreadsheetRules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("plain") << "Results 2024" << true;
        QTest::newRow("31 chars") << QString(31, 'a') << true;
        QTest::newRow("32 chars") << QString(32, 'a') << false;
        QTest::newRow("empty") << "" << false;
        for (const char* bad : {":", "\\", "/", "?", "*", "[", "]"})
            QTest::newRow(bad) << QString("a%1b").arg(bad) << false;
        QTest::newRow("leading apostrophe") << "'abc" << false;
        QTest::newRow("trailing apostrophe") << "abc'" << false;
        QTest::newRow("inner apostrophe") << "a'bc" << true;
        QTest::newRow("History") << "History" << false;
        QTest::newRow("history") << "hIsToRy" << false;
        QTest::newRow("Historys") << "Historys" << true;
        QTest::newRow("other sheet, other case") << "SHEET2" << false;
        QTest::newRow("own name, other case") << "sheet1" << true;
        QTest::newRow("non-ASCII") << QString::fromUtf8("Übersicht ✓") << true;
        QTest::newRow("U+FFFF") << QString::fromUtf8("Lake\xEF\xBF\xBFOut") << false;
        // 31 characters counted in UTF-16 code units: 16 emoji need 32.
        QTest::newRow("16 emoji") << QString::fromUtf8("😀").repeated(16) << false;
        QTest::newRow("15 emoji") << QString::fromUtf8("😀").repeated(15) << true;
    }

    void renameFollowsTheSpreadsheetRules() {
        QFETCH(QString, name);
        QFETCH(bool, allowed);
        auto wb = Workbook::create(2);
        Worksheet* sheet = wb->worksheet(1);
        QTemporaryDir dir;
        const QByteArray before = savedBytes(*wb, dir);
        QString error = errorOf([&] { sheet->rename(name.toStdString()); });
        QCOMPARE(error.isEmpty(), allowed);
        QCOMPARE(QString::fromStdString(sheet->name()), allowed ? name : QString("Sheet1"));
        if (!allowed) {
            QCOMPARE(kindOf([&] { sheet->rename(name.toStdString()); }), ErrorKind::LimitExceeded);
            QCOMPARE(savedBytes(*wb, dir), before);
        }
    }

    void valueBlockChecksItsValues() {
        ValueBlock block(2, 2);
        block.setText(1, 1, std::string(kMaxTextLength, 'a'));
        QVERIFY(
            errorOf([&] { block.setText(1, 1, std::string(kMaxTextLength + 1, 'a')); }).contains("32767"));
        // The limit counts UTF-16 code units, as the spreadsheet does.
        std::string emoji;
        for (int i = 0; i < 16384; ++i)
            emoji += "😀";
        QVERIFY(!errorOf([&] { block.setText(1, 2, emoji); }).isEmpty());
        QVERIFY(errorOf([&] { block.setText(1, 2, emoji.substr(4)); }).isEmpty());
        QVERIFY(!errorOf([&] { block.setText(2, 1, std::u16string(kMaxTextLength + 1, u'x')); }).isEmpty());
        QVERIFY(!errorOf([&] { block.setNumber(2, 2, HUGE_VAL); }).isEmpty());
        QVERIFY(!errorOf([&] { block.setNumber(1, 0, 1.0); }).isEmpty());

        QCOMPARE(kindOf([&] { block.setText(1, 1, std::string(kMaxTextLength + 1, 'a')); }),
                 ErrorKind::LimitExceeded);
        QCOMPARE(kindOf([&] { block.setText(2, 1, std::string("\xC3\x28")); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { block.setText(2, 1, std::u16string(1, char16_t(0xD800))); }),
                 ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { block.setNumber(2, 2, std::nan("")); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { block.setDate(2, 2, HUGE_VAL); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { block.setNumber(3, 1, 1.0); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([] { ValueBlock(0, 1); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([] { ValueBlock(kMaxRows + 1, 1); }), ErrorKind::LimitExceeded);
        // A refused value leaves the cell as it was.
        auto wb = Workbook::create(1);
        wb->worksheet(1)->putBlock(1, 1, block);
        QCOMPARE(wb->worksheet(1)->cell(1, 1).text.size(), std::size_t(kMaxTextLength));
        QCOMPARE(wb->worksheet(1)->cell(2, 1).type, CellType::Empty);
    }

    void putBlockStoresEveryKindOfValue() {
        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ValueBlock block(1, 5);
        block.setNumber(1, 1, 2.5);
        block.setText(1, 2, "text");
        block.setBoolean(1, 3, true);
        block.setDate(1, 4, 45000.25);
        ws->putBlock(3, 2, block);
        QCOMPARE(ws->cell(3, 2).type, CellType::Number);
        QCOMPARE(ws->cell(3, 2).number, 2.5);
        QCOMPARE(ws->cell(3, 3).type, CellType::Text);
        QCOMPARE(QString::fromStdString(ws->cell(3, 3).text), QString("text"));
        QCOMPARE(ws->cell(3, 4).type, CellType::Boolean);
        QVERIFY(ws->cell(3, 4).boolean);
        QCOMPARE(ws->cell(3, 5).number, 45000.25);
        QCOMPARE(QString::fromStdString(ws->cell(3, 5).numberFormat), QString("m/d/yy h:mm"));
        QCOMPARE(ws->cell(3, 6).type, CellType::Empty);
        QCOMPARE(ws->lastRow(), 3);
        QCOMPARE(ws->lastColumn(), 5);
    }

    void blockOutsideTheSheetChangesNothing() {
        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ValueBlock one(1, 1);
        one.setNumber(1, 1, 7);
        ws->putBlock(kMaxRows, kMaxColumns, one);
        ValueBlock two(2, 2);
        two.setNumber(1, 1, 1);
        QVERIFY(!errorOf([&] { ws->putBlock(1, kMaxColumns, two); }).isEmpty());
        QTemporaryDir dir;
        const QByteArray before = savedBytes(*wb, dir);
        QCOMPARE(kindOf([&] { ws->putBlock(kMaxRows, 1, two); }), ErrorKind::LimitExceeded);
        QCOMPARE(kindOf([&] { ws->putBlock(0, 1, two); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { ws->setBold(1, 1, 1, kMaxColumns + 1); }), ErrorKind::LimitExceeded);
        QCOMPARE(kindOf([&] { ws->setNumberFormat(2, 1, 1, 1, "0.0"); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { ws->setNumberFormat(1, 1, 1, 1, ""); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { ws->setNumberFormat(1, 1, 1, 1, std::string(256, '0')); }),
                 ErrorKind::LimitExceeded);
        QCOMPARE(kindOf([&] { ws->clearRange(0, 1, 1, 1); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { wb->addWorksheet(2); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { wb->sheet(2); }), ErrorKind::InvalidArgument);
        QCOMPARE(savedBytes(*wb, dir), before);
        QCOMPARE(ws->cell(kMaxRows, kMaxColumns).number, 7.0);
        QCOMPARE(ws->cell(kMaxRows, 1).type, CellType::Empty);
        QCOMPARE(ws->lastRow(), kMaxRows);
    }

    void dateFormatOnlyForGeneralCells() {
        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ws->setNumberFormat(1, 2, 1, 2, "yyyy-mm-dd hh:mm");
        ValueBlock dates(1, 2);
        dates.setDate(1, 1, 44000);
        dates.setDate(1, 2, 44000.5);
        ws->putBlock(1, 1, dates);
        QCOMPARE(QString::fromStdString(ws->cell(1, 1).numberFormat), QString("mm-dd-yy"));
        QCOMPARE(QString::fromStdString(ws->cell(1, 2).numberFormat), QString("yyyy-mm-dd hh:mm"));
    }

    void boldAndNumberFormatKeepEachOther() {
        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ws->setNumberFormat(1, 1, 2, 2, "0.0%");
        ws->setBold(2, 2, 3, 3);
        QVERIFY(!ws->cell(1, 1).bold);
        QCOMPARE(QString::fromStdString(ws->cell(2, 2).numberFormat), QString("0.0%"));
        QVERIFY(ws->cell(2, 2).bold);
        QVERIFY(ws->cell(3, 3).bold);
        QCOMPARE(QString::fromStdString(ws->cell(3, 3).numberFormat), QString("General"));
        ws->setBold(2, 2, 2, 2, false);
        QVERIFY(!ws->cell(2, 2).bold);
        QCOMPARE(QString::fromStdString(ws->cell(2, 2).numberFormat), QString("0.0%"));
        QVERIFY(!errorOf([&] { ws->setBold(0, 1, 1, 1); }).isEmpty());
        QVERIFY(!errorOf([&] { ws->setNumberFormat(1, 1, 1, kMaxColumns + 1, "0"); }).isEmpty());
    }

    void clearRangeRemovesOnlyItsCells() {
        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ValueBlock block(3, 3);
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c)
                block.setNumber(r, c, r * 10 + c);
        ws->putBlock(1, 1, block);
        ws->setBold(1, 1, 3, 3);
        ws->clearRange(2, 2, kMaxRows, kMaxColumns);
        QCOMPARE(ws->cell(2, 2).type, CellType::Empty);
        QVERIFY(!ws->cell(2, 2).bold);
        QCOMPARE(ws->cell(3, 3).type, CellType::Empty);
        QCOMPARE(ws->cell(2, 1).number, 21.0);
        QVERIFY(ws->cell(2, 1).bold);
        QCOMPARE(ws->cell(1, 3).number, 13.0);
    }

    void formulasMoveAsTheSpreadsheetMovesACopy() {
        struct Case {
            const char* formula;
            long rows, columns;
            const char* moved; // nullptr: cannot be moved
        };
        const Case cases[] = {
            {"A1", 1, 1, "B2"},
            {"$A$1+A$1+$A1+a1", 1, 1, "$A$1+B$1+$A2+B2"},
            {"SUM(A1:B2)*2.5%", 2, 0, "SUM(A3:B4)*2.5%"},
            {"COUNT(A:A)+COUNT($B:$C)+SUM(1:1)+SUM($3:4)", 1, 1,
             "COUNT(B:B)+COUNT($B:$C)+SUM(2:2)+SUM($3:5)"},
            {"Sheet1!A1+'My Sheet'!A1+[1]Data!A1", 1, 1, "Sheet1!B2+'My Sheet'!B2+[1]Data!B2"},
            {"SUM(Q1:Q4!A1)+SUM(Sheet1:Sheet3!A1)", 1, 1, "SUM(Q1:Q4!B2)+SUM(Sheet1:Sheet3!B2)"},
            {"LOG10(A1)+ATAN2(A1,B1)+_xlfn.STDEV.S(A1:A3)", 0, 1,
             "LOG10(B1)+ATAN2(B1,C1)+_xlfn.STDEV.S(B1:B3)"},
            {"\"A1\"\"x\"&A1", 1, 0, "\"A1\"\"x\"&A2"},
            {"Table1[[#This Row],[A1]]+Table1[Col's]+A1", 1, 0, "Table1[[#This Row],[A1]]+Table1[Col's]+A2"},
            {"1E+10*A1+1e-3+{1,2;3,4}", 1, 0, "1E+10*A2+1e-3+{1,2;3,4}"},
            {"TRUE+ABCD1+Rate2020+#REF!+#N/A+A1", 0, 2, "TRUE+ABCD1+Rate2020+#REF!+#N/A+C1"},
            {"A1", 0, 0, "A1"},
            {"A1", -1, 0, nullptr},
            {"XFD1", 0, 1, nullptr},
            {"A1048576", 1, 0, nullptr},
            {"\"open&A1", 1, 0, nullptr},
            {"Table1[Col", 1, 0, nullptr},
        };
        for (const Case& c : cases) {
            std::string moved;
            const bool ok = shiftFormula(c.formula, c.rows, c.columns, moved);
            QVERIFY2(ok == (c.moved != nullptr), c.formula);
            if (ok)
                QCOMPARE(QString::fromStdString(moved), QString::fromUtf8(c.moved));
        }
    }

    void sharedTokensPointFromTheirCell() {
        auto bytes = [](std::initializer_list<int> list) {
            std::string out;
            for (int b : list)
                out += char(b);
            return out;
        };
        std::string out;
        // A reference one row up and one column right, both relative, from row 5, column 2.
        QVERIFY(sharedTokensAt(bytes({0x4C, 0xFF, 0xFF, 0x01, 0xC0}), 5, 2, out));
        QCOMPARE(out, bytes({0x44, 0x04, 0x00, 0x03, 0xC0}));
        // Absolute parts stay; an area's corners move apart; texts, numbers and functions pass.
        QVERIFY(sharedTokensAt(
            bytes({0x2C, 0x03, 0x00, 0x02, 0x00, 0x1E, 0x02, 0x00, 0x17, 0x02, 0x00, 'a',  'b',
                   0x08, 0x2D, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC0, 0x00, 0x40, 0x41, 0x04, 0x00}),
            10, 7, out));
        QCOMPARE(out, bytes({0x24, 0x03, 0x00, 0x02, 0x00, 0x1E, 0x02, 0x00, 0x17, 0x02, 0x00, 'a',  'b',
                             0x08, 0x25, 0x0A, 0x00, 0x0C, 0x00, 0x07, 0xC0, 0x00, 0x40, 0x41, 0x04, 0x00}));
        // Past the first row, an array (data after the tokens), a cut token: not moved.
        QVERIFY(!sharedTokensAt(bytes({0x4C, 0xFF, 0xFF, 0x00, 0xC0}), 0, 0, out));
        QVERIFY(!sharedTokensAt(bytes({0x60, 0, 0, 0, 0, 0, 0, 0}), 1, 1, out));
        QVERIFY(!sharedTokensAt(bytes({0x4C, 0x01, 0x00}), 1, 1, out));
        QVERIFY(!sharedTokensAt(bytes({0x17, 0x05, 0x00, 'a'}), 1, 1, out));
    }

    void numbersUseTheShortestExactText() {
        auto text = [](double v) {
            std::string s;
            appendNumber(s, v);
            return s;
        };
        QCOMPARE(QString::fromStdString(text(0.1)), QString("0.1"));
        QCOMPARE(QString::fromStdString(text(100)), QString("100"));
        QCOMPARE(QString::fromStdString(text(-0.5)), QString("-0.5"));
        QCOMPARE(QString::fromStdString(text(-0.0)), QString("0"));
        QCOMPARE(QString::fromStdString(text(1000000)), QString("1e+06"));
        QCOMPARE(QString::fromStdString(text(0.0001)), QString("1e-04"));
        std::mt19937_64 rng(42);
        for (int i = 0; i < 200000; ++i) {
            std::uint64_t bits = rng();
            double v;
            std::memcpy(&v, &bits, sizeof v);
            // Half of them decimals of up to nine fraction digits, and their neighbours, which
            // take the short path while it applies; every text is the one std::to_chars writes.
            if (i % 2) {
                const double decimal = double(std::int64_t(bits % 4000000000000) - 2000000000000) /
                                       std::pow(10.0, int(bits >> 60) % 10);
                v = i % 4 == 1 ? decimal : std::nextafter(decimal, 0.0);
            }
            if (!std::isfinite(v))
                continue;
            std::string s = text(v);
            char expected[32];
            const char* end = std::to_chars(expected, expected + sizeof expected, v).ptr;
            QCOMPARE(QString::fromStdString(s), QString::fromLatin1(expected, end - expected));
            double back = 0;
            std::from_chars(s.data(), s.data() + s.size(), back);
            QCOMPARE(std::memcmp(&back, &v, sizeof v), 0);
        }
    }

    void cellTextSurvivesEscaping_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("markup") << QByteArray("<a href=\"x\">&amp;</a>");
        QTest::newRow("controls") << QByteArray("a\x01\x02\x1f b\tc\nd\re", 13);
        QTest::newRow("literal escape") << QByteArray("_x0041_ and _x005F_ and _x00zz_");
        QTest::newRow("escape after control") << QByteArray("\x0b_x000B_");
        QTest::newRow("non-characters") << QByteArray("\xEF\xBF\xBE\xEF\xBF\xBF");
        QTest::newRow("unicode") << QByteArray("été 😀 中");
        QTest::newRow("null") << QByteArray("a\0b", 3);
    }

    void cellTextSurvivesEscaping() {
        QFETCH(QByteArray, text);
        std::string original(text.constData(), std::size_t(text.size()));
        std::string xml;
        appendCellText(xml, original);
        for (unsigned char c : xml)
            QVERIFY(c >= 0x20 || c == '\t' || c == '\n');
        QCOMPARE(QByteArray::fromStdString(roundTripText(original)), text);
    }

    void spacesAtEitherEndArePreserved() {
        for (const char* text : {" a", "a\t", "\na", "\u2003a", "a\u200B", "\u3000a", "a\u2028"})
            QVERIFY2(needsSpacePreserve(text), text);
        for (const char* text : {"a", "a b", "\u00e9t\u00e9", "", "\U0001F600"})
            QVERIFY2(!needsSpacePreserve(text), text);
    }

    void emptyTextLeavesTheCellEmpty() {
        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ValueBlock block(1, 2);
        block.setText(1, 1, std::string_view("x"));
        block.setText(1, 2, std::u16string_view(u"y"));
        ws->putBlock(1, 1, block);
        ws->setBold(1, 1, 1, 2);
        ValueBlock empty(1, 2);
        empty.setText(1, 1, std::string_view());
        empty.setText(1, 2, std::u16string_view());
        ws->putBlock(1, 1, empty);
        for (int column : {1, 2}) {
            QCOMPARE(ws->cell(1, column).type, CellType::Empty);
            QVERIFY(ws->cell(1, column).bold); // the format stays
        }
    }

    void columnsWidenToWhatTheyShow() {
        // Weighed by shape: narrow letters less than digits, capitals more.
        QVERIFY(textCharacters("iiii", false) < textCharacters("0000", false));
        QVERIFY(textCharacters("0000", false) < textCharacters("MMMM", false));
        QVERIFY(textCharacters("0000", false) < textCharacters("0000", true));
        QCOMPARE(textCharacters("abc\nlonger line", false), textCharacters("longer line", false));
        QCOMPARE(dateFormatCharacters("General"), -1.0);
        QCOMPARE(dateFormatCharacters("0.00"), -1.0);
        QVERIFY(dateFormatCharacters("m/d/yyyy h:mm") > dateFormatCharacters("m/d/yyyy"));
        QVERIFY(dateFormatCharacters("m/d/yyyy") > dateFormatCharacters("m/yyyy"));
        // The spreadsheet's rounding: whole pixels of 7-pixel digits and 5 of padding, in 1/256.
        QCOMPARE(std::fmod(columnWidthFor(10) * 256, 1.0), 0.0);

        auto wb = Workbook::create(1);
        Worksheet* ws = wb->worksheet(1);
        ValueBlock block(2, 4);
        block.setText(1, 1, std::string_view("a rather long heading text"));
        block.setText(1, 2, std::string_view("ab"));
        block.setNumber(1, 3, 123456789012.345); // General: fits any width
        block.setDate(1, 4, 44000.25);
        block.setText(2, 1, std::string_view("short"));
        ws->putBlock(1, 1, block);
        ws->setNumberFormat(1, 4, 1, 4, "m/d/yyyy h:mm");
        ws->fitColumns(1, 4);
        const SheetLayout& layout = ws->impl().layout;
        QCOMPARE(layout.widths.count(2) + layout.widths.count(3), std::size_t(0));
        QCOMPARE(layout.widths.at(1), columnWidthFor(textCharacters("a rather long heading text", false)));
        QVERIFY(layout.widths.at(4) > dateFormatCharacters("m/d/yyyy h:mm"));
        // Never narrower: a second fit over shorter texts keeps the width.
        ValueBlock shorter(1, 1);
        shorter.setText(1, 1, std::string_view("x"));
        ws->putBlock(1, 1, shorter);
        ws->fitColumns(1, 1);
        QCOMPARE(layout.widths.at(1), columnWidthFor(textCharacters("a rather long heading text", false)));
        ws->freezePanes(1, 1);
        QVERIFY(ws->impl().head.find("<cols><col min=\"1\" max=\"1\"") != std::string::npos);
        QVERIFY(ws->impl().head.find("topLeftCell=\"B2\" activePane=\"bottomRight\" state=\"frozen\"") !=
                std::string::npos);
        QCOMPARE(kindOf([&] { ws->freezePanes(-1, 0); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { ws->fitColumns(0, 1); }), ErrorKind::InvalidArgument);

        // A worksheet read from a file keeps its own widths and views.
        QTemporaryDir dir;
        const std::string path = dir.filePath("laid-out.xlsx").toStdString();
        wb->saveAs(path, FileFormat::Xlsx);
        auto read = Workbook::open(path);
        QCOMPARE(kindOf([&] { read->worksheet(1)->fitColumns(1, 1); }), ErrorKind::Unsupported);
        QCOMPARE(kindOf([&] { read->worksheet(1)->freezePanes(1, 1); }), ErrorKind::Unsupported);
        read->addWorksheet(1).freezePanes(2, 0);
        QVERIFY(read->worksheet(2)->impl().head.find(
                    "ySplit=\"2\" topLeftCell=\"A3\" activePane=\"bottomLeft\"") != std::string::npos);
    }

    void savingNeedsAPathAndASupportedFormat() {
        QTemporaryDir dir;
        auto wb = Workbook::create(1);
        QVERIFY(errorOf([&] { wb->save(); }).contains("no file name"));
        QCOMPARE(kindOf([&] { wb->save(); }), ErrorKind::InvalidArgument);
        QCOMPARE(kindOf([&] { wb->saveAs("", FileFormat::Xlsx); }), ErrorKind::InvalidArgument);
        std::string xls = dir.filePath("a.xls").toStdString();
        QCOMPARE(kindOf([&] { wb->saveAs(dir.path().toStdString(), FileFormat::Xlsx); }),
                 ErrorKind::FileSystem);
        QCOMPARE(kindOf([&] { wb->saveAs(dir.filePath("missing/a.xlsx").toStdString(), FileFormat::Xlsx); }),
                 ErrorKind::FileSystem);
        QVERIFY(wb->path().empty());
        QVERIFY(
            errorOf([&] { wb->saveAs(dir.filePath("a.xlsb").toStdString(), FileFormat::Xlsb); }).isEmpty());
        QVERIFY(QFile::exists(dir.filePath("a.xlsb")));
        // A workbook read from a file keeps its kind.
        QCOMPARE(kindOf([&] {
                     Workbook::open(dir.filePath("a.xlsb").toStdString())->saveAs(xls, FileFormat::Xls);
                 }),
                 ErrorKind::Unsupported);
        QVERIFY(!QFile::exists(QString::fromStdString(xls)));
    }

    void savedWorkbookOpensAgain() {
        QTemporaryDir dir;
        std::string path = dir.filePath("book.xlsx").toStdString();
        {
            auto wb = Workbook::create(2);
            wb->worksheet(2)->rename("Zahlen");
            ValueBlock block(2, 2);
            block.setNumber(1, 1, 0.1);
            block.setText(1, 2, "a\x01_x0041_");
            block.setBoolean(2, 1, false);
            wb->worksheet(2)->putBlock(1, 1, block);
            wb->worksheet(2)->setBold(1, 1, 1, 1);
            wb->saveAs(path, FileFormat::Xlsx);
            QCOMPARE(QString::fromStdString(wb->path()), QString::fromStdString(path));
            // Saving again in place replaces the workbook's own file.
            wb->save();
            QVERIFY(errorOf([&] { wb->saveAs(path, FileFormat::Xlsx); }).isEmpty());
        }
        auto wb = Workbook::open(path);
        QCOMPARE(wb->worksheetCount(), 2);
        Worksheet* ws = wb->findWorksheet("zahlen");
        QVERIFY(ws);
        QCOMPARE(ws->cell(1, 1).number, 0.1);
        QVERIFY(ws->cell(1, 1).bold);
        QCOMPARE(QString::fromStdString(ws->cell(1, 2).text), QString::fromUtf8("a\x01_x0041_"));
        QCOMPARE(ws->cell(2, 1).type, CellType::Boolean);
        QVERIFY(!ws->cell(2, 1).boolean);
        // A new workbook may not replace an existing file.
        auto other = Workbook::create(1);
        QFile existing(QString::fromStdString(path));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        const QByteArray before = existing.readAll();
        existing.close();
        QVERIFY(errorOf([&] { other->saveAs(path, FileFormat::Xlsx); }).contains("already exists"));
        QCOMPARE(kindOf([&] { other->saveAs(path, FileFormat::Xlsx); }), ErrorKind::FileSystem);
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), before);
        QVERIFY(other->path().empty());
    }

    // The binary codecs write back the style records they read and append what the style sheet
    // gained past the counts they read: every font, number format and cell format already there
    // must stay where it is, as it is.
    void stylesOnlyEverAppend() {
        const std::string sheet =
            "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts>"
            "<fonts count=\"3\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
            "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font>"
            "<font><i/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
            "<cellXfs count=\"4\"><xf numFmtId=\"0\" fontId=\"0\"/><xf numFmtId=\"164\" fontId=\"0\" "
            "applyNumberFormat=\"1\"/><xf numFmtId=\"14\" fontId=\"1\" applyFont=\"1\"/>"
            "<xf numFmtId=\"0\" fontId=\"2\" applyFont=\"1\"/></cellXfs>"
            "</styleSheet>";
        Styles styles;
        styles.load(sheet, "styles");
        const std::string before = styles.serialize();
        std::uint32_t xf = styles.withBold(0, true);
        xf = styles.withNumberFormat(xf, "0.0000");
        styles.withDateFormat(1, true);
        styles.withBold(2, false);
        styles.withNumberFormat(2, "0.000");
        styles.withBold(3, true);
        QVERIFY(styles.changed());
        const std::string after = styles.serialize();
        pugi::xml_document old, now;
        QVERIFY(old.load_string(before.c_str()));
        QVERIFY(now.load_string(after.c_str()));
        for (const char* list : {"numFmts", "fonts", "cellXfs"}) {
            std::vector<std::string> was, is;
            for (pugi::xml_node n : old.document_element().child(list).children())
                was.push_back(nodeText(n));
            for (pugi::xml_node n : now.document_element().child(list).children())
                is.push_back(nodeText(n));
            QVERIFY2(is.size() > was.size(), list);
            QVERIFY2(std::equal(was.begin(), was.end(), is.begin()), list);
        }
    }

    // A part's content type: its override, else the default of its extension, both without regard
    // to case (the spreadsheet application types a binary workbook's main part by default only).
    void contentTypesByOverrideOrDefault() {
        pugi::xml_document types;
        QVERIFY(
            types.load_string("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                              "<Default Extension=\"BIN\" ContentType=\"main\"/><Default Extension=\"xml\" "
                              "ContentType=\"xml\"/>"
                              "<Override PartName=\"/XL/Styles.bin\" ContentType=\"styles\"/></Types>"));
        QCOMPARE(QString::fromStdString(contentTypeOf(types, "xl/workbook.bin")), QString("main"));
        QCOMPARE(QString::fromStdString(contentTypeOf(types, "xl/styles.bin")), QString("styles"));
        QCOMPARE(QString::fromStdString(contentTypeOf(types, "xl/a.Xml")), QString("xml"));
        QCOMPARE(QString::fromStdString(contentTypeOf(types, "xl/bin")), QString());
        QCOMPARE(QString::fromStdString(contentTypeOf(types, "xl.bin/part")), QString());
    }

    void columnNames() {
        QCOMPARE(QString::fromStdString(columnName(1)), QString("A"));
        QCOMPARE(QString::fromStdString(columnName(26)), QString("Z"));
        QCOMPARE(QString::fromStdString(columnName(27)), QString("AA"));
        QCOMPARE(QString::fromStdString(columnName(kMaxColumns)), QString("XFD"));
        QVERIFY(!errorOf([] { columnName(kMaxColumns + 1); }).isEmpty());
    }
};

QTEST_GUILESS_MAIN(EngineModelTest)
#include "tst_engine_model.moc"
