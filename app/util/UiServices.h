#pragma once

#include <QString>
#include <optional>

namespace brindmar {

// The three sound files, in the order the program keeps them.
enum class Sound { Success = 0, Error = 1, Attention = 2 };

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
// TwoChoices: the buttons named by the message's choices, then Cancel.
enum class MessageButtons { Ok, OkCancel, TwoChoices };
enum class DefaultButton { First, Second };
// Ok is also the first of two choices; Second the other.
enum class MessageAnswer { Ok, Cancel, Second };

enum class MousePointer { Default, Arrow, Hourglass, SizeAll, SizeHorizontal, SizeVertical };

// What a question asks about, for a front end that asks it in its own words rather than the
// box's.
struct Asked {
    enum class Kind {
        None,    // asked only in the box's words
        Replace, // the subject exists: overwrite it?
        Delete,  // overwrite the subject, then delete it?
        Marked,  // the subject is marked hidden or read-only: go on all the same?
    };
    Kind kind = Kind::None;
    QString subject{};
    bool readOnly = false;
    bool hidden = false;
};

struct Message {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    DefaultButton defaultButton = DefaultButton::First;
    // The two buttons' words for TwoChoices, so that no answer has to be explained in the text.
    QString firstChoice{};
    QString secondChoice{};
    Asked asked{};
};

struct FileDialogRequest {
    QString title;
    QString filter;        // "Description|pattern|Description|pattern"
    QString initialFolder; // empty: the dialog's own choice
    QString fileName;      // preset name, empty for none
};

// Everything the workflows do to the user goes through here: message boxes, sounds and beeps,
// file and folder dialogs, the mouse pointer, and letting pending window events run. The
// program gives it a Qt implementation; tests give it a scripted fake, so that no workflow ever
// blocks a test on a modal dialog and every text shown can be asserted.
class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows a modal message box and returns the button pressed; Ok-only boxes return Ok.
    virtual MessageAnswer showMessage(const Message& message) = 0;

    // The sound switch: sounds play only when it is on; otherwise the workflows beep.
    virtual bool soundOn() const = 0;
    virtual void playSound(Sound sound) = 0;
    virtual void beep(int count) = 0;

    // Asks for a code again, without showing it, to compare with the one typed before; nullopt
    // when the user cancels.
    virtual std::optional<QString> askCodeAgain(const Message& message) = 0;

    // nullopt when the user cancels.
    virtual std::optional<QString> chooseFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> chooseFolder(const FileDialogRequest& request) = 0;

    virtual MousePointer mousePointer() const = 0;
    virtual void setMousePointer(MousePointer pointer) = 0;

    // Lets queued window events run, so that a Stop click is seen during a long operation.
    virtual void processPendingEvents() = 0;

    // The signal before a message: the sound when the switch is on, else two beeps for an error
    // and one for anything else. The few places that signal differently call playSound and beep
    // themselves.
    void alert(Sound sound);
};

// The answer to a question of two named choices and Cancel: true for the first, false for the
// second, nothing when cancelled.
inline std::optional<bool> choiceOf(MessageAnswer answer) {
    switch (answer) {
    case MessageAnswer::Ok:
        return true;
    case MessageAnswer::Second:
        return false;
    case MessageAnswer::Cancel:
        break;
    }
    return std::nullopt;
}

inline std::optional<bool> askTwoChoices(UiServices& ui, const Message& question) {
    return choiceOf(ui.showMessage(question));
}

} // namespace brindmar
