#include "prismbar/TextPropertyBag.h"

#include <QFont>
#include <QImage>

#include <gtest/gtest.h>

using prismbar::TextPropertyBag;

TEST(TextPropertyBag, ValuesOfEveryKindSurviveTheTextForm) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    image.setPixel(2, 1, qRgb(200, 100, 0));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setItalic(true);

    TextPropertyBag bag;
    bag.writeProperty(QStringLiteral("Flag"), true);
    bag.writeProperty(QStringLiteral("Count"), -12);
    bag.writeProperty(QStringLiteral("Colour"), 0x8000000Fu);
    bag.writeProperty(QStringLiteral("Ratio"), 0.25);
    bag.writeProperty(QStringLiteral("Whole"), 8.0);
    bag.writeProperty(QStringLiteral("Text"), QStringLiteral("say \"hi\"\\\nnext = line"));
    bag.writeProperty(QStringLiteral("Picture"), image);
    bag.writeProperty(QStringLiteral("Font"), font);

    const QString text = bag.toText();
    EXPECT_TRUE(text.contains(QStringLiteral("Colour = &H8000000F\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Flag = True\n")));

    QString error;
    const auto back = TextPropertyBag::fromText(text, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->names(), bag.names());
    EXPECT_EQ(back->readProperty(QStringLiteral("Flag")), QVariant(true));
    EXPECT_EQ(back->readProperty(QStringLiteral("Count")).toInt(), -12);
    EXPECT_EQ(back->readProperty(QStringLiteral("Colour")).toUInt(), 0x8000000Fu);
    EXPECT_EQ(back->readProperty(QStringLiteral("Ratio")).toDouble(), 0.25);
    EXPECT_EQ(back->readProperty(QStringLiteral("Whole")).typeId(), QMetaType::Double);
    EXPECT_EQ(back->readProperty(QStringLiteral("Text")).toString(),
              QStringLiteral("say \"hi\"\\\nnext = line"));
    EXPECT_EQ(
        back->readProperty(QStringLiteral("Picture")).value<QImage>().convertToFormat(QImage::Format_RGB32),
        image);
    const QFont f = back->readProperty(QStringLiteral("Font")).value<QFont>();
    EXPECT_EQ(f.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(f.pointSizeF(), 8.25);
    EXPECT_TRUE(f.italic());
    EXPECT_FALSE(f.bold());
}

TEST(TextPropertyBag, NamesAreComparedWithoutRegardToCase) {
    const auto bag = TextPropertyBag::fromText(QStringLiteral("# stored by a host\n\nmax = 100\nVALUE=7\n"));
    ASSERT_TRUE(bag);
    EXPECT_EQ(bag->readProperty(QStringLiteral("MAX")).toInt(), 100);
    EXPECT_EQ(bag->readProperty(QStringLiteral("value")).toInt(), 7);
    EXPECT_EQ(bag->readProperty(QStringLiteral("Styling"), 3).toInt(), 3) << "absent: the default";
    EXPECT_FALSE(bag->readProperty(QStringLiteral("Styling")).isValid());
}

TEST(TextPropertyBag, ValuesEqualToTheirDefaultAreLeftOut) {
    TextPropertyBag bag;
    bag.writeProperty(QStringLiteral("BackColor"), 0x123456u, 0xFFFFFFu);
    EXPECT_TRUE(bag.contains(QStringLiteral("backcolor")));
    bag.writeProperty(QStringLiteral("BackColor"), 0xFFFFFFu, 0xFFFFFFu);
    EXPECT_FALSE(bag.contains(QStringLiteral("BackColor"))) << "an earlier value is dropped too";
    bag.writeProperty(QStringLiteral("Colour"), -2147483633, 0x8000000Fu);
    EXPECT_FALSE(bag.contains(QStringLiteral("Colour"))) << "same 32-bit colour";
    bag.writeProperty(QStringLiteral("Picture"), QImage(), QImage());
    EXPECT_FALSE(bag.contains(QStringLiteral("Picture")));
    bag.writeProperty(QStringLiteral("Value"), 0);
    EXPECT_TRUE(bag.contains(QStringLiteral("Value"))) << "no default: always stored";
    bag.writeProperty(QStringLiteral("Enabled"), true, 1);
    EXPECT_TRUE(bag.contains(QStringLiteral("Enabled"))) << "a Boolean is not the number 1";
}

TEST(TextPropertyBag, MalformedTextIsRejectedWithTheLine) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"MAX = 100\nValue 50\n", "line 2"},   {"MAX = 100\nmax = 3\n", "given twice"},
        {"1abc = 3\n", "not a property name"}, {"Value =\n", "missing"},
        {"Text = \"open\n", "quoted"},         {"Colour = &H123456789\n", "hexadecimal"},
        {"Picture = image:@@@\n", "PNG"},      {"Font = font:\"Sans\",-3,400,0,0,0\n", "font"},
        {"Value = fifty\n", "not a value"},    {"Value = 99999999999999999999\n", "too large"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(TextPropertyBag::fromText(QString::fromUtf8(c.text), &error)) << c.text;
        EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << c.text << " -> " << error.toStdString();
    }
}
