#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace brindmar {

// What a carrier picture was before it became the 24-bit picture the stealth coder changes.
enum class CarrierKind { TrueColour, IndexedBmp, Gif, PalettePng };

// By the file's first bytes, whatever it is called: a BMP of 8 bits or fewer a pixel, a GIF,
// a PNG of colour type 3; anything else, or a file that does not open, is TrueColour.
CarrierKind carrierKindOf(const QString& path);

// The distinct colours among pixels of 3 colour bytes each, counted up to limit, a stretch of
// pixels at a time: a photograph passes the limit within its first rows, so a caller reading
// the picture from a file stops there.
class ColourTally {
public:
    explicit ColourTally(uint32_t limit) : m_limit(limit), m_seen(size_t{1} << 18) {}
    void add(const unsigned char* colour, uint64_t pixels);
    bool full() const { return m_count >= m_limit; }
    // The count when it is below limit, else limit.
    uint32_t count() const { return m_count; }

private:
    uint32_t m_limit;
    uint32_t m_count = 0;
    std::vector<uint64_t> m_seen; // a bit for each of the 2^24 colours
};

uint32_t distinctColours(const unsigned char* colour, uint64_t pixels, uint32_t limit);

// A 24-bit picture with fewer colours than this, each used by more than kPixelsPerFewColour
// pixels on average, is a drawing or a screenshot: measured on photographs posterised to 57 to
// 1,155 colours, ±1 changes at Stealth's rate added 54% to 384% new colours, each a lone
// neighbour of a colour the picture uses widely, where none had been; on photographs of 2,765
// to 220,857 colours they added 4% at most, among many such neighbours already there.
inline constexpr uint32_t kFewestPhotoColours = 2048;
inline constexpr uint64_t kPixelsPerFewColour = 16;

// Whether Stealth must refuse a picture of this kind, colours and pixels: the ±1 changes would
// add colours that a palette cannot have, or that stand out among few.
bool stealthRefusesColours(CarrierKind kind, uint32_t colours, uint64_t pixels);

} // namespace brindmar
