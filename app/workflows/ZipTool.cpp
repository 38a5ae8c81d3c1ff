#include "workflows/ZipTool.h"

#include "operations/ZipService.h"
#include "payload/CarrierFile.h"
#include "util/ConfirmReplace.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "util/SelectFile.h"
#include "util/UniqueFd.h"
#include "workflows/DocumentPacking.h"
#include "workflows/ExtractDocument.h"
#include "workflows/WindowReset.h"
#include "workflows/WipeCommand.h"
#include "workflows/ZipUnpacking.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace brindmar {

namespace {

// The archive the tool packs, while it is packed.
const QString kZipToolWorkName = QStringLiteral("vokbzip.tmp");

// The file or folder it failed on, with the errno; or what the zip service said.
void failed(WorkflowContext& ctx, Task task, const QString& path, Reason reason,
            const QString& about, int error, const ZipFailure& zip = {}) {
    Outcome failure = Outcome::failed(reason, path);
    failure.task = task;
    failure.about = about;
    failure.error = error;
    describeZipFailure(failure, zip);
    ctx.conclude(failure);
}

// Asks before each member that would take an existing name; false when the user keeps one.
bool membersAgreed(WorkflowContext& ctx, const QString& folder, const QStringList& members) {
    for (const QString& member : members) {
        const QString target = folder + member;
        if (NameTaken(target) &&
            ConfirmReplaceFile(target, kConfirmAskOnly, ctx.ui) > kReplaceDeleted) {
            return false;
        }
    }
    return true;
}

void unpack(WorkflowContext& ctx, QString path) {
    const QString folder = ctx.model.zipFolder;
    // Unpacked beside the archive into a folder of the run's own, and moved in only when every
    // member came out whole: a member that fails leaves none of the others behind.
    UnpackingFolder staging(folder, ctx.temporaryFolder);
    if (!staging.isOpen()) {
        // The unpacking's own folder, made beside the archive: named by the folder it goes in.
        failed(ctx, Task::Unzip, path, Reason::FolderNotMade, folder, staging.error());
        return;
    }
    ZipFailure zip;
    if (!UnzipDocument(ctx, path, staging.path(), kUnzipReplaceExisting | kUnzipRecordedModes,
                       false, zip)) {
        failed(ctx, Task::Unzip, path, Reason::Damaged, {}, 0, zip);
        return;
    }
    QStringList members;
    QString unread;
    if (const int error = staging.members(members, unread)) {
        failed(ctx, Task::Unzip, path, Reason::CannotRead, unread, error);
        return;
    }
    if (!membersAgreed(ctx, folder, members)) {
        return;
    }
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    QString refused;
    const int error = staging.moveIn(folder, members, refused);
    if (error != 0) {
        failed(ctx, Task::Unzip, path, Reason::CannotWrite, refused, error);
        return;
    }
    // The staging folder holds the replaced files; one that stays is no finished unpacking.
    if (!staging.release()) {
        failed(ctx, Task::Unzip, path, Reason::NotDeleted, folder, 0);
        return;
    }
    for (const QString& member : members) {
        ctx.outcome.written << folder + member;
    }
    ctx.conclude(Task::Unzip, Ending::Done, Reason::None, path);
}

// The errno that keeps the file's first bytes from being read, or 0: a file that cannot be read
// is neither an archive to unpack nor a document to pack.
int readFault(const QString& path) {
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return errno;
    }
    const CarrierFile file(path);
    std::array<unsigned char, 4> head{};
    const auto want = static_cast<size_t>(std::min<int64_t>(file.size(), head.size()));
    if (file.isOpen() && file.readAt(0, head.data(), want) != want) {
        return file.error() != 0 ? file.error() : EIO;
    }
    return 0;
}

bool isPrivateFile(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && (info.st_mode & 077) == 0;
}

