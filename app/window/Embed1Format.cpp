#include "window/Embed1.h"

#include "workflows/OutputFormatChoice.h"

#include <QComboBox>
#include <QFrame>
#include <QLayout>
#include <QSignalBlocker>

namespace brindmar {

// The format choice closes the output row, which gives up its width to it: the window's
// width stays as it is.
void Embed1::setupFormatChoice() {
    ImgFmtCbo = new QComboBox(ExToFme);
    ImgFmtCbo->setObjectName(QStringLiteral("ImgFmtCbo"));
    for (int i = 0; i < kFormatChoiceCount; ++i) {
        ImgFmtCbo->addItem(formatChoiceCaption(i));
    }
    ImgFmtCbo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ExToFme->layout()->addWidget(ImgFmtCbo);
    connect(ImgFmtCbo, &QComboBox::activated, this,
            [this](int index) { ChooseOutputFormat(*m_ctx, index); });
}

void Embed1::renderFormatChoice() {
    // Extraction, and the stealth search offered in the embed layout, write no image.
    const bool shown = !m_model.display.extractLayout && !m_model.display.extractOutput;
    if (ImgFmtCbo->isVisibleTo(this) != shown) {
        ImgFmtCbo->setVisible(shown);
    }
    const int index = formatChoiceIndex(m_model.imageFormat);
    if (ImgFmtCbo->currentIndex() != index) {
        const QSignalBlocker quiet(ImgFmtCbo);
        ImgFmtCbo->setCurrentIndex(index);
    }
    const bool enabled = formatChoiceEnabled(m_model);
    if (ImgFmtCbo->isEnabled() != enabled) {
        ImgFmtCbo->setEnabled(enabled);
    }
    const QString tip = formatChoiceTooltip(m_model);
    if (ImgFmtCbo->toolTip() != tip) {
        ImgFmtCbo->setToolTip(tip);
    }
}

} // namespace brindmar
