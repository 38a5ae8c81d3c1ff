#include "workflows/EmbeddedImageCommit.h"

#include "util/ReplacementFile.h"
#include "workflows/DecodedPicture.h"
#include "workflows/ImageFormat.h"
#include "workflows/StealthEmbedding.h"

#include <QScopeGuard>

namespace brindmar {

ImageCommit CommitEmbeddedImage(WorkflowContext& ctx, ReplacementFile& image,
                                const QString& output) {
    // The stealth key the embed held is needed no longer than the read-back below.
    const auto forgetKey = qScopeGuard([&ctx] { ctx.model.stealthKey.reset(); });
    ImageCommit done;
    if (!output.endsWith(u".png")) {
        if (!image.commit()) {
            done.reason = Reason::CannotWrite;
            done.error = image.error();
        }
        return done;
    }
    WindowModel& m = ctx.model;
    // Some viewers show the colours by these chunks: without them the new image would not look
    // like its carrier.
    const QString carrier = shownImagePath(m);
    const QString chunksFrom = sniffImageFormat(carrier) == ImageFormat::Png ? carrier : QString();
    // The coder has read back the pixels in memory; a reader gets them from the file, which
    // the encoder could still get wrong, and the carrier may be wiped after this.
    Outcome unread;
    bool readBackStopped = false;
    std::function<QString(const QString&)> readBack;
    if (m.stealthWanted) {
        readBack = [&](const QString& written) {
            const StealthOutcome back = ReadBackStealthPng(ctx, written);
            readBackStopped = back.stopped;
            unread = back.done || back.stopped ? Outcome{} : back.failure;
            return back.done ? QString() : QStringLiteral("not read back");
        };
    }
    // A large PNG takes seconds to encode; a stop asked meanwhile ends the run there.
    bool stopped = false;
    const auto keepGoing = [&ctx] { return ctx.letEventsRun(), !ctx.model.stopRequest; };
    const QString unwritten =
        commitAsPng(image.writePath(), output, keepGoing, &stopped, chunksFrom, readBack);
    done.stopped = stopped || readBackStopped;
    if (done.stopped) {
        return done;
    }
    if (unread.reason != Reason::None) {
        done.readBack = unread;
    } else if (!unwritten.isEmpty()) {
        done.failure = unwritten;
        done.reason = Reason::CannotWrite;
    }
    return done;
}

} // namespace brindmar
