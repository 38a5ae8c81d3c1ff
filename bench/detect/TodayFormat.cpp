#include "TodayFormat.h"

#include "EmbedCore.h"

#include <cstdio>
#include <string>

namespace detect {
namespace {

std::string headerOf(Protection protection, size_t documentLength) {
    char numbers[40];
    std::snprintf(numbers, sizeof numbers, "%012zu", documentLength);
    std::string header = "+/VOKE01170+++";
    if (protection == Protection::Strong) {
        header += std::string(28, ' ');
        header += "0     0     0     0     ";
        header += "212   ";
        header += numbers;
        header += "000008document";
    } else {
        // A scrambled code and real dates look like this much printable text.
        header += "KQ7bX2pLm9sT4vW8yZ1cE5gH3jN6";
        header += "23145 41263 23145 41263 ";
        header += "110   ";
        header += numbers;
        header += "000009photo.jpg";
    }
    return header;
}

} // namespace

std::vector<uint8_t> fillerBytes(size_t n) {
    // The engine's generator: a linear congruential step from state 1, one byte from bits 16-23
    // of each state.
    std::vector<uint8_t> bytes(n);
    uint32_t state = 1;
    for (auto& b : bytes) {
        state = state * 214013u + 2531011u;
        b = static_cast<uint8_t>((state >> 16) & 0xFFu);
    }
    return bytes;
}

std::vector<uint8_t> todayPayload(const Tile& tile, Protection protection, double rate,
                                  uint64_t seed) {
    const auto total = static_cast<size_t>(rate * static_cast<double>(tile.colourBytes()) / 8.0);
    const size_t headerGuess = headerOf(protection, 0).size();
    const size_t documentLength = total > headerGuess ? total - headerGuess : 0;
    const std::string header = headerOf(protection, documentLength);
    std::vector<uint8_t> payload(header.begin(), header.end());
    Rng rng(seed);
    const size_t documentStart = payload.size();
    for (size_t i = 0; i < documentLength; ++i) {
        payload.push_back(static_cast<uint8_t>(rng.next() >> 56));
    }
    if (protection == Protection::Strong && documentLength >= 12) {
        // The sealed document's clear prefix: layout 1, Argon2id, 64 KiB chunks, 4 passes,
        // 256 MiB; the salt and the stream header after it are random already.
        const uint8_t prefix[12] = {1, 2, 16, 0, 4, 0, 0, 0, 0, 0, 4, 0};
        std::copy(std::begin(prefix), std::end(prefix), payload.begin() + documentStart);
    }
    return payload;
}

void carryWithFiller(Tile& tile, const std::vector<uint8_t>& payload) {
    const auto& table = vokb::kCorrection.out;
    const size_t rowBytes = static_cast<size_t>(tile.width) * 3;
    const size_t pairs = tile.colourBytes();
    const size_t fillerCount =
        (pairs + 3) / 4 > payload.size() ? (pairs + 3) / 4 - payload.size() : 0;
    const std::vector<uint8_t> filler = fillerBytes(fillerCount);
    size_t u = 0;
    for (int row = tile.height - 1; row >= 0; --row) {
        uint8_t* bytes = tile.bgr.data() + static_cast<size_t>(row) * rowBytes;
        for (size_t k = 0; k < rowBytes; ++k, ++u) {
            const size_t index = u / 4;
            const uint8_t source =
                index < payload.size() ? payload[index] : filler[index - payload.size()];
            const auto pair = static_cast<size_t>((source >> (2 * (u % 4))) & 3u);
            bytes[k] = table[pair][bytes[k]];
        }
    }
}

} // namespace detect
