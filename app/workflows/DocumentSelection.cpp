#include "workflows/DocumentSelection.h"

#include "operations/DiskSpace.h"
#include "protection/StealthImage.h"
#include "util/PathHelpers.h"
#include "util/SelectFile.h"
#include "workflows/DocumentPacking.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WindowReset.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace brindmar {

namespace {

const QString kAllFiles = QStringLiteral("All Files|*.*");

// The work files can take up to three times the document: the copy, the archive and the
// unpacked form.
constexpr int64_t kWorkSpaceFactor = 3;

void showOutputRow(WindowModel& m) {
    showOutputFolder(m);
    m.display.extractLayout = m.extractMode();
}

} // namespace

void ChooseDocument(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    uint8_t status = 0;
    FileDialogRequest request;
    request.title = tr(TextId::SelectDocumentDialogTitle);
    request.filter = kAllFiles;
    request.initialFolder = m.documentFolder;
    QString noExtension;
    QString path = SelectFile(status, request, noExtension, ctx.ui);
    if (status >= kSelectCancelled) {
        reportSelectionFailure(ctx, status, path);
        return;
    }
    // A document the work files have no room for is not taken; the one chosen before stays.
    const int64_t length = QFileInfo(path).size();
    if (!path.isEmpty() && length > 0) {
        const int64_t needed =
            std::min<int64_t>(length * kWorkSpaceFactor, std::numeric_limits<int32_t>::max());
        if (ctx.shortOfSpace(Task::Embed, path,
                             TempSpaceShortage(ctx.platform, ctx.temporaryFolder,
                                               static_cast<int32_t>(needed)))) {
            ctx.render();
            return;
        }
    }
    m.documentPath = path;
    m.documentPathCopy = path;
    if (!m.extractMode()) {
        m.display.documentBox = path;
    }
    m.display.documentName = path;
    m.documentFolder = FolderOf(path);
    m.stealthAboveRateAgreed = -1;
    m.setState(state::DocumentChosen, false);
    m.setState(state::EmbedPossible, false);
    PackDocument(ctx, true);
    ctx.refresh();
    ctx.valueChanged();
    ctx.render();
}

void ConfirmStealthDocument(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    bool number = false;
    const int64_t recommended = m.display.embedRecommended.toLongLong(&number);
    if (!m.stealthWanted || !number || !m.hasState(state::EmbedPossible) ||
        stealthArchiveLength(m) <= recommended) {
        return;
    }
    const Question keep{
        jpegStealthCarrier(m) ? QuestionKind::KeepAboveJpeg : QuestionKind::KeepAboveRate,
        m.documentPath, QStringLiteral("%1 %2").arg(stealthArchiveLength(m)).arg(recommended)};
    if (ctx.ask(keep) == MessageAnswer::Ok) {
        m.stealthAboveRateAgreed = recommended;
        return;
    }
    m.documentPath.clear();
    m.documentPathCopy.clear();
    m.display.documentBox.clear();
    m.display.documentName.clear();
    m.display.documentSize.clear();
    m.setState(state::DocumentChosen, false);
    m.setState(state::EmbedPossible, false);
    ctx.refresh();
    m.requestFocus(FocusTarget::Command, static_cast<int>(Command::ChooseDocument));
    ctx.render();
}

void ChooseOutputFolder(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    m.display.progress = 0;
    const bool extract = outputIsExtract(m);
    FileDialogRequest request;
    request.title = tr(extract ? TextId::ExtractOutputDialogTitle : TextId::EmbedOutputDialogTitle);
    request.filter = kAllFiles;
    request.initialFolder = extract ? m.extractOutputFolder : m.embedOutputFolder;
    uint8_t status = kSelectFolder;
    QString noExtension;
    QString chosen = SelectFile(status, request, noExtension, ctx.ui);
    if (status >= kSelectCancelled) {
        reportSelectionFailure(ctx, status, chosen);
        showOutputRow(m);
        ctx.render();
        return;
    }
    (extract ? m.extractOutputFolder : m.embedOutputFolder) = FolderOf(chosen);
    showOutputRow(m);
    ctx.valueChanged();
    ctx.render();
}

} // namespace brindmar
