#include "payload/SixBitCodec.h"

#include <cstdint>

namespace brindmar {

namespace {

char symbolOf(unsigned value) {
    if (value == 0) {
        return '+';
    }
    if (value <= 11) {
        return static_cast<char>(value + 46);
    }
    if (value <= 37) {
        return static_cast<char>(value + 53);
    }
    return static_cast<char>(value + 59);
}

int valueOf(char symbol) {
    const int code = static_cast<unsigned char>(symbol);
    if (symbol == '+') {
        return 0;
    }
    if (code < 58) {
        return code - 46;
    }
    if (code < 91) {
        return code - 53;
    }
    return code - 59;
}

} // namespace

std::string EncodeSixBit(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    std::string padded(bytes);
    padded.resize((padded.size() + 2) / 3 * 3, ' ');
    std::string out;
    out.reserve(padded.size() / 3 * 4);
    for (size_t i = 0; i < padded.size(); i += 3) {
        const unsigned b0 = static_cast<unsigned char>(padded[i]);
        const unsigned b1 = static_cast<unsigned char>(padded[i + 1]);
        const unsigned b2 = static_cast<unsigned char>(padded[i + 2]);
        out += symbolOf(b0 >> 2);
        out += symbolOf((b0 & 3) * 16 + (b1 >> 4));
        out += symbolOf((b1 & 15) * 4 + (b2 >> 6));
        out += symbolOf(b2 & 63);
    }
    return out;
}

std::string DecodeSixBit(std::string_view text) {
    std::string out;
    out.reserve((text.size() + 3) / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        int s[4] = {0, 0, 0, 0};
        for (size_t k = 0; k < 4 && i + k < text.size(); ++k) {
            s[k] = valueOf(text[i + k]);
        }
        out += static_cast<char>(static_cast<uint8_t>(s[0] * 4 + ((s[1] >> 4) & 3)));
        out += static_cast<char>(static_cast<uint8_t>((s[1] & 15) * 16 + ((s[2] >> 2) & 15)));
        out += static_cast<char>(static_cast<uint8_t>((s[2] & 3) * 64 + s[3]));
    }
    return out;
}

} // namespace brindmar
