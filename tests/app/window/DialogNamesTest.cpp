// A name a file dialog hands back is used only when it names the file the user picked: a name
// that is not valid text came back repaired, and encoded again it names a look-alike or nothing.
#include "window/QtUiServices.h"

#include <QFile>
#include <gtest/gtest.h>
#include <random>

using brindmar::QtUiServices;

namespace {

TEST(DialogNames, OnlyNamesThatComeBackAsTheSameBytesAreTaken) {
    std::mt19937 random(24);
    // Mostly ASCII with now and then a byte of the upper half, which may or may not form valid
    // UTF-8 with its neighbours.
    const std::string alphabet = "abc./ \xc3\xa9\xe2\x82\xac\xe9\xff\x80\xef\xbf\xbd";
    int refused = 0;
    int taken = 0;
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes("/home/user/");
        const int length = 1 + int(random() % 12);
        for (int i = 0; i < length; ++i) {
            bytes += alphabet[random() % alphabet.size()];
        }
        const QString shown = QFile::decodeName(bytes); // what the dialog gives back
        if (QtUiServices::nameIntact(shown)) {
            ++taken;
            EXPECT_EQ(QFile::encodeName(shown), bytes) << bytes.toHex().toStdString();
        } else {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(taken, 0);
    EXPECT_FALSE(QtUiServices::nameIntact(QFile::decodeName("/tmp/caf\xe9.txt")));
    EXPECT_TRUE(QtUiServices::nameIntact(QStringLiteral("/tmp/caf\u00e9 \u20ac.txt")));
}

} // namespace
