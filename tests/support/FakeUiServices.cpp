#include "FakeUiServices.h"

namespace brindmar::testing {

QString toString(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QStringLiteral("NoIcon");
    case MessageIcon::Critical:
        return QStringLiteral("Critical");
    case MessageIcon::Question:
        return QStringLiteral("Question");
    case MessageIcon::Exclamation:
        return QStringLiteral("Exclamation");
    case MessageIcon::Information:
        return QStringLiteral("Information");
    }
    return QStringLiteral("?");
}

QString toString(Sound sound) {
    switch (sound) {
    case Sound::Success:
        return QStringLiteral("Success");
    case Sound::Error:
        return QStringLiteral("Error");
    case Sound::Attention:
        return QStringLiteral("Attention");
    }
    return QStringLiteral("?");
}

std::vector<Message> FakeUiServices::messages() const {
    std::vector<Message> result;
    for (const Event& event : m_events) {
        if (event.kind == EventKind::Message) {
            result.push_back(event.message);
        }
    }
    return result;
}

QStringList FakeUiServices::transcript() const {
    QStringList lines;
    for (const Event& event : m_events) {
        switch (event.kind) {
        case EventKind::Message:
            lines << QStringLiteral("message %1|%2|%3")
                         .arg(toString(event.message.icon), event.message.title,
                              event.message.text);
            break;
        case EventKind::Sound:
            lines << QStringLiteral("sound ") + toString(event.sound);
            break;
        case EventKind::Beep:
            lines << QStringLiteral("beep %1").arg(event.beeps);
            break;
        }
    }
    return lines;
}

void FakeUiServices::clear() {
    m_events.clear();
    m_fileDialogs.clear();
    m_folderDialogs.clear();
    m_pointerChanges.clear();
    m_codeRequests.clear();
    m_unscripted = 0;
    m_pendingEventRuns = 0;
}

MessageAnswer FakeUiServices::showMessage(const Message& message) {
    Event event;
    event.kind = EventKind::Message;
    event.message = message;
    if (message.buttons != MessageButtons::Ok) {
        if (m_answers.empty()) {
            ++m_unscripted;
            event.answer = MessageAnswer::Cancel;
        } else {
            event.answer = m_answers.front();
            m_answers.pop_front();
        }
    }
    m_events.push_back(event);
    return event.answer;
}

void FakeUiServices::playSound(Sound sound) {
    Event event;
    event.kind = EventKind::Sound;
    event.sound = sound;
    m_events.push_back(event);
}

void FakeUiServices::beep(int count) {
    Event event;
    event.kind = EventKind::Beep;
    event.beeps = count;
    m_events.push_back(event);
}

std::optional<QString> FakeUiServices::nextChoice(std::deque<std::optional<QString>>& script) {
    if (script.empty()) {
        ++m_unscripted;
        return std::nullopt;
    }
    std::optional<QString> choice = std::move(script.front());
    script.pop_front();
    return choice;
}

std::optional<QString> FakeUiServices::chooseFile(const FileDialogRequest& request) {
    m_fileDialogs.push_back(request);
    return nextChoice(m_fileChoices);
}

std::optional<QString> FakeUiServices::chooseFolder(const FileDialogRequest& request) {
    m_folderDialogs.push_back(request);
    return nextChoice(m_folderChoices);
}

void FakeUiServices::setMousePointer(MousePointer pointer) {
    m_pointer = pointer;
    m_pointerChanges.push_back(pointer);
}

} // namespace brindmar::testing
