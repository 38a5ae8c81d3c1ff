#include "cli/TerminalText.h"

#include <QStringList>
#include <array>

namespace brindmar::cli {

namespace {

// Where a path in a detail line ends and the reason begins.
const std::array<const char*, 5> kPathEnds{" - ", " cannot be opened", " an invalid file",
                                           " could not be written: ", " is a symbolic link"};

QStringList paragraphs(const QString& text) {
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        if (line.trimmed().isEmpty()) {
            continue;
        }
        // "path" then " - reason" on the next line is one statement.
        if (line.startsWith(QStringLiteral(" - ")) && !lines.isEmpty()) {
            lines.last() += line;
        } else {
            lines << line;
        }
    }
    return lines;
}

QString reasonWords(QString reason) {
    reason = reason.trimmed();
    if (reason.startsWith(QStringLiteral("- "))) {
        reason = reason.mid(2);
    }
    if (reason.startsWith(QStringLiteral("an invalid file"))) {
        reason.replace(0, 15, QStringLiteral("is not a valid file for this"));
    }
    return reason;
}

} // namespace

QString shownText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n') {
            shown += QStringLiteral("\\n");
        } else if (u == u'\r') {
            shown += QStringLiteral("\\r");
        } else if (u == u'\t') {
            shown += QStringLiteral("\\t");
        } else if (u < 0x20 || (u >= 0x7f && u < 0xa0)) {
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QChar(u'0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

QString programLine(const QString& text) {
    return QStringLiteral("brindmar: ") + text;
}

QString errorLine(const Message& message, const QString& subject) {
    QStringList lines = paragraphs(message.text);
    QString path;
    QString reason;
    if (lines.size() >= 2 && lines.first().startsWith(u'/')) {
        path = lines.takeFirst();
        reason = lines.join(QStringLiteral("; "));
    } else {
        const QString detail = lines.join(QStringLiteral("; "));
        qsizetype cut = -1;
        QString marker;
        for (const char* end : kPathEnds) {
            const qsizetype at = detail.indexOf(QLatin1String(end));
            if (detail.startsWith(u'/') && at > 0 && (cut < 0 || at < cut)) {
                cut = at;
                marker = QLatin1String(end);
            }
        }
        if (cut > 0) {
            path = detail.left(cut);
            reason = detail.mid(cut + (marker.startsWith(QStringLiteral(" - ")) ? 3 : 1));
        } else {
            reason = detail;
        }
    }
    reason = reasonWords(reason);
    QStringList parts;
    if (!path.isEmpty()) {
        parts << path;
    }
    if (!reason.isEmpty()) {
        parts << reason;
    }
    if (parts.isEmpty()) {
        parts << subject << message.title.toLower();
    }
    return programLine(parts.join(QStringLiteral(": ")));
}

QString questionText(const Message& message) {
    const Asked& asked = message.asked;
    switch (asked.kind) {
    case Asked::Kind::Replace:
        return QStringLiteral("replace ") + asked.subject + u'?';
    case Asked::Kind::Delete:
        return QStringLiteral("overwrite and delete ") + asked.subject + u'?';
    case Asked::Kind::Marked: {
        QStringList marks;
        if (asked.hidden) {
            marks << QStringLiteral("hidden");
        }
        if (asked.readOnly) {
            marks << QStringLiteral("read-only");
        }
        return asked.subject + QStringLiteral(" is a ") + marks.join(QStringLiteral(" and ")) +
               QStringLiteral(" file; go on?");
    }
    case Asked::Kind::None:
        break;
    }
    return paragraphs(message.text).join(u' ');
}

QString unansweredLine(const Message& message) {
    QString question = questionText(message);
    if (question.endsWith(u'?')) {
        question.chop(1);
    }
    return programLine(question + QStringLiteral(": not done; there is no terminal to ask, and "
                                                 "--yes answers yes"));
}

} // namespace brindmar::cli
