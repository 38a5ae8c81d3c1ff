#pragma once

#include "workflows/BmpInformation.h"
#include "workflows/ImageFormat.h"
#include "workflows/Outcome.h"
#include "workflows/WorkflowContext.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace brindmar {

struct PayloadHeaderInfo;

// How the document is protected, and the code that opens it.
struct Protection {
    std::optional<QString> code;
    bool encrypt = false;
    bool strong = false;
    // Implies strong: the sealed document carried so that the image keeps the carrier's size.
    bool stealth = false;
};

// Questions a command may ask (replace a file, go on above a rate, wipe a file) are answered by
// the context's UI services: the user, a terminal's --yes, or a test's script.
struct EmbedRequest {
    QString carrier; // any picture; one that is no BMP is converted first
    QString document;
    QString outputFolder; // ends in a separator
    Protection protection;
    // Nothing: the carrier decides (a BMP gives a BMP, any other picture a PNG).
    std::optional<ImageFormat> format;
    uint8_t crop = 0;
    // A picture converted into a carrier is made at half size.
    bool half = false;
    bool keepTimes = false;
    // Under Stealth a JPEG carrier stays a JPEG: whether it loses its EXIF. Nothing asks the
    // user when the EXIF names a place.
    std::optional<bool> stripMetadata;
};

struct ExtractRequest {
    QString image; // a BMP, or a PNG by its content
    QString outputFolder;
    std::optional<QString> code;
};

struct InfoRequest {
    QString image;
    std::optional<QString> code;
};

struct ConvertRequest {
    QString picture;
    QString outputFolder;
    bool half = false;
};

// wipe and zip work on one file the user named.
struct FileRequest {
    QString file;
};

// What embed did besides writing the image: the carrier it converted first, where it did.
struct EmbedOutcome : Outcome {
    bool converted = false;
    // Only a BMP the engine could not take as it was: not the user's picture's format.
    bool convertedBmp = false;
};

// What info found: the header's fields as stored, the carrier's state, and the payload's.
struct InfoOutcome : Outcome {
    // Described by the BMP of its pixels.
    bool png = false;
    bool jpeg = false;
    // No plain payload, and pixels a Stealth payload could hide in.
    bool stealth = false;
    std::array<QString, kBmpInformationFields> fields;
    enum class Carrier { MisNamed, Usable, Convertible, Unusable } carrier = Carrier::Unusable;
    QString embedMax;
    uint8_t validity = 0; // why it cannot carry, when it cannot (CarrierInspection.h)
    // Reason::None when a payload is found; else NoPayload, CodeNeeded or WrongCode.
    Reason payload = Reason::None;
    bool sealed = false;
    QString documentName;
    int64_t documentLength = 0;
    int16_t storage = 0; // the header's status
    bool codeProtected = false;
    // The code opened the document, as extract would: its own name and size are known.
    bool opened = false;
    // A JPEG described with a code: what Stealth takes from it kept a JPEG, -1 otherwise.
    int64_t jpegStealthMax = -1;
    int64_t jpegStealthRecommended = 0;
    bool jpegGps = false;
};

EmbedOutcome Embed(WorkflowContext& ctx, const EmbedRequest& request);
Outcome Extract(WorkflowContext& ctx, const ExtractRequest& request);
InfoOutcome Describe(WorkflowContext& ctx, const InfoRequest& request);
Outcome Convert(WorkflowContext& ctx, const ConvertRequest& request);
Outcome Wipe(WorkflowContext& ctx, const FileRequest& request);
Outcome Zip(WorkflowContext& ctx, const FileRequest& request);

// How a step of a request that gave up on file ended: with the outcome it concluded; else
// stopped, where the user asked to stop; else declined, as the user said no before anything was
// done.
Outcome givenUp(const WorkflowContext& ctx, const QString& file);

// Why no document comes out of an image whose header alone was read: nothing is hidden in it,
// or what is hidden needs a code, or another code than the one given.
Reason noDocumentReason(const PayloadHeaderInfo& payload, const QString& code);

} // namespace brindmar
