#pragma once

#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

namespace inspect {
// Reset and recompute the carrier state, look for a payload, update the window.
inline constexpr uint8_t Evaluate = 1;
// Tell the user about an unusable file by message.
inline constexpr uint8_t Report = 2;
} // namespace inspect

// Carrier check results, shown over the thumbnail of an unusable file.
namespace validity {
inline constexpr uint8_t Usable = 0;
inline constexpr uint8_t UnsupportedDepth = 1;
inline constexpr uint8_t Os2Bitmap = 2;
inline constexpr uint8_t NotBmp = 3;
inline constexpr uint8_t Invalid = 4;
inline constexpr uint8_t Unreadable = 5; // a read the disk refused, not a fault of the file
} // namespace validity

// The text shown over the thumbnail of an unusable carrier: the window's browsing shows it, and
// the front ends word a carrier refused for its validity with it.
QString validityText(uint8_t result);

// Why a file the user chose could not be taken, for the front end to tell as the choice is
// under way: a name that says it is no BMP is refused, a file that would not open or read has
// failed (errno in error, where there is one).
inline Outcome openFailure(Reason reason, const QString& path, int error = 0) {
    Outcome outcome = reason == Reason::NotBmpFile ? Outcome::refused(reason, path)
                                                   : Outcome::failed(reason, path);
    outcome.task = Task::Open;
    outcome.error = error;
    return outcome;
}

// No payload fits a carrier below this many colour bytes: the shortest header alone needs it.
inline constexpr int64_t kSmallestCarrier = 381;

struct CarrierFacts {
    int16_t bitCount = 0;
    int32_t compression = 0;
    int32_t dataOffset = 0;
};

// Judges the carrier at path: whether it can be used, its capacity figures, and whether it
// carries a payload that the current code opens (which puts the window into extract mode).
CarrierFacts InspectCarrier(WorkflowContext& ctx, uint8_t mode, QString path);

// Under Stealth, the writer's figures of the 24-bit carrier at path (Embed max. and the
// recommended figure), counted from its pixels once and kept in the model until the carrier or
// its file changes. A large picture is counted while the window keeps answering. False when the
// file cannot be read as a 24-bit carrier, which leaves the model without a count.
bool countStealthCarrier(WorkflowContext& ctx, const QString& path);

// The share of the carrier that may be cropped away with the payload still fitting, capped at
// 99; nullopt when the payload does not fit.
std::optional<int> cropPercentage(int64_t payloadLength, int64_t carrierColourBytes);

} // namespace brindmar
