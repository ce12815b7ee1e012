// Whole recordings driven through the window against the simulated analyzer, over the real bus
// library on a loopback address of each test's own.

#include "MainFormFixture.h"

#include "analyzer_sim/Simulator.h"
#include "marlin/core/QzibBinding.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace marlin {
namespace {

class MainFormSimulatorTest : public test::MainFormFixture {
protected:
    // Starts the simulator on `address` (port 2525) and loads the window set up to record from it.
    void startOn(const std::string& address, sim::InstrumentOptions instrument = {}) {
        sim::SimulatorOptions options;
        options.bindAddress = address;
        options.port = 2525;
        options.instrument = instrument;
        simulator = std::make_unique<sim::Simulator>(options);
        simulator->start();
        RecorderSettings stored = RecorderSettings::defaults();
        stored.address = address;
        stored.interval = "1,5";
        stored.fileName = path(QStringLiteral("trace.sft")).toStdString();
        ASSERT_TRUE(settingsFile.save(stored));
        bus = &busLibrary;
        probeLocalInstrument = false;  // another test's instrument may be listening there
        stopwatchStepMs = 250;
        createForm();
        prompts.defaultAnswer = QMessageBox::Ok;
        QObject::connect(form.get(), &MainForm::statusShown, form.get(),
                         [this](const QString& text) { statuses.push_back(text); });
    }

    // STOP is clicked during the wait after the n-th reading. With the shortest interval the
    // click is only seen once the next reading has begun, which then completes first.
    void stopAfter(int readings) {
        stopwatch->onRead = [this, readings](double) {
            if (form->session()->readingCount() >= readings && !stopRequested) {
                stopRequested = true;
                clickNow("imgStop");
            }
        };
    }

    // The last commands of STOP need no reply, so the instrument may still be working through
    // them when STOP returns: wait (bounded) until it runs free in local operation.
    ::testing::AssertionResult instrumentGivenBack() const {
        std::vector<sim::DeviceState> state;
        const bool given = QTest::qWaitFor(
            [&] {
                state = simulator->devices();
                return state.size() == 1 && state[0].continuous && !state[0].remote;
            },
            5000);
        if (given) return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << state.size() << " devices";
        for (const auto& device : state)
            failure << "; continuous " << device.continuous << ", remote " << device.remote << ", messages "
                    << device.messages << ", replies " << device.replies;
        return failure;
    }

    QzibBinding busLibrary{MARLIN_TEST_QZIB32_LIBRARY};
    std::unique_ptr<sim::Simulator> simulator;
    std::vector<QString> statuses;
    bool stopRequested = false;
};

TEST_F(MainFormSimulatorTest, RecordingFromStartToStop) {
    startOn("127.0.0.160");
    auto* bar = child<QWidget>("KXprogressBar1");
    std::vector<int> countdown;
    stopwatch->onRead = [&](double) {
        onWindowThread([&] {
            const int value = bar->property("Value").toInt();
            if (countdown.empty() || countdown.back() != value) countdown.push_back(value);
            if (form->session()->readingCount() >= 3 && !stopRequested) {
                stopRequested = true;
                click("imgStop");
            }
        });
    };
    ASSERT_TRUE(recordToTheEnd());

    EXPECT_EQ(form->session()->readingCount(), 3);
    EXPECT_TRUE(prompts.messages.empty());
    // The status line went through the recording's states and ended empty after STOP.
    const auto seen = [&](const char* text) {
        return std::count(statuses.begin(), statuses.end(), QString::fromLatin1(text));
    };
    EXPECT_EQ(seen("recording ..."), 3);
    EXPECT_EQ(seen("writing ..."), 4);  // the head and three readings
    EXPECT_EQ(seen("idle."), 3);
    EXPECT_EQ(statuses.back(), QString());
    EXPECT_EQ(statusText(), QString());
    EXPECT_EQ(connectColour(), QColor(255, 0, 0));
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);
    // The bar counted down from near 100 while waiting, and shows 0 again.
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(form->windowHeightTwips(), 1500);
    ASSERT_GE(countdown.size(), 4u);
    EXPECT_GT(*std::max_element(countdown.begin(), countdown.end()), 50);
    EXPECT_EQ(bar->property("Value").toInt(), 0);

