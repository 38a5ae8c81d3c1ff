#include "payload/CodeText.h"

#include "util/TrimBlanks.h"

#include <QChar>
#include <algorithm>
#include <string>

namespace brindmar {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Characters that show nothing, so that a code holding one could not be typed again from what
// the user sees: Unicode's default-ignorable code points, less the joiners and variation
// selectors, which some scripts and emoji need and input methods produce the same way each time.
constexpr Range kInvisible[] = {
    {0x034F, 0x034F},   {0x061C, 0x061C},   {0x115F, 0x1160},   {0x17B4, 0x17B5},
    {0x180E, 0x180E},   {0x200B, 0x200B},   {0x200E, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x206F},   {0x3164, 0x3164},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},
    {0xFFF0, 0xFFF8},   {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE00FF},
    {0xE01F0, 0xE0FFF},
};

bool invisible(char32_t c) {
    return std::any_of(std::begin(kInvisible), std::end(kInvisible),
                       [c](const Range& r) { return c >= r.first && c <= r.last; });
}

// Controls, unpaired surrogates and unassigned code points (whose composition a later Unicode
// may change) have no place in a code, under any rule.
bool unusable(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
        return true;
    default:
        return invisible(c);
    }
}

// What the 8-bit payload header can carry; anything else would collapse into a byte that other
// codes share.
bool latin1Printable(char32_t c) {
    return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF);
}

void appendCodePoint(QString& text, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        text += QChar(QChar::highSurrogate(c));
        text += QChar(QChar::lowSurrogate(c));
    } else {
        text += QChar(static_cast<char16_t>(c));
    }
}

template <typename Visit> void forEachCodePoint(const QString& text, Visit visit) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            visit(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else {
            visit(char32_t{c.unicode()});
        }
    }
}

} // namespace

std::optional<QString> strictUtf8(std::string_view bytes) {
    std::u32string points;
    points.reserve(bytes.size());
    const auto wipe = [&points] { std::fill(points.begin(), points.end(), U'\0'); };
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int length = 1;
        char32_t point = lead;
        // The range the second byte must fall in: it rules out overlong forms, surrogates and
        // values beyond U+10FFFF.
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            point = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            wipe();
            return std::nullopt;
        }
        if (bytes.size() - i < static_cast<size_t>(length)) {
            wipe();
            return std::nullopt;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                wipe();
                return std::nullopt;
            }
            point = (point << 6) | (next & 0x3F);
        }
        points.push_back(point);
        i += static_cast<size_t>(length);
    }
    // Not QString::fromUcs4: it takes a leading U+FEFF for a byte-order mark and drops it.
    QString text;
    text.reserve(static_cast<qsizetype>(points.size()) * 2);
    for (const char32_t point : points) {
        appendCodePoint(text, point);
    }
    wipe();
    return text;
}

QString preparedCode(const QString& typed) {
    QString composed = typed.normalized(QString::NormalizationForm_C);
    QString mapped;
    mapped.reserve(composed.size());
    forEachCodePoint(composed, [&mapped](char32_t c) {
        appendCodePoint(mapped, QChar::category(c) == QChar::Separator_Space ? U' ' : c);
    });
    composed.fill(QChar(u'\0'));
    QString prepared = trimBlanks(mapped);
    mapped.fill(QChar(u'\0'));
    return prepared;
}

qsizetype codePointCount(const QString& text) {
    qsizetype count = 0;
    forEachCodePoint(text, [&count](char32_t) { ++count; });
    return count;
}

CodeTextFault codeTextFault(const QString& typed, CodeRule rule) {
    QString code = preparedCode(typed);
    bool anyUnusable = false;
    bool anyOutsideLatin1 = false;
    qsizetype count = 0;
    forEachCodePoint(code, [&](char32_t c) {
        ++count;
        anyUnusable = anyUnusable || unusable(c);
        anyOutsideLatin1 = anyOutsideLatin1 || !latin1Printable(c);
    });
    code.fill(QChar(u'\0'));
    if (count == 0) {
        return CodeTextFault::Empty;
    }
    if (anyUnusable) {
        return CodeTextFault::Unusable;
    }
    if (rule == CodeRule::Stored && anyOutsideLatin1) {
        return CodeTextFault::NotLatin1;
    }
    const qsizetype longest = rule == CodeRule::Stored ? kCodeMaxLength : kSealingCodeMaxLength;
    return count >= kCodeMinLength && count <= longest ? CodeTextFault::None
                                                       : CodeTextFault::Length;
}

} // namespace brindmar
