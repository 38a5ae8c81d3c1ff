#pragma once

#include "operations/DiskSpace.h"
#include "protection/StrongSeal.h"
#include "util/TextIds.h"
#include "util/UiServices.h"
#include "workflows/Outcome.h"
#include "workflows/View.h"
#include "workflows/WindowModel.h"

#include <QString>

namespace brindmar {

class Engine;
class PictureConverter;
class Platform;
class ZipService;

// Everything a workflow works with. The workflows talk to the user only through the UI
// services and change the window only through the model, so the same procedure runs behind the
// Qt window, the command line and the tests.
struct WorkflowContext {
    WindowModel& model;
    UiServices& ui;
    ZipService& zip;
    Engine& engine;
    const Platform& platform;
    View& view;
    QString programFolder;   // ends in a separator
    QString temporaryFolder; // private to the user; ends in a separator
    // Pictures that are not carriers yet; none where nothing can convert them.
    const PictureConverter* pictures = nullptr;
    // What a guess at a strong protection code costs in the images this program makes.
    StrongCost strongCost = kDefaultStrongCost;
    // What the command under way has come to, for the front end that asked for it.
    Outcome outcome{};
    // Puts a command's end into words as it comes; none on a terminal.
    OutcomeView* outcomes = nullptr;
    // Puts what a command says as it goes on into words; a front end without one hears nothing.
    NoticeView* notices = nullptr;

    void render() { view.render(); }
    // The command refresh, then the window shows its result.
    void refresh();
    // Where a procedure lets window events run: the window first shows what has changed.
    void letEventsRun();

    // The sound (or beeps) of the kind, then the message box.
    MessageAnswer report(Sound sound, const QString& title, const QString& text,
                         MessageIcon icon = MessageIcon::Exclamation,
                         MessageButtons buttons = MessageButtons::Ok);
    MessageAnswer report(Sound sound, TextId title, TextId text,
                         MessageIcon icon = MessageIcon::Exclamation);
    // The same for a message made whole: a question that says what it asks about.
    MessageAnswer ask(Sound sound, const Message& message);

    // Records how the command under way ended, the reason already told to the user.
    void ended(Ending ending, Reason reason, const QString& subject, int error = 0);
    // Records how the command of task ended, and has the front end's outcome view tell it now,
    // with the window showing the state that led to it.
    void conclude(Task task, Ending ending, Reason reason, const QString& subject, int error = 0);
    // The same for an outcome made whole by the workflow.
    void conclude(const Outcome& ended);
    // Has the front end tell a notice now, with the window showing the state that led to it.
    void notify(const Notice& notice);
    // Has the front end ask a question now, the same way; its answer. Without a front end's
    // view the UI services still answer it, unworded.
    MessageAnswer ask(const Question& question);
    // A question of two named choices: true for the first, false for the second, nothing when
    // cancelled.
    std::optional<bool> askTwoChoices(const Question& question);
    // Concludes the command of task refused for want of space, when there is a shortage; true
    // then.
    bool shortOfSpace(Task task, const QString& subject,
                      const std::optional<SpaceShortage>& shortage);

    // Sets option mark 16 and offers Reset.
    void valueChanged();
};

QString tr(TextId id);

} // namespace brindmar
