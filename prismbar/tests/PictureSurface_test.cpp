#include "prismbar/PictureSurface.h"

#include <gtest/gtest.h>

using prismbar::PictureSurface;

TEST(PictureSurface, PointsOutsideTheImageReadMinusOne) {
    PictureSurface surface(QSize(3, 2));
    surface.setBackColor(qRgb(0x11, 0x22, 0x33));
    EXPECT_EQ(surface.pointColor(2, 1), 0x332211);
    EXPECT_EQ(surface.pointColor(3, 0), -1);
    EXPECT_EQ(surface.pointColor(0, 2), -1);
    EXPECT_EQ(surface.pointColor(-1, 0), -1);
}

TEST(PictureSurface, PictureShowsUnderDrawingAndSurvivesBackgroundChanges) {
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
    PictureSurface surface(QSize(4, 2));
    surface.setPicture(picture);
    surface.fillRect(QRect(0, 0, 1, 1), 0x00FF00);
    EXPECT_EQ(surface.pointColor(0, 0), 0x00FF00);
    surface.setBackColor(qRgb(0, 0, 255));
    EXPECT_EQ(surface.pointColor(0, 0), 0x0000FF) << "the picture, drawing cleared";
    EXPECT_EQ(surface.pointColor(3, 0), 0xFF0000) << "background beside the picture";
}

TEST(PictureSurface, ImageTakenAsPictureSurvivesAClear) {
    PictureSurface surface(QSize(3, 3));
    surface.setLineColor(0x123456);
    surface.drawLine(QPoint(1, 0), QPoint(1, 5));
    surface.takeImageAsPicture();
    surface.setBackColor(qRgb(0, 0, 0));
    EXPECT_EQ(surface.pointColor(1, 2), 0x123456);
    EXPECT_EQ(surface.pointColor(0, 2), 0xFFFFFF);
}

TEST(PictureSurface, LinesIncludeBothEndsAndClip) {
    PictureSurface surface(QSize(5, 5));
    surface.setBackColor(qRgb(0, 0, 0));
    surface.setLineColor(0xFFFFFF);
    surface.drawLine(QPoint(0, 0), QPoint(4, 4));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(surface.pointColor(i, i), 0xFFFFFF);
    }
    EXPECT_EQ(surface.pointColor(1, 0), 0);
    surface.drawLine(QPoint(-3, 2), QPoint(10, 2));  // clipped, no crash
    EXPECT_EQ(surface.pointColor(4, 2), 0xFFFFFF);
}

TEST(PictureSurface, ResizeKeepsWhatWasDrawn) {
    PictureSurface surface(QSize(2, 2));
    surface.setBackColor(qRgb(0, 0, 0));
    surface.fillRect(QRect(1, 1, 1, 1), 0x0000FF);
    surface.resize(QSize(4, 3));
    EXPECT_EQ(surface.imageSize(), QSize(4, 3));
    EXPECT_EQ(surface.scaleWidth(), 4);
    EXPECT_EQ(surface.pointColor(1, 1), 0x0000FF);
    EXPECT_EQ(surface.pointColor(3, 2), 0);
}
