// Random embed-then-extract runs over the workflows with the real engine and ZIP service.
// BRINDMAR_PROPERTY_CASES asks for more cases (300 by default), BRINDMAR_PROPERTY_SEED for
// another base seed; a failing case runs alone with its printed seed and CASES=1. A second mode
// fails one of the engine's reads at a random point and checks that the run fails, says so and
// leaves the file it would have replaced.

#include "Streams.h"
#include "WorkflowHarness.h"
#include "payload/CarrierFile.h"
#include "payload/CodeText.h"
#include "vokbfn1.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sstream>

using namespace brindmar;
using apptest::Bytes;

namespace {

// Every draw of a case comes from one source in a fixed order, so that its seed replays it.
struct Random {
    std::mt19937 bits;
    explicit Random(uint32_t seed) : bits(seed) {}
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(bits); }
    int64_t between(int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(bits);
    }
    double unit() { return std::uniform_real_distribution<double>(0, 1)(bits); }
    uint8_t byte() { return uint8_t(bits()); }
    QString text(const QString& set, int64_t length) {
        QString text;
        for (int64_t i = 0; i < length; ++i) {
            text += set[pick(int(set.size()))];
        }
        return text;
    }
};

QString blanks(int64_t n) {
    return QString(n, u' ');
}

const QString kAscii = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJ0123456789");
const QString kAccented = QStringLiteral("éüñàçøßÉÜÑ");
const std::array<QString, 3> kOtherScripts = {QStringLiteral("αβγδεζηθλμ"),
                                              QStringLiteral("абвгдежзиклм"),
                                              QStringLiteral("文档资料图片密码")};

QString trimmed(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("^ +| +$")));
}

// The header keeps the code as 8-bit text of 10 to 20 characters, or none.
bool headerHoldsCode(const QString& code) {
    const qsizetype length = trimmed(code).size();
    return std::all_of(code.begin(), code.end(), [](QChar c) { return c.unicode() <= 0xFF; }) &&
           (length == 0 || length >= kCodeMinLength);
}

// One character changed, beyond 8 bits when it was, so that codes a lossy 8-bit form would
// merge are tried against each other.
QString otherCode(Random& r, const QString& code) {
    QString other = trimmed(code);
    const qsizetype i = r.pick(int(other.size()));
    QString set = other[i].unicode() > 0xFF ? kOtherScripts[0] + kOtherScripts[1] + kOtherScripts[2]
                                            : kAscii + kAccented;
    set.remove(other[i]);
    other[i] = set[r.pick(int(set.size()))];
    return other;
}

enum class Kind { Rgb24, Indexed8, Rle8 };

struct Case {
    uint32_t seed = 0;
    Kind kind = Kind::Rgb24;
    int32_t width = 1, height = 1;
    uint8_t cropMode = 0;
    bool drawnCrop = false, carrierFirst = false, noisy = false, encrypt = false;
    bool strong = false;
    bool freeRect = false; // not kept to the frame's area as a drag would
    QString name, code;
    QString used; // the code the box kept
    int64_t modified = 0;
    // Found while running.
    std::optional<CropRect> rect;
    int64_t raw = 0, packed = 0, embedMax = 0;

    std::string describe() const {
        static const char* const kinds[] = {"24-bit", "8-bit", "RLE8"};
        std::ostringstream o;
        o << kinds[int(kind)] << ' ' << width << 'x' << height << ", crop " << int(cropMode);
        if (rect) {
            o << " drawn" << (freeRect ? " (any size)" : "") << " {left " << rect->left
              << ", width " << rect->width << ", top " << rect->top << ", height " << rect->height
              << '}';
        }
        o << ", " << (carrierFirst ? "carrier then document" : "document then carrier")
          << ", document " << raw << " bytes of " << (noisy ? "noise" : "text") << " packed to "
          << packed << " (Embed max. " << embedMax << "), name \"" << name.toStdString()
          << "\", code \"" << code.toStdString() << "\""
          << (used == code ? "" : " (kept \"" + used.toStdString() + "\")") << ", encrypt "
          << (encrypt ? "on" : "off") << (strong ? ", strong protection" : "");
        return o.str();
    }
};

