#pragma once

#include "util/TextIds.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace brindmar {

// The numbered user-visible texts. The table ships inside the program (resources/strings.txt);
// the format is one text a line: its number, blanks, then the text between the first and the
// last double quote of the line, taken exactly. Empty lines and lines starting with "#" are
// comments.
class StringTable {
public:
    // The table compiled into the program, read once. A damaged table leaves every text empty
    // rather than stopping the program.
    static const StringTable& builtin();

    // nullopt for a malformed table; error then names the line.
    static std::optional<StringTable> parse(const QByteArray& data, QString* error = nullptr);

    // Empty for a number the table does not hold.
    QString text(TextId id) const { return text(static_cast<int>(id)); }
    QString text(int number) const;
    bool contains(int number) const { return m_texts.count(number) != 0; }
    std::vector<int> numbers() const;

private:
    std::map<int, QString> m_texts;
};

} // namespace brindmar
