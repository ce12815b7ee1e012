#include "prismbar/modGradient.h"

#include <gtest/gtest.h>

using prismbar::PictureSurface;

namespace {

constexpr quint32 kWhite = 0xFFFFFF;
constexpr quint32 kBlack = 0x000000;

quint32 grey(int v) {
    return quint32(v) * 0x010101u;
}

}  // namespace

TEST(ColourParts, SplitTakesTheLowThreeBytes) {
    const auto parts = modGradient::SplitColor(0x00332211u);
    EXPECT_EQ(parts.red, 0x11);
    EXPECT_EQ(parts.green, 0x22);
    EXPECT_EQ(parts.blue, 0x33);
    EXPECT_EQ(modGradient::RedOf(0x00332211), 0x11);
    EXPECT_EQ(modGradient::GreenOf(0x00332211), 0x22);
    EXPECT_EQ(modGradient::BlueOf(0x00332211), 0x33);
}

TEST(ColourParts, SystemColoursSplitAsPlainNumbers) {
    // Button face, 0x8000000F: the split takes bytes; the Of functions divide a negative number
    // with truncation toward zero, which leaves a 1 in green and blue.
    const quint32 buttonFace = 0x8000000Fu;
    const auto parts = modGradient::SplitColor(buttonFace);
    EXPECT_EQ(parts.red, 15);
    EXPECT_EQ(parts.green, 0);
    EXPECT_EQ(parts.blue, 0);
    EXPECT_EQ(modGradient::RedOf(qint32(buttonFace)), 15);
    EXPECT_EQ(modGradient::GreenOf(qint32(buttonFace)), 1);
    EXPECT_EQ(modGradient::BlueOf(qint32(buttonFace)), 1);
}

TEST(ColourParts, MakeColorClampsEachPart) {
    EXPECT_EQ(modGradient::MakeColor(-5, 300, 128), 0x80FF00u);
    EXPECT_EQ(modGradient::MakeColor(1, 2, 3), 0x030201u);
}

TEST(FillWithColor, UsesTheBrushWhenGivenAndFailsWithoutSurface) {
    PictureSurface surface(QSize(4, 4));
    EXPECT_TRUE(modGradient::FillWithColor(surface, QRect(0, 0, 2, 4), 0x0000FF));
    const QBrush green(QColor(0, 255, 0));
    EXPECT_TRUE(modGradient::FillWithColor(surface, QRect(2, 0, 2, 4), 0x0000FF, &green));
    EXPECT_EQ(surface.pointColor(1, 3), 0x0000FF);
    EXPECT_EQ(surface.pointColor(2, 3), 0x00FF00);

    PictureSurface none;
    EXPECT_FALSE(modGradient::FillWithColor(none, QRect(0, 0, 1, 1), 0));
}

TEST(LinearGradient, WhiteToBlackOverThreeColumnsRoundsHalfToEven) {
    PictureSurface surface(QSize(3, 2));
    ASSERT_TRUE(modGradient::PaintLinearGradient(surface, kWhite, kBlack, 0, 2));
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(surface.pointColor(0, y), grey(255));
        EXPECT_EQ(surface.pointColor(1, y), grey(128)) << "127.5 rounds to the even 128";
        EXPECT_EQ(surface.pointColor(2, y), grey(0));
    }
}

TEST(LinearGradient, TiesGoToTheEvenPart)
{
    PictureSurface surface(QSize(3, 1));
    ASSERT_TRUE(modGradient::PaintLinearGradient(surface, kBlack, 0x030101u, 0, 2));
    EXPECT_EQ(surface.pointColor(1, 0), 0x020000u) << "0.5 -> 0 and 1.5 -> 2";
}

TEST(LinearGradient, DefaultColumnsSpanTheDrawingScale) {
    // The drawing scale (10 columns) is narrower than the image (12): the gradient ends at column 9.
    PictureSurface surface(QSize(12, 4), QSizeF(10, 4));
    surface.setBackColor(qRgb(1, 2, 3));
    ASSERT_TRUE(modGradient::PaintLinearGradient(surface, 0x0000FF, 0xFF0000, -1, -1));
    EXPECT_EQ(surface.pointColor(0, 0), 0x0000FF);
    EXPECT_EQ(surface.pointColor(9, 3), 0xFF0000);
    EXPECT_EQ(surface.pointColor(10, 0), 0x030201) << "past the last column nothing is painted";
    // Column 3 of 9 steps: t = 1/3 -> red 170, blue 85.
    EXPECT_EQ(surface.pointColor(3, 0), 0x5500AA);
}

TEST(LinearGradient, PartialRangeLeavesTheOtherColumns) {
    PictureSurface surface(QSize(8, 2));
    surface.setBackColor(qRgb(9, 9, 9));
    ASSERT_TRUE(modGradient::PaintLinearGradient(surface, kBlack, kWhite, 2, 4));
    EXPECT_EQ(surface.pointColor(1, 0), grey(9));
    EXPECT_EQ(surface.pointColor(2, 0), grey(0));
    EXPECT_EQ(surface.pointColor(4, 0), grey(255));
    EXPECT_EQ(surface.pointColor(5, 0), grey(9));
}

TEST(LinearGradient, OneColumnFailsAndPaintsNothing) {
    PictureSurface surface(QSize(1, 4));
    surface.setBackColor(qRgb(7, 7, 7));
    EXPECT_FALSE(modGradient::PaintLinearGradient(surface, kWhite, kBlack, -1, -1));
    EXPECT_EQ(surface.pointColor(0, 0), grey(7));
}

TEST(CosineGradient, FourRowsQuarterRowsFallEitherSideOfHalf) {
    // Drawing scale 4 rows high on a 5-row image, so that row H itself can be read back.
    PictureSurface surface(QSize(3, 5), QSizeF(3, 4));
    ASSERT_TRUE(modGradient::PaintCosineGradient(surface, kWhite, kBlack));
    EXPECT_EQ(surface.pointColor(1, 0), grey(255));
    EXPECT_EQ(surface.pointColor(1, 1), grey(128));
    EXPECT_EQ(surface.pointColor(1, 2), grey(0));
    EXPECT_EQ(surface.pointColor(1, 3), grey(127));
    EXPECT_EQ(surface.pointColor(1, 4), grey(255));
}

TEST(CosineGradient, RowsSpanTheDrawingWidthOnly) {
    PictureSurface surface(QSize(6, 4), QSizeF(4, 4));
    surface.setBackColor(qRgb(5, 5, 5));
    ASSERT_TRUE(modGradient::PaintCosineGradient(surface, kWhite, kBlack));
    EXPECT_EQ(surface.pointColor(3, 0), grey(255));
    EXPECT_EQ(surface.pointColor(4, 0), grey(5));
}

TEST(CosineGradient, SplitsSystemColoursWithSignedDivision) {
    PictureSurface surface(QSize(2, 4));
    ASSERT_TRUE(modGradient::PaintCosineGradient(surface, 0x8000000Fu, kBlack));
    EXPECT_EQ(surface.pointColor(0, 0), 0x01010F);
}

TEST(CosineGradient, ZeroHeightFails) {
    PictureSurface surface(QSize(4, 1), QSizeF(4, 0.2));
    surface.setBackColor(qRgb(3, 3, 3));
    EXPECT_FALSE(modGradient::PaintCosineGradient(surface, kWhite, kBlack));
    EXPECT_EQ(surface.pointColor(0, 0), grey(3));
}
