// What every codec promises, run once per format: each behaviour on a new workbook saved in the
// format, and on that file opened, edited and saved again. Where a format differs, its row says so.

#include "Workbook.h"

#include <QTemporaryDir>
#include <QtTest>

#include <charconv>
#include <functional>

using namespace workbookfile;

Q_DECLARE_METATYPE(workbookfile::FileFormat)
Q_DECLARE_METATYPE(workbookfile::ErrorKind)

namespace workbookfile {
// Failed comparisons name the kinds.
char* toString(ErrorKind kind) {
    return qstrdup(int(kind) < 0 ? "no error" : errorKindName(kind));
}
} // namespace workbookfile

namespace {

constexpr ErrorKind kNoError = ErrorKind(-1);
constexpr std::time_t kStamp = 1700000000;

const struct {
    const char* tag;
    FileFormat format;
} kFormats[] = {{"xlsx", FileFormat::Xlsx},
                {"xlsm", FileFormat::Xlsm},
                {"xlsb", FileFormat::Xlsb},
                {"xls", FileFormat::Xls}};

template <typename Fn> ErrorKind kindOf(Fn&& fn) {
    try {
        fn();
    } catch (const Error& e) {
        return e.kind();
    }
    return kNoError;
}

// The shortest text that reads back to the very double: tells -0 from 0 and every bit apart.
QString exact(double v) {
    char buffer[32];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    return QString::fromLatin1(buffer, int(end - buffer));
}

// A cell as one comparable line, e.g. "number 0.1 bold [0.000]"; the General format is not named.
QString describe(const CellInfo& c) {
    static const char* const types[] = {"empty", "number", "text", "boolean", "formula", "error"};
    QString s = types[int(c.type)];
    if (c.type == CellType::Number)
        s += " " + exact(c.number);
    else if (c.type == CellType::Boolean)
        s += c.boolean ? " true" : " false";
    else if (c.type != CellType::Empty)
        s += " " + QString::fromStdString(c.text);
    if (c.bold)
        s += " bold";
    if (c.numberFormat != "General")
        s += " [" + QString::fromStdString(c.numberFormat) + "]";
    return s;
}

// The first cell of rows 1..rows x columns 1..columns that is not what expected(row, column)
// describes, with both; empty when every cell agrees.
QString firstDifference(const Worksheet& ws, int rows, int columns,
                        const std::function<QString(int, int)>& expected) {
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= columns; ++c) {
            const QString got = describe(ws.cell(r, c)), want = expected(r, c);
            if (got != want)
                return QString("%1%2 is \"%3\", expected \"%4\"")
                    .arg(QString::fromStdString(columnName(c)))
                    .arg(r)
                    .arg(got.left(200), want.left(200));
        }
    return {};
}

QStringList snapshot(const Worksheet& ws, int rows, int columns) {
    QStringList cells;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= columns; ++c)
            cells << describe(ws.cell(r, c));
    return cells;
}

QByteArray contentOf(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Saves the workbook as a new file in that format and opens the file.
std::unique_ptr<Workbook> saveAndOpen(Workbook& wb, const std::string& path, FileFormat format) {
    wb.setFixedTimestamp(kStamp);
    wb.saveAs(path, format);
    return Workbook::open(path);
}

const double kNumbers[] = {
    0.1, 1.0 / 3.0, 123.45, 42, -7.5, 1.7976931348623157e308, -2.5e-300, 5e-324, 1.2345678901234568e17, 0.01};
const char* const kTexts[] = {"plain", "  spaced  ", "=1+2", "tab\tline\nfeed\rcr",
                              "\u00e9t\u00e9 \U0001F600 \u4e2d"};
// 32,767 UTF-16 code units, the longest text a cell holds, ending in a surrogate pair.
const std::string kLongText = std::string(32765, 'x') + "\U0001F600";

// Every kind of value and format, in three rows from row `first`.
void putValues(Worksheet& ws, int first) {
    ValueBlock block(3, 10);
    for (int c = 1; c <= 10; ++c)
        block.setNumber(1, c, kNumbers[c - 1]);
    for (int c = 1; c <= 5; ++c)
        block.setText(2, c, kTexts[c - 1]);
    block.setText(2, 6, std::u16string(u"\U0001D11E clef"));
    block.setText(2, 7, "");
    block.setText(2, 8, kLongText);
    block.setBoolean(3, 1, true);
    block.setBoolean(3, 2, false);
    block.setDate(3, 3, 45000);
    block.setDate(3, 4, 45000.75);
    block.setNumber(3, 5, 2.5);
    block.setText(3, 6, "heading");
    block.setNumber(3, 7, 3.14159);
    ws.putBlock(first, 1, block);
    ws.setBold(first + 2, 5, first + 2, 6);
    ws.setNumberFormat(first + 2, 7, first + 2, 7, "0.000");
}

// What putValues wrote at (row, column) of its three rows, as describe() says it.
QString expectedValue(int row, int column) {
    static const QStringList texts{"text \U0001D11E clef", "empty",
                                   "text " + QString::fromStdString(kLongText)};
    static const QStringList others{
        "boolean true",    "boolean false",     "number 45000 [mm-dd-yy]", "number 45000.75 [m/d/yy h:mm]",
        "number 2.5 bold", "text heading bold", "number 3.14159 [0.000]"};
    if (row == 1)
        return "number " + exact(kNumbers[column - 1]);
    if (row == 2)
        return column <= 5 ? "text " + QString::fromUtf8(kTexts[column - 1])
                           : texts.value(column - 6, "empty");
    return others.value(column - 1, "empty");
}

// Puts into rows x columns what value(row, column) describes: "text ...", "number ..." or nothing.
void fill(Worksheet& ws, int firstRow, int lastRow, int firstColumn, int lastColumn,
          const std::function<QString(int, int)>& value) {
    ValueBlock block(lastRow - firstRow + 1, lastColumn - firstColumn + 1);
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = firstColumn; c <= lastColumn; ++c) {
            const QString v = value(r, c);
            if (v.startsWith("text "))
                block.setText(r - firstRow + 1, c - firstColumn + 1, v.mid(5).toStdString());
            else if (v.startsWith("number "))
                block.setNumber(r - firstRow + 1, c - firstColumn + 1, v.mid(7).toDouble());
        }
    ws.putBlock(firstRow, firstColumn, block);
}

