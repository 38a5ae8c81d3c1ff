#pragma once

#include "util/UiServices.h"

#include <QPointer>
#include <QString>
#include <array>
#include <memory>

class QSoundEffect;
class QWidget;

namespace brindmar {

// The UI services on Qt: modal message boxes and file dialogs over the main window, sound files
// played through Qt Multimedia, the application-wide pointer and the event loop.
class QtUiServices final : public UiServices {
public:
    explicit QtUiServices(QWidget* parent);
    ~QtUiServices() override;

    // soundFiles: success, error, attention. audioOutputs: the number of sound devices found;
    // with none a sound effect would report itself playing forever, so it is never made and
    // every sound becomes a beep.
    void setSounds(std::array<QString, 3> soundFiles, int audioOutputs);

    MessageAnswer showMessage(const Message& message) override;
    // Standing alone, the services play whenever they can; the program puts its own switch
    // in front of them.
    bool soundOn() const override { return m_audio; }
    void playSound(Sound sound) override;
    void beep(int count) override;
    std::optional<QString> askCodeAgain(const Message& message) override;
    std::optional<QString> chooseFile(const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override;
    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override;
    void processPendingEvents() override;

    // "Description|pattern|Description|pattern" as Qt's dialogs want it.
    static QString dialogFilter(const QString& filter);

    // False for a path a dialog gives for a name that is not valid text in the file system's
    // encoding: its bytes were replaced in decoding, so encoded again it names another file
    // (the repaired look-alike) or none.
    static bool nameIntact(const QString& path);

private:
    // The chosen path, or nothing after saying why a name that is not intact cannot be used.
    std::optional<QString> intactChoice(const QString& chosen);

    QPointer<QWidget> m_parent;
    std::array<QString, 3> m_soundFiles;
    std::array<std::unique_ptr<QSoundEffect>, 3> m_effects;
    bool m_audio = false;
    MousePointer m_pointer = MousePointer::Default;
};

} // namespace brindmar
