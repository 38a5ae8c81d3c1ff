#include "workflows/StrongProtection.h"

#include "util/PathHelpers.h"
#include "util/TrimBlanks.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EngineLoop.h"
#include "workflows/WipeCommand.h"

#include <QFile>
#include <chrono>
#include <future>

namespace brindmar {

namespace {

// Window events run every so many chunks of a seal: often enough for Stop, rarely enough to
// cost nothing next to the sealing.
constexpr int kChunksBetweenEvents = 16;

// The derivation takes a third of a second or more and cannot be interrupted; it runs on a
// thread of its own while the window keeps answering.
std::optional<SecretBytes> deriveWhileEventsRun(WorkflowContext& ctx, const QString& code,
                                                const SealPrelude& prelude) {
    const SecretBytes secret = codeSecret(code);
    auto job = std::async(std::launch::async,
                          [&secret, &prelude] { return deriveStrongKey(secret, prelude); });
    while (job.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready) {
        ctx.letEventsRun();
    }
    return job.get();
}

KeepGoing eventsBetweenChunks(WorkflowContext& ctx) {
    return [&ctx, chunks = 0]() mutable {
        if (++chunks % kChunksBetweenEvents == 0) {
            ctx.letEventsRun();
        }
        return !ctx.model.stopRequest;
    };
}

QString noMemoryText() {
    return QStringLiteral("There is not enough memory for the strong protection key: close other "
                          "programs and try again");
}

} // namespace

std::optional<QString> sealingCodeRefusal(const QString& code) {
    if (trimBlanks(code).isEmpty() || codeFault(code, true) != CodeFault::None) {
        return QStringLiteral("Strong protection needs a code of 10 to 20 characters: type one, "
                              "or untick Strong protection");
    }
    return std::nullopt;
}

SealOutcome SealForEmbed(WorkflowContext& ctx, const std::string& payloadHeader) {
    WindowModel& m = ctx.model;
    SealOutcome outcome;
    if (const auto refusal = sealingCodeRefusal(m.code)) {
        outcome.failure = *refusal;
        return outcome;
    }
    const QString archivePath = ctx.temporaryFolder + kWorkArchiveName;
    const QString sealedPath = ctx.temporaryFolder + kSealedWorkName;
    QFile archive(archivePath);
    QFile sealed(sealedPath);
    if (!archive.open(QIODevice::ReadOnly)) {
        outcome.failure = archivePath + tr(TextId::CannotBeOpened);
        return outcome;
    }
    if (!sealed.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        outcome.failure = sealedPath + tr(TextId::CannotBeOpened);
        return outcome;
    }
    const SealPrelude prelude = freshPrelude(ctx.strongCost);
    const std::optional<SecretBytes> key = deriveWhileEventsRun(ctx, m.code, prelude);
    if (!key) {
        outcome.failure = noMemoryText();
        return outcome;
    }
    if (m.stopRequest) {
        outcome.stopped = true;
        return outcome;
    }
    const SealEnd end = sealStream(archive, archive.size(), sealed, payloadHeader, *key, prelude,
                                   eventsBetweenChunks(ctx));
    const bool flushed = sealed.flush();
    sealed.close();
    // The header announced the sealed length; an archive that changed meanwhile would not match.
    if (end == SealEnd::Done && flushed && sealed.size() == m.documentLength) {
        outcome.done = true;
        return outcome;
    }
    QFile::remove(sealedPath);
    switch (end) {
    case SealEnd::Stopped:
        outcome.stopped = true;
        break;
    case SealEnd::WriteFailed:
    case SealEnd::Done:
        outcome.failure = sealedPath + QStringLiteral(" could not be written: ") +
                          writeFailureReason(ctx.platform, ctx.temporaryFolder);
        break;
    default:
        outcome.failure = m.documentPath + QStringLiteral(" - changed while it was being "
                                                          "sealed; choose it again");
        break;
    }
    return outcome;
}

SealOutcome OpenSealedPayload(WorkflowContext& ctx, const PayloadHeaderInfo& info,
                              const QString& carrierPath) {
    WindowModel& m = ctx.model;
    SealOutcome outcome;
    const QString sealedPath = ctx.temporaryFolder + kSealedWorkName;
    const QString archivePath = ctx.temporaryFolder + kWorkArchiveName;
    QFile sealed(sealedPath);
    QFile archive(archivePath);
    SealPrelude prelude;
    {
        std::array<char, kSealPreludeLength> head{};
        const bool read = sealed.open(QIODevice::ReadOnly) &&
                          sealed.read(head.data(), head.size()) == qint64(head.size());
        const auto decoded =
            decodePrelude(reinterpret_cast<const unsigned char*>(head.data()), head.size());
        if (!read || !decoded) {
            outcome.failure = carrierPath + QStringLiteral(" - its document is sealed in a way "
                                                           "this version cannot open");
            DiscardWorkFile(ctx, sealedPath);
            return outcome;
        }
        prelude = *decoded;
        sealed.seek(0);
    }
    SealEnd end = SealEnd::WriteFailed;
    if (archive.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const std::optional<SecretBytes> key = deriveWhileEventsRun(ctx, m.code, prelude);
        if (!key) {
            end = SealEnd::Unsupported;
        } else if (m.stopRequest) {
            end = SealEnd::Stopped;
        } else {
            end = openStream(sealed, archive, info.rawHeader, *key, eventsBetweenChunks(ctx));
        }
        if (!archive.flush()) {
            end = end == SealEnd::Done ? SealEnd::WriteFailed : end;
        }
        archive.close();
    }
    sealed.close();
    // The sealed copy is no secret, but it is the user's document all the same.
    DiscardWorkFile(ctx, sealedPath);
    if (end == SealEnd::Done) {
        outcome.done = true;
        return outcome;
    }
    // What came out before the seal failed is unauthenticated and goes unread.
    DiscardWorkFile(ctx, archivePath);
    switch (end) {
    case SealEnd::Stopped:
        outcome.stopped = true;
        break;
    case SealEnd::WrongCode:
        outcome.wrongCode = true;
        outcome.failure = carrierPath + QStringLiteral(" - this code does not open the document");
        break;
    case SealEnd::Damaged:
        outcome.failure = carrierPath + QStringLiteral(" - the sealed document in it is damaged "
                                                       "or was altered");
        break;
    case SealEnd::Unsupported:
        outcome.failure = noMemoryText();
        break;
    default:
        outcome.failure = archivePath + QStringLiteral(" could not be written: ") +
                          writeFailureReason(ctx.platform, ctx.temporaryFolder);
        break;
    }
    return outcome;
}

} // namespace brindmar
