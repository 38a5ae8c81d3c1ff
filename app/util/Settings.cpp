#include "util/Settings.h"

#include "util/TrimBlanks.h"
#include "util/UiServices.h"

#include <QDir>
#include <QLocale>
#include <cmath>

namespace brindmar {

namespace {

const QString kNotFound = QStringLiteral("NOT FOUND");
constexpr int kBufferSize = 255;

std::optional<double> strictNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

QString defaultSettingsFilePath() {
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (folder.isEmpty() || QDir::isRelativePath(folder)) {
        folder = QDir::homePath() + QStringLiteral("/.config");
    }
    return QDir(folder).filePath(QStringLiteral("voke0117.ini"));
}

Settings::Settings(QString filePath, UiServices* ui) : m_file(std::move(filePath)), m_ui(ui) {}

QString Settings::ReadSetting(const QString& section, const QString& key) {
    const QString text = m_file.readString(section, key, kNotFound, kBufferSize);
    if (m_ui != nullptr) {
        m_ui->processPendingEvents();
    }
    const QString value = trimBlanks(text);
    if (value.isEmpty() || value == kNotFound) {
        return {};
    }
    return value;
}

int32_t Settings::WriteSetting(const QString& section, const QString& key, const QString& value) {
    const bool written = m_file.writeString(section, key, value);
    if (m_ui != nullptr) {
        m_ui->processPendingEvents();
    }
    return written ? 1 : 0;
}

bool Settings::readOption(const QString& key) {
    return booleanFromText(ReadSetting(setting::General, key)).value_or(true);
}

std::optional<uint8_t> Settings::readCropMode() {
    return byteFromText(ReadSetting(setting::General, setting::CropMode));
}

double Settings::readPosition(const QString& key) {
    return numberFromText(ReadSetting(setting::Forms, key));
}

std::optional<bool> booleanFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(setting::True, Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (trimmed.compare(setting::False, Qt::CaseInsensitive) == 0) {
        return false;
    }
    if (const auto number = strictNumber(trimmed)) {
        return *number != 0.0;
    }
    return std::nullopt;
}

std::optional<uint8_t> byteFromText(const QString& text) {
    const auto number = strictNumber(text);
    if (!number) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(*number); // the default rounding is half to even
    if (rounded < 0.0 || rounded > 255.0) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(rounded);
}

double numberFromText(const QString& text) {
    QString compact;
    for (const QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') {
            compact.append(c);
        }
    }
    // The longest leading run that reads as a decimal number: sign, digits, one point, and an
    // exponent only when digits follow it.
    qsizetype end = 0;
    if (end < compact.size() && (compact[end] == u'+' || compact[end] == u'-')) {
        ++end;
    }
    qsizetype digits = 0;
    while (end < compact.size() && compact[end].isDigit()) {
        ++end;
        ++digits;
    }
    if (end < compact.size() && compact[end] == u'.') {
        ++end;
        while (end < compact.size() && compact[end].isDigit()) {
            ++end;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (end < compact.size() && (compact[end] == u'e' || compact[end] == u'E')) {
        qsizetype exponent = end + 1;
        if (exponent < compact.size() && (compact[exponent] == u'+' || compact[exponent] == u'-')) {
            ++exponent;
        }
        const qsizetype firstDigit = exponent;
        while (exponent < compact.size() && compact[exponent].isDigit()) {
            ++exponent;
        }
        if (exponent > firstDigit) {
            end = exponent;
        }
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(compact.left(end), &ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

QString textFromBoolean(bool value) {
    return value ? setting::True : setting::False;
}

QString textFromNumber(double value) {
    if (!std::isfinite(value)) {
        return QStringLiteral("0");
    }
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return QString::number(static_cast<qint64>(value));
    }
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(u'0')) {
        text.chop(1);
    }
    if (text.endsWith(u'.')) {
        text.chop(1);
    }
    return text;
}

} // namespace brindmar
