#include "prismbar/KXprogressBar.h"

#include <QApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

#include "prismbar/PictureSurface.h"
#include "prismbar/PropertyValue.h"
#include "prismbar/SystemColors.h"

using prismbar::PictureSurface;

namespace {

constexpr quint32 kGreen = 0x00FF00;
constexpr quint32 kYellow = 0x00FFFF;
constexpr quint32 kRed = 0x0000FF;
constexpr quint32 kBlue = 0xFF0000;
constexpr quint32 kWhite = 0xFFFFFF;

quint32 pixel(const QImage& image, int x, int y) {
    return PictureSurface::fromRgb(image.pixel(x, y));
}

// The recorder's bar: 295 x 17 pixels with a 3-D border, so the bar surface is 291 x 13.
class BarTest : public ::testing::Test {
protected:
    void SetUp() override {
        bar = std::make_unique<KXprogressBar>();
        bar->resize(295, 17);
        bar->show();
        ASSERT_EQ(bar->barSurface().imageSize(), QSize(291, 13));
    }

    // Where the bar shows its own image and where the blind, at the middle row.
    int firstBlindColumn() {
        bar->setPercentage(false);
        const QImage image = bar->renderToImage();
        const QRect r = bar->barRect();
        const quint32 blind = bar->backColor();
        for (int x = 0; x < r.width(); ++x) {
            if (pixel(image, r.left() + x, r.top() + r.height() / 2) == blind &&
                pixel(image, r.left() + x, r.top()) == blind) {
                return x;
            }
        }
        return r.width();
    }

    std::unique_ptr<KXprogressBar> bar;
};

}  // namespace

TEST_F(BarTest, NewControlIsTheGreenToRedScaleAtHalf) {
    EXPECT_EQ(bar->styling(), KXprogressBar::GreenRed);
    EXPECT_EQ(bar->value(), 50);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->percentText(), QStringLiteral("50%"));
    EXPECT_EQ(bar->borderStyle(), KXprogressBar::Fixed);
    EXPECT_EQ(bar->appearance(), KXprogressBar::ThreeD);
    EXPECT_EQ(bar->foreColor(), prismbar::SystemColors::kButtonFace);
    EXPECT_EQ(bar->percentColor(), prismbar::SystemColors::kButtonText);
}

TEST_F(BarTest, ColourScalesAtTheirEndsAndMiddle) {
    const PictureSurface& greenRed = bar->greenRedScale();
    EXPECT_EQ(greenRed.imageSize().width(), 511);
    EXPECT_EQ(greenRed.pointColor(0, 3), kGreen);
    EXPECT_EQ(greenRed.pointColor(255, 3), kYellow);
    EXPECT_EQ(greenRed.pointColor(510, 3), kRed);
    EXPECT_EQ(greenRed.pointColor(100, 3), 0x00FF64u);  // red 100, green 255
    EXPECT_EQ(greenRed.pointColor(400, 3), 0x006EFFu);  // red 255, green 110

    const PictureSurface& redGreen = bar->redGreenScale();
    EXPECT_EQ(redGreen.pointColor(0, 3), kRed);
    EXPECT_EQ(redGreen.pointColor(255, 3), kYellow);
    EXPECT_EQ(redGreen.pointColor(510, 3), kGreen);
    EXPECT_EQ(redGreen.pointColor(511, 3), -1);
}

TEST_F(BarTest, ScaleStretchedOverA291PixelBar) {
    const PictureSurface& surface = bar->barSurface();
    for (int y : {0, 6, 12}) {
        EXPECT_EQ(surface.pointColor(0, y), 0x00FF00u);
        EXPECT_EQ(surface.pointColor(145, y), 0x00FFFCu);  // (252, 255, 0)
        EXPECT_EQ(surface.pointColor(290, y), 0x0006FFu);  // (255, 6, 0)
    }
    // The stretched scale is the surface's picture, so it is what SkinPicture returns.
    const QImage picture = bar->skinPicture().toImage();
    ASSERT_EQ(picture.size(), QSize(291, 13));
    EXPECT_EQ(pixel(picture, 290, 4), 0x0006FFu);

    // And it is what the control paints, inside its border.
    bar->setValue(100);
    bar->setPercentage(false);
    const QImage image = bar->renderToImage();
    EXPECT_EQ(pixel(image, 2 + 0, 2 + 6), 0x00FF00u);
    EXPECT_EQ(pixel(image, 2 + 145, 2 + 6), 0x00FFFCu);
    EXPECT_EQ(pixel(image, 2 + 290, 2 + 6), 0x0006FFu);
}

