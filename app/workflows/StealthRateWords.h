#pragma once

#include "protection/JpegStealthFile.h"
#include "protection/StealthImage.h"

#include <QString>
#include <cmath>

namespace brindmar {

// The recommended rates as the texts say them. Both front ends quote the same figures in their
// own sentences, so the figures' words are written once.

// Hidden bits per non-zero AC coefficient at the recommended rate.
inline QString jpegRecommendedRateText() {
    return QString::number(kJpegStealthRecommendedRate);
}

inline QString pixelRateWords() {
    return QStringLiteral("one hidden bit in %1 colour bytes")
        .arg(std::lround(1.0 / kStealthRecommendedRate));
}

inline QString jpegRateWords() {
    return QStringLiteral("%1 hidden bits per non-zero AC coefficient of the JPEG")
        .arg(jpegRecommendedRateText());
}

} // namespace brindmar
