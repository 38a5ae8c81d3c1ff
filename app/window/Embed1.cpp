#include "window/Embed1.h"

#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "operations/WipeFile.h"
#include "util/PathHelpers.h"
#include "util/StringTable.h"
#include "window/ButtonAnimation.h"
#include "window/HelpWindow.h"
#include "window/Pictures.h"
#include "window/ProgramFolders.h"
#include "window/QtUiServices.h"
#include "window/SoundSwitchedUi.h"
#include "window/ThumbnailView.h"
#include "window/WindowPlacement.h"
#include "window/WipeCommand.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QAudioDevice>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMenuBar>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace brindmar {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

constexpr int kCodeMaxLength = 20;
constexpr int kCodeMinLength = 10;
constexpr int kThumbnailWidth = 184;
constexpr int kThumbnailHeight = 168;
constexpr int kCommandButtonSize = 32;
constexpr int kCropButtonSize = 27;
constexpr int kStepButtonWidth = 30;

const QString kWorkFiles[] = {QStringLiteral("vokbdat1.tmp"), QStringLiteral("vokbdat2.tmp")};
const QString kSoundNames[] = {QStringLiteral("success.wav"), QStringLiteral("error.wav"),
                               QStringLiteral("attention.wav")};

// Masked codes show a "*" for every character, whatever the style would draw.
class MaskStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The Encrypt box: the program greys it when Encrypt is wanted but the code is too short; a
// click always leaves it plainly ticked or unticked.
class EncryptBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
    }
};

void setColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLineEdit* makeReadOnlyBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    return box;
}

QFrame* makeFrame(QWidget* parent, const char* name) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

QString indexedName(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(name)).arg(index);
}

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

} // namespace

Embed1::Embed1(ShellEnvironment environment, QWidget* parent)
    : QMainWindow(parent), m_environment(std::move(environment)) {
    setObjectName(QStringLiteral("Embed1"));
    if (m_environment.ui == nullptr) {
        m_qtUi = std::make_unique<QtUiServices>(this);
    }
    m_ui = std::make_unique<SoundSwitchedUi>(
        m_environment.ui != nullptr ? *m_environment.ui : *m_qtUi, m_model.soundSwitch);

    setupCommandRow();
    setupDocumentFrame();
    setupBmpFrame();
    setupCodeRow();
    setupOutputFrame();
    setupStatusRow();
    setupLayout();
    setupMenus();
    setupPictures();
    setupAnimation();
    setupFocusTopics();
    setupPointerWatch();
}

Embed1::~Embed1() = default;

UiServices& Embed1::ui() {
    return *m_ui;
}

QString Embed1::settingsFile() const {
    return m_settings ? m_settings->filePath() : QString();
}

QString Embed1::text(TextId id) const {
    return StringTable::builtin().text(id);
}

double Embed1::twipsPerPixel() const {
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    return brindmar::twipsPerPixel(shown != nullptr ? shown->logicalDotsPerInch() : 96.0);
}

qreal Embed1::pixelRatio() const {
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    return shown != nullptr ? shown->devicePixelRatio() : 1.0;
}

// ---------------------------------------------------------------------------------------------
// Controls

void Embed1::setupCommandRow() {
    FunctBtnFme = makeFrame(this, "FunctBtnFme");
    auto* row = new QHBoxLayout(FunctBtnFme);
    row->setContentsMargins(4, 3, 4, 3);
    row->setSpacing(2);
    for (int i = 0; i < kCommandCount; ++i) {
        auto* button = new QPushButton(FunctBtnFme);
        button->setObjectName(indexedName("FunctBtn", i));
        button->setFixedSize(kCommandButtonSize, kCommandButtonSize);
        button->setIconSize(QSize(pictures::kCommandPictureSize, pictures::kCommandPictureSize));
        connect(button, &QPushButton::clicked, this, [this, i] { FunctBtn_Click(i); });
        FunctBtn[static_cast<size_t>(i)] = button;
        row->addWidget(button);
        // The choosing commands, the run commands and the tools form groups.
        if (i == 4 || i == 7) {
            row->addSpacing(6);
        }
    }
    row->addStretch();
    LogoImg = makeLabel(FunctBtnFme, "LogoImg");
    row->addWidget(LogoImg);
}