    // The file: the simulator's export as head, then three binary sections of 501 values.
    const QByteArray file = traceFile();
    EXPECT_TRUE(file.startsWith("ENDSTOP;0x3       \nCAPDELAYTIME;1.500000\n"))
        << file.left(50).toStdString();
    const qsizetype values = file.indexOf("Values;501;");
    ASSERT_GT(values, 0);
    const qsizetype firstSection = file.indexOf("Section1;");
    ASSERT_GT(firstSection, values);
    // Each section: its line, LF, 2004 data bytes and LF.
    qsizetype at = firstSection;
    for (int n = 1; n <= 3; ++n) {
        const QByteArray line = "Section" + QByteArray::number(n) + ";";
        ASSERT_TRUE(file.mid(at).startsWith(line)) << "section " << n;
        const qsizetype lineEnd = file.indexOf('\n', at);
        ASSERT_GT(lineEnd, at);
        const QByteArray data = file.mid(lineEnd + 1, 2004);
        ASSERT_EQ(data.size(), 2004);
        float first = 0;
        std::memcpy(&first, data.constData(), 4);
        EXPECT_LT(first, 0.0f);  // a noise floor in dBm, not blanks
        EXPECT_EQ(file.at(lineEnd + 1 + 2004), '\n');
        at = lineEnd + 1 + 2004 + 1;
    }
    EXPECT_EQ(at, file.size());

    // The settings as they were at START.
    const RecorderSettings saved = settingsFile.load();
    EXPECT_EQ(saved.address, "127.0.0.160");
    EXPECT_EQ(saved.interval, "1,5");
    // STOP gave the instrument back: continuous sweep, local operation.
    EXPECT_TRUE(instrumentGivenBack());
}

TEST_F(MainFormSimulatorTest, AsciiRecordingWithTheSeparatorOfTheBox) {
    startOn("127.0.0.161");
    QTest::mouseClick(child<QRadioButton>("FileFormat(0)"), Qt::LeftButton);
    child<QLineEdit>("ASCIISep")->setText(QStringLiteral(";"));
    child<QComboBox>("RecTrace")->setCurrentIndex(2);
    child<QLineEdit>("RecInter")->setText(QStringLiteral("0"));
    stopAfter(2);
    ASSERT_TRUE(recordToTheEnd());
    EXPECT_EQ(form->session()->readingCount(), 3);
    EXPECT_EQ(form->windowHeightTwips(), 1220);
    const QByteArray file = traceFile();
    EXPECT_TRUE(file.startsWith("ENDSTOP;0x00000097\n"));
    EXPECT_EQ(file.count("Section "), 3);
    const qsizetype second = file.indexOf("Section 2;");
    ASSERT_GT(second, 0);
    const qsizetype valuesStart = file.indexOf("\r\n", second) + 2;
    const QByteArray valuesLine = file.mid(valuesStart, file.indexOf("\r\n", valuesStart) - valuesStart);
    EXPECT_EQ(valuesLine.count(';'), 500);
    EXPECT_FALSE(valuesLine.contains(','));
    EXPECT_TRUE(valuesLine.startsWith('-'));
    EXPECT_EQ(settingsFile.load().traceIndex, 2);
}

TEST_F(MainFormSimulatorTest, InactiveTraceEndsTheRecordingWithItsMessage) {
    sim::InstrumentOptions instrument;
    instrument.activeTraces = {true, true, false, true};
    startOn("127.0.0.162", instrument);
    child<QComboBox>("RecTrace")->setCurrentIndex(2);
    ASSERT_TRUE(recordToTheEnd());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(
        prompts.messages[0].text,
        QStringLiteral("Selected Trace is not active.\r\nPlease activate Trace 3 before start recording."));
    EXPECT_EQ(prompts.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(statusText(), QStringLiteral("ready"));
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
    const QByteArray file = traceFile();
    EXPECT_TRUE(file.startsWith("ENDSTOP;0x00000097\n"));
    EXPECT_TRUE(file.contains("Values;501;"));
    EXPECT_FALSE(file.contains("Section"));
}

TEST_F(MainFormSimulatorTest, IdentityWithoutTheMakerWordLeavesStartDisabledUntilStop) {
    sim::InstrumentOptions instrument;
    instrument.identity = "ACME Instruments,SA-9,0,1.0";
    startOn("127.0.0.163", instrument);
    ASSERT_TRUE(recordToTheEnd());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("The instrument at \"127.0.0.163\" does not identify itself as a Quazar instrument "
                             "(it answered \"ACME Instruments,SA-9,0,1.0\")."));
    EXPECT_EQ(statusText(), QStringLiteral("not identified"));
    EXPECT_FALSE(child<PictureButton>("imgStart")->isEnabled());
    EXPECT_EQ(connectColour(), QColor(255, 0, 0));
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("trace.sft"))));
    click("imgStop");
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
}

