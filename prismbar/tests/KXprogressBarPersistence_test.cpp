#include <QFile>

#include <gtest/gtest.h>

#include <memory>

#include "prismbar/KXprogressBar.h"
#include "prismbar/PictureSurface.h"
#include "prismbar/TextPropertyBag.h"

using prismbar::PictureSurface;
using prismbar::TextPropertyBag;

namespace {

std::unique_ptr<KXprogressBar> shown(std::unique_ptr<KXprogressBar> bar, QSize size = QSize(295, 17)) {
    bar->resize(size);
    bar->show();
    return bar;
}

TextPropertyBag bagFromText(const char* text) {
    QString error;
    auto bag = TextPropertyBag::fromText(QString::fromUtf8(text), &error);
    EXPECT_TRUE(bag) << error.toStdString();
    return bag.value_or(TextPropertyBag());
}

}  // namespace

TEST(Persistence, NewControlWritesOnlyWhatDiffersFromTheDefaults) {
    auto bar = shown(std::make_unique<KXprogressBar>());
    TextPropertyBag bag;
    bar->WriteProperties(bag);
    // Always stored: MAX, Value, Enabled, Percentage, PercentColor. ForeColor differs from its
    // default (button face), Styling is 1 and the surface carries the generated scale picture.
    EXPECT_EQ(bag.names(), (QStringList{"MAX", "Value", "Enabled", "Percentage", "Styling", "ForeColor",
                                        "SkinPicture", "PercentColor"}));
    EXPECT_EQ(bag.readProperty(QStringLiteral("PercentColor")).toUInt(), 0x80000012u);
    const QImage picture = bag.readProperty(QStringLiteral("SkinPicture")).value<QImage>();
    EXPECT_EQ(picture.size(), QSize(291, 13));
}

TEST(Persistence, RoundTripThroughTheTextForm) {
    auto bar = shown(std::make_unique<KXprogressBar>());
    bar->setMAX(200);
    bar->setValue(150);
    bar->setBackColor(0x202020);
    bar->setBorderStyle(KXprogressBar::Fixed);
    bar->setAppearance(KXprogressBar::Flat);
    bar->setPercentage(false);
    bar->setUserLeftColor(0x0000FF);
    bar->setUserRightColor(0x00FF00);
    bar->setUserStyle(KXprogressBar::Vertical);
    bar->setStyling(KXprogressBar::User);
    bar->setForeColor(0x00AA00);
    bar->setPercentColor(0x123456);
    QFont font(QStringLiteral("Serif"));
    font.setPointSizeF(11.5);
    font.setBold(true);
    bar->setFont(font);
    bar->setEnabled(false);

    TextPropertyBag bag;
    bar->WriteProperties(bag);
    QString error;
    const auto back = TextPropertyBag::fromText(bag.toText(), &error);
    ASSERT_TRUE(back) << error.toStdString();

    auto copy = shown(std::make_unique<KXprogressBar>(*back));
    EXPECT_EQ(copy->maximum(), 200);
    EXPECT_EQ(copy->value(), 150);
    EXPECT_EQ(copy->backColor(), 0x202020u);
    EXPECT_EQ(copy->appearance(), KXprogressBar::Flat);
    EXPECT_FALSE(copy->percentage());
    EXPECT_EQ(copy->userLeftColor(), 0x0000FFu);
    EXPECT_EQ(copy->userRightColor(), 0x00FF00u);
    EXPECT_EQ(copy->userStyle(), KXprogressBar::Vertical);
    EXPECT_EQ(copy->styling(), KXprogressBar::User);
    EXPECT_EQ(copy->foreColor(), 0x00AA00u);
    EXPECT_EQ(copy->percentColor(), 0x123456u);
    EXPECT_EQ(copy->font().family(), QStringLiteral("Serif"));
    EXPECT_TRUE(copy->font().bold());
    EXPECT_FALSE(copy->isControlEnabled());
    EXPECT_EQ(copy->barSurface().imageSize(), bar->barSurface().imageSize());
    EXPECT_EQ(copy->barSurface().image(), bar->barSurface().image());
    // Shown after a resize, the value itself is the percentage.
    EXPECT_EQ(copy->percentText(), QStringLiteral("100%"));
}

TEST(Persistence, MissingNamesTakeTheirDefaults) {
    auto bar = shown(std::make_unique<KXprogressBar>(bagFromText("max = 100\nstyling = 2\n")));
    EXPECT_EQ(bar->value(), 0) << "a set without Value restores 0";
    EXPECT_EQ(bar->percentText(), QStringLiteral("0%"));
    EXPECT_EQ(bar->styling(), KXprogressBar::RedGreen);
    EXPECT_EQ(bar->backColor(), 0xFFFFFFu);
    EXPECT_EQ(bar->foreColor(), 0xFF0000u);
    EXPECT_EQ(bar->percentColor(), 0x80000012u);
    EXPECT_EQ(bar->borderStyle(), KXprogressBar::Fixed);
    EXPECT_EQ(bar->appearance(), KXprogressBar::ThreeD);
    EXPECT_TRUE(bar->percentage());
    EXPECT_TRUE(bar->isControlEnabled());
    EXPECT_FALSE(bar->testAttribute(Qt::WA_SetFont)) << "the host's font";
    // Shown, the style is painted.
    EXPECT_EQ(bar->barSurface().pointColor(0, 3), 0x0000FF);
}

