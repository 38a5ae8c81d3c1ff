#include "protection/MatrixCode.h"

#include <algorithm>
#include <sodium.h>

namespace brindmar {

ChangeDirections::ChangeDirections(const unsigned char* key32) {
    std::copy_n(key32, sizeof m_key, m_key);
}

ChangeDirections::~ChangeDirections() {
    sodium_memzero(m_key, sizeof m_key);
    sodium_memzero(m_bits.data(), m_bits.size());
}

void ChangeDirections::refill() {
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    const uint64_t block = m_made / 8 / 64;
    std::fill(m_bits.begin(), m_bits.end(), static_cast<unsigned char>(0));
    crypto_stream_xchacha20_xor_ic(m_bits.data(), m_bits.data(), m_bits.size(), zeroNonce, block,
                                   m_key);
}

void ChangeDirections::change(unsigned char& byte) {
    const uint64_t inBuffer = m_made % (kBuffer * 8);
    if (inBuffer == 0) {
        refill();
    }
    const bool up = ((m_bits[static_cast<size_t>(inBuffer >> 3)] >> (inBuffer & 7)) & 1) != 0;
    ++m_made;
    if (byte == 0 || (up && byte != 255)) {
        ++byte;
    } else {
        --byte;
    }
}

} // namespace brindmar
