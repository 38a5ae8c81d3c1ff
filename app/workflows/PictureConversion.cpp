#include "workflows/PictureConversion.h"

#include "operations/PictureConverter.h"
#include "util/ConfirmReplace.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "util/SelectFile.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/ProtectionFailures.h"
#include "workflows/WindowReset.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <future>

namespace brindmar {

namespace {

void concludeFailed(WorkflowContext& ctx, Reason reason, const QString& picture,
                    const QString& about = {}, int error = 0) {
    ctx.ui.setMousePointer(MousePointer::Default);
    Outcome failed = Outcome::failed(reason, picture);
    failed.task = Task::Convert;
    failed.about = about;
    failed.error = error;
    ctx.conclude(failed);
}

Reason reasonOf(PictureFault fault) {
    switch (fault) {
    case PictureFault::NotPicture:
        return Reason::NotPicture;
    case PictureFault::CannotRead:
        return Reason::CannotRead;
    case PictureFault::Damaged:
        return Reason::Damaged;
    case PictureFault::TooLarge:
        return Reason::PictureTooLarge;
    case PictureFault::TooDeep:
        return Reason::PictureTooDeep;
    case PictureFault::TooManyScans:
        return Reason::TooManyScans;
    default:
        return Reason::CannotWrite;
    }
}

// The converter's failure as the command's end. The file it wrote through is named as the user
// knows it: the target, or for a work copy the picture it is a copy of.
void concludeConversion(WorkflowContext& ctx, const PictureConversion& done, const QString& picture,
                        const QString& writePath, const QString& target) {
    ctx.ui.setMousePointer(MousePointer::Default);
    Outcome failed = Outcome::failed(reasonOf(done.fault), picture,
                                     done.progressive ? QString() : done.writerWords);
    failed.cause = done.progressive ? Cause::Progressive : Cause::None;
    failed.task = Task::Convert;
    failed.about = done.file;
    failed.error = done.error;
    failed.figure = done.limit;
    if (done.file == writePath) {
        failed.workFolder = writePath == target;
        failed.about = failed.workFolder ? picture : target;
    }
    ctx.conclude(failed);
}

// A decode takes seconds for a large picture, and a hostile one far longer: it runs on a thread
// of its own while the window keeps answering, and Stop (or Ctrl+C on a terminal) has it give
// up at its next read. The window shows an operation running meanwhile, which enables Stop.
PictureConversion convertWhileEventsRun(WorkflowContext& ctx, const QString& picture,
                                        const QString& target, bool half) {
    WindowModel& m = ctx.model;
    const uint8_t before = m.windowState;
    m.stopRequest = false;
    m.setState(state::Embedding, true);
    ctx.refresh();
    std::atomic<bool> stop{false};
    auto job = std::async(std::launch::async, [&ctx, &picture, &target, &stop, half] {
        return ctx.pictures->convertUnlessStopped(picture, target, stop, half);
    });
    while (job.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready) {
        ctx.letEventsRun();
        if (m.stopRequest) {
            stop = true;
        }
    }
    PictureConversion done = job.get();
    if (stop && !done.stopped) {
        // Finished before it saw the request: the user still asked for nothing to be left.
        done = PictureConversion{};
        done.stopped = true;
    }
    m.windowState = before;
    ctx.refresh();
    return done;
}

} // namespace

std::optional<bool> AskHalfSize(WorkflowContext& ctx, const QString& picture) {
    if (ctx.pictures == nullptr || !ctx.pictures->isJpeg(picture)) {
        return false;
    }
    return ctx.askTwoChoices(Question{QuestionKind::HalfSize, picture});
}

QString convertedBmpPath(const QString& picture, const QString& folder) {
    QString name = picture;
    QString base = BaseNameOf(name);
    if (base.isEmpty()) {
        QString whole = picture;
        base = FileNameOf(whole);
    }
    const QString plain = folder + base + QStringLiteral(".bmp");
    return SameFile(plain, picture) ? folder + base + QStringLiteral("-converted.bmp") : plain;
}

std::optional<QString> ConvertPictureFile(WorkflowContext& ctx, const QString& picture,
                                          const std::optional<QString>& folder, bool half) {
    if (ctx.pictures == nullptr) {
        return std::nullopt;
    }
    if (!ctx.pictures->canRead(picture)) {
        concludeFailed(ctx, Reason::NotPicture, picture);
        return std::nullopt;
    }
    QString target;
    if (folder) {
        target = convertedBmpPath(picture, *folder);
    } else {
        const std::optional<bool> halfAsked = AskHalfSize(ctx, picture);
        if (!halfAsked) {
            return std::nullopt;
        }
        half = *halfAsked;
        QString own = picture;
        FileDialogRequest request;
        request.title = QStringLiteral("Folder for the converted BMP");
        request.initialFolder = FolderOf(own);
        uint8_t mode = kSelectFolder;
        QString noExtension;
        const QString chosen = SelectFile(mode, request, noExtension, ctx.ui);
        if (mode >= kSelectCancelled) {
            return std::nullopt;
        }
        target = convertedBmpPath(picture, chosen);
    }
    if (ConfirmReplaceFile(target, kConfirmAskOnly, ctx.ui) > kReplaceDeleted) {
        return std::nullopt;
    }
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    if (folder && *folder == ctx.temporaryFolder) {
        // A work file in the private folder: there is no old file to keep, and it is read and
        // wiped within the run, so it is written in place, without a flush to the disk.
        const PictureConversion done = convertWhileEventsRun(ctx, picture, target, half);
        ctx.ui.setMousePointer(MousePointer::Default);
        if (!done.ok) {
            QFile::remove(target);
            if (!done.stopped) {
                // The user knows the picture, not the copy only this run can see.
                concludeConversion(ctx, done, picture, target, target);
            }
            return std::nullopt;
        }
        return target;
    }
    // The old file of that name stays until the new carrier is complete.
    ReplacementFile out(target);
    if (!out.isOpen()) {
        concludeFailed(ctx, Reason::CannotWrite, picture, target, out.error());
        return std::nullopt;
    }
    const PictureConversion done = convertWhileEventsRun(ctx, picture, out.writePath(), half);
    if (done.stopped) {
        // The replacement file goes with out; the old file of that name stays.
        ctx.ui.setMousePointer(MousePointer::Default);
        return std::nullopt;
    }
    if (!done.ok) {
        // The user knows the file by its name, not by the descriptor it is written through.
        concludeConversion(ctx, done, picture, out.writePath(), target);
        return std::nullopt;
    }
    if (!out.commit()) {
        concludeFailed(ctx, Reason::CannotWrite, picture, target, out.error());
        return std::nullopt;
    }
    ctx.ui.setMousePointer(MousePointer::Default);
    return target;
}

namespace {

void takeConverted(WorkflowContext& ctx, const QString& picture, const QString& bmp) {
    ctx.model.convertedPicture = picture;
    ctx.model.convertedBmp = bmp;
    TakeBmp(ctx, bmp);
}

} // namespace

void OfferConversion(WorkflowContext& ctx, const QString& picture) {
    if (ctx.pictures == nullptr || ctx.model.operationRunning() || !codeCheck(ctx)) {
        return;
    }
    if (ctx.ask(Question{QuestionKind::ConvertPicture, picture}) != MessageAnswer::Ok) {
        return;
    }
    if (const std::optional<QString> bmp = ConvertPictureFile(ctx, picture)) {
        takeConverted(ctx, picture, *bmp);
    }
    ctx.render();
}

void ConvertPicture(WorkflowContext& ctx) {
    if (ctx.pictures == nullptr || ctx.model.operationRunning() || !codeCheck(ctx)) {
        return;
    }
    uint8_t mode = 0;
    FileDialogRequest request;
    request.title = QStringLiteral("Select Picture to Convert");
    request.filter = ctx.pictures->dialogFilter();
    request.initialFolder = ctx.model.bmpFolder;
    QString noExtension;
    const QString picture = SelectFile(mode, request, noExtension, ctx.ui);
    if (mode >= kSelectCancelled) {
        reportSelectionFailure(ctx, mode, picture);
        return;
    }
    if (const std::optional<QString> bmp = ConvertPictureFile(ctx, picture)) {
        takeConverted(ctx, picture, *bmp);
    }
    ctx.render();
}

} // namespace brindmar
