// Random embed-then-extract runs over the workflows with the real engine and ZIP service.
// BRINDMAR_PROPERTY_CASES asks for more cases (300 by default), BRINDMAR_PROPERTY_SEED for
// another base seed; a failing case runs alone with its printed seed and CASES=1. Some cases
// choose the carrier as a PNG, or ask for a PNG image, which must then extract also once another
// encoder has saved it again.

#include "RoundTripCases.h"
#include "imaging/QtPictureConverter.h"
#include "workflows/ImageFormat.h"

#include <QImage>
#include <QImageWriter>

namespace {

using namespace roundtrip;

std::vector<std::string> runCase(Case& c, Random& r) {
    std::vector<std::string> faults;
    const auto fault = [&](const std::string& what, const QStringList& shown = {}) {
        const QString joined = shown.join(QStringLiteral("] [")).replace(u'\n', u' ');
        faults.push_back(what + (shown.isEmpty() ? "" : ": [" + joined.toStdString() + "]"));
    };
    apptest::ScratchDir files;
    QString carrier = files.path(QStringLiteral("carrier.bmp"));
    files.write(QStringLiteral("carrier.bmp"), makeCarrier(r, c));
    // A PNG carrier and a PNG image are read through the converter, as the window reads them.
    QtPictureConverter pictures;
    if (c.pngCarrier) {
        const QString png = files.path(QStringLiteral("carrier.png"));
        if (!QImage(carrier).save(png, "PNG")) {
            fault("the PNG carrier could not be made");
            return faults;
        }
        QFile::remove(carrier);
        carrier = png;
    }
    const QString document = files.path(c.name);
    std::string content;
    const auto writeDocument = [&](int64_t length) {
        c.raw = length;
        content = documentBytes(c.seed, c.noisy, length);
        files.write(c.name, content);
        QFile file(document);
        file.open(QIODevice::Append);
        file.setFileTime(QDateTime::fromSecsSinceEpoch(c.modified),
                         QFileDevice::FileModificationTime);
    };

    Session embed(c.code, c.encrypt, c.strong);
    embed.h.ctx.pictures = &pictures;
    WindowModel& m = embed.h.model;
    m.imageFormat = c.pngOutput ? std::optional(ImageFormat::Png) : std::nullopt;
    // A code the box refuses as it is typed leaves the one it had, and the run goes on with it.
    c.used = m.code;
    const QStringList typed = embed.messages();
    if (c.used != c.code.left(kCodeMaxLength) &&
        std::none_of(typed.begin(), typed.end(), saysWhy)) {
        fault("code refused as typed without saying why", typed);
    }
    // Each run writes into its own program folder, as by default, and into nothing else: a
    // folder fewer to make and remove per run keeps the cases fast on a journalled disk.
    const QString outFolder = embed.h.dir.folder();
    m.embedOutputFolder = outFolder;
    m.cropMode = c.cropMode;
    if (c.carrierFirst) {
        embed.choose(ChooseBmp, carrier);
    } else { // the figure counts the name only once a document is chosen
        writeDocument(1);
        embed.choose(ChooseDocument, document);
        embed.choose(ChooseBmp, carrier);
    }
    // Packed lengths around the figure shown: nothing, exactly it, just over, over, a few
    // bytes, or spread over the scales so that a few bytes are as likely as a full carrier.
    bool figureShown = false;
    const int64_t room = std::max<int64_t>(m.display.embedMax.toLongLong(&figureShown), 0);
    const std::array<int64_t, 6> targets{
        0, room, room, room + 1, room + r.between(2, room / 8 + 2), r.between(1, 64)};
    const int choice = r.pick(9);
    const int64_t target =
        choice < 6 ? targets[size_t(choice)]
                   : std::llround(std::pow(double(std::max<int64_t>(room, 1)), r.unit()));
    // Only the lengths at the figure are worth the repacking it takes to hit them.
    int64_t raw = c.noisy ? target : target * 2;
    for (int i = 0; i < (choice >= 1 && choice <= 4 ? 4 : 1); ++i) {
        writeDocument(raw);
        embed.choose(ChooseDocument, document);
        const int64_t packed = m.documentLength;
        const int64_t next = c.noisy || packed == 0 ? raw + target - packed : raw * target / packed;
        if (packed == target || next < 0 || next == raw) {
            break;
        }
        raw = std::min<int64_t>(next, 8 * room + 1000);
    }
    if (!c.carrierFirst) {
        embed.choose(ChooseBmp, carrier); // the document was chosen last; the carrier now is
    }
    c.packed = m.documentLength;
    c.embedMax = m.display.embedMax.toLongLong(&figureShown);
    // Strong protection cannot do without a code.
    // A sealing code is of any script; only a stored one must fit the header.
    const bool codeHeld = c.strong ? codeTextFault(c.used, CodeRule::Sealing) == CodeTextFault::None
                                   : headerHoldsCode(c.used);
    if (!figureShown && codeHeld) {
        fault("no Embed max. shown for a usable carrier", embed.messages());
        return faults;
    }
    const bool fits = figureShown && c.packed <= c.embedMax;
    const bool offered = m.hasState(state::EmbedPossible) && !m.extractMode();
    bool rectHolds = true;
    if (c.drawnCrop && offered) {
        const double share = 4.0 * m.payloadLength / double(m.carrierColourBytes);
        c.rect = drawRect(r, share, c.freeRect);
        rectHolds = !c.freeRect || double(c.rect->width) * c.rect->height >= share * 1.001;
        m.pointerMarks |= pointer::Adjusted;
        m.crop = *c.rect;
    }
    const size_t before = embed.h.ui.messages().size();
    if (offered) {
        EmbedDocument(embed.h.ctx);
    }
    const QStringList said = embed.messages(before);
    const bool succeeded = std::any_of(said.begin(), said.end(), [](const QString& s) {
        return s.section(u'|', 1).startsWith(
            QStringLiteral("File Embedding processed successfully"));
    });
    const QString image = embedOutputPath(outFolder, carrier, m.imageFormat);

    if (!succeeded) {
        if (!entriesOf(outFolder).isEmpty()) {
            fault("failed embed left " + entriesOf(outFolder).join(u' ').toStdString(), said);
        }
        const QStringList all = embed.messages();
        if (!codeHeld) {
            // Refused for its code, whenever that was said; silence is fine only when the
            // document was not going in anyway.
            if ((offered || fits) && std::none_of(all.begin(), all.end(), saysWhy)) {
                fault("code refused without saying why", all);
            }
        } else if (fits && rectHolds) {
            fault(offered ? "embed failed though the document fits"
                          : "Embed not offered though the document fits",
                  all);
        } else if (offered && std::none_of(said.begin(), said.end(), saysWhy)) {
            fault("refusal does not say why", said);
        }
        return faults;
    }
    if (!codeHeld) {
        fault("a code the header cannot hold was accepted");
    }

    // A code of any script is taken once the sealed image it opens is chosen.
    const auto extractsFrom = [&](Session& extract, const QString& from, const std::string& what) {
        extract.h.ctx.pictures = &pictures;
        const QString foundFolder = extract.h.dir.folder();
        extract.h.model.extractOutputFolder = foundFolder;
        extract.choose(ChooseBmp, from);
        if (c.strong) {
            ChangeCode(extract.h.ctx, c.used);
        }
        if (!extract.h.model.extractMode()) {
            fault(what + " does not open for extraction with its code", extract.messages());
            return;
        }
        const size_t opened = extract.h.ui.messages().size();
        ExtractDocument(extract.h.ctx);
        const QStringList done = extract.messages(opened);
        if (done != QStringList{"Completion Message|File Extraction processed successfully"}) {
            fault("extract from " + what + " did not succeed", done);
        }
        const QStringList found = entriesOf(foundFolder);
        QFile back(foundFolder + c.name);
        if (found != QStringList{c.name} || !back.open(QIODevice::ReadOnly)) {
            fault("extract folder holds [" + found.join(QStringLiteral("] [")).toStdString() + "]");
        } else if (const QByteArray bytes = back.readAll();
                   bytes != QByteArray::fromStdString(content)) {
            fault("extracted " + std::to_string(bytes.size()) + " bytes differ from the " +
                  std::to_string(content.size()) + " embedded in " + what);
        } else if (modifiedOf(back.fileName()) != c.modified) {
            fault("extracted time " + std::to_string(modifiedOf(back.fileName())) + " instead of " +
                  std::to_string(c.modified));
        }
    };
    Session extract(c.strong ? QString() : c.used, false);
    extractsFrom(extract, image, "the image made");
    const QString foundFolder = extract.h.dir.folder();
    if (image.endsWith(u".png")) {
        // Another encoder, another compression level, a text chunk: the same pixels.
        const QString resaved = files.path(QStringLiteral("resaved.png"));
        QImageWriter writer(resaved, "png");
        writer.setCompression(9);
        writer.setText(QStringLiteral("Comment"), QStringLiteral("saved again"));
        if (!writer.write(QImage(image).convertToFormat(QImage::Format_RGB32))) {
            fault("the PNG could not be saved again");
        }
        Session again(c.strong ? QString() : c.used, false);
        extractsFrom(again, resaved, "the PNG saved again");
    }
    // The same run goes on with codes that must not open the image; a new run for them would
    // only cost time. A sealed image is always offered: only the extraction tests a code.
    if (c.strong && !trimmed(c.used).isEmpty()) {
        for (const QString& wrong : {otherCode(r, c.used), QString()}) {
            ChangeCode(extract.h.ctx, wrong);
            extract.choose(ChooseBmp, image);
            const QStringList kept = entriesOf(foundFolder);
            const size_t from = extract.h.ui.messages().size();
            ExtractDocument(extract.h.ctx);
            const QStringList refusal = extract.messages(from);
            if (entriesOf(foundFolder) != kept ||
                std::none_of(refusal.begin(), refusal.end(), saysWhy)) {
                fault("the sealed image with the code \"" + wrong.toStdString() +
                          "\" wrote something or did not say why",
                      refusal);
            }
        }
    } else if (!trimmed(c.used).isEmpty()) {
        for (const QString& wrong : {otherCode(r, c.used), QString()}) {
            ChangeCode(extract.h.ctx, wrong);
            extract.choose(ChooseBmp, image);
            if (extract.h.model.extractMode()) {
                fault("the image opens with the code \"" + wrong.toStdString() + "\"");
            }
        }
    }
    return faults;
}

// Runs one case; false when it broke the invariant, which is then reported with the case.
bool holds(uint32_t seed, bool mayBeStrong = true) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Random r(seed);
    Case c = drawCase(seed, r, mayBeStrong);
    const std::vector<std::string> faults = runCase(c, r);
    std::string text;
    for (const std::string& f : faults) {
        text += "\n  - " + f;
    }
    EXPECT_TRUE(faults.empty()) << "seed " << seed << " (BRINDMAR_PROPERTY_SEED=" << seed
                                << " BRINDMAR_PROPERTY_CASES=1): " << c.describe() << text;
    return faults.empty();
}

