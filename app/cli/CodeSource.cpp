#include "cli/CodeSource.h"

#include "cli/TerminalUi.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace brindmar::cli {

namespace {

constexpr const char* kEnvironmentName = "BRINDMAR_CODE";
// No code is longer; anything past this on a line is not a code.
constexpr size_t kLongestLine = 4096;

void forgetBytes(std::string& bytes) {
    volatile char* p = bytes.data();
    for (size_t i = 0; i < bytes.size(); ++i) {
        p[i] = 0;
    }
    bytes.clear();
}

QString fromLine(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    QString code = QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
    forgetBytes(line);
    return code;
}

// The first line of the descriptor, read a byte at a time so nothing past it is consumed. The
// wait is in short steps: Ctrl+C arriving just before a read would otherwise not end it.
bool readLine(int fd, std::string& line, bool& interrupted) {
    for (char c = 0; line.size() < kLongestLine;) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 100);
        if (g_interrupted) {
            interrupted = true;
            return false;
        }
        if (polled == 0 || (polled < 0 && errno == EINTR)) {
            continue;
        }
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue; // an interrupt is seen at the top of the loop
            }
            return false;
        }
        if (got == 0 || c == '\n') {
            return got != 0 || !line.empty();
        }
        line += c;
    }
    return true;
}

CodeOutcome fromFile(const QString& path) {
    CodeOutcome outcome;
    const bool standardInput = path == u"-";
    const int fd = standardInput
                       ? STDIN_FILENO
                       : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        outcome.error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return outcome;
    }
    std::string line;
    if (readLine(fd, line, outcome.interrupted)) {
        outcome.code = fromLine(line);
    } else if (!outcome.interrupted) {
        outcome.error = (standardInput ? QStringLiteral("standard input") : path) +
                        QStringLiteral(": holds no code");
    }
    forgetBytes(line);
    if (!standardInput) {
        ::close(fd);
    }
    return outcome;
}

// Asks on the terminal itself, not on standard input, which may be a pipe, and with echo off.
std::optional<QString> prompt(int tty, const char* question, bool& interrupted) {
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    (void)!::write(tty, question, std::strlen(question));
    std::string line;
    const bool got = readLine(tty, line, interrupted);
    if (isTerminal) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    }
    if (interrupted) {
        (void)!::write(tty, "\n", 1);
    }
    std::optional<QString> code;
    if (got) {
        code = fromLine(line);
    }
    forgetBytes(line);
    return code;
}

CodeOutcome fromPrompt(bool askTwice) {
    CodeOutcome outcome;
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        outcome.error = QStringLiteral("--ask-code: there is no terminal to ask on");
        outcome.usage = true;
        return outcome;
    }
    outcome.code = prompt(tty, "Code: ", outcome.interrupted);
    if (outcome.code && askTwice && !outcome.interrupted) {
        std::optional<QString> again = prompt(tty, "Code again: ", outcome.interrupted);
        if (!outcome.interrupted && again != outcome.code) {
            outcome.error = QStringLiteral("the two codes typed differ");
            forget(*outcome.code);
            outcome.code.reset();
        }
        if (again) {
            forget(*again);
        }
    }
    if (!outcome.code && outcome.error.isEmpty() && !outcome.interrupted) {
        outcome.error = QStringLiteral("--ask-code: no code was typed");
    }
    ::close(tty);
    return outcome;
}

} // namespace

CodeOutcome obtainCode(const CodeSources& sources, bool askTwice) {
    const int given = (sources.argument ? 1 : 0) + (sources.file ? 1 : 0) + (sources.ask ? 1 : 0);
    if (given > 1) {
        CodeOutcome outcome;
        outcome.error = QStringLiteral("give the code one way only: --code, --code-file or "
                                       "--ask-code");
        outcome.usage = true;
        return outcome;
    }
    if (sources.argument) {
        return CodeOutcome{sources.argument, {}, false, false};
    }
    if (sources.file) {
        return fromFile(*sources.file);
    }
    if (sources.ask) {
        return fromPrompt(askTwice);
    }
    if (const char* value = std::getenv(kEnvironmentName); value != nullptr) {
        return CodeOutcome{QString::fromLocal8Bit(value), {}, false, false};
    }
    return {};
}

void forget(QString& secret) {
    secret.fill(QChar(u'\0'));
    secret.clear();
}

} // namespace brindmar::cli