TEST_F(MainFormSimulatorTest, OverwriteAnsweredOkThenCancel) {
    startOn("127.0.0.164");
    child<QLineEdit>("RecInter")->setText(QStringLiteral("0"));
    stopAfter(1);
    ASSERT_TRUE(recordToTheEnd());
    const QByteArray first = traceFile();
    ASSERT_TRUE(first.startsWith("ENDSTOP;0x2 "));

    // A second START into the same file asks first; Cancel leaves the file alone.
    prompts.answers = {QMessageBox::Cancel};
    ASSERT_TRUE(recordToTheEnd());
    ASSERT_EQ(prompts.messages.size(), 1u);
    const auto& asked = prompts.messages[0];
    EXPECT_EQ(asked.title, QStringLiteral("File already exists"));
    EXPECT_EQ(asked.text, QStringLiteral("Overwrite file?"));
    EXPECT_EQ(asked.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(asked.icon, QMessageBox::NoIcon);
    EXPECT_EQ(traceFile(), first);
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());

    // OK empties it and records afresh.
    prompts.answers = {QMessageBox::Ok};
    stopRequested = false;
    stopAfter(2);
    ASSERT_TRUE(recordToTheEnd());
    EXPECT_EQ(prompts.messages.size(), 2u);
    const QByteArray second = traceFile();
    EXPECT_TRUE(second.startsWith("ENDSTOP;0x3 "));
    EXPECT_EQ(second.count("Section1;"), 1);
    EXPECT_EQ(second.count("Section"), 3);
}

TEST_F(MainFormSimulatorTest, ExitYesDuringARecordingStopsAndGivesTheInstrumentBack) {
    startOn("127.0.0.165");
    prompts.answers = {QMessageBox::No, QMessageBox::Yes};
    stopwatch->onRead = [this](double) {
        onWindowThread([this] {
            const int count = form->session()->readingCount();
            if (count == 1 && prompts.messages.empty()) click("imgExit");
            if (count == 2 && prompts.messages.size() == 1) click("lblExit");
        });
    };
    ASSERT_TRUE(recordToTheEnd());
    ASSERT_EQ(prompts.messages.size(), 2u);
    // No let the recording go on; Yes stopped it, then the program ended.
    EXPECT_EQ(form->session()->readingCount(), 2);
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(traceFile().count("Section"), 2);
    EXPECT_TRUE(instrumentGivenBack());
}

TEST_F(MainFormSimulatorTest, WindowAnswersDuringTwoSecondSweeps) {
    sim::InstrumentOptions instrument;
    instrument.sweepTimeS = 2.0;
    startOn("127.0.12.1", instrument);
    child<QLineEdit>("RecInter")->setText(QStringLiteral("0"));
    // STOP during the second sweep: that reading is finished and written first.
    int readingsBegun = 0;
    QObject::connect(form.get(), &MainForm::statusShown, form.get(), [&](const QString& text) {
        if (text == QStringLiteral("recording ...") && ++readingsBegun == 2) click("imgStop");
    });
    // A timer ticks every 10 ms on the window's thread; whatever holds the window up shows as a
    // gap between two ticks.
    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    clock.start();
    ticks.start(10);
    ASSERT_TRUE(recordToTheEnd());
    ticks.stop();
    const qint64 took = clock.elapsed();
    std::printf("[ measured ] 2 readings of 2 s sweeps in %lld ms; longest gap between window ticks %lld ms\n",
                static_cast<long long>(took), static_cast<long long>(longestGap));
    EXPECT_GE(took, 4000);  // both sweeps ran while the window ticked
    EXPECT_LT(longestGap, 100);
    EXPECT_EQ(form->session()->readingCount(), 2);
    EXPECT_EQ(traceFile().count("Section"), 2);
    EXPECT_EQ(statusText(), QString());
    EXPECT_TRUE(instrumentGivenBack());
}

}  // namespace
}  // namespace marlin
