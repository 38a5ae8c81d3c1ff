#include "util/StringTable.h"

#include <QFile>
#include <QtGlobal>

namespace brindmar {

namespace {

const QString kBuiltinTablePath = QStringLiteral(":/brindmar/strings.txt");

StringTable loadBuiltin() {
    QFile file(kBuiltinTablePath);
    if (file.open(QIODevice::ReadOnly)) {
        QString error;
        if (auto table = StringTable::parse(file.readAll(), &error)) {
            return *table;
        }
        qWarning("string table: %s", qUtf8Printable(error));
    } else {
        qWarning("string table: %s is missing", qUtf8Printable(kBuiltinTablePath));
    }
    return {};
}

void fail(QString* error, qsizetype lineNumber, const char* what) {
    if (error != nullptr) {
        *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(QString::fromUtf8(what));
    }
}

} // namespace

const StringTable& StringTable::builtin() {
    static const StringTable table = loadBuiltin();
    return table;
}

std::optional<StringTable> StringTable::parse(const QByteArray& data, QString* error) {
    StringTable table;
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        QByteArray line = lines.at(index);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#')) {
            continue;
        }
        const qsizetype lineNumber = index + 1;
        const qsizetype open = line.indexOf('"');
        const qsizetype close = line.lastIndexOf('"');
        if (open < 0 || close == open) {
            fail(error, lineNumber, "the text needs an opening and a closing double quote");
            return std::nullopt;
        }
        bool isNumber = false;
        const int number = line.left(open).trimmed().toInt(&isNumber);
        if (!isNumber || number < 0) {
            fail(error, lineNumber, "the line does not start with a text number");
            return std::nullopt;
        }
        if (!line.mid(close + 1).trimmed().isEmpty()) {
            fail(error, lineNumber, "nothing may follow the closing double quote");
            return std::nullopt;
        }
        const auto [it, inserted] =
            table.m_texts.emplace(number, QString::fromUtf8(line.mid(open + 1, close - open - 1)));
        if (!inserted) {
            fail(error, lineNumber, "the number is already in the table");
            return std::nullopt;
        }
    }
    return table;
}

QString StringTable::text(int number) const {
    const auto it = m_texts.find(number);
    return it == m_texts.end() ? QString() : it->second;
}

std::vector<int> StringTable::numbers() const {
    std::vector<int> result;
    result.reserve(m_texts.size());
    for (const auto& entry : m_texts) {
        result.push_back(entry.first);
    }
    return result;
}

} // namespace brindmar
