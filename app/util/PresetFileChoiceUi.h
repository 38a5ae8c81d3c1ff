#pragma once

#include "util/ForwardingUi.h"

#include <optional>
#include <utility>

namespace brindmar {

// The UI services with the next file dialog answered in advance. A file named on the command
// line or dropped on the window is chosen by the workflow of the command it stands in for, so
// that it meets the same checks and messages as a file picked in the dialog.
class PresetFileChoiceUi final : public ForwardingUi {
public:
    using ForwardingUi::ForwardingUi;

    void presetFileChoice(QString path) { m_preset = std::move(path); }
    // A workflow that stopped before its dialog (the code check) must not leave the answer for
    // the next dialog the user opens.
    void withdrawPreset() { m_preset.reset(); }

    std::optional<QString> chooseFile(const FileDialogRequest& request) override {
        if (m_preset) {
            return std::exchange(m_preset, std::nullopt);
        }
        return ForwardingUi::chooseFile(request);
    }

private:
    std::optional<QString> m_preset;
};

} // namespace brindmar
