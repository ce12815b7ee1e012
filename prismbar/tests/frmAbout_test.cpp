#include "prismbar/frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <marlin/product.h>

#include "prismbar/KXprogressBar.h"

TEST(frmAbout, ShowsProductVersionNoticeAndCloses) {
    frmAbout box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Info"));
    EXPECT_EQ(box.size(), QSize(329, 111));
    auto* label1 = box.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* version = box.findChild<QLabel*>(QStringLiteral("lblVersion"));
    auto* copy = box.findChild<QLabel*>(QStringLiteral("lblCopy"));
    auto* web = box.findChild<QLabel*>(QStringLiteral("Label2"));
    auto* logo = box.findChild<QLabel*>(QStringLiteral("Image1"));
    auto* ok = box.findChild<QPushButton*>(QStringLiteral("Command1"));
    ASSERT_TRUE(label1 && version && copy && web && logo && ok);
    EXPECT_EQ(label1->text(), QStringLiteral("Prismbar"));
    EXPECT_TRUE(label1->font().bold());
    EXPECT_EQ(version->text(), QStringLiteral("Version: 1.0.0"));
    EXPECT_TRUE(copy->text().contains(QStringLiteral(MARLIN_MAKER_NAME)));
    EXPECT_TRUE(web->text().contains(QStringLiteral(MARLIN_MAKER_HOME_URL)));
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(ok->geometry(), QRect(248, 80, 65, 25));
    ok->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(frmAbout, ShowAboutByDispatchIdentifierOpensTheBoxModally) {
    KXprogressBar bar;
    QString seen;
    // Runs inside the box's own event loop, once it is showing.
    QTimer::singleShot(0, [&seen] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seen = modal->windowTitle();
            if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("Command1"))) {
                ok->click();
            }
        }
    });
    EXPECT_EQ(bar.invoke(KXprogressBar::DispShowAbout), KXprogressBar::DispatchResult::Ok);
    EXPECT_EQ(seen, QStringLiteral("Info"));
}