void Embed1::setupDocumentFrame() {
    DocFme = makeFrame(this, "DocFme");
    EmbFLbl = makeLabel(DocFme, "EmbFLbl");
    DocFileTxt = makeReadOnlyBox(DocFme, "DocFileTxt");
    DocNameLbl = makeLabel(DocFme, "DocNameLbl");
    DocNameLbl->hide(); // holds the document as chosen, for the packing
    DocSzLbl = makeLabel(DocFme, "DocSzLbl");
    DocSizeLbl = makeLabel(DocFme, "DocSizeLbl");
    DocSizeLbl->setMinimumWidth(70);
    EncCkB = new EncryptBox(DocFme);
    EncCkB->setObjectName(QStringLiteral("EncCkB"));
    EncCkBLbl = makeLabel(DocFme, "EncCkBLbl");
    EncCkBLbl->setBuddy(EncCkB);
    connect(EncCkB, &QCheckBox::stateChanged, this, [this] { EncCkB_Click(); });

    auto* grid = new QGridLayout(DocFme);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->addWidget(EmbFLbl, 0, 0);
    grid->addWidget(DocFileTxt, 0, 1, 1, 5);
    grid->addWidget(DocSzLbl, 1, 0);
    grid->addWidget(DocSizeLbl, 1, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(EncCkB, 1, 4);
    grid->addWidget(EncCkBLbl, 1, 5);
}

void Embed1::setupBmpFrame() {
    BMPFme = makeFrame(this, "BMPFme");
    BMPFLbl = makeLabel(BMPFme, "BMPFLbl");
    BMPFileTxt = makeReadOnlyBox(BMPFme, "BMPFileTxt");
    EmbMLbl = makeLabel(BMPFme, "EmbMLbl");
    EmbMaxLbl = makeLabel(BMPFme, "EmbMaxLbl");
    EmbMaxLbl->setMinimumWidth(70);
    CropPLbl = makeLabel(BMPFme, "CropPLbl");
    CropLbl = makeLabel(BMPFme, "CropLbl");
    CropLbl->setMinimumWidth(24);
    CropULbl = makeLabel(BMPFme, "CropULbl");
    CropULbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* crops = new QGridLayout;
    crops->setSpacing(1);
    for (int i = 0; i < kCropModeCount; ++i) {
        auto* button = new QPushButton(BMPFme);
        button->setObjectName(indexedName("CropBtn", i));
        button->setFixedSize(kCropButtonSize, kCropButtonSize);
        button->setIconSize(QSize(pictures::kCropPictureSize, pictures::kCropPictureSize));
        connect(button, &QPushButton::clicked, this, [this, i] { CropBtn_Click(i); });
        CropBtn[static_cast<size_t>(i)] = button;
        crops->addWidget(button, i / 8, i % 8);
    }

    auto* figures = new QHBoxLayout;
    figures->setSpacing(6);
    figures->addWidget(EmbMLbl);
    figures->addWidget(EmbMaxLbl);
    figures->addStretch();
    figures->addWidget(CropPLbl);
    figures->addWidget(CropLbl);

    auto* grid = new QGridLayout(BMPFme);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->addWidget(BMPFLbl, 0, 0);
    grid->addWidget(BMPFileTxt, 0, 1);
    grid->addLayout(figures, 1, 0, 1, 2);
    grid->addWidget(CropULbl, 2, 0);
    grid->addLayout(crops, 2, 1, Qt::AlignLeft);
    grid->setRowStretch(1, 1);

    BMPImgFme = makeFrame(this, "BMPImgFme");
    BMPImg = new ThumbnailView(BMPImgFme);
    BMPImg->setObjectName(QStringLiteral("BMPImg"));
    BMPImg->setFixedSize(kThumbnailWidth, kThumbnailHeight);
    InvalidBMPLbl = makeLabel(BMPImg, "InvalidBMPLbl");
    InvalidBMPLbl->setAlignment(Qt::AlignCenter);
    InvalidBMPLbl->setWordWrap(true);
    InvalidBMPLbl->setGeometry(0, 0, kThumbnailWidth, kThumbnailHeight);
    setColour(InvalidBMPLbl, kRed);
    InvalidBMPLbl->hide();

    auto* steps = new QHBoxLayout;
    steps->setSpacing(2);
    steps->addStretch();
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(BMPImgFme);
        button->setObjectName(indexedName("BMPStepBtn", i));
        button->setFixedSize(kStepButtonWidth, 22);
        button->setIconSize(QSize(pictures::kStepPictureSize, pictures::kStepPictureSize));
        BMPStepBtn[static_cast<size_t>(i)] = button;
        steps->addWidget(button);
    }
    steps->addStretch();

    auto* column = new QVBoxLayout(BMPImgFme);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);
    column->addStretch();
    column->addWidget(BMPImg, 0, Qt::AlignHCenter);
    column->addStretch();
    column->addLayout(steps);
}

void Embed1::setupCodeRow() {
    CodeLbl = makeLabel(this, "CodeLbl");
    CodeTxt = new QLineEdit(this);
    CodeTxt->setObjectName(QStringLiteral("CodeTxt"));
    CodeTxt->setMaxLength(kCodeMaxLength);
    auto* mask = new MaskStyle;
    mask->setParent(this);
    CodeTxt->setStyle(mask);
    CodeLbl->setBuddy(CodeTxt);
    connect(CodeTxt, &QLineEdit::textChanged, this, [this] { CodeTxt_Change(); });
}

void Embed1::setupOutputFrame() {
    ExToFme = makeFrame(this, "ExToFme");
    OutToTypLbl = makeLabel(ExToFme, "OutToTypLbl");
    OutToLbl = makeLabel(ExToFme, "OutToLbl");
    ExToTxt = makeReadOnlyBox(ExToFme, "ExToTxt");
    auto* row = new QHBoxLayout(ExToFme);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(4);
    row->addWidget(OutToTypLbl);
    row->addWidget(OutToLbl);
    row->addWidget(ExToTxt, 1);
}

void Embed1::setupStatusRow() {
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(14);
    ProcLbl = makeLabel(this, "ProcLbl");
    ProcLbl->setMinimumWidth(120);
    ProcLbl->hide();
}

void Embed1::setupLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));

    auto* code = new QHBoxLayout;
    code->setContentsMargins(6, 0, 0, 0);
    code->setSpacing(6);
    code->addWidget(CodeLbl);
    code->addWidget(CodeTxt, 1);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(DocFme);
    left->addWidget(BMPFme, 1); // spare height goes between its rows
    left->addLayout(code);
    left->addWidget(ExToFme);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(6);
    middle->addLayout(left, 1);
    middle->addWidget(BMPImgFme);

    auto* status = new QHBoxLayout;
    status->setSpacing(6);
    status->addWidget(ProgressBar1, 1);
    status->addWidget(ProcLbl);

    auto* page = new QVBoxLayout(central);
    page->setContentsMargins(6, 4, 6, 6);
    page->setSpacing(5);
    page->addWidget(FunctBtnFme);
    page->addLayout(middle, 1);
    page->addLayout(status);
    setCentralWidget(central);
}

