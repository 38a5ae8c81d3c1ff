#include "util/PathHelpers.h"
#include "AppTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace brindmar;

namespace {

struct PathCase {
    const char16_t* path;
    const char16_t* result;
    const char16_t* pathAfter; // the caller's variable after the call
};

using PathFunction = QString (*)(QString&);

void expectCases(PathFunction function, std::initializer_list<PathCase> cases) {
    for (const PathCase& c : cases) {
        QString path = QString::fromUtf16(c.path);
        EXPECT_EQ(function(path), QString::fromUtf16(c.result))
            << "path \"" << QString::fromUtf16(c.path).toStdString() << '"';
        EXPECT_EQ(path, QString::fromUtf16(c.pathAfter));
    }
}

TEST(PathHelpers, FileNameOfTakesThePartAfterTheLastSeparator) {
    expectCases(FileNameOf,
                {
                    {u"  /home/ann/Letter.txt  ", u"Letter.txt", u"/home/ann/Letter.txt"},
                    {u"Letter.txt", u"Letter.txt", u"Letter.txt"},
                    {u"a/b", u"b", u"a/b"},
                    // A separator at the end gives the whole trimmed path.
                    {u"/home/ann/", u"/home/ann/", u"/home/ann/"},
                    {u"/", u"/", u"/"},
                    {u"   ", u"", u""},
                    // Only spaces are blanks; a tab belongs to the name.
                    {u"/x/\tname", u"\tname", u"/x/\tname"},
                });
}

TEST(PathHelpers, ExtensionOfIsTheLowerCasedTextAfterTheLastDotOfTheName) {
    expectCases(ExtensionOf, {
                                 {u" /pics/Holiday.BMP ", u"bmp", u"/pics/Holiday.BMP"},
                                 {u"/x/archive.tar.gz", u"gz", u"/x/archive.tar.gz"},
                                 {u"/x/name.", u"", u"/x/name."},
                                 {u"/x/noextension", u"", u"/x/noextension"},
                                 {u"/folder.d/noextension", u"", u"/folder.d/noextension"},
                                 {u"/x/.bashrc", u"bashrc", u"/x/.bashrc"},
                             });
}

TEST(PathHelpers, FolderOfKeepsTheFinalSeparator) {
    expectCases(FolderOf, {
                              {u"/a/b/c.txt", u"/a/b/", u"/a/b/c.txt"},
                              {u"  /a/  ", u"/a/", u"/a/"},
                              {u"c.txt", u"", u"c.txt"},
                              {u"", u"", u""},
                          });
}

TEST(PathHelpers, BaseNameOfDropsOnlyTheLastExtension) {
    expectCases(BaseNameOf, {
                                {u"/a/backup.tar.gz", u"backup.tar", u"/a/backup.tar.gz"},
                                {u" /a/README ", u"README", u"/a/README"},
                                {u"/a/.profile", u"", u"/a/.profile"},
                                {u"/a/x.", u"x", u"/a/x."},
                                {u"   ", u"", u""},
                            });
}

TEST(PathHelpers, ProperCasePathRaisesLettersAfterSeparatorsSpacesAndColons) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"  /HOME/ann/my docs/BRINDMAR/  ", u"/Home/Ann/My Docs/Brindmar/"},
        {u"c:/program files", u"C:/Program Files"},
        {u"/opt/a1/_b/9c", u"/Opt/A1/_b/9c"},
        // Letters beyond a to z are lowered but never raised.
        {u"/ÉTÉ/élan", u"/été/élan"},
        {u"", u""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ProperCasePath(QString::fromUtf16(text)), QString::fromUtf16(expected));
    }
}

TEST(PathHelpers, FileExistsForFilesOfAnyKindButFolders) {
    apptest::ScratchDir dir;
    dir.write(QStringLiteral("plain.txt"), std::string("x"));
    dir.write(QStringLiteral(".hidden"), std::string("x"));
    QFile::link(dir.path(QStringLiteral("plain.txt")), dir.path(QStringLiteral("link")));
    QFile::link(dir.path(QStringLiteral("gone")), dir.path(QStringLiteral("dangling")));

    EXPECT_TRUE(FileExists(dir.path(QStringLiteral("plain.txt"))));
    EXPECT_TRUE(FileExists(dir.path(QStringLiteral(".hidden"))));
    EXPECT_TRUE(FileExists(dir.path(QStringLiteral("link"))));
    EXPECT_FALSE(FileExists(dir.path(QStringLiteral("dangling"))));
    EXPECT_FALSE(FileExists(dir.path(QStringLiteral("missing"))));
    EXPECT_FALSE(FileExists(dir.folder()));
    EXPECT_FALSE(FileExists(QString()));
}

} // namespace
