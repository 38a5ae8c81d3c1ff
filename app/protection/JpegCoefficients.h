#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace brindmar {

// A JPEG file taken apart into its quantised DCT coefficients, and put back together without
// ever going through pixels: same size, quantisation tables, sampling, progression and markers,
// so that the only trace of a change is the coefficients changed.
//
// Every file may be hostile. libjpeg reports its errors by a jump out of its own code, which
// lands in the function that called it and skips no destructor (none of ours lies in between);
// it never ends the program. Pictures too large, and progressive files whose scans would make
// the reading take far longer than the file's size warrants, are refused before the work.

// One colour component: its blocks row by row, each block's 64 coefficients in row-major order
// of frequency (index 8 * v + u, 0 the DC one), and the quantisation steps in the same order.
struct JpegComponent {
    uint32_t widthInBlocks = 0;
    uint32_t heightInBlocks = 0;
    std::array<uint16_t, 64> quant{};
    std::vector<int16_t> coefficients;

    uint64_t blocks() const { return uint64_t{widthInBlocks} * heightInBlocks; }
    int16_t* block(uint64_t b) { return coefficients.data() + b * 64; }
    const int16_t* block(uint64_t b) const { return coefficients.data() + b * 64; }
};

// An AC coefficient changed by one must stay within what the entropy coder can write for
// 8-bit samples: magnitudes of ten bits.
inline constexpr int kMostAcMagnitude = 1023;

// Beyond these a file is not read: a picture this large is no photograph, and a progressive
// file with more scans than any encoder writes is built to make the reading slow.
inline constexpr uint64_t kMostJpegPixels = uint64_t{1} << 27;
inline constexpr int kMostJpegScans = 256;
// The blocks all scans together may go through: a camera's progressive file of ten scans needs
// a few per byte, and a flat picture's a few million in all.
inline constexpr uint64_t kJpegScanBlocksFree = uint64_t{1} << 22;
inline constexpr uint64_t kJpegScanBlocksPerByte = 64;
inline constexpr int64_t kMostJpegFileBytes = int64_t{1} << 28;

enum class JpegOpenStatus {
    Done,
    NotJpeg,     // not a JPEG file libjpeg can read, or a damaged or cut one
    TooLarge,    // more pixels or bytes than kMostJpegPixels or kMostJpegFileBytes
    TooManyScans // more than kMostJpegScans scans, or more scan work than the file's size allows
};

// A marker segment the file carries besides the picture's own: APPn and COM, in file order.
struct JpegMarker {
    int code = 0; // 0xE0 to 0xEF, or 0xFE
    QByteArray data;

    bool isExif() const;
    bool isXmp() const;
};

struct JpegWriteOptions {
    // Drop the APP1 segments (EXIF and XMP), the metadata that may name a place and a camera,
    // and whatever follows the picture's end marker, which may hold more of it.
    bool dropMetadata = false;
};

// One file's coefficients, and libjpeg's own state of it, which write() goes through: one
// thread at a time per object.
class JpegCoefficients {
public:
    JpegCoefficients();
    ~JpegCoefficients();
    JpegCoefficients(const JpegCoefficients&) = delete;
    JpegCoefficients& operator=(const JpegCoefficients&) = delete;

    JpegOpenStatus open(const QByteArray& file);

    uint32_t width() const { return m_width; }
    uint32_t height() const { return m_height; }
    bool progressive() const { return m_progressive; }
    std::vector<JpegComponent>& components() { return m_components; }
    const std::vector<JpegComponent>& components() const { return m_components; }
    const std::vector<JpegMarker>& markers() const { return m_markers; }
    // Whether an EXIF segment gives a GPS latitude and longitude.
    bool hasGpsPosition() const;

    // The file with the coefficients as they are now. Huffman tables: a progressive file's are
    // made for its coefficients, as any encoder makes them for progressive scans; a sequential
    // file keeps its own where they still hold every symbol, else gets tables made for it.
    // Empty when libjpeg refused (coefficients out of range).
    QByteArray write(const JpegWriteOptions& options = {}) const;

private:
    struct State;
    QByteArray encode(const JpegWriteOptions& options, bool ownTables) const;
    enum class OwnTables { Kept, KeptIfReadBack, Dropped };
    OwnTables ownTables() const;

    std::unique_ptr<State> m_state;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    bool m_progressive = false;
    std::vector<JpegComponent> m_components;
    std::vector<JpegMarker> m_markers;
};

} // namespace brindmar
