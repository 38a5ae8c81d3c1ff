#pragma once

#include <QDialog>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace brindmar {

class Settings;
struct WorkflowContext;

// The BMP information window: the header fields of the main window's current BMP, read afresh
// every time it is shown. It decides nothing: the reading and its messages are the core's.
class bmpinfo1 final : public QDialog {
    Q_OBJECT

public:
    bmpinfo1(WorkflowContext& ctx, Settings& settings, std::function<void(int)> showHelp,
             double twipsPerPixel, QWidget* parent);

    // Reads the header of the chosen BMP and, when it can be read, shows it until closed.
    void showInformation();
    // The position goes to the settings when the window is closed from its title bar and when
    // the program ends.
    void savePosition();

    QLineEdit* BMPFileTxt = nullptr;
    QLabel* FileLbl = nullptr;
    // For a picture read through the BMP of its pixels: what the figures describe.
    QLabel* NoteLbl = nullptr;
    std::array<QLabel*, 14> BMPInfoDescLbl{};
    std::array<QLabel*, 14> BMPInfoLbl{};
    QPushButton* CloseBtn = nullptr;
    QPushButton* HelpBtn = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    WorkflowContext& m_ctx;
    Settings& m_settings;
    std::function<void(int)> m_showHelp;
    double m_twipsPerPixel;
};

} // namespace brindmar
