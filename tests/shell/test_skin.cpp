// Skin folder and fonts by screen size.
#include "shell/Skin.h"

#include <gtest/gtest.h>

using namespace tovrin::shell;

namespace {

struct SkinRow {
    const char* name;
    int width, height;
    const char* path;
    int button, title, application, portrait;
};

class SkinRows : public ::testing::TestWithParam<SkinRow> {};

TEST_P(SkinRows, PathFontsAndOrientation)
{
    const SkinRow& r = GetParam();
    const SkinChoice c = skinForScreen(r.width, r.height);
    EXPECT_EQ(c.skinPath, QString::fromLatin1(r.path));
    EXPECT_EQ(c.buttonFont.pointSize, r.button);
    EXPECT_EQ(c.titleFont.pointSize, r.title);
    EXPECT_EQ(c.applicationFont.pointSize, r.application);
    EXPECT_EQ(c.portrait, r.portrait);
    EXPECT_EQ(c.buttonFont.family, "Calibri");
    EXPECT_EQ(c.titleFont.family, "Arial black");
}

INSTANTIATE_TEST_SUITE_P(
    Screens, SkinRows,
    ::testing::Values(SkinRow{"fullHd", 1920, 1080, "./skin/1920/", 18, 17, 16, 0},
                      SkinRow{"portraitFullHd", 1080, 1920, "./skin/1920/", 18, 17, 16, 1},
                      SkinRow{"sxga", 1280, 1024, "./skin/1440/", 14, 13, 12, 0},
                      SkinRow{"wide1599", 1599, 900, "./skin/1440/", 14, 13, 12, 0},
                      SkinRow{"just1600", 1600, 900, "./skin/1920/", 18, 17, 16, 0},
                      SkinRow{"hd1279", 1279, 720, "./skin/1024/", 13, 12, 11, 0},
                      SkinRow{"xga", 1024, 768, "./skin/1024/", 11, 10, 9, 0},
                      SkinRow{"svga", 800, 600, "./skin/1024/", 9, 8, 7, 0},
                      SkinRow{"squareIsPortrait", 1200, 1200, "./skin/1024/", 13, 12, 11, 1},
                      SkinRow{"uhd", 3840, 2160, "./skin/1920/", 18, 17, 16, 0}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
