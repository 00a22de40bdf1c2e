#include "SpreadsheetServer.h"

#ifdef _WIN32
// The real application is registered with the system.
void registerSpreadsheetServer() {}
void unregisterSpreadsheetServer() {}
long spreadsheetServerLiveObjects() {
    return 0;
}
void setSpreadsheetServerNotes(std::function<void(const std::string&)>) {}
#else

#include "ClassRegistry.h"
#include "DispatchObject.h"
#include "ServerObjects.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::function<void(const std::string&)>& notesHandler() {
    static std::function<void(const std::string&)> handler;
    return handler;
}

// The class identifier that the real application registers.
const CLSID applicationClsid = {0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const HRESULT serverExecutionFailure = HRESULT(0x80080005L);

bool seamSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value && std::strcmp(value, "0") != 0;
}

std::u16string versionText() {
    const char* seam = std::getenv("GRIDWELL_SPREADSHEET_VERSION");
    if (!seam || !*seam)
        return u"16.0";
    const int length = MultiByteToWideChar(CP_UTF8, 0, seam, -1, nullptr, 0);
    std::u16string text(size_t(length > 0 ? length : 1), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, seam, -1, text.data(), length);
    text.resize(size_t(length > 0 ? length - 1 : 0));
    return text;
}

HRESULT createApplication(REFIID riid, void** ppv) {
    if (seamSet("GRIDWELL_SPREADSHEET_CREATE_FAILS"))
        return serverExecutionFailure;
    ApplicationObject* application = new (std::nothrow) ApplicationObject(versionText());
    if (!application)
        return E_OUTOFMEMORY;
    const HRESULT hr = application->QueryInterface(riid, ppv);
    application->Release();
    return hr;
}
} // namespace

void registerSpreadsheetServer() {
    if (seamSet("GRIDWELL_SPREADSHEET_UNREGISTERED")) {
        unregisterSpreadsheetServer();
        return;
    }
    OleRegisterClass(OLESTR("Excel.Application"), applicationClsid, createApplication);
}

void unregisterSpreadsheetServer() {
    OleUnregisterClass(OLESTR("Excel.Application"));
}

long spreadsheetServerLiveObjects() {
    return DispatchObject::liveObjects();
}

void setSpreadsheetServerNotes(std::function<void(const std::string&)> handler) {
    notesHandler() = std::move(handler);
}

void saveAndNote(workbookfile::Workbook& book, const std::function<void()>& save) {
    save();
    if (notesHandler())
        for (const std::string& note : book.saveNotes())
            notesHandler()(note);
}

#endif
