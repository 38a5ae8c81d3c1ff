#include "window/Embed1.h"

#include "payload/BmpThumbnail.h"
#include "window/Pictures.h"
#include "window/ThumbnailView.h"
#include "window/WidgetColours.h"
#include "workflows/DecodedPicture.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <utility>

namespace brindmar {

namespace {

// Only widgets whose state differs are touched: setting a line edit's text moves its cursor and
// a widget's state repaints it.
template <typename Widget> void setText(Widget* widget, const QString& text) {
    if (widget->text() != text) {
        widget->setText(text);
    }
}

// A long path keeps its start and its end, which tell the user where it is; the whole of it is
// the box's tooltip.
void setElidedPath(QLineEdit* box, const QString& path) {
    const int margins = box->textMargins().left() + box->textMargins().right() + 8;
    const int room = std::max(box->contentsRect().width() - margins, 0);
    setText(box, box->fontMetrics().elidedText(path, Qt::ElideMiddle, room));
    if (box->toolTip() != path) {
        box->setToolTip(path);
    }
}

void enableIf(QWidget* widget, bool enabled) {
    if (widget->isEnabled() != enabled) {
        widget->setEnabled(enabled);
    }
}

void enableIf(QAction* action, bool enabled) {
    if (action->isEnabled() != enabled) {
        action->setEnabled(enabled);
    }
}

void setChecked(QAction* action, bool checked) {
    if (action->isChecked() != checked) {
        action->setChecked(checked);
    }
}

// A check box, its label and its menu item are one switch. The box is set without its signal:
// a click handler would run the workflow again.
void renderSwitch(QCheckBox* box, QLabel* label, QAction* item, bool checked, bool enabled) {
    if (box->isChecked() != checked) {
        const QSignalBlocker quiet(box);
        box->setChecked(checked);
    }
    enableIf(box, enabled);
    enableIf(label, enabled);
    enableIf(item, enabled);
    setChecked(item, checked);
}

void showIf(QWidget* widget, bool visible) {
    if (widget->isVisibleTo(widget->parentWidget()) != visible) {
        widget->setVisible(visible);
    }
}

Qt::CheckState checkStateOf(int encryptBox) {
    switch (encryptBox) {
    case kEncryptTicked:
        return Qt::Checked;
    case kEncryptGrey:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

// The crop frame is drawn this far outside the rectangle, so that it never hides the pixels
// at the rectangle's edge.
constexpr double kCropFrameMarginTwips = 20;

} // namespace

void Embed1::render() {
    renderTexts();
    renderLayout();
    renderOptions();
    renderCommands();
    renderThumbnail();
    renderFocus();
    renderFormatChoice();
}

void Embed1::renderTexts() {
    const WindowDisplay& shown = m_model.display;
    setText(DocFileTxt, shown.documentBox);
    setText(DocNameLbl, shown.documentName);
    setText(DocSizeLbl, shown.documentSize);
    // Under Stealth the most that fits is not the most to carry: both are there before Embed.
    setText(EmbMaxLbl,
            m_model.stealthWanted && !shown.embedRecommended.isEmpty() &&
                    !shown.embedMax.isEmpty() && shown.embedMax != u"0"
                ? QStringLiteral("%1 (recommended %2)").arg(shown.embedMax, shown.embedRecommended)
                : shown.embedMax);
    if (EmbMaxLbl->toolTip() != shown.embedMaxNote) {
        EmbMaxLbl->setToolTip(shown.embedMaxNote);
    }
    setText(CropLbl, shown.cropPercent);
    setText(BMPFileTxt, shownImagePath(m_model));
    setElidedPath(ExToTxt, shown.outputFolder);
    if (ProgressBar1->value() != shown.progress) {
        ProgressBar1->setValue(shown.progress);
    }
    // The document box holds a document only; the stealth search hint is a status of the image.
    // Each status with its tooltip: why Embed max. is 0 explains itself at more length.
    QString status = shown.processCaption;
    QString tip = status;
    const std::pair<const QString&, const QString&> idle[] = {
        {m_writtenStatus, m_writtenStatus},
        {shown.embedMaxStatus, shown.embedMaxNote},
        {shown.documentHint, shown.documentHint}};
    for (const auto& [words, note] : idle) {
        if (status.isEmpty()) {
            status = words;
            tip = note;
        }
    }
    // Half the row at most: a long folder must not widen the window.
    setText(ProcLbl, ProcLbl->fontMetrics().elidedText(status, Qt::ElideMiddle, width() / 2));
    if (ProcLbl->toolTip() != tip) {
        ProcLbl->setToolTip(tip);
    }
    showIf(ProcLbl, !status.isEmpty());
}

void Embed1::showWritten(const Outcome& outcome) {
    m_writtenStatus = outcome.done() ? renderOutcome(outcome).status : QString();
    render();
}

void Embed1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The output box's room has changed with the window: its path is shortened anew.
    setElidedPath(ExToTxt, m_model.display.outputFolder);
}

void Embed1::renderLayout() {
    const bool extract = m_model.display.extractLayout;
    setText(EmbFLbl, extract ? QStringLiteral("To Extract:") : text(TextId::ToEmbedCaption));
    setColour(EmbFLbl, extract ? kRed : kBlue);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             EncCkB, EncCkBLbl, StrongCkB, StrongCkBLbl, StealthCkB, StealthCkBLbl, DocSzLbl,
             DocSizeLbl, EmbMLbl, EmbMaxLbl, CropULbl}) {
        showIf(widget, !extract);
    }
    // Stealth takes the whole picture, never a crop: its row gives the crop's room to the
    // recommended size beside "Embed max.".
    showIf(CropPLbl, !extract && !m_model.stealthWanted);
    showIf(CropLbl, !extract && !m_model.stealthWanted);
    for (QPushButton* button : CropBtn) {
        showIf(button, !extract);
    }
    // A stealth search writes where extract mode would, and the row says so.
    const bool extractOutput = extract || m_model.display.extractOutput;
    setText(OutToTypLbl, text(extractOutput ? TextId::ExtractMode : TextId::EmbedMode));
    setColour(OutToTypLbl, extractOutput ? kRed : kBlue);
    setColour(OutToLbl, extractOutput ? kRed : kBlue);
}

