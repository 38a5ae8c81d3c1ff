#pragma once

#include "util/LinuxPlatform.h"
#include "util/Settings.h"
#include "util/TextIds.h"
#include "window/OutcomeMessages.h"
#include "window/ShellEnvironment.h"
#include "workflows/View.h"
#include "workflows/WindowModel.h"
#include "workflows/WorkflowContext.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

class QAction;
class QDropEvent;
class QKeyEvent;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace brindmar {

class PictureConverter;

class Engine;
class HelpWindow;
class PresetFileChoiceUi;
class bmpinfo1;
class bmpview1;
class QtUiServices;
class SoundSwitchedUi;
class ThumbnailView;
class UiServices;
class ZipService;

// The main window: it builds the widgets, forwards every event to its workflow and renders the
// model. What is offered, shown and chosen is decided by the workflows on the model; the window
// decides nothing of its own. Set-up lives in Embed1.cpp and Embed1Captions.cpp, start-up and
// shut-down in Embed1StartUp.cpp, event forwarding in Embed1Events.cpp, render in
// Embed1Render.cpp.
class Embed1 : public QMainWindow, public View {
    Q_OBJECT

public:
    explicit Embed1(ShellEnvironment environment, QWidget* parent = nullptr);
    ~Embed1() override;

    // The load of the window: fixes the program-wide values, restores the options and places the
    // window. False when the program cannot run; the user has been told, and nothing is saved.
    bool startUp();

    void FunctBtn_Click(int index);
    // The program's arguments as Qt leaves them: the first that is not an option names a carrier,
    // taken relative to the current folder and chosen as if picked in the BMP dialog.
    void openFromCommandLine(const QStringList& arguments);
    void RestoreStartValues();
    // Closes the window as soon as nothing is running under it: for the window manager's close,
    // logout and a terminal's interrupt alike.
    void requestClose();

    // Applies the model to the widgets, touching only those that differ.
    void render() override;

    const WindowModel& model() const { return m_model; }
    WindowModel& model() { return m_model; }
    WorkflowContext& context() { return *m_ctx; }
    UiServices& ui();
    const QString& programFolder() const { return m_ctx->programFolder; }
    const QString& temporaryFolder() const { return m_ctx->temporaryFolder; }
    QString settingsFile() const;
    bool soundCapable() const { return m_model.soundCapable; }

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
    QCheckBox* StrongCkB = nullptr;
    QLabel* StrongCkBLbl = nullptr;
    QCheckBox* StealthCkB = nullptr;
    QLabel* StealthCkBLbl = nullptr;
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
    QComboBox* ImgFmtCbo = nullptr; // the new image's format, in Embed1Format.cpp
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
    QAction* ConvertMIt = nullptr;
    QAction* WipeMIt = nullptr;
    QAction* ResetMIt = nullptr;
    QAction* ExitMIt = nullptr;
    QAction* EmbedMIt = nullptr;
    QAction* ExtractMIt = nullptr;
    QAction* StopMIt = nullptr;
    QAction* EncMIt = nullptr;
    QAction* StrongMIt = nullptr;
    QAction* StealthMIt = nullptr;
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
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The status row names the file a command wrote and its folder, until the next command.
    void showWritten(const Outcome& outcome);
    QString m_writtenStatus;

    void setupCommandRow();
    void setupDocumentFrame();
    void setupBmpFrame();
    void setupCodeRow();
    void setupOutputFrame();
    void setupFormatChoice();
    void setupStatusRow();
    void setupLayout();
    void setupMenus();
    void setupPictures();
    void setupAnimation();
    void setupFocusTopics();
    void setupPointerWatch();
    void connectEvents();
    void setupDrops();

    // Start-up steps.
    void setupProgramValues();
    void CaptionSetUp();
    void setupSounds();
    bool initializeZipService();
    void placeWindow();

    void shutDown();
    void saveSettings();
    void removeWorkFiles();

    // Commands the window itself carries out: they open windows of its own.
    void contextHelp();
    void showHelpContents();
    void showHelpIndex();
    void animate();

    // A file named outside the dialog goes through the command's own workflow with the dialog
    // answered in advance; nothing happens while the command is not offered.
    void chooseWithoutDialog(Command command, const QString& path);
    bool handleDragAndDrop(QObject* target, QDropEvent& event);
    std::optional<QString> droppedFile(const QObject* target, const QDropEvent& event) const;

    // Render steps.
    void renderTexts();
    void renderLayout();
    void renderOptions();
    void renderCommands();
    void renderThumbnail();
    void renderFocus();
    void renderFormatChoice();
    void setCommandEnabled(int index, bool enabled);

    HelpWindow& helpWindow();
    bmpinfo1& informationWindow();
    bmpview1& fullSizeViewer();
    QString text(TextId id) const;
    double twipsPerPixel() const;
    qreal pixelRatio() const;
    Engine& engine();
    ZipService& zip();

    ShellEnvironment m_environment;
    WindowModel m_model;
    std::unique_ptr<QtUiServices> m_qtUi;
    std::unique_ptr<PresetFileChoiceUi> m_presetUi;
    std::unique_ptr<SoundSwitchedUi> m_ui;
    std::unique_ptr<ZipService> m_ownZip;
    std::unique_ptr<Engine> m_ownEngine;
    std::unique_ptr<PictureConverter> m_pictures;
    LinuxPlatform m_platform;
    std::unique_ptr<Settings> m_settings;
    OutcomeMessages m_outcomes;
    std::unique_ptr<WorkflowContext> m_ctx;
    QPointer<HelpWindow> m_help; // may go with the viewer it was last shown over
    bmpinfo1* m_info = nullptr;
    bmpview1* m_viewer = nullptr;

    QString m_helpFolder;
    std::array<QString, 3> m_soundFiles;
    bool m_started = false;
    bool m_shutDown = false;
    bool m_closePending = false;

    // What the last render applied, where a widget cannot be asked cheaply.
    uint32_t m_renderedFocusRequests = 0;
    uint8_t m_renderedAnimation = 0;
    int m_renderedCropMode = -1;
    const ThumbnailImage* m_renderedThumbnail = nullptr;
    std::optional<QRect> m_renderedCropFrame;
};

} // namespace brindmar
