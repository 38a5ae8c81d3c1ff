#pragma once

#include "Streams.h"

#include <array>
#include <cstdint>

namespace vokb {

// Output byte for carrier byte v carrying bit pair b: v's high six bits with b below, moved by 4
// when that lands closer to v, so no colour byte changes by more than 2 except at 0 and 255.
struct CorrectionTable {
    std::array<std::array<uint8_t, 256>, 4> out{};
    constexpr CorrectionTable() {
        for (int b = 0; b < 4; ++b) {
            for (int v = 0; v < 256; ++v) {
                int n = (v & 0xFC) + b;
                const int d = n - v;
                if (d < -2 && n < 252) {
                    n += 4;
                } else if (d > 2 && n > 3) {
                    n -= 4;
                }
                out[static_cast<size_t>(b)][static_cast<size_t>(v)] = static_cast<uint8_t>(n);
            }
        }
    }
};

inline constexpr CorrectionTable kCorrection{};

// The payload stream of one embedding call: header, then document, then filler, addressed by
// bit-pair number u. Bit pairs are numbered across the whole crop, so the caller positions u at
// each row's first colour byte.
class PayloadStream {
public:
    PayloadStream(const char* header, int32_t docLength, Reader& document);

    void setBitPair(int64_t u) { m_u = u; }
    // Replaces the low bits of n colour bytes with the next n bit pairs.
    void embed(const uint8_t* carrier, uint8_t* out, size_t n);
    // Document offset at which the bit pair u begins, for resuming a later block.
    int64_t documentOffsetAt(int64_t u) const { return (u - m_headerPairs) / 4; }
    // Why the payload cannot be trusted: the document's read error, ENODATA when the document
    // ended before docLength bytes (it shrank since its length was taken), else 0.
    int documentFault() const;

private:
    uint8_t nextPayloadByte();
    // Payload bytes for `groups` whole groups of four bit pairs from m_u (a multiple of 4).
    void fillPayload(uint8_t* dst, size_t groups);

    const uint8_t* m_header;
    int64_t m_headerLength;
    int64_t m_headerPairs; // kept to 16 bits, as the stored format has always done
    int64_t m_fillerStart;
    Reader& m_document;
    int64_t m_u = 0;
    uint8_t m_byte = 0;
    bool m_documentEnded = false;
};

// The status of a call whose reads went wrong, or 0: a failed read is never stored as pixels or
// payload, and a document that ended early has changed since its length was taken.
int32_t readFailure(const Reader& carrier, const PayloadStream& payload, int32_t carrierStatus,
                    int32_t documentStatus);

// Embeds n colour bytes straight into the writer's buffer.
void embedToOutput(PayloadStream& payload, const uint8_t* colours, size_t n, Writer& out);

} // namespace vokb
