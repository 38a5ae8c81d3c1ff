#include "window/Embed1.h"

#include "operations/PictureConverter.h"
#include "util/PathHelpers.h"
#include "util/PresetFileChoiceUi.h"
#include "util/StringTable.h"
#include "viewers/bmpinfo1.h"
#include "viewers/bmpview1.h"
#include "window/HelpWindow.h"
#include "window/Pictures.h"
#include "window/SoundSwitchedUi.h"
#include "window/ThumbnailView.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/ButtonAnimation.h"
#include "workflows/CodeEntry.h"
#include "workflows/CropChoice.h"
#include "workflows/CropDrag.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/PictureConversion.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WindowReset.h"
#include "workflows/WipeCommand.h"
#include "workflows/ZipTool.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace brindmar {

namespace {

// The help topic a command button announces when it gets the focus; nullopt leaves it.
std::optional<int32_t> buttonTopic(int index) {
    static constexpr std::array<int32_t, kCommandCount> topics = {
        topic::Embed,          topic::MainWindow,
        topic::BmpInformation, topic::FullSizeView,
        topic::OutputFolder,   topic::Embed,
        topic::Extract,        topic::MainWindow,
        topic::Wipe,           0,
        topic::StartValues,    topic::MainWindow};
    if (index == static_cast<int>(Command::Help)) {
        return std::nullopt;
    }
    return topics[static_cast<size_t>(index)];
}

bool isDragOrDrop(QEvent::Type type) {
    return type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
}

} // namespace

void Embed1::setupDrops() {
    // The thumbnail takes a carrier, the document box a document. The thumbnail's no-go text lies
    // over it, but Qt hands a drop to the nearest widget that accepts drops, the thumbnail.
    for (QWidget* target : std::initializer_list<QWidget*>{BMPImg, DocFileTxt}) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
}

void Embed1::openFromCommandLine(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.isEmpty() || argument.startsWith(u'-')) {
            continue;
        }
        chooseWithoutDialog(Command::ChooseBmp,
                            QDir::cleanPath(QFileInfo(argument).absoluteFilePath()));
        return;
    }
}

void Embed1::chooseWithoutDialog(Command command, const QString& path) {
    const int index = static_cast<int>(command);
    if (m_model.operationRunning() || !m_model.display.commandEnabled[static_cast<size_t>(index)]) {
        return;
    }
    m_presetUi->presetFileChoice(path);
    FunctBtn_Click(index);
    m_presetUi->withdrawPreset();
}

std::optional<QString> Embed1::droppedFile(const QObject* target, const QDropEvent& event) const {
    // Several files leave it unclear which one was meant, so none is taken. A copy is all that
    // is accepted: with a move, the file manager would delete the file it let go of.
    const QList<QUrl> urls = event.mimeData() != nullptr ? event.mimeData()->urls() : QList<QUrl>();
    const Command command = target == BMPImg ? Command::ChooseBmp : Command::ChooseDocument;
    if (urls.size() != 1 || !urls.front().isLocalFile() ||
        (event.possibleActions() & Qt::CopyAction) == 0 || m_model.operationRunning() ||
        !m_model.display.commandEnabled[static_cast<size_t>(command)]) {
        return std::nullopt;
    }
    const QString path = urls.front().toLocalFile();
    if (QFileInfo(path).isDir()) {
        return std::nullopt;
    }
    // Another kind of picture on the thumbnail is kept a JPEG or offered for conversion.
    if (command == Command::ChooseBmp && !takenAsImage(path) &&
        (m_ctx->pictures == nullptr || !m_ctx->pictures->canRead(path))) {
        return std::nullopt;
    }
    return path;
}

bool Embed1::handleDragAndDrop(QObject* target, QDropEvent& event) {
    const std::optional<QString> path = droppedFile(target, event);
    if (!path) {
        event.ignore();
        return true;
    }
    event.setDropAction(Qt::CopyAction);
    event.accept();
    if (event.type() == QEvent::Drop) {
        // The drag source waits until the drop returns, and the workflow may stop at a message
        // box; so the choice is made once the drop is over.
        const Command command = target == BMPImg ? Command::ChooseBmp : Command::ChooseDocument;
        QString named = *path;
        const bool picture = command == Command::ChooseBmp && !takenAsImage(named);
        QMetaObject::invokeMethod(
            this,
            [this, command, picture, chosen = *path] {
                if (picture) {
                    ChoosePicture(*m_ctx, chosen);
                    render();
                } else {
                    chooseWithoutDialog(command, chosen);
                }
            },
            Qt::QueuedConnection);
    }
    return true;
}

