#include "EmbedCore.h"

#include "Args.h"
#include "EmbedKernels.h"
#include "Filler.h"

#include <algorithm>
#include <cerrno>

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
    if (c < 0) {
        m_documentEnded = true;
        return 0xFF;
    }
    return static_cast<uint8_t>(c);
}

int PayloadStream::documentFault() const {
    if (m_document.error() != 0) {
        return m_document.error();
    }
    return m_documentEnded ? ENODATA : 0;
}

void PayloadStream::fillPayload(uint8_t* dst, size_t groups) {
    int64_t u = m_u;
    // Header, document and filler all begin and end on group boundaries, so whole stretches
    // can be copied, read or generated at once; the order of the tests is nextPayloadByte's.
    while (groups > 0) {
        size_t count = groups;
        if (u >= m_fillerStart) {
            nextFillerBytes(dst, count);
        } else if (u < m_headerPairs) {
            count = static_cast<size_t>(std::min<int64_t>(
                static_cast<int64_t>(groups), (std::min(m_headerPairs, m_fillerStart) - u) / 4));
            for (size_t i = 0; i < count; ++i) {
                const int64_t index = u / 4 + static_cast<int64_t>(i);
                dst[i] = index >= 0 && index < m_headerLength ? m_header[index] : 0;
            }
        } else {
            count = static_cast<size_t>(
                std::min<int64_t>(static_cast<int64_t>(groups), (m_fillerStart - u) / 4));
            if (m_document.readPadded(dst, count) < count) {
                m_documentEnded = true;
            }
        }
        dst += count;
        groups -= count;
        u += 4 * static_cast<int64_t>(count);
    }
}

void PayloadStream::embed(const uint8_t* carrier, uint8_t* out, size_t n) {
    const auto& table = kCorrection.out;
    size_t k = 0;
    // Finish a payload byte begun before this span.
    for (; k < n && (m_u & 3) != 0; ++k, ++m_u) {
        const auto pair = static_cast<size_t>((m_byte >> (2 * (m_u & 3))) & 3);
        out[k] = table[pair][carrier[k]];
    }
    constexpr size_t kChunkGroups = 4096;
    uint8_t payload[kChunkGroups];
    while (n - k >= 4) {
        const size_t groups = std::min((n - k) / 4, kChunkGroups);
        fillPayload(payload, groups);
        embedGroups(carrier + k, out + k, payload, groups);
        m_byte = payload[groups - 1];
        k += 4 * groups;
        m_u += 4 * static_cast<int64_t>(groups);
    }
    for (; k < n; ++k, ++m_u) {
        if ((m_u & 3) == 0) {
            m_byte = nextPayloadByte();
        }
        const auto pair = static_cast<size_t>((m_byte >> (2 * (m_u & 3))) & 3);
        out[k] = table[pair][carrier[k]];
    }
}

int32_t readFailure(const Reader& carrier, const PayloadStream& payload, int32_t carrierStatus,
                    int32_t documentStatus) {
    if (carrier.error() != 0) {
        return carrierStatus;
    }
    if (const int fault = payload.documentFault(); fault != 0) {
        noteFailure(fault);
        return documentStatus;
    }
    return 0;
}

void embedToOutput(PayloadStream& payload, const uint8_t* colours, size_t n, Writer& out) {
    while (n > 0) {
        size_t room = 0;
        uint8_t* dst = out.reserve(n, room);
        payload.embed(colours, dst, room);
        out.commit(room);
        colours += room;
        n -= room;
    }
}

} // namespace vokb
