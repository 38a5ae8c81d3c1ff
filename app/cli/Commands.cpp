#include "cli/Commands.h"

#include "cli/CodeSource.h"
#include "cli/FileArguments.h"
#include "cli/OutcomeText.h"
#include "cli/TerminalText.h"
#include "cli/TerminalUi.h"
#include "imaging/QtPictureConverter.h"
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "util/LinuxPlatform.h"
#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "util/WorkFolders.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/Requests.h"
#include "workflows/WipeCommand.h"

#include <QCoreApplication>
#include <cstdio>

namespace brindmar::cli {

namespace {

// Each line with its control characters written out, so that a name cannot forge a line.
void print(std::FILE* stream, const QStringList& lines) {
    for (const QString& line : lines) {
        std::fprintf(stream, "%s\n", shownText(line).toLocal8Bit().constData());
    }
}

void printError(const QString& text) {
    print(stderr, {programLine(text)});
}

// A work folder of this run's own inside the private temporary folder, so that a window open at
// the same time keeps its work files; those of runs that died are swept first.
QString ownTemporaryFolder() {
    return claimRunFolder(privateTemporaryFolder());
}

// One run of the program on the terminal: the workflows' model and services, without a window.
class Session {
public:
    explicit Session(const Options& options)
        : ui(model, options.yes), view(model, options.quiet),
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
        model.thumbnailBoxWidth = 1500;
        model.thumbnailBoxHeight = 1500;
        ui.beforeMessage = [this] { view.finishLine(); };
        ctx.notices = &view;
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

    // Names the user gave, which messages may hold.
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

// One line and an exit status for an outcome; done prints its text unless quiet.
int rendered(const Options& options, const Outcome& outcome, const QStringList& doneLines) {
    if (outcome.done()) {
        if (!options.quiet) {
            print(stdout, doneLines);
        }
        return kSucceeded;
    }
    if (const QString why = refusalText(outcome); !why.isEmpty()) {
        printError(why);
    }
    return kFailed;
}

// A command on one file the user named, in a session of its own.
template <typename Run> int inSession(const Options& options, const QStringList& names, Run run) {
    Session s(options);
    if (!s.ready()) {
        return kFailed;
    }
    s.knowNames(names);
    return run(s);
}

} // namespace

int runEmbed(const Options& options) {
    QString name = options.files[0];
    const auto carrier =
        ExtensionOf(name) != u"bmp" ? ordinaryFile(options.files[0]) : bmpFile(options.files[0]);
    const auto document = ordinaryFile(options.files[1]);
    const auto out = carrier && document ? outputFolder(options.out, true) : std::nullopt;
    if (!out) {
        return kFailed;
    }
    const EmbedRequest request{*carrier,
                               *document,
                               *out,
                               {options.code, options.encrypt, options.strong, options.stealth},
                               options.imageFormat,
                               options.cropMode,
                               options.half,
                               options.keepTimes,
                               options.stripMetadata};
    return inSession(options, {*carrier, *document, *out}, [&](Session& s) {
        const EmbedOutcome outcome = Embed(s.ctx, request);
        // A note, not an error: the embed goes on with the converted copy.
        if (const QString converted =
                conversionText(outcome, *out, options.imageFormat, options.stealth);
            !converted.isEmpty() && !options.quiet) {
            print(outcome.convertedBmp ? stdout : stderr,
                  {outcome.convertedBmp ? converted : programLine(converted)});
        }
        return rendered(options, outcome, embedDoneText(outcome));
    });
}

int runExtract(const Options& options) {
    // A PNG image is read as the BMP of its pixels, made in the private work folder; a JPEG
    // with a code is searched in its coefficients.
    const bool png = sniffImageFormat(options.files[0]) == ImageFormat::Png;
    const bool jpeg = options.code && isJpegFile(options.files[0]);
    const auto image = png || jpeg ? ordinaryFile(options.files[0]) : bmpFile(options.files[0]);
    const auto out = image ? outputFolder(options.out, true) : std::nullopt;
    if (!out) {
        return kFailed;
    }
    return inSession(options, {*image, *out}, [&](Session& s) {
        const Outcome outcome = Extract(s.ctx, ExtractRequest{*image, *out, options.code});
        return rendered(options, outcome, extractDoneText(outcome));
    });
}

int runInfo(const Options& options) {
    const auto file = ordinaryFile(options.files[0]);
    if (!file) {
        return kFailed;
    }
    return inSession(options, {*file}, [&](Session& s) {
        const InfoOutcome info = Describe(s.ctx, InfoRequest{*file, options.code});
        // Asked for, the description is said even under --quiet.
        Options said = options;
        said.quiet = false;
        const int status = rendered(said, info, infoLines(info));
        // Said all the same, a document the code could not even be tried on (no room, memory or
        // engine for it) is no success: a script asking whether the image opens must not hear
        // yes.
        const bool tried =
            info.payload == Reason::None || info.payload == Reason::NoPayload ||
            info.payload == Reason::CodeNeeded || info.payload == Reason::WrongCode ||
            info.payload == Reason::NoDocumentForCode || info.payload == Reason::Damaged;
        return status == kSucceeded && options.code && !tried ? kFailed : status;
    });
}

int runConvert(const Options& options) {
    const auto out = outputFolder(options.out, true);
    if (!out) {
        return kFailed;
    }
    return inSession(options, {*out}, [&](Session& s) {
        int status = kSucceeded;
        for (qsizetype at = 0; at < options.files.size(); ++at) {
            const QString& named = options.files[at];
            const std::optional<QString> picture = ordinaryFile(named);
            Outcome outcome = Outcome::failed(Reason::CannotRead, named);
            outcome.told = true; // the file check has said why
            if (picture) {
                s.knowNames({*picture});
                outcome = Convert(s.ctx, ConvertRequest{*picture, *out, options.half});
            }
            const QString line = named + QStringLiteral(" -> ") + outcome.written.value(0);
            if (rendered(options, outcome, {line}) != kSucceeded) {
                status = kFailed;
            }
            // Stopped, the run did not do all it was asked: the files it stopped in or never
            // tried are named, and it does not end as a success.
            const qsizetype next = outcome.ending == Ending::Stopped ? at : at + 1;
            if (g_interrupted && next < options.files.size()) {
                for (const QString& left : options.files.mid(next)) {
                    printError(left + QStringLiteral(": not converted, as the run was stopped"));
                }
                return kFailed;
            }
        }
        return status;
    });
}

int runWipe(const Options& options) {
    const auto file = ordinaryFile(options.files[0]);
    if (!file) {
        return kFailed;
    }
    return inSession(options, {*file}, [&](Session& s) {
        return rendered(options, Wipe(s.ctx, FileRequest{*file}), wipeDoneText());
    });
}

int runZip(const Options& options) {
    const auto file = ordinaryFile(options.files[0]);
    if (!file) {
        return kFailed;
    }
    return inSession(options, {*file}, [&](Session& s) {
        const Outcome outcome = Zip(s.ctx, FileRequest{*file});
        return rendered(options, outcome, zipDoneText(outcome));
    });
}

} // namespace brindmar::cli
