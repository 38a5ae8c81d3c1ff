#pragma once

#include "util/TextIds.h"
#include "workflows/ImageFormat.h"
#include "workflows/Outcome.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brindmar {

struct StealthHeldKey;

// Why a JPEG's coefficients do not open: the kind (one of the Jpeg causes of an outcome), and
// a few words for the status row; none and empty when they do open.
struct JpegFault {
    Cause reason = Cause::None;
    QString brief;
};

// The Stealth figures of a 24-bit carrier, counted from its pixels since the writer changes
// only its dry bytes: the file they were counted for, as it was then, so that a file changed
// since (a work copy made anew under the same name) is counted again.
struct StealthCarrierCount {
    QString path;
    int64_t fileSize = -1;
    int64_t modified = 0; // nanoseconds
    uint64_t identity = 0;
    int64_t most = 0;
    int64_t recommended = 0;
};

// Bits of the window state. Everything from Embedding upwards (with KeepProgress taken off)
// means an operation is running.
namespace state {
inline constexpr uint8_t DocumentChosen = 1;
inline constexpr uint8_t BmpChosen = 2;
inline constexpr uint8_t BmpUsable = 4;
inline constexpr uint8_t PayloadFound = 8;
inline constexpr uint8_t EmbedPossible = 16;
inline constexpr uint8_t Embedding = 32;
inline constexpr uint8_t Extracting = 64;
// The next command refresh leaves the progress bar at its value, so a finished run can show
// its full bar until the user does something else.
inline constexpr uint8_t KeepProgress = 128;
} // namespace state

namespace option {
inline constexpr uint8_t ThumbnailReduced = 1;
inline constexpr uint8_t SubstituteName = 2;
inline constexpr uint8_t JustEmbedded = 4;
inline constexpr uint8_t CodeProtected = 8;
inline constexpr uint8_t ValueChanged = 16;
// The document's name cannot be kept by the payload header: the archive carries it, and the
// header a stand-in.
inline constexpr uint8_t NameInArchive = 32;
} // namespace option

namespace animation {
inline constexpr uint8_t EmbedReady = 1;
inline constexpr uint8_t ExtractReady = 2;
} // namespace animation

namespace pointer {
inline constexpr uint8_t FrameShown = 1;
inline constexpr uint8_t CropShape = 32;
inline constexpr uint8_t Dragging = 64;
inline constexpr uint8_t Adjusted = 128;
} // namespace pointer

namespace packing {
// The stored document is the work archive.
inline constexpr uint8_t Packed = 1;
inline constexpr uint8_t CodeLongEnough = 2;
inline constexpr uint8_t EncryptTicked = 4;
inline constexpr uint8_t EncryptionWanted = 8;
inline constexpr uint8_t PackedEncrypted = 16;
// The work archive is compressed only, and current.
inline constexpr uint8_t PackedCompressed = 32;
// Strong protection is ticked: the archive is sealed at the embed, under a key from the code.
inline constexpr uint8_t StrongWanted = 64;
// The work archive was made to be sealed: its member carries the real name.
inline constexpr uint8_t PackedForSeal = 128;
} // namespace packing

// Help topics the window switches between; the pages shipped beside the program carry the same
// numbers.
namespace topic {
inline constexpr int32_t MainWindow = 3;
inline constexpr int32_t Embed = 5;
inline constexpr int32_t Extract = 6;
inline constexpr int32_t Crop = 7;
inline constexpr int32_t Code = 8;
inline constexpr int32_t OutputFolder = 10;
inline constexpr int32_t BmpInformation = 11;
inline constexpr int32_t FullSizeView = 12;
inline constexpr int32_t Wipe = 13;
inline constexpr int32_t StartValues = 14;
inline constexpr int32_t StepButtons = 16;
inline constexpr int32_t Encrypt = 18;
inline constexpr int32_t Strong = 19;
inline constexpr int32_t Stealth = 20;
} // namespace topic

// The twelve commands, by the index their button and menu item dispatch with.
enum class Command : int {
    ChooseDocument = 0,
    ChooseBmp = 1,
    BmpInformation = 2,
    FullSizeView = 3,
    ChooseOutputFolder = 4,
    Embed = 5,
    Extract = 6,
    Stop = 7,
    Wipe = 8,
    Help = 9,
    Reset = 10,
    Exit = 11,
};
inline constexpr int kCommandCount = 12;
inline constexpr int kCropModeCount = 16;

struct ThumbnailImage;

// Where the keyboard focus is asked to go.
enum class FocusTarget : uint8_t { None, Command, StepButton, CodeBox };