TEST_F(BarTest, RedToGreenStyle) {
    bar->setStyling(KXprogressBar::RedGreen);
    EXPECT_EQ(bar->barSurface().pointColor(0, 5), kRed);
    EXPECT_EQ(bar->barSurface().pointColor(145, 5), 0x00FCFFu);  // (255, 252, 0)
}

TEST_F(BarTest, BlindPositionsRoundHalfToEven) {
    bar->setValue(50);
    EXPECT_EQ(bar->blindRect().left(), 146) << "145.5 rounds to even";
    EXPECT_EQ(firstBlindColumn(), 146);
    bar->setValue(1);
    EXPECT_EQ(bar->blindRect().left(), 3) << "2.91";
    EXPECT_EQ(bar->percentText(), QStringLiteral("1%"));
    EXPECT_EQ(firstBlindColumn(), 3);
    // The blind always covers the full height of the bar.
    EXPECT_EQ(bar->blindRect().top(), -1);
    EXPECT_EQ(bar->blindRect().bottom(), 12);
    // On a 293-pixel bar half is 146.5, which goes to the even 146, not 147.
    bar->setAppearance(KXprogressBar::Flat);
    bar->setValue(50);
    EXPECT_EQ(bar->blindRect().left(), 146);
}

TEST_F(BarTest, ValuesOutsideTheRangeAreClamped) {
    bar->setValue(150);
    EXPECT_EQ(bar->percentText(), QStringLiteral("100%"));
    EXPECT_EQ(firstBlindColumn(), 291) << "no blind";
    bar->setValue(-5);
    EXPECT_EQ(bar->percentText(), QStringLiteral("0%"));
    EXPECT_EQ(firstBlindColumn(), 0) << "blind over the whole bar";
}

TEST_F(BarTest, PercentagesThatCannotBeComputedShowZero) {
    bar->setMAX(0);
    bar->setValue(70);
    EXPECT_EQ(bar->percentText(), QStringLiteral("0%"));
    EXPECT_EQ(bar->blindRect().left(), 0);

    bar->setMAX(100);
    bar->setValue(21474836);  // x 100 still fits 32 bits
    EXPECT_EQ(bar->percentText(), QStringLiteral("100%"));
    bar->setValue(21474837);  // x 100 overflows 32 bits
    EXPECT_EQ(bar->percentText(), QStringLiteral("0%"));

    bar->setMAX(-100);
    bar->setValue(50);
    EXPECT_EQ(bar->percentText(), QStringLiteral("0%"));
}

TEST_F(BarTest, PercentTextRoundsHalvesAwayFromZero) {
    bar->setMAX(200);
    bar->setValue(1);  // 0.5 %
    EXPECT_EQ(bar->percentText(), QStringLiteral("1%"));
    EXPECT_EQ(bar->blindRect().left(), 1);  // 1.455 -> 1
    bar->setMAX(3);
    bar->setValue(1);  // 33.33 %
    EXPECT_EQ(bar->percentText(), QStringLiteral("33%"));
}

TEST_F(BarTest, MaxTakesEffectAtTheNextValueAndAResizeDividesBy100) {
    bar->setMAX(200);
    EXPECT_EQ(bar->percentText(), QStringLiteral("50%")) << "MAX alone changes nothing shown";
    bar->setValue(50);
    EXPECT_EQ(bar->percentText(), QStringLiteral("25%"));
    EXPECT_EQ(bar->percentDivisor(), 200);
    bar->resize(400, 17);
    EXPECT_EQ(bar->percentText(), QStringLiteral("50%"));
    EXPECT_EQ(bar->percentDivisor(), 100);
    EXPECT_EQ(bar->blindRect().left(), 198);  // 50 % of 396
}

