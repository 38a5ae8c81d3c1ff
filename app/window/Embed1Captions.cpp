#include "window/Embed1.h"

#include "window/WidgetColours.h"
#include "workflows/CommandRefresh.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace brindmar {

void Embed1::CaptionSetUp() {
    setWindowTitle(text(TextId::ProductName));
    EmbFLbl->setText(text(TextId::ToEmbedCaption));
    setColour(EmbFLbl, kBlue);
    EncCkBLbl->setText(text(TextId::EncryptCaption));
    StrongCkBLbl->setText(QStringLiteral("Strong protection"));
    StealthCkBLbl->setText(QStringLiteral("Stealth"));
    // The size shown is the document packed, which moves with the code and the protection.
    DocSzLbl->setText(QStringLiteral("Packed size:"));
    DocSzLbl->setToolTip(QStringLiteral("The document's size once packed for the image: it "
                                        "changes with the code and the protection chosen"));
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
    ConvertMIt->setText(QStringLiteral("Convert picture to BMP..."));
    WipeMIt->setText(amp + text(TextId::WipeFileItem));
    ResetMIt->setText(text(TextId::ResetItem));
    ExitMIt->setText(text(TextId::ExitItem));
    EmbedMnu->setTitle(amp + text(TextId::EmbedMode));
    EmbedMIt->setText(text(TextId::EmbedItem));
    ExtractMIt->setText(text(TextId::ExtractItem));
    StopMIt->setText(amp + text(TextId::StopProcessingItem));
    EncMIt->setText(text(TextId::EncryptItem));
    StrongMIt->setText(QStringLiteral("Strong protection"));
    StealthMIt->setText(QStringLiteral("Stealth"));
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

} // namespace brindmar
