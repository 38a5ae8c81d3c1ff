#pragma once

// What the round-trip property tests share: the random source, the drawn case, the carrier and
// document made for it, and one run of the program with its messages.

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

namespace roundtrip {

using namespace brindmar;
using apptest::Bytes;

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

inline QString blanks(int64_t n) {
    return QString(n, u' ');
}

inline const QString kAscii = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJ0123456789");
inline const QString kAccented = QStringLiteral("éüñàçøßÉÜÑ");
inline const std::array<QString, 3> kOtherScripts = {QStringLiteral("αβγδεζηθλμ"),
                                                     QStringLiteral("абвгдежзиклм"),
                                                     QStringLiteral("文档资料图片密码")};

inline QString trimmed(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("^ +| +$")));
}

// The header keeps the code as 8-bit text of 10 to 20 characters, or none.
inline bool headerHoldsCode(const QString& code) {
    const qsizetype length = trimmed(code).size();
    return std::all_of(code.begin(), code.end(), [](QChar c) { return c.unicode() <= 0xFF; }) &&
           (length == 0 || length >= kCodeMinLength);
}

// One character changed, beyond 8 bits when it was, so that codes a lossy 8-bit form would
// merge are tried against each other.
inline QString otherCode(Random& r, const QString& code) {
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
    bool pngCarrier = false; // chosen as a PNG of its pixels
    bool pngOutput = false;  // the new image asked for as a PNG
    bool freeRect = false;   // not kept to the frame's area as a drag would
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
          << (encrypt ? "on" : "off") << (strong ? ", strong protection" : "")
          << (pngCarrier ? ", PNG carrier" : "") << (pngOutput ? ", PNG output" : "");
        return o.str();
    }
};

// Blanks at either end and inside, 8-bit and wider characters, the lengths around the 12 an
// archive member keeps, no extension and several dots.
inline QString drawName(Random& r) {
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
inline QString drawCode(Random& r) {
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

inline Case drawCase(uint32_t seed, Random& r, bool mayBeStrong) {
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
    std::mt19937 png(seed ^ 0x9e3779b9u);
    c.pngCarrier = mayBeStrong && png() % 4 == 0;
    c.pngOutput = mayBeStrong && png() % 4 == 0;
    return c;
}

inline Bytes makeCarrier(Random& r, const Case& c) {
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

inline std::string documentBytes(uint32_t seed, bool noisy, int64_t length) {
    Random r(seed);
    std::string bytes(size_t(length), '\0');
    for (char& b : bytes) {
        b = noisy ? char(r.byte()) : "lorem ipsum dolor sit "[r.pick(22)];
    }
    return bytes;
}

inline int64_t modifiedOf(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

inline QStringList entriesOf(const QString& folder) {
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
inline bool saysWhy(const QString& message) {
    static const QRegularExpression bare(
        QStringLiteral("^Error during [^\\n]*(\\n\\n[^\\n]*\\(\\d+\\))?\\s*$"));
    const QString text = message.section(u'|', 1);
    return !text.trimmed().isEmpty() && !bare.match(text).hasMatch();
}

// A drawn rectangle anywhere in the image; one a drag made keeps the frame's area, which holds
// the payload.
inline CropRect drawRect(Random& r, double share, bool free) {
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

inline uint32_t fromEnvironment(const char* name, uint32_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? uint32_t(std::strtoul(value, nullptr, 10))
                                              : fallback;
}

} // namespace roundtrip
