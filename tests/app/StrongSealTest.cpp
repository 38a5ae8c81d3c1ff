// The sealed archive must come back byte for byte under the right key, and under anything else
// (another code, an altered byte anywhere, chunks cut, dropped, reordered or added to, another
// payload header) the opener must refuse rather than hand back text it cannot vouch for.
#include "protection/StrongSeal.h"

#include <QByteArray>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace brindmar;

namespace {

// The least libsodium takes: one pass over 8 KiB, so that each derivation is a millisecond.
constexpr StrongCost kCheap{1, 8};
constexpr int64_t kChunk = int64_t{1} << kDefaultChunkLog2;
constexpr qsizetype kSealedChunk = kChunk + kChunkOverhead;
const std::string kHeader = "BM payload header 0123456789";

QByteArray randomBytes(int64_t size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    for (char& b : bytes) {
        b = static_cast<char>(generator());
    }
    return bytes;
}

SecretBytes keyFor(const QString& code, const SealPrelude& prelude) {
    std::optional<SecretBytes> key = deriveStrongKey(codeSecret(code), prelude);
    EXPECT_TRUE(key.has_value());
    return key ? std::move(*key) : SecretBytes(0);
}

QByteArray seal(const QByteArray& archive, const SecretBytes& key, const SealPrelude& prelude) {
    QByteArray out;
    EXPECT_EQ(sealBytes(archive, out, kHeader, key, prelude), SealEnd::Done);
    return out;
}

std::pair<SealEnd, QByteArray> unseal(const QByteArray& sealed, const SecretBytes& key,
                                      const std::string& header = kHeader) {
    QByteArray out;
    const SealEnd end = openBytes(sealed, out, header, key, boundsForWriter(kCheap));
    return {end, out};
}

std::string bytesOf(const SecretBytes& secret) {
    return {reinterpret_cast<const char*>(secret.data()), secret.size()};
}

class StrongSeal : public ::testing::Test {
protected:
    SealPrelude prelude = freshPrelude(kCheap);
    SecretBytes key = keyFor(QStringLiteral("Tulip-Harbor-42"), prelude);
};

TEST_F(StrongSeal, RoundTripsEveryChunkBoundary) {
    const int64_t randomLength = std::mt19937(2024)() % (5 * kChunk);
    for (const int64_t length :
         {int64_t{0}, int64_t{1}, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk, randomLength}) {
        SCOPED_TRACE(length);
        const QByteArray archive = randomBytes(length, static_cast<unsigned>(length));
        const QByteArray sealed = seal(archive, key, prelude);
        EXPECT_EQ(sealed.size(), sealedLength(length));
        const auto [end, opened] = unseal(sealed, key);
        EXPECT_EQ(end, SealEnd::Done);
        EXPECT_TRUE(opened == archive);
    }
}

struct Alteration {
    const char* what;
    std::function<void(QByteArray&, std::string&)> alter;
    SealEnd committed;            // layout 2
    std::optional<SealEnd> plain; // layout 1; nullopt: it has no such bytes
};

// Three full chunks and a short final one, so that first, middle and last chunks all exist.
// With a commitment, only the commitment tells a wrong key; any other alteration is damage.
// Without one, every failure of a chunk gets the one answer: a crafted image could otherwise ask
// its opener which of several codes it holds.
TEST_F(StrongSeal, RefusesEveryAlteration) {
    const QByteArray archive = randomBytes(3 * kChunk + 100, 7);
    for (const uint8_t layout : {kSealLayoutCommitted, kSealLayoutPlain}) {
        SealPrelude made = prelude;
        made.layout = layout;
        const QByteArray sealed = seal(archive, key, made);
        const qsizetype chunk0 = static_cast<qsizetype>(preludeLength(made));
        const qsizetype chunk1 = chunk0 + kSealedChunk;
        const qsizetype chunk2 = chunk1 + kSealedChunk;
        const qsizetype last = chunk2 + kSealedChunk;
        const auto flip = [](qsizetype at) {
            return [at](QByteArray& b, std::string&) { b[at] = static_cast<char>(b[at] ^ 2); };
        };
        const auto cut = [](qsizetype at) {
            return [at](QByteArray& b, std::string&) { b.truncate(at); };
        };
        const SealEnd W = SealEnd::WrongCode;
        const SealEnd D = SealEnd::Damaged;
        const SealEnd U = SealEnd::Unsupported;
        const Alteration cases[] = {
            {"layout version", flip(0), U, U},
            {"derivation", flip(1), U, U},
            {"chunk size", flip(2), D, W},
            {"reserved byte", flip(3), U, U},
            // The key stays the one given here; an opener that derives it anew gets another
            // key, which the commitment refuses.
            {"passes", flip(4), D, W},
            {"memory", flip(8), D, W},
            {"salt", flip(12 + 15), D, W},
            {"stream header", flip(28), D, W},
            {"stream header end", flip(51), D, W},
            {"first chunk", flip(chunk0 + 1000), D, W},
            {"middle chunk", flip(chunk1 + 5), D, W},
            {"final chunk tag", flip(last), D, W},
            {"final chunk last byte", flip(sealed.size() - 1), D, W},
            {"cut inside the prelude", cut(30), D, D},
            {"cut after the prelude", cut(chunk0), D, W},
            {"cut inside the first chunk", cut(chunk0 + 1000), D, W},
            {"cut to a stub of a chunk", cut(chunk1 + 10), D, W},
            {"final chunk removed", cut(last), D, W},
            {"last byte removed", cut(sealed.size() - 1), D, W},
            {"middle chunk dropped",
             [&](QByteArray& b, std::string&) { b.remove(chunk1, kSealedChunk); }, D, W},
            {"chunks swapped",
             [&](QByteArray& b, std::string&) {
                 const QByteArray second = b.mid(chunk1, kSealedChunk);
                 b.replace(chunk1, kSealedChunk, b.mid(chunk2, kSealedChunk));
                 b.replace(chunk2, kSealedChunk, second);
             },
             D, W},
            {"trailing byte", [](QByteArray& b, std::string&) { b.append('\0'); }, D, W},
            {"payload header", [](QByteArray&, std::string& h) { h[3] ^= 1; }, D, W},
            {"commitment", flip(kSealPreludeLengthV1 + 7), W, {}},
            {"commitment end", flip(kSealPreludeLength - 1), W, {}},
            {"cut inside the commitment", cut(kSealPreludeLengthV1 + 3), D, {}},
        };
        for (const Alteration& c : cases) {
            const std::optional<SealEnd> expected =
                layout == kSealLayoutPlain ? c.plain : c.committed;
            if (!expected) {
                continue;
            }
            QByteArray altered = sealed;
            std::string header = kHeader;
            c.alter(altered, header);
            EXPECT_EQ(unseal(altered, key, header).first, *expected)
                << c.what << " in layout " << int{layout};
        }
    }
}

// Any other key is refused by the commitment alone, before a chunk is tried; a layout 1 seal,
// as images of earlier releases hold, still opens with its key.
TEST_F(StrongSeal, CommitmentTellsTheKeyAndLayoutOneStillOpens) {
    const QByteArray archive = randomBytes(kChunk + 9, 11);
    SealPrelude plain = prelude;
    plain.layout = kSealLayoutPlain;
    const QByteArray old = seal(archive, key, plain);
    EXPECT_EQ(old.size(), sealedLength(archive.size()) - qsizetype{kKeyCommitmentLength});
    const auto [oldEnd, oldOpened] = unseal(old, key);
    EXPECT_EQ(oldEnd, SealEnd::Done);
    EXPECT_TRUE(oldOpened == archive);

    const QByteArray sealed = seal(archive, key, prelude);
    const SecretBytes other = keyFor(QStringLiteral("Anchor-Meadow-17"), prelude);
    const auto [end, opened] = unseal(sealed, other);
    EXPECT_EQ(end, SealEnd::WrongCode);
    EXPECT_TRUE(opened.isEmpty()); // refused before any chunk
    const auto stored = keyCommitment(key);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(stored.data()), qsizetype(stored.size())),
              sealed.mid(qsizetype{kSealPreludeLengthV1}, qsizetype{kKeyCommitmentLength}));
}

