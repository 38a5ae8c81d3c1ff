#pragma once

#include "util/UiServices.h"

namespace brindmar {

// The UI services as the workflows get them: everything goes to the real services, but whether
// a sound or a beep is heard follows the program's own sound switch, which the user sets from
// the menu.
class SoundSwitchedUi final : public UiServices {
public:
    SoundSwitchedUi(UiServices& inner, const bool& soundSwitch)
        : m_inner(inner), m_soundSwitch(soundSwitch) {}

    MessageAnswer showMessage(const Message& message) override {
        return m_inner.showMessage(message);
    }
    bool soundOn() const override { return m_soundSwitch; }
    void playSound(Sound sound) override { m_inner.playSound(sound); }
    void beep(int count) override { m_inner.beep(count); }
    std::optional<QString> chooseFile(const FileDialogRequest& request) override {
        return m_inner.chooseFile(request);
    }
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override {
        return m_inner.chooseFolder(request);
    }
    MousePointer mousePointer() const override { return m_inner.mousePointer(); }
    void setMousePointer(MousePointer pointer) override { m_inner.setMousePointer(pointer); }
    void processPendingEvents() override { m_inner.processPendingEvents(); }

private:
    UiServices& m_inner;
    const bool& m_soundSwitch;
};

} // namespace brindmar
