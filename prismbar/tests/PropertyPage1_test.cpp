#include "prismbar/PropertyPage1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdlib>

#include "prismbar/KXprogressBar.h"

namespace {

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        txtmax = page.findChild<QLineEdit*>(QStringLiteral("txtmax"));
        txtValue = page.findChild<QLineEdit*>(QStringLiteral("txtValue"));
        combo1 = page.findChild<QComboBox*>(QStringLiteral("Combo1"));
        combo2 = page.findChild<QComboBox*>(QStringLiteral("Combo2"));
        chkEnabled = page.findChild<QCheckBox*>(QStringLiteral("chkEnabled"));
        chkPercentage = page.findChild<QCheckBox*>(QStringLiteral("chkPercentage"));
        ASSERT_TRUE(txtmax && txtValue && combo1 && combo2 && chkEnabled && chkPercentage);
        bar.setMAX(60);
        bar.setValue(30);
        bar.setStyling(KXprogressBar::RedGreen);
        bar.setUserStyle(KXprogressBar::Vertical);
        bar.setPercentage(false);
        page.setSelectedControls({&bar});
    }

    PropertyPage1 page;
    KXprogressBar bar;
    QLineEdit* txtmax = nullptr;
    QLineEdit* txtValue = nullptr;
    QComboBox* combo1 = nullptr;
    QComboBox* combo2 = nullptr;
    QCheckBox* chkEnabled = nullptr;
    QCheckBox* chkPercentage = nullptr;
};

}  // namespace

TEST_F(PageTest, ElementsAndItemsAsDesigned) {
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Main Settings"));
    EXPECT_EQ(page.size(), QSize(395, 233));
    EXPECT_EQ(txtValue->geometry(), QRect(8, 68, 180, 22));
    ASSERT_EQ(combo1->count(), 5);
    EXPECT_EQ(combo1->itemText(3), QStringLiteral("4 - User"));
    ASSERT_EQ(combo2->count(), 2);
    EXPECT_EQ(combo2->itemText(1), QStringLiteral("1 - Vertical"));
    EXPECT_EQ(chkPercentage->text(), QStringLiteral("Percentage"));
}

TEST_F(PageTest, CaptionsGrowAboutTheirPlaceToShowTheirWholeText) {
    struct Place {
        const char* name;
        QRect design;
    };
    const Place places[] = {{"lblmax", {8, 8, 23, 13}},
                            {"lblValue", {6, 51, 30, 13}},
                            {"Label1", {8, 96, 34, 13}},
                            {"Label2", {8, 152, 48, 13}}};
    // A host's larger font (Qt Designer's dialog, a desktop setting) once cut them to "Valu".
    for (const int pointSize : {9, 20}) {
        QFont font = page.font();
        font.setPointSize(pointSize);
        page.setFont(font);
        for (const Place& place : places) {
            const auto* label = page.findChild<QLabel*>(QLatin1String(place.name));
            ASSERT_TRUE(label) << place.name;
            const QRect shown = label->geometry();
            EXPECT_GE(shown.width(), label->fontMetrics().horizontalAdvance(label->text())) << place.name;
            EXPECT_GE(shown.height(), label->fontMetrics().height()) << place.name;
            EXPECT_TRUE(shown.contains(place.design)) << place.name << " at " << pointSize << " pt";
            EXPECT_EQ(shown.left(), place.design.left()) << place.name;
            EXPECT_LE(std::abs(shown.center().y() - place.design.center().y()), 1) << place.name;
        }
    }
}

TEST_F(PageTest, LoadsTheFirstSelectedControlWithoutMarkingAChange) {
    EXPECT_EQ(txtValue->text(), QStringLiteral("30"));
    EXPECT_EQ(txtmax->text(), QStringLiteral("60"));
    EXPECT_EQ(combo1->currentText(), QStringLiteral("2 - RedGreen"));
    EXPECT_EQ(combo2->currentText(), QStringLiteral("1 - Vertical"));
    EXPECT_FALSE(chkPercentage->isChecked());
    EXPECT_TRUE(chkEnabled->isChecked());
    EXPECT_FALSE(page.isChanged());
}

