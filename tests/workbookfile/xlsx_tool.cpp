// Drives the workbook engine from test scripts: each command writes or edits a workbook the way
// the spreadsheet server would, so that an independent reader can check the result.

#include "FuzzWorkbook.h"
#include "Workbook.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using workbookfile::ValueBlock;

// The whole content of a file; empty when it cannot be read.
std::string fileBytes(const char* path) {
    std::string bytes;
    if (std::FILE* f = std::fopen(path, "rb")) {
        char buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}
using workbookfile::Workbook;

// The format a file name's extension names (.xlsx for any other).
workbookfile::FileFormat formatOf(const std::string& path) {
    const std::string extension =
        path.substr(path.rfind('.') == std::string::npos ? path.size() : path.rfind('.'));
    return extension == ".xlsm"   ? workbookfile::FileFormat::Xlsm
           : extension == ".xls"  ? workbookfile::FileFormat::Xls
           : extension == ".xlsb" ? workbookfile::FileFormat::Xlsb
                                  : workbookfile::FileFormat::Xlsx;
}

// The workbook's worksheet of that name, found as the server finds it; an error when there is none.
workbookfile::Worksheet& worksheetOf(Workbook& wb, const char* name, const char* missing = "no such sheet") {
    workbookfile::Worksheet* ws = wb.findWorksheet(name);
    if (!ws)
        throw workbookfile::Error(workbookfile::ErrorKind::InvalidArgument, missing);
    return *ws;
}

// A sample workbook covering every kind of value and formatting.
void writeSample(const std::string& path, workbookfile::FileFormat format, bool streamed = false) {
    auto wb = Workbook::create(3);
    if (streamed)
        wb->setStreamingThreshold(0); // every worksheet deflated piece by piece
    wb->setFixedTimestamp(1700000000);
    workbookfile::Worksheet* data = wb->worksheet(1);
    data->rename("Data");
    ValueBlock header(1, 4);
    header.setText(1, 1, "Name");
    header.setText(1, 2, "Value");
    header.setText(1, 3, "When");
    header.setText(1, 4, "Flag");
    data->putBlock(1, 1, header);
    data->setBold(1, 1, 1, 4);

    ValueBlock rows(5, 4);
    const double numbers[] = {0.1, 1.0 / 3.0, -2.5e-300, 1.7976931348623157e308, 123456789012345678.0};
    const char* texts[] = {"plain", "  spaced  ", "=1+2", "tab\tline\nfeed\rcr", "ctl\x01_x0041_ end"};
    for (int r = 1; r <= 5; ++r) {
        rows.setText(r, 1, texts[r - 1]);
        rows.setNumber(r, 2, numbers[r - 1]);
        rows.setDate(r, 3, 45000.0 + r + (r == 5 ? 0.5 : 0.0));
        rows.setBoolean(r, 4, r % 2 == 1);
    }
    data->putBlock(2, 1, rows);
    data->setNumberFormat(2, 2, 3, 2, "0.000");
    data->setNumberFormat(4, 2, 4, 2, "#,##0.00 \"kg\"");

    ValueBlock unicode(1, 2);
    unicode.setText(1, 1, std::u16string(u"\u00e9t\u00e9 \U0001F600 \u4e2d"));
    unicode.setText(1, 2, std::string(32767, 'x'));
    data->putBlock(8, 1, unicode);

    workbookfile::Worksheet* second = wb->worksheet(2);
    second->rename("Zweite Tabelle");
    ValueBlock big(20, 10);
    for (int r = 1; r <= 20; ++r)
        for (int c = 1; c <= 10; ++c)
            big.setNumber(r, c, r * 100 + c);
    second->putBlock(1, 1, big);
    // Bold first, then a number format: both must stay.
    second->setBold(1, 1, 1, 10);
    second->setNumberFormat(1, 1, 2, 10, "0.0");
    // Empty removes the value but keeps the format.
    ValueBlock hole(1, 1);
    second->putBlock(1, 1, hole);
    // Cells past a gap in the row.
    ValueBlock apart(1, 2);
    apart.setNumber(1, 1, 112);
    apart.setNumber(1, 2, 113);
    second->putBlock(1, 12, apart);

    wb->addWorksheet(3).rename("Last");
    wb->addWorksheet(0); // becomes the first worksheet with a default name
    workbookfile::Worksheet* far = wb->findWorksheet("LAST");
    ValueBlock corner(1, 1);
    corner.setNumber(1, 1, 42);
    // The format's last cell.
    const bool xls = format == workbookfile::FileFormat::Xls;
    far->putBlock(xls ? 65536 : workbookfile::kMaxRows, xls ? 256 : workbookfile::kMaxColumns, corner);
    wb->saveAs(path, format);
}

// Edits a workbook made by another program: writes into its data sheet, adds a worksheet,
// and saves it under a new name.
void editWorkbook(const std::string& in, const std::string& out) {
    auto wb = Workbook::open(in);
    workbookfile::Worksheet* data = &worksheetOf(*wb, "data", "no Data sheet");
    ValueBlock values(3, 2);
    for (int r = 1; r <= 3; ++r) {
        values.setNumber(r, 1, 1000 + r);
        values.setText(r, 2, "new " + std::to_string(r));
    }
    data->putBlock(2, 2, values);
    data->setBold(1, 1, 1, 3);
    data->setNumberFormat(2, 2, 4, 2, "0.00");
    workbookfile::Worksheet& added = wb->addWorksheet(wb->worksheetCount());
    added.rename("Added");
    ValueBlock one(1, 1);
    one.setText(1, 1, "hello");
    added.putBlock(1, 1, one);
    wb->saveAs(out, formatOf(out));
}

volatile std::sig_atomic_t resumeSave = 0;

void onResume(int) {
    resumeSave = 1;
}

void onOwnTerm(int) {
    static const char said[] = "HANDLED\n";
    if (::write(1, said, sizeof said - 1) < 0) {
        // Nothing to do about a closed pipe in a signal handler.
    }
    resumeSave = 1;
}

// Opens a workbook, writes rows x 50 numbers into its first worksheet and saves it in place. At
// step pauseAt of the save it prints "STEP <n>" and waits until a signal handler lets it go on
// (SIGUSR1 always does). handling: "default", "ignore-int" (SIGINT ignored from the start) or
// "own-term" (a SIGTERM handler of the program's own, which the engine must call).
void saveAwaitingSignals(const std::string& path, int rows, int pauseAt, const std::string& handling) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onResume;
    sigaction(SIGUSR1, &action, nullptr);
    if (handling == "ignore-int") {
        action.sa_handler = SIG_IGN;
        sigaction(SIGINT, &action, nullptr);
    } else if (handling == "own-term") {
        action.sa_handler = onOwnTerm;
        sigaction(SIGTERM, &action, nullptr);
    }
    auto wb = Workbook::open(path);
    ValueBlock block(rows, 50);
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= 50; ++c)
            block.setNumber(r, c, r * c + 0.5);
    wb->worksheet(1)->putBlock(1, 1, block);
    wb->setSaveProgressCallback([pauseAt](int step) {
        if (step != pauseAt)
            return;
        std::printf("STEP %d\n", step);
        std::fflush(stdout);
        for (int waited = 0; !resumeSave && waited < 6000; ++waited)
            ::usleep(10000);
    });
    std::printf("SAVING\n");
    std::fflush(stdout);
    wb->save();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: xlsx_tool sample|sample-xlsm|edit|open|save-signal ...\n");
        return 2;
    }
    std::string cmd = argv[1];
    try {
        if (cmd.rfind("sample", 0) == 0) {
            // sample, sample-xlsm, sample-xlsb, sample-xls: in the format the extension names;
            // sample-streamed: every worksheet deflated piece by piece.
            writeSample(argv[2], formatOf(argv[2]), cmd == "sample-streamed");
        } else if (cmd == "edit" && argc >= 4) {
            editWorkbook(argv[2], argv[3]);
        } else if (cmd == "failed-save-as" && argc >= 4) {
            // Opens a workbook, fails to save it as .xlsx at an impossible path, then saves it in place.
            auto wb = workbookfile::Workbook::open(argv[2]);
            try {
                wb->saveAs(argv[3], workbookfile::FileFormat::Xlsx);
                std::printf("UNEXPECTED saveAs succeeded\n");
                return 1;
            } catch (const workbookfile::Error&) {
            }
            wb->save();
        } else if (cmd == "open") {
            workbookfile::OpenLimits limits;
            if (argc >= 5) {
                limits.maxEntryBytes = std::strtoull(argv[3], nullptr, 10);
                limits.maxTotalBytes = std::strtoull(argv[4], nullptr, 10);
            }
            auto wb = Workbook::open(argv[2], limits);
            for (int i = 1; i <= wb->worksheetCount(); ++i)
                wb->worksheet(i)->lastRow();
            std::printf("OK %d\n", wb->worksheetCount());
        } else if (cmd == "replay-xlsb" && argc >= 4) {
            // Replays a binary workbook fuzz input: read, edited and saved as .xlsb to argv[3].
            fuzz::exercise(argv[2], argv[3]);
            std::printf("OK\n");
        } else if (cmd == "add-sheet" && argc >= 5) {
            // add-sheet <in> <out> <after>: a worksheet after the sheet at that position, saved
            // in the workbook's own format.
            auto wb = Workbook::open(argv[2]);
            wb->addWorksheet(std::atoi(argv[4]));
            wb->saveAs(argv[3], wb->format());
            std::printf("OK\n");
        } else if (cmd == "cell" && argc >= 6) {
            // cell <in> <sheet> <row> <column>: what the engine reads there.
            auto wb = Workbook::open(argv[2]);
            const workbookfile::CellInfo c =
                worksheetOf(*wb, argv[3], "no such worksheet").cell(std::atoi(argv[4]), std::atoi(argv[5]));
            static const char* const types[] = {"empty", "number", "text", "boolean", "formula", "error"};
            std::printf("%s %s\n", types[int(c.type)],
                        c.type == workbookfile::CellType::Number ? std::to_string(c.number).c_str()
                                                                 : c.text.c_str());
        } else if (cmd == "replay-xls" && argc >= 4) {
            // Replays a 97-2003 workbook fuzz input: read, edited and saved as .xls to argv[3].
            const std::string in = std::string(argv[3]) + ".in.xls";
            fuzz::writeXlsInput(in, fileBytes(argv[2]));
            fuzz::exercise(in, argv[3]);
            std::printf("OK\n");
        } else if (cmd == "replay-xlsb-parts" && argc >= 4) {
            // Replays an input of xlsb_fuzz_open: wrapped into a package, read, edited, saved.
            const std::string in = std::string(argv[3]) + ".in.xlsb";
            fuzz::writeSplitXlsbPackage(in, fileBytes(argv[2]));
            fuzz::exercise(in, argv[3]);
            std::printf("OK\n");
        } else if (cmd == "replay" || cmd == "replay-parts") {
            // Replays a fuzz input the way its fuzz target ran it.
            std::string in = argv[2];
            if (cmd == "replay-parts") {
                in = std::string(argv[3]) + ".in.xlsx";
                fuzz::writeSplitPackage(in, fileBytes(argv[2]));
            }
            fuzz::exercise(in, cmd == "replay-parts" ? std::string(argv[3]) : std::string());
            std::printf("OK\n");
        } else if (cmd == "put-number" && argc >= 8) {
            // put-number <in> <out> <sheet> <row> <column> <value>
            auto wb = Workbook::open(argv[2]);
            ValueBlock one(1, 1);
            one.setNumber(1, 1, std::atof(argv[7]));
            worksheetOf(*wb, argv[4]).putBlock(std::atoi(argv[5]), std::atoi(argv[6]), one);
            wb->saveAs(argv[3], workbookfile::FileFormat::Xlsx);
        } else if (cmd == "clear" && argc >= 5) {
            // clear <in> <out> <sheet> [texts...]: clears the sheet, writes the texts into row 1.
            auto wb = Workbook::open(argv[2]);
            workbookfile::Worksheet& ws = worksheetOf(*wb, argv[4]);
            ws.clear();
            if (argc > 5) {
                ValueBlock header(1, argc - 5);
                for (int i = 5; i < argc; ++i)
                    header.setText(1, i - 4, argv[i]);
                ws.putBlock(1, 1, header);
            }
            wb->saveAs(argv[3], workbookfile::FileFormat::Xlsx);
        } else if (cmd == "put-row" && argc >= 8) {
            // put-row <in> <out> <sheet> <row> <column> <values...>: "n:<number>" is a number,
            // "e:" an empty cell, anything else a text.
            auto wb = Workbook::open(argv[2]);
            ValueBlock values(1, argc - 7);
            for (int i = 7; i < argc; ++i) {
                std::string value = argv[i];
                if (value.rfind("n:", 0) == 0)
                    values.setNumber(1, i - 6, std::atof(value.c_str() + 2));
                else if (value != "e:")
                    values.setText(1, i - 6, value);
            }
            worksheetOf(*wb, argv[4]).putBlock(std::atoi(argv[5]), std::atoi(argv[6]), values);
            wb->saveAs(argv[3], formatOf(argv[3]));
        } else if (cmd == "many-sheets" && argc >= 4) {
            // Many worksheets, each with a little data: the save must not need a file per sheet.
            int count = std::atoi(argv[3]);
            auto wb = Workbook::create(1);
            for (int i = 1; i <= count; ++i) {
                workbookfile::Worksheet* ws = i == 1 ? wb->worksheet(1) : &wb->addWorksheet(i - 1);
                ValueBlock block(2, 2);
                block.setNumber(1, 1, i);
                block.setText(1, 2, "sheet " + std::to_string(i));
                ws->putBlock(1, 1, block);
            }
            wb->saveAs(argv[2], workbookfile::FileFormat::Xlsx);
        } else if (cmd == "save-signal" && argc >= 6) {
            // save-signal <path> <rows> <pause at step, 0 for none> <handling>
            saveAwaitingSignals(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
        } else {
            std::fprintf(stderr, "unknown command %s\n", cmd.c_str());
            return 2;
        }
    } catch (const workbookfile::Error& e) {
        std::printf("ERROR %s %s\n", workbookfile::errorKindName(e.kind()), e.what());
        return 1;
    } catch (const std::exception& e) {
        std::printf("ERROR %s\n", e.what());
        return 1;
    }
    return 0;
}
