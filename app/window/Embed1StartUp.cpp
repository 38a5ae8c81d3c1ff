#include "window/Embed1.h"

#include "operations/ZipService.h"
#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "util/WorkFolders.h"
#include "viewers/bmpinfo1.h"
#include "window/HelpWindow.h"
#include "window/QtUiServices.h"
#include "window/SoundSwitchedUi.h"
#include "window/ThumbnailView.h"
#include "window/WindowPlacement.h"
#include "workflows/DocumentPacking.h"
#include "workflows/OutputFormatChoice.h"
#include "workflows/DecodedPicture.h"
#include "workflows/StartValues.h"
#include "workflows/WipeCommand.h"

#include <QAction>
#include <QAudioDevice>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QMediaDevices>
#include <QTimer>

namespace brindmar {

namespace {

const QString kSoundNames[] = {QStringLiteral("success.wav"), QStringLiteral("error.wav"),
                               QStringLiteral("attention.wav")};

} // namespace

bool Embed1::startUp() {
    setupProgramValues();
    if (text(TextId::LayoutVariant) == QStringLiteral("1")) {
        ExToTxt->setFixedWidth(qRound(3435 / twipsPerPixel()));
    }
    CaptionSetUp();
    m_model.display.encryptEnabled = false;
    m_model.cropMode = 1;
    m_model.twipsPerPixelX = twipsPerPixel();
    m_model.twipsPerPixelY = twipsPerPixel();
    m_model.devicePixelRatio = pixelRatio();
    m_model.thumbnailBoxWidth = BMPImg->width() * twipsPerPixel();
    m_model.thumbnailBoxHeight = BMPImg->height() * twipsPerPixel();
    RestoreStartValues();
    setupSounds();
    if (!initializeZipService()) {
        return false;
    }
    placeWindow();
    m_ctx->letEventsRun();
    AnimTmr->start();
    m_started = true;
    return true;
}

void Embed1::setupProgramValues() {
    const QString settingsFile = m_environment.settingsFile.isEmpty() ? defaultSettingsFilePath()
                                                                      : m_environment.settingsFile;
    m_settings = std::make_unique<Settings>(settingsFile, m_ui.get());

    // A folder of this window's own: a second window, or the command line, keeps its work files.
    m_ctx->temporaryFolder = m_environment.temporaryFolder.isEmpty()
                                 ? claimRunFolder(privateTemporaryFolder())
                                 : m_environment.temporaryFolder;
    const QString start = m_environment.startFolder.isEmpty()
                              ? QCoreApplication::applicationDirPath()
                              : m_environment.startFolder;
    m_ctx->programFolder = programFolderFrom(start);
    m_helpFolder = dataEntry(m_ctx->programFolder, QStringLiteral("help")) + QDir::separator();
}

void Embed1::setupSounds() {
    for (size_t i = 0; i < m_soundFiles.size(); ++i) {
        m_soundFiles[i] = dataEntry(m_ctx->programFolder, kSoundNames[i]);
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
    // A missing sound device does not overwrite the user's choice, and a user who switched
    // sound off finds the item still offered, just unticked.
    m_model.soundCapable = filesExist && outputs > 0;
    m_model.soundWanted = m_settings->readOption(setting::UseSnd);
    m_model.soundSwitch = m_model.soundCapable && m_model.soundWanted;
    m_model.display.soundEnabled = m_model.soundCapable;
    m_model.display.soundChecked = m_model.soundSwitch;
    render();
}

bool Embed1::initializeZipService() {
    // A service that cannot be called at all reads as a status of 0, as every caller treats it.
    const int16_t status = zip().ZSInitialize().value_or(0);
    if (status <= 1) {
        return true;
    }
    m_ui->alert(Sound::Error);
    m_ui->showMessage(
        Message{text(TextId::ProductName), text(TextId::StartUpFailure), MessageIcon::Exclamation});
    return false;
}

void Embed1::placeWindow() {
    restoreWindowPosition(*this, *m_settings, setting::EmbedX, setting::EmbedY,
                          {kMainWindowWidthTwips, kMainWindowHeightTwips}, twipsPerPixel());
}

void Embed1::RestoreStartValues() {
    brindmar::RestoreStartValues(
        *m_ctx, *m_settings,
        m_environment.userDataFolder.isEmpty() ? userDataFolder() : m_environment.userDataFolder);
}

void Embed1::closeEvent(QCloseEvent* event) {
    // Shutting down under a running embed or extract would wipe the work archive the engine
    // is reading. The run is asked to stop instead; it ends at its next block, removes what it
    // had written, and the close follows.
    if (m_model.operationRunning()) {
        m_model.stopRequest = true;
        m_closePending = true;
        event->ignore();
        return;
    }
    m_closePending = false;
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
    if (m_info != nullptr) {
        m_info->savePosition();
    }
    removeWorkFiles();
    if (m_help != nullptr) {
        m_help->close();
        m_ui->processPendingEvents();
    }
}

void Embed1::saveSettings() {
    // On a run without sound the switch is off perforce; the user's own choice is what is kept.
    const bool useSound = m_model.soundCapable ? m_model.soundSwitch : m_model.soundWanted;
    const WindowDisplay& shown = m_model.display;
    const std::array<std::pair<QString, QString>, 12> general = {{
        {setting::DocDir, m_model.documentFolder},
        {setting::BMPDir, m_model.bmpFolder},
        {setting::EmbToDir, m_model.embedOutputFolder},
        {setting::ExtrToDir, m_model.extractOutputFolder},
        {setting::ZIPDir, m_model.zipFolder},
        {setting::UseSnd, textFromBoolean(useSound)},
        {setting::CropMode, QString::number(m_model.cropMode)},
        {setting::Encrypt, textFromBoolean(shown.encryptBox != kEncryptUnticked)},
        {setting::Strong, textFromBoolean(shown.strongBox)},
        {setting::Stealth, textFromBoolean(shown.stealthBox)},
        {setting::MaskCode, textFromBoolean(shown.maskCodeChecked)},
        {setting::KeepBODT, textFromBoolean(shown.keepTimesChecked)},
    }};
    for (const auto& [key, value] : general) {
        m_settings->WriteSetting(setting::General, key, value);
    }
    m_settings->WriteSetting(setting::General, setting::ImgFormat,
                             formatSettingText(m_model.imageFormat));
    saveWindowPosition(*this, *m_settings, setting::EmbedX, setting::EmbedY, twipsPerPixel());
}

void Embed1::removeWorkFiles() {
    ReleaseDecodedPicture(*m_ctx);
    WipeWorkFiles(*m_ctx);
    releaseRunFolder(m_ctx->temporaryFolder);
}

} // namespace brindmar
