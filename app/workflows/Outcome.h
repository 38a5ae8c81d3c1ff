#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

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
    CannotRead,        // a file could not be read; error holds errno where there is one, and
                       // for an embed's document (about) cause says where: AsChosen, or the
                       // packing it travels in (SealPacking, EncryptPacking, NamePacking,
                       // EmptyPacking)
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
    NoBaseName,          // a file was chosen by a name that is only an extension
    WrongExtension,      // a file was chosen whose extension the command does not take
    CodeLength,          // the code is too short or too long for the protection chosen
    CodeNotLatin1,       // the code holds characters a code kept in the image cannot
    CodeUnusable,        // the code holds characters that could not be typed again
    CodesDiffer,         // the code typed again to seal is not the first one
    Other,               // told in the workflow's own words
    // embed side
    EngineUnavailable, // the engine could not be called; detail holds the system's words, if any
    CropTooSmall,      // the area drawn cannot take the document
    DoesNotFit,        // the document does not fit the image at this crop; detail "length most"
    EngineLimit,       // the engine cannot be told where to work: cause is PixelsLimit,
                       // CropLimit or WidthLimit
    NameNotKept,       // the document's name (about) could not come back as it is
    // extract side
    CannotOpen,          // about could not be opened; the subject, for Task::Open, with errno
                         // in error where there is one
    WorkNotWritten,      // about, in the private work folder, could not be written; error
    WorkNotRead,         // about, in the private work folder, could not be read; error
    NoMemory,            // no memory (or thread) to be had for the strong protection key
    SealTooCheap,        // sealed so cheaply its code could be guessed; detail "KiB passes"
    SealTooCostly,       // opening asks more than any image made here; detail "KiB passes
                         // mostKiB mostPasses"
    SealUnknown,         // sealed in a way this version cannot open
    MemoryShort,         // opening takes more memory than is free; detail "neededKiB freeKiB"
    DocumentChanged,     // about changed while it was being sealed
    NotReadBack,         // the new image does not give the document back; cause says how
    PayloadUnderStealth, // about carries a plain payload, which a Stealth image would show
    TooFewColours,       // about has figure colours, too few to hide Stealth's changes
    NotStealthCarrier,   // about is no 24-bit uncompressed BMP the coder reads
    InvalidFile,         // about is a file the coder cannot follow
    JpegUnreadable,      // about cannot stay a JPEG; cause, why where it is known
    StealthTooLarge,     // the packed document does not fit; detail "length most"
    PictureTooLarge,     // a picture (about) larger than figure pixels a side
    PictureTooDeep,      // converting about needs more memory than figure x figure pixels;
                         // cause Progressive for a progressive JPEG
    TooManyScans,        // about is a JPEG of more scans than figure
    // wipe
    IsLink,     // the file to wipe is a symbolic link
    OtherNames, // the file to wipe has figure names (hard links)
    // choosing a file
    NotBmpFile, // a carrier chosen under a name that does not end in .bmp
    NotShown,   // the picture of the file cannot be shown; detail, the decoder's why if it gave one
    Declined,   // the user answered no, or cancelled, before anything was done: nothing to tell
    // zip
    FolderNotMade, // the unpacking's own folder could not be made in about; error
    NotPacked,     // the zip service did not pack the file; its fault says why, where it said
};

// What the engine, or the zip service, found wrong with the file an outcome is about, when it
// failed.
enum class Fault {
    None,
    CannotOpen,
    Invalid,     // a file it cannot follow; with no file named, a failure it gave no cause for
    CannotWrite, // error ENOSPC where the disk is full, whatever the system called it
    TooLarge,
    CannotRead, // error ENODATA where the file became shorter while it was read
    // The zip service's: its status in figure, the errno behind it in error.
    ZipNotMade, // the archive could not be begun
    NotZip,     // the file is no zip archive
    Zipping,
    Unzipping,
};

// The command an outcome is of: the front ends title and word it by this.
enum class Task {
    None,
    Embed,
    Extract,
    Wipe,
    Zip,
    Unzip,
    Convert,
    Seal,
    // choosing a file
    Open, // a file the user chose is opened: inspected as a carrier, read, or its picture shown
};