void Embed1::setupMenus() {
    auto command = [this](QMenu* menu, const char* name, int index) {
        auto* action = menu->addAction(QString());
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, index] { FunctBtn_Click(index); });
        return action;
    };
    auto option = [this](QMenu* menu, const char* name) {
        auto* action = menu->addAction(QString());
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        return action;
    };

    FileMnu = menuBar()->addMenu(QString());
    FileMnu->setObjectName(QStringLiteral("FileMnu"));
    DocMIt = command(FileMnu, "DocMIt", 0);
    BMPMIt = command(FileMnu, "BMPMIt", 1);
    ExtrToMIt = command(FileMnu, "ExtrToMIt", 4);
    FileMnu->addSeparator();
    InfoMIt = command(FileMnu, "InfoMIt", 2);
    ViewMIt = command(FileMnu, "ViewMIt", 3);
    FileMnu->addSeparator();
    ZIPMIt = FileMnu->addAction(QString());
    ZIPMIt->setObjectName(QStringLiteral("ZIPMIt"));
    WipeMIt = command(FileMnu, "WipeMIt", 8);
    WipeMIt->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    FileMnu->addSeparator();
    ResetMIt = command(FileMnu, "ResetMIt", 10);
    ResetMIt->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    ExitMIt = command(FileMnu, "ExitMIt", 11);

    EmbedMnu = menuBar()->addMenu(QString());
    EmbedMnu->setObjectName(QStringLiteral("EmbedMnu"));
    EmbedMIt = command(EmbedMnu, "EmbedMIt", 5);
    ExtractMIt = command(EmbedMnu, "ExtractMIt", 6);
    StopMIt = command(EmbedMnu, "StopMIt", 7);
    EmbedMnu->addSeparator();
    EncMIt = option(EmbedMnu, "EncMIt");
    connect(EncMIt, &QAction::triggered, this, [this] { EncMIt_Click(); });
    CropToMIt = EmbedMnu->addMenu(QString());
    CropToMIt->setObjectName(QStringLiteral("CropToMIt"));
    // One choice at a time, but a stored mode without an item of its own marks none.
    auto* cropChoices = new QActionGroup(CropToMIt);
    cropChoices->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int i = 0; i < kCropModeCount; ++i) {
        auto* item = CropToMIt->addAction(QString());
        item->setObjectName(indexedName("CropMIt", i));
        item->setCheckable(true);
        item->setActionGroup(cropChoices);
        connect(item, &QAction::triggered, this, [this, i] { CropMIt_Click(i); });
        CropMIt[static_cast<size_t>(i)] = item;
    }
    OrigTmMIt = option(EmbedMnu, "OrigTmMIt");
    MaskCodeMIt = option(EmbedMnu, "MaskCodeMIt");
    connect(MaskCodeMIt, &QAction::triggered, this, [this] { MaskCodeMIt_Click(); });
    SoundMIt = option(EmbedMnu, "SoundMIt");
    connect(SoundMIt, &QAction::triggered, this, [this] { SoundMIt_Click(); });

    HelpMnu = menuBar()->addMenu(QString());
    HelpMnu->setObjectName(QStringLiteral("HelpMnu"));
    HelpCurrentMIt = command(HelpMnu, "HelpCurrentMIt", 9);
    HelpCurrentMIt->setShortcut(QKeySequence(Qt::Key_F1));
    HelpContMIt = HelpMnu->addAction(QString());
    HelpContMIt->setObjectName(QStringLiteral("HelpContMIt"));
    connect(HelpContMIt, &QAction::triggered, this, &Embed1::showHelpContents);
    HelpSearchMIt = HelpMnu->addAction(QString());
    HelpSearchMIt->setObjectName(QStringLiteral("HelpSearchMIt"));
    connect(HelpSearchMIt, &QAction::triggered, this, &Embed1::showHelpIndex);

    // The state before the first command refresh.
    for (QAction* item : {ViewMIt, ResetMIt, EmbedMIt, ExtractMIt, StopMIt}) {
        item->setEnabled(false);
    }
    for (QAction* item : {EncMIt, CropMIt[1], SoundMIt}) {
        item->setChecked(true);
    }
}

void Embed1::setupPictures() {
    const qreal ratio = pixelRatio();
    for (int i = 0; i < kCommandCount; ++i) {
        FunctBtn[static_cast<size_t>(i)]->setIcon(
            pictures::command(static_cast<Command>(i), ratio));
    }
    for (int i = 0; i < 4; ++i) {
        BMPStepBtn[static_cast<size_t>(i)]->setIcon(pictures::step(i, ratio));
    }
    for (int i = 0; i < kCropModeCount; ++i) {
        CropImg[static_cast<size_t>(i)] = pictures::crop(i, false, ratio);
        CropImg[static_cast<size_t>(i + kCropModeCount)] = pictures::crop(i, true, ratio);
    }
    for (int frame = 1; frame <= kAnimationFrameCount; ++frame) {
        AnimImg[static_cast<size_t>(frame)] = pictures::animationFrame(frame, ratio);
    }
    LogoImg->setPixmap(pictures::logo(text(TextId::ProductName), QSize(104, 26), ratio));
}

void Embed1::setupAnimation() {
    AnimTmr = new QTimer(this);
    AnimTmr->setObjectName(QStringLiteral("AnimTmr"));
    AnimTmr->setInterval(kAnimationIntervalMs);
    connect(AnimTmr, &QTimer::timeout, this, &Embed1::animate);
}

