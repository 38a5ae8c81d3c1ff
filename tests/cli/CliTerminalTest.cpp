// The code asked for on a terminal: typed without echo, twice for an encrypting embed, and a
// Ctrl+C at the prompt that ends the run.
#include "CliFiles.h"

#include <QElapsedTimer>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using clitest::contents;
using clitest::Files;

// The code typed at the prompt is not shown, an encrypting embed asks for it twice, and the
// image then opens with it.
TEST(CliLines, AskCodeReadsTheTerminalWithoutEcho) {
    int controller = -1;
    int terminalSide = -1;
    if (::openpty(&controller, &terminalSide, nullptr, nullptr, nullptr) != 0) {
        GTEST_SKIP() << "no pseudo-terminal to ask on: " << std::strerror(errno);
    }
    ::close(controller);
    ::close(terminalSide);
    Files f;
    const QByteArray code = "tidal marsh 71";
    // answers < 0: Ctrl+C at the first prompt instead of an answer.
    const auto typed = [&](const QStringList& args, int answers) {
        int terminal = -1;
        const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child < 0) {
            ADD_FAILURE() << "forkpty: " << std::strerror(errno);
            return -1;
        }
        if (child == 0) {
            std::vector<QByteArray> bytes{QByteArray(BRINDMAR_CLI)};
            for (const QString& arg : args) {
                bytes.push_back(arg.toLocal8Bit());
            }
            std::vector<char*> argv;
            for (QByteArray& b : bytes) {
                argv.push_back(b.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        QByteArray seen;
        char buffer[256];
        // Everything waits with a deadline: a program that stops answering fails the test
        // instead of hanging the suite.
        const auto readSome = [&](int milliseconds) {
            pollfd ready{terminal, POLLIN, 0};
            if (::poll(&ready, 1, milliseconds) <= 0) {
                return false;
            }
            const ssize_t got = ::read(terminal, buffer, sizeof buffer);
            if (got <= 0) {
                return false;
            }
            seen.append(buffer, got);
            return true;
        };
        for (int asked = 0; asked < std::max(answers, 1) && readSome(10000);) {
            if (seen.count("Code") > asked && seen.endsWith(": ")) {
                if (answers < 0) {
                    ::kill(child, SIGINT);
                    break;
                }
                (void)!::write(terminal, code + "\n", size_t(code.size()) + 1);
                ++asked;
            }
        }
        int status = 0;
        QElapsedTimer waited;
        waited.start();
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (!readSome(100)) {
                ::usleep(10000); // the terminal has closed; the exit is on its way
            }
            if (waited.hasExpired(30000)) {
                ::kill(child, SIGKILL);
                ADD_FAILURE() << "brindmar " << args.join(' ').toStdString() << " hung";
                ::waitpid(child, &status, 0);
                break;
            }
        }
        ::close(terminal);
        EXPECT_FALSE(seen.contains(code)) << seen.toStdString();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(typed({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.out, "--ask-code",
                     "--encrypt"},
                    2),
              0);
    EXPECT_EQ(typed({"extract", f.out + "carrier.bmp", "-o", f.found, "--ask-code"}, 1), 0);
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
    // An embed that only stores its code asks twice too: a typing error loses the document all
    // the same.
    EXPECT_EQ(typed({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.out, "-y",
                     "--ask-code"},
                    2),
              0);
    // The same with strong protection: asked twice to seal, once to open.
    QFile::remove(f.found + "notes.txt");
    EXPECT_EQ(typed({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.out, "-y",
                     "--ask-code", "--strong"},
                    2),
              0);
    EXPECT_EQ(typed({"extract", f.out + "carrier.bmp", "-o", f.found, "--ask-code"}, 1), 0);
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
    // Ctrl+C at the prompt: the shell's status for an interrupted command.
    EXPECT_EQ(typed({"info", f.out + "carrier.bmp", "--ask-code"}, -1), 130);
}

} // namespace
