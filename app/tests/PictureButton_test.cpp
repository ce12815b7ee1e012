#include "PictureButton.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace marlin {
namespace {

QPixmap solid(QColor colour) {
    QPixmap pixmap(50, 20);
    pixmap.fill(colour);
    return pixmap;
}

class PictureButtonTest : public ::testing::Test {
protected:
    PictureButtonTest() {
        button = std::make_unique<PictureButton>(solid(Qt::blue), solid(Qt::yellow));
        button->setGeometry(0, 0, 49, 17);
        button->setCaptionGeometry(QRect(6, 3, 37, 13));
        button->setCaptionText(QStringLiteral("START"));
        button->show();
    }

    QColor shownColour() const { return button->grab().toImage().pixelColor(1, 1); }

    std::unique_ptr<PictureButton> button;
};

TEST_F(PictureButtonTest, LeftPressShowsPressedPictureAndBlackTextReleaseClicks) {
    QSignalSpy clicks(button.get(), &PictureButton::clicked);
    EXPECT_EQ(button->captionColor(), QColor(Qt::white));
    EXPECT_EQ(shownColour(), QColor(Qt::blue));

    QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(button->isPressed());
    EXPECT_EQ(button->captionColor(), QColor(Qt::black));
    EXPECT_EQ(shownColour(), QColor(Qt::yellow));
    EXPECT_EQ(clicks.count(), 0);

    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(button->captionColor(), QColor(Qt::white));
    EXPECT_EQ(shownColour(), QColor(Qt::blue));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(PictureButtonTest, LabelPassesItsMouseEventsToThePicture) {
    QSignalSpy clicks(button.get(), &PictureButton::clicked);
    QSignalSpy pressed(button.get(), &PictureButton::pressedChanged);
    QTest::mousePress(button->caption(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(button->isPressed());
    EXPECT_EQ(button->captionColor(), QColor(Qt::black));
    QTest::mouseRelease(button->caption(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(button->isPressed());
    // The picture was swapped twice, then came one click.
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(PictureButtonTest, OtherMouseButtonsChangeNothing) {
    QSignalSpy clicks(button.get(), &PictureButton::clicked);
    for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(button.get(), other, {}, QPoint(2, 2));
        EXPECT_FALSE(button->isPressed());
        EXPECT_EQ(button->captionColor(), QColor(Qt::white));
        QTest::mouseRelease(button.get(), other, {}, QPoint(2, 2));
        QTest::mouseClick(button->caption(), other, {}, QPoint(5, 5));
    }
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(PictureButtonTest, ReleaseOutsideIsNoClick) {
    QSignalSpy clicks(button.get(), &PictureButton::clicked);
    QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(120, 2));
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(PictureButtonTest, DisabledButtonReactsToNothing) {
    QSignalSpy clicks(button.get(), &PictureButton::clicked);
    button->setEnabled(false);
    QTest::mouseClick(button.get(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseClick(button->caption(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mousePress(button->caption(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(shownColour(), QColor(Qt::blue));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(PictureButtonTest, DisablingAHeldButtonShowsItUp) {
    QSignalSpy clicks(button.get(), &PictureButton::clicked);
    QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(2, 2));
    button->setEnabled(false);
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(button->captionColor(), QColor(Qt::white));
    button->setEnabled(true);
    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(PictureButtonTest, CaptionTooWideForItsPlaceGrowsAboutItsCentreWithinThePicture) {
    button->setGeometry(0, 0, 145, 17);
    button->setCaptionGeometry(QRect(47, 3, 20, 13));
    button->setCaptionText(QStringLiteral("a caption much wider than its place"));
    const QRect shown = button->caption()->geometry();
    EXPECT_GT(shown.width(), 20);
    EXPECT_TRUE(button->rect().contains(shown));
    EXPECT_EQ(shown.top(), 3);
    button->setCaptionText(QStringLiteral("ok"));
    EXPECT_EQ(button->caption()->geometry(), QRect(47, 3, 20, 13));
}

}  // namespace
}  // namespace marlin