// The crop rectangle, in fractions of the image, origin at the top left of the picture as shown.
struct CropRect {
    float left = 0;
    float width = 1;
    float top = 0;
    float height = 1;
    bool operator==(const CropRect&) const = default;
};

// Encrypt box values.
inline constexpr int kEncryptUnticked = 0;
inline constexpr int kEncryptTicked = 1;
inline constexpr int kEncryptGrey = 2;

// What the window shows. The workflows set it; the window's render applies it to the widgets and
// decides nothing of its own.
struct WindowDisplay {
    QString documentBox;  // the document, or in extract mode the name the payload carries
    QString documentName; // the document path as chosen, which packing reads
    QString documentSize;
    // Shown greyed in the empty document box: how to search the image for a stealth payload.
    QString documentHint;
    // The output row names the extract output folder (see outputIsExtract).
    bool extractOutput = false;
    QString embedMax;
    // Why Embed max. is 0 where the picture alone would not say: a few words for the status row
    // while nothing else is said there, and the whole of it for the tooltips.
    QString embedMaxStatus;
    QString embedMaxNote;
    // Under Stealth: the most that keeps to the recommended rate; empty otherwise.
    QString embedRecommended;
    QString cropPercent;
    QString bmpPath;
    QString outputFolder;
    bool extractLayout = false;

    int encryptBox = kEncryptUnticked;
    bool encryptEnabled = false;
    bool strongBox = false;
    bool strongEnabled = false;
    bool stealthBox = false;
    bool stealthEnabled = false;
    // The crop buttons and menu items; off under Stealth, whose image keeps the carrier's size.
    bool cropEnabled = true;
    bool codeEnabled = true;
    bool codeMasked = false;
    bool maskCodeChecked = false;
    bool keepTimesChecked = false;
    bool soundChecked = false;
    bool soundEnabled = false;

    int progress = 0;
    QString processCaption; // empty: hidden

    // The command surface as the last command refresh (and Reset's own switch) left it.
    std::array<bool, kCommandCount> commandEnabled{true,  true,  true, false, true,  false,
                                                   false, false, true, true,  false, true};
    bool framesEnabled = true;
    std::array<bool, 4> stepEnabled{};
    TextId outputFolderTooltip = TextId::SelectEmbedOutputTooltip;

    // The thumbnail: null for an empty box; placed in twips within the box.
    std::shared_ptr<const ThumbnailImage> thumbnail;
    double thumbnailLeft = 0;
    double thumbnailTop = 0;
    double thumbnailWidth = 0;
    double thumbnailHeight = 0;
    QString invalidBmpText; // empty: hidden
    bool cropFrameVisible = false;
    bool noGoVisible = false;

    FocusTarget focus = FocusTarget::None;
    int focusIndex = 0;
    // Counts focus requests, so that a render moves the focus once per request and never takes
    // it back from where the user put it since.
    uint32_t focusRequests = 0;
};

// The BMP files of the listed folder, ordered by image area.
struct BmpList {
    QString folder; // kept across window resets
    QStringList names;
    // Per position: the sort key (width x height) and the index into names.
    std::vector<std::pair<int64_t, int>> order;
    int position = 0; // 1-based; 0 while nothing is listed

    int count() const { return static_cast<int>(order.size()); }
};

// The state every command of the main window shares. It holds no widget, so the rules that
// decide what the window offers can be exercised without one.
struct WindowModel {
    uint8_t windowState = 0;
    uint8_t optionMarks = 0;
    uint8_t animationMarks = 0;
    uint8_t animationCounter = 0;
    uint8_t packingMarks = 0;
    uint8_t pointerMarks = 0;
    bool stopRequest = false;
    bool codeApplyGuard = false;
    // The new image's format as asked for; otherwise the carrier decides (see ImageFormat.h).
    std::optional<ImageFormat> imageFormat;
    int32_t helpContext = topic::MainWindow;

    // The program-wide sound switch: messages come with their sound when it is on, with beeps
    // otherwise. Whether sound can be heard and whether the user wants it are kept apart, so a
    // missing sound device does not overwrite the user's choice.
    bool soundSwitch = false;
    bool soundCapable = false;
    bool soundWanted = true;

    // Screen geometry the thumbnail is fitted with, fixed at start-up.
    double thumbnailBoxWidth = 0; // twips
    double thumbnailBoxHeight = 0;
    double twipsPerPixelX = 15;
    double twipsPerPixelY = 15;
    double devicePixelRatio = 1;

