#pragma once

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
// The sealed document starts with a fixed 52-byte prelude, then the chunks:
//   0   layout version, 1
//   1   key derivation, 2 (Argon2id 1.3)
//   2   archive bytes per chunk as a power of two
//   3   0
//   4   Argon2 passes, 32-bit little-endian
//   8   Argon2 memory in KiB, 32-bit little-endian
//   12  salt, 16 bytes
//   28  secretstream header, 24 bytes
// Every chunk but the last seals exactly one chunk of the archive and is tagged "message"; the
// last seals the rest (possibly nothing) and is tagged "final". The first chunk's additional
// data is the payload header followed by the prelude, so neither can be altered unnoticed.

// What one guess costs. Stored with every seal, so that a later release can ask more and still
// open what this one made.
struct StrongCost {
    uint32_t passes = 0;
    uint32_t memoryKiB = 0;
    bool operator==(const StrongCost&) const = default;
};

// About a third of a second and 256 MiB for one guess on one core of a current desktop.
inline constexpr StrongCost kDefaultStrongCost{4, 256u * 1024u};
// What an image may ask of the opener: beyond this it is hostile, not careful.
inline constexpr StrongCost kMostStrongCost{16, 1024u * 1024u};

inline constexpr size_t kSealPreludeLength = 52;
inline constexpr size_t kSaltLength = 16;
inline constexpr size_t kStreamHeaderLength = 24;
inline constexpr size_t kChunkOverhead = 17;
inline constexpr uint8_t kDefaultChunkLog2 = 16;

// The length a sealed archive of archiveLength bytes has, with the default chunk size.
int64_t sealedLength(int64_t archiveLength);

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
    size_t size() const { return m_size; }
    bool valid() const { return m_data != nullptr || m_size == 0; }

private:
    void release();
    unsigned char* m_data = nullptr;
    size_t m_size = 0;
    bool m_guarded = false;
};

// The code as the derivation takes it: blanks at its ends dropped, composed to Unicode's normal
// form C (so that the same code typed on another system gives the same bytes), in UTF-8.
SecretBytes codeSecret(const QString& code);

struct SealPrelude {
    uint8_t chunkLog2 = kDefaultChunkLog2;
    StrongCost cost = kDefaultStrongCost;
    std::array<unsigned char, kSaltLength> salt{};
    std::array<unsigned char, kStreamHeaderLength> streamHeader{};
};

// A prelude for a new seal, with a fresh random salt.
SealPrelude freshPrelude(StrongCost cost);
std::array<unsigned char, kSealPreludeLength> encodePrelude(const SealPrelude& prelude);
// nullopt for a layout, derivation, chunk size or cost this reader does not take.
std::optional<SealPrelude> decodePrelude(const unsigned char* bytes, size_t length);

// The 32-byte key for the code; blocking, for as long as the cost says. nullopt when the memory
// the cost asks for cannot be had.
std::optional<SecretBytes> deriveStrongKey(const SecretBytes& code, const SealPrelude& prelude);

enum class SealEnd {
    Done,
    Stopped,
    ReadFailed,
    WriteFailed,
    // The first chunk does not open: the code is not the one sealed with, or the header, the
    // prelude or that chunk were altered, which cannot be told apart.
    WrongCode,
    // A later chunk does not open, is missing, or the stream is cut short or goes on.
    Damaged,
    Unsupported,
};

// Called between chunks; false stops the run.
using KeepGoing = std::function<bool()>;

// Seals all of archive into sealed: the prelude (its stream header filled in here), then the
// chunks. The archive's length must stay what it was when the payload header was made.
SealEnd sealStream(QIODevice& archive, int64_t archiveLength, QIODevice& sealed,
                   std::string_view payloadHeader, const SecretBytes& key, SealPrelude prelude,
                   const KeepGoing& keepGoing = {});

// Opens a sealed document into archive. What it writes is trusted only when it returns Done.
SealEnd openStream(QIODevice& sealed, QIODevice& archive, std::string_view payloadHeader,
                   const SecretBytes& key, const KeepGoing& keepGoing = {});

} // namespace brindmar