TEST_F(StrongSeal, OpensOnlyWithTheCodeItWasSealedWith) {
    const QByteArray archive = randomBytes(kChunk + 3, 3);
    const QByteArray sealed = seal(archive, key, prelude);
    // The opener knows only what the image holds: the cost and salt come from the prelude.
    const std::optional<SealPrelude> stored =
        decodePrelude(reinterpret_cast<const unsigned char*>(sealed.constData()),
                      kSealPreludeLength, boundsForWriter(kCheap));
    ASSERT_TRUE(stored.has_value());
    const std::pair<const char16_t*, SealEnd> cases[] = {
        {u"Tulip-Harbor-42", SealEnd::Done},       {u"  Tulip-Harbor-42 ", SealEnd::Done},
        {u"Anchor-Meadow-17", SealEnd::WrongCode}, {u"tulip-Harbor-42", SealEnd::WrongCode},
        {u"Tulip-Harbor-42!", SealEnd::WrongCode}, {u"Tulip-Harbor-4", SealEnd::WrongCode},
    };
    for (const auto& [code, expected] : cases) {
        const auto [end, opened] = unseal(sealed, keyFor(QString::fromUtf16(code), *stored));
        EXPECT_EQ(end, expected) << QString::fromUtf16(code).toStdString();
        if (end == SealEnd::Done) {
            EXPECT_TRUE(opened == archive);
        }
    }
}

