#pragma once

// A scripted stand-in for the UI services: it records every message, sound, beep, dialog and
// pointer change in order, and answers questions and dialogs from a script, so that tests can
// drive a workflow to its end and assert on the exact texts the user would see.

#include "util/UiServices.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace brindmar::testing {

class FakeUiServices final : public UiServices {
public:
    enum class EventKind { Message, Sound, Beep };

    struct Event {
        EventKind kind = EventKind::Message;
        Message message; // for Message
        MessageAnswer answer = MessageAnswer::Ok;
        Sound sound = Sound::Success; // for Sound
        int beeps = 0;                // for Beep
    };

    explicit FakeUiServices(bool soundOn = false) : m_soundOn(soundOn) {}

    // Script. Each question (a box with OK and Cancel) takes the next answer; with none left it
    // is answered Cancel, the choice that changes nothing, and counted as unscripted.
    void setSoundOn(bool on) { m_soundOn = on; }
    void queueAnswer(MessageAnswer answer) { m_answers.push_back(answer); }
    // nullopt stands for a cancelled dialog; an empty script cancels too.
    void queueFileChoice(std::optional<QString> path) { m_fileChoices.push_back(std::move(path)); }
    void queueFolderChoice(std::optional<QString> path) {
        m_folderChoices.push_back(std::move(path));
    }
    // The answer to the next request to type the code again; nullopt cancels, as does an empty
    // script.
    void queueCodeAgain(std::optional<QString> code) { m_codesAgain.push_back(std::move(code)); }
    const std::vector<Message>& codeRequests() const { return m_codeRequests; }

    // Record.
    const std::vector<Event>& events() const { return m_events; }
    std::vector<Message> messages() const;
    // One line per event, for comparing a whole exchange at once:
    //   "sound Error", "beep 2", "message Critical|Disk Space Problem|<text>" (icon|title|text).
    QStringList transcript() const;
    int unscriptedPrompts() const { return m_unscripted; }
    int pendingAnswers() const { return static_cast<int>(m_answers.size()); }
    const std::vector<FileDialogRequest>& fileDialogs() const { return m_fileDialogs; }
    const std::vector<FileDialogRequest>& folderDialogs() const { return m_folderDialogs; }
    const std::vector<MousePointer>& pointerChanges() const { return m_pointerChanges; }
    int pendingEventRuns() const { return m_pendingEventRuns; }
    void clear();

    // UiServices
    MessageAnswer showMessage(const Message& message) override;
    bool soundOn() const override { return m_soundOn; }
    void playSound(Sound sound) override;
    void beep(int count) override;
    std::optional<QString> askCodeAgain(const Message& message) override {
        m_codeRequests.push_back(message);
        return nextChoice(m_codesAgain);
    }
    std::optional<QString> chooseFile(const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override;
    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override;
    // Runs whatever the test scripted for the pending events (a Stop click, a close request).
    void processPendingEvents() override {
        ++m_pendingEventRuns;
        if (onPendingEvents) {
            onPendingEvents(m_pendingEventRuns);
        }
    }

    // Called with the count of pending-event runs so far.
    std::function<void(int)> onPendingEvents;

private:
    std::optional<QString> nextChoice(std::deque<std::optional<QString>>& script);

    bool m_soundOn;
    std::deque<MessageAnswer> m_answers;
    std::deque<std::optional<QString>> m_fileChoices;
    std::deque<std::optional<QString>> m_folderChoices;
    std::deque<std::optional<QString>> m_codesAgain;
    std::vector<Message> m_codeRequests;
    std::vector<Event> m_events;
    std::vector<FileDialogRequest> m_fileDialogs;
    std::vector<FileDialogRequest> m_folderDialogs;
    std::vector<MousePointer> m_pointerChanges;
    MousePointer m_pointer = MousePointer::Default;
    int m_unscripted = 0;
    int m_pendingEventRuns = 0;
};

QString toString(MessageIcon icon);
QString toString(Sound sound);

} // namespace brindmar::testing
