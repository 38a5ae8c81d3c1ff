#pragma once

#include "util/UiServices.h"
#include "workflows/Outcome.h"

namespace brindmar {

// What a workflow knows of the window: it can be asked to show the model. The Qt window applies
// the model to its widgets; the command line draws a progress bar; tests count the requests.
class View {
public:
    virtual ~View() = default;
    virtual void render() = 0;
};

// Where a command's end is put into words: the window's message box and sound, at the moment the
// command has come to it. A terminal has none; it prints the outcome once the command returns.
class OutcomeView {
public:
    virtual ~OutcomeView() = default;
    virtual void tell(const Outcome& outcome, UiServices& ui) = 0;
};

// Where a notice or a question is put into words the moment it comes: the window's message box,
// a terminal's line. The command goes on once a notice is told; a question is asked through the
// UI services, which answer it as each front end does (a button, --yes).
class NoticeView {
public:
    virtual ~NoticeView() = default;
    virtual void notice(const Notice& notice, UiServices& ui) = 0;
    virtual MessageAnswer ask(const Question& question, UiServices& ui) = 0;
};

} // namespace brindmar