void put(Worksheet& ws, int row, int column, const QString& value) {
    fill(ws, row, row, column, column, [&](int, int) { return value; });
}

} // namespace

class EveryFormatTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A file of this test function and row: "<function>-<row>-<stem>.<extension>".
    std::string path(const QString& stem, const QString& extension = QTest::currentDataTag()) const {
        return dir
            .filePath(QString("%1-%2-%3.%4")
                          .arg(QTest::currentTestFunction(), QTest::currentDataTag(), stem, extension))
            .toStdString();
    }

    static void formatRows() {
        QTest::addColumn<FileFormat>("format");
        for (const auto& f : kFormats)
            QTest::newRow(f.tag) << f.format;
    }

private slots:
    void valuesReadBack_data() { formatRows(); }
    void valuesReadBack() {
        QFETCH(FileFormat, format);
        auto wb = Workbook::create(1);
        putValues(*wb->worksheet(1), 1);
        put(*wb->worksheet(1), 1, 12, "number -0");
        auto read = saveAndOpen(*wb, path("new"), format);
        QCOMPARE(firstDifference(*read->worksheet(1), 3, 10, expectedValue), QString());
        // Written again below the cells read from the file.
        putValues(*read->worksheet(1), 11);
        put(*read->worksheet(1), 11, 12, "number -0");
        auto again = saveAndOpen(*read, path("edited"), format);
        const Worksheet& ws = *again->worksheet(1);
        // -0 reads back as 0, as the spreadsheet writes it.
        for (int row : {1, 11}) {
            QCOMPARE(describe(ws.cell(row, 12)), QString("number 0"));
        }
        QCOMPARE(firstDifference(ws, 13, 10,
                                 [](int r, int c) {
                                     return r <= 3   ? expectedValue(r, c)
                                            : r > 10 ? expectedValue(r - 10, c)
                                                     : "empty";
                                 }),
                 QString());
        QCOMPARE(ws.lastRow(), 13);
        QCOMPARE(ws.lastColumn(), 12);
    }

    void clearingRemovesValuesAndFormats_data() { formatRows(); }
    void clearingRemovesValuesAndFormats() {
        QFETCH(FileFormat, format);
        auto wb = Workbook::create(3);
        for (int s = 1; s <= 3; ++s)
            putValues(*wb->worksheet(s), 1);
        // What putValues wrote, but the cells in `cleared` empty and without a format.
        auto remains = [](const std::function<bool(int, int)>& cleared) {
            return [cleared](int r, int c) {
                return r > 3 || c > 10 || cleared(r, c) ? QString("empty") : expectedValue(r, c);
            };
        };
        auto inMiddle = [](int r, int c) { return r >= 2 && c >= 4 && c <= 6; };
        auto everything = [](int, int) { return true; };
        wb->worksheet(1)->clearRange(2, 4, 3, 6);
        wb->worksheet(2)->clear();
        auto read = saveAndOpen(*wb, path("new"), format);
        QCOMPARE(firstDifference(*read->worksheet(1), 4, 11, remains(inMiddle)), QString());
        QCOMPARE(firstDifference(*read->worksheet(2), 4, 11, remains(everything)), QString());
        QCOMPARE(read->worksheet(2)->lastRow(), 0);
        QCOMPARE(read->worksheet(2)->lastColumn(), 0);

        // Cells read from the file: a range up to the sheet's last cell, and a whole worksheet that
        // then gets a new header, as a conversion writes one.
        read->worksheet(1)->clearRange(1, 7, read->maxRows(), read->maxColumns());
        read->worksheet(3)->clear();
        put(*read->worksheet(3), 1, 1, "text new");
        auto again = saveAndOpen(*read, path("edited"), format);
        auto cleared = [&](int r, int c) { return inMiddle(r, c) || c >= 7; };
        QCOMPARE(firstDifference(*again->worksheet(1), 4, 11, remains(cleared)), QString());
        QCOMPARE(firstDifference(*again->worksheet(2), 4, 11, remains(everything)), QString());
        QCOMPARE(firstDifference(*again->worksheet(3), 4, 11,
                                 [](int r, int c) { return r == 1 && c == 1 ? "text new" : "empty"; }),
                 QString());
        QCOMPARE(again->worksheet(3)->lastRow(), 1);
        QCOMPARE(again->worksheet(3)->lastColumn(), 1);
    }

    void cellsReadFromTheFileStay_data() { formatRows(); }
    void cellsReadFromTheFileStay() {
        QFETCH(FileFormat, format);
        auto wb = Workbook::create(2);
        for (int s = 1; s <= 2; ++s) {
            Worksheet& ws = *wb->worksheet(s);
            putValues(ws, 1);
            putValues(ws, 5);
            ws.setBold(8, 1, 8, 3); // formats without values
            ws.setNumberFormat(8, 2, 8, 2, "0.0%");
            ws.clearRange(2, 2, 2, 3); // holes between cells
        }
        auto read = saveAndOpen(*wb, path("new"), format);
        const QStringList first = snapshot(*read->worksheet(1), 9, 11);
        QCOMPARE(first, snapshot(*wb->worksheet(1), 9, 11));

        // Written right next to them: into a hole, below, to the right, and far off.
        Worksheet& ws = *read->worksheet(1);
        put(ws, 2, 2, "text into the hole");
        put(ws, 9, 1, "number 91");
        put(ws, 1, 11, "number 111");
        put(ws, 500, 200, "number 5");
        ws.setBold(9, 1, 9, 1);
        auto again = saveAndOpen(*read, path("edited"), format);
        QStringList expected = first;
        expected[1 * 11 + 1] = "text into the hole";
        expected[8 * 11] = "number 91 bold";
        expected[10] = "number 111";
        QCOMPARE(snapshot(*again->worksheet(1), 9, 11), expected);
        QCOMPARE(describe(again->worksheet(1)->cell(500, 200)), QString("number 5"));
        QCOMPARE(snapshot(*again->worksheet(2), 9, 11), snapshot(*wb->worksheet(2), 9, 11)); // never read
    }

    void formatsAreReused_data() { formatRows(); }
    void formatsAreReused() {
        QFETCH(FileFormat, format);
        const int n = 200;
        // Rows written and formatted one at a time or all at once: equal formats are found again,
        // so both make the same file.
        auto write = [&](Workbook& wb, int first, bool oneByOne) {
            const int step = oneByOne ? 1 : n;
            for (int top = first; top < first + n; top += step) {
                ValueBlock block(step, 3);
                for (int r = 1, i = top - first + 1; r <= step; ++r, ++i) {
                    block.setNumber(r, 1, i * 0.5);
                    block.setDate(r, 2, 45000 + i);
                    block.setText(r, 3, "label " + std::to_string(i % 10));
                }
                wb.worksheet(1)->putBlock(top, 1, block);
                wb.worksheet(1)->setNumberFormat(top, 1, top + step - 1, 1, "0.000");
                wb.worksheet(1)->setBold(top, 3, top + step - 1, 3);
            }
        };
        const QString ways[] = {"cells", "range"};
        std::unique_ptr<Workbook> read[2];
        for (int way : {0, 1}) {
            auto wb = Workbook::create(1);
            write(*wb, 1, way == 0);
            read[way] = saveAndOpen(*wb, path(ways[way]), format);
        }
        QCOMPARE(contentOf(path("cells")), contentOf(path("range")));
        const Worksheet& ws = *read[0]->worksheet(1);
        QCOMPARE(describe(ws.cell(1, 1)), QString("number 0.5 [0.000]"));
        QCOMPARE(describe(ws.cell(n, 1)), QString("number 100 [0.000]"));
        QCOMPARE(describe(ws.cell(n, 2)), QString("number %1 [mm-dd-yy]").arg(45000 + n));
        QCOMPARE(describe(ws.cell(n, 3)), QString("text label 0 bold"));

        for (int way : {0, 1}) {
            write(*read[way], n + 1, way == 0);
            read[way] = saveAndOpen(*read[way], path(ways[way] + "-edited"), format);
        }
        QCOMPARE(contentOf(path("cells-edited")), contentOf(path("range-edited")));
        // Writing again what the file holds finds its formats and texts: nothing is added.
        write(*read[0], n + 1, true);
        saveAndOpen(*read[0], path("again"), format);
        QCOMPARE(contentOf(path("again")).size(), contentOf(path("cells-edited")).size());
        QCOMPARE(contentOf(path("again")), contentOf(path("cells-edited")));
    }

    void sheetLimits_data() {
        QTest::addColumn<FileFormat>("format");
        QTest::addColumn<int>("maxRows");
        QTest::addColumn<int>("maxColumns");
        // A new workbook with a cell below row 65,536, saved in the format.
        QTest::addColumn<ErrorKind>("savingRow65537");
        QTest::newRow("xlsx") << FileFormat::Xlsx << kMaxRows << kMaxColumns << kNoError;
        QTest::newRow("xlsm") << FileFormat::Xlsm << kMaxRows << kMaxColumns << kNoError;
        QTest::newRow("xlsb") << FileFormat::Xlsb << kMaxRows << kMaxColumns << kNoError;
        QTest::newRow("xls") << FileFormat::Xls << 65536 << 256 << ErrorKind::LimitExceeded;
    }
    void sheetLimits() {
        QFETCH(FileFormat, format);
        QFETCH(int, maxRows);
        QFETCH(int, maxColumns);
        QFETCH(ErrorKind, savingRow65537);
        auto check = [&](Workbook& wb) {
            QCOMPARE(wb.maxRows(), maxRows);
            QCOMPARE(wb.maxColumns(), maxColumns);
            Worksheet* ws = wb.worksheet(1);
            ValueBlock one(1, 1), two(2, 2);
            one.setNumber(1, 1, 7);
            two.setNumber(1, 1, 8);
            QCOMPARE(kindOf([&] { ws->putBlock(maxRows, maxColumns, one); }), kNoError);
            QCOMPARE(kindOf([&] { ws->putBlock(maxRows, 1, two); }), ErrorKind::LimitExceeded);
            QCOMPARE(kindOf([&] { ws->putBlock(1, maxColumns, two); }), ErrorKind::LimitExceeded);
            QCOMPARE(kindOf([&] { ws->setBold(1, 1, maxRows + 1, 1); }), ErrorKind::LimitExceeded);
            QCOMPARE(kindOf([&] { ws->setNumberFormat(1, 1, 1, maxColumns + 1, "0"); }),
                     ErrorKind::LimitExceeded);
            QCOMPARE(kindOf([&] { ws->clearRange(1, 1, maxRows + 1, maxColumns); }),
                     ErrorKind::LimitExceeded);
            QCOMPARE(kindOf([&] { ws->putBlock(0, 1, one); }), ErrorKind::InvalidArgument);
            QCOMPARE(kindOf([&] { ws->setBold(2, 1, 1, 1); }), ErrorKind::InvalidArgument);
            QCOMPARE(kindOf([&] { ws->setNumberFormat(1, 2, 1, 1, "0"); }), ErrorKind::InvalidArgument);
            QCOMPARE(kindOf([&] { ws->clearRange(1, 0, 1, 1); }), ErrorKind::InvalidArgument);
            // The refused calls changed nothing.
            QCOMPARE(describe(ws->cell(maxRows, maxColumns)), QString("number 7"));
            QCOMPARE(describe(ws->cell(maxRows, 1)), QString("empty"));
            QCOMPARE(describe(ws->cell(1, 1)), QString("empty"));
            QCOMPARE(ws->lastRow(), maxRows);
            QCOMPARE(ws->lastColumn(), maxColumns);
        };
        auto wb = Workbook::create(1);
        wb->saveAsLater(path("new"), format); // from now on it has the format's size
        check(*wb);
        wb->save();
        auto read = Workbook::open(path("new"));
        check(*read);

        auto tall = Workbook::create(1);
        put(*tall->worksheet(1), 65537, 1, "number 1");
        QCOMPARE(kindOf([&] { tall->saveAs(path("tall"), format); }), savingRow65537);
        QCOMPARE(QFile::exists(QString::fromStdString(path("tall"))), savingRow65537 == kNoError);
    }

    void refusedSavesLeaveFilesAlone_data() {
        QTest::addColumn<FileFormat>("format");
        // The formats a workbook read from a file of this format may be saved as.
        QTest::addColumn<QStringList>("sameKind");
        QTest::newRow("xlsx") << FileFormat::Xlsx << QStringList{"xlsx", "xlsm"};
        QTest::newRow("xlsm") << FileFormat::Xlsm << QStringList{"xlsx", "xlsm"};
        QTest::newRow("xlsb") << FileFormat::Xlsb << QStringList{"xlsb"};
        QTest::newRow("xls") << FileFormat::Xls << QStringList{"xls"};
    }
    void refusedSavesLeaveFilesAlone() {
        QFETCH(FileFormat, format);
        QFETCH(QStringList, sameKind);
        const std::string own = path("own");
        auto wb = Workbook::create(1);
        put(*wb->worksheet(1), 1, 1, "number 1");
        wb->saveAs(own, format);
        const QByteArray ownBytes = contentOf(own);
        for (const auto& target : kFormats) {
            const bool allowed = sameKind.contains(target.tag);
            const std::string other = path(QString("as-") + target.tag, target.tag);
            auto read = Workbook::open(own);
            put(*read->worksheet(1), 2, 1, "number 2");
            if (!allowed) {
                QCOMPARE(kindOf([&] { read->saveAs(own, target.format); }), ErrorKind::Unsupported);
                QCOMPARE(contentOf(own), ownBytes);
            }
            QCOMPARE(kindOf([&] { read->saveAs(other, target.format); }),
                     allowed ? kNoError : ErrorKind::Unsupported);
            QCOMPARE(QFile::exists(QString::fromStdString(other)), allowed);
            if (!allowed) { // the refusals left the workbook as it was
                QCOMPARE(kindOf([&] { read->save(); }), kNoError);
                QCOMPARE(describe(Workbook::open(own)->worksheet(1)->cell(2, 1)), QString("number 2"));
                QVERIFY(writeFile(own, ownBytes));
            }
        }

        // Another file of the name is never replaced, by a new workbook or an opened one.
        const std::string taken = path("taken");
        QVERIFY(writeFile(taken, "someone else's file"));
        auto fresh = Workbook::create(1);
        QCOMPARE(kindOf([&] { fresh->saveAs(taken, format); }), ErrorKind::FileSystem);
        QCOMPARE(kindOf([&] { fresh->saveAsLater(taken, format); }), ErrorKind::FileSystem);
        QVERIFY(fresh->path().empty());
        auto read = Workbook::open(own);
        QCOMPARE(kindOf([&] { read->saveAs(taken, format); }), ErrorKind::FileSystem);
        QCOMPARE(contentOf(taken), QByteArray("someone else's file"));
        QCOMPARE(QString::fromStdString(read->path()), QString::fromStdString(own));
    }

    void garbageIsRefused_data() {
        QTest::addColumn<FileFormat>("format");
        // The format's own file cut after a third of its bytes.
        QTest::addColumn<ErrorKind>("truncated");
        QTest::newRow("xlsx") << FileFormat::Xlsx << ErrorKind::NotAWorkbook;
        QTest::newRow("xlsm") << FileFormat::Xlsm << ErrorKind::NotAWorkbook;
        QTest::newRow("xlsb") << FileFormat::Xlsb << ErrorKind::NotAWorkbook;
        QTest::newRow("xls") << FileFormat::Xls << ErrorKind::Damaged;
    }
    void garbageIsRefused() {
        QFETCH(FileFormat, format);
        QFETCH(ErrorKind, truncated);
        // The content decides, not the name: the same bytes are refused alike under every extension.
        const QByteArray compound = QByteArray::fromHex("d0cf11e0a1b11ae1");
        const std::pair<QByteArray, ErrorKind> cases[] = {
            {"", ErrorKind::NotAWorkbook},
            {"Name,Value\n1,2\n", ErrorKind::NotAWorkbook},
            {QByteArray("PK\x03\x04", 4) + QByteArray(600, '\x7f'), ErrorKind::NotAWorkbook},
            {compound + QByteArray(600, '\x7f'), ErrorKind::Damaged},
        };
        int i = 0;
        for (const auto& [bytes, kind] : cases) {
            const std::string garbage = path(QString("garbage%1").arg(++i));
            QVERIFY(writeFile(garbage, bytes));
            QCOMPARE(kindOf([&] { Workbook::open(garbage); }), kind);
            QCOMPARE(contentOf(garbage), bytes);
        }
        auto wb = Workbook::create(2);
        putValues(*wb->worksheet(2), 1);
        wb->saveAs(path("whole"), format);
        const QByteArray whole = contentOf(path("whole"));
        QVERIFY(writeFile(path("cut"), whole.left(whole.size() / 3)));
        QCOMPARE(kindOf([&] { Workbook::open(path("cut")); }), truncated);
    }

    void repeatedTextsKeepTheirCells_data() { formatRows(); }
    void repeatedTextsKeepTheirCells() {
        QFETCH(FileFormat, format);
        const QStringList pool{"alpha", "beta", "gamma \U0001F600", "\u00c4rger", "=not a formula",
                               " lead", "x"};
        const int rows = 220;
        auto written = [&](int r, int c) -> QString {
            if (r > 200)
                return "empty";
            return "text " + (c == 4 ? QString("row %1").arg(r) : pool[(r * c) % 7]);
        };
        // Numbers over texts, other repeated texts, new texts, a cleared range.
        auto edited = [&](int r, int c) -> QString {
            if (r >= 150 && r <= 160)
                return "empty";
            if (c == 2 && r <= 50)
                return "number " + QString::number(r);
            if ((c == 3 && r > 50 && r <= 100) || (r > 200 && c <= 3))
                return "text " + pool[(r + 1) % 7];
            if (r > 200)
                return "text " + QString("new %1").arg(r);
            return written(r, c);
        };
        auto wb = Workbook::create(2);
        fill(*wb->worksheet(1), 1, rows, 1, 4, written);
        fill(*wb->worksheet(2), 1, rows, 1, 4, written);
        auto read = saveAndOpen(*wb, path("new"), format);
        QCOMPARE(firstDifference(*read->worksheet(1), rows, 4, written), QString());

        Worksheet& ws = *read->worksheet(1);
        fill(ws, 1, 50, 2, 2, edited);
        fill(ws, 51, 100, 3, 3, edited);
        fill(ws, 201, rows, 1, 4, edited);
        ws.clearRange(150, 1, 160, 4);
        auto again = saveAndOpen(*read, path("edited"), format);
        QCOMPARE(firstDifference(*again->worksheet(1), rows, 4, edited), QString());
        QCOMPARE(firstDifference(*again->worksheet(2), rows, 4, written), QString());
    }

    void worksheetsKeepNamesAndPositions_data() { formatRows(); }
    void worksheetsKeepNamesAndPositions() {
        QFETCH(FileFormat, format);
        auto wb = Workbook::create(2);
        wb->addWorksheet(0);                            // Sheet3, at the front
        wb->addWorksheet(3).rename("\u00c4rger Daten"); // at the end
        wb->worksheet(2)->rename("Zahlen \U0001F600");
        auto check = [&](const Workbook& book, const QStringList& names) {
            QCOMPARE(book.worksheetCount(), int(names.size()));
            for (int i = 1; i <= book.worksheetCount(); ++i) {
                Worksheet* ws = book.worksheet(i);
                QCOMPARE(QString::fromStdString(ws->name()), names[i - 1]);
                QCOMPARE(ws->position(), i);
                QCOMPARE(book.findWorksheet(names[i - 1].toUpper().toStdString()), ws);
                QCOMPARE(book.findWorksheetPosition(names[i - 1].toLower().toStdString()), i);
                QCOMPARE(describe(ws->cell(1, 1)), "text " + names[i - 1]);
            }
            QVERIFY(!book.findWorksheet("Sheet9"));
        };
        auto label = [](Workbook& book) {
            for (int i = 1; i <= book.worksheetCount(); ++i)
                put(*book.worksheet(i), 1, 1, "text " + QString::fromStdString(book.worksheet(i)->name()));
        };
        label(*wb);
        const QStringList names{"Sheet3", "Zahlen \U0001F600", "Sheet2", "\u00c4rger Daten"};
        check(*wb, names);
        auto read = saveAndOpen(*wb, path("new"), format);
        check(*read, names);

        Worksheet* first = read->worksheet(1);
        read->addWorksheet(2).rename("Mitte");
        read->addWorksheet(0); // default names count on from the number of worksheets
        first->rename("Erste");
        QCOMPARE(kindOf([&] { first->rename("mitte"); }), ErrorKind::LimitExceeded);
        label(*read);
        auto again = saveAndOpen(*read, path("edited"), format);
        check(*again, {"Sheet6", "Erste", "Zahlen \U0001F600", "Mitte", "Sheet2", "\u00c4rger Daten"});
    }

    void layoutOnlyOnNewWorksheets_data() { formatRows(); }
    void layoutOnlyOnNewWorksheets() {
        QFETCH(FileFormat, format);
        auto plain = Workbook::create(1), wb = Workbook::create(1);
        putValues(*plain->worksheet(1), 1);
        putValues(*wb->worksheet(1), 1);
        QCOMPARE(kindOf([&] { wb->worksheet(1)->fitColumns(1, 10); }), kNoError);
        QCOMPARE(kindOf([&] { wb->worksheet(1)->freezePanes(1, 2); }), kNoError);
        QCOMPARE(kindOf([&] { wb->worksheet(1)->freezePanes(-1, 0); }), ErrorKind::InvalidArgument);
        auto read = saveAndOpen(*wb, path("new"), format);
        saveAndOpen(*plain, path("plain"), format);
        QVERIFY(contentOf(path("new")) != contentOf(path("plain"))); // the layout is in the file
        QCOMPARE(firstDifference(*read->worksheet(1), 3, 10, expectedValue), QString());
        // A worksheet read from the file keeps its own; one added to the file may be laid out.
        QCOMPARE(kindOf([&] { read->worksheet(1)->fitColumns(1, 10); }), ErrorKind::Unsupported);
        QCOMPARE(kindOf([&] { read->worksheet(1)->freezePanes(1, 1); }), ErrorKind::Unsupported);
        QCOMPARE(kindOf([&] { read->worksheet(1)->freezePanes(0, 0); }), ErrorKind::Unsupported);
        Worksheet& added = read->addWorksheet(1);
        putValues(added, 1);
        QCOMPARE(kindOf([&] { added.fitColumns(1, 10); }), kNoError);
        QCOMPARE(kindOf([&] { added.freezePanes(2, 0); }), kNoError);
        auto again = saveAndOpen(*read, path("edited"), format);
        QCOMPARE(firstDifference(*again->worksheet(2), 3, 10, expectedValue), QString());
        QCOMPARE(kindOf([&] { again->worksheet(2)->freezePanes(0, 0); }), ErrorKind::Unsupported);
    }

    // Workbooks made by other programs (fixtures/README.md): a protected worksheet whose A1 is
    // locked and whose B1 is not (the .xlsb maker cannot unlock a cell), and a workbook counting
    // dates from 1904.
    static void fixtureRows(const char* stem, const char* columnName, const QList<bool>& flags) {
        QTest::addColumn<FileFormat>("format");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>(columnName);
        for (std::size_t i = 0; i < std::size(kFormats); ++i)
            QTest::newRow(kFormats[i].tag)
                << kFormats[i].format << QString("%1/%2.%3").arg(GRIDWELL_FIXTURES, stem, kFormats[i].tag)
                << flags.at(int(i));
    }

    void protectedCellsAreRefused_data() {
        fixtureRows("protected", "unlockedCell", {true, true, false, true});
    }
    void protectedCellsAreRefused() {
        QFETCH(FileFormat, format);
        QFETCH(QString, fixture);
        QFETCH(bool, unlockedCell);
        const std::string copy = path("copy");
        QVERIFY(writeFile(copy, contentOf(fixture.toStdString())));
        {
            auto wb = Workbook::open(copy);
            Worksheet& ws = *wb->findWorksheet("Data");
            ValueBlock one(1, 1);
            one.setText(1, 1, "changed");
            QCOMPARE(kindOf([&] { ws.putBlock(1, 1, one); }), ErrorKind::Protected);
            QCOMPARE(kindOf([&] { ws.clearRange(1, 1, 1, 1); }), ErrorKind::Protected);
            QCOMPARE(kindOf([&] { ws.clear(); }), ErrorKind::Protected);
            QCOMPARE(kindOf([&] { ws.putBlock(5, 3, one); }),
                     ErrorKind::Protected); // cells not there are locked
            QCOMPARE(describe(ws.cell(1, 1)), QString("text locked"));
            if (unlockedCell)
                ws.putBlock(1, 2, one);
            wb->setFixedTimestamp(kStamp);
            wb->save();
        }
        auto again = Workbook::open(copy);
        const Worksheet& ws = *again->findWorksheet("Data");
        QCOMPARE(describe(ws.cell(1, 1)), QString("text locked"));
        QCOMPARE(describe(ws.cell(1, 2)), QString(unlockedCell ? "text changed" : "text open"));
        QCOMPARE(kindOf([&] { again->findWorksheet("Data")->clearRange(1, 1, 1, 1); }), ErrorKind::Protected);
        Q_UNUSED(format);
    }

    // A table with columns "a", "b" and "c" over A1:C3 of the first worksheet (the .xlsb saved by
    // the spreadsheet application itself).
    void tableHeadersFollowTheCells_data() {
        fixtureRows("tables", "holdsTables", {true, true, true, false});
    }
    void tableHeadersFollowTheCells() {
        QFETCH(QString, fixture);
        QFETCH(bool, holdsTables);
        if (!holdsTables)
            QSKIP("The format has no tables.");
        const std::string copy = path("copy");
        QVERIFY(writeFile(copy, contentOf(fixture.toStdString())));
        auto reopenedTable = [&] {
            auto wb = Workbook::open(copy);
            const std::vector<TableInfo> tables = wb->worksheet(1)->tables();
            return tables.size() == 1 ? tables.front() : TableInfo{};
        };
        const TableInfo original = reopenedTable();
        QCOMPARE(QList<int>({original.firstRow, original.firstColumn, original.lastRow, original.lastColumn}),
                 QList<int>({1, 1, 3, 3}));
        QVERIFY(original.headerRow);
        QCOMPARE(original.columns, std::vector<std::string>({"a", "b", "c"}));

        auto write = [&](int column, const std::function<void(ValueBlock&)>& fill) {
            auto wb = Workbook::open(copy);
            ValueBlock block(1, 2);
            fill(block);
            wb->worksheet(1)->putBlock(1, column, block);
            wb->setFixedTimestamp(kStamp);
            wb->save();
            return wb->saveNotes();
        };
        // The written header cells name their columns; the others keep their names. Cells beside
        // the table rename nothing.
        QVERIFY(write(1, [](ValueBlock& b) {
                    b.setText(1, 1, "Flow");
                    b.setText(1, 2, "Stage \u00e9\U0001F600");
                }).empty());
        write(5, [](ValueBlock& b) { b.setText(1, 1, "beyond"); });
        TableInfo renamed = reopenedTable();
        QVERIFY(renamed.headerRow);
        QCOMPARE(renamed.columns, std::vector<std::string>({"Flow", "Stage \u00e9\U0001F600", "c"}));
        QCOMPARE(QList<int>({renamed.firstRow, renamed.lastRow, renamed.lastColumn}), QList<int>({1, 3, 3}));
        QCOMPARE(describe(Workbook::open(copy)->worksheet(1)->cell(1, 2)),
                 QString("text Stage \u00e9\U0001F600"));

        // A name the table has already, in other case, cannot name a second column: the table keeps
        // its names and area and gives up its header row, for good, and the save says so.
        const std::vector<std::string> notes = write(2, [](ValueBlock& b) {
            b.setText(1, 1, "FLOW");
            b.setText(1, 2, "C");
        });
        QCOMPARE(notes.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(notes.front()).startsWith("The table at A1:C3 of the worksheet \""));
        TableInfo headerless = reopenedTable();
        QVERIFY(!headerless.headerRow);
        QCOMPARE(headerless.columns, renamed.columns);
        QCOMPARE(QList<int>({headerless.firstRow, headerless.lastRow, headerless.lastColumn}),
                 QList<int>({1, 3, 3}));
        write(1, [](ValueBlock& b) { b.setText(1, 1, "Again"); });
        QCOMPARE(reopenedTable().columns, renamed.columns);
        QVERIFY(!reopenedTable().headerRow);
    }

    void datesCountFrom1904_data() { fixtureRows("date1904", "unused", {false, false, false, false}); }
    void datesCountFrom1904() {
        QFETCH(FileFormat, format);
        QFETCH(QString, fixture);
        const std::string copy = path("copy");
        QVERIFY(writeFile(copy, contentOf(fixture.toStdString())));
        {
            auto wb = Workbook::open(copy);
            Worksheet& ws = wb->addWorksheet(wb->sheetCount());
            ValueBlock dates(1, 2);
            dates.setDate(1, 1, 45000.5); // 2023-03-15 12:00 in the 1900 count
            dates.setDate(1, 2, 45000);
            ws.putBlock(1, 1, dates);
            ValueBlock early(1, 1);
            early.setDate(1, 1, 100); // 1900-04-09: before the workbook's dates begin
            QCOMPARE(kindOf([&] { ws.putBlock(2, 1, early); }), ErrorKind::InvalidArgument);
            wb->setFixedTimestamp(kStamp);
            wb->save();
        }
        auto again = Workbook::open(copy);
        const Worksheet& ws = *again->worksheet(again->worksheetCount());
        // Serials of the 1904 count are 1,462 days smaller, shown in a date format.
        QCOMPARE(ws.cell(1, 1).number, 45000.5 - 1462);
        QCOMPARE(ws.cell(1, 2).number, 45000.0 - 1462);
        QVERIFY(ws.cell(1, 1).numberFormat != "General");
        QVERIFY(ws.cell(1, 2).numberFormat != "General");
        QVERIFY(ws.cell(2, 1).type == CellType::Empty);
        Q_UNUSED(format);
    }

    void fixedTimestampGivesTheSameBytes_data() { formatRows(); }
    void fixedTimestampGivesTheSameBytes() {
        QFETCH(FileFormat, format);
        for (const QString name : {"first", "second"}) {
            auto wb = Workbook::create(2);
            putValues(*wb->worksheet(1), 1);
            putValues(*wb->worksheet(2), 4);
            wb->worksheet(2)->freezePanes(1, 0);
            auto read = saveAndOpen(*wb, path(name), format);
            putValues(*read->worksheet(1), 7);
            read->addWorksheet(2);
            saveAndOpen(*read, path(name + "-edited"), format);
        }
        QVERIFY(!contentOf(path("first")).isEmpty());
        QCOMPARE(contentOf(path("first")), contentOf(path("second")));
        QCOMPARE(contentOf(path("first-edited")), contentOf(path("second-edited")));
    }
};

QTEST_GUILESS_MAIN(EveryFormatTest)
#include "tst_every_format.moc"
