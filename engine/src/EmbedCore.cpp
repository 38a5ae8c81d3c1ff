#include "EmbedCore.h"

#include "Args.h"
#include "Filler.h"

namespace vokb {

PayloadStream::PayloadStream(const char* header, int32_t docLength, Reader& document)
    : m_header(reinterpret_cast<const uint8_t*>(header)), m_headerLength(textLength(header)),
      m_headerPairs((4 * m_headerLength) & 0xFFFF),
      m_fillerStart(m_headerPairs + 4 * static_cast<int64_t>(docLength)), m_document(document) {}

uint8_t PayloadStream::nextPayloadByte() {
    // Filler is tested first: a negative document length makes filler cover even the header.
    if (m_u >= m_fillerStart) {
        return nextFillerByte();
    }
    if (m_u < m_headerPairs) {
        const int64_t index = m_u / 4;
        return index >= 0 && index < m_headerLength ? m_header[index] : 0;
    }
    const int c = m_document.get();
    return c < 0 ? 0xFF : static_cast<uint8_t>(c);
}

void PayloadStream::embed(const uint8_t* carrier, uint8_t* out, size_t n) {
    const auto& table = kCorrection.out;
    size_t k = 0;
    // Finish a payload byte begun before this span.
    for (; k < n && (m_u & 3) != 0; ++k, ++m_u) {
        const auto pair = static_cast<size_t>((m_byte >> (2 * (m_u & 3))) & 3);
        out[k] = table[pair][carrier[k]];
    }
    for (; k + 4 <= n; k += 4, m_u += 4) {
        const uint8_t p = m_byte = nextPayloadByte();
        out[k] = table[p & 3u][carrier[k]];
        out[k + 1] = table[(p >> 2) & 3u][carrier[k + 1]];
        out[k + 2] = table[(p >> 4) & 3u][carrier[k + 2]];
        out[k + 3] = table[(p >> 6) & 3u][carrier[k + 3]];
    }
    for (; k < n; ++k, ++m_u) {
        if ((m_u & 3) == 0) {
            m_byte = nextPayloadByte();
        }
        const auto pair = static_cast<size_t>((m_byte >> (2 * (m_u & 3))) & 3);
        out[k] = table[pair][carrier[k]];
    }
}

} // namespace vokb
