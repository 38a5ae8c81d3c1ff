#pragma once

#include "util/UiServices.h"
#include "workflows/View.h"

#include <QList>
#include <QString>

namespace brindmar {

// How the window tells a command's end: the signal, the message box, and the status line that
// stays once the box is closed.
struct OutcomeRendering {
    // Nothing to show: the workflow has said why in its own box, or the user stopped.
    bool boxed = false;
    Message message;
    // Played in turn with the sound switch on; otherwise the beeps.
    QList<Sound> sounds;
    int beeps = 0;
    QString status;
};

OutcomeRendering renderOutcome(const Outcome& outcome);

// The window's outcome and notice view: the rendering's signal and box through the UI services.
class OutcomeMessages final : public OutcomeView, public NoticeView {
public:
    void tell(const Outcome& outcome, UiServices& ui) override;
    void notice(const Notice& notice, UiServices& ui) override;
    MessageAnswer ask(const Question& question, UiServices& ui) override;
};

} // namespace brindmar