void Embed1::setupFocusTopics() {
    for (QPushButton* button : FunctBtn) {
        button->installEventFilter(this);
    }
    for (QPushButton* button : BMPStepBtn) {
        button->installEventFilter(this);
    }
    for (QPushButton* button : CropBtn) {
        button->installEventFilter(this);
    }
    CodeTxt->installEventFilter(this);
    EncCkB->installEventFilter(this);
}

void Embed1::setupPointerWatch() {
    // Leaving the thumbnail over any of these gives the crop pointer back.
    std::vector<QWidget*> watched = {
        this,    ProgressBar1, LogoImg,  FunctBtnFme, DocFme,     DocFileTxt, DocSizeLbl, EmbMaxLbl,
        EmbFLbl, EmbMLbl,      DocSzLbl, BMPFme,      BMPFileTxt, BMPImgFme,  ExToFme,    ExToTxt};
    watched.insert(watched.end(), BMPStepBtn.begin(), BMPStepBtn.end());
    for (QWidget* widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
    centralWidget()->setMouseTracking(true);
}

bool Embed1::eventFilter(QObject* watched, QEvent* event) {
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
        }
    } else if (event->type() == QEvent::MouseMove &&
               (m_model.pointerMarks & pointer::CropShape) != 0 && watched != BMPImg) {
        normalPointer();
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Start-up

bool Embed1::startUp() {
    setupProgramValues();
    if (text(TextId::LayoutVariant) == QStringLiteral("1")) {
        ExToTxt->setFixedWidth(qRound(3435 / twipsPerPixel()));
    }
    CaptionSetUp();
    EncCkB->setEnabled(false);
    EncMIt->setEnabled(false);
    m_model.cropMode = 1;
    showCropChoice(m_model.cropMode);
    RestoreStartValues();
    setupSounds();
    m_model.thumbnailBoxWidth = BMPImg->width() * twipsPerPixel();
    m_model.thumbnailBoxHeight = BMPImg->height() * twipsPerPixel();
    if (!initializeZipService()) {
        return false;
    }
    placeWindow();
    m_ui->processPendingEvents();
    AnimTmr->start();
    m_started = true;
    return true;
}

void Embed1::setupProgramValues() {
    const QString settingsFile = m_environment.settingsFile.isEmpty() ? defaultSettingsFilePath()
                                                                      : m_environment.settingsFile;
    m_settings = std::make_unique<Settings>(settingsFile, m_ui.get());

    m_temporaryFolder = m_environment.temporaryFolder.isEmpty() ? privateTemporaryFolder()
                                                                : m_environment.temporaryFolder;
    const QString start = m_environment.startFolder.isEmpty()
                              ? QCoreApplication::applicationDirPath()
                              : m_environment.startFolder;
    m_programFolder = programFolderFrom(start);
    m_helpFolder = m_programFolder + QStringLiteral("help") + QDir::separator();

    if (m_environment.zip == nullptr) {
        m_ownZip = std::make_unique<LibZipService>();
    }
    if (m_environment.engine == nullptr) {
        m_ownEngine = std::make_unique<EngineBinding>(start);
    }
}

void Embed1::CaptionSetUp() {
    setWindowTitle(text(TextId::ProductName));
    EmbFLbl->setText(text(TextId::ToEmbedCaption));
    setColour(EmbFLbl, kBlue);
    EncCkBLbl->setText(text(TextId::EncryptCaption));
    DocSzLbl->setText(text(TextId::SizeCaption));
    BMPFLbl->setText(text(TextId::BmpFileCaption));
    CropPLbl->setText(text(TextId::CropPercentCaption));
    EmbMLbl->setText(text(TextId::EmbedMaxCaption));
    CropULbl->setText(text(TextId::CropUsingCaption));
    CodeLbl->setText(text(TextId::CodeCaption));
    CodeTxt->setToolTip(text(TextId::CodeTooltip));
    OutToTypLbl->setText(text(TextId::EmbedMode));
    setColour(OutToTypLbl, kBlue);
    OutToLbl->setText(text(TextId::OutputToCaption));
    setColour(OutToLbl, kBlue);
    InvalidBMPLbl->setText(text(TextId::InvalidBmpFile));

    const std::array<TextId, 4> stepTips = {TextId::FirstTooltip, TextId::PreviousTooltip,
                                            TextId::NextTooltip, TextId::LastTooltip};
    for (size_t i = 0; i < stepTips.size(); ++i) {
        BMPStepBtn[i]->setToolTip(text(stepTips[i]));
    }

    const std::array<TextId, kCommandCount> commandTips = {TextId::SelectFileToEmbedTooltip,
                                                           TextId::SelectBmpTooltip,
                                                           TextId::ViewBmpInfoTooltip,
                                                           TextId::ViewBmpFullSizeTooltip,
                                                           outputFolderTooltip(m_model.windowState),
                                                           TextId::EmbedFileTooltip,
                                                           TextId::ExtractFileTooltip,
                                                           TextId::StopTooltip,
                                                           TextId::SelectFileToWipeTooltip,
                                                           TextId::ViewHelpTooltip,
                                                           TextId::ToStartValuesTooltip,
                                                           TextId::ExitTooltip};
    for (size_t i = 0; i < commandTips.size(); ++i) {
        FunctBtn[i]->setToolTip(text(commandTips[i]));
    }

    const QString amp = QStringLiteral("&");
    FileMnu->setTitle(text(TextId::FileMenu));
    DocMIt->setText(amp + text(TextId::DocumentSelectItem));
    BMPMIt->setText(amp + text(TextId::BmpSelectItem));
    ExtrToMIt->setText(amp + text(TextId::OutputDirectorySelectItem));
    InfoMIt->setText(text(TextId::BmpInformationItem));
    ViewMIt->setText(text(TextId::BmpViewItem));
    ZIPMIt->setText(text(TextId::ZipUnzipItem));
    WipeMIt->setText(amp + text(TextId::WipeFileItem));
    ResetMIt->setText(text(TextId::ResetItem));
    ExitMIt->setText(text(TextId::ExitItem));
    EmbedMnu->setTitle(amp + text(TextId::EmbedMode));
    EmbedMIt->setText(text(TextId::EmbedItem));
    ExtractMIt->setText(text(TextId::ExtractItem));
    StopMIt->setText(amp + text(TextId::StopProcessingItem));
    EncMIt->setText(text(TextId::EncryptItem));
    CropToMIt->setTitle(text(TextId::CropToItem));
    OrigTmMIt->setText(text(TextId::KeepOriginalDateItem));
    MaskCodeMIt->setText(text(TextId::MaskCodeItem));
    SoundMIt->setText(text(TextId::UseSoundItem));
    HelpMnu->setTitle(text(TextId::HelpMenu));
    HelpCurrentMIt->setText(text(TextId::HelpThisWindowItem));
    HelpContMIt->setText(text(TextId::HelpContentsItem));
    HelpSearchMIt->setText(text(TextId::HelpSearchItem));

    // Crop choices: the menu joins placement words with "-" or adds the strip word; the tooltip
    // is "CROP " and the menu caption in capitals.
    struct CropCaption {
        TextId first;
        std::optional<TextId> second;
        bool strip;
    };
    const std::array<CropCaption, kCropModeCount> crops = {{
        {TextId::CropNone, std::nullopt, false},
        {TextId::CropCentre, std::nullopt, false},
        {TextId::CropCentre, TextId::CropBottom, false},
        {TextId::CropCentre, TextId::CropTop, false},
        {TextId::CropLeft, TextId::CropTop, false},
        {TextId::CropLeft, TextId::CropCentre, false},
        {TextId::CropLeft, TextId::CropBottom, false},
        {TextId::CropRight, TextId::CropTop, false},
        {TextId::CropRight, TextId::CropCentre, false},
        {TextId::CropRight, TextId::CropBottom, false},
        {TextId::CropLeft, TextId::CropVerticalStrip, true},
        {TextId::CropCentre, TextId::CropVerticalStrip, true},
        {TextId::CropRight, TextId::CropVerticalStrip, true},
        {TextId::CropTop, TextId::CropHorizontalStripItem, true},
        {TextId::CropCentre, TextId::CropHorizontalStripItem, true},
        {TextId::CropBottom, TextId::CropHorizontalStripItem, true},
    }};
    for (size_t i = 0; i < crops.size(); ++i) {
        const CropCaption& crop = crops[i];
        QString caption = text(crop.first);
        QString tipCaption = caption;
        if (crop.second) {
            if (crop.strip) {
                // The tooltip's strip word is its own string.
                const TextId tipStrip = *crop.second == TextId::CropHorizontalStripItem
                                            ? TextId::CropHorizontalStripTooltip
                                            : *crop.second;
                caption += text(*crop.second);
                tipCaption += text(tipStrip);
            } else {
                caption += u'-' + text(*crop.second);
                tipCaption = caption;
            }
        }
        CropMIt[i]->setText(caption);
        const QString tip = i == 0 ? text(TextId::NoCropTooltip)
                                   : (text(TextId::CropTooltipPrefix) + tipCaption).toUpper();
        CropMIt[i]->setToolTip(tip);
        CropBtn[i]->setToolTip(tip);
    }
}

void Embed1::setupSounds() {
    for (size_t i = 0; i < m_soundFiles.size(); ++i) {
        m_soundFiles[i] = m_programFolder + kSoundNames[i];
    }
    const bool filesExist = std::all_of(m_soundFiles.begin(), m_soundFiles.end(),
                                        [](const QString& file) { return FileExists(file); });
    int outputs = 0;
    if (filesExist) {
        outputs = m_environment.audioOutputCount
                      ? m_environment.audioOutputCount()
                      : static_cast<int>(QMediaDevices::audioOutputs().size());
    }
    if (m_qtUi) {
        m_qtUi->setSounds(m_soundFiles, outputs);
    }
    // Whether sound can be heard and whether the user wants it are kept apart: a missing sound
    // device does not overwrite the user's choice, and a user who switched sound off finds the
    // item still offered, just unticked.
    m_soundCapable = filesExist && outputs > 0;
    m_soundWanted = m_settings->readOption(setting::UseSnd);
    m_model.soundSwitch = m_soundCapable && m_soundWanted;
    SoundMIt->setEnabled(m_soundCapable);
    SoundMIt->setChecked(m_model.soundSwitch);
}

bool Embed1::initializeZipService() {
    ZipService& zip = m_environment.zip != nullptr ? *m_environment.zip : *m_ownZip;
    // A service that cannot be called at all reads as a status of 0, as every caller treats it.
    const int16_t status = zip.ZSInitialize().value_or(0);
    if (status <= 1) {
        return true;
    }
    m_ui->alert(Sound::Error);
    m_ui->showMessage(
        Message{text(TextId::ProductName), text(TextId::StartUpFailure), MessageIcon::Exclamation});
    return false;
}

void Embed1::placeWindow() {
    const double tpp = twipsPerPixel();
    resize(qRound(kMainWindowWidthTwips / tpp), qRound(kMainWindowHeightTwips / tpp));
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    const QRect area = shown != nullptr ? shown->geometry() : QRect(0, 0, 1024, 768);
    const TwipsPoint stored{m_settings->readPosition(setting::EmbedX),
                            m_settings->readPosition(setting::EmbedY)};
    const TwipsPoint at =
        brindmar::placeWindow(stored, {kMainWindowWidthTwips, kMainWindowHeightTwips},
                              {area.width() * tpp, area.height() * tpp});
    move(area.left() + qRound(at.x / tpp), area.top() + qRound(at.y / tpp));
}

void Embed1::RestoreStartValues() {
    m_model.soundSwitch = false;
    if (m_soundCapable) {
        m_soundWanted = m_settings->readOption(setting::UseSnd);
        m_model.soundSwitch = m_soundWanted;
    }
    SoundMIt->setChecked(m_model.soundSwitch);

    m_model.packingMarks = 0;
    {
        // The box's click handler runs whether or not the value changes, so that the menu
        // item always ends up matching the stored option.
        const QSignalBlocker quiet(EncCkB);
        setEncryptBox(m_settings->readOption(setting::Encrypt) ? 1 : 0);
    }
    EncCkB_Click();
    if (m_settings->readOption(setting::MaskCode)) {
        MaskCodeMIt->setChecked(true);
        CodeTxt->setEchoMode(QLineEdit::Password);
    } else {
        MaskCodeMIt->setChecked(false);
    }
    OrigTmMIt->setChecked(m_settings->readOption(setting::KeepBODT));
    if (const auto mode = m_settings->readCropMode()) {
        m_model.cropMode = *mode;
    }
    showCropChoice(m_model.cropMode);

    m_model.embedOutputFolder = existingFolderOr(
        m_settings->ReadSetting(setting::General, setting::EmbToDir),
        defaultEmbedOutputFolder(m_programFolder, text(TextId::DefaultOutputFolder),
                                 m_environment.userDataFolder.isEmpty()
                                     ? userDataFolder()
                                     : m_environment.userDataFolder));
    m_model.extractOutputFolder = existingFolderOr(
        m_settings->ReadSetting(setting::General, setting::ExtrToDir), m_model.embedOutputFolder);
    m_model.bmpFolder = m_settings->ReadSetting(setting::General, setting::BMPDir);
    showOutputMode(false);
    m_model.documentFolder = m_settings->ReadSetting(setting::General, setting::DocDir);
    const QString zipFolder = m_settings->ReadSetting(setting::General, setting::ZIPDir);
    m_model.zipFolder = zipFolder.isEmpty() ? QString() : existingFolderOr(zipFolder, QString());

    windowReset();
    CodeTxt->clear();
    FunctBtn[static_cast<size_t>(Command::Reset)]->setFocus();
    setCommandEnabled(static_cast<int>(Command::Reset), false);
}

// ---------------------------------------------------------------------------------------------
// Shut-down

void Embed1::closeEvent(QCloseEvent* event) {
    shutDown();
    QMainWindow::closeEvent(event);
}

void Embed1::shutDown() {
    if (!m_started || m_shutDown) {
        return;
    }
    m_shutDown = true;
    AnimTmr->stop();
    saveSettings();
    removeWorkFiles();
    if (m_help != nullptr) {
        m_help->close();
        m_ui->processPendingEvents();
    }
}

void Embed1::saveSettings() {
    // On a run without sound the switch is off perforce; the user's own choice is what is kept.
    const bool useSound = m_soundCapable ? m_model.soundSwitch : m_soundWanted;
    const std::array<std::pair<QString, QString>, 10> general = {{
        {setting::DocDir, m_model.documentFolder},
        {setting::BMPDir, m_model.bmpFolder},
        {setting::EmbToDir, m_model.embedOutputFolder},
        {setting::ExtrToDir, m_model.extractOutputFolder},
        {setting::ZIPDir, m_model.zipFolder},
        {setting::UseSnd, textFromBoolean(useSound)},
        {setting::CropMode, QString::number(m_model.cropMode)},
        {setting::Encrypt, textFromBoolean(EncMIt->isChecked())},
        {setting::MaskCode, textFromBoolean(MaskCodeMIt->isChecked())},
        {setting::KeepBODT, textFromBoolean(OrigTmMIt->isChecked())},
    }};
    for (const auto& [key, value] : general) {
        m_settings->WriteSetting(setting::General, key, value);
    }
    const double tpp = twipsPerPixel();
    m_settings->WriteSetting(setting::Forms, setting::EmbedX, textFromNumber(pos().x() * tpp));
    m_settings->WriteSetting(setting::Forms, setting::EmbedY, textFromNumber(pos().y() * tpp));
}

void Embed1::removeWorkFiles() {
    if (m_temporaryFolder.isEmpty()) {
        return;
    }
    Engine& engine = m_environment.engine != nullptr ? *m_environment.engine : *m_ownEngine;
    const WipeWindowHooks hooks{[this] { windowReset(); },
                                [this](const QString& caption) {
                                    ProcLbl->setText(caption);
                                    ProcLbl->show();
                                },
                                [this] { ProcLbl->hide(); }};
    for (const QString& name : kWorkFiles) {
        WipeAndDeleteFile(m_temporaryFolder + name, 3, engine, *m_ui, hooks);
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

void Embed1::FunctBtn_Click(int index) {
    if (index < 0 || index >= kCommandCount) {
        return;
    }
    if (index < static_cast<int>(Command::Wipe)) {
        m_model.optionMarks &= static_cast<uint8_t>(~option::JustEmbedded);
    }
    switch (static_cast<Command>(index)) {
    case Command::ChooseDocument:
    case Command::ChooseBmp:
    case Command::Embed:
    case Command::Extract:
        // Their workflows are not part of the window yet.
        break;
    case Command::BmpInformation:
        ProgressBar1->setValue(0);
        m_model.helpContext = topic::BmpInformation;
        break;
    case Command::FullSizeView:
        ProgressBar1->setValue(0);
        m_model.helpContext = topic::FullSizeView;
        break;
    case Command::ChooseOutputFolder:
        m_model.helpContext = topic::OutputFolder;
        break;
    case Command::Stop:
        m_model.stopRequest = true;
        break;
    case Command::Wipe:
        wipe();
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
}

void Embed1::commandRefresh() {
    const uint8_t animatedBefore = m_model.animationMarks;
    const CommandRefresh refresh = refreshCommands(m_model);
    applyRefresh(m_model, refresh);
    if (refresh.resetProgressBar) {
        ProgressBar1->setValue(0);
    }
    for (int i = 0; i < kCommandCount; ++i) {
        const CommandSwitch value = refresh.commands[static_cast<size_t>(i)];
        if (value != CommandSwitch::Keep) {
            setCommandEnabled(i, value == CommandSwitch::Enable);
        }
    }
    for (QFrame* frame : {DocFme, BMPFme, ExToFme}) {
        frame->setEnabled(refresh.framesEnabled);
    }
    for (QPushButton* button : BMPStepBtn) {
        button->setVisible(refresh.framesEnabled);
    }
    // A button that stops animating shows its own picture again.
    const auto rest = [&](uint8_t mark, Command command) {
        if ((animatedBefore & mark) != 0 && (m_model.animationMarks & mark) == 0) {
            FunctBtn[static_cast<size_t>(command)]->setIcon(
                pictures::command(command, pixelRatio()));
        }
    };
    rest(animation::EmbedReady, Command::Embed);
    rest(animation::ExtractReady, Command::Extract);
    if (refresh.focus) {
        FunctBtn[static_cast<size_t>(*refresh.focus)]->setFocus();
    }
    FunctBtn[static_cast<size_t>(Command::ChooseOutputFolder)]->setToolTip(
        text(refresh.outputFolderTooltip));
}

void Embed1::setCommandEnabled(int index, bool enabled) {
    FunctBtn[static_cast<size_t>(index)]->setEnabled(enabled);
    const std::array<QAction*, kCommandCount> items = {DocMIt,    BMPMIt,   InfoMIt,    ViewMIt,
                                                       ExtrToMIt, EmbedMIt, ExtractMIt, StopMIt,
                                                       WipeMIt,   nullptr,  ResetMIt,   ExitMIt};
    if (QAction* item = items[static_cast<size_t>(index)]) {
        item->setEnabled(enabled);
        return;
    }
    // The help command has no item of its own: it stands for the whole Help menu, and the
    // menu's shortcuts go with it.
    HelpMnu->menuAction()->setEnabled(enabled);
    for (QAction* item : HelpMnu->actions()) {
        item->setEnabled(enabled);
    }
}

void Embed1::enableReset() {
    m_model.optionMarks |= option::ValueChanged;
    setCommandEnabled(static_cast<int>(Command::Reset), true);
}

void Embed1::normalPointer() {
    m_model.pointerMarks &= pointer::FrameShown | pointer::Adjusted;
    m_ui->setMousePointer(MousePointer::Default);
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

void Embed1::contextHelp() {
    if ((m_model.pointerMarks & pointer::CropShape) != 0) {
        normalPointer();
    }
    helpWindow().showTopic(m_model.helpContext);
}

void Embed1::showHelpContents() {
    helpWindow().showContents();
}

void Embed1::showHelpIndex() {
    helpWindow().showIndex();
}

void Embed1::wipe() {
    Engine& engine = m_environment.engine != nullptr ? *m_environment.engine : *m_ownEngine;
    WipeCommandHooks hooks;
    hooks.normalPointer = [this] { normalPointer(); };
    hooks.resetProgressBar = [this] { ProgressBar1->setValue(0); };
    hooks.clearDocumentPathBox = [this] { DocFileTxt->clear(); };
    hooks.wipe.resetWindow = [this] { windowReset(); };
    hooks.wipe.showProcessCaption = [this](const QString& caption) {
        ProcLbl->setText(caption);
        ProcLbl->show();
    };
    hooks.wipe.hideProcessCaption = [this] { ProcLbl->hide(); };
    WipeCommand(m_model, engine, *m_ui, hooks);
}

// ---------------------------------------------------------------------------------------------
// Window reset, code and options

void Embed1::windowReset() {
    ProgressBar1->setValue(0);
    m_model.optionMarks &= option::JustEmbedded;
    m_model.packingMarks &= packing::EncryptTicked;
    m_model.pointerMarks = 0;
    m_model.dragAnchorX = 0;
    m_model.dragAnchorY = 0;
    if (m_model.extractMode()) {
        showOutputMode(false);
    }
    for (QPushButton* button : BMPStepBtn) {
        button->setEnabled(false);
    }
    if (!m_model.hasOption(option::JustEmbedded)) {
        m_model.documentPathCopy.clear();
    }
    m_model.windowState = 0;
    commandRefresh();
    DocFileTxt->clear();
    m_model.documentLength = 0;
    m_model.payloadLength = 0;
    m_model.nameLength = 0;
    m_model.carrierColourBytes = 0;
    m_model.carrierCheckResult = 0;

    m_codeApplyGuard = true;
    EncCkB->setEnabled(false);
    EncCkBLbl->setEnabled(false);
    EncMIt->setEnabled(false);
    m_codeApplyGuard = false;

    DocSizeLbl->clear();
    EmbMaxLbl->clear();
    CropLbl->clear();
    BMPFileTxt->clear();
    BMPImg->clearPicture();
    InvalidBMPLbl->hide();
    BMPImg->setCropFrame(std::nullopt);
    updateNoGoSign();
    FunctBtn[static_cast<size_t>(Command::ChooseDocument)]->setFocus();
}

void Embed1::showOutputMode(bool extract) {
    if (!extract) {
        EmbFLbl->setText(text(TextId::ToEmbedCaption));
        setColour(EmbFLbl, kBlue);
        for (QWidget* widget :
             std::initializer_list<QWidget*>{EncCkB, EncCkBLbl, DocSzLbl, DocSizeLbl, CropPLbl,
                                             CropLbl, EmbMLbl, EmbMaxLbl, CropULbl}) {
            widget->show();
        }
        for (QPushButton* button : CropBtn) {
            button->show();
        }
    }
    ExToTxt->setText(extract ? m_model.extractOutputFolder : m_model.embedOutputFolder);
    OutToTypLbl->setText(text(extract ? TextId::ExtractMode : TextId::EmbedMode));
    setColour(OutToTypLbl, extract ? kRed : kBlue);
    setColour(OutToLbl, extract ? kRed : kBlue);
}

void Embed1::updateNoGoSign() {
    BMPImg->setNoGoVisible((m_model.windowState & 31) ==
                           (state::DocumentChosen | state::BmpChosen | state::BmpUsable));
}

int Embed1::encryptBoxValue() const {
    switch (EncCkB->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

void Embed1::setEncryptBox(int value) {
    EncCkB->setCheckState(value == 1   ? Qt::Checked
                          : value == 2 ? Qt::PartiallyChecked
                                       : Qt::Unchecked);
}

void Embed1::applyCode() {
    if (m_codeApplyGuard) {
        return;
    }
    CodeTxt->setEnabled(false);
    m_codeApplyGuard = true;
    const bool wantedBefore = (m_model.packingMarks & packing::EncryptionWanted) != 0;

    const bool longEnough = CodeTxt->text().size() >= kCodeMinLength;
    const bool ticked = encryptBoxValue() > 0;
    auto mark = [this](uint8_t bit, bool on) {
        m_model.packingMarks =
            static_cast<uint8_t>(on ? (m_model.packingMarks | bit) : (m_model.packingMarks & ~bit));
    };
    mark(packing::CodeLongEnough, longEnough);
    mark(packing::EncryptTicked, ticked);
    mark(packing::EncryptionWanted, longEnough && ticked);
    if (longEnough && ticked) {
        setEncryptBox(1);
        EncMIt->setChecked(true);
    } else if (ticked) {
        setEncryptBox(2);
        EncMIt->setChecked(true);
    } else {
        setEncryptBox(0);
        EncMIt->setChecked(false);
    }
    EncCkB->setEnabled(longEnough);
    EncCkBLbl->setEnabled(longEnough);
    EncMIt->setEnabled(longEnough);

    const bool wanted = (m_model.packingMarks & packing::EncryptionWanted) != 0;
    if ((m_model.windowState & state::DocumentChosen) != 0 && wanted != wantedBefore) {
        repackDocument();
    }
    m_codeApplyGuard = false;
    CodeTxt->setEnabled(true);
    CodeTxt->setFocus();
}

void Embed1::repackDocument() {
    // A document is chosen only once the document choice is wired to the window, and with it
    // the packing that runs here.
}

void Embed1::CodeTxt_Change() {
    m_model.packingMarks &= static_cast<uint8_t>(~packing::PackedEncrypted);
    applyCode();
    if (m_model.extractMode()) {
        ProgressBar1->setValue(0);
    }
    enableReset();
}

void Embed1::EncCkB_Click() {
    applyCode();
}

void Embed1::EncMIt_Click() {
    // The item has already changed its mark; the box follows, and applying the code may grey it.
    setEncryptBox(EncMIt->isChecked() ? 1 : 0);
}

void Embed1::MaskCodeMIt_Click() {
    if (!MaskCodeMIt->isChecked()) {
        // Unmasking never shows what was typed while masked.
        CodeTxt->clear();
        CodeTxt->setEchoMode(QLineEdit::Normal);
    } else {
        CodeTxt->setEchoMode(QLineEdit::Password);
    }
}

void Embed1::SoundMIt_Click() {
    m_model.soundSwitch = SoundMIt->isChecked();
    m_soundWanted = m_model.soundSwitch;
}

void Embed1::showCropChoice(int mode) {
    for (int i = 0; i < kCropModeCount; ++i) {
        CropBtn[static_cast<size_t>(i)]->setIcon(CropImg[static_cast<size_t>(i)]);
        CropMIt[static_cast<size_t>(i)]->setChecked(false);
    }
    // A stored mode without a crop control of its own marks none.
    if (mode >= 0 && mode < kCropModeCount) {
        CropBtn[static_cast<size_t>(mode)]->setIcon(
            CropImg[static_cast<size_t>(mode + kCropModeCount)]);
        CropMIt[static_cast<size_t>(mode)]->setChecked(true);
    }
}

void Embed1::CropBtn_Click(int index) {
    if ((m_model.pointerMarks & pointer::CropShape) != 0) {
        normalPointer();
    }
    ProgressBar1->setValue(0);
    m_model.cropMode = static_cast<uint8_t>(index);
    showCropChoice(index);
    if ((m_model.windowState & (state::PayloadFound | state::EmbedPossible)) !=
        state::EmbedPossible) {
        BMPImg->setCropFrame(std::nullopt);
        m_model.pointerMarks = 0;
    }
    m_model.pointerMarks &= pointer::FrameShown;
    enableReset();
}

void Embed1::CropMIt_Click(int index) {
    CropBtn[static_cast<size_t>(index)]->click();
}

} // namespace brindmar
