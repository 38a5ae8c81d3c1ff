#include "workflows/StartValues.h"

#include "util/ProgramFolders.h"
#include "util/Settings.h"
#include "workflows/CodeEntry.h"
#include "workflows/OutputFormatChoice.h"
#include "workflows/WindowReset.h"

namespace brindmar {

void RestoreStartValues(WorkflowContext& ctx, Settings& settings, const QString& userDataFolder) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    m.soundSwitch = false;
    if (m.soundCapable) {
        m.soundWanted = settings.readOption(setting::UseSnd);
        m.soundSwitch = m.soundWanted;
    }
    shown.soundChecked = m.soundSwitch;

    m.packingMarks = 0;
    // The box's click handler runs whether or not the value changes, so that the menu item
    // always ends up matching the stored option.
    shown.encryptBox = settings.readOption(setting::Encrypt) ? kEncryptTicked : kEncryptUnticked;
    shown.strongBox =
        booleanFromText(settings.ReadSetting(setting::General, setting::Strong)).value_or(false);
    shown.stealthBox =
        booleanFromText(settings.ReadSetting(setting::General, setting::Stealth)).value_or(false);
    if (shown.stealthBox) {
        shown.strongBox = true;
    }
    ApplyEncryptChoice(ctx);
    if (settings.readOption(setting::MaskCode)) {
        shown.maskCodeChecked = true;
        shown.codeMasked = true;
    } else {
        shown.maskCodeChecked = false;
    }
    shown.keepTimesChecked = settings.readOption(setting::KeepBODT);
    m.imageFormat = formatFromSetting(settings.ReadSetting(setting::General, setting::ImgFormat));
    if (const auto mode = settings.readCropMode()) {
        m.cropMode = *mode;
    }

    // The default output folder is made only when no stored folder can be used: a user who
    // chose their own never finds an "Output" folder appearing beside the program.
    const QString storedEmbed = settings.ReadSetting(setting::General, setting::EmbToDir);
    m.embedOutputFolder = existingFolderOr(storedEmbed, QString());
    if (m.embedOutputFolder.isEmpty()) {
        m.embedOutputFolder = defaultEmbedOutputFolder(
            ctx.programFolder, tr(TextId::DefaultOutputFolder), userDataFolder);
    }
    m.extractOutputFolder = existingFolderOr(
        settings.ReadSetting(setting::General, setting::ExtrToDir), m.embedOutputFolder);
    m.bmpFolder = settings.ReadSetting(setting::General, setting::BMPDir);
    shown.outputFolder = m.embedOutputFolder;
    shown.extractLayout = false;
    m.documentFolder = settings.ReadSetting(setting::General, setting::DocDir);
    const QString zipFolder = settings.ReadSetting(setting::General, setting::ZIPDir);
    m.zipFolder = zipFolder.isEmpty() ? QString() : existingFolderOr(zipFolder, QString());

    WindowReset(ctx);
    if (!m.code.isEmpty()) {
        ChangeCode(ctx, QString());
    }
    m.requestFocus(FocusTarget::Command, static_cast<int>(Command::Reset));
    shown.commandEnabled[static_cast<size_t>(Command::Reset)] = false;
    ctx.render();
}

} // namespace brindmar
