#pragma once

#include "util/UiServices.h"
#include "workflows/View.h"
#include "workflows/WindowModel.h"

#include <QString>
#include <QStringList>
#include <csignal>
#include <functional>
#include <optional>

namespace brindmar::cli {

// Set by SIGINT and SIGTERM; the engine loops see it at their next block as a Stop.
extern volatile std::sig_atomic_t g_interrupted;

// The UI services on a terminal. Completion messages go to stdout, failures to stderr as one
// line each in a terminal's words; a question is answered by --yes, by the user when stdin is a
// terminal, and otherwise with no, saying why. File dialogs answer with the path the command
// line named.
class TerminalUi final : public UiServices {
public:
    TerminalUi(WindowModel& model, bool assumeYes, bool quiet);

    void presetChoice(const QString& path) { m_choice = path; }
    // The file the command works on, named in error lines whose message names none.
    void setSubject(const QString& path) { m_subject = path; }

    // Runs before anything is written, so that a message never lands inside a progress line.
    std::function<void()> beforeMessage;

    // Every message text shown, in order, for the command to judge how the run ended.
    const QStringList& shown() const { return m_shown; }
    bool refusedForLackOfTerminal() const { return m_refused; }

    MessageAnswer showMessage(const Message& message) override;
    bool soundOn() const override { return false; }
    void playSound(Sound) override {}
    void beep(int) override {}
    // The command line asks a typed code twice where it reads it, and a file or a variable
    // holds no typing error: the code it was given is the answer.
    std::optional<QString> askCodeAgain(const Message&) override { return m_model.code; }
    std::optional<QString> chooseFile(const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override;
    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override { m_pointer = pointer; }
    void processPendingEvents() override;

private:
    WindowModel& m_model;
    bool m_assumeYes;
    bool m_quiet;
    std::optional<QString> m_choice;
    QStringList m_shown;
    bool m_refused = false;
    QString m_subject;
    MousePointer m_pointer = MousePointer::Default;
};

// Shows the model on a terminal: a progress bar on stderr while an operation runs, when stderr
// is a terminal and the user did not ask for quiet.
class TerminalView final : public View {
public:
    TerminalView(const WindowModel& model, bool quiet);
    ~TerminalView() override;
    void render() override;
    // Ends a progress line that is still open.
    void finishLine();

private:
    const WindowModel& m_model;
    bool m_enabled;
    int m_drawn = -1;
};

} // namespace brindmar::cli
