// The recorder window opens marlin-view on its file: by the shortcut and from the context menus of
// the status text and the file name box, never from the picture buttons.
#include "MainFormFixture.h"
#include "ViewLauncher.h"

#include <QAction>
#include <QMenu>

namespace marlin::test {
namespace {

class ViewLauncherTest : public MainFormFixture {};

TEST_F(ViewLauncherTest, ShortcutAndMenusStartTheViewOnTheFileName) {
    createForm();
    QAction* action = nullptr;
    for (QAction* a : form->actions()) {
        if (a->shortcut() == QKeySequence(QString::fromLatin1(ViewLauncher::kShortcut))) action = a;
    }
    ASSERT_NE(action, nullptr);

    QLineEdit* fileName = child<QLineEdit>("FileName");
    QLabel* status = child<QLabel>("Status");
    QWidget window;
    QLineEdit name(&window);
    QLabel text(&window);
    std::vector<QStringList> started;
    ViewLauncher launcher(&window, &name, &text, [&](const QString& program, const QStringList& args) {
        started.push_back(QStringList{program} + args);
        return true;
    });
    name.setText(QStringLiteral("relative.sft"));
    launcher.action()->trigger();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started[0][0].endsWith(QStringLiteral("/marlin-view")));
    ASSERT_EQ(started[0].size(), 4);
    EXPECT_EQ(started[0][1], QStringLiteral("--position"));
    EXPECT_EQ(started[0][3], QDir::current().absoluteFilePath(QStringLiteral("relative.sft")));
    name.clear();
    EXPECT_FALSE(launcher.openView());
    EXPECT_EQ(started.size(), 1u);
    EXPECT_EQ(text.text(), QStringLiteral("no file name to show"));

    // The menus carry the entry; the file name box keeps its editing entries.
    for (QWidget* widget : {static_cast<QWidget*>(status), static_cast<QWidget*>(fileName)}) {
        EXPECT_EQ(widget->contextMenuPolicy(), Qt::CustomContextMenu);
        emit widget->customContextMenuRequested(QPoint(2, 2));
        QMenu* menu = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* m = qobject_cast<QMenu*>(top); m && m->isVisible()) menu = m;
        }
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->actions().contains(action));
        EXPECT_EQ(widget == fileName, menu->actions().size() > 2);
        menu->close();
        QApplication::processEvents();
    }
    EXPECT_EQ(child<QWidget>("imgStart")->contextMenuPolicy(), Qt::DefaultContextMenu);
}

}  // namespace
}  // namespace marlin::test
