#include "viewers/bmpinfo1.h"

#include "util/PathHelpers.h"
#include "util/Settings.h"
#include "util/TrimBlanks.h"
#include "window/WindowPlacement.h"
#include "workflows/BmpInformation.h"
#include "workflows/DecodedPicture.h"
#include "workflows/WorkflowContext.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace brindmar {

namespace {

constexpr int kWidthTwips = 5940;
constexpr int kHeightTwips = 4335;
constexpr TextId kCaptions[kBmpInformationFields] = {TextId::InfoIdentifier,
                                                     TextId::InfoFileSize,
                                                     TextId::InfoImageOffset,
                                                     TextId::InfoHeaderSize,
                                                     TextId::InfoWidth,
                                                     TextId::InfoHeight,
                                                     TextId::InfoPlanes,
                                                     TextId::InfoBitsPerPixel,
                                                     TextId::InfoCompression,
                                                     TextId::InfoCompressedSize,
                                                     TextId::InfoHorizontalResolution,
                                                     TextId::InfoVerticalResolution,
                                                     TextId::InfoColoursUsed,
                                                     TextId::InfoImportantColours};

} // namespace

bmpinfo1::bmpinfo1(WorkflowContext& ctx, Settings& settings, std::function<void(int)> showHelp,
                   double twipsPerPixel, QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_settings(settings), m_showHelp(std::move(showHelp)),
      m_twipsPerPixel(twipsPerPixel) {
    setObjectName(QStringLiteral("bmpinfo1"));
    setWindowTitle(brindmar::tr(TextId::InfoWindowTitle));
    setModal(true);

    BMPFileTxt = new QLineEdit(this);
    BMPFileTxt->setObjectName(QStringLiteral("BMPFileTxt"));
    BMPFileTxt->setReadOnly(true);
    FileLbl = new QLabel(brindmar::tr(TextId::InfoFileLabel), this);
    FileLbl->setObjectName(QStringLiteral("FileLbl"));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(FileLbl);
    fileRow->addWidget(BMPFileTxt, 1);

    NoteLbl = new QLabel(this);
    NoteLbl->setObjectName(QStringLiteral("NoteLbl"));
    NoteLbl->setWordWrap(true);
    NoteLbl->hide();

    // Two columns of seven, caption beside value.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    for (int i = 0; i < kBmpInformationFields; ++i) {
        BMPInfoDescLbl[size_t(i)] = new QLabel(brindmar::tr(kCaptions[i]), this);
        BMPInfoDescLbl[size_t(i)]->setObjectName(QStringLiteral("BMPInfoDescLbl%1").arg(i));
        BMPInfoLbl[size_t(i)] = new QLabel(this);
        BMPInfoLbl[size_t(i)]->setObjectName(QStringLiteral("BMPInfoLbl%1").arg(i));
        BMPInfoLbl[size_t(i)]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const int column = i < 7 ? 0 : 2;
        grid->addWidget(BMPInfoDescLbl[size_t(i)], i % 7, column);
        grid->addWidget(BMPInfoLbl[size_t(i)], i % 7, column + 1);
    }

    CloseBtn = new QPushButton(brindmar::tr(TextId::CloseCaption), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setToolTip(brindmar::tr(TextId::CloseWindowTooltip));
    CloseBtn->setDefault(true);
    HelpBtn = new QPushButton(brindmar::tr(TextId::HelpCaption), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setToolTip(brindmar::tr(TextId::OpenHelpTooltip));
    HelpBtn->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CloseBtn);
    buttons->addWidget(HelpBtn);

    auto* column = new QVBoxLayout(this);
    column->addLayout(fileRow);
    column->addWidget(NoteLbl);
    column->addLayout(grid);
    column->addStretch(1);
    column->addLayout(buttons);

    // Close and Esc only hide the window; the title bar's close also keeps the position.
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] { m_showHelp(topic::BmpInformation); });
    restoreWindowPosition(*this, m_settings, setting::InfoX, setting::InfoY,
                          {kWidthTwips, kHeightTwips}, m_twipsPerPixel);
}

void bmpinfo1::showInformation() {
    m_ctx.model.helpContext = topic::BmpInformation;
    // A PNG image is described by the BMP of its pixels, under the PNG's name.
    const QString path = m_ctx.model.display.bmpPath;
    const QString shown = shownImagePath(m_ctx.model);
    BMPFileTxt->setText(shown);
    // The header fields are those of the work BMP, not of the file named: said so, with the
    // file's own size, which "File size" does not give.
    const bool converted = trimBlanks(shown) != trimBlanks(path);
    QString named = trimBlanks(shown);
    const QString kind = converted ? ExtensionOf(named).toUpper() : QString();
    FileLbl->setText(kind.isEmpty() ? brindmar::tr(TextId::InfoFileLabel)
                                    : QStringLiteral(".") + kind);
    NoteLbl->setText(converted ? QStringLiteral("These figures describe the %1's pixels as "
                                                "converted into a 24-bit BMP, not the file "
                                                "itself. The %1 file is %2 bytes.")
                                     .arg(kind.isEmpty() ? QStringLiteral("picture") : kind)
                                     .arg(QFileInfo(named).size())
                               : QString());
    NoteLbl->setVisible(converted);
    // The caption keeps naming a BMP, since the fields are a BMP's, and says whose pixels they are.
    setWindowTitle(converted ? brindmar::tr(TextId::InfoWindowTitle) +
                                   QStringLiteral(" (%1's pixels)")
                                       .arg(kind.isEmpty() ? QStringLiteral("picture") : kind)
                             : brindmar::tr(TextId::InfoWindowTitle));
    const auto values = ReadBmpInformation(m_ctx, trimBlanks(path));
    if (!values) {
        hide();
        return;
    }
    for (int i = 0; i < kBmpInformationFields; ++i) {
        BMPInfoLbl[size_t(i)]->setText((*values)[size_t(i)]);
    }
    CloseBtn->setFocus();
    exec();
}

void bmpinfo1::savePosition() {
    saveWindowPosition(*this, m_settings, setting::InfoX, setting::InfoY, m_twipsPerPixel);
}

void bmpinfo1::closeEvent(QCloseEvent* event) {
    savePosition();
    QDialog::closeEvent(event);
}

void bmpinfo1::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        m_showHelp(topic::BmpInformation);
        return;
    }
    QDialog::keyReleaseEvent(event);
}

} // namespace brindmar
