#pragma once

#include "WriteStatus.h"

#include <QString>

#include <memory>

class QLockFile;

// The conversion's hold on its workbook file, from before the spreadsheet application
// opens it until the conversion has ended:
// - one conversion at a time: a lock file beside the workbook, which a conversion that is
//   gone (killed) no longer holds;
// - nothing written into a workbook that a spreadsheet application has open (its lock file
//   ".~lock.<name>#" or "~$<name>" stands beside it);
// - a workbook that a failed conversion created is removed again.
// Symbolic links are followed: the claim is on the file that the path leads to.
class WorkbookClaim {
public:
    explicit WorkbookClaim(const QString& workbookPath);
    ~WorkbookClaim();
    WorkbookClaim(const WorkbookClaim&) = delete;
    WorkbookClaim& operator=(const WorkbookClaim&) = delete;

    // Takes the claim; the message says why it cannot be taken.
    WriteStatus acquire();
    // Whether the workbook (or its folder, for a new one) may be replaced by this user: asked
    // before the study is read, so that a refusal comes before the work. The save checks again.
    WriteStatus checkReplaceable() const;
    // A spreadsheet application's lock file that appeared since the claim was taken: asked
    // right before the workbook is replaced.
    WriteStatus checkNotOpenElsewhere() const;

    // The lock file of a spreadsheet application beside the workbook that the application left
    // behind: it names this user on this machine and no such application runs. Empty when there
    // is none.
    static QString staleApplicationLock(const QString& workbookPath);
    // Removes the workbook when it did not exist before the claim was taken.
    void discardCreatedWorkbook();

    // The file that the workbook path leads to, links followed, whether it exists or not.
    static QString resolvedPath(const QString& path);

private:
    QString folderForQt(const QString& folder);

    QString _path;
    QString _resolved;
    bool _existed = true;
    // A folder that Qt reaches through /proc: closed after the lock is released.
    int _folder = -1;
    std::unique_ptr<QLockFile> _lock;
};