// Which of a reason's kinds it is, where the reason has kinds. The front ends word each, and
// decide from this, never from detail, which holds only figures and words from elsewhere (a
// system's, a decoder's), any of which could read like a kind.
enum class Cause {
    None,
    // An extract failed while it unpacked the document: decrypting it, or only unpacking it.
    Decrypting,
    Unzipping,
    // EngineLimit: what lies beyond the engine's 16-bit slots. Where the carrier's pixels start;
    // where the crop starts; the rows of a block, for a crop too narrow for its height.
    PixelsLimit,
    CropLimit,
    WidthLimit,
    // CannotRead of an embed's document. It is no longer what was chosen; or it travels packed
    // only, and packing it failed: strong protection seals an archive, the command asked for it
    // encrypted, the name is one only the archive can keep, it is empty.
    AsChosen,
    SealPacking,
    EncryptPacking,
    NamePacking,
    EmptyPacking,
    // JpegUnreadable: why the JPEG's coefficients do not open. It cannot be read, or is a larger
    // file than kMostJpegFileBytes; it is larger than the coder takes (kMostJpegPixels,
    // kMostJpegFileBytes); it is cut into too many scans; it is arithmetic coded; its compressed
    // data is damaged or cut short.
    JpegUnreadable,
    JpegTooLarge,
    JpegTooManyScans,
    JpegArithmetic,
    JpegDamaged,
    // PictureTooDeep of a progressive JPEG, whose decoding needs more memory.
    Progressive,
    // NotReadBack: how the new image failed to give its document back. Its payload is not read;
    // the seal does not open; the file is no picture; its pixels give nothing back; nothing
    // decodes it; the coder's own check failed; the file differs from what was in memory.
    ReadBackPayload,
    ReadBackSeal,
    ReadBackPicture,
    ReadBackStealth,
    ReadBackNoReader,
    ReadBackCoder,
    ReadBackAsWritten,
    // CodeNeeded, CodesDiffer: the code is a seal's, or Stealth's.
    Sealed,
    Stealth,
};

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
    // The file or folder the reason concerns where it is not the subject: the folder short of
    // space, the file that could not be written.
    QString about;
    // The figure the reason goes with: the free bytes of a folder short of space; for NotCarrier
    // of an embed under way, the CarrierFault of the carrier's compressed pixels, and for one
    // refused before, the carrier's validity (CarrierInspection.h).
    int64_t figure = 0;
    // The reason concerns the private work folder, not a place the user named.
    bool workFolder = false;
    // An engine's failure: what it found wrong with the file named by about, its status (without
    // its sign) in figure.
    Fault fault = Fault::None;
    // The user has been shown why through the UI services already.
    bool told = false;
    Task task = Task::None;
    // Embedded under a code: the image gives the document back only with it.
    bool codeGiven = false;
    // The file the reason kept from being written: a check of it failed.
    QString unwritten;
    // The step that failed where it is a command of its own under this one: a conversion an
    // embed made of its carrier. The front ends word the reason as that command's.
    Task step = Task::None;
    // Which kind of the reason, where it has kinds.
    Cause cause = Cause::None;

    bool done() const { return ending == Ending::Done; }
    // The figures a reason carries in its detail, in order; 0 where one is missing.
    int64_t detailFigure(qsizetype at) const { return detail.split(u' ').value(at).toLongLong(); }

    static Outcome refused(Reason why, const QString& subject, const QString& detail = {}) {
        Outcome outcome;
        outcome.ending = Ending::Refused;
        outcome.reason = why;
        outcome.subject = subject;
        outcome.detail = detail;
        return outcome;
    }
    static Outcome failed(Reason why, const QString& subject, const QString& detail = {}) {
        Outcome outcome = refused(why, subject, detail);
        outcome.ending = Ending::Failed;
        return outcome;
    }
    static Outcome refused(Reason why, const QString& subject, Cause cause) {
        Outcome outcome = refused(why, subject);
        outcome.cause = cause;
        return outcome;
    }
    static Outcome failed(Reason why, const QString& subject, Cause cause) {
        Outcome outcome = failed(why, subject);
        outcome.cause = cause;
        return outcome;
    }
};

// What a command says as it goes on: a step that did not go as asked, and what is done instead.
enum class NoticeKind {
    None,
    // embed side
    StoredUnpacked,    // the document could not be packed, so it is stored as it is
    StoredUnencrypted, // it could not be packed encrypted, so it is stored as it is
    NotSealed,         // it could not be packed for strong protection, so it cannot be sealed
    NotEncrypted,      // it could not be packed encrypted, which the command asked for
    // questions and notices
    StealthAboveRate,     // the document takes more of the image than Stealth recommends;
                          // detail "recommended"
    JpegStealthAboveRate, // the same of a JPEG kept a JPEG; detail "recommended length
                          // nonZeroAc", the document's rate being length over nonZeroAc
    GpsKept,              // the JPEG (subject) names where it was taken, and the new image keeps it
};

struct Notice {
    NoticeKind kind = NoticeKind::None;
    // The file the notice is about.
    QString subject;
    // Why, in the zip service's terms where it gave any, as in an outcome: its fault, its status
    // in figure and the errno behind it in error.
    Fault fault = Fault::None;
    int64_t figure = 0;
    int error = 0;
    // The figures that go with the kind, as in an outcome's detail.
    QString detail{};

    int64_t detailFigure(qsizetype at) const { return detail.split(u' ').value(at).toLongLong(); }
};

// What a command asks the user before it goes on. The answer comes back as the box's button:
// Ok for yes (or the first of two choices), Second for the other choice, Cancel for no.
enum class QuestionKind {
    None,
    SealCostly,     // opening the seal on subject takes more than this version's own images;
                    // detail "KiB passes ownKiB ownPasses"
    KeepAboveRate,  // keep a document that takes more of the image than Stealth recommends?
                    // detail "length recommended"
    KeepAboveJpeg,  // the same of a JPEG kept a JPEG, at its own rate
    DropGps,        // the JPEG (subject) names where it was taken: drop its EXIF and XMP, or
                    // keep it?
    HalfSize,       // convert the photo (subject) at half size, or at full size?
    ConvertPicture, // subject is no BMP: convert it into one?
    ReplaceArchive, // the archive the zip tool makes (subject) exists: replace it?
};

struct Question {
    QuestionKind kind = QuestionKind::None;
    // The file it asks about.
    QString subject;
    // The figures that go with the kind, as in an outcome's detail.
    QString detail{};

    int64_t detailFigure(qsizetype at) const { return detail.split(u' ').value(at).toLongLong(); }
};

} // namespace brindmar
