#include "DispatchArguments.h"
#include "FileNameCodec.h"
#include "ServerObjects.h"

#include <algorithm>

namespace {
enum ApplicationMember {
    SheetsInNewWorkbook = 1,
    Visible,
    Version,
    Workbooks,
    DisplayAlerts,
    Quit,
    ActiveWindow
};
const MemberInfo applicationMembers[] = {
    {SheetsInNewWorkbook, u"SheetsInNewWorkbook", MemberGet | MemberPut},
    {Visible, u"Visible", MemberGet | MemberPut},
    {Version, u"Version", MemberGet},
    {Workbooks, u"Workbooks", MemberGet},
    {DisplayAlerts, u"DisplayAlerts", MemberGet | MemberPut},
    {Quit, u"Quit", MemberCall},
    {ActiveWindow, u"ActiveWindow", MemberGet},
};

enum WorkbooksMember { Open = 1, Add };
const MemberInfo workbooksMembers[] = {
    {Open, u"Open", MemberCall},
    {Add, u"Add", MemberCall},
};

void forgetClosed(ApplicationState& application) {
    auto& books = application.workbooks;
    books.erase(std::remove_if(books.begin(), books.end(), [](const auto& book) { return book->closed; }),
                books.end());
}
} // namespace

workbookfile::Workbook& WorkbookState::open() const {
    if (closed || !book)
        throw ServerError{DISP_E_EXCEPTION, "The workbook has been closed."};
    return *book;
}

void WorkbookState::close() {
    closed = true;
    book.reset();
}

std::string filePathFrom(const std::u16string& path) {
    std::string file = fileNameBytes(path);
#ifndef _WIN32
    std::replace(file.begin(), file.end(), '\\', '/');
#endif
    return file;
}

ApplicationObject::ApplicationObject(std::u16string version)
    : DispatchObject(applicationMembers, int(std::size(applicationMembers))),
      state(std::make_shared<ApplicationState>()) {
    state->version = std::move(version);
}

void ApplicationObject::invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                                     VARIANT* result) {
    switch (member) {
    case SheetsInNewWorkbook:
        arguments.expectCount(kind == MemberPut ? 1 : 0, kind == MemberPut ? 1 : 0);
        if (kind == MemberPut) {
            const LONG count = arguments.integer(0);
            if (count < 1 || count > 255)
                throw ServerError{DISP_E_EXCEPTION, "The number of sheets must lie between 1 and 255."};
            state->sheetsInNewWorkbook = count;
        } else {
            returnInteger(result, state->sheetsInNewWorkbook);
        }
        return;
    case Visible:
    case DisplayAlerts: {
        bool& flag = member == Visible ? state->visible : state->displayAlerts;
        arguments.expectCount(kind == MemberPut ? 1 : 0, kind == MemberPut ? 1 : 0);
        if (kind == MemberPut)
            flag = arguments.boolean(0);
        else
            returnBoolean(result, flag);
        return;
    }
    case Version:
        arguments.expectCount(0, 0);
        returnText(result, state->version);
        return;
    case Workbooks:
        arguments.expectCount(0, 0);
        returnObject(result, new WorkbooksObject(state));
        return;
    case ActiveWindow: {
        // The window of the workbook opened or added last.
        arguments.expectCount(0, 0);
        forgetClosed(*state);
        if (state->workbooks.empty())
            throw ServerError{DISP_E_EXCEPTION, "No workbook is open, so there is no active window."};
        returnObject(result, new WindowObject(state->workbooks.back()));
        return;
    }
    case Quit:
        arguments.expectCount(0, 0);
        // Unsaved changes are dropped, as after the alerts were answered.
        for (const auto& book : state->workbooks)
            book->close();
        state->workbooks.clear();
        state->quit = true;
        return;
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
}

WorkbooksObject::WorkbooksObject(std::shared_ptr<ApplicationState> application)
    : DispatchObject(workbooksMembers, int(std::size(workbooksMembers))),
      application(std::move(application)) {}

void WorkbooksObject::invokeMember(DISPID member, MemberKind, const DispatchArguments& arguments,
                                   VARIANT* result) {
    if (application->quit)
        throw ServerError{DISP_E_EXCEPTION, "The application has quit."};
    forgetClosed(*application);
    auto workbook = std::make_shared<WorkbookState>();
    switch (member) {
    case Open: {
        // Open(Filename, UpdateLinks, ReadOnly, ...): only the file name is used.
        arguments.expectCount(1, 15);
        const std::string path = filePathFrom(arguments.text(0));
        for (const auto& held : application->workbooks) {
            if (!held->closed && held->book->path() == path) {
                returnObject(result, new WorkbookObject(held));
                return;
            }
        }
        workbook->book = workbookfile::Workbook::open(path);
        break;
    }
    case Add:
        arguments.expectCount(0, 1);
        if (arguments.given(0))
            throw ServerError{DISP_E_EXCEPTION, "Workbooks from templates are not supported."};
        workbook->book = workbookfile::Workbook::create(int(application->sheetsInNewWorkbook));
        break;
    default:
        throw ServerError{DISP_E_MEMBERNOTFOUND, "No such member."};
    }
    application->workbooks.push_back(workbook);
    returnObject(result, new WorkbookObject(workbook));
}