TEST_F(PageTest, EditsMarkThePageChanged) {
    QSignalSpy spy(&page, &PropertyPage1::changedChanged);
    txtValue->setText(QStringLiteral("31"));
    EXPECT_TRUE(page.isChanged());
    page.ApplyChanges();
    EXPECT_FALSE(page.isChanged());
    chkEnabled->click();
    EXPECT_TRUE(page.isChanged());
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(PageTest, ApplyWritesEveryStepAndValueBeforeMax) {
    chkPercentage->setChecked(true);
    chkEnabled->setChecked(false);
    txtValue->setText(QStringLiteral("50"));
    txtmax->setText(QStringLiteral("200"));
    combo1->setCurrentIndex(3);
    combo2->setCurrentIndex(0);
    page.ApplyChanges();
    EXPECT_TRUE(bar.percentage());
    EXPECT_FALSE(bar.isControlEnabled());
    EXPECT_EQ(bar.value(), 50);
    EXPECT_EQ(bar.maximum(), 200);
    EXPECT_EQ(bar.percentText(), QStringLiteral("83%")) << "Value is applied with the old MAX of 60";
    EXPECT_EQ(bar.styling(), KXprogressBar::User);
    EXPECT_EQ(bar.userStyle(), KXprogressBar::Horizontal);
}

TEST_F(PageTest, TextThatIsNotANumberChangesNothingButItsProperty) {
    txtValue->setText(QStringLiteral("abc"));
    txtmax->setText(QStringLiteral("80"));
    chkPercentage->setChecked(true);
    page.ApplyChanges();
    EXPECT_EQ(bar.value(), 30);
    EXPECT_EQ(bar.maximum(), 80);
    EXPECT_TRUE(bar.percentage());
}

TEST_F(PageTest, OnlyExactItemTextsSetTheStyle) {
    combo1->setEditText(QStringLiteral("3"));
    page.ApplyChanges();
    EXPECT_EQ(bar.styling(), KXprogressBar::RedGreen);
    combo1->setEditText(QStringLiteral("4"));
    combo2->setEditText(QStringLiteral("Vertical"));
    page.ApplyChanges();
    EXPECT_EQ(bar.styling(), KXprogressBar::RedGreen);
    EXPECT_EQ(bar.userStyle(), KXprogressBar::Vertical);
    combo1->setEditText(QStringLiteral("4 - User"));
    page.ApplyChanges();
    EXPECT_EQ(bar.styling(), KXprogressBar::User);
}

TEST_F(PageTest, StyleWithoutAnItemLeavesTheBoxAsItWas) {
    KXprogressBar odd;
    odd.setStyling(KXprogressBar::Style(3));
    odd.setUserStyle(KXprogressBar::UserGradient(9));
    page.setSelectedControls({&odd});
    EXPECT_EQ(combo1->currentText(), QStringLiteral("2 - RedGreen"));
    EXPECT_EQ(combo2->currentText(), QStringLiteral("1 - Vertical"));
}

TEST_F(PageTest, OnlyTheFirstOfSeveralSelectedControlsIsApplied) {
    KXprogressBar second;
    second.setValue(7);
    page.setSelectedControls({&bar, &second});
    txtValue->setText(QStringLiteral("44"));
    page.ApplyChanges();
    EXPECT_EQ(bar.value(), 44);
    EXPECT_EQ(second.value(), 7);
}

TEST_F(PageTest, HostWriterReceivesEachStepAndARefusalDoesNotStopTheRest) {
    QStringList written;
    page.setPropertyWriter([&written](QObject*, const QString& name, const QVariant&) {
        written << name;
        return name != QLatin1String("Value");
    });
    page.ApplyChanges();
    EXPECT_EQ(written, (QStringList{"Percentage", "Enabled", "Value", "MAX", "Styling", "UserStyle"}));
}

TEST_F(PageTest, TabOrderFollowsTheDesign) {
    const QList<QWidget*> design{txtmax, txtValue, combo1, combo2, chkEnabled, chkPercentage};
    QList<QWidget*> order;
    QWidget* w = txtmax;
    for (int steps = 0; steps < 50 && order.size() < design.size(); ++steps, w = w->nextInFocusChain()) {
        // An editable combo box takes focus through its line edit.
        QWidget* element =
            design.contains(w) ? w : (design.contains(w->parentWidget()) ? w->parentWidget() : nullptr);
        if (element && (order.isEmpty() || order.last() != element) && !order.contains(element)) {
            order << element;
        }
    }
    EXPECT_EQ(order, design);
}
