#include <QPluginLoader>
#include <QWidget>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <gtest/gtest.h>

#include <memory>

#include "prismbar/KXprogressBar.h"

TEST(DesignerPlugin, OffersTheControlUnderItsClassName) {
    QPluginLoader loader(QStringLiteral(PRISMBAR_DESIGNER_PLUGIN));
    QObject* instance = loader.instance();
    ASSERT_TRUE(instance) << loader.errorString().toStdString();
    auto* widget = qobject_cast<QDesignerCustomWidgetInterface*>(instance);
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget->name(), QStringLiteral("KXprogressBar"));
    EXPECT_EQ(widget->includeFile(), QStringLiteral("prismbar/KXprogressBar.h"));
    EXPECT_FALSE(widget->isContainer());
    EXPECT_TRUE(widget->domXml().contains(QStringLiteral("class=\"KXprogressBar\"")));
    EXPECT_FALSE(widget->icon().isNull());

    QWidget parent;
    QWidget* created = widget->createWidget(&parent);
    auto* bar = qobject_cast<KXprogressBar*>(created);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->styling(), KXprogressBar::GreenRed) << "placed new: InitProperties";
    EXPECT_EQ(bar->value(), 50);
    widget->initialize(nullptr);
    EXPECT_TRUE(widget->isInitialized());
}
