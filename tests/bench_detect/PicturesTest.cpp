#include "Pictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace detect {
namespace {

namespace fs = std::filesystem;

class PicturesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pictures-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
    }
    void TearDown() override { fs::remove_all(m_root); }

    void file(const std::string& relative, size_t bytes) {
        fs::create_directories((m_root / relative).parent_path());
        std::ofstream(m_root / relative) << std::string(bytes, 'x');
    }
    std::string rel(const fs::path& p) const { return fs::relative(p, m_root).string(); }

    fs::path m_root;
};

TEST_F(PicturesTest, OneJpegPerPictureTheLargestAndNothingFromMissingFolders) {
    file("a/Autumn/contents/images/1920x1080.jpg", 10);
    file("a/Autumn/contents/images/5120x2880.jpg", 30);
    file("a/Autumn/contents/images_dark/2560x1600.jpg", 20);
    file("a/Render/contents/images/3840x2160.png", 50); // not a JPEG
    file("b/nature/Elephants.jpg", 5);
    file("b/nature/Elephants_5640x3172.JPG", 40);
    file("b/nature/Elephants_3840x2160.jpg", 20);
    file("b/nature/Dune.jpeg", 7);
    file("b/nature/Dune_notes.txt", 70);
    file("b/desktop/Dune.jpg", 3); // same name, another folder: another picture
    const std::vector<fs::path> found =
        picturesUnder({(m_root / "a").string(), (m_root / "b").string()});
    std::vector<std::string> names;
    for (const fs::path& p : found) {
        names.push_back(rel(p));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a/Autumn/contents/images/5120x2880.jpg",
                                               "b/desktop/Dune.jpg", "b/nature/Dune.jpeg",
                                               "b/nature/Elephants_5640x3172.JPG"}));
    // Missing folders find nothing.
    EXPECT_TRUE(picturesUnder({(m_root / "absent").string(), ""}).empty());
    EXPECT_TRUE(picturesUnder({}).empty());
}

} // namespace
} // namespace detect
