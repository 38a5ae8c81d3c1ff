// brindmar: the embed, extract, information, wipe and ZIP commands of the window, on a terminal.
#include "cli/Arguments.h"
#include "cli/CodeSource.h"
#include "cli/Commands.h"
#include "cli/FileArguments.h"
#include "cli/ImageWarnings.h"
#include "cli/TerminalText.h"
#include "cli/TerminalUi.h"
#include "payload/CodeText.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

using namespace brindmar::cli;

namespace {

// The status of a run the user interrupted, as shells report a death by SIGINT.
constexpr int kInterrupted = 130;

int usageError(const QString& why) {
    std::fprintf(stderr, "%s\nTry 'brindmar --help'.\n",
                 programLine(why).toLocal8Bit().constData());
    return kUsage;
}

extern "C" void onInterrupt(int) {
    g_interrupted = 1;
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No restart: a question or a prompt waiting on the terminal gives up at once.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal is a request to stop like any other: the work files go with the run.
    sigaction(SIGHUP, &action, nullptr);
    // A parent that blocked them (some test runners do) would leave Ctrl+C pending for ever.
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigaddset(&interrupts, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &interrupts, nullptr);
}

// The code as the run will use it, checked as the window checks a typed one; a usage error
// otherwise. Cut or collapsed, a code would open the image for other codes too.
std::optional<int> settleCode(Request& r) {
    const bool encrypting = r.options.encrypt || r.options.strong;
    const bool embed = r.options.command == QStringLiteral("embed");
    // Only an embed without strong protection stores its code; anything else seals or opens,
    // and a code of the stored kind simply does not open what a longer one sealed.
    const bool sealing = r.options.strong || !embed;
    // Whatever an embed asks for on the terminal makes an image, and must be right at once.
    CodeOutcome outcome = obtainCode(r.code, embed);
    if (r.code.argument) {
        forget(*r.code.argument);
    }
    if (outcome.interrupted) {
        return kInterrupted;
    }
    if (!outcome.error.isEmpty()) {
        if (outcome.usage) {
            return usageError(outcome.error);
        }
        std::fprintf(stderr, "%s\n", programLine(outcome.error).toLocal8Bit().constData());
        return kFailed;
    }
    if (outcome.code) {
        const std::optional<QString> refused = codeUsageError(*outcome.code, sealing);
        if (!refused) {
            r.options.code = brindmar::preparedCode(*outcome.code);
        }
        forget(*outcome.code);
        if (refused) {
            return usageError(*refused);
        }
    }
    if (r.options.strong && (!r.options.code || r.options.code->isEmpty())) {
        return usageError(
            QStringLiteral("%1 needs a code: it is the only key to the document")
                .arg(r.options.stealth ? QStringLiteral("--stealth") : QStringLiteral("--strong")));
    }
    if (encrypting && (!r.options.code || r.options.code->isEmpty())) {
        return usageError(QStringLiteral("--encrypt needs a code: without one nothing is "
                                         "encrypted"));
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brindmar"));
    silenceImageReaderChatter();
    catchInterrupts();
    // Read as text, such a name would come back as other bytes: another file, or none.
    if (const std::optional<QByteArray> name = undecodableArgument(argc, argv)) {
        std::fprintf(stderr, "%s\n",
                     programLine(shownBytes(*name) +
                                 QStringLiteral(": the name is not valid UTF-8 text, so it cannot "
                                                "be used as it is; rename it"))
                         .toLocal8Bit()
                         .constData());
        return kFailed;
    }
    Request request = parseArguments(QCoreApplication::arguments().mid(1));
    switch (request.kind) {
    case Request::Kind::Version:
        std::printf("brindmar %s\n", BRINDMAR_VERSION);
        return kSucceeded;
    case Request::Kind::ProgramHelp:
        std::fputs(kProgramUsage, stdout);
        return kSucceeded;
    case Request::Kind::CommandHelp:
        std::fputs(request.help, stdout);
        return kSucceeded;
    case Request::Kind::UsageError:
        return usageError(request.error);
    case Request::Kind::Run:
        break;
    }
    if (request.takesCode) {
        // A mistyped name is told before the code is typed, not after.
        if (const std::optional<int> refused = checkFiles(request.options)) {
            return *refused;
        }
        if (const std::optional<int> refused = settleCode(request)) {
            return *refused;
        }
    }
    const int status = request.run(request.options);
    if (request.options.code) {
        forget(*request.options.code);
    }
    if (g_interrupted) {
        if (status == kSucceeded) {
            std::fputs("brindmar: interrupted after the work was done\n", stderr);
            return kSucceeded;
        }
        std::fputs("brindmar: stopped\n", stderr);
        return kInterrupted;
    }
    return status;
}
