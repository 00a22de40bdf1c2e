// Writes the benchmark workbook (by default 100 worksheets of 1,000 rows x 100 columns of numbers
// under a header row of short texts) with the engine, and with libxlsxwriter when available, each
// in a child process so that its peak memory is its own. Prints time, cells per second, file size
// and peak memory.
//
//   xlsx_bench [--sheets N] [--rows N] [--cols N] [--texts-per-sheet N] [--dir PATH] [--engine-only]

#include "Workbook.h"

#ifdef GRIDWELL_BENCH_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Shape {
    int sheets = 100;
    int rows = 1000;
    int cols = 100;
    int textsPerSheet = 50;
};

// Values of a simulation export: mostly short decimals, some full-precision results.
double valueAt(int sheet, int row, int col) {
    if (col % 4 == 0)
        return std::sqrt(double(sheet * 1000003 + row * 101 + col));
    return (row * 0.25 + col) * (sheet + 1) / 4.0;
}

std::string textAt(int sheet, int col) {
    return "Slot" + std::to_string(col) + "." + std::to_string(sheet % 40);
}

void writeWithEngine(const Shape& s, const std::string& path) {
    auto wb = workbookfile::Workbook::create(1);
    for (int sh = 0; sh < s.sheets; ++sh) {
        workbookfile::Worksheet* ws = sh == 0 ? wb->worksheet(1) : &wb->addWorksheet(sh);
        if (s.textsPerSheet > 0) {
            workbookfile::ValueBlock header(1, s.textsPerSheet);
            for (int c = 1; c <= s.textsPerSheet; ++c)
                header.setText(1, c, textAt(sh, c));
            ws->putBlock(1, 1, header);
            ws->setBold(1, 1, 1, s.textsPerSheet);
        }
        workbookfile::ValueBlock block(s.rows, s.cols);
        for (int r = 1; r <= s.rows; ++r)
            for (int c = 1; c <= s.cols; ++c)
                block.setNumber(r, c, valueAt(sh, r, c));
        ws->putBlock(2, 1, block);
    }
    wb->saveAs(path, workbookfile::FileFormat::Xlsx);
}

#ifdef GRIDWELL_BENCH_HAVE_XLSXWRITER
void writeWithXlsxWriter(const Shape& s, const std::string& path) {
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
    lxw_format* bold = workbook_add_format(wb);
    format_set_bold(bold);
    for (int sh = 0; sh < s.sheets; ++sh) {
        lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
        for (int c = 1; c <= s.textsPerSheet; ++c)
            worksheet_write_string(ws, 0, lxw_col_t(c - 1), textAt(sh, c).c_str(), bold);
        for (int r = 1; r <= s.rows; ++r)
            for (int c = 1; c <= s.cols; ++c)
                worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c - 1), valueAt(sh, r, c), nullptr);
    }
    lxw_error err = workbook_close(wb);
    if (err != LXW_NO_ERROR)
        throw std::runtime_error(std::string("libxlsxwriter: ") + lxw_strerror(err));
}
#endif

struct Result {
    bool ok = false;
    double seconds = 0;
    long peakKb = 0;
    long long bytes = 0;
};

// Runs job in a child process and measures it.
template <typename Job> Result measure(const std::string& path, Job job) {
    ::unlink(path.c_str());
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        try {
            job();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "  failed: %s\n", e.what());
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    int status = 0;
    struct rusage usage;
    ::wait4(pid, &status, 0, &usage);
    Result r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.peakKb = usage.ru_maxrss;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        r.bytes = st.st_size;
    return r;
}

void print(const char* who, const Result& r, long long cells) {
    if (!r.ok) {
        std::printf("%-14s FAILED\n", who);
        return;
    }
    std::printf("%-14s %8.2f s  %12.0f cells/s  %12lld bytes  peak %8.1f MB (%.1f bytes/cell)\n", who,
                r.seconds, double(cells) / r.seconds, r.bytes, r.peakKb / 1024.0,
                r.peakKb * 1024.0 / double(cells));
}

} // namespace

int main(int argc, char** argv) {
    Shape s;
    std::string dir = "/tmp";
    bool engineOnly = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (a == "--sheets")
            s.sheets = next();
        else if (a == "--rows")
            s.rows = next();
        else if (a == "--cols")
            s.cols = next();
        else if (a == "--texts-per-sheet")
            s.textsPerSheet = next();
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--engine-only")
            engineOnly = true;
    }
    long long cells = (long long)s.sheets * (s.rows * (long long)s.cols + s.textsPerSheet);
    std::printf("workbook: %d worksheets x %d rows x %d columns of numbers + %d texts each = %lld cells\n",
                s.sheets, s.rows, s.cols, s.textsPerSheet, cells);

    std::string enginePath = dir + "/xlsx_bench_engine.xlsx";
    Result engine = measure(enginePath, [&] { writeWithEngine(s, enginePath); });
    print("engine", engine, cells);

#ifdef GRIDWELL_BENCH_HAVE_XLSXWRITER
    if (!engineOnly) {
        std::string lxwPath = dir + "/xlsx_bench_libxlsxwriter.xlsx";
        Result lxw = measure(lxwPath, [&] { writeWithXlsxWriter(s, lxwPath); });
        print("libxlsxwriter", lxw, cells);
        if (engine.ok && lxw.ok)
            std::printf("ratio engine/libxlsxwriter: time %.3f, size %.3f, peak memory %.3f\n",
                        engine.seconds / lxw.seconds, double(engine.bytes) / double(lxw.bytes),
                        double(engine.peakKb) / double(lxw.peakKb));
        ::unlink(lxwPath.c_str());
    }
#else
    (void)engineOnly;
    std::printf("libxlsxwriter-dev not installed: no comparison\n");
#endif
    ::unlink(enginePath.c_str());
    return engine.ok ? 0 : 1;
}
