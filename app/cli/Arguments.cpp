#include "cli/Arguments.h"

#include "workflows/WindowModel.h"

#include <array>
#include <map>
#include <set>
#include <string>

namespace brindmar::cli {

const char* const kProgramUsage =
    "Usage: brindmar COMMAND [OPTIONS] FILE...\n"
    "Hides a document in a picture, and gets it back.\n\n"
    "Commands:\n"
    "  embed CARRIER DOCUMENT -o DIR       hide DOCUMENT in a new image DIR/NAME.bmp\n"
    "                                      for a BMP carrier, else DIR/NAME.png\n"
    "  extract IMAGE -o DIR                restore the hidden document into DIR\n"
    "  info FILE                           the image's header, capacity and payload\n"
    "  wipe FILE                           overwrite FILE with zeros and delete it\n"
    "  zip FILE                            unpack an archive, or pack any other file\n"
    "  convert PICTURE... -o DIR           make BMP carriers of pictures (PNG, JPEG, ...)\n\n"
    "brindmar COMMAND --help describes a command; --version gives the version.\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage, 130 interrupted.\n";

namespace {

constexpr std::array<const char*, kCropModeCount> kCropNames = {"none",
                                                                "centre",
                                                                "centre-bottom",
                                                                "centre-top",
                                                                "left-top",
                                                                "left-centre",
                                                                "left-bottom",
                                                                "right-top",
                                                                "right-centre",
                                                                "right-bottom",
                                                                "left-vert-strip",
                                                                "centre-vert-strip",
                                                                "right-vert-strip",
                                                                "top-horiz-strip",
                                                                "centre-horiz-strip",
                                                                "bottom-horiz-strip"};

constexpr const char* kCodeOptions =
    "  -c, --code CODE    the code; other users can see it in the process list, so prefer\n"
    "                     one of the two below\n"
    "      --code-file F  read the code from the first line of F (- for standard input),\n"
    "                     UTF-8; keep F readable by you alone\n"
    "      --ask-code     ask for the code on the terminal, without showing it (twice for\n"
    "                     embed)\n";
constexpr const char* kCodeVariable =
    "  Without these, the code is taken from BRINDMAR_CODE; set beside one, it is a\n"
    "  usage error. Processes of the same user (and root) can read a variable in\n"
    "  /proc/PID/environ, child processes of the shell inherit it, and it may end in\n"
    "  the shell's history; brindmar clears it once read.\n";
const std::string kCodeHelp = std::string(kCodeOptions) + kCodeVariable;
// embed says what the code must be, under the options that give it.
const std::string kEmbedCodeHelp =
    std::string(kCodeOptions) +
    "                     The code (needed again to extract): 10 to 20 characters Latin-1\n"
    "                     can carry, or with --strong 10 to 256 characters of any script\n" +
    kCodeVariable;

struct Subcommand {
    int (*run)(const Options&);
    int files; // -1: one or more
    bool needsOut;
    std::set<std::string> flags; // options that take no value
    std::set<std::string> valued;
    std::string usage;
};

const std::map<std::string, Subcommand>& subcommands() {
    static const std::map<std::string, Subcommand> table = {
        {"embed",
         {runEmbed,
          2,
          true,
          {"--encrypt", "--strong", "--stealth", "--keep-times", "--yes", "--quiet", "--ask-code",
           "--half", "--strip-metadata"},
          {"--out", "--code", "--code-file", "--crop", "--format"},
          std::string(
              "Usage: brindmar embed CARRIER DOCUMENT -o DIR [OPTIONS]\n"
              "Writes DIR/NAME.bmp for a BMP carrier, DIR/NAME.png for any other picture (NAME\n"
              "is the carrier's name without its extension): the carrier, or the part of it\n"
              "--crop keeps, carrying DOCUMENT: without --stealth in the two low bits of every\n"
              "colour byte, each changed by at most 2 (by 3 for a byte of 0 or 255). A carrier\n"
              "that is no BMP (a PNG, a JPEG, ...) is converted first.\n"
              "  -o, --out DIR      the folder for the new image\n"
              "      --format F     bmp or png: the new image's format; by default a BMP\n"
              "                     carrier gives a BMP and any other picture a PNG. Send the\n"
              "                     image as a file: a messenger re-encodes a picture sent as a\n"
              "                     photo (as a smaller JPEG), and the document is lost\n"
              "      --half         a carrier that is converted is made at half size, each\n"
              "                     pixel the average of four: a photo from a camera or phone\n"
              "                     (JPEG) then no longer shows its 8 x 8 blocks, which make\n"
              "                     the changes that carry the document easier to find\n") +
              kEmbedCodeHelp +
              "      --encrypt      encrypt the document with a password derived from the code,\n"
              "                     in the format older releases read; the code is stored in\n"
              "                     the image, so anyone with this program can open it\n"
              "      --strong       strong protection: seal the document under a key that costs\n"
              "                     every guess at the code a third of a second; the image\n"
              "                     keeps nothing of the code\n"
              "      --stealth      strong protection carried so that nothing in the image can\n"
              "                     be told from the picture's own noise without the code; the\n"
              "                     image keeps the carrier's size (no --crop). Up to one hidden\n"
              "                     bit in 67 colour bytes is recommended (about 1/530 of the\n"
              "                     BMP's size); above it brindmar warns that detection gets\n"
              "                     likelier. A copy of the carrier shows the changes, and a\n"
              "                     picture re-saved as JPEG or resized loses the document.\n"
              "                     A JPEG carrier gives DIR/NAME.jpg, the document in its\n"
              "                     own coefficients (unless --format asks for bmp or png);\n"
              "                     up to 0.1 hidden bits per non-zero AC coefficient is\n"
              "                     recommended\n"
              "      --strip-metadata  with --stealth and a JPEG carrier: the new JPEG goes\n"
              "                     without the carrier's EXIF and XMP (a GPS position among\n"
              "                     them); kept otherwise\n"
              "      --crop MODE    none (the default: the image keeps the carrier's size),\n"
              "                     centre, centre-bottom, centre-top, left-top, left-centre,\n"
              "                     left-bottom, right-top, right-centre, right-bottom,\n"
              "                     left-vert-strip, centre-vert-strip, right-vert-strip,\n"
              "                     top-horiz-strip, centre-horiz-strip, bottom-horiz-strip,\n"
              "                     or 0 to 15; a crop cut to the document's size gives a\n"
              "                     small image, which stands out wherever it is sent\n"
              "      --keep-times   give the new image the carrier's file times, to the "
              "nanosecond\n"
              "  -y, --yes          answer yes to replacing an existing image\n"
              "  -q, --quiet        say nothing but errors\n"}},
        {"extract",
         {runExtract,
          1,
          true,
          {"--yes", "--quiet", "--ask-code"},
          {"--out", "--code", "--code-file"},
          std::string("Usage: brindmar extract IMAGE -o DIR [OPTIONS]\n"
                      "Restores the document IMAGE (a BMP or a PNG) carries into DIR, under its\n"
                      "own name and times, readable and writable by you alone (mode 0600): a\n"
                      "program comes back without its execute permission.\n"
                      "  -o, --out DIR      the folder for the document\n") +
              kCodeHelp +
              "  -y, --yes          answer yes to replacing an existing file\n"
              "  -q, --quiet        say nothing but errors\n"}},
        {"info",
         {runInfo,
          1,
          false,
          {"--quiet", "--ask-code"},
          {"--code", "--code-file"},
          std::string("Usage: brindmar info FILE [OPTIONS]\n"
                      "Prints the BMP header fields (of a PNG or JPEG, of the BMP its pixels\n"
                      "make), whether the image can carry a document and how much, and the\n"
                      "name and size of the document it carries when one opens with the code,\n"
                      "sealed and Stealth documents included.\n") +
              kCodeHelp}},
        {"wipe",
         {runWipe,
          1,
          false,
          {"--yes", "--quiet"},
          {},
          "Usage: brindmar wipe FILE [OPTIONS]\n"
          "Overwrites FILE with zeros, then deletes it. A symbolic link is refused: wipe the\n"
          "file it points to by its own path. A file with a second name (a hard link) is\n"
          "refused too. An empty file is simply deleted.\n"
          "Overwriting cannot promise that no copy is left: journaling and copy-on-write file\n"
          "systems, SSDs and flash memory, snapshots and backups may keep old copies of the\n"
          "contents where a program cannot reach them.\n"
          "  -y, --yes          do not ask for confirmation\n"
          "  -q, --quiet        say nothing but errors\n"}},
        {"convert",
         {runConvert,
          -1,
          true,
          {"--yes", "--quiet", "--half"},
          {"--out"},
          "Usage: brindmar convert PICTURE... -o DIR [OPTIONS]\n"
          "Writes DIR/NAME.bmp for each picture: a 24-bit BMP that can carry a document. Any\n"
          "BMP, PNG, JPEG, TIFF, WebP or GIF (its first frame) is read; transparency is laid on\n"
          "white, a photo is turned upright, and colour profiles are ignored.\n"
          "  -o, --out DIR      the folder for the BMP files\n"
          "      --half         half the width and height, each pixel the average of four;\n"
          "                     a photo from a camera or phone (JPEG) hides a document\n"
          "                     better so, without the 8 x 8 blocks of its compression\n"
          "  -y, --yes          answer yes to replacing an existing file\n"
          "  -q, --quiet        say nothing but errors\n"}},
        {"zip",
         {runZip,
          1,
          false,
          {"--yes", "--quiet"},
          {},
          "Usage: brindmar zip FILE [OPTIONS]\n"
          "Unpacks a ZIP archive into the folder that holds it, all members or none; packs\n"
          "any other file into NAME.zip beside it; names the archive and the files written.\n"
          "  -y, --yes          answer yes to replacing an existing archive or member\n"
          "  -q, --quiet        say nothing but errors\n"}},
    };
    return table;
}

const std::map<char, std::string> kShortOptions = {
    {'o', "--out"}, {'c', "--code"}, {'y', "--yes"}, {'q', "--quiet"}};

Request usageError(const QString& why) {
    Request request;
    request.kind = Request::Kind::UsageError;
    request.error = why;
    return request;
}

// Sets what an option names; false when its value is not one the option takes.
bool apply(Request& r, const std::string& name, const QString& value) {
    Options& o = r.options;
    if (name == "--encrypt") {
        o.encrypt = true;
    } else if (name == "--strong") {
        o.strong = true;
    } else if (name == "--stealth") {
        o.stealth = true;
        o.strong = true;
    } else if (name == "--keep-times") {
        o.keepTimes = true;
    } else if (name == "--half") {
        o.half = true;
    } else if (name == "--strip-metadata") {
        o.stripMetadata = true;
    } else if (name == "--yes") {
        o.yes = true;
    } else if (name == "--quiet") {
        o.quiet = true;
    } else if (name == "--ask-code") {
        r.code.ask = true;
    } else if (name == "--out") {
        o.out = value;
    } else if (name == "--code") {
        r.code.argument = value;
    } else if (name == "--code-file") {
        r.code.file = value;
    } else if (name == "--crop") {
        const std::optional<uint8_t> mode = cropModeFromText(value);
        if (!mode) {
            return false;
        }
        o.cropMode = *mode;
    } else if (name == "--format") {
        o.imageFormat = brindmar::parseImageFormat(value);
        return o.imageFormat.has_value();
    }
    return true;
}

// Options standing before the command ("brindmar -q embed ...") are read as if they followed
// it; a value an option takes is moved with it.
QStringList commandFirst(const QStringList& args) {
    static const std::set<QString> valuedLong = {QStringLiteral("--out"), QStringLiteral("--code"),
                                                 QStringLiteral("--code-file"),
                                                 QStringLiteral("--crop")};
    QStringList leading;
    qsizetype i = 0;
    for (; i < args.size() && args[i].startsWith(u'-') && args[i] != u"-" && args[i] != u"--";
         ++i) {
        const QString& arg = args[i];
        leading << arg;
        bool takesNext = false;
        if (arg.startsWith(QStringLiteral("--"))) {
            takesNext = !arg.contains(u'=') && valuedLong.count(arg) != 0;
        } else {
            // In "-yo DIR" the value follows the last letter; in "-yoDIR" it is inside.
            for (qsizetype k = 1; k < arg.size(); ++k) {
                const auto name = kShortOptions.find(arg[k].toLatin1());
                if (name != kShortOptions.end() &&
                    valuedLong.count(QString::fromStdString(name->second)) != 0) {
                    takesNext = k + 1 == arg.size();
                    break;
                }
            }
        }
        if (takesNext && i + 1 < args.size()) {
            leading << args[++i];
        }
    }
    if (leading.isEmpty() || i >= args.size()) {
        return args;
    }
    return QStringList{args[i]} + leading + args.mid(i + 1);
}

} // namespace

std::optional<uint8_t> cropModeFromText(const QString& text) {
    bool number = false;
    const int value = text.toInt(&number);
    if (number) {
        return value >= 0 && value < kCropModeCount ? std::optional<uint8_t>(uint8_t(value))
                                                    : std::nullopt;
    }
    // American spelling and any case are the same crop.
    const QString name = text.toLower().replace(QStringLiteral("center"), QStringLiteral("centre"));
    for (size_t i = 0; i < kCropNames.size(); ++i) {
        if (name == QLatin1String(kCropNames[i])) {
            return static_cast<uint8_t>(i);
        }
    }
    return std::nullopt;
}

Request parseArguments(const QStringList& given) {
    const QStringList args = commandFirst(given);
    const qsizetype optionsEnd = args.indexOf(QStringLiteral("--"));
    const QStringList before = optionsEnd < 0 ? args : args.mid(0, optionsEnd);
    const bool help =
        before.contains(QStringLiteral("--help")) || before.contains(QStringLiteral("-h"));
    if (before.contains(QStringLiteral("--version"))) {
        Request request;
        request.kind = Request::Kind::Version;
        return request;
    }
    const auto found =
        args.isEmpty() ? subcommands().end() : subcommands().find(args[0].toStdString());
    if (found == subcommands().end()) {
        if (help) {
            Request request;
            request.kind = Request::Kind::ProgramHelp;
            return request;
        }
        return usageError(args.isEmpty() || args[0].startsWith(u'-')
                              ? QStringLiteral("a command is needed")
                              : QStringLiteral("unknown command '%1'").arg(args[0]));
    }
    const Subcommand& command = found->second;
    Request r;
    r.run = command.run;
    r.help = command.usage.c_str();
    r.options.command = args[0];
    r.takesCode = command.valued.count("--code") != 0;
    if (help) {
        r.kind = Request::Kind::CommandHelp;
        return r;
    }
    // Sets one option, its value taken from inlineValue or the next argument; a usage error's
    // text when it cannot.
    qsizetype i = 1;
    const auto take = [&](const std::string& name,
                          const std::optional<QString>& inlineValue) -> std::optional<QString> {
        const bool valued = command.valued.count(name) != 0;
        if (!valued && command.flags.count(name) == 0) {
            return QStringLiteral("'%1' is not an option of %2")
                .arg(QString::fromStdString(name), args[0]);
        }
        if (!valued && inlineValue) {
            return QStringLiteral("%1 takes no value").arg(QString::fromStdString(name));
        }
        QString value;
        if (valued) {
            if (!inlineValue && i + 1 >= args.size()) {
                return QStringLiteral("%1 needs a value").arg(QString::fromStdString(name));
            }
            value = inlineValue ? *inlineValue : args[++i];
        }
        if (!apply(r, name, value)) {
            return name == "--format"
                       ? QStringLiteral("no image format is named '%1' (bmp or png)").arg(value)
                       : QStringLiteral("no crop is named '%1'").arg(value);
        }
        return std::nullopt;
    };
    bool optionsOver = false;
    for (; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsOver || arg == u"-" || !arg.startsWith(u'-')) {
            r.options.files << arg;
            continue;
        }
        if (arg == u"--") {
            optionsOver = true;
            continue;
        }
        if (arg.startsWith(QStringLiteral("--"))) {
            const qsizetype equals = arg.indexOf(u'=');
            std::optional<QString> inlineValue;
            if (equals >= 0) {
                inlineValue = arg.mid(equals + 1);
            }
            if (const auto wrong =
                    take((equals < 0 ? arg : arg.left(equals)).toStdString(), inlineValue)) {
                return usageError(*wrong);
            }
            continue;
        }
        // Short options may be combined ("-yq"); one that takes a value ends the group and
        // takes the rest of it ("-yoDIR", "-yo=DIR"), or the next argument.
        for (qsizetype k = 1; k < arg.size(); ++k) {
            const auto shortName = kShortOptions.find(arg[k].toLatin1());
            if (arg[k].unicode() > 0x7f || shortName == kShortOptions.end()) {
                return usageError(QStringLiteral("unknown option '-%1'").arg(arg[k]));
            }
            const std::string& name = shortName->second;
            std::optional<QString> inlineValue;
            const bool valued = command.valued.count(name) != 0;
            if (valued && k + 1 < arg.size()) {
                inlineValue = arg.mid(arg[k + 1] == u'=' ? k + 2 : k + 1);
            }
            if (const auto wrong = take(name, inlineValue)) {
                return usageError(*wrong);
            }
            if (valued) {
                break;
            }
        }
    }
    if (command.files < 0 ? r.options.files.isEmpty() : r.options.files.size() != command.files) {
        const QString needed = command.files == 2   ? QStringLiteral("two files are needed")
                               : command.files == 1 ? QStringLiteral("one file is needed")
                                                    : QStringLiteral("at least one file is needed");
        const qsizetype named = r.options.files.size();
        return usageError(named == 0 ? needed
                                     : needed + QStringLiteral(", %1 %2 given")
                                                    .arg(named)
                                                    .arg(named == 1 ? QStringLiteral("was")
                                                                    : QStringLiteral("were")));
    }
    if (r.options.stealth && r.options.cropMode != 0) {
        return usageError(QStringLiteral("--stealth keeps the carrier's size, so it takes no "
                                         "--crop"));
    }
    if (command.needsOut && r.options.out.isEmpty()) {
        return usageError(QStringLiteral("--out DIR is needed"));
    }
    return r;
}

} // namespace brindmar::cli
