#include "window/QtUiServices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace brindmar {

namespace {

// Two beeps must be heard as two.
constexpr int kBeepGapMs = 220;

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

Qt::CursorShape cursorShape(MousePointer pointer) {
    switch (pointer) {
    case MousePointer::Hourglass:
        return Qt::WaitCursor;
    case MousePointer::SizeAll:
        return Qt::SizeAllCursor;
    case MousePointer::SizeHorizontal:
        return Qt::SizeHorCursor;
    case MousePointer::SizeVertical:
        return Qt::SizeVerCursor;
    case MousePointer::Default:
    case MousePointer::Arrow:
        break;
    }
    return Qt::ArrowCursor;
}

} // namespace

QtUiServices::QtUiServices(QWidget* parent) : m_parent(parent) {}

void QtUiServices::setSounds(std::array<QString, 3> soundFiles, int audioOutputs) {
    m_soundFiles = std::move(soundFiles);
    m_audio = audioOutputs > 0;
    for (size_t i = 0; i < m_effects.size(); ++i) {
        m_effects[i].reset();
        if (m_audio) {
            // Loaded ahead, so that the first message is not kept waiting for its sound.
            m_effects[i] = std::make_unique<QSoundEffect>();
            m_effects[i]->setSource(QUrl::fromLocalFile(m_soundFiles[i]));
        }
    }
}

QtUiServices::~QtUiServices() {
    setMousePointer(MousePointer::Default);
}

MessageAnswer QtUiServices::showMessage(const Message& message) {
    QMessageBox box(boxIcon(message.icon), message.title, message.text, QMessageBox::NoButton,
                    m_parent);
    const bool choices = message.buttons == MessageButtons::TwoChoices;
    QPushButton* ok = choices ? box.addButton(message.firstChoice, QMessageBox::AcceptRole)
                              : box.addButton(QMessageBox::Ok);
    QPushButton* second =
        choices ? box.addButton(message.secondChoice, QMessageBox::AcceptRole) : nullptr;
    QPushButton* cancel = nullptr;
    if (message.buttons != MessageButtons::Ok) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
    }
    box.setDefaultButton(
        message.defaultButton == DefaultButton::Second && cancel != nullptr ? cancel : ok);
    // A busy pointer must not hide the question from the user.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
    if (cancel != nullptr && box.clickedButton() == cancel) {
        return MessageAnswer::Cancel;
    }
    return second != nullptr && box.clickedButton() == second ? MessageAnswer::Second
                                                              : MessageAnswer::Ok;
}

void QtUiServices::playSound(Sound sound) {
    const auto index = static_cast<size_t>(sound);
    if (!m_audio) {
        beep(sound == Sound::Error ? 2 : 1);
        return;
    }
    m_effects[index]->play();
}

void QtUiServices::beep(int count) {
    for (int i = 0; i < count; ++i) {
        if (i == 0) {
            QApplication::beep();
        } else {
            QTimer::singleShot(kBeepGapMs * i, qApp, [] { QApplication::beep(); });
        }
    }
}

QString QtUiServices::dialogFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        entries << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    return entries.join(QStringLiteral(";;"));
}

std::optional<QString> QtUiServices::askCodeAgain(const Message& message) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(message.title);
    dialog.setInputMode(QInputDialog::TextInput);
    // Always masked: it is asked to catch a typing error the eye would not.
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setLabelText(message.text);
    // The question is long: on one line it made the box wider than the window, and than a
    // small screen. Wrapped, the box is no wider than the window it asks over.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        label->setWordWrap(true);
    }
    const QScreen* screen =
        m_parent != nullptr ? m_parent->screen() : QGuiApplication::primaryScreen();
    int widest = screen != nullptr ? screen->availableGeometry().width() * 9 / 10 : 0;
    if (m_parent != nullptr && m_parent->isVisible()) {
        widest = widest > 0 ? std::min(widest, std::max(m_parent->width(), 360))
                            : std::max(m_parent->width(), 360);
    }
    if (widest > 0) {
        dialog.setMaximumWidth(widest);
    }
    const bool accepted = dialog.exec() == QDialog::Accepted;
    QApplication::restoreOverrideCursor();
    if (!accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

std::optional<QString> QtUiServices::chooseFile(const FileDialogRequest& request) {
    QString start = request.initialFolder;
    if (!request.fileName.isEmpty()) {
        start = QDir::isAbsolutePath(request.fileName) ? request.fileName
                                                       : QDir(start).filePath(request.fileName);
    }
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    // The path the user picked is the one acted on (wiped, deleted): a link stays a link.
    const QString chosen =
        QFileDialog::getOpenFileName(m_parent, request.title, start, dialogFilter(request.filter),
                                     nullptr, QFileDialog::DontResolveSymlinks);
    QApplication::restoreOverrideCursor();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return intactChoice(QDir::toNativeSeparators(chosen));
}

bool QtUiServices::nameIntact(const QString& path) {
    return !path.contains(QChar::ReplacementCharacter) &&
           QFile::decodeName(QFile::encodeName(path)) == path;
}

std::optional<QString> QtUiServices::intactChoice(const QString& chosen) {
    if (nameIntact(chosen)) {
        return chosen;
    }
    showMessage(Message{QStringLiteral("File select error"),
                        chosen + QStringLiteral("\n\nThe name is not valid UTF-8 text, so it "
                                                "cannot be used as it is; rename it."),
                        MessageIcon::Exclamation});
    return std::nullopt;
}

std::optional<QString> QtUiServices::chooseFolder(const FileDialogRequest& request) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const QString chosen = QFileDialog::getExistingDirectory(
        m_parent, request.title, request.initialFolder,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    QApplication::restoreOverrideCursor();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return intactChoice(QDir::toNativeSeparators(chosen));
}

void QtUiServices::setMousePointer(MousePointer pointer) {
    const bool overridden = m_pointer != MousePointer::Default;
    m_pointer = pointer;
    if (pointer == MousePointer::Default) {
        if (overridden) {
            QApplication::restoreOverrideCursor();
        }
        return;
    }
    if (overridden) {
        QApplication::changeOverrideCursor(cursorShape(pointer));
    } else {
        QApplication::setOverrideCursor(cursorShape(pointer));
    }
}

void QtUiServices::processPendingEvents() {
    QCoreApplication::processEvents();
}

} // namespace brindmar
