#include "workflows/OutputFormatChoice.h"

#include "util/PathHelpers.h"
#include "workflows/DecodedPicture.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/StealthEmbedding.h"

namespace brindmar {

QString formatChoiceCaption(int index) {
    switch (index) {
    case 1:
        return QStringLiteral("as BMP");
    case 2:
        return QStringLiteral("as PNG");
    default:
        return QStringLiteral("as carrier");
    }
}

int formatChoiceIndex(std::optional<ImageFormat> asked) {
    if (!asked) {
        return 0;
    }
    return *asked == ImageFormat::Bmp ? 1 : 2;
}

void ChooseOutputFormat(WorkflowContext& ctx, int index) {
    WindowModel& m = ctx.model;
    if (m.operationRunning()) {
        ctx.render();
        return;
    }
    m.imageFormat = index == 1   ? std::optional(ImageFormat::Bmp)
                    : index == 2 ? std::optional(ImageFormat::Png)
                                 : std::nullopt;
    // Under Stealth the format decides whether a JPEG carries in its coefficients or in its
    // pixels, and so what fits.
    if (m.stealthWanted && m.hasState(state::BmpUsable)) {
        applyStealthCapacity(m);
        ctx.refresh();
    }
    ctx.render();
}

std::optional<ImageFormat> outputFormatAsked(const WindowModel& model) {
    if (model.imageFormat) {
        return model.imageFormat;
    }
    if (!model.convertedBmp.isEmpty() && model.display.bmpPath == model.convertedBmp) {
        return outputFormatFor(model.convertedPicture, std::nullopt);
    }
    return std::nullopt;
}

QString formatChoiceTooltip(const WindowModel& model) {
    QString tip = QStringLiteral(
        "Format of the new image: as the carrier (a BMP for a BMP carrier, a PNG for any other "
        "picture, and for a BMP converted here from one; under Stealth a JPEG for a JPEG), BMP, or "
        "PNG (lossless; smaller than the BMP by as much as the picture allows)");
    const QString carrier = shownImagePath(model);
    if (jpegStealthCarrier(model)) {
        return tip + QStringLiteral(". With this carrier: JPEG, the document in the photo's own "
                                    "coefficients (safer for a photo than PNG or BMP)");
    }
    if (model.stealthWanted && model.imageFormat && jpegSearchSource(model)) {
        return tip + QStringLiteral(". With this carrier: %1, the document in the pixels of the "
                                    "decoded photo; \"as carrier\" keeps the photo a JPEG, which "
                                    "is safer")
                         .arg(imageFormatName(*model.imageFormat).toUpper());
    }
    if (!model.imageFormat && !carrier.isEmpty()) {
        tip += QStringLiteral(". With this carrier: ") +
               imageFormatName(outputFormatFor(carrier, outputFormatAsked(model))).toUpper();
        // A BMP the user watched being made from a photo still gives the photo's format.
        if (!model.convertedBmp.isEmpty() && model.display.bmpPath == model.convertedBmp) {
            QString picture = model.convertedPicture;
            tip += QStringLiteral(", as for %1, the picture it was converted from; \"as BMP\" "
                                  "keeps a BMP")
                       .arg(FileNameOf(picture));
        }
    }
    return tip;
}

bool formatChoiceEnabled(const WindowModel& model) {
    return !model.operationRunning();
}

QString formatSettingText(std::optional<ImageFormat> asked) {
    return asked ? imageFormatName(*asked) : QStringLiteral("carrier");
}

std::optional<ImageFormat> formatFromSetting(const QString& text) {
    return parseImageFormat(text.trimmed());
}

} // namespace brindmar
