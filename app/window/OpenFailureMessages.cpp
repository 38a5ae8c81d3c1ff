#include "window/OpenFailureMessages.h"

#include "util/DrawFault.h"
#include "util/ReplacementFile.h"
#include "util/StringTable.h"
#include "util/TextIds.h"

namespace brindmar {

namespace {

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

void box(OutcomeRendering& shown, Sound sound, const QString& title, const QString& words) {
    shown.sounds = {sound};
    shown.beeps = sound == Sound::Error ? 2 : 1;
    shown.boxed = true;
    shown.message = Message{title, words, MessageIcon::Exclamation};
}

// The file on a line of its own, then what is wrong with it.
void fileBox(OutcomeRendering& shown, Sound sound, const Outcome& outcome, const QString& words) {
    box(shown, sound, text(TextId::BmpFileTitle), outcome.subject + u'\n' + words);
}

} // namespace

bool renderOpenFailure(OutcomeRendering& shown, const Outcome& outcome) {
    if (outcome.task != Task::Open) {
        return false;
    }
    switch (outcome.reason) {
    case Reason::NotBmpFile:
        fileBox(shown, Sound::Attention, outcome, QStringLiteral(" - is not a BMP file"));
        return true;
    case Reason::CannotOpen:
        fileBox(shown, Sound::Error, outcome,
                text(TextId::CannotBeOpenedSuffix) + systemReason(outcome.error));
        return true;
    case Reason::CannotRead:
        fileBox(shown, Sound::Error, outcome,
                text(TextId::CannotBeReadSuffix) + systemReason(outcome.error));
        return true;
    case Reason::NotShown: {
        // Without the decoder's reason the failure is an unknown one: the box names no file.
        const QString why = drawFaultText(DrawFault(outcome.figure), outcome.error);
        box(shown, Sound::Error, text(TextId::OperationalErrorTitle),
            why.isEmpty()
                ? text(TextId::ProcessingFailureUnknown)
                : text(TextId::ProcessingFailure) + outcome.subject + QStringLiteral(" - ") + why);
        return true;
    }
    default:
        return false;
    }
}

} // namespace brindmar
