#include "workflows/DecodedPicture.h"

#include "util/PathHelpers.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CropChoice.h"
#include "workflows/ImageFormat.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/PictureConversion.h"
#include "workflows/WindowReset.h"
#include "workflows/WipeCommand.h"

#include <QFileInfo>

namespace brindmar {

std::optional<QString> DecodePicture(WorkflowContext& ctx, const QString& picture) {
    // A work file of the same name left by an earlier choice would be asked about as if it
    // were the user's.
    const QString work = convertedBmpPath(picture, ctx.temporaryFolder);
    if (QFileInfo::exists(work)) {
        DiscardWorkFile(ctx, work);
    }
    return ConvertPictureFile(ctx, picture, ctx.temporaryFolder);
}

QString shownImagePath(const WindowModel& model) {
    const QString& chosen = model.display.bmpPath;
    return !model.decodedWorkCopy.isEmpty() && chosen == model.decodedWorkCopy
               ? model.decodedPicture
               : chosen;
}

void ReleaseDecodedPicture(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    if (!m.decodedWorkCopy.isEmpty() && QFileInfo::exists(m.decodedWorkCopy)) {
        DiscardWorkFile(ctx, m.decodedWorkCopy);
    }
    m.decodedWorkCopy.clear();
    m.decodedPicture.clear();
}

bool takenAsImage(const QString& path) {
    QString name = path;
    return ExtensionOf(name).toLower() == u"bmp" || sniffImageFormat(path) == ImageFormat::Png;
}

void TakeImage(WorkflowContext& ctx, const QString& path) {
    ReleaseDecodedPicture(ctx);
    int readError = 0;
    const std::optional<ImageFormat> format = sniffImageFormat(path, &readError);
    if (readError != 0) {
        // Not knowing what the file is, the program must not call it something it is not.
        ctx.conclude(openFailure(Reason::CannotRead, path, readError));
        ctx.render();
        return;
    }
    if (format == ImageFormat::Png) {
        TakeDecodedPicture(ctx, path);
        return;
    }
    TakeBmp(ctx, path);
}

void TakeDecodedPicture(WorkflowContext& ctx, const QString& picture) {
    ReleaseDecodedPicture(ctx);
    WindowModel& m = ctx.model;
    QString named = picture;
    m.bmpFolder = FolderOf(named);
    const std::optional<QString> work = DecodePicture(ctx, picture);
    if (!work) {
        ctx.render();
        return;
    }
    m.decodedPicture = picture;
    m.decodedWorkCopy = *work;
    m.display.bmpPath = *work;
    m.carrierColourBytes = 0;
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    InspectCarrier(ctx, inspect::Evaluate, *work);
    // The work folder is no folder to step through: the picture is the list's only image.
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
    // A picture without a plain payload may still hold a stealth one, which only its code can
    // tell: it is said to carry nothing only once a search with the code has found nothing.
}

void ChoosePicture(WorkflowContext& ctx, const QString& picture) {
    if (ctx.pictures != nullptr && !ctx.model.operationRunning() &&
        jpegKeptAtChoice(ctx.model, picture)) {
        if (codeCheck(ctx)) {
            TakeDecodedPicture(ctx, picture);
        }
        ctx.render();
        return;
    }
    OfferConversion(ctx, picture);
}

} // namespace brindmar
