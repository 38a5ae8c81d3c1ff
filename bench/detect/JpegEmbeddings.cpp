#include "JpegEmbeddings.h"

#include "StealthAdapter.h"

#include "protection/JpegStealth.h"
#include "protection/StealthImage.h"
#include "protection/StrongSeal.h"

namespace detect {

std::optional<QByteArray> jpegStealthTile(const QByteArray& tile, double rate, uint64_t seed,
                                          uint64_t* bits) {
    brindmar::JpegCoefficients jpeg;
    if (jpeg.open(tile) != brindmar::JpegOpenStatus::Done) {
        return std::nullopt;
    }
    Rng rng(seed);
    brindmar::JpegStealthKeys keys;
    for (auto* key : {&keys.walk, &keys.head, &keys.code, &keys.directions}) {
        for (unsigned char& b : *key) {
            b = static_cast<unsigned char>(rng.next());
        }
    }
    const auto length = static_cast<qsizetype>(
        rate * static_cast<double>(brindmar::jpegNonZeroAcCount(jpeg)) / 8.0);
    QByteArray stream(length, Qt::Uninitialized);
    for (char& c : stream) {
        c = static_cast<char>(rng.next());
    }
    if (bits != nullptr) {
        *bits = static_cast<uint64_t>(length) * 8;
    }
    // With a salt, as the program writes: the public coefficients then carry the stream's tail.
    brindmar::JpegStealthSalt salt;
    for (unsigned char& b : salt) {
        b = static_cast<unsigned char>(rng.next());
    }
    if (!brindmar::jpegStealthEmbed(jpeg, keys, stream, salt).done) {
        return std::nullopt;
    }
    QByteArray out = jpeg.write();
    if (out.isEmpty()) {
        return std::nullopt;
    }
    return out;
}

void pixelStealth(Tile& decoded, uint64_t bits, uint64_t seed) {
    Rng rng(seed);
    const StealthInputs in = randomStealthInputs(rng, static_cast<double>(bits));
    embedSeeded(decoded, in, seed);
}

} // namespace detect