    // The code as typed; at most 20 characters.
    QString code;
    // The code found in the last payload header read, empty when it had none.
    QString storedCode;
    // The chosen image is sealed with strong protection: its code may be of any script.
    bool payloadSealed = false;
    // Stealth is ticked: the sealed archive is carried by the stealth coder, which implies
    // strong protection and keeps the carrier's size.
    bool stealthWanted = false;
    // The command asked for encryption in so many words: with no one to see a notice and untick
    // the box, a document that cannot be packed encrypted is not embedded at all.
    bool encryptRequired = false;
    // The chosen image is a 24-bit carrier without a plain payload: it can take a stealth
    // payload, or be searched for one with a code.
    bool stealthCandidate = false;
    // The chosen BMP is one the stealth coder cannot read (8-bit, run-length coded) but the
    // picture converter can: under Stealth its 24-bit copy in the private work folder carries.
    bool stealthByConversion = false;
    // Under Stealth a JPEG carrier gives a JPEG: whether it goes without its EXIF (GPS and all);
    // nothing asks the user when the EXIF names a place.
    std::optional<bool> dropJpegMetadata;
    // The Stealth figures of the JPEG at jpegFiguresOf, worked out once a carrier.
    QString jpegFiguresOf;
    int64_t jpegCapacity = 0;
    int64_t jpegRecommended = 0;
    uint64_t jpegNonZeroAc = 0;
    bool jpegGps = false;
    // Why the JPEG's coefficients do not open, in the window's words; empty when they do.
    JpegFault jpegFault;

    // The writer's figures of the 24-bit carrier last counted under Stealth; an empty path
    // when none is.
    StealthCarrierCount stealthCount;

    // The key and salt the last stealth embed derived, while its image is read back as written.
    std::shared_ptr<const StealthHeldKey> stealthKey;
    // The recommended size the user kept the document above, told so at its choice (-1: none):
    // Embed does not say it again for the same carrier's size.
    int64_t stealthAboveRateAgreed = -1;

    // The chosen document and its packed form.
    QString documentPath;
    QString storedDocumentPath;
    int32_t documentLength = 0;
    int32_t payloadLength = 0;
    int16_t nameLength = 0;
    int32_t passwordNumber = 0;
    // The document's date field as read for the encrypted archive's password: the header stores
    // this very reading, since a second one may differ and the archive would never open.
    std::string packedDocumentDate;

    // The chosen carrier.
    int32_t carrierColourBytes = 0;
    uint8_t carrierCheckResult = 0;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    BmpList bmpList;
    // A picture the engine cannot read as it is (a PNG image, a JPEG kept a JPEG) is read through
    // the BMP of its pixels in the private work folder: the picture the user chose, and that work
    // copy while it is the chosen carrier.
    QString decodedPicture;
    QString decodedWorkCopy;
    // The picture the window converted into the BMP carrier convertedBmp: a photo chosen as the
    // carrier gives the format a photo gives, though the engine reads its BMP.
    QString convertedPicture;
    QString convertedBmp;

    int16_t dragAnchorX = 0;
    int16_t dragAnchorY = 0;
    CropRect crop;

    // A stored crop mode above 15 is kept as read (and written back) even though no crop
    // control answers to it.
    uint8_t cropMode = 1;

    // Folders end in the platform separator, except those taken as the user stored them.
    QString documentFolder;
    QString bmpFolder;
    QString embedOutputFolder;
    QString extractOutputFolder;
    QString zipFolder;

    // The document as chosen; survives the window reset while JustEmbedded is set, so that the
    // Wipe command can offer it.
    QString documentPathCopy;

    WindowDisplay display;

    bool operationRunning() const { return (windowState & ~state::KeepProgress) >= 32; }
    bool extractMode() const { return (windowState & state::PayloadFound) != 0; }
    bool hasOption(uint8_t mark) const { return (optionMarks & mark) != 0; }
    bool hasState(uint8_t bit) const { return (windowState & bit) != 0; }
    bool hasPacking(uint8_t mark) const { return (packingMarks & mark) != 0; }

    void setState(uint8_t bit, bool on) { windowState = withBit(windowState, bit, on); }
    void setOption(uint8_t mark, bool on) { optionMarks = withBit(optionMarks, mark, on); }
    void setPacking(uint8_t mark, bool on) { packingMarks = withBit(packingMarks, mark, on); }

    void requestFocus(FocusTarget target, int index = 0) {
        display.focus = target;
        display.focusIndex = index;
        ++display.focusRequests;
    }

private:
    static uint8_t withBit(uint8_t value, uint8_t bit, bool on) {
        return static_cast<uint8_t>(on ? (value | bit) : (value & ~bit));
    }
};

} // namespace brindmar
