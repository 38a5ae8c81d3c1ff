#pragma once

#include "util/ForwardingUi.h"

namespace brindmar {

// The UI services as the workflows get them: everything goes to the real services, but whether
// a sound or a beep is heard follows the program's own sound switch, which the user sets from
// the menu.
class SoundSwitchedUi final : public ForwardingUi {
public:
    SoundSwitchedUi(UiServices& inner, const bool& soundSwitch)
        : ForwardingUi(inner), m_soundSwitch(soundSwitch) {}

    bool soundOn() const override { return m_soundSwitch; }

private:
    const bool& m_soundSwitch;
};

} // namespace brindmar
