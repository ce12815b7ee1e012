// The window on a file that changes under it: its follow thread picks up new and restarted
// recordings by itself; the keys step through readings; a dropped file is opened.
#include <gtest/gtest.h>

#include <marlin/view/ViewModel.h>
#include <marlin/view/ViewWindow.h>

#include <QDeadlineTimer>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <functional>

#include "marlin/testing/Recordings.h"
#include "marlin/testing/TempDir.h"

namespace marlin::view {
namespace {

class ViewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir_.file("trace.sft");
        marlin::testing::record(path, {.values = 7, .readings = 3});
        window.resize(900, 600);
        window.show();
    }
    // Runs the window's events until `done` holds (model locked), at most five seconds.
    bool waitFor(const std::function<bool(const ViewModel&)>& done) {
        const QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            {
                std::lock_guard lock(window.model().mutex());
                if (done(window.model())) return true;
            }
            QTest::qWait(10);
        }
        return false;
    }

    marlin::testing::TempDir dir_;
    std::string path;
    ViewWindow window{ViewWindow::Options{.rememberFiles = false}};
};

TEST_F(ViewWindowTest, FollowsNewAndRestartedRecordingsByItself) {
    window.openFile(QString::fromStdString(path));
    ASSERT_TRUE(window.waitLoaded(5000));
    EXPECT_TRUE(waitFor([](const ViewModel& m) { return m.count() == 3; }));

    marlin::testing::record(path, {.head = false, .values = 7, .first = 4, .readings = 1});
    EXPECT_TRUE(waitFor([](const ViewModel& m) { return m.count() == 4 && m.newest()->section.number == 4; }));

    marlin::testing::record(path, {.values = 7, .first = 1, .readings = 1});
    EXPECT_TRUE(waitFor([](const ViewModel& m) { return m.restarts() == 1 && m.count() == 1; }));
    EXPECT_NE(window.statusText().indexOf(QStringLiteral("1 reading,")), -1);
}

TEST_F(ViewWindowTest, KeysStepThroughTheReadings) {
    window.openFile(QString::fromStdString(path));
    ASSERT_TRUE(window.waitLoaded(5000));
    const auto shownIndex = [](std::uint64_t index) {
        return [index](const ViewModel& m) { return m.shown() && m.shown()->index == index; };
    };
    QTest::keyClick(&window, Qt::Key_Left);
    EXPECT_TRUE(waitFor(shownIndex(1)));
    EXPECT_TRUE(waitFor([](const ViewModel& m) { return m.shown()->values == marlin::testing::readingValues(2, 7); }));
    QTest::keyClick(&window, Qt::Key_Home);
    EXPECT_TRUE(waitFor(shownIndex(0)));
    QTest::keyClick(&window, Qt::Key_Right);
    EXPECT_TRUE(waitFor(shownIndex(1)));
    QTest::keyClick(&window, Qt::Key_End);
    EXPECT_TRUE(waitFor([](const ViewModel& m) { return m.followsNewest() && m.shown()->index == 2; }));
}

TEST_F(ViewWindowTest, ADroppedFileIsOpened) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    ASSERT_TRUE(window.waitLoaded(5000));
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("trace.sft")));
    EXPECT_TRUE(waitFor([](const ViewModel& m) { return m.count() == 3; }));
}

}  // namespace
}  // namespace marlin::view
