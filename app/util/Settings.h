#pragma once

#include "util/ProfileFile.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace brindmar {

class UiServices;

// The keys of the settings file, in one place.
namespace setting {
inline const QString General = QStringLiteral("GENERAL");
inline const QString Forms = QStringLiteral("FORMS");

inline const QString DocDir = QStringLiteral("DocDir");
inline const QString BMPDir = QStringLiteral("BMPDir");
inline const QString EmbToDir = QStringLiteral("EmbToDir");
inline const QString ExtrToDir = QStringLiteral("ExtrToDir");
inline const QString ZIPDir = QStringLiteral("ZIPDir");
inline const QString UseSnd = QStringLiteral("UseSnd");
inline const QString CropMode = QStringLiteral("CropMode");
inline const QString Encrypt = QStringLiteral("Encrypt");
// Off unless stored: it asks for a code at every embed.
inline const QString Strong = QStringLiteral("Strong");
// Off unless stored; on, it implies Strong.
inline const QString Stealth = QStringLiteral("Stealth");
inline const QString MaskCode = QStringLiteral("MaskCode");
inline const QString KeepBODT = QStringLiteral("KeepBODT");
// The new image's format: "bmp", "png", or "carrier" (the carrier's, also when missing).
inline const QString ImgFormat = QStringLiteral("ImgFormat");

inline const QString EmbedX = QStringLiteral("EmbedX");
inline const QString EmbedY = QStringLiteral("EmbedY");
inline const QString InfoX = QStringLiteral("InfoX");
inline const QString InfoY = QStringLiteral("InfoY");

inline const QString True = QStringLiteral("True");
inline const QString False = QStringLiteral("False");
} // namespace setting

// The settings file: the configuration folder of the user (XDG_CONFIG_HOME, else ~/.config)
// followed by the file's historical name.
QString defaultSettingsFilePath();

// The program's access to its settings file. Each access lets pending window events run, as the
// window has always done, so handlers must cope with a window that is only partly set up.
class Settings {
public:
    // ui may be null where no window exists yet.
    Settings(QString filePath, UiServices* ui);

    const QString& filePath() const { return m_file.path(); }

    // The stored text, trimmed; empty when missing, when stored empty, or when it reads as the
    // lookup's own "not found" marker.
    QString ReadSetting(const QString& section, const QString& key);

    // Non-zero on success; nobody acts on a failure, a setting is simply not kept.
    int32_t WriteSetting(const QString& section, const QString& key, const QString& value);

    // A yes/no option. Anything but a word or a number that converts switches the option on,
    // so a damaged file never silently takes a protection away.
    bool readOption(const QString& key);

    // The crop mode; nullopt keeps the current one.
    std::optional<uint8_t> readCropMode();

    // A window position in twips, read leniently: text that is no number reads as 0.
    double readPosition(const QString& key);

private:
    ProfileFile m_file;
    UiServices* m_ui;
};

// The conversions the stored texts have always gone through.
// "True", "False" (any case) and numbers convert; 0 is false, any other number true.
std::optional<bool> booleanFromText(const QString& text);
// A number from 0 to 255, rounded half to even; nullopt for anything else.
std::optional<uint8_t> byteFromText(const QString& text);
// The leading number of the text, blanks ignored wherever they stand; 0 when there is none.
double numberFromText(const QString& text);

QString textFromBoolean(bool value);
// Plain decimal, with a fraction only when there is one.
QString textFromNumber(double value);

} // namespace brindmar