TEST(StrongSealPrelude, RefusesCostsAndChunkSizesOutOfBounds) {
    const auto encoded = encodePrelude(freshPrelude(kDefaultStrongCost));
    ASSERT_TRUE(decodePrelude(encoded.data(), encoded.size()).has_value());
    EXPECT_FALSE(decodePrelude(encoded.data(), encoded.size() - 1).has_value());
    // A cheap seal is below the floor, except for a writer that makes such seals itself.
    const auto cheap = encodePrelude(freshPrelude(kCheap));
    EXPECT_FALSE(decodePrelude(cheap.data(), cheap.size()).has_value());
    EXPECT_TRUE(decodePrelude(cheap.data(), cheap.size(), boundsForWriter(kCheap)).has_value());
    // Each field at the ends of its range and just past them: passes, memory in KiB, chunk size
    // as a power of two, layout.
    const struct {
        size_t at;
        int width; // in bytes
        std::vector<uint32_t> taken, refused;
    } fields[] = {
        {4, 4, {2, 8}, {0, 1, 9, 16}},
        {8, 4, {64 * 1024, 1024 * 1024}, {64 * 1024 - 1, 1024 * 1024 + 1}},
        {2, 1, {10, 20}, {9, 21}},
        {0, 1, {}, {0, 3}},
    };
    for (const auto& field : fields) {
        for (const bool taken : {true, false}) {
            for (const uint32_t value : taken ? field.taken : field.refused) {
                auto bytes = encoded;
                for (int i = 0; i < field.width; ++i) {
                    bytes[field.at + i] = static_cast<unsigned char>(value >> (8 * i));
                }
                EXPECT_EQ(decodePrelude(bytes.data(), bytes.size()).has_value(), taken)
                    << field.at << ' ' << value;
            }
        }
    }
    // Layout 1 has no commitment: 52 bytes are its whole prelude.
    auto old = encoded;
    old[0] = kSealLayoutPlain;
    EXPECT_TRUE(decodePrelude(old.data(), kSealPreludeLengthV1).has_value());
    EXPECT_FALSE(decodePrelude(encoded.data(), kSealPreludeLengthV1).has_value());
}

// No key is made from nothing: not from an empty code, and not from memory that could not be
// had, which once passed for an empty secret.
TEST(StrongSealCode, FailsClosed) {
    const SealPrelude prelude = freshPrelude(kCheap);
    const SecretBytes missing(size_t{1} << 62);
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(missing.size(), 0u);
    EXPECT_FALSE(deriveStrongKey(missing, prelude).has_value());
    EXPECT_FALSE(deriveStrongKey(SecretBytes(0), prelude).has_value());
    EXPECT_FALSE(deriveStrongKey(codeSecret(QStringLiteral(" \u00a0 ")), prelude).has_value());
    EXPECT_TRUE(deriveStrongKey(codeSecret(QStringLiteral("abcdefghij")), prelude).has_value());
}

TEST(StrongSealCode, DropsBlanksAtTheEndsAndComposes) {
    // A no-break space at an end is a blank too; a decomposed accent is the same code as the
    // composed one.
    const std::pair<const char16_t*, std::string> cases[] = {
        {u"  code  ", "code"},
        {u"code\u00a0", "code"},
        {u"e\u0301t\u00e9", "\xc3\xa9t\xc3\xa9"},
        {u" \u00e9te\u0301 ", "\xc3\xa9t\xc3\xa9"},
    };
    for (const auto& [typed, derivedFrom] : cases) {
        EXPECT_EQ(bytesOf(codeSecret(QString::fromUtf16(typed))), derivedFrom) << derivedFrom;
    }
}

} // namespace
