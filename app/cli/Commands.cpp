#include "cli/Commands.h"

#include "cli/CodeSource.h"
#include "cli/TerminalUi.h"
#include "imaging/QtPictureConverter.h"
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "payload/PayloadHeaderReader.h"
#include "util/LinuxPlatform.h"
#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/BmpInformation.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/PictureConversion.h"
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
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar::cli {

namespace {

constexpr std::array<const char*, kCropModeCount> kCropNames = {
    "none",          "centre",          "centre-bottom",    "centre-top",
    "left-top",      "left-centre",     "left-bottom",      "right-top",
    "right-centre",  "right-bottom",    "left-vert-strip",  "centre-vert-strip",
    "right-vert-strip", "top-horiz-strip", "centre-horiz-strip", "bottom-horiz-strip"};

void printError(const QString& text) {
    std::fprintf(stderr, "brindmar: %s\n", text.toLocal8Bit().constData());
}

// A work folder of this run's own inside the private temporary folder, so that a window open at
// the same time keeps its work files.
QString ownTemporaryFolder() {
    const QString shared = privateTemporaryFolder();
    if (shared.isEmpty()) {
        return {};
    }
    const QString own = shared + QStringLiteral("cli-%1/").arg(::getpid());
    return ::mkdir(QFile::encodeName(own).constData(), 0700) == 0 ? own : QString();
}

// One run of the program on the terminal: the window's model and services, without a window.
class Session {
public:
    explicit Session(const Options& options)
        : ui(model, options.yes, options.quiet), view(model, options.quiet),
          engine(QCoreApplication::applicationDirPath() + u'/'),
          ctx{model,    ui,   zip, engine, platform, view, QCoreApplication::applicationDirPath() + u'/',
              ownTemporaryFolder(), &pictures} {
        model.cropMode = options.cropMode;
        model.imageFormat = options.imageFormat;
        model.display.encryptBox =
            options.encrypt || options.strong ? kEncryptTicked : kEncryptUnticked;
        model.display.strongBox = options.strong;
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
        QDir(ctx.temporaryFolder).removeRecursively();
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

    WindowModel model;
    TerminalUi ui;
    TerminalView view;
    LibZipService zip;
    EngineBinding engine;
    LinuxPlatform platform;
    QtPictureConverter pictures;
    WorkflowContext ctx;
};

// The system's reason why path is no file a command can work on, or nothing when it is one.
QString notAFile(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return QString::fromLocal8Bit(std::strerror(EISDIR));
    }
    return S_ISREG(info.st_mode) ? QString() : QStringLiteral("is not an ordinary file");
}

// An ordinary file that can be named to a workflow; folders, FIFOs and missing files are not.
std::optional<QString> ordinaryFile(const QString& path) {
    if (const QString why = notAFile(path); !why.isEmpty()) {
        printError(path + QStringLiteral(": ") + why);
        return std::nullopt;
    }
    return QFileInfo(path).absoluteFilePath();
}

std::optional<QString> folder(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        printError(path + QStringLiteral(": ") +
                   QString::fromLocal8Bit(std::strerror(info.exists() ? ENOTDIR : ENOENT)));
        return std::nullopt;
    }
    return QDir::cleanPath(info.absoluteFilePath()) + u'/';
}

// A picture the BMP commands take: a file whose name ends in ".bmp", as the window's chooser
// asks. A BMP named otherwise is told so, rather than found invalid.
std::optional<QString> bmpFile(const QString& path) {
    const std::optional<QString> file = ordinaryFile(path);
    if (!file) {
        return std::nullopt;
    }
    QString name = *file;
    if (ExtensionOf(name) != u"bmp") {
        QFile in(*file);
        const bool bmp = in.open(QIODevice::ReadOnly) && in.read(2) == "BM";
        printError(path + (bmp ? QStringLiteral(": is a BMP file, but its name does not end in "
                                                ".bmp; rename it to use it")
                               : QStringLiteral(": is not a BMP file")));
        return std::nullopt;
    }
    return file;
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
    if (!m.hasState(state::EmbedPossible)) {
        // Packed or encrypted, a document can take more than the file chosen; the size it
        // takes is the one to hold against Embed max.
        return QStringLiteral("the document does not fit: packed it takes %1 bytes, Embed max. %2")
            .arg(m.documentLength)
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
    for (size_t i = 0; i < kCropNames.size(); ++i) {
        if (text == QLatin1String(kCropNames[i])) {
            return static_cast<uint8_t>(i);
        }
    }
    return std::nullopt;
}

int runEmbed(const Options& options) {
    QString carrierName = options.files[0];
    // Any other picture is made into a carrier first, where only this run can see it.
    const bool picture = ExtensionOf(carrierName) != u"bmp";
    std::optional<QString> carrier =
        picture ? ordinaryFile(options.files[0]) : bmpFile(options.files[0]);
    const auto document = ordinaryFile(options.files[1]);
    const auto out = folder(options.out);
    if (!carrier || !document || !out) {
        return kFailed;
    }
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    const QString named = *carrier;
    // The carrier made anew where only this run can see it, with a line saying so.
    const auto convertCarrier = [&](const QString& said, bool namingTheImage) {
        const QString from = *carrier;
        s.ui.setSubject(from);
        carrier = ConvertPictureFile(s.ctx, from, s.ctx.temporaryFolder);
        if (carrier) {
            QString converted = *carrier;
            printError(
                from + said +
                (namingTheImage ? embedOutputPath(*out, from, options.imageFormat) : QString()));
        }
        return carrier.has_value();
    };
    // A picture's new image takes its format, PNG for any that is no BMP, and never replaces
    // the picture itself.
    if (picture && SameFile(embedOutputPath(*out, named, options.imageFormat), named)) {
        printError(named + QStringLiteral(": cannot embed over the carrier; choose another "
                                          "folder with -o"));
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
    if (!picture && !s.model.display.bmpPath.isEmpty() && !s.model.hasState(state::BmpUsable) &&
        s.pictures.canRead(*carrier)) {
        if (!convertCarrier(QStringLiteral(": a BMP of a kind that cannot carry a document as it "
                                           "is; converted in a private work folder"),
                            false)) {
            return kFailed;
        }
        s.chooseBmp(*carrier);
    }
    if (const auto refusal = embedRefusal(s.model)) {
        if (!refusal->isEmpty()) {
            printError(*carrier + QStringLiteral(": ") + *refusal);
        }
        return kFailed;
    }
    EmbedDocument(s.ctx);
    return s.model.hasOption(option::JustEmbedded) ? kSucceeded : kFailed;
}

int runExtract(const Options& options) {
    // A PNG image is read as the BMP of its pixels, made in the private work folder.
    const bool png = sniffImageFormat(options.files[0]) == ImageFormat::Png;
    const auto image = png ? ordinaryFile(options.files[0]) : bmpFile(options.files[0]);
    const auto out = folder(options.out);
    if (!image || !out) {
        return kFailed;
    }
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    s.model.extractOutputFolder = *out;
    s.ui.setSubject(*image);
    const std::optional<QString> carrier =
        png ? ConvertPictureFile(s.ctx, *image, s.ctx.temporaryFolder) : image;
    if (!carrier) {
        return kFailed;
    }
    s.chooseBmp(*carrier);
    if (!s.model.extractMode()) {
        const QString why =
            png && s.model.hasState(state::BmpUsable) ? pngCarriesNothing()
            : s.model.hasState(state::BmpUsable) || s.model.display.bmpPath.isEmpty()
                ? QStringLiteral("no document in it opens with this code")
                : validityText(s.model.carrierCheckResult);
        printError(*image + QStringLiteral(": ") + why);
        return kFailed;
    }
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
        const std::optional<QString> work =
            png ? ConvertPictureFile(s.ctx, named, s.ctx.temporaryFolder) : named;
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
            lines << QStringLiteral("Carrier: ") + validityText(s.model.carrierCheckResult) +
                         (s.pictures.canRead(image)
                              ? QStringLiteral("; brindmar convert makes a copy that can be used")
                              : QString());
        }
        const PayloadHeaderInfo payload = ReadPayloadHeader(image, s.model.code);
        if (payload.sealed && payload.payloadFound()) {
            // Its length and neutral name say nothing, and nothing else can be read without
            // the code.
            lines << QStringLiteral("Payload: sealed (strong protection)");
        } else if (payload.payloadFound()) {
            lines << QStringLiteral("Payload: %1, %2 bytes, stored %3")
                         .arg(payload.documentName)
                         .arg(payload.documentLength)
                         .arg(storageText(payload.status));
            // Said plainly: such a document is anyone's who has the program.
            lines << (payload.codeProtected
                          ? QStringLiteral("Code: protected by a code")
                          : QStringLiteral("Code: none; made without a code, it opens for anyone"));
        } else {
            lines << QStringLiteral("Payload: none that opens with this code");
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
    const auto out = folder(options.out);
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
        }
        const std::optional<QString> bmp =
            picture ? ConvertPictureFile(s.ctx, *picture, *out) : std::nullopt;
        if (!bmp) {
            status = kFailed;
        } else if (!options.quiet) {
            std::fprintf(stdout, "%s\n", (named + QStringLiteral(" -> ") + *bmp).toLocal8Bit().constData());
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