// Blanks at either end and inside, 8-bit and wider characters, the lengths around the 12 an
// archive member keeps, no extension and several dots.
QString drawName(Random& r) {
    const std::array<QString, 4> sets{kAscii, kAscii + kAccented, kOtherScripts[1],
                                      kOtherScripts[2]};
    QString name = r.text(sets[r.pick(2) == 0 ? 0 : r.pick(4)], r.between(1, 8));
    const int form = r.pick(7);
    if (form == 0) {
        name = blanks(r.between(1, 2)) + name;
    } else if (form == 1) {
        name += u' ' + r.text(kAscii, r.between(1, 5));
    } else if (form == 2) {
        name = r.text(kAscii, std::array{8, 9, 36}[r.pick(3)]); // 12, 13, 40 with ".txt"
    } else if (form == 3) {
        return name;
    } else if (form == 4) {
        return QStringLiteral("a.b.") + name + QStringLiteral(".d");
    }
    name += r.pick(4) == 0 ? QStringLiteral(".tar.gz") : QStringLiteral(".txt");
    return r.pick(8) == 0 ? name + blanks(r.between(1, 2)) : name;
}

// None, 10, 20 or any length between, too short, in 8-bit or wider scripts, sometimes with
// blanks around that the box counts and the header does not.
QString drawCode(Random& r) {
    if (r.pick(8) == 0) {
        return {};
    }
    const std::array<QString, 4> sets{kAscii, kAscii, kAscii + kAccented,
                                      kAscii + kOtherScripts[r.pick(3)]};
    const std::array<int64_t, 4> lengths{10, 20, r.between(10, 20), r.between(1, 9)};
    QString code = r.text(sets[r.pick(4)], lengths[r.pick(4)]);
    if (r.pick(3) == 0) {
        const int64_t around = std::max<int64_t>(kCodeMinLength - code.size(), 1) + r.pick(3);
        const int64_t lead = r.between(0, around);
        code = blanks(lead) + code + blanks(around - lead);
    }
    return code.left(kCodeMaxLength);
}

Case drawCase(uint32_t seed, Random& r, bool mayBeStrong) {
    // Degenerate shapes dominate: they are where crop and row arithmetic break. The area stays
    // small so that hundreds of cases run in seconds, but some carriers take the engine more
    // than one block of rows.
    // Least and most width, least and most height.
    static constexpr std::array<std::array<int32_t, 4>, 9> shapes{{{1, 1, 1, 4000},
                                                                   {1, 7000, 1, 1},
                                                                   {6000, 7000, 2, 3},
                                                                   {2, 4, 50, 3000},
                                                                   {1, 40, 1, 40},
                                                                   {20, 200, 20, 120},
                                                                   {20, 200, 20, 120},
                                                                   {180, 600, 100, 260},
                                                                   {180, 600, 100, 260}}};
    Case c;
    c.seed = seed;
    c.kind = Kind(r.pick(3));
    const std::array<int32_t, 4>& shape = shapes[size_t(r.pick(int(shapes.size())))];
    c.width = int32_t(r.between(shape[0], shape[1]));
    c.height = int32_t(r.between(shape[2], shape[3]));
    c.cropMode = uint8_t(r.pick(kCropModeCount));
    c.drawnCrop = r.pick(5) == 0;
    c.freeRect = r.pick(3) == 0;
    c.carrierFirst = r.pick(2) == 0;
    c.noisy = r.pick(2) == 0;
    c.name = drawName(r);
    c.code = drawCode(r);
    c.encrypt = r.pick(2) == 0;
    c.modified = r.between(apptest::utcSeconds(1990, 1, 1, 0, 0, 0),
                           apptest::utcSeconds(2035, 12, 31, 0, 0, 0)) &
                 ~int64_t{1};
    // Decided apart from the draws, so that every other seed keeps the case it always was.
    c.strong = mayBeStrong && std::mt19937(seed ^ 0x5eed5eedu)() % 4 == 0;
    return c;
}

Bytes makeCarrier(Random& r, const Case& c) {
    const size_t pixels = size_t(c.width) * size_t(c.height);
    if (c.kind != Kind::Rle8) {
        Bytes bytes(c.kind == Kind::Rgb24 ? 3 * pixels : pixels);
        std::generate(bytes.begin(), bytes.end(), [&r] { return r.byte(); });
        return c.kind == Kind::Rgb24
                   ? bmptest::make24(c.width, c.height, bytes)
                   : bmptest::make8(c.width, c.height, bmptest::testPalette(256), bytes);
    }
    Bytes bytes(size_t(bmptest::rle8RowPixels(c.width)) * size_t(c.height));
    // Runs of one index where a row compresses, lone values where it does not.
    const int longest = r.pick(2) == 0 ? 1 : 40;
    for (size_t i = 0; i < bytes.size();) {
        const auto run = size_t(r.between(1, longest));
        std::fill_n(bytes.begin() + i, std::min(run, bytes.size() - i), r.byte());
        i += run;
    }
    return bmptest::makeRle8(c.width, c.height, bmptest::testPalette(256), bytes,
                             bmptest::rle8RowPixels(c.width), bmptest::RleStyle(r.pick(3)));
}

