// Saving: the checks every save makes, the shared strings' count of references, the snapshot that
// a failed save into another format goes back to, and the save by the target format's codec into
// the temporary file that then replaces the target.

#include "WorkbookState.h"

#include "AtomicFile.h"
#include "Switchboard.h"

#include <sys/stat.h>

#include <algorithm>

namespace workbookfile {

// The count of references to shared strings covers the whole workbook. Worksheets never read
// keep theirs, so the count the file states moves by what changed in the worksheets read.
long long Workbook::Impl::stringReferenceCount() {
    long long delta = 0, loadedNow = 0;
    for (const auto& s : sheets) {
        const Worksheet::Impl& sheet = s->impl();
        if (!sheet.loaded)
            continue;
        const auto now = (long long)sheet.stringCells();
        loadedNow += now;
        delta += now - (long long)sheet.stringCellsAtLoad;
    }
    long long base = strings.fileReferenceCount();
    if (base < 0) {
        // The file states no count: the worksheets not read are counted from their text.
        base = 0;
        for (const auto& s : sheets) {
            const Worksheet::Impl& sheet = s->impl();
            if (sheet.loaded)
                base += (long long)sheet.stringCellsAtLoad;
            else
                base += (long long)sheet.codec->unreadStringCells(*this, sheet);
        }
    }
    // A count below what the worksheets read hold cannot be right; they at least are known.
    return std::max(loadedNow, base + delta);
}

void Workbook::Impl::countStringReferences() {
    bool moved = false;
    for (const auto& s : sheets)
        moved |= s->impl().loaded && s->impl().stringCells() != s->impl().stringCellsAtLoad;
    if (moved || strings.appended())
        strings.setReferenceCount(std::uint64_t(stringReferenceCount()));
}

namespace {

// What preparing a save changes in the package beside the cells: the parts, the relationships
// and the content types. A save into another format drops what that format cannot hold (the
// macro project of an .xlsm saved as .xlsx); when such a save fails, the workbook must be the
// one it was, so that a later save keeps all of it.
struct PackageState {
    pugi::xml_document contentTypes, workbookRels;
    std::vector<std::pair<std::string, std::string>> memoryParts;
    std::unordered_map<std::string, std::size_t> memoryIndex;
    std::set<std::string> removedParts, relIds;
    bool contentTypesChanged, workbookRelsChanged;

    explicit PackageState(const Workbook::Impl& wb)
        : memoryParts(wb.memoryParts), memoryIndex(wb.memoryIndex), removedParts(wb.removedParts),
          relIds(wb.relIds), contentTypesChanged(wb.contentTypesChanged),
          workbookRelsChanged(wb.workbookRelsChanged) {
        contentTypes.reset(wb.contentTypes);
        workbookRels.reset(wb.workbookRels);
    }

    void restore(Workbook::Impl& wb) const {
        wb.contentTypes.reset(contentTypes);
        wb.workbookRels.reset(workbookRels);
        wb.memoryParts = memoryParts;
        wb.memoryIndex = memoryIndex;
        wb.removedParts = removedParts;
        wb.relIds = relIds;
        wb.contentTypesChanged = contentTypesChanged;
        wb.workbookRelsChanged = workbookRelsChanged;
    }
};

} // namespace

void Workbook::Impl::saveAs(const std::string& target, FileFormat targetFormat) {
    saveNotes.clear();
    if (target.empty())
        throw Error(ErrorKind::InvalidArgument, "Cannot save the workbook: no file name was given.");
    if (isFolder(target))
        throw Error(ErrorKind::FileSystem, "Cannot save \"" + target + "\": it is a folder.");
    if (fileExists(target) && !sameFile(target, path))
        throw Error(ErrorKind::FileSystem, "Cannot save \"" + target +
                                               "\": a file of that name already exists and is not replaced.");
    struct stat appeared;
    if (fileAwaited && target == path && ::lstat(target.c_str(), &appeared) == 0)
        throw appearedMeanwhile(target);
    settlePacking(targetFormat);
    checkSaveFormat(*this, targetFormat, target);
    const Codec& codec = codecFor(targetFormat);
    codec.checkSave(*this, target);
    std::unique_ptr<PackageState> before;
    if (targetFormat != format && codec.dropsByFormat())
        before = std::make_unique<PackageState>(*this);
    int step = 0;
    auto callback = progress;
    progress = [&](int) {
        if (callback)
            callback(++step);
    };
    try {
        renameTableColumns();
        codec.prepareSave(*this, targetFormat);
        replaceFileAtomically(
            target, [&](int fd) { codec.write(*this, fd, target); },
            [&] {
                if (callback)
                    callback(++step);
            });
    } catch (...) {
        progress = callback;
        if (before)
            before->restore(*this);
        throw;
    }
    progress = callback;
    path = target;
    format = targetFormat;
    fileAwaited = false;
    saveNotes = std::move(pendingSaveNotes);
    pendingSaveNotes.clear();
}

} // namespace workbookfile
