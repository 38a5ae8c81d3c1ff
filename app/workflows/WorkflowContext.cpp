#include "workflows/WorkflowContext.h"

#include "util/StringTable.h"
#include "workflows/CommandRefresh.h"

namespace brindmar {

QString tr(TextId id) {
    return StringTable::builtin().text(id);
}

void WorkflowContext::refresh() {
    commandRefresh(model);
    render();
}

void WorkflowContext::letEventsRun() {
    render();
    ui.processPendingEvents();
}

MessageAnswer WorkflowContext::report(Sound sound, const QString& title, const QString& text,
                                      MessageIcon icon, MessageButtons buttons) {
    return ask(sound, Message{title, text, icon, buttons});
}

MessageAnswer WorkflowContext::ask(Sound sound, const Message& message) {
    // The box is modal: the window must show the state that led to it.
    render();
    ui.alert(sound);
    return ui.showMessage(message);
}

MessageAnswer WorkflowContext::report(Sound sound, TextId title, TextId text, MessageIcon icon) {
    return report(sound, tr(title), tr(text), icon);
}

void WorkflowContext::ended(Ending ending, Reason reason, const QString& subject, int error) {
    outcome.ending = ending;
    outcome.reason = reason;
    outcome.subject = subject;
    outcome.error = error;
    outcome.told = ending != Ending::Done;
}

void WorkflowContext::conclude(Task task, Ending ending, Reason reason, const QString& subject,
                               int error) {
    outcome.ending = ending;
    outcome.reason = reason;
    outcome.subject = subject;
    outcome.error = error;
    outcome.task = task;
    conclude(outcome);
}

void WorkflowContext::conclude(const Outcome& ended) {
    if (&ended != &outcome) {
        outcome = ended;
    }
    outcome.told = false;
    if (outcomes != nullptr) {
        render();
        outcomes->tell(outcome, ui);
        outcome.told = outcome.ending != Ending::Done;
    }
}

void WorkflowContext::notify(const Notice& notice) {
    if (notices != nullptr) {
        render();
        notices->notice(notice, ui);
    }
}

MessageAnswer WorkflowContext::ask(const Question& question) {
    render();
    if (notices != nullptr) {
        return notices->ask(question, ui);
    }
    const bool two =
        question.kind == QuestionKind::DropGps || question.kind == QuestionKind::HalfSize;
    Message unworded;
    unworded.icon = MessageIcon::Question;
    unworded.buttons = two ? MessageButtons::TwoChoices : MessageButtons::OkCancel;
    ui.alert(Sound::Attention);
    return ui.showMessage(unworded);
}

std::optional<bool> WorkflowContext::askTwoChoices(const Question& question) {
    return choiceOf(ask(question));
}

bool WorkflowContext::shortOfSpace(Task task, const QString& subject,
                                   const std::optional<SpaceShortage>& shortage) {
    if (!shortage) {
        return false;
    }
    ui.setMousePointer(MousePointer::Default);
    Outcome refused = Outcome::refused(Reason::DiskFull, subject);
    refused.task = task;
    refused.about = shortage->folder;
    refused.figure = shortage->freeBytes;
    refused.workFolder = shortage->workFolder;
    conclude(refused);
    return true;
}

void WorkflowContext::valueChanged() {
    model.setOption(option::ValueChanged, true);
    model.display.commandEnabled[static_cast<size_t>(Command::Reset)] = true;
}

} // namespace brindmar