void Embed1::renderOptions() {
    const WindowDisplay& shown = m_model.display;
    if (EncCkB->checkState() != checkStateOf(shown.encryptBox)) {
        const QSignalBlocker quiet(EncCkB);
        EncCkB->setCheckState(checkStateOf(shown.encryptBox));
    }
    enableIf(EncCkB, shown.encryptEnabled);
    enableIf(EncCkBLbl, shown.encryptEnabled);
    enableIf(EncMIt, shown.encryptEnabled);
    setChecked(EncMIt, shown.encryptBox != kEncryptUnticked);
    renderSwitch(StrongCkB, StrongCkBLbl, StrongMIt, shown.strongBox, shown.strongEnabled);
    renderSwitch(StealthCkB, StealthCkBLbl, StealthMIt, shown.stealthBox, shown.stealthEnabled);
    for (int i = 0; i < kCropModeCount; ++i) {
        enableIf(CropBtn[static_cast<size_t>(i)], shown.cropEnabled);
        enableIf(CropMIt[static_cast<size_t>(i)], shown.cropEnabled);
    }

    if (CodeTxt->text() != m_model.code) {
        const QSignalBlocker quiet(CodeTxt);
        CodeTxt->setText(m_model.code);
    }
    const auto echo = shown.codeMasked ? QLineEdit::Password : QLineEdit::Normal;
    if (CodeTxt->echoMode() != echo) {
        CodeTxt->setEchoMode(echo);
    }
    // A code typed while an embed runs would not be the one its image is sealed with.
    enableIf(CodeTxt, shown.codeEnabled && !m_model.operationRunning());
    setChecked(MaskCodeMIt, shown.maskCodeChecked);
    setChecked(OrigTmMIt, shown.keepTimesChecked);
    setChecked(SoundMIt, shown.soundChecked);
    enableIf(SoundMIt, shown.soundEnabled);
    enableIf(ConvertMIt, m_ctx->pictures != nullptr && !m_model.operationRunning());

    if (m_renderedCropMode != m_model.cropMode) {
        m_renderedCropMode = m_model.cropMode;
        // A stored mode without a crop control of its own marks none.
        for (int i = 0; i < kCropModeCount; ++i) {
            const bool selected = i == m_model.cropMode;
            CropBtn[static_cast<size_t>(i)]->setIcon(
                CropImg[static_cast<size_t>(selected ? i + kCropModeCount : i)]);
            setChecked(CropMIt[static_cast<size_t>(i)], selected);
        }
    }
}