std::string documentBytes(uint32_t seed, bool noisy, int64_t length) {
    Random r(seed);
    std::string bytes(size_t(length), '\0');
    for (char& b : bytes) {
        b = noisy ? char(r.byte()) : "lorem ipsum dolor sit "[r.pick(22)];
    }
    return bytes;
}

int64_t modifiedOf(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// One run of the program, with every message it shows kept.
struct Session {
    apptest::Harness h;

    Session(const QString& code, bool encrypt, bool strong = false,
            const EngineBinding::Exports* linked = nullptr)
        : h(linked) {
        // A guess as cheap as the derivation allows: the sealing is under test, not its cost.
        h.ctx.strongCost = StrongCost{1, 8};
        h.model.display.encryptBox = encrypt ? kEncryptTicked : kEncryptUnticked;
        h.model.display.strongBox = strong;
        settleEncryptMarks(h.model); // as a click on the box does, whatever the code
        ChangeCode(h.ctx, code);
        if (strong) {
            h.ui.queueCodeAgain(code); // typed the same a second time
        }
    }
    void choose(void (*command)(WorkflowContext&), const QString& path) {
        const size_t asked = h.ui.fileDialogs().size();
        h.ui.queueFileChoice(path);
        command(h.ctx);
        if (h.ui.fileDialogs().size() == asked) {
            h.ui.chooseFile({}); // refused before the dialog: the pick must not reach the next one
        }
    }
    QStringList messages(size_t from = 0) const {
        QStringList texts;
        const std::vector<Message> shown = h.ui.messages();
        for (size_t i = from; i < shown.size(); ++i) {
            texts << shown[i].title + u'|' + shown[i].text;
        }
        return texts;
    }
};

// A refusal says why: not the bare headline, and not an engine status only developers read.
bool saysWhy(const QString& message) {
    static const QRegularExpression bare(
        QStringLiteral("^Error during [^\\n]*(\\n\\n[^\\n]*\\(\\d+\\))?\\s*$"));
    const QString text = message.section(u'|', 1);
    return !text.trimmed().isEmpty() && !bare.match(text).hasMatch();
}

// A drawn rectangle anywhere in the image; one a drag made keeps the frame's area, which holds
// the payload.
CropRect drawRect(Random& r, double share, bool free) {
    double width = std::max(r.unit(), 1e-3);
    double height = std::max(r.unit(), 1e-3);
    if (!free) {
        const double area = std::min(1.0, share * 1.001 + (1 - share) * r.unit() * r.unit());
        width = area + (1 - area) * r.unit();
        height = std::min(1.0, area / width);
    }
    return CropRect{float((1 - width) * r.unit()), float(width), float((1 - height) * r.unit()),
                    float(height)};
}

std::vector<std::string> runCase(Case& c, Random& r) {
    std::vector<std::string> faults;
    const auto fault = [&](const std::string& what, const QStringList& shown = {}) {
        const QString joined = shown.join(QStringLiteral("] [")).replace(u'\n', u' ');
        faults.push_back(what + (shown.isEmpty() ? "" : ": [" + joined.toStdString() + "]"));
    };
    apptest::ScratchDir files;
    const QString carrier = files.path(QStringLiteral("carrier.bmp"));
    files.write(QStringLiteral("carrier.bmp"), makeCarrier(r, c));
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
    WindowModel& m = embed.h.model;
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
    const QString image = outFolder + QStringLiteral("carrier.bmp");

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
    Session extract(c.strong ? QString() : c.used, false);
    const QString foundFolder = extract.h.dir.folder();
    extract.h.model.extractOutputFolder = foundFolder;
    extract.choose(ChooseBmp, image);
    if (c.strong) {
        ChangeCode(extract.h.ctx, c.used);
    }
    if (!extract.h.model.extractMode()) {
        fault("the image made does not open for extraction with its code", extract.messages());
    } else {
        const size_t opened = extract.h.ui.messages().size();
        ExtractDocument(extract.h.ctx);
        const QStringList done = extract.messages(opened);
        if (done != QStringList{"Completion Message|File Extraction processed successfully"}) {
            fault("extract did not succeed", done);
        }
        const QStringList found = entriesOf(foundFolder);
        QFile back(foundFolder + c.name);
        if (found != QStringList{c.name} || !back.open(QIODevice::ReadOnly)) {
            fault("extract folder holds [" + found.join(QStringLiteral("] [")).toStdString() + "]");
        } else if (const QByteArray bytes = back.readAll();
                   bytes != QByteArray::fromStdString(content)) {
            fault("extracted " + std::to_string(bytes.size()) + " bytes differ from the " +
                  std::to_string(content.size()) + " embedded");
        } else if (modifiedOf(back.fileName()) != c.modified) {
            fault("extracted time " + std::to_string(modifiedOf(back.fileName())) + " instead of " +
                  std::to_string(c.modified));
        }
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

uint32_t fromEnvironment(const char* name, uint32_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? uint32_t(std::strtoul(value, nullptr, 10))
                                              : fallback;
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

// The engine linked into this test, whose reads can be made to fail.
const EngineBinding::Exports kLinkedEngine{::embed24, ::embed80, ::embed81, ::extract, ::wipefile};

// One command run with the n-th of the engine's reads failing (none for 0).
struct FaultyRun {
    bool succeeded = false;
    QStringList said;
    int64_t reads = 0;
};

FaultyRun runWithReadFault(Session& s, void (*command)(WorkflowContext&), int64_t failAt) {
    const size_t from = s.h.ui.messages().size();
    vokb::failNthRead(failAt, EIO);
    const int64_t before = vokb::systemReads();
    command(s.h.ctx);
    FaultyRun run;
    run.reads = vokb::systemReads() - before;
    vokb::failNthRead(0, 0);
    run.said = s.messages(from);
    run.succeeded = std::any_of(run.said.begin(), run.said.end(), [](const QString& m) {
        return m.contains(QStringLiteral("processed successfully"));
    });
    return run;
}

// A failed read must fail the run with words about reading, name no code, and leave the old
// file as it was.
void checkFailedRun(const FaultyRun& run, const QString& target, const QByteArray& old,
                    const std::function<void(const std::string&, const QStringList&)>& fault) {
    QFile kept(target);
    if (run.succeeded) {
        fault("a run with a failed read succeeded", run.said);
    } else if (!run.said.join(u' ').contains(QStringLiteral("cannot be read: "))) {
        fault("a failed read was not told as one", run.said);
    }
    if (run.said.join(u' ').contains(QStringLiteral("this code"), Qt::CaseInsensitive)) {
        fault("a failed read was told as a code", run.said);
    }
    if (!kept.open(QIODevice::ReadOnly) || kept.readAll() != old) {
        fault("the old file did not survive a failed read", run.said);
    }
}

// ran: whether the case got as far as failing a read.
std::vector<std::string> runReadFaultCase(Case& c, Random& r, bool& ran) {
    std::vector<std::string> faults;
    const auto fault = [&](const std::string& what, const QStringList& shown) {
        faults.push_back(what + ": [" + shown.join(QStringLiteral("] [")).toStdString() + "]");
    };
    apptest::ScratchDir files;
    const QString carrier = files.path(QStringLiteral("carrier.bmp"));
    files.write(QStringLiteral("carrier.bmp"), makeCarrier(r, c));
    c.raw = r.between(1, 300);
    files.write(c.name, documentBytes(c.seed, c.noisy, c.raw));
    const QString document = files.path(c.name);
    const QByteArray old("the file the user had before this run");
    const auto embedInto = [&](Session& s, int64_t failAt) {
        s.h.model.embedOutputFolder = s.h.dir.folder();
        s.choose(ChooseDocument, document);
        s.choose(ChooseBmp, carrier);
        if (failAt > 0) {
            s.h.dir.write(QStringLiteral("carrier.bmp"), Bytes(old.begin(), old.end()));
            s.h.ui.queueAnswer(MessageAnswer::Ok); // replace it
        }
        return runWithReadFault(s, EmbedDocument, failAt);
    };

    // A clean run counts the reads; only a payload that goes in is worth failing.
    Session clean(c.code, c.encrypt, false, &kLinkedEngine);
    c.used = clean.h.model.code;
    const FaultyRun embedded = embedInto(clean, 0);
    if (!embedded.succeeded || embedded.reads == 0) {
        return faults;
    }
    ran = true;
    const QString image = clean.h.dir.path(QStringLiteral("carrier.bmp"));
    Session faulty(c.code, c.encrypt, false, &kLinkedEngine);
    const FaultyRun broken = embedInto(faulty, r.between(1, embedded.reads));
    checkFailedRun(broken, faulty.h.dir.path(QStringLiteral("carrier.bmp")), old, fault);
    if (entriesOf(faulty.h.dir.folder()) != QStringList{QStringLiteral("carrier.bmp")}) {
        fault("a failed embed left files behind", QStringList{entriesOf(faulty.h.dir.folder())});
    }

    Session extractClean(c.used, false, false, &kLinkedEngine);
    extractClean.h.model.extractOutputFolder = extractClean.h.dir.folder();
    extractClean.choose(ChooseBmp, image);
    const FaultyRun extracted = runWithReadFault(extractClean, ExtractDocument, 0);
    const QStringList names = entriesOf(extractClean.h.dir.folder());
    if (!extracted.succeeded || names.size() != 1) {
        fault("the clean extraction did not succeed", extracted.said);
        return faults;
    }
    Session extractFaulty(c.used, false, false, &kLinkedEngine);
    extractFaulty.h.model.extractOutputFolder = extractFaulty.h.dir.folder();
    extractFaulty.choose(ChooseBmp, image);
    extractFaulty.h.dir.write(names[0], Bytes(old.begin(), old.end()));
    extractFaulty.h.ui.queueAnswer(MessageAnswer::Ok); // replace it
    const FaultyRun lost =
        runWithReadFault(extractFaulty, ExtractDocument, r.between(1, extracted.reads));
    checkFailedRun(lost, extractFaulty.h.dir.path(names[0]), old, fault);

    // The program's own reads of the image (its headers, its payload header) fail the same way:
    // told as a read, never as a code that does not open it.
    Session counting(c.used, false, false, &kLinkedEngine);
    const int64_t before = CarrierFile::reads();
    counting.choose(ChooseBmp, image);
    const int64_t ownReads = CarrierFile::reads() - before;
    Session choosing(c.used, false, false, &kLinkedEngine);
    CarrierFile::failNthRead(r.between(1, std::max<int64_t>(ownReads, 1)), EIO);
    choosing.choose(ChooseBmp, image);
    CarrierFile::failNthRead(0, 0);
    const QString said = choosing.messages().join(u' ');
    // The window says why over the thumbnail; the command line prints the same text.
    const bool toldAsRead = said.contains(QStringLiteral("cannot be read")) ||
                            choosing.h.model.carrierCheckResult == validity::Unreadable;
    if (said.contains(QStringLiteral("this code"), Qt::CaseInsensitive) ||
        (!choosing.h.model.extractMode() && !toldAsRead)) {
        fault("a failed read of the image chosen was not told as one", choosing.messages());
    }
    return faults;
}

TEST(RoundTripProperty, OneFailedReadFailsTheRunAndKeepsTheOldFile) {
    const uint32_t base = fromEnvironment("BRINDMAR_PROPERTY_SEED", 20251208);
    const uint32_t cases = fromEnvironment("BRINDMAR_PROPERTY_CASES", 60);
    uint32_t failed = 0;
    uint32_t ran = 0;
    for (uint32_t i = 0; i < cases && failed < 5; ++i) {
        const uint32_t seed = base + i;
        Random r(seed);
        Case c = drawCase(seed, r, false);
        bool reached = false;
        const std::vector<std::string> faults = runReadFaultCase(c, r, reached);
        ran += reached ? 1 : 0;
        std::string text;
        for (const std::string& f : faults) {
            text += "\n  - " + f;
        }
        EXPECT_TRUE(faults.empty()) << "seed " << seed << ": " << c.describe() << text;
        failed += faults.empty() ? 0 : 1;
    }
    // Carriers too small for the document or codes the header cannot hold end before a read is
    // failed; most cases must not.
    EXPECT_GE(ran, cases / 2);
}

// Seeds that once broke the invariant, one per fault found, replayed on every run.
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