TEST_F(BarTest, SettingValueNeverRepaintsTheSurface) {
    const qint64 before = bar->barSurface().image().cacheKey();
    for (int v = 0; v <= 100; v += 7) {
        bar->setValue(v);
    }
    EXPECT_EQ(bar->barSurface().image().cacheKey(), before);
}

TEST_F(BarTest, UnknownStylesLeaveTheBarUntouched) {
    const QImage before = bar->barSurface().image();
    bar->setStyling(KXprogressBar::Style(3));
    EXPECT_EQ(bar->styling(), 3);
    EXPECT_EQ(bar->barSurface().image(), before);

    bar->setUserStyle(KXprogressBar::UserGradient(7));
    bar->setStyling(KXprogressBar::User);
    EXPECT_EQ(bar->barSurface().image(), before);
    bar->setStyling(KXprogressBar::Style(-1));
    EXPECT_EQ(bar->barSurface().image(), before);
}

TEST_F(BarTest, NormalStyleShowsForeColorOnceThePictureIsRemoved) {
    bar->setForeColor(kBlue);
    bar->setStyling(KXprogressBar::Normal);
    // The gradient picture of the earlier style still shows...
    EXPECT_EQ(bar->barSurface().pointColor(0, 0), kGreen);
    // ... until the style is read while Normal.
    EXPECT_EQ(bar->styling(), KXprogressBar::Normal);
    EXPECT_FALSE(bar->barSurface().hasPicture());
    EXPECT_EQ(bar->barSurface().pointColor(0, 0), kBlue);
    EXPECT_EQ(bar->barSurface().pointColor(290, 12), kBlue);
}

TEST_F(BarTest, ReadingTheStyleInOtherStylesKeepsThePicture) {
    EXPECT_EQ(bar->styling(), KXprogressBar::GreenRed);
    EXPECT_TRUE(bar->barSurface().hasPicture());
    EXPECT_EQ(bar->barSurface().pointColor(0, 0), kGreen);
}

TEST_F(BarTest, PictureStyleWithoutPictureShowsTheBackground) {
    bar->setForeColor(kRed);
    bar->setStyling(KXprogressBar::Normal);
    bar->styling();
    bar->setStyling(KXprogressBar::Picture);
    EXPECT_EQ(bar->barSurface().pointColor(0, 0), kRed);
    EXPECT_EQ(bar->barSurface().pointColor(150, 6), kRed);
}

