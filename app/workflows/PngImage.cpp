#include "workflows/PngImage.h"

#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CropChoice.h"
#include "workflows/ImageFormat.h"
#include "workflows/PictureConversion.h"
#include "workflows/WipeCommand.h"

#include <QFileInfo>

namespace brindmar {

std::optional<QString> DecodePngImage(WorkflowContext& ctx, const QString& png) {
    // A work file of the same name left by an earlier choice would be asked about as if it
    // were the user's.
    const QString work = convertedBmpPath(png, ctx.temporaryFolder);
    if (QFileInfo::exists(work)) {
        DiscardWorkFile(ctx, work);
    }
    return ConvertPictureFile(ctx, png, ctx.temporaryFolder);
}

QString shownImagePath(const WindowModel& model) {
    const QString& chosen = model.display.bmpPath;
    return !model.pngWorkBmp.isEmpty() && chosen == model.pngWorkBmp ? model.pngImage : chosen;
}

void ReleasePngImage(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    if (!m.pngWorkBmp.isEmpty() && QFileInfo::exists(m.pngWorkBmp)) {
        DiscardWorkFile(ctx, m.pngWorkBmp);
    }
    m.pngWorkBmp.clear();
    m.pngImage.clear();
}

bool takenAsImage(const QString& path) {
    QString name = path;
    return ExtensionOf(name).toLower() == u"bmp" || sniffImageFormat(path) == ImageFormat::Png;
}

void TakeImage(WorkflowContext& ctx, const QString& path, bool anyPicture) {
    ReleasePngImage(ctx);
    int readError = 0;
    const std::optional<ImageFormat> format = sniffImageFormat(path, &readError);
    if (readError != 0) {
        // Not knowing what the file is, the program must not call it something it is not.
        ctx.report(Sound::Error, tr(TextId::BmpFileTitle),
                   path + u'\n' + tr(TextId::CannotBeReadSuffix) + systemReason(readError));
        ctx.render();
        return;
    }
    if (format != ImageFormat::Png && !anyPicture) {
        TakeBmp(ctx, path);
        return;
    }
    WindowModel& m = ctx.model;
    QString named = path;
    m.bmpFolder = FolderOf(named);
    const std::optional<QString> work = DecodePngImage(ctx, path);
    if (!work) {
        ctx.render();
        return;
    }
    m.pngImage = path;
    m.pngWorkBmp = *work;
    if (anyPicture) {
        m.convertedPicture = path;
        m.convertedBmp = *work;
    }
    m.display.bmpPath = *work;
    m.carrierColourBytes = 0;
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    InspectCarrier(ctx, inspect::Evaluate, *work);
    // The work folder is no folder to step through: the PNG is the list's only image.
    BmpList& list = m.bmpList;
    list.folder = ctx.temporaryFolder;
    list.names = QStringList{*work};
    list.order = {{bmpListKey(*work), 0}};
    list.position = 1;
    m.display.stepEnabled.fill(false);
    m.display.invalidBmpText.clear();
    m.display.noGoVisible = false;
    hideCropFrame(ctx);
    ShowBmp(ctx);
    ctx.valueChanged();
    ctx.letEventsRun();
    ctx.ui.setMousePointer(MousePointer::Default);
    // A PNG without a plain payload may still hold a stealth one, which only its code can tell:
    // it is said to carry nothing only once a search with the code has found nothing.
}

} // namespace brindmar
