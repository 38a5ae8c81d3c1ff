// The sealed archive must come back byte for byte under the right key, and under anything else
// (another code, an altered byte anywhere, chunks cut, dropped, reordered or added to, another
// payload header) the opener must refuse rather than hand back text it cannot vouch for.
#include "payload/StrongSeal.h"

#include <QBuffer>
#include <QByteArray>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>

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
    QByteArray in = archive;
    QByteArray out;
    QBuffer source(&in);
    QBuffer sink(&out);
    source.open(QIODevice::ReadOnly);
    sink.open(QIODevice::WriteOnly);
    EXPECT_EQ(sealStream(source, archive.size(), sink, kHeader, key, prelude), SealEnd::Done);
    return out;
}

std::pair<SealEnd, QByteArray> unseal(QByteArray sealed, const SecretBytes& key,
                                      const std::string& header = kHeader) {
    QByteArray out;
    QBuffer source(&sealed);
    QBuffer sink(&out);
    source.open(QIODevice::ReadOnly);
    sink.open(QIODevice::WriteOnly);
    const SealEnd end = openStream(source, sink, header, key);
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

TEST_F(StrongSeal, RefusesEveryAlteration) {
    // Three full chunks and a short final one, so that first, middle and last chunks all exist.
    const QByteArray sealed = seal(randomBytes(3 * kChunk + 100, 7), key, prelude);
    const qsizetype chunk0 = kSealPreludeLength;
    const qsizetype chunk1 = chunk0 + kSealedChunk;
    const qsizetype chunk2 = chunk1 + kSealedChunk;
    const qsizetype last = chunk2 + kSealedChunk;
    const auto flip = [](qsizetype at) {
        return [at](QByteArray& b, std::string&) { b[at] = static_cast<char>(b[at] ^ 2); };
    };
    const auto cut = [](qsizetype at) {
        return [at](QByteArray& b, std::string&) { b.truncate(at); };
    };
    const struct {
        const char* what;
        std::function<void(QByteArray&, std::string&)> alter;
        SealEnd expected;
    } cases[] = {
        {"layout version", flip(0), SealEnd::Unsupported},
        {"derivation", flip(1), SealEnd::Unsupported},
        {"chunk size", flip(2), SealEnd::WrongCode},
        {"reserved byte", flip(3), SealEnd::Unsupported},
        {"passes", flip(4), SealEnd::WrongCode},
        {"memory", flip(8), SealEnd::WrongCode},
        {"salt", flip(12 + 15), SealEnd::WrongCode},
        {"stream header", flip(28), SealEnd::WrongCode},
        {"stream header end", flip(51), SealEnd::WrongCode},
        {"first chunk", flip(chunk0 + 1000), SealEnd::WrongCode},
        {"middle chunk", flip(chunk1 + 5), SealEnd::Damaged},
        {"final chunk tag", flip(last), SealEnd::Damaged},
        {"final chunk last byte", flip(sealed.size() - 1), SealEnd::Damaged},
        {"cut inside the prelude", cut(30), SealEnd::Damaged},
        {"cut after the prelude", cut(chunk0), SealEnd::Damaged},
        {"cut inside the first chunk", cut(chunk0 + 1000), SealEnd::WrongCode},
        {"cut to a stub of a chunk", cut(chunk1 + 10), SealEnd::Damaged},
        {"final chunk removed", cut(last), SealEnd::Damaged},
        {"last byte removed", cut(sealed.size() - 1), SealEnd::Damaged},
        {"middle chunk dropped",
         [&](QByteArray& b, std::string&) { b.remove(chunk1, kSealedChunk); }, SealEnd::Damaged},
        {"chunks swapped",
         [&](QByteArray& b, std::string&) {
             const QByteArray second = b.mid(chunk1, kSealedChunk);
             b.replace(chunk1, kSealedChunk, b.mid(chunk2, kSealedChunk));
             b.replace(chunk2, kSealedChunk, second);
         },
         SealEnd::Damaged},
        {"trailing byte", [](QByteArray& b, std::string&) { b.append('\0'); }, SealEnd::Damaged},
        {"payload header", [](QByteArray&, std::string& h) { h[3] ^= 1; }, SealEnd::WrongCode},
    };
    for (const auto& c : cases) {
        QByteArray altered = sealed;
        std::string header = kHeader;
        c.alter(altered, header);
        EXPECT_EQ(unseal(altered, key, header).first, c.expected) << c.what;
    }
}

TEST_F(StrongSeal, OpensOnlyWithTheCodeItWasSealedWith) {
    const QByteArray archive = randomBytes(kChunk + 3, 3);
    const QByteArray sealed = seal(archive, key, prelude);
    // The opener knows only what the image holds: the cost and salt come from the prelude.
    const std::optional<SealPrelude> stored = decodePrelude(
        reinterpret_cast<const unsigned char*>(sealed.constData()), kSealPreludeLength);
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
    const auto encoded = encodePrelude(freshPrelude(kCheap));
    ASSERT_TRUE(decodePrelude(encoded.data(), encoded.size()).has_value());
    EXPECT_FALSE(decodePrelude(encoded.data(), encoded.size() - 1).has_value());
    // {offset, value, width in bytes}: no pass, 17 passes, 7 KiB, 1 GiB + 1 KiB, 512-byte and
    // 2 MiB chunks.
    const struct {
        size_t at;
        uint32_t value;
        int width;
    } cases[] = {{4, 0, 4}, {4, 17, 4}, {8, 7, 4}, {8, 1024 * 1024 + 1, 4}, {2, 9, 1}, {2, 21, 1}};
    for (const auto& c : cases) {
        auto bytes = encoded;
        for (int i = 0; i < c.width; ++i) {
            bytes[c.at + i] = static_cast<unsigned char>(c.value >> (8 * i));
        }
        EXPECT_FALSE(decodePrelude(bytes.data(), bytes.size()).has_value())
            << c.at << ' ' << c.value;
    }
}

TEST(StrongSealCode, DropsBlanksAtTheEndsAndComposes) {
    // A tab is part of the code; a decomposed accent is the same code as the composed one.
    const std::pair<const char16_t*, std::string> cases[] = {
        {u"  code  ", "code"},
        {u"code\t", "code\t"},
        {u"e\u0301t\u00e9", "\xc3\xa9t\xc3\xa9"},
        {u" \u00e9te\u0301 ", "\xc3\xa9t\xc3\xa9"},
    };
    for (const auto& [typed, derivedFrom] : cases) {
        EXPECT_EQ(bytesOf(codeSecret(QString::fromUtf16(typed))), derivedFrom) << derivedFrom;
    }
}

} // namespace
