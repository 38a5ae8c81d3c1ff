#include "window/OutcomeMessages.h"

#include "util/PathHelpers.h"
#include "util/StringTable.h"
#include "util/TextIds.h"

#include <QDir>
#include <QFileInfo>

namespace brindmar {

namespace {

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

// The signal UiServices::alert gives: the sound, or two beeps for an error and one for the rest.
void alerted(OutcomeRendering& shown, Sound sound) {
    shown.sounds = {sound};
    shown.beeps = sound == Sound::Error ? 2 : 1;
}

void boxed(OutcomeRendering& shown, const QString& title, const QString& words, MessageIcon icon) {
    shown.boxed = true;
    shown.message = Message{title, words, icon};
}

void renderDone(OutcomeRendering& shown, const Outcome& outcome) {
    QString subject = outcome.subject;
    switch (outcome.task) {
    case Task::Embed: {
        QString words = QStringLiteral("File Embedding processed successfully");
        if (outcome.codeGiven) {
            words += QStringLiteral("\n\nNote the Code used will be necessary to extract");
        }
        alerted(shown, Sound::Success);
        boxed(shown, text(TextId::CompletionTitle), words, MessageIcon::None);
        break;
    }
    case Task::Extract:
        alerted(shown, Sound::Success);
        boxed(shown, text(TextId::CompletionTitle), text(TextId::ExtractionSucceeded),
              MessageIcon::None);
        break;
    case Task::Wipe:
        alerted(shown, Sound::Success);
        boxed(shown, text(TextId::CompletionTitle), text(TextId::WipeSucceeded), MessageIcon::None);
        break;
    case Task::Zip: {
        // Packing is announced twice over with the sounds on: done, and look beside the file.
        shown.sounds = {Sound::Success, Sound::Attention};
        shown.beeps = 1;
        const QString name = FileNameOf(subject);
        boxed(shown, text(TextId::ZipToolTitle),
              name + text(TextId::ZippedToDirectory) + QStringLiteral("\n\n") + FolderOf(subject),
              MessageIcon::Information);
        break;
    }
    case Task::Unzip:
        shown.sounds = {Sound::Success};
        boxed(shown, text(TextId::ZipToolTitle),
              subject + QStringLiteral("\n\n") + text(TextId::EndUnzipFunction),
              MessageIcon::Information);
        break;
    case Task::None:
        break;
    }
    if (outcome.written.size() == 1) {
        const QFileInfo file(outcome.written.front());
        shown.status = QStringLiteral("Wrote %1 in %2")
                           .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()));
    }
}

void renderNotDone(OutcomeRendering& shown, const Outcome& outcome) {
    switch (outcome.reason) {
    case Reason::WouldReplaceCarrier:
        alerted(shown, Sound::Attention);
        if (outcome.task == Task::Extract) {
            boxed(shown, text(TextId::FileExtractTitle),
                  QStringLiteral("Cannot extract over the source image file.\n\nChange the "
                                 "directory in 'Output to' before extracting."),
                  MessageIcon::Exclamation);
        } else {
            boxed(shown, QStringLiteral("File Embed"),
                  QStringLiteral("Cannot embed to same directory as the source image file.\n\n"
                                 "Change the directory in 'Output to' before embedding."),
                  MessageIcon::Exclamation);
        }
        break;
    case Reason::CannotWrite:
    case Reason::NotDeleted:
        if (outcome.task == Task::Wipe) {
            alerted(shown, Sound::Error);
            boxed(shown, text(TextId::WipeTitle),
                  text(outcome.reason == Reason::NotDeleted ? TextId::WipeDeleteFailed
                                                            : TextId::WipeFailed),
                  MessageIcon::Exclamation);
        }
        break;
    default:
        break;
    }
}

} // namespace

OutcomeRendering renderOutcome(const Outcome& outcome) {
    OutcomeRendering shown;
    if (outcome.told || outcome.ending == Ending::Stopped) {
        return shown;
    }
    if (outcome.done()) {
        renderDone(shown, outcome);
    } else {
        renderNotDone(shown, outcome);
    }
    return shown;
}

void OutcomeMessages::tell(const Outcome& outcome, UiServices& ui) {
    const OutcomeRendering shown = renderOutcome(outcome);
    if (ui.soundOn()) {
        for (const Sound sound : shown.sounds) {
            ui.playSound(sound);
        }
    } else if (shown.beeps > 0) {
        ui.beep(shown.beeps);
    }
    if (shown.boxed) {
        ui.showMessage(shown.message);
    }
}

} // namespace brindmar
