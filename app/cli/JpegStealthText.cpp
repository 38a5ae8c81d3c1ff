#include "cli/JpegStealthText.h"

#include "workflows/StealthRateWords.h"

namespace brindmar::cli {

QString jpegStealthInfoLine(const InfoOutcome& info) {
    QString line = QStringLiteral("Stealth in the JPEG: Embed max. %1 bytes, %2 at the "
                                  "recommended rate (%3 bits per non-zero AC coefficient)")
                       .arg(info.jpegStealthMax)
                       .arg(info.jpegStealthRecommended)
                       .arg(jpegRecommendedRateText());
    if (info.jpegGps) {
        line +=
            QStringLiteral("; its EXIF or XMP holds a GPS position (--strip-metadata drops it)");
    }
    return line;
}

} // namespace brindmar::cli
