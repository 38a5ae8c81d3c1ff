#include "protection/StrongSeal.h"

#include "payload/CodeText.h"
#include "protection/WipeBytes.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <sodium.h>
#include <string>
#include <utility>
#include <vector>

namespace brindmar {

namespace {

constexpr uint8_t kArgon2id13 = 2;
constexpr uint8_t kSmallestChunkLog2 = 10;
constexpr uint8_t kLargestChunkLog2 = 20;
constexpr size_t kKeyLength = crypto_secretstream_xchacha20poly1305_KEYBYTES;
constexpr uint32_t kLeastMemoryKiB = crypto_pwhash_MEMLIMIT_MIN / 1024;

static_assert(kStreamHeaderLength == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kChunkOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(kSaltLength == crypto_pwhash_SALTBYTES);
static_assert(kArgon2id13 == crypto_pwhash_ALG_ARGON2ID13);
static_assert(kKeyCommitmentLength == crypto_generichash_BYTES);
static_assert(kSealPreludeLength == kSealPreludeLengthV1 + kKeyCommitmentLength);

// What the commitment hashes under the key: fixed, so that it says nothing but "this key".
constexpr std::string_view kCommitmentLabel = "BrindMar strong protection key commitment";
// Enough of the derivation thread's stack to cover what Argon2 and BLAKE2b leave there.
constexpr size_t kDerivationStackBytes = 64 * 1024;

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

void putLe32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

uint32_t le32(const unsigned char* at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(at[i]) << (8 * i);
    }
    return value;
}

// Reads until count bytes or the end; QIODevice::read may return less than there is.
int64_t readUpTo(QIODevice& in, unsigned char* into, int64_t count) {
    int64_t got = 0;
    while (got < count) {
        const qint64 n = in.read(reinterpret_cast<char*>(into) + got, count - got);
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

bool writeAll(QIODevice& out, const unsigned char* bytes, int64_t count) {
    return out.write(reinterpret_cast<const char*>(bytes), count) == count;
}

// A secretstream state that leaves nothing of the key behind.
struct StreamState {
    crypto_secretstream_xchacha20poly1305_state state{};
    ~StreamState() { sodium_memzero(&state, sizeof state); }
};

// Plain text buffers are wiped before they are given back.
struct WipedBuffer {
    std::vector<unsigned char> bytes;
    explicit WipedBuffer(size_t size) : bytes(size) {}
    ~WipedBuffer() { sodium_memzero(bytes.data(), bytes.size()); }
};

std::string additionalData(std::string_view payloadHeader, const unsigned char* prelude,
                           size_t length) {
    std::string ad(payloadHeader);
    ad.append(reinterpret_cast<const char*>(prelude), length);
    return ad;
}

bool costWithin(const StrongCost& cost, const StrongCostBounds& bounds) {
    return cost.passes >= std::max<uint32_t>(bounds.least.passes, 1) &&
           cost.passes <= bounds.most.passes &&
           cost.memoryKiB >= std::max(bounds.least.memoryKiB, kLeastMemoryKiB) &&
           cost.memoryKiB <= bounds.most.memoryKiB;
}

} // namespace

int64_t sealedLength(int64_t archiveLength) {
    constexpr int64_t chunk = int64_t{1} << kDefaultChunkLog2;
    return static_cast<int64_t>(kSealPreludeLength) + archiveLength +
           static_cast<int64_t>(kChunkOverhead) * (archiveLength / chunk + 1);
}

int64_t longestSealedArchive(uint64_t sealedLimit) {
    sealedLimit = std::min<uint64_t>(sealedLimit, std::numeric_limits<uint32_t>::max());
    if (static_cast<uint64_t>(sealedLength(0)) > sealedLimit) {
        return 0;
    }
    int64_t low = 0;
    auto high = static_cast<int64_t>(sealedLimit);
    while (low < high) {
        const int64_t middle = low + (high - low + 1) / 2;
        if (static_cast<uint64_t>(sealedLength(middle)) <= sealedLimit) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

StrongCostBounds boundsForWriter(StrongCost written) {
    StrongCostBounds bounds;
    bounds.least.passes = std::min(bounds.least.passes, written.passes);
    bounds.least.memoryKiB = std::min(bounds.least.memoryKiB, written.memoryKiB);
    bounds.most.passes = std::max(bounds.most.passes, written.passes);
    bounds.most.memoryKiB = std::max(bounds.most.memoryKiB, written.memoryKiB);
    return bounds;
}

SecretBytes::SecretBytes(size_t size) : m_size(size) {
    if (size == 0) {
        return;
    }
    if (sodiumReady()) {
        m_data = static_cast<unsigned char*>(sodium_malloc(size));
        m_guarded = m_data != nullptr;
    }
    if (m_data == nullptr) {
        // No guarded pages to be had: ordinary memory, still locked where allowed and wiped.
        m_data = new (std::nothrow) unsigned char[size];
        if (m_data != nullptr) {
            sodium_mlock(m_data, size);
        } else {
            m_size = 0;
            m_failed = true;
        }
    }
}

SecretBytes::~SecretBytes() {
    release();
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : m_data(other.m_data), m_size(other.m_size), m_guarded(other.m_guarded),
      m_failed(other.m_failed) {
    other.m_data = nullptr;
    other.m_size = 0;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_guarded = other.m_guarded;
        m_failed = other.m_failed;
    }
    return *this;
}

void SecretBytes::release() {
    if (m_data == nullptr) {
        return;
    }
    if (m_guarded) {
        sodium_free(m_data); // wipes, unlocks and unmaps
    } else {
        sodium_munlock(m_data, m_size); // wipes before unlocking
        delete[] m_data;
    }
    m_data = nullptr;
    m_size = 0;
}

SecretBytes codeSecret(const QString& code) {
    QString prepared = preparedCode(code);
    QByteArray utf8 = prepared.toUtf8();
    prepared.fill(QChar(u'\0'));
    SecretBytes secret(static_cast<size_t>(utf8.size()));
    if (secret.valid() && secret.size() > 0) {
        std::memcpy(secret.data(), utf8.constData(), secret.size());
    }
    sodium_memzero(utf8.data(), static_cast<size_t>(utf8.size()));
    return secret;
}

size_t preludeLength(const SealPrelude& prelude) {
    return prelude.layout == kSealLayoutPlain ? kSealPreludeLengthV1 : kSealPreludeLength;
}

SealPrelude freshPrelude(StrongCost cost) {
    SealPrelude prelude;
    prelude.cost = cost;
    if (sodiumReady()) {
        randombytes_buf(prelude.salt.data(), prelude.salt.size());
    }
    return prelude;
}

std::array<unsigned char, kSealPreludeLength> encodePrelude(const SealPrelude& prelude) {
    std::array<unsigned char, kSealPreludeLength> bytes{};
    bytes[0] = prelude.layout;
    bytes[1] = kArgon2id13;
    bytes[2] = prelude.chunkLog2;
    bytes[3] = 0;
    putLe32(&bytes[4], prelude.cost.passes);
    putLe32(&bytes[8], prelude.cost.memoryKiB);
    std::copy(prelude.salt.begin(), prelude.salt.end(), bytes.begin() + 12);
    std::copy(prelude.streamHeader.begin(), prelude.streamHeader.end(), bytes.begin() + 28);
    if (prelude.layout != kSealLayoutPlain) {
        std::copy(prelude.commitment.begin(), prelude.commitment.end(),
                  bytes.begin() + kSealPreludeLengthV1);
    }
    return bytes;
}

std::optional<SealPrelude> decodePrelude(const unsigned char* bytes, size_t length,
                                         const StrongCostBounds& bounds) {
    if (length < kSealPreludeLengthV1 ||
        (bytes[0] != kSealLayoutPlain && bytes[0] != kSealLayoutCommitted) ||
        bytes[1] != kArgon2id13 || bytes[2] < kSmallestChunkLog2 || bytes[2] > kLargestChunkLog2 ||
        bytes[3] != 0) {
        return std::nullopt;
    }
    SealPrelude prelude;
    prelude.layout = bytes[0];
    if (length < preludeLength(prelude)) {
        return std::nullopt;
    }
    prelude.chunkLog2 = bytes[2];
    prelude.cost = {le32(&bytes[4]), le32(&bytes[8])};
    if (!costWithin(prelude.cost, bounds)) {
        return std::nullopt;
    }
    std::copy_n(bytes + 12, kSaltLength, prelude.salt.begin());
    std::copy_n(bytes + 28, kStreamHeaderLength, prelude.streamHeader.begin());
    if (prelude.layout != kSealLayoutPlain) {
        std::copy_n(bytes + kSealPreludeLengthV1, kKeyCommitmentLength, prelude.commitment.begin());
    }
    return prelude;
}

std::optional<SecretBytes> deriveStrongKey(const SecretBytes& code, const SealPrelude& prelude) {
    // An empty code, or one whose memory could not be had, would give a key anyone can make.
    if (!code.valid() || code.size() == 0 || code.data() == nullptr) {
        return std::nullopt;
    }
    SecretBytes key(kKeyLength);
    if (!sodiumReady() || !key.valid() || key.size() != kKeyLength) {
        return std::nullopt;
    }
    const int derived =
        crypto_pwhash(key.data(), key.size(), reinterpret_cast<const char*>(code.data()),
                      code.size(), prelude.salt.data(), prelude.cost.passes,
                      size_t{prelude.cost.memoryKiB} * 1024, crypto_pwhash_ALG_ARGON2ID13);
    // Argon2 and BLAKE2b leave copies of the key's material on this thread's stack.
    sodium_stackzero(kDerivationStackBytes);
    if (derived != 0) {
        return std::nullopt;
    }
    return key;
}

std::array<unsigned char, kKeyCommitmentLength> keyCommitment(const SecretBytes& key) {
    std::array<unsigned char, kKeyCommitmentLength> commitment{};
    if (sodiumReady() && key.valid() && key.size() > 0) {
        crypto_generichash(commitment.data(), commitment.size(),
                           reinterpret_cast<const unsigned char*>(kCommitmentLabel.data()),
                           kCommitmentLabel.size(), key.data(), key.size());
    }
    return commitment;
}

SealEnd sealStream(QIODevice& archive, int64_t archiveLength, QIODevice& sealed,
                   std::string_view payloadHeader, const SecretBytes& key, SealPrelude prelude,
                   const KeepGoing& keepGoing) {
    // A chunk size the opener refuses would make a seal no one can open.
    if (!sodiumReady() || !key.valid() || key.size() != kKeyLength || archiveLength < 0 ||
        prelude.chunkLog2 < kSmallestChunkLog2 || prelude.chunkLog2 > kLargestChunkLog2 ||
        (prelude.layout != kSealLayoutPlain && prelude.layout != kSealLayoutCommitted)) {
        return SealEnd::Unsupported;
    }
    StreamState stream;
    crypto_secretstream_xchacha20poly1305_init_push(&stream.state, prelude.streamHeader.data(),
                                                    key.data());
    prelude.commitment = keyCommitment(key);
    const std::array<unsigned char, kSealPreludeLength> head = encodePrelude(prelude);
    const size_t headLength = preludeLength(prelude);
    if (!writeAll(sealed, head.data(), static_cast<int64_t>(headLength))) {
        return SealEnd::WriteFailed;
    }
    const std::string ad = additionalData(payloadHeader, head.data(), headLength);
    const int64_t chunk = int64_t{1} << prelude.chunkLog2;
    WipedBuffer plain(static_cast<size_t>(chunk));
    std::vector<unsigned char> cipher(static_cast<size_t>(chunk) + kChunkOverhead);
    int64_t remaining = archiveLength;
    bool first = true;
    for (;;) {
        // The final chunk is always the short one, so a reader knows it by its length too.
        const bool last = remaining < chunk;
        const int64_t take = last ? remaining : chunk;
        if (readUpTo(archive, plain.bytes.data(), take) != take) {
            return SealEnd::ReadFailed;
        }
        unsigned long long cipherLength = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &stream.state, cipher.data(), &cipherLength, plain.bytes.data(),
            static_cast<unsigned long long>(take),
            first ? reinterpret_cast<const unsigned char*>(ad.data()) : nullptr,
            first ? ad.size() : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                 : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        if (!writeAll(sealed, cipher.data(), static_cast<int64_t>(cipherLength))) {
            return SealEnd::WriteFailed;
        }
        first = false;
        remaining -= take;
        if (last) {
            break;
        }
        if (keepGoing && !keepGoing()) {
            return SealEnd::Stopped;
        }
    }
    // An archive that grew since its length was taken would be sealed only in part.
    unsigned char extra = 0;
    return readUpTo(archive, &extra, 1) == 0 ? SealEnd::Done : SealEnd::ReadFailed;
}

SealEnd openStream(QIODevice& sealed, QIODevice& archive, std::string_view payloadHeader,
                   const SecretBytes& key, const KeepGoing& keepGoing,
                   const StrongCostBounds& bounds) {
    if (!sodiumReady() || !key.valid() || key.size() != kKeyLength) {
        return SealEnd::Unsupported;
    }
    std::array<unsigned char, kSealPreludeLength> head{};
    int64_t headRead = readUpTo(sealed, head.data(), kSealPreludeLengthV1);
    if (headRead == static_cast<int64_t>(kSealPreludeLengthV1) && head[0] != kSealLayoutPlain) {
        const int64_t more = readUpTo(sealed, head.data() + kSealPreludeLengthV1,
                                      kSealPreludeLength - kSealPreludeLengthV1);
        headRead = more < 0 ? more : headRead + more;
    }
    if (headRead < 0) {
        return SealEnd::ReadFailed;
    }
    SealPrelude layout;
    layout.layout = head[0];
    if (headRead < static_cast<int64_t>(kSealPreludeLengthV1) ||
        ((head[0] == kSealLayoutCommitted) &&
         headRead < static_cast<int64_t>(preludeLength(layout)))) {
        return SealEnd::Damaged;
    }
    const std::optional<SealPrelude> prelude =
        decodePrelude(head.data(), static_cast<size_t>(headRead), bounds);
    if (!prelude) {
        return SealEnd::Unsupported;
    }
    const bool committed = prelude->layout == kSealLayoutCommitted;
    if (committed) {
        const auto expected = keyCommitment(key);
        if (sodium_memcmp(expected.data(), prelude->commitment.data(), expected.size()) != 0) {
            return SealEnd::WrongCode;
        }
    }
    // With the key committed to, a chunk that does not open is damage; without, it could as
    // well be another key, and every such failure gets the one answer.
    const SealEnd chunkFailure = committed ? SealEnd::Damaged : SealEnd::WrongCode;
    StreamState stream;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&stream.state, prelude->streamHeader.data(),
                                                        key.data()) != 0) {
        return chunkFailure;
    }
    const std::string ad = additionalData(payloadHeader, head.data(), preludeLength(*prelude));
    const int64_t fullChunk = (int64_t{1} << prelude->chunkLog2) + kChunkOverhead;
    std::vector<unsigned char> cipher(static_cast<size_t>(fullChunk));
    WipedBuffer plain(static_cast<size_t>(fullChunk));
    bool first = true;
    for (;;) {
        const int64_t got = readUpTo(sealed, cipher.data(), fullChunk);
        if (got < 0) {
            return SealEnd::ReadFailed;
        }
        if (got < static_cast<int64_t>(kChunkOverhead)) {
            return chunkFailure; // cut short before its final chunk
        }
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(
                &stream.state, plain.bytes.data(), &plainLength, &tag, cipher.data(),
                static_cast<unsigned long long>(got),
                first ? reinterpret_cast<const unsigned char*>(ad.data()) : nullptr,
                first ? ad.size() : 0) != 0) {
            return chunkFailure;
        }
        const bool last = got < fullChunk;
        const unsigned char expected = last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                            : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        if (tag != expected) {
            return chunkFailure;
        }
        if (!writeAll(archive, plain.bytes.data(), static_cast<int64_t>(plainLength))) {
            return SealEnd::WriteFailed;
        }
        first = false;
        if (last) {
            break;
        }
        if (keepGoing && !keepGoing()) {
            return SealEnd::Stopped;
        }
    }
    return SealEnd::Done;
}

SealEnd sealBytes(const QByteArray& archive, QByteArray& sealed, std::string_view payloadHeader,
                  const SecretBytes& key, const SealPrelude& prelude) {
    QBuffer source;
    source.setData(archive);
    QBuffer sink(&sealed);
    source.open(QIODevice::ReadOnly);
    sink.open(QIODevice::WriteOnly);
    return sealStream(source, archive.size(), sink, payloadHeader, key, prelude);
}

SealEnd openBytes(const QByteArray& sealed, QByteArray& archive, std::string_view payloadHeader,
                  const SecretBytes& key, const StrongCostBounds& bounds) {
    QBuffer source;
    source.setData(sealed);
    // The opened archive is never longer than the sealed bytes: room for it all now, so that
    // growing never leaves a copy of the plain text behind in freed memory.
    wipeBytes(archive);
    archive.reserve(sealed.size());
    QBuffer sink(&archive);
    source.open(QIODevice::ReadOnly);
    sink.open(QIODevice::WriteOnly);
    return openStream(source, sink, payloadHeader, key, {}, bounds);
}

} // namespace brindmar
