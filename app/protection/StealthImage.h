#pragma once

#include "protection/StrongSeal.h"

#include <QByteArray>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace brindmar {

// Stealth: the packed archive sealed as strong protection seals it, then carried by ±1 changes
// to pixels (one channel, or all three the other way) along a walk only the code's key can
// retrace, by syndrome-trellis codes on the pixels' sums whose changes go where the picture is
// busy. Nothing in the picture is in clear but the Argon2id salt, itself random bits, carried
// the same way over public pixels, which carry as many of the stream's bits a pixel besides as
// the others do; no byte is changed because of where it sits, and none at 0, at 255 or in a
// flat area. The picture is the colour
// bytes of a 24-bit image in file order, without row padding: width * height * 3 bytes.

// Nothing in the picture can say what a guess costs, so the cost is the format's own.
inline constexpr StrongCost kStealthCost = kDefaultStrongCost;

// The version the writer makes; 5 (the salt on colour bytes) and 4 (the stream on them too) are
// still read.
inline constexpr uint8_t kStealthVersion = 6;
inline constexpr int kHeadLength = 5; // version, then the sealed stream's length
// The head (and version 5's salt) takes this many colour bytes a bit, so that its one-plane code
// changes the picture about as often as the stream's two planes do at the recommended rate.
inline constexpr uint64_t kStealthStepsPerBit = 80;
// Columns of the syndrome-trellis code per hidden bit of the salt and the head, and the pixels
// per bit of the sealed stream (whose two layers each have twice as many; colour bytes in
// version 4): as many as the picture has steps for, up to the most. More columns give the search
// more places to choose from and fewer changes; the search's time grows with them. Past the
// most, a column takes several steps, so that the whole picture still carries the bits. At
// fewer than three, the few wet steps of any photograph (and the salt's and the head's, wet
// for the stream) leave the search no path often enough.
inline constexpr uint32_t kLeastWidth = 3;
inline constexpr uint32_t kMostWidth = 32;

// Up to this share of hidden bits per colour byte, a stealth image is what this program
// recommends: the highest rate at which the colour rich model (an ensemble of Fisher
// discriminants on some 20,000 co-occurrence features of residuals, the colour channels and their
// differences), trained on 300 tiles of photographs halved from their JPEG size and their stealth
// copies, kept its area under the ROC curve at or below 0.60: 0.57 at 0.01, 0.60 at 0.015 and
// 0.61 at 0.02 bits per colour byte (each within about 0.01 over the model's random splits). The
// classifier on SPAM features reached 0.51 at 0.015. Above it the program warns that detection
// gets likelier; the most it embeds is one bit per three pixels.
inline constexpr double kStealthRecommendedRate = 0.015;

// Subkeys of the key derived from the code, with libsodium's crypto_kdf under this context.
inline constexpr char kStealthKdfContext[] = "BMstealt";
// PixelWalk orders the pixels for the stream from version 5, Walk the colour bytes for the head
// (and the version-4 stream).
enum class StealthSubkey : uint64_t {
    Walk = 1,
    Seal = 2,
    Directions = 3,
    Head = 4,
    Code = 5,
    PixelWalk = 6
};

// The trellis code's width for a sealed stream of this length in this picture, as a version
// carries it; 0 when the stream does not fit.
uint32_t stealthWidth(uint64_t sealedLength, uint32_t width, uint32_t height,
                      uint8_t version = kStealthVersion);

// The public pixels that carry the salt (and the stream's tail) in a picture of this size, in
// the order they carry it; none when it takes no stealth payload at all.
std::vector<uint32_t> stealthPublicPixels(uint32_t width, uint32_t height);

// The longest archive a picture of this size takes in stealth; 0 when it takes none.
int64_t stealthCapacity(uint32_t width, uint32_t height);
// The longest archive that keeps to the recommended rate.
int64_t stealthRecommendedCapacity(uint32_t width, uint32_t height);