TEST_F(BarTest, PictureStyleShowsThePictureUnscaledFromTheTopLeft) {
    bar->setForeColor(kWhite);
    bar->setStyling(KXprogressBar::Picture);
    QImage picture(10, 5, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    bar->setSkinPicture(QPixmap::fromImage(picture));
    EXPECT_EQ(bar->barSurface().pointColor(9, 4), kBlue);
    EXPECT_EQ(bar->barSurface().pointColor(10, 4), kWhite);
    EXPECT_EQ(bar->barSurface().pointColor(9, 5), kWhite);
}

TEST_F(BarTest, UserHorizontalGradientRunsFromLeftToRightColour) {
    bar->setUserLeftColor(kRed);
    bar->setUserRightColor(kBlue);
    bar->setUserStyle(KXprogressBar::Horizontal);
    bar->setStyling(KXprogressBar::User);
    const PictureSurface& s = bar->barSurface();
    EXPECT_EQ(s.pointColor(0, 6), kRed);
    EXPECT_EQ(s.pointColor(290, 6), kBlue);
    const auto middle = quint32(s.pointColor(145, 6));
    EXPECT_NEAR(int(middle & 0xFF), 128, 2);
    EXPECT_NEAR(int(middle >> 16), 128, 2);
}

TEST_F(BarTest, UserVerticalGradientIsEdgeColourAtTopAndMiddleColourHalfWay) {
    bar->setUserLeftColor(kWhite);
    bar->setUserRightColor(0);
    bar->setUserStyle(KXprogressBar::Vertical);
    bar->setStyling(KXprogressBar::User);
    const PictureSurface& s = bar->barSurface();
    EXPECT_EQ(s.pointColor(10, 0), kWhite);
    EXPECT_LT(s.pointColor(10, 6) & 0xFF, 10) << "close to the middle colour";
    EXPECT_EQ(s.pointColor(10, 6), s.pointColor(200, 6)) << "rows are uniform";
    EXPECT_GT(s.pointColor(10, 12) & 0xFF, 200) << "back toward the edge colour";
}

TEST_F(BarTest, BorderAndAppearanceSetTheInnerArea) {
    bar->setAppearance(KXprogressBar::Flat);
    EXPECT_EQ(bar->barSurface().imageSize(), QSize(293, 15));
    bar->setBorderStyle(KXprogressBar::None);
    EXPECT_EQ(bar->barSurface().imageSize(), QSize(295, 17));
    EXPECT_EQ(bar->barRect(), QRect(0, 0, 295, 17));
    // Values the border element does not know are refused.
    bar->setBorderStyle(KXprogressBar::Bord(5));
    EXPECT_EQ(bar->borderStyle(), KXprogressBar::None);
}

TEST_F(BarTest, SystemColoursResolveAgainstThePalette) {
    bar->setForeColor(prismbar::SystemColors::kButtonFace);
    bar->setStyling(KXprogressBar::Normal);
    bar->styling();
    const QColor face = bar->palette().color(QPalette::Active, QPalette::Button);
    EXPECT_EQ(bar->barSurface().pointColor(5, 5), PictureSurface::fromRgb(face.rgb()));

    bar->setBackColor(prismbar::SystemColors::kSystemFlag | 5);  // window background
    bar->setValue(0);
    const QImage image = bar->renderToImage();
    const QColor window = bar->palette().color(QPalette::Active, QPalette::Base);
    EXPECT_EQ(image.pixel(3, 3), window.rgb());
}

TEST_F(BarTest, PercentTextIsCentredAndPaintedInPercentColor) {
    bar->setValue(100);
    bar->setPercentColor(kBlue);
    for (int v : {100, 5, 100}) {  // the second "100%" comes from the measured-text cache
        bar->setValue(v);
        const QRectF text = bar->percentTextRect();
        EXPECT_GT(text.width(), 8);
        EXPECT_GT(text.height(), 5);
        EXPECT_NEAR(text.center().x(), 291 / 2.0, 0.5);
        EXPECT_NEAR(text.center().y(), 13 / 2.0, 0.5);
    }
    // The painted text lies on both sides of the centre.
    const QImage image = bar->renderToImage();
    int left = 0, right = 0;
    const QRect inside = bar->barRect();
    for (int x = inside.left(); x <= inside.right(); ++x) {
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            // The scale has no blue at all: any blue is (anti-aliased) text.
            if (((pixel(image, x, y) >> 16) & 0xFF) > 64) {
                (x < 2 + 145 ? left : right) += 1;
            }
        }
    }
    EXPECT_GT(left, 3) << "the text is drawn left of the centre too";
    EXPECT_GT(right, 3);
    // A larger font gives a wider text, still centred.
    const double narrow = bar->percentTextRect().width();
    QFont big = bar->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    bar->setFont(big);
    EXPECT_GT(bar->percentTextRect().width(), narrow * 1.5);
    EXPECT_NEAR(bar->percentTextRect().center().x(), 291 / 2.0, 0.5);
    bar->setPercentage(false);
    const QImage hidden = bar->renderToImage();
    for (int x = 0; x < hidden.width(); ++x) {
        for (int y = 0; y < hidden.height(); ++y) {
            ASSERT_NE(pixel(hidden, x, y), kBlue);
        }
    }
}

TEST_F(BarTest, EverySetterNotifiesTheHost) {
    QSignalSpy changed(bar.get(), &KXprogressBar::propertyChanged);
    QSignalSpy values(bar.get(), &KXprogressBar::valueChanged);
    bar->setValue(10);
    bar->setValue(10);  // the same value still tells the host
    bar->setMAX(50);
    bar->setStyling(KXprogressBar::RedGreen);
    bar->setBackColor(1);
    bar->setEnabled(false);
    QFont f = bar->font();
    f.setPointSize(f.pointSize() + 3);
    bar->setFont(f);
    QStringList names;
    for (const auto& args : changed) {
        names << args.at(0).toString();
    }
    EXPECT_EQ(names, (QStringList{"Value", "Value", "MAX", "Styling", "BackColor", "Enabled", "Font"}));
    EXPECT_EQ(values.count(), 2);
    EXPECT_FALSE(bar->isControlEnabled());
}

