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
    PictureConversion convertUnlessStopped(const QString& source, const QString& target,
                                           const std::atomic<bool>& stop,
                                           bool half = false) const override;
    bool isJpeg(const QString& path) const override;
    QString dialogFilter() const override;

    // What a decoded picture of up to maxSide x maxSide may take: four bytes a pixel, what the
    // carrier writer reads. A picture the decoder would hold at sixteen bits a channel, or a
    // progressive JPEG whose coefficients come on top, is refused beyond it rather than
    // let the conversion grow past the memory of an ordinary picture of the largest size.
    static int64_t decodeBudgetBytes(int32_t maxSide);
    // The reader's allocation limit in megabytes, the same budget.
    static int allocationLimitMb(int32_t maxSide);

private:
    int32_t m_maxSide;
};

} // namespace brindmar