void Embed1::renderCommands() {
    const WindowDisplay& shown = m_model.display;
    for (int i = 0; i < kCommandCount; ++i) {
        setCommandEnabled(i, shown.commandEnabled[static_cast<size_t>(i)]);
    }
    for (QFrame* frame : {DocFme, BMPFme, ExToFme}) {
        enableIf(frame, shown.framesEnabled);
    }
    for (size_t i = 0; i < BMPStepBtn.size(); ++i) {
        showIf(BMPStepBtn[i], shown.framesEnabled);
        enableIf(BMPStepBtn[i], shown.stepEnabled[i]);
    }
    const QString tip = text(shown.outputFolderTooltip);
    if (FunctBtn[static_cast<size_t>(Command::ChooseOutputFolder)]->toolTip() != tip) {
        FunctBtn[static_cast<size_t>(Command::ChooseOutputFolder)]->setToolTip(tip);
    }
    // A button that stops animating shows its own picture again.
    const auto rest = [&](uint8_t mark, Command command) {
        if ((m_renderedAnimation & mark) != 0 && (m_model.animationMarks & mark) == 0) {
            FunctBtn[static_cast<size_t>(command)]->setIcon(
                pictures::command(command, pixelRatio()));
        }
    };
    rest(animation::EmbedReady, Command::Embed);
    rest(animation::ExtractReady, Command::Extract);
    m_renderedAnimation = m_model.animationMarks;
}

void Embed1::setCommandEnabled(int index, bool enabled) {
    enableIf(FunctBtn[static_cast<size_t>(index)], enabled);
    const std::array<QAction*, kCommandCount> items = {DocMIt,    BMPMIt,   InfoMIt,    ViewMIt,
                                                       ExtrToMIt, EmbedMIt, ExtractMIt, StopMIt,
                                                       WipeMIt,   nullptr,  ResetMIt,   ExitMIt};
    if (QAction* item = items[static_cast<size_t>(index)]) {
        enableIf(item, enabled);
        return;
    }
    // The help command has no item of its own: it stands for the whole Help menu, and the
    // menu's shortcuts go with it.
    enableIf(HelpMnu->menuAction(), enabled);
    for (QAction* item : HelpMnu->actions()) {
        enableIf(item, enabled);
    }
}

void Embed1::renderThumbnail() {
    const WindowDisplay& shown = m_model.display;
    const double tppX = m_model.twipsPerPixelX;
    const double tppY = m_model.twipsPerPixelY;
    const QRect placement(qRound(shown.thumbnailLeft / tppX), qRound(shown.thumbnailTop / tppY),
                          qRound(shown.thumbnailWidth / tppX),
                          qRound(shown.thumbnailHeight / tppY));
    if (shown.thumbnail.get() != m_renderedThumbnail ||
        (shown.thumbnail && BMPImg->placement() != placement)) {
        m_renderedThumbnail = shown.thumbnail.get();
        if (const ThumbnailImage* picture = shown.thumbnail.get()) {
            const QImage image(reinterpret_cast<const uchar*>(picture->pixels.data()),
                               picture->width, picture->height, picture->width * 4,
                               QImage::Format_RGB32);
            QPixmap pixmap = QPixmap::fromImage(image.copy());
            BMPImg->setPicture(pixmap, placement);
        } else {
            BMPImg->clearPicture();
        }
    }
    // Hidden, the label keeps the caption the set-up gave it.
    if (!shown.invalidBmpText.isEmpty()) {
        setText(InvalidBMPLbl, shown.invalidBmpText);
    }
    showIf(InvalidBMPLbl, !shown.invalidBmpText.isEmpty());

    std::optional<QRect> frame;
    if (shown.cropFrameVisible && shown.thumbnail) {
        const CropRect& crop = m_model.crop;
        const double left = shown.thumbnailLeft + shown.thumbnailWidth * crop.left;
        const double top = shown.thumbnailTop + shown.thumbnailHeight * crop.top;
        const double margin = kCropFrameMarginTwips;
        frame = QRect(qRound((left - margin) / tppX), qRound((top - margin) / tppY),
                      qRound((shown.thumbnailWidth * crop.width + 2 * margin) / tppX),
                      qRound((shown.thumbnailHeight * crop.height + 2 * margin) / tppY));
    }
    if (frame != m_renderedCropFrame) {
        m_renderedCropFrame = frame;
        BMPImg->setCropFrame(frame);
    }
    if (BMPImg->noGoVisible() != shown.noGoVisible) {
        BMPImg->setNoGoVisible(shown.noGoVisible);
    }
}

void Embed1::renderFocus() {
    const WindowDisplay& shown = m_model.display;
    if (shown.focusRequests == m_renderedFocusRequests) {
        return;
    }
    m_renderedFocusRequests = shown.focusRequests;
    const auto index = static_cast<size_t>(shown.focusIndex);
    switch (shown.focus) {
    case FocusTarget::Command:
        if (index < FunctBtn.size()) {
            FunctBtn[index]->setFocus();
        }
        break;
    case FocusTarget::StepButton:
        if (index < BMPStepBtn.size()) {
            BMPStepBtn[index]->setFocus();
        }
        break;
    case FocusTarget::CodeBox:
        CodeTxt->setFocus();
        break;
    case FocusTarget::None:
        break;
    }
}

} // namespace brindmar