TEST_F(BarTest, LateBindingByDispatchIdentifier) {
    EXPECT_EQ(KXprogressBar::dispatchIdOf(QStringLiteral("value")), 0x6803000A);
    EXPECT_EQ(KXprogressBar::dispatchIdOf(QStringLiteral("Font")), -512);
    EXPECT_EQ(KXprogressBar::dispatchIdOf(QStringLiteral("ShowAbout")), -552);
    EXPECT_EQ(KXprogressBar::dispatchIdOf(QStringLiteral("Nope")), KXprogressBar::DispUnknown);
    EXPECT_EQ(KXprogressBar::nameOfDispatchId(0x6803000D), QStringLiteral("Styling"));

    using R = KXprogressBar::DispatchResult;
    EXPECT_EQ(bar->putProperty(0x6803000A, QStringLiteral("75")), R::Ok);
    EXPECT_EQ(bar->value(), 75);
    EXPECT_EQ(bar->percentText(), QStringLiteral("75%"));
    EXPECT_EQ(bar->putProperty(0x6803000A, QStringLiteral("abc")), R::TypeMismatch);
    EXPECT_EQ(bar->value(), 75);
    EXPECT_EQ(bar->putProperty(0x6803000A, 12.5), R::Ok);
    EXPECT_EQ(bar->value(), 12) << "fractions round half to even";
    EXPECT_EQ(bar->putProperty(0x68030003, 5), R::InvalidValue);
    EXPECT_EQ(bar->putProperty(0x68030005, QStringLiteral("&H8000000F")), R::Ok);
    EXPECT_EQ(bar->foreColor(), 0x8000000Fu);
    EXPECT_EQ(bar->putProperty(0x68030005, -2147483633), R::Ok);
    EXPECT_EQ(bar->foreColor(), 0x8000000Fu);
    EXPECT_EQ(bar->putProperty(0x12345678, 1), R::MemberNotFound);
    EXPECT_EQ(bar->invoke(0x6803000A), R::MemberNotFound);

    QVariant v;
    EXPECT_EQ(bar->getProperty(0x6803000B, v), R::Ok);
    EXPECT_EQ(v.toInt(), 100);
    EXPECT_EQ(bar->getProperty(-512, v), R::Ok);
    EXPECT_EQ(v.value<QFont>(), bar->font());
    EXPECT_EQ(bar->getProperty(0x68030002, v), R::Ok);
    EXPECT_EQ(v.toBool(), true);
    EXPECT_EQ(bar->getProperty(0x6803000C, v), R::Ok);
    EXPECT_EQ(v.toInt(), 0);

    // Qt's own property system sees the same properties under the same names.
    EXPECT_TRUE(bar->setProperty("Value", 33));
    EXPECT_EQ(bar->percentText(), QStringLiteral("33%"));
    EXPECT_EQ(bar->property("MAX").toInt(), 100);
}

// Qt's property system takes its names from Q_PROPERTY, late binding and persistence from the
// property table: a property added to one and not the other shows here.
TEST_F(BarTest, EveryQtPropertyIsDispatchedAndPersistedUnderItsName) {
    const QMetaObject& meta = KXprogressBar::staticMetaObject;
    const QStringList& persisted = KXprogressBar::persistenceNames();
    EXPECT_EQ(persisted.size(), meta.propertyCount() - meta.propertyOffset());
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const QString name = QString::fromLatin1(property.name());
        EXPECT_TRUE(persisted.contains(name)) << name.toStdString();
        const qint32 id = KXprogressBar::dispatchIdOf(name);
        ASSERT_NE(id, KXprogressBar::DispUnknown) << name.toStdString();
        EXPECT_EQ(KXprogressBar::nameOfDispatchId(id), name);
        QVariant late;
        ASSERT_EQ(bar->getProperty(id, late), KXprogressBar::DispatchResult::Ok);
        QVariant viaQt = property.read(bar.get());
        if (property.isEnumType()) viaQt = viaQt.toInt();
        EXPECT_TRUE(prismbar::PropertyValue::sameValue(late, viaQt)) << name.toStdString();
    }
}