void pack(WorkflowContext& ctx, QString path) {
    const QString archive = zipToolArchivePath(path);
    // A dangling link is a name taken all the same: the new archive would replace it.
    if (NameTaken(archive)) {
        ctx.ui.setMousePointer(MousePointer::Default);
        const MessageAnswer answer = ctx.ask(Question{QuestionKind::ReplaceArchive, archive});
        ctx.ui.setMousePointer(MousePointer::Hourglass);
        if (answer != MessageAnswer::Ok) {
            ctx.outcome = Outcome::refused(Reason::Declined, path);
            ctx.outcome.task = Task::Zip;
            return;
        }
        agreeToReplace(archive);
    }
    // The archive library writes its own part files beside the archive it makes; made in the
    // private work folder, they never reach the user's folder, and the finished archive is
    // copied beside the document through a file that takes the archive's place only when
    // complete. An archive of a private file is private too.
    const QString work = ctx.temporaryFolder + kZipToolWorkName;
    DiscardWorkFile(ctx, work);
    ZipFailure zip;
    int unwritten = 0;
    bool done = !ctx.temporaryFolder.isEmpty() && ZipDocument(ctx, path, work, false, zip);
    if (done) {
        ReplacementFile packed(archive, isPrivateFile(path) ? ReplacementFile::NewMode::Private
                                                            : ReplacementFile::NewMode::Usual);
        if (!packed.isOpen() || !packed.appendFile(work) || !packed.commit()) {
            done = false;
            unwritten = packed.error() != 0 ? packed.error() : EIO;
        }
    }
    if (QFileInfo::exists(work)) {
        DiscardWorkFile(ctx, work);
    }
    if (done) {
        ctx.outcome.written = QStringList{archive};
        ctx.conclude(Task::Zip, Ending::Done, Reason::None, path);
        return;
    }
    if (unwritten != 0) {
        failed(ctx, Task::Zip, path, Reason::CannotWrite, archive, unwritten);
    } else {
        failed(ctx, Task::Zip, path, Reason::NotPacked, {}, 0, zip);
    }
}

} // namespace

QString zipToolArchivePath(const QString& path) {
    QString name = path;
    const QString folder = FolderOf(name);
    QString base = path;
    base = BaseNameOf(base);
    QString whole = path;
    whole = FileNameOf(whole);
    // "z1.txt" gives "z1.zip"; a name that is all extension (".profile") keeps it whole, and a
    // file that already bears the archive's name is never packed over itself.
    QString archive = folder + (base.isEmpty() ? whole : base) + QStringLiteral(".zip");
    if (archive == folder + whole) {
        archive = folder + whole + QStringLiteral(".zip");
    }
    return archive;
}

Outcome RunZipTool(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    // Until something is packed or unpacked, the user has kept things as they were.
    ctx.outcome = Outcome{};
    ctx.outcome.ending = Ending::Stopped;
    ctx.outcome.told = true;
    uint8_t mode = 0;
    FileDialogRequest request;
    request.title = tr(TextId::SelectZipDialogTitle);
    request.filter = QStringLiteral("All Files|*.*|.zip|*.zip");
    request.initialFolder = m.zipFolder;
    QString noExtension;
    QString path = SelectFile(mode, request, noExtension, ctx.ui);
    if (reportSelectionFailure(ctx, mode, path) || mode >= kSelectCancelled || path.isEmpty()) {
        return ctx.outcome;
    }
    ctx.outcome.subject = path;
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    m.zipFolder = FolderOf(path);
    // A service that cannot be called makes no archive of anything: the file is packed, and
    // the packing says it failed.
    int fault = readFault(path);
    const ZipStatus isZip = fault != 0 ? ZipStatus() : ctx.zip.ZSIsZIPFileQuick(path);
    if (isZip && *isZip == kZipCheckUnreadable) {
        fault = EIO;
    }
    if (fault != 0) {
        QString name = path;
        Outcome unread = Outcome::failed(Reason::CannotRead, path);
        unread.task = ExtensionOf(name).toLower() == u"zip" ? Task::Unzip : Task::Zip;
        unread.error = fault;
        ctx.conclude(unread);
    } else if (isZip && *isZip == 0) {
        unpack(ctx, path);
    } else {
        pack(ctx, path);
    }
    ctx.ui.setMousePointer(MousePointer::Default);
    ctx.render();
    return ctx.outcome;
}

} // namespace brindmar
