#include "cli/Commands.h"

#include "cli/CodeSource.h"
#include "cli/FileArguments.h"
#include "cli/TerminalText.h"
#include "cli/TerminalUi.h"
#include "imaging/QtPictureConverter.h"
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "payload/PayloadHeaderReader.h"
#include "util/LinuxPlatform.h"
#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "util/WorkFolders.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/BmpInformation.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/PictureConversion.h"
#include "workflows/PngImage.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WipeCommand.h"
#include "workflows/ZipTool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar::cli {

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

void printError(const QString& text) {
    std::fprintf(stderr, "%s\n", programLine(shownText(text)).toLocal8Bit().constData());
}

// A work folder of this run's own inside the private temporary folder, so that a window open at
// the same time keeps its work files; those of runs that died are swept first.
QString ownTemporaryFolder() {
    return claimRunFolder(privateTemporaryFolder());
}

// One run of the program on the terminal: the window's model and services, without a window.
class Session {
public:
    explicit Session(const Options& options)
        : ui(model, options.yes, options.quiet), view(model, options.quiet),
          engine(QCoreApplication::applicationDirPath() + u'/'),
          ctx{model,
              ui,
              zip,
              engine,
              platform,
              view,
              QCoreApplication::applicationDirPath() + u'/',
              ownTemporaryFolder(),
              &pictures} {
        model.cropMode = options.cropMode;
        model.imageFormat = options.imageFormat;
        model.display.encryptBox =
            options.encrypt || options.strong ? kEncryptTicked : kEncryptUnticked;
        model.display.strongBox = options.strong;
        model.display.stealthBox = options.stealth;
        settleEncryptMarks(model);
        model.display.keepTimesChecked = options.keepTimes;
        model.thumbnailBoxWidth = 1500;
        model.thumbnailBoxHeight = 1500;
        ui.beforeMessage = [this] { view.finishLine(); };
        if (options.code) {
            // Whole: a code cut to the box's length would open the image for other codes too.
            SetCode(ctx, *options.code);
        }
    }

    ~Session() {
        forget(model.code);
        forget(model.storedCode);
        if (ctx.temporaryFolder.isEmpty()) {
            return;
        }
        WipeWorkFiles(ctx);
        releaseRunFolder(ctx.temporaryFolder);
    }

    bool ready() const {
        if (ctx.temporaryFolder.isEmpty()) {
            printError(QStringLiteral("no private temporary folder can be made"));
            return false;
        }
        return true;
    }

    void chooseBmp(const QString& path) {
        ui.presetChoice(path);
        ChooseBmp(ctx);
    }

    bool showed(TextId text) const { return ui.shown().contains(tr(text)); }

    // Names the user gave, and those made from them, as messages may hold them.
    void knowNames(const QStringList& names) {
        for (QString name : names) {
            ui.knowName(name);
            ui.knowName(FileNameOf(name));
        }
    }

    WindowModel model;
    TerminalUi ui;
    TerminalView view;
    LibZipService zip;
    EngineBinding engine;
    LinuxPlatform platform;
    QtPictureConverter pictures;
    WorkflowContext ctx;
};

// Why no document can be extracted from an image the engine can read: nothing is hidden in it,
// or what is hidden needs a code, or another code than the one given.
QString noDocumentText(const PayloadHeaderInfo& payload, const QString& code) {
    if (payload.status != PayloadStatus::OtherCode) {
        return QStringLiteral("no hidden document was found in it");
    }
    return code.isEmpty() ? QStringLiteral("its document needs a code; give it with --ask-code, "
                                           "--code-file, BRINDMAR_CODE or --code")
                          : QStringLiteral("this code does not open the document");
}

// Each entry of a folder with the file it names, told apart by device and inode.
using FolderEntries = std::map<QString, std::pair<dev_t, ino_t>>;

FolderEntries folderEntries(const QString& folderPath) {
    FolderEntries entries;
    const QStringList names = QDir(folderPath).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        struct stat info {};
        if (::lstat(QFile::encodeName(folderPath + name).constData(), &info) == 0) {
            entries[name] = {info.st_dev, info.st_ino};
        }
    }
    return entries;
}

// The one file of the folder that is not as it was: a new name, or a name now given to a new
// file (a replacement is a new file renamed over the old). Empty unless there is exactly one.
QString writtenEntry(const QString& folderPath, const FolderEntries& before) {
    QString written;
    for (const auto& [name, file] : folderEntries(folderPath)) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != file) {
            if (!written.isEmpty()) {
                return {};
            }
            written = folderPath + name;
        }
    }
    return written;
}