TEST(KXprogressBarIdentity, PublishedIdentifiersAndHelpTexts) {
    const QMetaObject& meta = KXprogressBar::staticMetaObject;
    const int i = meta.indexOfClassInfo("ClassId");
    ASSERT_GE(i, 0);
    EXPECT_STREQ(meta.classInfo(i).value(), "{86D2DA1A-9E3C-11D6-94FA-0040F41E0EC7}");
    EXPECT_STREQ(KXprogressBar::kInterfaceId, "{B7ABDC82-A479-11D6-94FA-0040F41E0EC7}");
    EXPECT_EQ(KXprogressBar::helpText(QStringLiteral("MAX")),
              QStringLiteral("Set the maximal value of the progressbar"));
    EXPECT_TRUE(KXprogressBar::helpText(QStringLiteral("Styling")).isEmpty());
    for (const QString& name : KXprogressBar::persistenceNames()) {
        EXPECT_GE(meta.indexOfProperty(name.toLatin1().constData()), 0) << name.toStdString();
    }
}

TEST(StretchScaleToBar, EqualWidthsCopyRowThreeColumnByColumn) {
    PictureSurface source(QSize(10, 6));
    for (int x = 0; x < 10; ++x) {
        source.fillRect(QRect(x, 0, 1, 6), 0x000001u * quint32(x));
        source.fillRect(QRect(x, 3, 1, 1), 0x010000u * quint32(10 + x));  // only row 3 is sampled
    }
    PictureSurface target(QSize(10, 4));
    KXprogressBar::StretchScaleToBar(source, target, 1);
    for (int x = 0; x < 10; ++x) {
        for (int y = 0; y < 4; ++y) {
            ASSERT_EQ(target.pointColor(x, y), 0x010000 * (10 + x)) << x << "," << y;
        }
    }
    EXPECT_TRUE(target.hasPicture()) << "the result is kept as the surface's picture";
    EXPECT_EQ(target.lineColor(), 0u);
}

TEST(StretchScaleToBar, ByRowsSamplesColumnThreeAndKeepsColourPastTheSource) {
    // The source's drawing scale claims 8 rows but its image has only 4: rows sampled past the
    // image keep the last colour read.
    PictureSurface source(QSize(5, 4), QSizeF(5, 8));
    for (int y = 0; y < 4; ++y) {
        source.fillRect(QRect(0, y, 5, 1), 0x000000u);
        source.fillRect(QRect(3, y, 1, 1), 0x000010u * quint32(y + 1));
    }
    PictureSurface target(QSize(6, 8));
    KXprogressBar::StretchScaleToBar(source, target, 0);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(target.pointColor(5, y), 0x10 * (y + 1));
    }
    for (int y = 4; y < 8; ++y) {
        EXPECT_EQ(target.pointColor(0, y), 0x40) << y;
    }
}

TEST(KXprogressBarSizes, TinyAndEmptyControlsPaintEveryStyle) {
    KXprogressBar bar;
    bar.show();
    for (const QSize size : {QSize(0, 0), QSize(3, 3), QSize(4, 4), QSize(5, 1), QSize(1, 40)}) {
        bar.resize(size);
        for (int style : {0, 1, 2, 3, 4, 5}) {
            for (int user : {0, 1}) {
                bar.setUserStyle(KXprogressBar::UserGradient(user));
                bar.setStyling(KXprogressBar::Style(style));
                bar.setValue(style * 20);
                const QImage image = bar.renderToImage();
                EXPECT_EQ(image.size(), bar.size());
            }
        }
        const QSize inner = (size - QSize(4, 4)).expandedTo(QSize(0, 0));
        if (inner.isEmpty()) {
            EXPECT_TRUE(bar.barSurface().image().isNull());
        } else {
            EXPECT_EQ(bar.barSurface().imageSize(), inner);
        }
    }
}
