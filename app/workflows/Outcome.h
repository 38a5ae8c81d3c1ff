#pragma once

#include <QString>
#include <QStringList>

namespace brindmar {

// How a command ended. Refused: it wrote nothing because the request cannot be met as it stands
// (a code is missing, the file would replace the carrier); Failed: it tried and could not.
enum class Ending { Done, Refused, Failed, Stopped };

// Why a command did not end done, for a front end to put in its own words.
enum class Reason {
    None,
    NoPayload,         // nothing hidden in the image, as far as can be told without a code
    CodeNeeded,        // what it carries opens only with a code, and none was given
    NoDocumentForCode, // searched with the code, nothing opens: none there, or another code's
    WrongCode,         // the header shows a document, and this code does not open it
    Damaged,           // it opens with the code, but what follows has been altered
    CannotRead,        // a file could not be read; error holds errno where there is one
    CannotWrite,       // a file could not be written; error holds errno where there is one
    DiskFull,
    Exists,              // the file to be written exists, and replacing it was not agreed
    WouldReplaceCarrier, // the file to be written is the carrier (or the image) itself
    TooLarge,            // the document does not fit the carrier
    NotCarrier,          // the file cannot carry a document, nor be converted into one
    NotPicture,          // no picture this program can read
    AlreadyCarries,      // the carrier already holds a document that opens with this code
    TimesNotKept,        // the file is written, but its times could not be set
    NotDeleted,          // overwritten to the end, but the name could not be removed
    Other,               // told in the workflow's own words
};

// The command an outcome is of: the front ends title and word it by this.
enum class Task { None, Embed, Extract, Wipe, Zip, Unzip };

// What a command came to: the front ends render it, each its own way, and decide nothing from
// the words of a message.
struct Outcome {
    Ending ending = Ending::Done;
    Reason reason = Reason::None;
    // The file the command was about, as the user named it.
    QString subject;
    // Every file it wrote for the user, in order.
    QStringList written;
    // The figures or words that go with the reason (a validity text, sizes), where it has any.
    QString detail;
    int error = 0;
    // The user has been shown why through the UI services already.
    bool told = false;
    Task task = Task::None;
    // Embedded under a code: the image gives the document back only with it.
    bool codeGiven = false;

    bool done() const { return ending == Ending::Done; }

    static Outcome refused(Reason why, const QString& subject, const QString& detail = {}) {
        return Outcome{Ending::Refused, why, subject, {}, detail, 0, false};
    }
    static Outcome failed(Reason why, const QString& subject, const QString& detail = {}) {
        return Outcome{Ending::Failed, why, subject, {}, detail, 0, false};
    }
};

} // namespace brindmar