// The writer's own most, below the reader's, since it never changes a wet byte: the stream's
// bits at most one in kStealthDryStepsPerBit of the dry pixels (those with a channel it may
// move) less the head's and the salt's places; and few enough that the last pass's layers have
// at most kStealthDeadTailBits bits over the pixel walk's tail more than its dry pixels carry at
// that rate, which the bits before them can still make up. Measured with
// bench/stealth_capacity_bench on photographs with flat areas or a clipped top row.
inline constexpr uint64_t kStealthDryStepsPerBit = 4;
inline constexpr uint64_t kStealthDeadTailBits = 4;
// The longest archive the writer carries in a picture of this size and count (StealthWet.h),
// and the longest at the recommended rate, never above it; 0 when it takes none.
struct StealthDryCount;
int64_t stealthWriterCapacity(uint32_t width, uint32_t height, const StealthDryCount& count);
int64_t stealthWriterRecommendedCapacity(uint32_t width, uint32_t height,
                                         const StealthDryCount& count);

enum class StealthStatus {
    Done,
    TooLarge, // the archive does not fit this picture, or too much of it is flat or clipped
    NoMemory, // the key derivation or the coder could not have its memory
    NotFound, // no stealth payload for this code: none at all, or made with another code
    Damaged,  // one for this code whose later part does not open
    Failed,   // the seal could not be made
};

struct StealthEmbedReport {
    StealthStatus status = StealthStatus::Failed;
    uint32_t width = 0;         // the stream's pixels per bit, up to 32: as if one layer carried it
    uint64_t changes = 0;       // colour bytes changed by one
    uint64_t streamChanges = 0; // of them, by pixel moves (the stream's and the public pixels')
    uint64_t streamMoves = 0;   // pixels so moved
    uint64_t streamTriples = 0; // of them, by all three channels
    uint64_t mostChanges = 0;   // at most one per trellis column (a pixel's for the stream)
};

struct StealthExtractReport {
    StealthStatus status = StealthStatus::NotFound;
    QByteArray archive;
};

using StealthSalt = std::array<unsigned char, kSaltLength>;

// The salt as the picture carries it; the reader needs nothing else before the derivation.
// All zero when the picture is too small to carry one.
StealthSalt readStealthSalt(const unsigned char* colour, uint32_t width, uint32_t height);

// With the key already derived (32 bytes) and its salt: for tools that measure embedding alone
// and for callers that derive once. colour is changed in place.
StealthEmbedReport stealthEmbedWithKey(unsigned char* colour, uint32_t width, uint32_t height,
                                       const SecretBytes& key, const StealthSalt& salt,
                                       const QByteArray& archive);
StealthExtractReport stealthExtractWithKey(const unsigned char* colour, uint32_t width,
                                           uint32_t height, const SecretBytes& key);

// Set by tests to one more than a colour byte's number: the embed spoils that colour value
// before it reads the picture back, as a fault in the coder or in memory would, to show that
// such an image is refused rather than handed on. 0 spoils nothing.
inline std::atomic<uint64_t> gStealthSpoilBeforeReadBack{0};

// The key an embed derived and the salt it was derived with, kept so that the image as written
// (a PNG made from it, say) is read back without a second derivation.
struct StealthHeldKey {
    std::optional<SecretBytes> key;
    StealthSalt salt{};
};

// From the code: a fresh salt and one derivation at cost (the format's own unless a test
// lowers it), during which the other cores price the carrier. The embed reads the picture back
// with the same key: Done means the archive comes back from it, Failed that it does not (or the
// seal could not be made).
// alongside, when given, runs on a thread of its own while the picture is read back, which only
// reads it meanwhile: the picture is final by then (a writer can take it).
StealthEmbedReport stealthEmbed(unsigned char* colour, uint32_t width, uint32_t height,
                                const SecretBytes& code, const QByteArray& archive,
                                StrongCost cost = kStealthCost,
                                const std::function<void()>& alongside = {},
                                StealthHeldKey* held = nullptr);
// The same with a derivation already under way, started before the carrier was read so that the
// read goes on beside it. A refused archive leaves it to finish.
class KeyInFlight;
StealthEmbedReport stealthEmbed(unsigned char* colour, uint32_t width, uint32_t height,
                                KeyInFlight& deriving, const QByteArray& archive,
                                const std::function<void()>& alongside, StealthHeldKey* held);
StealthExtractReport stealthExtract(const unsigned char* colour, uint32_t width, uint32_t height,
                                    const SecretBytes& code, StrongCost cost = kStealthCost);

} // namespace brindmar
