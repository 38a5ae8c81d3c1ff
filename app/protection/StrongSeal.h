#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

class QIODevice;

namespace brindmar {

// Strong protection: the packed archive sealed with XChaCha20-Poly1305 (libsodium's
// secretstream) under a key derived from the code with Argon2id. Neither the code nor anything
// derived from it is stored; the seal itself is the only test of a code.
//
// The sealed document starts with a prelude of 84 bytes (52 in layout 1), then the chunks:
//   0   layout version, 2 (1: no key commitment)
//   1   key derivation, 2 (Argon2id 1.3)
//   2   archive bytes per chunk as a power of two
//   3   0
//   4   Argon2 passes, 32-bit little-endian
//   8   Argon2 memory in KiB, 32-bit little-endian
//   12  salt, 16 bytes
//   28  secretstream header, 24 bytes
//   52  key commitment, 32 bytes: BLAKE2b-256 keyed with the key, over a fixed label (layout 2)
// Every chunk but the last seals exactly one chunk of the archive and is tagged "message"; the
// last seals the rest (possibly nothing) and is tagged "final". The first chunk's additional
// data is the payload header followed by the prelude, so neither can be altered unnoticed.
//
// The cipher does not commit to its key: a crafted first chunk can open under several keys.
// The commitment does, so that a key either is the one sealed with or is refused before any
// chunk is tried, and an opener cannot be made to tell which of several codes its user holds.

// What one guess costs. Stored with every seal, so that a later release can ask more and still
// open what this one made.
struct StrongCost {
    uint32_t passes = 0;
    uint32_t memoryKiB = 0;
    bool operator==(const StrongCost&) const = default;
};

// About a third of a second and 256 MiB for one guess on one core of a current desktop.
inline constexpr StrongCost kDefaultStrongCost{4, 256u * 1024u};
// What an image may ask of the opener: twice what a release writes in each, room for a later
// release to ask more; beyond it an image is hostile, not careful.
inline constexpr StrongCost kMostStrongCost{8, 1024u * 1024u};
// What an image must ask at least: a cheaper one would only make guessing its code cheap.
inline constexpr StrongCost kLeastStrongCost{2, 64u * 1024u};

// The costs an opener takes. A context that seals outside them (tests do) reads its own images
// back: the bounds are widened to what it writes.
struct StrongCostBounds {
    StrongCost least = kLeastStrongCost;
    StrongCost most = kMostStrongCost;
};
StrongCostBounds boundsForWriter(StrongCost written);

inline constexpr uint8_t kSealLayoutPlain = 1;
inline constexpr uint8_t kSealLayoutCommitted = 2;
// The prelude of the layout written now, and of layout 1.
inline constexpr size_t kSealPreludeLength = 84;
inline constexpr size_t kSealPreludeLengthV1 = 52;
inline constexpr size_t kKeyCommitmentLength = 32;
inline constexpr size_t kSaltLength = 16;
inline constexpr size_t kStreamHeaderLength = 24;
inline constexpr size_t kChunkOverhead = 17;
inline constexpr uint8_t kDefaultChunkLog2 = 16;

// The length a sealed archive of archiveLength bytes has, with the default chunk size.
int64_t sealedLength(int64_t archiveLength);
// The longest archive whose seal is at most sealedLimit bytes long; 0 when none fits.
int64_t longestSealedArchive(uint64_t sealedLimit);

// Memory kept out of swap where the system allows it, wiped when it is given back.
class SecretBytes {
public:
    explicit SecretBytes(size_t size);
    ~SecretBytes();
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    unsigned char* data() { return m_data; }
    const unsigned char* data() const { return m_data; }
    // 0 when the memory could not be had.
    size_t size() const { return m_size; }
    // False when the memory asked for could not be had: never a secret shorter than asked.
    bool valid() const { return !m_failed; }

private:
    void release();
    unsigned char* m_data = nullptr;
    size_t m_size = 0;
    bool m_guarded = false;
    bool m_failed = false;
};

// The code as the derivation takes it: prepared (composed to Unicode's normal form C, spaces
// unified, blanks at the ends dropped; see CodeText.h) so that the same code typed on another
// system gives the same bytes, in UTF-8. Not valid when its memory could not be had.
SecretBytes codeSecret(const QString& code);

struct SealPrelude {
    uint8_t layout = kSealLayoutCommitted;
    uint8_t chunkLog2 = kDefaultChunkLog2;
    StrongCost cost = kDefaultStrongCost;
    std::array<unsigned char, kSaltLength> salt{};
    std::array<unsigned char, kStreamHeaderLength> streamHeader{};
    // Filled in by the sealing; layout 2 only.
    std::array<unsigned char, kKeyCommitmentLength> commitment{};
};

// The bytes the prelude takes: kSealPreludeLength, or kSealPreludeLengthV1 for layout 1.
size_t preludeLength(const SealPrelude& prelude);
// A prelude for a new seal, with a fresh random salt.
SealPrelude freshPrelude(StrongCost cost);
// The prelude's bytes; only the first preludeLength(prelude) count.
std::array<unsigned char, kSealPreludeLength> encodePrelude(const SealPrelude& prelude);
// nullopt for a layout, derivation, chunk size or cost this reader does not take, or for fewer
// bytes than the layout's prelude.
std::optional<SealPrelude> decodePrelude(const unsigned char* bytes, size_t length,
                                         const StrongCostBounds& bounds = {});

// The 32-byte key for the code; blocking, for as long as the cost says. nullopt when the memory
// the cost asks for cannot be had, and for an empty or invalid code: no key is ever made from
// nothing.
std::optional<SecretBytes> deriveStrongKey(const SecretBytes& code, const SealPrelude& prelude);
// The commitment a layout 2 prelude stores for the key.
std::array<unsigned char, kKeyCommitmentLength> keyCommitment(const SecretBytes& key);

enum class SealEnd {
    Done,
    Stopped,
    ReadFailed,
    WriteFailed,
    // The key is not the one sealed with (its commitment differs), or the prelude was altered,
    // which cannot be told apart. In layout 1, which commits to nothing, every failure of a
    // chunk: telling them apart there would let a crafted image ask which code its user holds.
    WrongCode,
    // The key is the one committed to, but a chunk does not open, is missing, or the stream is
    // cut short or goes on; or a prelude cut short.
    Damaged,
    Unsupported,
};

// Called between chunks; false stops the run.
using KeepGoing = std::function<bool()>;

// Seals all of archive into sealed: the prelude (its stream header and commitment filled in
// here), then the chunks. The archive's length must stay what it was when the payload header was
// made.
SealEnd sealStream(QIODevice& archive, int64_t archiveLength, QIODevice& sealed,
                   std::string_view payloadHeader, const SecretBytes& key, SealPrelude prelude,
                   const KeepGoing& keepGoing = {});

// Opens a sealed document into archive. What it writes is trusted only when it returns Done.
SealEnd openStream(QIODevice& sealed, QIODevice& archive, std::string_view payloadHeader,
                   const SecretBytes& key, const KeepGoing& keepGoing = {},
                   const StrongCostBounds& bounds = {});

// The same two on bytes in memory: the whole seal into sealed, the whole archive into archive.
SealEnd sealBytes(const QByteArray& archive, QByteArray& sealed, std::string_view payloadHeader,
                  const SecretBytes& key, const SealPrelude& prelude);
SealEnd openBytes(const QByteArray& sealed, QByteArray& archive, std::string_view payloadHeader,
                  const SecretBytes& key, const StrongCostBounds& bounds = {});

} // namespace brindmar
