// The whole road, offscreen: marlin-cli records from the simulator while the view's window follows
// the file; every reading it wrote is shown, exactly as the file has it.
#include <gtest/gtest.h>

#include <analyzer_sim/Simulator.h>
#include <marlin/net/ServerVerifier.h>
#include <marlin/reader/TraceReader.h>
#include <marlin/view/ViewModel.h>
#include <marlin/view/ViewWindow.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include "marlin/testing/TempDir.h"

namespace marlin::view {
namespace {

constexpr const char* kAddress = "127.0.7.1";

TEST(FollowRecording, ShowsEveryReadingThatMarlinCliRecords) {
    std::string problem;
    if (!ServerVerifier::CheckHostReachable(kAddress, &problem) && !problem.empty()) GTEST_SKIP() << problem;
    sim::SimulatorOptions options;
    options.bindAddress = kAddress;
    options.port = 2525;
    sim::Simulator simulator(options);
    simulator.start();

    const marlin::testing::TempDir dir;
    const std::string file = dir.file("live.sft");

    // The view is open before the recording starts: the file appears under it.
    ViewWindow window(ViewWindow::Options{.rememberFiles = false});
    window.resize(900, 640);
    window.show();
    window.openFile(QString::fromStdString(file));

    constexpr int kReadings = 6;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MARLIN_QZIB32_LIBRARY"), QStringLiteral(MARLIN_TEST_BUS_LIBRARY));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(MARLIN_TEST_CLI_PROGRAM),
              {QStringLiteral("record"), QStringLiteral("--address"), QString::fromLatin1(kAddress),
               QStringLiteral("--trace"), QStringLiteral("1"), QStringLiteral("--interval"), QStringLiteral("0.1"),
               QStringLiteral("--file"), QString::fromStdString(file), QStringLiteral("--format"),
               QStringLiteral("binary"), QStringLiteral("--readings"), QString::number(kReadings),
               QStringLiteral("--settings"), QString::fromStdString(dir.file("marlin.ini")),
               QStringLiteral("--quiet")});
    ASSERT_TRUE(cli.waitForStarted(10000));

    // The view reaches every reading while the recording goes on, without being asked.
    const auto shown = [&] {
        std::lock_guard lock(window.model().mutex());
        return window.model().count();
    };
    QDeadlineTimer deadline(30000);
    std::uint64_t seenWhileRecording = 0;
    while (shown() < kReadings && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (cli.state() == QProcess::Running) seenWhileRecording = shown();
        cli.waitForFinished(5);
    }
    if (cli.state() != QProcess::NotRunning) {
        ASSERT_TRUE(cli.waitForFinished(20000));
    }
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    ASSERT_EQ(shown(), static_cast<std::uint64_t>(kReadings));
    EXPECT_GE(seenWhileRecording, 1u);

    reader::TraceReader check(file);
    ASSERT_EQ(check.update(), reader::UpdateStatus::Grew);
    reader::Section section;
    std::vector<float> values;
    ASSERT_TRUE(check.read(kReadings - 1, section, values));
    {
        std::lock_guard lock(window.model().mutex());
        const ViewModel& model = window.model();
        ASSERT_TRUE(model.newest().has_value());
        EXPECT_EQ(model.newest()->values, values);
        EXPECT_EQ(model.newest()->section.number, kReadings);
        EXPECT_EQ(model.points(), 501u);
        EXPECT_EQ(model.waterfall().rows(), kReadings);
        EXPECT_TRUE(model.axis().fromHead);
    }
    EXPECT_NE(window.statusText().indexOf(QStringLiteral("%1 readings").arg(kReadings)), -1);
    const QImage picture = window.picture();
    EXPECT_EQ(picture.size(), window.size());

    simulator.stop();
}

}  // namespace
}  // namespace marlin::view
