#include "protection/JpegMarkers.h"

#include "protection/JpegCoefficients.h"

#include <algorithm>
#include <cstring>

namespace brindmar {

namespace {

constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerEoi = 0xD9;

bool standalone(int marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// The position of the next marker after entropy-coded data from p: a 0xFF that is neither a
// stuffed zero nor a restart marker nor fill.
int64_t afterEntropyData(const unsigned char* bytes, int64_t n, int64_t p) {
    while (p + 1 < n) {
        const void* found = std::memchr(bytes + p, 0xFF, static_cast<size_t>(n - p - 1));
        if (found == nullptr) {
            return n;
        }
        p = static_cast<const unsigned char*>(found) - bytes;
        const int next = bytes[p + 1];
        if (next != 0 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) {
            return p;
        }
        ++p;
    }
    return n;
}

// An EXIF block's numbers in its own byte order, every read checked against the block's end.
class TiffReader {
public:
    TiffReader(const unsigned char* bytes, uint32_t size) : m_bytes(bytes), m_size(size) {}

    bool byteOrder() {
        if (m_size < 8) {
            return false;
        }
        if (m_bytes[0] == 'I' && m_bytes[1] == 'I') {
            m_little = true;
        } else if (m_bytes[0] != 'M' || m_bytes[1] != 'M') {
            return false;
        }
        return u16(2) == 42;
    }
    uint32_t u16(uint32_t at) const {
        if (at > m_size - 2) {
            return 0;
        }
        return m_little ? uint32_t{m_bytes[at]} | uint32_t{m_bytes[at + 1]} << 8
                        : uint32_t{m_bytes[at]} << 8 | uint32_t{m_bytes[at + 1]};
    }
    uint32_t u32(uint32_t at) const {
        if (at > m_size - 4) {
            return 0;
        }
        return m_little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    }
    // The entry of a directory with this tag, or 0 when there is none; the directory's entries
    // are cut to those that lie within the block.
    uint32_t entry(uint32_t directory, uint32_t tag) const {
        if (directory == 0 || directory > m_size - 2) {
            return 0;
        }
        const uint32_t fits = (m_size - directory - 2) / 12;
        const uint32_t count = std::min(u16(directory), fits);
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t at = directory + 2 + 12 * k;
            if (u16(at) == tag) {
                return at;
            }
        }
        return 0;
    }
    // Three rationals (degrees, minutes, seconds) at an entry: a place when every denominator
    // is set and some numerator is.
    bool coordinate(uint32_t at) const {
        constexpr uint32_t kRational = 5;
        if (at == 0 || u16(at + 2) != kRational || u32(at + 4) != 3) {
            return false;
        }
        const uint32_t values = u32(at + 8);
        if (values < 8 || values > m_size - 24) {
            return false;
        }
        bool someNumerator = false;
        for (uint32_t k = 0; k < 3; ++k) {
            someNumerator = someNumerator || u32(values + 8 * k) != 0;
            if (u32(values + 8 * k + 4) == 0) {
                return false;
            }
        }
        return someNumerator;
    }

private:
    const unsigned char* m_bytes;
    uint32_t m_size;
    bool m_little = false;
};

// Whether an XMP packet gives this GPS property a value with a non-zero digit, written either
// as an attribute (exif:GPSLatitude="52,31.2N") or as an element (<exif:GPSLatitude>…<).
bool xmpNamesCoordinate(const QByteArray& packet, const char* property) {
    const QByteArray name(property);
    for (qsizetype at = packet.indexOf(name); at >= 0; at = packet.indexOf(name, at + 1)) {
        qsizetype p = at + name.size();
        while (p < packet.size() && (packet[p] == ' ' || packet[p] == '\t' || packet[p] == '\n' ||
                                     packet[p] == '\r')) {
            ++p;
        }
        char end = '<';
        if (p + 1 < packet.size() && packet[p] == '=' &&
            (packet[p + 1] == '"' || packet[p + 1] == '\'')) {
            end = packet[p + 1];
            p += 2;
        } else if (p < packet.size() && packet[p] == '>') {
            ++p;
        } else {
            continue;
        }
        // A coordinate is a few characters; looking no further keeps a packet of many
        // unterminated names from costing a pass over the rest for each.
        const qsizetype last = std::min(packet.size(), p + 64);
        for (; p < last && packet[p] != end; ++p) {
            if (packet[p] >= '1' && packet[p] <= '9') {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::vector<JpegScan> jpegScans(const QByteArray& file) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.constData());
    const int64_t n = file.size();
    std::vector<JpegScan> scans;
    if (n < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return {};
    }
    int64_t p = 2;
    while (p + 4 <= n) {
        if (bytes[p] != 0xFF) {
            return {};
        }
        if (bytes[p + 1] == 0xFF) {
            ++p;
            continue;
        }
        const int marker = bytes[p + 1];
        p += 2;
        if (marker == kMarkerEoi) {
            break;
        }
        if (standalone(marker)) {
            continue;
        }
        const int64_t length = int64_t{bytes[p]} << 8 | bytes[p + 1];
        if (length < 2 || p + length > n) {
            return {};
        }
        if (marker == kMarkerSos) {
            const int count = length >= 3 ? bytes[p + 2] : 0;
            if (count < 1 || count > 4 || length != 6 + 2 * count ||
                scans.size() >= static_cast<size_t>(kMostJpegScans)) {
                return {};
            }
            JpegScan scan;
            for (int k = 0; k < count; ++k) {
                scan.componentIds.push_back(bytes[p + 3 + 2 * k]);
            }
            const int64_t tail = p + 3 + 2 * count;
            scan.ss = bytes[tail];
            scan.se = bytes[tail + 1];
            scan.ah = bytes[tail + 2] >> 4;
            scan.al = bytes[tail + 2] & 15;
            scans.push_back(std::move(scan));
            p = afterEntropyData(bytes, n, p + length);
            continue;
        }
        p += length;
    }
    return scans;
}

bool exifHasGpsPosition(const QByteArray& app1) {
    static const char kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    if (app1.size() < 6 + 8 || std::memcmp(app1.constData(), kExif, 6) != 0) {
        return false;
    }
    TiffReader checked(reinterpret_cast<const unsigned char*>(app1.constData()) + 6,
                       static_cast<uint32_t>(app1.size() - 6));
    if (!checked.byteOrder()) {
        return false;
    }
    constexpr uint32_t kGpsDirectory = 0x8825;
    constexpr uint32_t kLatitude = 2;
    constexpr uint32_t kLongitude = 4;
    const uint32_t pointer = checked.entry(checked.u32(4), kGpsDirectory);
    if (pointer == 0) {
        return false;
    }
    const uint32_t gps = checked.u32(pointer + 8);
    return checked.coordinate(checked.entry(gps, kLatitude)) &&
           checked.coordinate(checked.entry(gps, kLongitude));
}

bool xmpHasGpsPosition(const QByteArray& app1) {
    static const QByteArray kXmp("http://ns.adobe.com/xap/1.0/", 29);
    static const QByteArray kExtended("http://ns.adobe.com/xmp/extension/", 35);
    if (!app1.startsWith(kXmp) && !app1.startsWith(kExtended)) {
        return false;
    }
    return xmpNamesCoordinate(app1, "GPSLatitude") && xmpNamesCoordinate(app1, "GPSLongitude");
}

} // namespace brindmar
