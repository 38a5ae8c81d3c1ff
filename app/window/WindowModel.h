#pragma once

#include <QString>
#include <cstdint>

namespace brindmar {

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
inline constexpr uint8_t CodeLongEnough = 2;
inline constexpr uint8_t EncryptTicked = 4;
inline constexpr uint8_t EncryptionWanted = 8;
inline constexpr uint8_t PackedEncrypted = 16;
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
    int32_t helpContext = topic::MainWindow;

    // The program-wide sound switch: messages come with their sound when it is on, with beeps
    // otherwise.
    bool soundSwitch = false;

    // The largest size a thumbnail may take, in twips, measured once at start-up.
    double thumbnailBoxWidth = 0;
    double thumbnailBoxHeight = 0;

    // Figures of the chosen document and carrier.
    int32_t documentLength = 0;
    int32_t payloadLength = 0;
    int16_t nameLength = 0;
    int32_t carrierColourBytes = 0;
    uint8_t carrierCheckResult = 0;
    int16_t dragAnchorX = 0;
    int16_t dragAnchorY = 0;

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

    bool operationRunning() const { return (windowState & ~state::KeepProgress) >= 32; }
    bool extractMode() const { return (windowState & state::PayloadFound) != 0; }
    bool hasOption(uint8_t mark) const { return (optionMarks & mark) != 0; }
};

} // namespace brindmar
