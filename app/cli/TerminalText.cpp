#include "cli/TerminalText.h"

#include <QStringList>

namespace brindmar::cli {

namespace {

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

QString boxLine(const Message& message) {
    return programLine(paragraphs(message.text).join(QStringLiteral("; ")));
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
