#include "cli/CodeSource.h"

#include "cli/TerminalUi.h"
#include "payload/CodeText.h"

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

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The code on a line: its end of line (LF or CRLF) and a byte-order mark before it dropped,
// decoded strictly. nullopt for bytes that are not UTF-8.
std::optional<QString> fromLine(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    std::string_view text(line);
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::optional<QString> code = strictUtf8(text);
    forgetBytes(line);
    return code;
}

const QString kNotUtf8 = QStringLiteral(": the code is not UTF-8 text; save it as UTF-8");

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
        if (!outcome.code) {
            outcome.error = (standardInput ? QStringLiteral("standard input") : path) + kNotUtf8;
            outcome.usage = true;
        }
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
        // A terminal that sends other bytes gives no code at all rather than a look-alike.
        code = fromLine(line).value_or(QString());
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
    if (char* value = std::getenv(kEnvironmentName); value != nullptr && given > 0) {
        // Taking one silently could open the document with a code the user did not mean; the
        // variable is cleared all the same, as a read one is.
        std::memset(value, 0, std::strlen(value));
        ::unsetenv(kEnvironmentName);
        CodeOutcome outcome;
        outcome.error = QStringLiteral("give the code one way only: BRINDMAR_CODE is set, and "
                                       "--code, --code-file or --ask-code gives it too");
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
    if (char* value = std::getenv(kEnvironmentName); value != nullptr) {
        CodeOutcome outcome;
        std::string bytes(value);
        outcome.code = fromLine(bytes);
        if (!outcome.code) {
            outcome.error = QLatin1String(kEnvironmentName) + kNotUtf8;
            outcome.usage = true;
        }
        // The process's first environment is what /proc/PID/environ shows: the bytes go there
        // too, not only the variable.
        std::memset(value, 0, std::strlen(value));
        ::unsetenv(kEnvironmentName);
        return outcome;
    }
    return {};
}

std::optional<QString> codeUsageError(const QString& code, bool sealing) {
    switch (codeTextFault(code, sealing ? CodeRule::Sealing : CodeRule::Stored)) {
    case CodeTextFault::None:
        return std::nullopt;
    case CodeTextFault::Empty:
        return QStringLiteral("the code is empty; give a code, or none at all");
    case CodeTextFault::Length:
        return sealing ? QStringLiteral("the code must be 10 to 256 characters long, blanks at "
                                        "its ends not counted")
                       : QStringLiteral("the code must be 10 to 20 characters long, blanks at "
                                        "its ends not counted; with --strong up to 256");
    case CodeTextFault::NotLatin1:
        return QStringLiteral("the code can hold only Latin-1 characters (English and Western "
                              "European letters, digits and signs); with --strong it may be of "
                              "any script");
    case CodeTextFault::Unusable:
        break;
    }
    return QStringLiteral("the code holds a control character, or one that shows nothing");
}

void forget(QString& secret) {
    secret.fill(QChar(u'\0'));
    secret.clear();
}

} // namespace brindmar::cli
