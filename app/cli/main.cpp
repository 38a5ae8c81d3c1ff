// brindmar: the embed, extract, information, wipe and ZIP commands of the window, on a terminal.
#include "cli/Commands.h"
#include "cli/TerminalUi.h"
#include "util/TrimBlanks.h"
#include "workflows/CodeEntry.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

using namespace brindmar::cli;

namespace {

struct Subcommand {
    int (*run)(const Options&);
    int files;
    bool needsOut;
    std::set<std::string> flags; // options that take no value
    std::set<std::string> valued;
    const char* usage;
};

const char* const kProgramUsage =
    "Usage: brindmar COMMAND [OPTIONS] FILE...\n"
    "Hides a document in a BMP image, and gets it back.\n\n"
    "Commands:\n"
    "  embed CARRIER.bmp DOCUMENT --out DIR   hide DOCUMENT in a new image DIR/CARRIER.bmp\n"
    "  extract IMAGE.bmp --out DIR            restore the hidden document into DIR\n"
    "  info FILE.bmp                          the BMP header, capacity and payload\n"
    "  wipe FILE                              overwrite FILE with zeros and delete it\n"
    "  zip FILE                               unpack an archive, or pack any other file\n\n"
    "brindmar COMMAND --help describes a command; --version gives the version.\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

const std::map<std::string, Subcommand>& subcommands() {
    static const std::map<std::string, Subcommand> table = {
        {"embed",
         {runEmbed, 2, true, {"--encrypt", "--keep-times", "--yes", "--quiet"},
          {"--out", "--code", "--crop"},
          "Usage: brindmar embed CARRIER.bmp DOCUMENT --out DIR [--code CODE] [--encrypt]\n"
          "                      [--crop MODE] [--keep-times] [--yes] [--quiet]\n"
          "Writes DIR/CARRIER.bmp: the carrier, or the part of it the crop keeps, carrying\n"
          "DOCUMENT.\n"
          "  --code CODE    10 to 20 characters, needed again to extract\n"
          "  --encrypt      encrypt the document with a password derived from the code\n"
          "  --crop MODE    0 to 15 or none, centre, centre-bottom, centre-top, left-top,\n"
          "                 left-centre, left-bottom, right-top, right-centre, right-bottom,\n"
          "                 left-vert-strip, centre-vert-strip, right-vert-strip,\n"
          "                 top-horiz-strip, centre-horiz-strip, bottom-horiz-strip\n"
          "                 (default centre)\n"
          "  --keep-times   give the new image the carrier's file times\n"
          "  --yes          answer yes to replacing an existing image\n"
          "  --quiet        say nothing but errors\n"}},
        {"extract",
         {runExtract, 1, true, {"--yes", "--quiet"}, {"--out", "--code"},
          "Usage: brindmar extract IMAGE.bmp --out DIR [--code CODE] [--yes] [--quiet]\n"
          "Restores the document IMAGE.bmp carries into DIR, under its own name and times.\n"
          "  --code CODE    the code it was hidden with\n"
          "  --yes          answer yes to replacing an existing file\n"
          "  --quiet        say nothing but errors\n"}},
        {"info",
         {runInfo, 1, false, {"--quiet"}, {"--code"},
          "Usage: brindmar info FILE.bmp [--code CODE]\n"
          "Prints the BMP header fields, whether the image can carry a document and how much,\n"
          "and the document it carries when one opens with CODE.\n"}},
        {"wipe",
         {runWipe, 1, false, {"--yes", "--quiet"}, {},
          "Usage: brindmar wipe FILE [--yes] [--quiet]\n"
          "Overwrites FILE with zeros, then deletes it.\n"
          "  --yes          do not ask for confirmation\n"}},
        {"zip",
         {runZip, 1, false, {"--yes", "--quiet"}, {},
          "Usage: brindmar zip FILE [--yes] [--quiet]\n"
          "Unpacks a ZIP archive into its own folder; packs any other file into an archive\n"
          "beside it.\n"
          "  --yes          answer yes to replacing an existing archive\n"}},
    };
    return table;
}

int usageError(const std::string& why, const char* usage) {
    std::fprintf(stderr, "brindmar: %s\n%s", why.c_str(), usage);
    return kUsage;
}

extern "C" void onInterrupt(int) {
    g_interrupted = 1;
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No restart: a question waiting on the terminal gives up at once.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brindmar"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args[0] == u"--help" || args[0] == u"-h") {
        std::fputs(kProgramUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? kUsage : kSucceeded;
    }
    if (args[0] == u"--version") {
        std::printf("brindmar %s\n", BRINDMAR_VERSION);
        return kSucceeded;
    }
    const auto found = subcommands().find(args[0].toStdString());
    if (found == subcommands().end()) {
        return usageError("unknown command " + args[0].toStdString(), kProgramUsage);
    }
    const Subcommand& command = found->second;
    Options options;
    options.command = args[0];
    for (qsizetype i = 1; i < args.size(); ++i) {
        const std::string arg = args[i].toStdString();
        if (arg == "--help" || arg == "-h") {
            std::fputs(command.usage, stdout);
            return kSucceeded;
        }
        if (command.flags.count(arg) != 0) {
            options.encrypt |= arg == "--encrypt";
            options.keepTimes |= arg == "--keep-times";
            options.yes |= arg == "--yes";
            options.quiet |= arg == "--quiet";
        } else if (command.valued.count(arg) != 0) {
            if (i + 1 >= args.size()) {
                return usageError(arg + " needs a value", command.usage);
            }
            const QString value = args[++i];
            if (arg == "--out") {
                options.out = value;
            } else if (arg == "--code") {
                options.code = value;
            } else if (const auto mode = cropModeFromText(value)) {
                options.cropMode = *mode;
            } else {
                return usageError("no crop is named " + value.toStdString(), command.usage);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg, command.usage);
        } else {
            options.files << args[i];
        }
    }
    if (options.files.size() != command.files) {
        return usageError(command.files == 1 ? "one file is needed" : "two files are needed",
                          command.usage);
    }
    if (command.needsOut && options.out.isEmpty()) {
        return usageError("--out DIR is needed", command.usage);
    }
    if (options.encrypt && (!options.code || brindmar::trimBlanks(*options.code).isEmpty())) {
        return usageError("--encrypt needs --code CODE: without a code nothing is encrypted",
                          command.usage);
    }
    if (options.code) {
        // Cut or collapsed, a code would open the image for other codes too.
        switch (brindmar::codeFault(*options.code)) {
        case brindmar::CodeFault::None:
            options.code = brindmar::trimBlanks(*options.code);
            break;
        case brindmar::CodeFault::Characters:
            return usageError("the code can hold only Latin-1 characters (English and Western "
                              "European letters, digits and signs)",
                              command.usage);
        case brindmar::CodeFault::Length:
            return usageError("the code must be 10 to 20 characters long, blanks at its ends "
                              "not counted",
                              command.usage);
        }
    }
    catchInterrupts();
    const int status = command.run(options);
    if (g_interrupted) {
        std::fputs(status == kSucceeded ? "brindmar: interrupted after the work was done\n"
                                         : "brindmar: stopped\n",
                   stderr);
    }
    return status;
}
