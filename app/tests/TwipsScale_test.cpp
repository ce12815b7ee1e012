#include "TwipsScale.h"

#include <gtest/gtest.h>

namespace marlin {
namespace {

TEST(TwipsScale, FifteenTwipsPerPixelAtNinetySixDpi) {
    const TwipsScale scale(96.0);
    EXPECT_EQ(scale.toPixels(15), 1);
    EXPECT_EQ(scale.toPixels(4545), 303);
    EXPECT_EQ(scale.toPixels(1440), 96);
    EXPECT_EQ(scale.toTwips(303), 4545);
    EXPECT_EQ(scale.rect(60, 855, 4425, 255), QRect(4, 57, 295, 17));
}

TEST(TwipsScale, FollowsTheScreenResolution) {
    const TwipsScale scale(144.0);
    EXPECT_EQ(scale.toPixels(1440), 144);
    EXPECT_EQ(scale.toPixels(4545), 455);  // 454.5 rounds away from zero
    EXPECT_EQ(scale.rect(40, 100, 555, 555), QRect(4, 10, 56, 56));
}

TEST(TwipsScale, UnusableResolutionFallsBackToNinetySix) {
    EXPECT_EQ(TwipsScale(0.0).toPixels(1500), 100);
    EXPECT_EQ(TwipsScale(-5.0).dotsPerInch(), 96.0);
}

}  // namespace
}  // namespace marlin
