#include "util/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <optional>

namespace brindmar {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(QByteArray text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isBlank(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

// One line of the file without its line ending, and what it declares.
struct Line {
    QByteArray text;
    QByteArray ending; // "\n", "\r\n" or empty for a last line without one
};

QList<Line> splitLines(const QByteArray& content) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype newline = content.indexOf('\n', start);
        Line line;
        if (newline < 0) {
            line.text = content.mid(start);
            start = content.size();
        } else {
            line.text = content.mid(start, newline - start);
            line.ending = "\n";
            start = newline + 1;
        }
        if (line.text.endsWith('\r')) {
            line.text.chop(1);
            line.ending.prepend('\r');
        }
        lines.append(line);
    }
    return lines;
}

QByteArray joinLines(const QList<Line>& lines) {
    QByteArray content;
    for (const Line& line : lines) {
        content += line.text;
        content += line.ending;
    }
    return content;
}

// The section name of a "[name]" line.
std::optional<QByteArray> sectionOf(const QByteArray& text) {
    const QByteArray line = trimmed(text);
    if (!line.startsWith('[')) {
        return std::nullopt;
    }
    const qsizetype close = line.indexOf(']');
    const QByteArray name = close < 0 ? line.mid(1) : line.mid(1, close - 1);
    return trimmed(name);
}

// The key of a "key=value" line; comments and lines without "=" declare none.
std::optional<QByteArray> keyOf(const QByteArray& text) {
    const QByteArray line = trimmed(text);
    if (line.startsWith(';')) {
        return std::nullopt;
    }
    const qsizetype equals = line.indexOf('=');
    if (equals < 0) {
        return std::nullopt;
    }
    return trimmed(line.left(equals));
}

QByteArray valueOf(const QByteArray& text) {
    QByteArray value = trimmed(text.mid(text.indexOf('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
    }
    return value;
}

bool sameName(const QByteArray& stored, const QString& wanted) {
    return QString::fromUtf8(stored).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

QString cutToBuffer(const QString& text, int bufferSize) {
    const qsizetype room = bufferSize > 0 ? bufferSize - 1 : 0;
    if (text.size() <= room) {
        return text;
    }
    qsizetype cut = room;
    // Never leave half of a character that needs two code units.
    if (cut > 0 && text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    return text.left(cut);
}

QByteArray lineEndingOf(const QList<Line>& lines) {
    for (const Line& line : lines) {
        if (!line.ending.isEmpty()) {
            return line.ending;
        }
    }
    return "\n";
}

} // namespace

QString ProfileFile::readFrom(const QByteArray& content, const QString& section, const QString& key,
                              const QString& defaultText, int bufferSize) {
    bool inSection = false;
    for (const Line& line : splitLines(content)) {
        if (const auto name = sectionOf(line.text)) {
            if (inSection) {
                break; // only the first section of a name counts
            }
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const auto name = keyOf(line.text);
        if (name && sameName(*name, key)) {
            return cutToBuffer(QString::fromUtf8(valueOf(line.text)), bufferSize);
        }
    }
    return cutToBuffer(defaultText, bufferSize);
}

QByteArray ProfileFile::writeTo(const QByteArray& content, const QString& section,
                                const QString& key, const QString& value) {
    QList<Line> lines = splitLines(content);
    const QByteArray ending = lineEndingOf(lines);
    const QByteArray newLine = key.trimmed().toUtf8() + '=' + value.toUtf8();

    qsizetype sectionLine = -1;
    qsizetype lastContentLine = -1; // of the section, where a new key goes after
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& text = lines.at(i).text;
        if (const auto name = sectionOf(text)) {
            if (sectionLine >= 0) {
                break;
            }
            if (sameName(*name, section)) {
                sectionLine = i;
                lastContentLine = i;
            }
            continue;
        }
        if (sectionLine < 0) {
            continue;
        }
        const auto name = keyOf(text);
        if (name && sameName(*name, key)) {
            // The key keeps its spelling; only what follows the "=" changes.
            lines[i].text = *name + '=' + value.toUtf8();
            return joinLines(lines);
        }
        if (!trimmed(text).isEmpty()) {
            lastContentLine = i;
        }
    }

    if (!lines.isEmpty() && lines.back().ending.isEmpty()) {
        lines.back().ending = ending;
    }
    if (sectionLine < 0) {
        if (!lines.isEmpty() && !trimmed(lines.back().text).isEmpty()) {
            lines.append(Line{{}, ending});
        }
        lines.append(Line{'[' + section.trimmed().toUtf8() + ']', ending});
        lines.append(Line{newLine, ending});
    } else {
        Line& after = lines[lastContentLine];
        if (after.ending.isEmpty()) {
            after.ending = ending;
        }
        lines.insert(lastContentLine + 1, Line{newLine, ending});
    }
    return joinLines(lines);
}

QString ProfileFile::readString(const QString& section, const QString& key,
                                const QString& defaultText, int bufferSize) const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return cutToBuffer(defaultText, bufferSize);
    }
    return readFrom(file.readAll(), section, key, defaultText, bufferSize);
}

bool ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
    const auto breaksLine = [](const QString& text) {
        return text.contains(u'\n') || text.contains(u'\r');
    };
    if (breaksLine(value) || breaksLine(key) || breaksLine(section) || key.contains(u'=') ||
        key.trimmed().isEmpty() || section.contains(u']')) {
        return false;
    }
    QByteArray content;
    QFile existing(m_path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            return false;
        }
        content = existing.readAll();
        existing.close();
    } else if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        return false;
    }

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray updated = writeTo(content, section, key, value);
    if (file.write(updated) != updated.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace brindmar