void Embed1::connectEvents() {
    for (int i = 0; i < 4; ++i) {
        connect(BMPStepBtn[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { StepThroughBmps(*m_ctx, i); });
    }
    for (int i = 0; i < kCropModeCount; ++i) {
        connect(CropBtn[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { ChooseCrop(*m_ctx, i); });
        // The item stands for its button.
        connect(CropMIt[static_cast<size_t>(i)], &QAction::triggered, this,
                [this, i] { ChooseCrop(*m_ctx, i); });
    }
    // Render sets the text with the box's signals blocked: only the user's edits arrive here.
    connect(CodeTxt, &QLineEdit::textChanged, this,
            [this](const QString& typed) { ChangeCode(*m_ctx, typed); });
    connect(EncCkB, &QCheckBox::clicked, this, [this] {
        m_model.display.encryptBox =
            EncCkB->checkState() == Qt::Unchecked ? kEncryptUnticked : kEncryptTicked;
        ApplyEncryptChoice(*m_ctx);
    });
    connect(EncMIt, &QAction::triggered, this, [this] { ToggleEncrypt(*m_ctx); });
    connect(StrongCkB, &QCheckBox::clicked, this, [this] { ToggleStrong(*m_ctx); });
    connect(StrongMIt, &QAction::triggered, this, [this] { ToggleStrong(*m_ctx); });
    connect(StealthCkB, &QCheckBox::clicked, this, [this] { ToggleStealth(*m_ctx); });
    connect(StealthMIt, &QAction::triggered, this, [this] { ToggleStealth(*m_ctx); });
    connect(MaskCodeMIt, &QAction::triggered, this, [this] { ToggleCodeMask(*m_ctx); });
    connect(OrigTmMIt, &QAction::triggered, this, [this] { ToggleKeepCarrierTimes(*m_ctx); });
    connect(SoundMIt, &QAction::triggered, this, [this] { ToggleSound(*m_ctx); });
    // The thumbnail box reports widget pixels; the crop workflows work in twips from the
    // picture's top left corner.
    const auto inPicture = [this](QPoint at) {
        const WindowDisplay& shown = m_model.display;
        return QPointF(at.x() * m_model.twipsPerPixelX - shown.thumbnailLeft,
                       at.y() * m_model.twipsPerPixelY - shown.thumbnailTop);
    };
    connect(BMPImg, &ThumbnailView::mousePressed, this,
            [this, inPicture](Qt::MouseButton button, QPoint at) {
                const QPointF p = inPicture(at);
                ThumbnailMouseDown(*m_ctx, button == Qt::LeftButton, p.x(), p.y());
            });
    connect(BMPImg, &ThumbnailView::mouseMoved, this,
            [this, inPicture](Qt::MouseButtons, QPoint at) {
                const QPointF p = inPicture(at);
                ThumbnailMouseMove(*m_ctx, p.x(), p.y());
            });
    connect(BMPImg, &ThumbnailView::mouseReleased, this, [this](Qt::MouseButton button, QPoint) {
        ThumbnailMouseUp(*m_ctx, button == Qt::LeftButton);
    });
    connect(ZIPMIt, &QAction::triggered, this, [this] {
        RunZipTool(*m_ctx);
        render();
    });
    connect(ConvertMIt, &QAction::triggered, this, [this] {
        ConvertPicture(*m_ctx);
        render();
    });
}

void Embed1::FunctBtn_Click(int index) {
    if (index < 0 || index >= kCommandCount) {
        return;
    }
    if (index < static_cast<int>(Command::Wipe)) {
        m_model.optionMarks &= static_cast<uint8_t>(~option::JustEmbedded);
    }
    if (index != static_cast<int>(Command::Help)) {
        m_writtenStatus.clear();
    }
    switch (static_cast<Command>(index)) {
    case Command::ChooseDocument:
        ChooseDocument(*m_ctx);
        ConfirmStealthDocument(*m_ctx);
        break;
    case Command::ChooseBmp:
        ChooseBmp(*m_ctx);
        break;
    case Command::Embed:
        showWritten(EmbedDocument(*m_ctx));
        break;
    case Command::Extract:
        showWritten(ExtractDocument(*m_ctx));
        break;
    case Command::BmpInformation:
        m_model.display.progress = 0;
        m_model.helpContext = topic::BmpInformation;
        render();
        informationWindow().showInformation();
        break;
    case Command::FullSizeView:
        m_model.display.progress = 0;
        m_ui->setMousePointer(MousePointer::Hourglass);
        m_model.helpContext = topic::FullSizeView;
        render();
        // The viewer gives the pointer back once it has laid out the image.
        fullSizeViewer().showImage();
        m_ui->setMousePointer(MousePointer::Default);
        break;
    case Command::ChooseOutputFolder:
        m_model.helpContext = topic::OutputFolder;
        ChooseOutputFolder(*m_ctx);
        break;
    case Command::Stop:
        m_model.stopRequest = true;
        break;
    case Command::Wipe:
        WipeCommand(*m_ctx);
        break;
    case Command::Help:
        contextHelp();
        break;
    case Command::Reset:
        RestoreStartValues();
        break;
    case Command::Exit:
        close();
        break;
    }
    render();
    if (m_closePending) {
        // A close asked for while the run was going waited for the run to end.
        QTimer::singleShot(0, this, &Embed1::requestClose);
    }
}

void Embed1::requestClose() {
    // A modal box (a question, the last message of a run) has a workflow waiting under it;
    // closing the box lets that workflow finish before the window goes.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        m_closePending = true;
        modal->close();
        QTimer::singleShot(50, this, &Embed1::requestClose);
        return;
    }
    close();
}

bool Embed1::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == BMPImg || watched == DocFileTxt) && isDragOrDrop(event->type())) {
        return handleDragAndDrop(watched, *static_cast<QDropEvent*>(event));
    }
    if (event->type() == QEvent::FocusIn) {
        for (int i = 0; i < kCommandCount; ++i) {
            if (watched == FunctBtn[static_cast<size_t>(i)]) {
                if (const auto topic = buttonTopic(i)) {
                    m_model.helpContext = *topic;
                }
            }
        }
        if (std::find(BMPStepBtn.begin(), BMPStepBtn.end(), watched) != BMPStepBtn.end()) {
            m_model.helpContext = topic::StepButtons;
        } else if (std::find(CropBtn.begin(), CropBtn.end(), watched) != CropBtn.end()) {
            m_model.helpContext = topic::Crop;
        } else if (watched == CodeTxt) {
            m_model.helpContext = topic::Code;
        } else if (watched == EncCkB) {
            m_model.helpContext = topic::Encrypt;
        } else if (watched == StrongCkB) {
            m_model.helpContext = topic::Strong;
        } else if (watched == StealthCkB) {
            m_model.helpContext = topic::Stealth;
        }
    } else if (event->type() == QEvent::MouseMove &&
               (m_model.pointerMarks & pointer::CropShape) != 0 && watched != BMPImg) {
        normalPointer(*m_ctx);
        render();
    }
    return QMainWindow::eventFilter(watched, event);
}

