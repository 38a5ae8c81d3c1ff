#pragma once

#include "operations/PictureConverter.h"

#include <cstdint>

namespace brindmar {

// The picture converter over Qt's image reader and the image format plugins: BMP (every header
// and depth, both run-length codings), PNG, JPEG, TIFF, WebP and GIF, judged by content.
// Pictures beyond maxSide pixels on a side are refused before anything is decoded.
class QtPictureConverter final : public PictureConverter {
public:
    static constexpr int32_t kMaxSide = 12000;

    explicit QtPictureConverter(int32_t maxSide = kMaxSide);

    bool canRead(const QString& path) const override;
    PictureConversion convert(const QString& source, const QString& target) const override;
    QString dialogFilter() const override;

    // The reader's allocation limit in megabytes for pictures of up to maxSide x maxSide: room
    // for sixteen bits in each of four channels, the widest the promised formats decode to.
    static int allocationLimitMb(int32_t maxSide);

private:
    int32_t m_maxSide;
};

} // namespace brindmar