// The carrier's access and modification times, to the nanosecond, on the new image; 0 or the
// error.
int copyFileTimes(const QString& from, const QString& to) {
    struct stat info {};
    if (::stat(QFile::encodeName(from).constData(), &info) != 0) {
        return errno;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    return ::utimensat(AT_FDCWD, QFile::encodeName(to).constData(), times, AT_SYMLINK_NOFOLLOW) == 0
               ? 0
               : errno;
}

// Why the chosen carrier cannot take the document, when it cannot.
std::optional<QString> embedRefusal(const WindowModel& m) {
    if (m.display.bmpPath.isEmpty()) {
        return QString(); // the workflow has said why
    }
    if (!m.hasState(state::BmpUsable)) {
        return validityText(m.carrierCheckResult);
    }
    if (m.hasState(state::PayloadFound)) {
        return QStringLiteral("the image already carries a document that opens with this code");
    }
    if (const auto refusal = stealthCarrierRefusal(m)) {
        return *refusal;
    }
    if (!m.hasState(state::EmbedPossible)) {
        // Packed or encrypted, a document can take more than the file chosen; the size it
        // takes is the one to hold against Embed max.
        return QStringLiteral("the document does not fit: packed it takes %1 bytes, Embed max. %2")
            .arg(m.stealthWanted ? stealthArchiveLength(m) : int64_t{m.documentLength})
            .arg(m.display.embedMax);
    }
    return std::nullopt;
}

// A command on one existing file, in a session of its own.
int onFile(const Options& options, const std::function<int(Session&, const QString&)>& run) {
    const auto file = ordinaryFile(options.files[0]);
    if (!file) {
        return kFailed;
    }
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    s.ui.setSubject(*file);
    s.knowNames({*file});
    return run(s, *file);
}

QString storageText(int16_t status) {
    switch (status) {
    case PayloadStatus::CompressedArchive:
        return QStringLiteral("compressed");
    case PayloadStatus::EncryptedArchive:
        return QStringLiteral("encrypted");
    default:
        return QStringLiteral("as it is");
    }
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

std::optional<int> checkFiles(const Options& options) {
    bool sound = true;
    const QString& first = options.files.value(0);
    QString name = first;
    if (options.command == u"embed") {
        sound = (ExtensionOf(name) != u"bmp" ? ordinaryFile(first) : bmpFile(first)).has_value();
        sound = ordinaryFile(options.files.value(1)).has_value() && sound;
    } else if (options.command == u"extract") {
        // A PNG image is read as the BMP of its pixels.
        sound = (sniffImageFormat(first) == ImageFormat::Png ? ordinaryFile(first) : bmpFile(first))
                    .has_value();
    } else if (options.command != u"convert") {
        sound = ordinaryFile(first).has_value();
    }
    if (!options.out.isEmpty()) {
        sound = outputFolder(options.out, false).has_value() && sound;
    }
    return sound ? std::nullopt : std::optional<int>(kFailed);
}

int runEmbed(const Options& options) {
    QString carrierName = options.files[0];
    // Any other picture is made into a carrier first, where only this run can see it.
    const bool picture = ExtensionOf(carrierName) != u"bmp";
    std::optional<QString> carrier =
        picture ? ordinaryFile(options.files[0]) : bmpFile(options.files[0]);
    const auto document = ordinaryFile(options.files[1]);
    if (!carrier || !document) {
        return kFailed;
    }
    const auto out = outputFolder(options.out, true);
    if (!out) {
        return kFailed;
    }
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    const QString named = *carrier;
    s.knowNames({named, *document, *out});
    // The carrier made anew where only this run can see it, with a line saying so. Messages
    // about the copy name the user's picture.
    const auto convertCarrier = [&](const QString& said, bool namingTheImage) {
        s.ui.setSubject(named);
        s.ui.showNameAs(convertedBmpPath(named, s.ctx.temporaryFolder),
                        named + QStringLiteral(" (its copy in a private work folder)"));
        carrier = ConvertPictureFile(s.ctx, named, s.ctx.temporaryFolder, options.half);
        if (carrier && !options.quiet) {
            printError(
                named + said +
                (namingTheImage ? embedOutputPath(*out, named, options.imageFormat) : QString()));
        }
        return carrier.has_value();
    };
    // A picture's new image takes its format, PNG for any that is no BMP; for a converted
    // carrier it can be the very file the user named, which the workflow, holding only the
    // copy, cannot see.
    const auto overTheCarrier = [&] {
        if (SameFile(embedOutputPath(*out, named, options.imageFormat), named)) {
            printError(named + QStringLiteral(": the new image would replace the carrier itself; "
                                              "choose another --out folder"));
            return true;
        }
        return false;
    };
    if (picture && overTheCarrier()) {
        return kFailed;
    }
    if (picture && !convertCarrier(QStringLiteral(": converted into a BMP carrier in a private "
                                                  "work folder; the new image is "),
                                   true)) {
        return kFailed;
    }
    if (picture && !options.imageFormat) {
        s.model.imageFormat = outputFormatFor(named, std::nullopt);
    }
    s.model.embedOutputFolder = *out;
    s.ui.setSubject(*document);
    s.ui.presetChoice(*document);
    ChooseDocument(s.ctx);
    if (!s.model.hasState(state::DocumentChosen)) {
        return kFailed;
    }
    s.ui.setSubject(*carrier);
    s.chooseBmp(*carrier);
    // A BMP of a kind the engine cannot take is converted as any other picture would be.
    // So is an 8-bit one under --stealth, whose coder takes 24-bit pixels only.
    const bool unusable =
        !s.model.hasState(state::BmpUsable) || (options.stealth && s.model.stealthByConversion);
    if (!picture && !s.model.display.bmpPath.isEmpty() && unusable &&
        s.pictures.canRead(*carrier)) {
        if (overTheCarrier() ||
            !convertCarrier(QStringLiteral(": a BMP of a kind that cannot carry a document as it "
                                           "is; converted in a private work folder"),
                            false)) {
            return kFailed;
        }
        s.chooseBmp(*carrier);
    }
    if (const auto refusal = embedRefusal(s.model)) {
        if (!refusal->isEmpty()) {
            printError(named + QStringLiteral(": ") + *refusal);
        }
        return kFailed;
    }
    const QString image = embedOutputPath(*out, *carrier, s.model.imageFormat);
    s.knowNames({image});
    s.ui.writtenFile = [&image] { return image; };
    EmbedDocument(s.ctx);
    if (!s.model.hasOption(option::JustEmbedded)) {
        return kFailed;
    }
    if (options.keepTimes) {
        if (const int error = copyFileTimes(named, image); error != 0) {
            printError(image + QStringLiteral(": the carrier's times could not be set: ") +
                       QString::fromLocal8Bit(std::strerror(error)));
            return kFailed;
        }
    }
    return kSucceeded;
}

int runExtract(const Options& options) {
    // A PNG image is read as the BMP of its pixels, made in the private work folder.
    const bool png = sniffImageFormat(options.files[0]) == ImageFormat::Png;
    const auto image = png ? ordinaryFile(options.files[0]) : bmpFile(options.files[0]);
    if (!image) {
        return kFailed;
    }
    const auto out = outputFolder(options.out, true);
    if (!out) {
        return kFailed;
    }
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    s.knowNames({*image, *out});
    s.model.extractOutputFolder = *out;
    s.ui.setSubject(*image);
    const std::optional<QString> carrier = png ? DecodePngImage(s.ctx, *image) : image;
    if (!carrier) {
        return kFailed;
    }
    if (png) {
        // Messages name the user's PNG, not its work copy; where no document opens in it, the
        // likeliest reason is a picture changed since it was made.
        s.ui.showNameAs(*carrier + QStringLiteral(" - this code does not open the document"),
                        *image + QStringLiteral(" - ") + pngCarriesNothing());
        s.ui.showNameAs(*carrier, *image);
    }
    s.chooseBmp(*carrier);
    // With a code, an image without a plain payload is searched for a stealth one.
    if (!s.model.extractMode() && !stealthSearchOffered(s.model)) {
        // A read the disk refused has been told already; blaming the code would mislead.
        if (s.ui.shown().join(u' ').contains(QStringLiteral("cannot be read"))) {
            return kFailed;
        }
        const bool usable = s.model.hasState(state::BmpUsable);
        const QString why =
            usable && s.model.stealthCandidate && s.model.code.isEmpty() ? stealthNeedsCodeText()
            : png && usable                                              ? pngCarriesNothing()
            : s.model.hasState(state::BmpUsable) || s.model.display.bmpPath.isEmpty()
                ? noDocumentText(ReadPayloadHeader(*carrier, s.model.code), s.model.code)
                : validityText(s.model.carrierCheckResult);
        printError(*image + QStringLiteral(": ") + why);
        return kFailed;
    }
    // The document's own name may be known only once it is unpacked: the one entry of the
    // folder that is new or new-made is what was written.
    const FolderEntries before = folderEntries(*out);
    s.ui.writtenFile = [&] { return writtenEntry(*out, before); };
    ExtractDocument(s.ctx);
    if (png) {
        DiscardWorkFile(s.ctx, *carrier);
    }
    return s.showed(TextId::ExtractionSucceeded) ? kSucceeded : kFailed;
}

int runInfo(const Options& options) {
    return onFile(options, [](Session& s, const QString& named) {
        // A PNG image is described by the BMP of its pixels, made in the private work folder.
        const bool png = sniffImageFormat(named) == ImageFormat::Png;
        const std::optional<QString> work = png ? DecodePngImage(s.ctx, named) : named;
        if (!work) {
            return kFailed;
        }
        const QString& image = *work;
        const auto values = ReadBmpInformation(s.ctx, image);
        if (!values) {
            return kFailed;
        }
        QStringList lines;
        for (int i = 0; i < kBmpInformationFields; ++i) {
            lines << tr(static_cast<TextId>(static_cast<int>(TextId::InfoIdentifier) + i)) +
                         QStringLiteral(": ") + (*values)[size_t(i)];
        }
        QString name = image;
        if (ExtensionOf(name) != u"bmp") {
            lines << QStringLiteral("Carrier: a BMP file, but its name does not end in .bmp");
        } else if (InspectCarrier(s.ctx, inspect::Evaluate, image);
                   s.model.hasState(state::BmpUsable)) {
            lines << QStringLiteral("Carrier: usable");
            lines << tr(TextId::EmbedMaxCaption) + u' ' + s.model.display.embedMax +
                         QStringLiteral(" bytes");
        } else {
            // embed takes such a BMP through the converter, so it is no dead end.
            lines << QStringLiteral("Carrier: ") +
                         (s.pictures.canRead(image)
                              ? QStringLiteral("not usable as it is; converted when it is chosen "
                                               "as a carrier")
                              : validityText(s.model.carrierCheckResult));
        }
        const PayloadHeaderInfo payload = ReadPayloadHeader(image, s.model.code);
        if (payload.sealed && payload.payloadFound()) {
            // Its length and neutral name say nothing, and nothing else can be read without
            // the code.
            lines << QStringLiteral("Payload: sealed with strong protection");
        } else if (payload.payloadFound()) {
            lines << QStringLiteral("Payload: %1, %2 bytes, stored %3")
                         .arg(payload.documentName)
                         .arg(payload.documentLength)
                         .arg(storageText(payload.status));
            // Said plainly: the code is in the image, so such a document is anyone's who has
            // the program.
            lines << (payload.codeProtected
                          ? QStringLiteral("Code: stored in the image (not a protection against "
                                           "someone with this program)")
                          : QStringLiteral("Code: none; made without a code, it opens for anyone"));
        } else {
            lines << QStringLiteral("Payload: ") + noDocumentText(payload, s.model.code);
        }
        for (QString& line : lines) {
            line = shownText(line);
        }
        if (png) {
            lines.prepend(QStringLiteral("Image: a PNG, described by the BMP of its pixels"));
            DiscardWorkFile(s.ctx, image);
        }
        std::fprintf(stdout, "%s\n", lines.join(u'\n').toLocal8Bit().constData());
        return kSucceeded;
    });
}

int runConvert(const Options& options) {
    const auto out = outputFolder(options.out, true);
    if (!out) {
        return kFailed;
    }
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    int status = kSucceeded;
    for (const QString& named : options.files) {
        const std::optional<QString> picture = ordinaryFile(named);
        if (picture) {
            s.ui.setSubject(*picture);
            s.knowNames({*picture, *out});
        }
        const std::optional<QString> bmp =
            picture ? ConvertPictureFile(s.ctx, *picture, *out, options.half) : std::nullopt;
        if (!bmp) {
            status = kFailed;
        } else if (!options.quiet) {
            std::fprintf(
                stdout, "%s\n",
                shownText(named + QStringLiteral(" -> ") + *bmp).toLocal8Bit().constData());
        }
        if (g_interrupted) {
            break;
        }
    }
    return status;
}

int runWipe(const Options& options) {
    return onFile(options, [](Session& s, const QString& file) {
        s.ui.presetChoice(file);
        WipeCommand(s.ctx);
        return s.showed(TextId::WipeSucceeded) ? kSucceeded : kFailed;
    });
}

int runZip(const Options& options) {
    return onFile(options, [](Session& s, const QString& file) {
        s.ui.presetChoice(file);
        RunZipTool(s.ctx);
        for (const QString& text : s.ui.shown()) {
            if (text.contains(tr(TextId::EndUnzipFunction)) ||
                text.contains(tr(TextId::ZippedToDirectory))) {
                return kSucceeded;
            }
        }
        return kFailed;
    });
}

} // namespace brindmar::cli
