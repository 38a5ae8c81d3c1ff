#pragma once

#include "util/UiServices.h"

namespace brindmar {

// UI services that hand everything to other UI services; the window's adaptations override only
// what they change.
class ForwardingUi : public UiServices {
public:
    explicit ForwardingUi(UiServices& inner) : m_inner(inner) {}

    MessageAnswer showMessage(const Message& message) override {
        return m_inner.showMessage(message);
    }
    bool soundOn() const override { return m_inner.soundOn(); }
    void playSound(Sound sound) override { m_inner.playSound(sound); }
    void beep(int count) override { m_inner.beep(count); }
    std::optional<QString> askCodeAgain(const Message& message) override {
        return m_inner.askCodeAgain(message);
    }
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
};

} // namespace brindmar
