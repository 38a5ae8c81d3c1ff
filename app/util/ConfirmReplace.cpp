#include "util/ConfirmReplace.h"

#include "util/ReplacementFile.h"
#include "util/UiServices.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar {

namespace {

struct Attributes {
    bool readOnly = false;
    bool hidden = false;
    bool system = false; // no such thing here; kept so the warning reads as it always has
};

bool lacksWritePermission(const QByteArray& path, const struct stat& target) {
    if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0) {
        return true;
    }
    return ::geteuid() == 0 && (target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool isHiddenName(const QString& path) {
    const qsizetype cut = path.lastIndexOf(u'/');
    return path.mid(cut + 1).startsWith(u'.');
}

QString overwriteQuestion(const QString& path) {
    return path + QStringLiteral("\n - already exists,\n\nOverwrite existing file ?");
}

QString attributeWarning(const QString& path, const Attributes& attributes) {
    QString text = QStringLiteral("** WARNING **\n") + path;
    if (attributes.system) {
        text += QStringLiteral("\n - is a SYSTEM file");
    }
    if (attributes.hidden) {
        text += QStringLiteral("\n - is a HIDDEN file");
    }
    if (attributes.readOnly) {
        text += QStringLiteral("\n - is a READ ONLY file");
    }
    return text + QStringLiteral("\n\nProcede anyway ?");
}

class PointerRestorer {
public:
    explicit PointerRestorer(UiServices& ui) : m_ui(ui), m_saved(ui.mousePointer()) {
        m_ui.setMousePointer(MousePointer::Default);
    }
    ~PointerRestorer() { m_ui.setMousePointer(m_saved); }
    PointerRestorer(const PointerRestorer&) = delete;
    PointerRestorer& operator=(const PointerRestorer&) = delete;

private:
    UiServices& m_ui;
    MousePointer m_saved;
};

} // namespace

bool NameTaken(const QString& path) {
    struct stat entry {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &entry) == 0 &&
           !S_ISDIR(entry.st_mode);
}

int16_t ConfirmReplaceFile(const QString& path, uint8_t mode, UiServices& ui) {
    const QByteArray native = QFile::encodeName(path);
    struct stat entry {};
    if (path.isEmpty() || ::lstat(native.constData(), &entry) != 0 || S_ISDIR(entry.st_mode)) {
        return kReplaceNoSuchFile;
    }
    Attributes attributes;
    struct stat target {};
    if (::stat(native.constData(), &target) == 0) {
        if (S_ISDIR(target.st_mode)) {
            return kReplaceNoSuchFile;
        }
        attributes.readOnly = lacksWritePermission(native, target);
    }
    attributes.hidden = isHiddenName(path);

    const PointerRestorer pointer(ui);
    if ((mode & kConfirmSkipOverwriteQuestion) == 0) {
        ui.alert(Sound::Attention);
        Message question;
        question.title = QStringLiteral("Confirm file overwrite");
        question.text = overwriteQuestion(path);
        question.icon = MessageIcon::Question;
        question.buttons = MessageButtons::OkCancel;
        question.asked = {Asked::Kind::Replace, path};
        if (ui.showMessage(question) == MessageAnswer::Cancel) {
            return kReplaceCancelled;
        }
    }
    const bool marked = attributes.readOnly || attributes.hidden || attributes.system;
    if ((mode & kConfirmSkipAttributeWarning) == 0 && marked) {
        ui.alert(Sound::Attention);
        Message warning;
        warning.title = (mode & kConfirmDeleteWording) != 0
                            ? QStringLiteral("Confirm file delete")
                            : QStringLiteral("Confirm file overwrite");
        warning.text = attributeWarning(path, attributes);
        warning.icon = MessageIcon::Exclamation;
        warning.buttons = MessageButtons::OkCancel;
        warning.defaultButton = DefaultButton::Second;
        warning.asked = {Asked::Kind::Marked, path, attributes.readOnly, attributes.hidden};
        if (ui.showMessage(warning) == MessageAnswer::Cancel) {
            return kReplaceCancelled;
        }
    }
    if ((mode & kConfirmAskOnly) != 0) {
        agreeToReplace(path);
        return kReplaceDeleted;
    }
    return ::unlink(native.constData()) == 0 ? kReplaceDeleted : kReplaceDeleteFailed;
}

} // namespace brindmar