TEST(Persistence, ValueIsComputedWithTheMaxJustRead) {
    KXprogressBar bar(bagFromText("MAX = 200\nValue = 50\n"));
    EXPECT_EQ(bar.percentText(), QStringLiteral("25%"));
}

TEST(Persistence, ValuesOfTheWrongKindLeaveOnlyTheirPropertyUnchanged) {
    auto bar = shown(std::make_unique<KXprogressBar>());
    bar->setValue(42);
    bar->ReadProperties(
        bagFromText("Value = \"abc\"\nBackColor = &H00FF00\nBorderStyle = 7\n"
                    "SkinPicture = 12\nStyling = 2\n"));
    EXPECT_EQ(bar->value(), 42);
    EXPECT_EQ(bar->backColor(), 0x00FF00u);
    EXPECT_EQ(bar->borderStyle(), KXprogressBar::Fixed);
    EXPECT_EQ(bar->styling(), KXprogressBar::RedGreen);
}

TEST(Persistence, ReadingDoesNotMarkTheHostModified) {
    KXprogressBar bar;
    int notifications = 0;
    QObject::connect(&bar, &KXprogressBar::propertyChanged, [&notifications] { ++notifications; });
    bar.ReadProperties(bagFromText("MAX = 10\nValue = 5\nEnabled = False\n"));
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(bar.percentText(), QStringLiteral("50%"));
}

TEST(Persistence, RecordersStoredBarMatchesItsDesign) {
    QFile file(QStringLiteral(PRISMBAR_EXAMPLES_DIR "/KXprogressBar1.bag"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QString error;
    const auto bag = TextPropertyBag::fromText(QString::fromUtf8(file.readAll()), &error);
    ASSERT_TRUE(bag) << error.toStdString();

    // Stored in lower case, as the recorder keeps them.
    EXPECT_EQ(bag->names().first(), QStringLiteral("max"));
    const QImage picture = bag->readProperty(QStringLiteral("SkinPicture")).value<QImage>();
    ASSERT_EQ(picture.size(), QSize(291, 13));
    EXPECT_EQ(PictureSurface::fromRgb(picture.pixel(0, 5)), 0x00FF00u);
    EXPECT_EQ(PictureSurface::fromRgb(picture.pixel(145, 5)), 0x00FFFCu);
    EXPECT_EQ(PictureSurface::fromRgb(picture.pixel(290, 5)), 0x0006FFu);

    KXprogressBar bar(*bag);
    bar.setToolTip(QStringLiteral("Time to next sweep"));
    EXPECT_EQ(bar.maximum(), 100);
    EXPECT_EQ(bar.value(), 50);
    EXPECT_EQ(bar.styling(), KXprogressBar::GreenRed);
    EXPECT_EQ(bar.foreColor(), 0x8000000Fu);
    EXPECT_EQ(bar.percentColor(), 0x80000012u);
    EXPECT_TRUE(bar.percentage());
    EXPECT_TRUE(bar.isControlEnabled());
    EXPECT_EQ(bar.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(bar.font().pointSizeF(), 8.25);
    EXPECT_FALSE(bar.font().bold());
    EXPECT_EQ(bar.borderStyle(), KXprogressBar::Fixed);
    EXPECT_EQ(bar.appearance(), KXprogressBar::ThreeD);

    // Placed as the recorder places it (60, 855, 4425 x 255 twips), it shows the same bar as a
    // freshly designed one.
    bar.setGeometry(60 / 15, 855 / 15, 4425 / 15, 255 / 15);
    bar.show();
    auto designed = shown(std::make_unique<KXprogressBar>());
    EXPECT_EQ(bar.barSurface().image(), designed->barSurface().image());
    EXPECT_EQ(bar.percentText(), QStringLiteral("50%"));
    EXPECT_EQ(bar.blindRect().left(), 146);
}

TEST(Persistence, HostHelpersMakeAControlFromStoredText) {
    KXprogressBar original;
    original.setStyling(KXprogressBar::RedGreen);
    original.setValue(12);
    const QString text = original.storedText();
    QWidget host;
    QString error;
    std::unique_ptr<KXprogressBar> copy(KXprogressBar::fromStoredText(text, &host, &error));
    ASSERT_TRUE(copy) << error.toStdString();
    copy->setParent(nullptr);
    EXPECT_EQ(copy->styling(), KXprogressBar::RedGreen);
    EXPECT_EQ(copy->value(), 12);

    EXPECT_EQ(KXprogressBar::fromStoredText(QStringLiteral("Value 12"), &host, &error), nullptr);
    EXPECT_TRUE(error.startsWith(QStringLiteral("line 1"))) << error.toStdString();
}
