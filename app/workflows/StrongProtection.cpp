#include "workflows/StrongProtection.h"

#include "payload/CodeText.h"
#include "util/PathHelpers.h"
#include "util/TrimBlanks.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EngineLoop.h"
#include "workflows/WipeCommand.h"

#include <QFile>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace brindmar {

namespace {

// Window events run every so many chunks of a seal: often enough for Stop, rarely enough to
// cost nothing next to the sealing.
constexpr int kChunksBetweenEvents = 16;
const QString kStrongTitle = QStringLiteral("Strong protection");

struct Derivation {
    std::optional<SecretBytes> key;
    bool stopped = false;
};

// The derivation takes a third of a second or more and cannot be interrupted; it runs on a
// thread of its own while the window keeps answering. Stop (or Ctrl+C) ends the wait at once:
// the thread then finishes alone, and the code and key it holds are wiped when it lets go of
// them, with no one left to read them. It never holds the process up at exit.
Derivation deriveWhileEventsRun(WorkflowContext& ctx, const QString& code,
                                const SealPrelude& prelude) {
    struct Shared {
        Shared(SecretBytes code, const SealPrelude& from)
            : secret(std::move(code)), prelude(from) {}
        SecretBytes secret;
        SealPrelude prelude;
        std::optional<SecretBytes> key;
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };
    auto shared = std::make_shared<Shared>(codeSecret(code), prelude);
    Derivation result;
    if (!shared->secret.valid()) {
        return result;
    }
    try {
        std::thread([shared] {
            std::optional<SecretBytes> key = deriveStrongKey(shared->secret, shared->prelude);
            const std::lock_guard lock(shared->mutex);
            shared->key = std::move(key);
            shared->done = true;
            shared->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return result; // no thread to be had: as short of resources as without the memory
    }
    for (;;) {
        {
            std::unique_lock lock(shared->mutex);
            if (shared->finished.wait_for(lock, std::chrono::milliseconds(25),
                                          [&shared] { return shared->done; })) {
                result.key = std::move(shared->key);
                shared->key.reset();
                return result;
            }
        }
        ctx.letEventsRun();
        if (ctx.model.stopRequest) {
            result.stopped = true;
            return result;
        }
    }
}

KeepGoing eventsBetweenChunks(WorkflowContext& ctx) {
    return [&ctx, chunks = 0]() mutable {
        if (++chunks % kChunksBetweenEvents == 0) {
            ctx.letEventsRun();
        }
        return !ctx.model.stopRequest;
    };
}

// The cost's figures, as the front ends read them back from an outcome's or a question's detail.
QString costFigures(const StrongCost& cost) {
    return QStringLiteral("%1 %2").arg(cost.memoryKiB).arg(cost.passes);
}

// A sink for an opening that only checks: nothing of the document is kept anywhere.
class DiscardDevice final : public QIODevice {
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override { return length; }
};

// The prelude at the start of the sealed work file, judged before anything is derived: the
// cost within what an opener takes, the memory it asks for free, and the user asked when it is
// more than this program's images ask. nullopt with failure set, or with stopped when the user
// declined.
std::optional<SealPrelude> preludeToOpen(WorkflowContext& ctx, QFile& sealed,
                                         const QString& carrierPath, SealOutcome& outcome) {
    std::array<char, kSealPreludeLength> head{};
    const qint64 got = sealed.read(head.data(), head.size());
    sealed.seek(0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    const size_t length = got > 0 ? static_cast<size_t>(got) : 0;
    const StrongCostBounds bounds = boundsForWriter(ctx.strongCost);
    const std::optional<SealPrelude> prelude = decodePrelude(bytes, length, bounds);
    if (!prelude) {
        constexpr uint32_t any = std::numeric_limits<uint32_t>::max();
        const auto shape = decodePrelude(bytes, length, StrongCostBounds{{1, 8}, {any, any}});
        if (shape && (shape->cost.passes < bounds.least.passes ||
                      shape->cost.memoryKiB < bounds.least.memoryKiB)) {
            outcome.failure =
                protectionFailure(Reason::SealTooCheap, carrierPath, costFigures(shape->cost));
        } else if (shape) {
            outcome.failure =
                protectionFailure(Reason::SealTooCostly, carrierPath,
                                  costFigures(shape->cost) + u' ' + costFigures(bounds.most));
        } else {
            outcome.failure = protectionFailure(Reason::SealUnknown, carrierPath);
        }
        return std::nullopt;
    }
    const std::optional<uint64_t> free = availableMemoryKiB();
    if (free && prelude->cost.memoryKiB > *free) {
        outcome.failure =
            protectionFailure(Reason::MemoryShort, carrierPath,
                              QStringLiteral("%1 %2").arg(prelude->cost.memoryKiB).arg(*free));
        return std::nullopt;
    }
    if (prelude->cost.passes > ctx.strongCost.passes ||
        prelude->cost.memoryKiB > ctx.strongCost.memoryKiB) {
        const Question costly{QuestionKind::SealCostly, carrierPath,
                              costFigures(prelude->cost) + u' ' + costFigures(ctx.strongCost)};
        if (ctx.ask(costly) != MessageAnswer::Ok) {
            outcome.stopped = true;
            return std::nullopt;
        }
    }
    return prelude;
}

// Opens the sealed work file into sink with a key from the model's code. The outcome's done,
// stopped and failure are set for everything but the seal's own end, which is returned.
std::optional<SealEnd> openSealedWorkFile(WorkflowContext& ctx, const std::string& rawHeader,
                                          QIODevice& sink, const QString& carrierPath,
                                          SealOutcome& outcome) {
    QFile sealed(ctx.temporaryFolder + kSealedWorkName);
    if (!sealed.open(QIODevice::ReadOnly)) {
        outcome.failure = protectionFailure(Reason::CannotOpen, sealed.fileName());
        return std::nullopt;
    }
    const std::optional<SealPrelude> prelude = preludeToOpen(ctx, sealed, carrierPath, outcome);
    if (!prelude) {
        return std::nullopt;
    }
    Derivation derived = deriveWhileEventsRun(ctx, ctx.model.code, *prelude);
    if (derived.stopped || ctx.model.stopRequest) {
        outcome.stopped = true;
        return std::nullopt;
    }
    if (!derived.key) {
        outcome.failure = protectionFailure(Reason::NoMemory);
        return std::nullopt;
    }
    return openStream(sealed, sink, rawHeader, *derived.key, eventsBetweenChunks(ctx),
                      boundsForWriter(ctx.strongCost));
}

} // namespace

Outcome sealEndFailure(SealEnd end, const QString& carrierPath) {
    switch (end) {
    case SealEnd::WrongCode:
        return protectionFailure(Reason::WrongCode, carrierPath);
    case SealEnd::Damaged:
        return protectionFailure(Reason::Damaged, carrierPath);
    case SealEnd::Unsupported:
        return protectionFailure(Reason::NoMemory);
    default:
        return {};
    }
}

std::optional<uint64_t> memAvailableKiB(std::string_view meminfo) {
    constexpr std::string_view kField = "MemAvailable:";
    size_t at = 0;
    while (at < meminfo.size()) {
        const size_t end = std::min(meminfo.find('\n', at), meminfo.size());
        const std::string_view line = meminfo.substr(at, end - at);
        if (line.substr(0, kField.size()) == kField) {
            uint64_t value = 0;
            bool digits = false;
            for (const char c : line.substr(kField.size())) {
                if (c >= '0' && c <= '9') {
                    if (value > (std::numeric_limits<uint64_t>::max() - 9) / 10) {
                        return std::nullopt;
                    }
                    value = value * 10 + static_cast<uint64_t>(c - '0');
                    digits = true;
                } else if (digits) {
                    break;
                }
            }
            const bool kib = line.find("kB") != std::string_view::npos;
            return digits && kib ? std::optional<uint64_t>(value) : std::nullopt;
        }
        at = end + 1;
    }
    return std::nullopt;
}

std::optional<uint64_t> availableMemoryKiB() {
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string text(8192, '\0');
    const size_t got = std::fread(text.data(), 1, text.size(), file);
    std::fclose(file);
    text.resize(got);
    return memAvailableKiB(text);
}

bool sealingCodeRefused(const QString& code) {
    return codeFault(code, true) != CodeFault::None || preparedCode(code).isEmpty();
}

bool ConfirmSealingCode(WorkflowContext& ctx) {
    Message question;
    // Under Stealth the user ticked Stealth, not Strong protection: the question says so.
    const QString title = ctx.model.stealthWanted ? QStringLiteral("Stealth") : kStrongTitle;
    question.title = title;
    question.text = QStringLiteral("Type the code again. It is the only key to the document: "
                                   "sealed under a mistyped code, the document cannot come "
                                   "back.");
    question.icon = MessageIcon::Question;
    question.buttons = MessageButtons::OkCancel;
    std::optional<QString> again = ctx.ui.askCodeAgain(question);
    if (!again) {
        return false;
    }
    QString typed = preparedCode(*again);
    QString first = preparedCode(ctx.model.code);
    const bool same = typed == first;
    for (QString* text : {&*again, &typed, &first}) {
        text->fill(QChar(u'\0'));
    }
    if (!same) {
        Outcome differ = Outcome::refused(Reason::CodesDiffer, {},
                                          ctx.model.stealthWanted ? Cause::Stealth : Cause::None);
        differ.task = Task::Seal;
        ctx.conclude(differ);
        ctx.model.requestFocus(FocusTarget::CodeBox);
        ctx.render();
    }
    return same;
}

SealOutcome SealForEmbed(WorkflowContext& ctx, const std::string& payloadHeader) {
    WindowModel& m = ctx.model;
    SealOutcome outcome;
    if (sealingCodeRefused(m.code)) {
        outcome.reason = Reason::CodeLength;
        return outcome;
    }
    const QString archivePath = ctx.temporaryFolder + kWorkArchiveName;
    const QString sealedPath = ctx.temporaryFolder + kSealedWorkName;
    QFile archive(archivePath);
    QFile sealed(sealedPath);
    if (!archive.open(QIODevice::ReadOnly)) {
        outcome.failure = protectionFailure(Reason::CannotOpen, archivePath);
        return outcome;
    }
    if (!sealed.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        outcome.failure = protectionFailure(Reason::CannotOpen, sealedPath);
        return outcome;
    }
    const SealPrelude prelude = freshPrelude(ctx.strongCost);
    Derivation derived = deriveWhileEventsRun(ctx, m.code, prelude);
    if (derived.stopped || m.stopRequest) {
        outcome.stopped = true;
        return outcome;
    }
    if (!derived.key) {
        outcome.failure = protectionFailure(Reason::NoMemory);
        return outcome;
    }
    const SealEnd end = sealStream(archive, archive.size(), sealed, payloadHeader, *derived.key,
                                   prelude, eventsBetweenChunks(ctx));
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
        outcome.failure = notWritten(Reason::WorkNotWritten, sealedPath,
                                     writeFailureError(ctx.platform, ctx.temporaryFolder));
        break;
    default:
        outcome.failure = protectionFailure(Reason::DocumentChanged, m.documentPath);
        break;
    }
    return outcome;
}

SealOutcome OpenSealedPayload(WorkflowContext& ctx, const PayloadHeaderInfo& info,
                              const QString& carrierPath) {
    SealOutcome outcome;
    const QString sealedPath = ctx.temporaryFolder + kSealedWorkName;
    const QString archivePath = ctx.temporaryFolder + kWorkArchiveName;
    QFile archive(archivePath);
    std::optional<SealEnd> end;
    if (archive.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        end = openSealedWorkFile(ctx, info.rawHeader, archive, carrierPath, outcome);
        if (!archive.flush() && end == SealEnd::Done) {
            end = SealEnd::WriteFailed;
        }
        archive.close();
    } else {
        end = SealEnd::WriteFailed;
    }
    // The sealed copy is no secret, but it is the user's document all the same.
    DiscardWorkFile(ctx, sealedPath);
    if (end == SealEnd::Done) {
        outcome.done = true;
        return outcome;
    }
    // What came out before the seal failed is unauthenticated and goes unread.
    DiscardWorkFile(ctx, archivePath);
    if (!end) {
        return outcome;
    }
    if (*end == SealEnd::Stopped) {
        outcome.stopped = true;
    } else if (Outcome failed = sealEndFailure(*end, carrierPath); failed.reason != Reason::None) {
        outcome.wrongCode = *end == SealEnd::WrongCode;
        outcome.failure = failed;
    } else {
        outcome.failure = notWritten(Reason::WorkNotWritten, archivePath,
                                     writeFailureError(ctx.platform, ctx.temporaryFolder));
    }
    return outcome;
}

SealOutcome VerifySealedImage(WorkflowContext& ctx, const QString& imagePath) {
    SealOutcome outcome;
    const QString sealedPath = ctx.temporaryFolder + kSealedWorkName;
    const PayloadHeaderInfo info = ReadPayloadHeader(imagePath, ctx.model.code);
    const int64_t rowsNeeded =
        info.rowBytes > 0 ? (int64_t{4} * (int64_t{info.headerLength()} + info.documentLength) +
                             info.rowBytes - 1) /
                                info.rowBytes
                          : 0;
    const std::optional<int16_t> rows = blockRows(info.rowBytes, info.headerLength(), rowsNeeded);
    if (!info.payloadFound() || !info.sealed || !rows ||
        info.headerLength() > std::numeric_limits<int16_t>::max()) {
        outcome.failure = protectionFailure(Reason::NotReadBack, {}, Cause::ReadBackPayload);
        return outcome;
    }
    const LoopResult read = extractPayloadBlocks(ctx, info, *rows, imagePath, sealedPath, 0.0f,
                                                 ctx.model.display.progress);
    std::optional<SealEnd> end;
    if (read.end == LoopEnd::Done) {
        DiscardDevice discard;
        discard.open(QIODevice::WriteOnly);
        end = openSealedWorkFile(ctx, info.rawHeader, discard, imagePath, outcome);
    } else if (read.end == LoopEnd::Stopped) {
        outcome.stopped = true;
    } else {
        outcome.failure = protectionFailure(Reason::NotReadBack, {}, Cause::ReadBackPayload);
    }
    DiscardWorkFile(ctx, sealedPath);
    if (end == SealEnd::Done) {
        outcome.done = true;
    } else if (end == SealEnd::Stopped) {
        outcome.stopped = true;
    } else if (end) {
        outcome.failure = protectionFailure(Reason::NotReadBack, {}, Cause::ReadBackSeal);
    }
    return outcome;
}

} // namespace brindmar
