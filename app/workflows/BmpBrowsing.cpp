#include "workflows/BmpBrowsing.h"

#include "operations/PictureConverter.h"
#include "payload/BmpHeader.h"
#include "payload/BmpThumbnail.h"
#include "payload/CarrierFile.h"
#include "util/PathHelpers.h"
#include "util/SelectFile.h"
#include "util/TrimBlanks.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CropChoice.h"
#include "workflows/DecodedPicture.h"
#include "workflows/PictureConversion.h"
#include "workflows/WindowReset.h"

#include <QDir>
#include <algorithm>
#include <cmath>
#include <limits>

namespace brindmar {

namespace {

QString listedPath(const WindowModel& m) {
    const BmpList& list = m.bmpList;
    if (list.position < 1 || list.position > list.count()) {
        return {};
    }
    return list.names[list.order[static_cast<size_t>(list.position - 1)].second];
}

void setStepButtons(WindowModel& m) {
    const bool notFirst = m.bmpList.position != 1;
    const bool notLast = m.bmpList.position != m.bmpList.count();
    m.display.stepEnabled = {notFirst, notFirst, notLast, notLast};
}

// The ordinary BMP files of the folder, any case of the extension. A chosen file the listing
// leaves out (a hidden one) is added, so that the list always shows the file just inspected.
QStringList bmpFilesOf(const QString& folder, const QString& chosen) {
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.bmp")});
    dir.setFilter(QDir::Files | QDir::Readable | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Name);
    QStringList names;
    for (const QString& name : dir.entryList()) {
        names << folder + name;
    }
    const bool listed = std::any_of(names.begin(), names.end(),
                                    [&](const QString& name) { return name == chosen; });
    QString chosenCopy = chosen;
    if (!listed && !chosen.isEmpty() && FolderOf(chosenCopy) == folder && FileExists(chosen)) {
        names << chosen;
    }
    return names;
}

// The full-size view goes with the picture it would enlarge.
void emptyThumbnail(WindowModel& m) {
    m.display.thumbnail.reset();
    m.setOption(option::ThumbnailReduced, false);
    m.display.commandEnabled[static_cast<size_t>(Command::FullSizeView)] = false;
}

} // namespace

int64_t bmpListKey(const QString& path) {
    const CarrierFile file(path);
    std::array<unsigned char, kBmpHeadersLength> bytes{};
    if (!file.isOpen() || file.readAt(0, bytes.data(), bytes.size()) != bytes.size()) {
        return 0;
    }
    const BmpHeader h = parseBmpHeader(bytes);
    const int64_t area = int64_t{h.width} * h.height;
    if (area > std::numeric_limits<int32_t>::max() || area < std::numeric_limits<int32_t>::min()) {
        return 0;
    }
    return area;
}

ThumbnailFit fitThumbnail(double imageWidth, double imageHeight, double boxWidth,
                          double boxHeight) {
    ThumbnailFit fit;
    if (imageWidth < boxWidth && imageHeight < boxHeight) {
        fit.width = imageWidth;
        fit.height = imageHeight;
        fit.left = (boxWidth - imageWidth) / 2;
        fit.top = (boxHeight - imageHeight) / 2;
        return fit;
    }
    fit.reduced = true;
    if (imageHeight / boxHeight < imageWidth / boxWidth) {
        fit.width = boxWidth;
        fit.height = std::round(imageHeight * boxWidth / imageWidth);
        fit.top = (boxHeight - fit.height) / 2;
    } else {
        fit.height = boxHeight;
        fit.width = std::round(imageWidth * boxHeight / imageHeight);
        fit.left = (boxWidth - fit.width) / 2;
    }
    return fit;
}

void ChooseBmp(WorkflowContext& ctx) {
    if (!codeCheck(ctx)) {
        return;
    }
    WindowModel& m = ctx.model;
    uint8_t status = 0;
    FileDialogRequest request;
    request.title = tr(TextId::SelectBmpDialogTitle);
    // Under Stealth a JPEG stays a JPEG, so it is listed with the carriers taken as they are.
    request.filter = m.stealthWanted ? QStringLiteral(".bmp, .png, .jpg|*.bmp;*.png;*.jpg;*.jpeg")
                                     : QStringLiteral(".bmp, .png|*.bmp;*.png");
    request.initialFolder = m.bmpFolder;
    // A PNG image is read as the BMP of its pixels; a name without an extension is a BMP's.
    QString extension;
    QString path = SelectFile(status, request, extension, ctx.ui);
    if (status < kSelectCancelled) {
        QString named = path;
        const QString given = ExtensionOf(named);
        if (given.isEmpty()) {
            path += path.endsWith(u'.') ? QStringLiteral("bmp") : QStringLiteral(".bmp");
        } else if (given != u"bmp" && given != u"png") {
            // A photo picked here is meant as the carrier: kept a JPEG, or converted.
            if (ctx.pictures != nullptr && ctx.pictures->canRead(path)) {
                ChoosePicture(ctx, path);
                return;
            }
            status = kSelectWrongExtension;
        }
    }
    if (status >= kSelectCancelled) {
        reportSelectionFailure(ctx, status, path);
        return;
    }
    TakeImage(ctx, path);
}

void TakeBmp(WorkflowContext& ctx, QString path) {
    WindowModel& m = ctx.model;
    m.display.bmpPath = path;
    m.bmpFolder = FolderOf(path);
    m.carrierColourBytes = 0;
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    InspectCarrier(ctx, inspect::Evaluate, path);
    BuildBmpList(ctx, m.bmpFolder);
    ctx.valueChanged();
    ctx.letEventsRun();
    ctx.ui.setMousePointer(MousePointer::Default);
}

void BuildBmpList(WorkflowContext& ctx, QString folder) {
    WindowModel& m = ctx.model;
    BmpList& list = m.bmpList;
    const QString chosen = trimBlanks(m.display.bmpPath);
    if (folder == list.folder) {
        // A file that came into the folder after it was listed is not in the list; showing
        // another file than the one just inspected would be wrong, so the folder is listed anew.
        int found = 0;
        for (int position = 1; position <= list.count(); ++position) {
            const int index = list.order[static_cast<size_t>(position - 1)].second;
            if (list.names[index] == chosen) {
                found = position;
            }
        }
        if (found > 0 || chosen.isEmpty()) {
            if (list.count() == 0) {
                return;
            }
            list.position = found > 0 ? found : list.position;
            setStepButtons(m);
            ShowBmp(ctx);
            return;
        }
    }
    list.folder = folder;
    m.display.invalidBmpText.clear();
    hideCropFrame(ctx);
    m.display.noGoVisible = false;
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
    list.names = bmpFilesOf(folder, chosen);
    list.order.clear();
    list.position = 0;
    if (list.names.isEmpty()) {
        emptyThumbnail(m);
        m.display.stepEnabled.fill(false);
        ctx.render();
        return;
    }
    int chosenIndex = -1;
    for (int i = 0; i < list.names.size(); ++i) {
        list.order.emplace_back(bmpListKey(list.names[i]), i);
        if (list.names[i] == chosen) {
            chosenIndex = i;
        }
    }
    std::sort(list.order.begin(), list.order.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    list.position = 1;
    for (int position = 1; position <= list.count(); ++position) {
        if (list.order[static_cast<size_t>(position - 1)].second == chosenIndex) {
            list.position = position;
        }
    }
    setStepButtons(m);
    ShowBmp(ctx);
}

void ShowBmp(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    if (!m.hasState(state::BmpUsable)) {
        shown.noGoVisible = false;
        emptyThumbnail(m);
        if (m.bmpList.count() > 0) {
            shown.bmpPath = listedPath(m);
        }
        ctx.ui.beep(1);
        shown.invalidBmpText = validityText(m.carrierCheckResult);
        // A picture the engine cannot take may still be one the converter reads.
        if (ctx.pictures != nullptr && ctx.pictures->canRead(trimBlanks(shown.bmpPath))) {
            shown.invalidBmpText += QStringLiteral("\n\nFile, Convert picture to BMP... makes "
                                                   "a copy that can be used");
        }
        ctx.render();
        return;
    }
    shown.invalidBmpText.clear();
    const ThumbnailFit fit =
        fitThumbnail(m.twipsPerPixelX * m.imageWidth, m.twipsPerPixelY * m.imageHeight,
                     m.thumbnailBoxWidth, m.thumbnailBoxHeight);
    m.setOption(option::ThumbnailReduced, fit.reduced);
    shown.thumbnailLeft = fit.left;
    shown.thumbnailTop = fit.top;
    shown.thumbnailWidth = fit.width;
    shown.thumbnailHeight = fit.height;

    if (m.bmpList.count() > 0) {
        const QString path = listedPath(m);
        const auto pixels = [&](double twips, double twipsPerPixel) {
            return static_cast<int32_t>(
                std::max(1.0, std::round(twips / twipsPerPixel * m.devicePixelRatio)));
        };
        DrawFailure error;
        std::optional<ThumbnailImage> picture =
            decodeBmpThumbnail(path, pixels(fit.width, m.twipsPerPixelX),
                               pixels(fit.height, m.twipsPerPixelY), &error);
        if (!picture) {
            // A picture's work copy is no name the user knows.
            concludeNotShown(ctx, m.decodedPicture.isEmpty() ? path : m.decodedPicture, error);
            WindowReset(ctx);
            return;
        }
        shown.thumbnail = std::make_shared<const ThumbnailImage>(std::move(*picture));
        shown.bmpPath = path;
    }
    const uint8_t ws = m.windowState;
    shown.commandEnabled[static_cast<size_t>(Command::FullSizeView)] =
        m.hasOption(option::ThumbnailReduced) && ws >= 2 && ws <= 31;
    if ((ws & (state::PayloadFound | state::EmbedPossible)) == state::EmbedPossible) {
        PlaceCropFrame(m);
    } else {
        hideCropFrame(ctx);
    }
    updateNoGoSign(m);
    ctx.render();
}

void StepThroughBmps(WorkflowContext& ctx, int index) {
    WindowModel& m = ctx.model;
    BmpList& list = m.bmpList;
    if (index < 0 || index > 3 || list.count() == 0) {
        return;
    }
    m.display.progress = 0;
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    if (!codeCheck(ctx)) {
        ctx.ui.setMousePointer(MousePointer::Default);
        return;
    }
    switch (static_cast<StepButton>(index)) {
    case StepButton::First:
        list.position = 1;
        break;
    case StepButton::Previous:
        list.position = std::max(1, list.position - 1);
        break;
    case StepButton::Next:
        list.position = std::min(list.count(), list.position + 1);
        break;
    case StepButton::Last:
        list.position = list.count();
        break;
    }
    const QString path = listedPath(m);
    m.display.bmpPath = path;
    InspectCarrier(ctx, inspect::Evaluate, path);
    ShowBmp(ctx);
    setStepButtons(m);
    if (list.position == 1) {
        m.requestFocus(FocusTarget::StepButton, static_cast<int>(StepButton::Next));
    }
    if (list.position == list.count()) {
        m.requestFocus(FocusTarget::StepButton, static_cast<int>(StepButton::Previous));
    }
    ctx.letEventsRun();
    ctx.ui.setMousePointer(MousePointer::Default);
}

} // namespace brindmar
