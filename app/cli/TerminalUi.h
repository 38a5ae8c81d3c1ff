#pragma once

#include "util/UiServices.h"
#include "workflows/View.h"
#include "workflows/WindowModel.h"

#include <QString>
#include <QStringList>
#include <csignal>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace brindmar::cli {

// Set by SIGINT and SIGTERM; the engine loops see it at their next block as a Stop.
extern volatile std::sig_atomic_t g_interrupted;

// The UI services on a terminal. A command's end is the command's to say, from its outcome; a
// box shown on the way goes to stderr as one line. A question is answered by --yes, by
// the user when stdin is a terminal, and otherwise with no, saying why. There is no file dialog:
// the requests name their files.
class TerminalUi final : public UiServices {
public:
    TerminalUi(WindowModel& model, bool assumeYes);

    // A name the user gave, or one made from it, which messages may hold: written out when it
    // holds control characters, so that it cannot break the message's line.
    void knowName(const QString& name);

    // Runs before anything is written, so that a message never lands inside a progress line.
    std::function<void()> beforeMessage;

    MessageAnswer showMessage(const Message& message) override;
    bool soundOn() const override { return false; }
    void playSound(Sound) override {}
    void beep(int) override {}
    // The command line asks a typed code twice where it reads it, and a file or a variable
    // holds no typing error: the code it was given is the answer.
    std::optional<QString> askCodeAgain(const Message&) override { return m_model.code; }
    std::optional<QString> chooseFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QString> chooseFolder(const FileDialogRequest&) override { return std::nullopt; }
    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override { m_pointer = pointer; }
    void processPendingEvents() override;

private:
    QString withNames(QString text) const;

    WindowModel& m_model;
    QStringList m_unsafeNames; // longest first
    bool m_assumeYes;
    MousePointer m_pointer = MousePointer::Default;
};

// Shows the model on a terminal: a progress bar on stderr while an operation runs, when stderr
// is a terminal and the user did not ask for quiet. A notice is a line on stderr, quiet or not.
class TerminalView final : public View, public NoticeView {
public:
    TerminalView(const WindowModel& model, bool quiet);
    ~TerminalView() override;
    void render() override;
    void notice(const Notice& notice, UiServices& ui) override;
    // Asked in the terminal's words; the UI services answer it (--yes, the user, or no).
    MessageAnswer ask(const Question& question, UiServices& ui) override;
    // Ends a progress line that is still open.
    void finishLine();

private:
    const WindowModel& m_model;
    bool m_enabled;
    int m_drawn = -1;
};

} // namespace brindmar::cli
