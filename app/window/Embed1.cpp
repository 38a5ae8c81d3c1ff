#include "window/Embed1.h"

#include "imaging/QtPictureConverter.h"
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "util/PresetFileChoiceUi.h"
#include "util/StringTable.h"
#include "window/Pictures.h"
#include "window/QtUiServices.h"
#include "window/SoundSwitchedUi.h"
#include "window/ThumbnailView.h"
#include "window/WidgetColours.h"
#include "window/WindowPlacement.h"
#include "workflows/ButtonAnimation.h"
#include "workflows/CodeEntry.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace brindmar {

namespace {

constexpr int kThumbnailWidth = 184;
constexpr int kThumbnailHeight = 168;
constexpr int kCommandButtonSize = 32;
constexpr int kCropButtonSize = 27;
constexpr int kStepButtonWidth = 30;

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

} // namespace

Embed1::Embed1(ShellEnvironment environment, QWidget* parent)
    : QMainWindow(parent), m_environment(std::move(environment)) {
    setObjectName(QStringLiteral("Embed1"));
    if (m_environment.ui == nullptr) {
        m_qtUi = std::make_unique<QtUiServices>(this);
    }
    m_presetUi = std::make_unique<PresetFileChoiceUi>(
        m_environment.ui != nullptr ? *m_environment.ui : *m_qtUi);
    m_ui = std::make_unique<SoundSwitchedUi>(*m_presetUi, m_model.soundSwitch);
    if (m_environment.zip == nullptr) {
        m_ownZip = std::make_unique<LibZipService>();
    }
    if (m_environment.engine == nullptr) {
        m_ownEngine = std::make_unique<EngineBinding>(m_environment.startFolder.isEmpty()
                                                          ? QCoreApplication::applicationDirPath()
                                                          : m_environment.startFolder);
    }
    m_pictures = std::make_unique<QtPictureConverter>();
    m_ctx.reset(new WorkflowContext{
        m_model, *m_ui, zip(), engine(), m_platform, *this, {}, {}, m_pictures.get()});
    m_ctx->outcomes = &m_outcomes;
    m_ctx->notices = &m_outcomes;

    setupCommandRow();
    setupDocumentFrame();
    setupBmpFrame();
    setupCodeRow();
    setupOutputFrame();
    setupFormatChoice();
    setupStatusRow();
    setupLayout();
    setupMenus();
    setupPictures();
    setupAnimation();
    setupFocusTopics();
    setupPointerWatch();
    setupDrops();
    connectEvents();
}

Embed1::~Embed1() = default;

UiServices& Embed1::ui() {
    return *m_ui;
}

Engine& Embed1::engine() {
    return m_environment.engine != nullptr ? *m_environment.engine : *m_ownEngine;
}

ZipService& Embed1::zip() {
    return m_environment.zip != nullptr ? *m_environment.zip : *m_ownZip;
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
    StrongCkB = new QCheckBox(DocFme);
    StrongCkB->setObjectName(QStringLiteral("StrongCkB"));
    StrongCkBLbl = makeLabel(DocFme, "StrongCkBLbl");
    StrongCkBLbl->setBuddy(StrongCkB);
    StealthCkB = new QCheckBox(DocFme);
    StealthCkB->setObjectName(QStringLiteral("StealthCkB"));
    StealthCkBLbl = makeLabel(DocFme, "StealthCkBLbl");
    StealthCkBLbl->setBuddy(StealthCkB);

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
    // Under Encrypt, which it implies; beside it the window would outgrow its width.
    grid->addWidget(StrongCkB, 2, 4);
    grid->addWidget(StrongCkBLbl, 2, 5);
    // Beside Strong protection, which it implies: a row of its own would outgrow the window's
    // height.
    auto* stealth = new QHBoxLayout;
    stealth->setSpacing(6);
    stealth->addStretch();
    stealth->addWidget(StealthCkB);
    stealth->addWidget(StealthCkBLbl);
    grid->addLayout(stealth, 2, 0, 1, 4);
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
    left->addWidget(BMPFme);
    left->addLayout(code);
    left->addWidget(ExToFme);
    // Spare height goes below the rows, which keep together as they are at the window's size.
    left->addStretch(1);

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
    auto option = [](QMenu* menu, const char* name) {
        auto* action = menu->addAction(QString());
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        return action;
    };

    FileMnu = menuBar()->addMenu(QString());
    FileMnu->setObjectName(QStringLiteral("FileMnu"));
    DocMIt = command(FileMnu, "DocMIt", 0);
    BMPMIt = command(FileMnu, "BMPMIt", 1);
    ConvertMIt = FileMnu->addAction(QString());
    ConvertMIt->setObjectName(QStringLiteral("ConvertMIt"));
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
    StrongMIt = option(EmbedMnu, "StrongMIt");
    StealthMIt = option(EmbedMnu, "StealthMIt");
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
        CropMIt[static_cast<size_t>(i)] = item;
    }
    OrigTmMIt = option(EmbedMnu, "OrigTmMIt");
    MaskCodeMIt = option(EmbedMnu, "MaskCodeMIt");
    SoundMIt = option(EmbedMnu, "SoundMIt");

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
    StrongCkB->installEventFilter(this);
    StealthCkB->installEventFilter(this);
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

} // namespace brindmar
