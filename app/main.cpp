#include "CommandLineRun.h"
#include "ExcelWrite.h"
#include "GridwellDlg.h"
#include "SpreadsheetServer.h"
#include "StartUp.h"
#include "SystemPaths.h"

#include <QApplication>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char* const noDisplayLine =
    "Gridwell: the window needs a display, and none is available; to convert without a window use the "
    "command line, for example: gridwell -i study.pvx -o study.xlsx (gridwell -h lists the options)\n";

[[noreturn]] void failWithoutDisplay() {
    std::fputs(noDisplayLine, stderr);
    std::fflush(stderr);
    std::_Exit(1);
}

// A display that cannot be reached only shows when the window system is set up; Qt then ends
// the process with an abort. Say what is wrong, in one line, instead, and end with status 1;
// what the window system says on the way there is not for the user.
void noDisplayHandler(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg)
        failWithoutDisplay();
}

bool displayNamed() {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

std::unique_ptr<QCoreApplication> makeWindowApplication(int& argc, char** argv) {
    if (!displayNamed())
        failWithoutDisplay();
    const QtMessageHandler previous = qInstallMessageHandler(noDisplayHandler);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return application;
}

// A desktop launcher hands over the file it opens as the only argument ("gridwell %f"): that
// opens the window with the file as its source. Options begin with '-' and keep the command line.
bool launchedWithFile(int argc, char** argv) {
    return argc == 2 && argv[1][0] != '\0' && argv[1][0] != '-';
}

} // namespace

int main(int argc, char* argv[]) {
#ifndef _WIN32
    // A file-size limit (ulimit -f) makes a write past it fail with EFBIG, which the save reports
    // and recovers from like a full disk, instead of ending the process half-way.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // The face is known from the arguments before any application object exists, so a
    // command-line run needs no display.
    const bool withFile = launchedWithFile(argc, argv);
    const bool windowMode = argc == 1 || withFile;
    std::unique_ptr<QCoreApplication> application;
    if (windowMode)
        application = makeWindowApplication(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    registerSpreadsheetServer();
    if (withFile)
        GridwellDlg::setStartSource(decodeFileName(argv[1])); // a name that is not UTF-8 keeps its bytes

    auto writer = std::make_unique<ExcelWrite>();
    setSpreadsheetServerNotes([target = writer.get()](const std::string& note) {
        target->noteFromSpreadsheet(QString::fromStdString(note));
    });
    startLogging();
    const int status = windowMode ? runWindowMode(*writer) : runCommandLine(argc, argv, *writer);

    setSpreadsheetServerNotes(nullptr);
    writer.reset();
    application.reset();
    return status;
}

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include <vector>

// A GUI program receives its command line as one Unicode text: split it, hand main the
// arguments in the system's ANSI code page, and free them afterwards.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return -1;
    std::vector<char*> arguments;
    for (int i = 0; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        char* argument = new char[size > 0 ? size : 1]();
        WideCharToMultiByte(CP_ACP, 0, wide[i], -1, argument, size, nullptr, nullptr);
        arguments.push_back(argument);
    }
    LocalFree(wide);
    arguments.push_back(nullptr);
    const int status = main(count, arguments.data());
    for (char* argument : arguments)
        delete[] argument;
    return status;
}
#endif