TEST(RoundTripProperty, RandomCasesKeepTheDocumentOrSayWhyNot) {
    const uint32_t base = fromEnvironment("BRINDMAR_PROPERTY_SEED", 20240601);
    const uint32_t cases = fromEnvironment("BRINDMAR_PROPERTY_CASES", 300);
    // Enough failures to see a pattern, few enough to read.
    const uint32_t stopAfter = fromEnvironment("BRINDMAR_PROPERTY_STOP", 10);
    uint32_t failed = 0;
    for (uint32_t i = 0; i < cases && failed < stopAfter; ++i) {
        failed += holds(base + i) ? 0 : 1;
    }
}

constexpr std::array<uint32_t, 13> kKeptSeeds{
    20240615, // a 1-pixel-wide image: the extraction fails
    20240616, // a name with a leading blank comes back without it
    20240631, // a name beyond 8 bits comes back with question marks
    20240637, // a code beyond 8 bits is taken, and a different one opens the image
    20240638, // document chosen after the carrier: Embed max. counts a 12-character name
    20240643, // a name with trailing blanks cannot be packed nor embedded
    20240671, // an empty document in an RLE8 carrier: the engine fails
    20240740, // a code of 6 characters between blanks is taken
    20240760, // an empty document: the image made does not open
    20240793, // a drawn crop too small for the payload: the refusal does not say why
    20240809, // Embed max. 0 on a tiny carrier, yet an empty document is not offered
    20243183, // a 1-pixel strip of a wide carrier, several blocks: the engine fails
    20256388, // a payload under 95 bytes: the image made does not open
};

TEST(RoundTripProperty, KeptSeeds) {
    for (const uint32_t seed : kKeptSeeds) {
        holds(seed, false);
    }
}

} // namespace
