#include "cli/TerminalUi.h"

#include "cli/EmbedFailureText.h"
#include "cli/QuestionText.h"
#include "cli/TerminalText.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>

namespace brindmar::cli {

volatile std::sig_atomic_t g_interrupted = 0;

namespace {

bool isFailure(MessageIcon icon) {
    return icon == MessageIcon::Critical || icon == MessageIcon::Exclamation;
}

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

} // namespace

TerminalUi::TerminalUi(WindowModel& model, bool assumeYes)
    : m_model(model), m_assumeYes(assumeYes) {}

void TerminalUi::knowName(const QString& name) {
    if (shownText(name) == name || m_unsafeNames.contains(name)) {
        return;
    }
    m_unsafeNames << name;
    std::sort(m_unsafeNames.begin(), m_unsafeNames.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
}

QString TerminalUi::withNames(QString text) const {
    for (const QString& name : m_unsafeNames) {
        text.replace(name, shownText(name));
    }
    return text;
}

MessageAnswer TerminalUi::showMessage(const Message& given) {
    if (beforeMessage) {
        beforeMessage();
    }
    Message message = given;
    message.text = withNames(given.text);
    if (message.buttons == MessageButtons::Ok) {
        if (isFailure(message.icon)) {
            printLine(stderr, shownText(boxLine(message)));
        }
        return MessageAnswer::Ok;
    }
    if (m_assumeYes) {
        return MessageAnswer::Ok;
    }
    if (::isatty(STDIN_FILENO) == 0) {
        printLine(stderr, shownText(unansweredLine(message)));
        return MessageAnswer::Cancel;
    }
    std::fprintf(stderr, "%s [y/N] ",
                 shownText(programLine(questionText(message))).toLocal8Bit().constData());
    std::fflush(stderr);
    std::string answer;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
        answer += static_cast<char>(c);
    }
    const bool yes = !g_interrupted && (answer == "y" || answer == "Y" || answer == "yes");
    return yes ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

void TerminalUi::processPendingEvents() {
    if (g_interrupted) {
        m_model.stopRequest = true;
    }
}

TerminalView::TerminalView(const WindowModel& model, bool quiet)
    : m_model(model), m_enabled(!quiet && ::isatty(STDERR_FILENO) != 0) {}

TerminalView::~TerminalView() {
    finishLine();
}

void TerminalView::render() {
    if (!m_enabled) {
        return;
    }
    const WindowDisplay& shown = m_model.display;
    if (!m_model.operationRunning() || shown.processCaption.isEmpty()) {
        finishLine();
        return;
    }
    if (shown.progress == m_drawn) {
        return;
    }
    m_drawn = shown.progress;
    constexpr int width = 40;
    const int filled = m_drawn * width / 100;
    const std::string bar =
        std::string(size_t(filled), '#') + std::string(size_t(width - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", shown.processCaption.toLocal8Bit().constData(),
                 bar.c_str(), m_drawn);
    std::fflush(stderr);
}

void TerminalView::notice(const Notice& notice, UiServices&) {
    finishLine();
    printLine(stderr, shownText(programLine(noticeText(notice))));
}

MessageAnswer TerminalView::ask(const Question& question, UiServices& ui) {
    finishLine();
    const bool two =
        question.kind == QuestionKind::DropGps || question.kind == QuestionKind::HalfSize;
    return ui.showMessage(Message{{},
                                  questionLine(question),
                                  MessageIcon::Question,
                                  two ? MessageButtons::TwoChoices : MessageButtons::OkCancel});
}

void TerminalView::finishLine() {
    if (m_drawn >= 0) {
        std::fprintf(stderr, "\n");
        m_drawn = -1;
    }
}

} // namespace brindmar::cli
