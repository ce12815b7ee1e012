// A form saved by Qt Designer and compiled by uic drives the control through its own setters
// (setMAX, setStyling, setForeColor, ...): the property names must give the setter names uic writes.

#include <QWidget>

#include <gtest/gtest.h>

#include "prismbar/KXprogressBar.h"
#include "ui_BarForm.h"

TEST(DesignerForm, UicCodeSetsTheControlsProperties) {
    QWidget form;
    Ui::BarForm ui;
    ui.setupUi(&form);
    KXprogressBar* bar = ui.KXprogressBar1;
    EXPECT_EQ(bar->maximum(), 200);
    EXPECT_EQ(bar->value(), 50);
    EXPECT_EQ(bar->styling(), KXprogressBar::RedGreen);
    EXPECT_EQ(bar->appearance(), KXprogressBar::Flat);
    EXPECT_EQ(bar->foreColor(), 0x8000000Fu);
    EXPECT_FALSE(bar->percentage());
    EXPECT_FALSE(bar->isControlEnabled());
    EXPECT_EQ(bar->font().family(), QStringLiteral("Serif"));
    form.show();
    // Shown, the control has been resized, and a resize shows Value itself as the percentage.
    EXPECT_EQ(bar->percentText(), QStringLiteral("50%"));
    EXPECT_EQ(bar->barSurface().imageSize(), QSize(293, 15));
    EXPECT_EQ(bar->barSurface().pointColor(0, 3), 0x0000FF) << "red-to-green scale painted";
}