void Embed1::keyReleaseEvent(QKeyEvent* event) {
    // The window's own F1 works while an operation runs, when the Help menu and its shortcut are
    // withdrawn.
    if (event->key() == Qt::Key_F1 && !event->isAutoRepeat()) {
        contextHelp();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}

void Embed1::animate() {
    if (const auto step = animationTick(m_model)) {
        FunctBtn[static_cast<size_t>(step->button)]->setIcon(
            AnimImg[static_cast<size_t>(step->frame)]);
    }
}

HelpWindow& Embed1::helpWindow() {
    if (m_help == nullptr) {
        m_help = new HelpWindow(
            m_helpFolder,
            text(TextId::ProductName) + QStringLiteral(" - ") + text(TextId::HelpCaption), this);
    }
    return *m_help;
}

bmpinfo1& Embed1::informationWindow() {
    if (m_info == nullptr) {
        m_info = new bmpinfo1(
            *m_ctx, *m_settings, [this](int topic) { helpWindow().showTopic(topic); },
            twipsPerPixel(), this);
    }
    return *m_info;
}

bmpview1& Embed1::fullSizeViewer() {
    if (m_viewer == nullptr) {
        m_viewer = new bmpview1(
            *m_ctx, [this](int topic) { helpWindow().showTopic(topic); }, twipsPerPixel(), this);
    }
    return *m_viewer;
}

void Embed1::contextHelp() {
    if ((m_model.pointerMarks & pointer::CropShape) != 0) {
        normalPointer(*m_ctx);
    }
    helpWindow().showTopic(m_model.helpContext);
}

void Embed1::showHelpContents() {
    helpWindow().showContents();
}

void Embed1::showHelpIndex() {
    helpWindow().showIndex();
}

} // namespace brindmar
