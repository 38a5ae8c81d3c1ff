#pragma once

#include "util/TextIds.h"
#include "window/CommandRefresh.h"
#include "window/Settings.h"
#include "window/ShellEnvironment.h"
#include "window/WindowModel.h"

#include <QMainWindow>
#include <QPixmap>
#include <array>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace brindmar {

class Engine;
class HelpWindow;
class QtUiServices;
class SoundSwitchedUi;
class ThumbnailView;
class UiServices;
class ZipService;

// The main window: the command surface, its start-up and shut-down, and the state all commands
// share. The window is a view of its model: the command refresh decides what is offered, the
// window only applies it and passes commands on.
class Embed1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Embed1(ShellEnvironment environment, QWidget* parent = nullptr);
    ~Embed1() override;

    // The load of the window: fixes the program-wide values, restores the options and places the
    // window. False when the program cannot run; the user has been told, and nothing is saved.
    bool startUp();

    void FunctBtn_Click(int index);
    void RestoreStartValues();
    void commandRefresh();
    void windowReset();
    void normalPointer();

    const WindowModel& model() const { return m_model; }
    WindowModel& model() { return m_model; }
    UiServices& ui();
    const QString& programFolder() const { return m_programFolder; }
    const QString& temporaryFolder() const { return m_temporaryFolder; }
    QString settingsFile() const;
    bool soundCapable() const { return m_soundCapable; }

    // Controls of the command surface, named as the rest of the program knows them.
    std::array<QPushButton*, kCommandCount> FunctBtn{};
    std::array<QPushButton*, 4> BMPStepBtn{};
    std::array<QPushButton*, kCropModeCount> CropBtn{};
    std::array<QAction*, kCropModeCount> CropMIt{};
    QFrame* FunctBtnFme = nullptr;
    QLabel* LogoImg = nullptr;
    QFrame* DocFme = nullptr;
    QLabel* EmbFLbl = nullptr;
    QLineEdit* DocFileTxt = nullptr;
    QLabel* DocNameLbl = nullptr;
    QLabel* DocSzLbl = nullptr;
    QLabel* DocSizeLbl = nullptr;
    QCheckBox* EncCkB = nullptr;
    QLabel* EncCkBLbl = nullptr;
    QFrame* BMPFme = nullptr;
    QLabel* BMPFLbl = nullptr;
    QLineEdit* BMPFileTxt = nullptr;
    QLabel* EmbMLbl = nullptr;
    QLabel* EmbMaxLbl = nullptr;
    QLabel* CropPLbl = nullptr;
    QLabel* CropLbl = nullptr;
    QLabel* CropULbl = nullptr;
    QFrame* BMPImgFme = nullptr;
    ThumbnailView* BMPImg = nullptr;
    QLabel* InvalidBMPLbl = nullptr;
    QLabel* CodeLbl = nullptr;
    QLineEdit* CodeTxt = nullptr;
    QFrame* ExToFme = nullptr;
    QLabel* OutToTypLbl = nullptr;
    QLabel* OutToLbl = nullptr;
    QLineEdit* ExToTxt = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* ProcLbl = nullptr;
    QTimer* AnimTmr = nullptr;

    QMenu* FileMnu = nullptr;
    QMenu* EmbedMnu = nullptr;
    QMenu* HelpMnu = nullptr;
    QMenu* CropToMIt = nullptr;
    QAction* DocMIt = nullptr;
    QAction* BMPMIt = nullptr;
    QAction* ExtrToMIt = nullptr;
    QAction* InfoMIt = nullptr;
    QAction* ViewMIt = nullptr;
    QAction* ZIPMIt = nullptr;
    QAction* WipeMIt = nullptr;
    QAction* ResetMIt = nullptr;
    QAction* ExitMIt = nullptr;
    QAction* EmbedMIt = nullptr;
    QAction* ExtractMIt = nullptr;
    QAction* StopMIt = nullptr;
    QAction* EncMIt = nullptr;
    QAction* OrigTmMIt = nullptr;
    QAction* MaskCodeMIt = nullptr;
    QAction* SoundMIt = nullptr;
    QAction* HelpCurrentMIt = nullptr;
    QAction* HelpContMIt = nullptr;
    QAction* HelpSearchMIt = nullptr;

    // Pictures: CropImg 0-15 rest, 16-31 mark the selected choice; AnimImg 1-9 (0 unused).
    std::array<QPixmap, 2 * kCropModeCount> CropImg;
    std::array<QPixmap, 10> AnimImg;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupCommandRow();
    void setupDocumentFrame();
    void setupBmpFrame();
    void setupCodeRow();
    void setupOutputFrame();
    void setupStatusRow();
    void setupLayout();
    void setupMenus();
    void setupPictures();
    void setupAnimation();
    void setupFocusTopics();
    void setupPointerWatch();

    // Start-up steps.
    void setupProgramValues();
    void CaptionSetUp();
    void setupSounds();
    bool initializeZipService();
    void placeWindow();

    void shutDown();
    void saveSettings();
    void removeWorkFiles();

    // Commands.
    void contextHelp();
    void showHelpContents();
    void showHelpIndex();
    void wipe();
    void setCommandEnabled(int index, bool enabled);
    void enableReset();
    void animate();

    // Code and options.
    void CodeTxt_Change();
    void applyCode();
    void repackDocument();
    void EncCkB_Click();
    void EncMIt_Click();
    void MaskCodeMIt_Click();
    void SoundMIt_Click();
    void CropBtn_Click(int index);
    void CropMIt_Click(int index);
    void showCropChoice(int mode);
    void setEncryptBox(int value);
    int encryptBoxValue() const;
    void showOutputMode(bool extract);
    void updateNoGoSign();

    HelpWindow& helpWindow();
    QString text(TextId id) const;
    double twipsPerPixel() const;
    qreal pixelRatio() const;

    ShellEnvironment m_environment;
    WindowModel m_model;
    std::unique_ptr<QtUiServices> m_qtUi;
    std::unique_ptr<SoundSwitchedUi> m_ui;
    std::unique_ptr<ZipService> m_ownZip;
    std::unique_ptr<Engine> m_ownEngine;
    std::unique_ptr<Settings> m_settings;
    HelpWindow* m_help = nullptr;

    QString m_programFolder;
    QString m_temporaryFolder;
    QString m_helpFolder;
    std::array<QString, 3> m_soundFiles;
    bool m_soundCapable = false;
    // The user's own choice of sound, kept even on a run where no sound can be played.
    bool m_soundWanted = true;
    bool m_codeApplyGuard = false;
    bool m_started = false;
    bool m_shutDown = false;
};

} // namespace brindmar
